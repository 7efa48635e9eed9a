// The frame both HTML pages share.
#include "export/page_frame.h"

#include "export/svg_chart.h"

namespace quorvane::host {
namespace {

// Text, tables and chart labels; print needs no colour, since every value
// is written out, and keeps sections, charts and tables whole on a page.
const char* const shared_style = R"(
body{font:15px/1.45 system-ui,sans-serif;color:#111;background:#fff;margin:0}
main{max-width:1240px;margin:0 auto;padding:20px 28px}
h1{font-size:1.6em;margin:0 0 4px}h2{font-size:1.2em;margin:26px 0 8px}
p.meta,p.note{color:#333;margin:4px 0}
table{border-collapse:collapse;margin:6px 0 10px}
th,td{border-bottom:1px solid #ccc;padding:3px 10px;text-align:left;vertical-align:top}
th{font-weight:600}td.time{white-space:nowrap}td.num{text-align:right;font-variant-numeric:tabular-nums}
figcaption{font-weight:600;margin:4px 0}
svg text{font-family:system-ui,sans-serif;fill:#111}svg .tick{font-size:11px;fill:#444}
@media print{
body{font-size:10pt}main{max-width:none;padding:0}
section,figure,table{break-inside:avoid}
@page{margin:14mm}
}
)";

}  // namespace

const char* const page_end = "\n</main></body></html>\n";

std::string page_head(const std::string& title, const char* own_style) {
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
         "style-src 'unsafe-inline'\">"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
         "<title>" +
         escape_html(title) + "</title><style>" + shared_style + own_style +
         "</style></head><body><main>\n";
}

}  // namespace quorvane::host
