// The session's figures as Markdown: a summary table of every figure with
// its side-by-side reference, ratio and target, then the raw figures of each
// round and each cancel that the summary was made from.
#ifndef QUORVANE_BENCH_MARKDOWN_REPORT_H
#define QUORVANE_BENCH_MARKDOWN_REPORT_H

#include <string>

#include "measure_session.h"

namespace qbench {

std::string render_markdown(const session_config& config, const session_figures& session);

}  // namespace qbench

#endif  // QUORVANE_BENCH_MARKDOWN_REPORT_H
