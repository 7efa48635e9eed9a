// Reading a --compare baseline: what is refused, with which line, and that
// both formats give the same runs.
#include "results/baseline.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "machine/host_platform.h"
#include "results/baseline_file.h"
#include "results/document_figures.h"
#include "results/run_report.h"

namespace quorvane::host {
namespace {

const char* const report_line =
    R"({"score_single":1510.5,"score_multi":2870,"int_single_mops":801.25,)"
    R"("int_multi_mops":1590,"fp_single_mflops":5020,"fp_multi_mflops":9930,)"
    R"("mem_bandwidth_mbps":12000,"threads_used":2,"duration_ms":20011})";
const char* const second_line =
    R"({"score_single":1490,"score_multi":2850,"int_single_mops":799,)"
    R"("int_multi_mops":1585,"fp_single_mflops":5000,"fp_multi_mflops":9900,)"
    R"("mem_bandwidth_mbps":11900,"threads_used":2,"duration_ms":20009})";

class BaselineTest : public ::testing::Test {
 protected:
  // Writes text to a file of this test's own and returns its path.
  std::string file_with(const std::string& name, const std::string& text) {
    const std::filesystem::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // The process id keeps apart the same test run from other builds at once.
    folder_ =
        std::filesystem::temp_directory_path() / (std::string("quorvane-baseline-") + test->name() +
                                                  "-" + std::to_string(platform::process_id()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::filesystem::path folder_;
};

std::string repeated(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

std::string document_with_runs(const std::string& runs) {
  return R"({"schema_version":1,"machine":{"cpu_model":"Test CPU"},"runs":[)" + runs + "]}";
}

std::string run_with(const std::string& report, const char* cancelled = "false") {
  return std::string(R"({"cancelled":)") + cancelled + R"(,"report":)" + report + "}";
}

TEST_F(BaselineTest, EveryBadBaselineIsOneLineNamingTheFileAndTheProblem) {
  std::string missing_figure = report_line;
  missing_figure.replace(missing_figure.find(R"("score_multi":2870,)"), 19, "");
  std::string string_figure = report_line;
  string_figure.replace(string_figure.find("2870"), 4, R"("2870")");
  // Deeper than any stack can follow by recursion.
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  std::string deep_figure = report_line;
  deep_figure.replace(deep_figure.find("2870"), 4, deep);

  const struct {
    const char* name;
    std::string text;
    const char* problem;
  } cases[] = {
      {"empty.json", " \n\n", "is empty"},
      {"text.json", "run 1: 1500 points\n", "is not a baseline: "},
      // A document cut short: its first line "{" is no report line either.
      {"cut.json",
       nlohmann::json::parse(document_with_runs(run_with(report_line))).dump(2).substr(0, 90),
       "is not JSON: "},
      {"array.json", "[1, 2]", "holds a JSON array, not a results document or report lines"},
      {"v3.json", R"({"schema_version":3,"runs":[]})",
       "schema_version 3 is not known (this host reads 1 and 2)"},
      {"v0.json", R"({"schema_version":0,"runs":[]})",
       "schema_version 0 is not known (this host reads 1 and 2)"},
      {"export.csv", "started_at,cancelled,score_single\n2026-12-09T11:22:33Z,false,1591\n",
       "is not a baseline: give a results document (--export FILE.json) or the report lines "
       "that --json prints"},
      {"v-text.json", R"({"schema_version":"1","runs":[]})",
       R"(schema_version must be a whole number, not "1")"},
      {"no-version.json", R"({"runs":[]})", "has no schema_version"},
      {"no-runs.json", R"({"schema_version":1})", "has no runs"},
      {"zero-runs.json", document_with_runs(""), "has no runs"},
      {"runs-object.json", R"({"schema_version":1,"runs":{}})", "runs must be a list, not object"},
      {"cancelled.json", document_with_runs(run_with(report_line, "true")),
       "has no finished runs to compare (all 1 were cancelled)"},
      {"no-report.json", document_with_runs(R"({"cancelled":false})"), "run 1 has no report"},
      {"missing.json", document_with_runs(run_with(report_line) + "," + run_with(missing_figure)),
       "run 2: the report has no number 'score_multi'"},
      {"string.json", document_with_runs(run_with(string_figure)),
       "run 1: the report has no number 'score_multi'"},
      {"flag.json", document_with_runs(run_with(report_line, "\"no\"")),
       R"(run 1: cancelled must be true or false, not "no")"},
      {"lines.jsonl", std::string(report_line) + "\n" + missing_figure + "\n",
       "line 2: the report has no number 'score_multi'"},
      {"broken.jsonl", std::string(report_line) + "\n{\"score_single\":\n", "line 2 is not JSON: "},
      // Nesting beyond any document's is refused before it is parsed.
      {"deep-version.json", R"({"schema_version":)" + deep + R"(,"runs":[]})",
       "nests arrays or objects more than 32 deep"},
      {"deep-flag.json", document_with_runs(run_with(report_line, deep.c_str())),
       "nests arrays or objects more than 32 deep"},
      {"deep-figure.json", document_with_runs(run_with(deep_figure)),
       "nests arrays or objects more than 32 deep"},
      {"deep-figure.jsonl", deep_figure + "\n", "nests arrays or objects more than 32 deep"},
      {"overflow.json", R"({"schema_version":-1e400,"runs":[]})",
       "is not JSON: number overflow parsing '-1e400'"},
      {"overflow.jsonl", std::string(report_line) + "\n" + R"({"score_single":1e400})" + "\n",
       "line 2 is not JSON: number overflow parsing '1e400'"},
      {"load.json",
       document_with_runs(R"({"cancelled":false,"other_load_percent":[1.7e308],"report":)" +
                          std::string(report_line) + "}"),
       "run 1: other_load_percent 1.7e+308 is not a percentage from 0 to 100"},
      {"many.jsonl", repeated(std::string(report_line) + "\n", 1001),
       "holds 1001 runs, more than the 1000 a comparison takes"},
  };
  for (const auto& bad : cases) {
    const std::string path = file_with(bad.name, bad.text);
    std::string error;
    EXPECT_FALSE(load_baseline(path, error)) << bad.name;
    const std::string start = "baseline " + path + ": " + bad.problem;
    EXPECT_EQ(error.substr(0, start.size()), start) << bad.name;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }

  std::string error;
  const std::string absent = (folder_ / "absent.json").string();
  EXPECT_FALSE(load_baseline(absent, error));
  EXPECT_EQ(error, "baseline " + absent + ": does not exist");
  EXPECT_FALSE(load_baseline(folder_.string(), error));
  EXPECT_EQ(error, "baseline " + folder_.string() + ": is a folder, not a file");
}

TEST_F(BaselineTest, TheEdgesOfWhatABaselineMayBeAreAccepted) {
  std::string error;
  const std::optional<nlohmann::json> most = load_baseline(
      file_with("most.jsonl", repeated(std::string(report_line) + "\n", 1000)), error);
  ASSERT_TRUE(most) << error;
  EXPECT_EQ((*most)["runs"].size(), 1000u);

  // A document padded with blanks to exactly the largest size is read; one
  // byte more is refused unread.
  const std::string document = document_with_runs(run_with(report_line));
  const std::string largest = document + std::string(largest_baseline_bytes - document.size(), ' ');
  EXPECT_TRUE(load_baseline(file_with("largest.json", largest), error)) << error;
  const std::string path = file_with("larger.json", largest + " ");
  EXPECT_FALSE(load_baseline(path, error));
  EXPECT_EQ(error, "baseline " + path + ": is larger than 64 MiB, more than any results document");
}

TEST_F(BaselineTest, ADocumentAndItsReportLinesLoadToTheSameRuns) {
  // The document's cancelled run is not checked and not compared.
  const std::string document =
      document_with_runs(run_with(report_line) + "," + run_with(R"({"score_single":0})", "true") +
                         "," + run_with(second_line));
  // As --json prints them on Windows, with a blank line at the end.
  const std::string lines = std::string(report_line) + "\r\n" + second_line + "\r\n\r\n";

  std::string error;
  const std::optional<nlohmann::json> from_document =
      load_baseline(file_with("results.json", document), error);
  ASSERT_TRUE(from_document) << error;
  const std::optional<nlohmann::json> from_lines =
      load_baseline(file_with("runs.jsonl", lines), error);
  ASSERT_TRUE(from_lines) << error;

  EXPECT_EQ(*from_document, nlohmann::json::parse(document));
  EXPECT_EQ((*from_lines)["schema_version"], 1);
  EXPECT_FALSE(from_lines->contains("machine"));
  ASSERT_EQ((*from_lines)["runs"].size(), 2u);
  EXPECT_EQ((*from_lines)["runs"][1]["cancelled"], false);
  EXPECT_EQ((*from_lines)["runs"][1]["report"], nlohmann::json::parse(second_line));
  for (const report_figure& figure : report_figures) {
    const std::vector<double> values = report_values(finished_runs(*from_lines), figure.key);
    EXPECT_EQ(values.size(), 2u) << figure.key;
    EXPECT_EQ(values, report_values(finished_runs(*from_document), figure.key)) << figure.key;
  }

  // A single report line is JSON by itself, and still report lines.
  const std::optional<nlohmann::json> one =
      load_baseline(file_with("one.jsonl", report_line), error);
  ASSERT_TRUE(one) << error;
  EXPECT_EQ((*one)["runs"].size(), 1u);
}

}  // namespace
}  // namespace quorvane::host
