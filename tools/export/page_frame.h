// The frame both HTML pages share: a self-contained document that fetches
// nothing (its Content-Security-Policy allows inline style alone), the base
// style of its text and tables, and the page's own style after it.
#ifndef QUORVANE_TOOLS_EXPORT_PAGE_FRAME_H
#define QUORVANE_TOOLS_EXPORT_PAGE_FRAME_H

#include <string>

namespace quorvane::host {

// Everything up to and including <main>: title is plain text (escaped
// here), own_style the page's own rules, which follow the shared ones.
std::string page_head(const std::string& title, const char* own_style);

// What closes the document that page_head opened.
extern const char* const page_end;

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_EXPORT_PAGE_FRAME_H
