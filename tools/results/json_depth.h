// How deeply a JSON text nests, found without parsing it, so that a text
// nested deeper than any document of the format can be is refused before
// anything walks it recursively.
#ifndef QUORVANE_TOOLS_RESULTS_JSON_DEPTH_H
#define QUORVANE_TOOLS_RESULTS_JSON_DEPTH_H

#include <cstddef>
#include <string_view>

namespace quorvane::host {

// The deepest nesting of arrays and objects anywhere in the results
// document or a report is 4 (runs, a run, its list of loads); this leaves
// room for members a later format adds.
constexpr std::size_t deepest_json_nesting = 32;

// True when text (JSON, or report lines) opens more than limit arrays and
// objects inside one another; brackets inside strings do not count.
bool nested_deeper_than(std::string_view text, std::size_t limit);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RESULTS_JSON_DEPTH_H
