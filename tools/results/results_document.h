// The results document: one per invocation, the source of every export
// (docs/results-format.md describes it, docs/results.schema.json checks it).
#ifndef QUORVANE_TOOLS_RESULTS_RESULTS_DOCUMENT_H
#define QUORVANE_TOOLS_RESULTS_RESULTS_DOCUMENT_H

#include <array>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "machine/interference.h"
#include "machine/machine_description.h"
#include "machine/run_conditions.h"
#include "results/run_verdict.h"

namespace quorvane::host {

constexpr int results_schema_version = 2;

// The nine members of the library's report, in the report's order.
extern const std::array<const char*, 9> report_keys;

// One run as the host saw it.
struct run_record {
  std::string started_at;  // UTC, "2026-12-09T11:22:33Z"
  std::string ended_at;
  bool cancelled = false;
  nlohmann::json report;  // the library's report line, parsed: its numbers as written
  phase_loads other_load_percent{};
  run_conditions conditions{};
  run_verdict verdict;
  double host_processor_ms_per_second = 0;
};

struct document_header {
  std::string host_version;
  std::string library_version;
  std::string started_at;
  machine_description machine;
  // The SHA-256 of the library file that ran; "" when it could not be read.
  std::string library_sha256;
};

// The document. "summary" covers the runs that finished, and is {} when
// none did.
nlohmann::json build_results_document(const document_header& header,
                                      const std::vector<run_record>& runs);

// The "summary" member alone, over the finished runs of a document's
// "runs": median, min, max and cv_percent (null with fewer than two runs or
// a zero mean) of each report key.
nlohmann::json summarise_runs(const nlohmann::json& runs);

// A moment as the document writes it: "2026-12-09T11:22:33Z"; "" when the
// system cannot represent it as a UTC calendar time.
std::string utc_timestamp(std::time_t moment);

}  // namespace quorvane::host

#endif  // QUORVANE_TOOLS_RESULTS_RESULTS_DOCUMENT_H
