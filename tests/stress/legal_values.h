// The values the library's exports may return: a check for each, used by
// the stress scenarios on every value they read.
#ifndef QUORVANE_TESTS_LEGAL_VALUES_H
#define QUORVANE_TESTS_LEGAL_VALUES_H

#include <string>

namespace stress {

bool legal_state(int state);        // 0 to 3
bool legal_phase(int phase);        // 0 to 5
bool legal_progress(int progress);  // 0, 2, 20, 40, 60, 80, 100

// Why a report text is not a complete report, or "" when it is: one JSON
// object with the nine members in order and no whitespace, every value a
// non-negative whole number, threads_used 0 (before any run) or processors,
// and each score consistent with the rates printed beside it.
std::string report_problem(const std::string& text, int processors);

// The library's last error text read one byte at a time with atomic loads,
// as the library writes it, so that reading it while another thread's start
// rewrites it is no data race.
std::string read_error_text(const char* buffer);

}  // namespace stress

#endif  // QUORVANE_TESTS_LEGAL_VALUES_H
