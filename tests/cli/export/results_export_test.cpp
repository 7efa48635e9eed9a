// The results document, its exports and the atomic writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "export/atomic_file.h"
#include "export/export_formats.h"
#include "file_size_limit.h"
#include "machine/host_platform.h"
#include "results/results_document.h"

namespace quorvane::host {
namespace {

const char* const finished_line =
    "{\"score_single\":1591,\"score_multi\":3043,\"int_single_mops\":1002,\"int_multi_mops\":1890,"
    "\"fp_single_mflops\":3546,\"fp_multi_mflops\":6911,\"mem_bandwidth_mbps\":9123,"
    "\"threads_used\":2,\"duration_ms\":20013}";
const char* const faster_line =
    "{\"score_single\":1601,\"score_multi\":3143,\"int_single_mops\":1012,\"int_multi_mops\":1990,"
    "\"fp_single_mflops\":3546,\"fp_multi_mflops\":6911,\"mem_bandwidth_mbps\":9323,"
    "\"threads_used\":2,\"duration_ms\":20001}";
const char* const cancelled_line =
    "{\"score_single\":0,\"score_multi\":0,\"int_single_mops\":0,\"int_multi_mops\":0,"
    "\"fp_single_mflops\":0,\"fp_multi_mflops\":0,\"mem_bandwidth_mbps\":0,\"threads_used\":2,"
    "\"duration_ms\":137}";

nlohmann::json three_runs() {
  document_header header{"1.0.0", "1.0.0", "2026-12-09T11:22:33Z", {}, ""};
  header.machine.cpu_model = "Test CPU";
  header.machine.logical_processors = 2;
  header.machine.usable_processors = 1;
  header.machine.memory_bytes = 1024;
  header.machine.os = "Test OS";
  header.machine.kernel = "Test 1.0";
  std::vector<run_record> runs = {{"2026-12-09T11:22:33Z",
                                   "2026-12-09T11:22:53Z",
                                   false,
                                   nlohmann::json::parse(finished_line),
                                   {1.25, 0.0, 48.0, 3.0, 0.5},
                                   {},
                                   {},
                                   0.5},
                                  {"2026-12-09T11:22:53Z",
                                   "2026-12-09T11:23:13Z",
                                   false,
                                   nlohmann::json::parse(faster_line),
                                   {0.0, 0.0, 0.0, 0.0, 0.0},
                                   {},
                                   {false, {"steal 6% in phase 4", "on battery"}, {}},
                                   0.5},
                                  {"2026-12-09T11:23:13Z",
                                   "2026-12-09T11:23:14Z",
                                   true,
                                   nlohmann::json::parse(cancelled_line),
                                   {2.0, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
                                   {},
                                   {},
                                   0.5}};
  return build_results_document(header, runs);
}

std::string file_text(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(UtcTimestamp, WritesIso8601InUtcWithWholeSeconds) {
  EXPECT_EQ(utc_timestamp(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(utc_timestamp(1796815353), "2026-12-09T11:22:33Z");
  EXPECT_EQ(utc_timestamp(951782400 + 86399), "2000-02-29T23:59:59Z");
}

TEST(ResultsDocument, KeepsEveryRunAndSummarisesTheFinishedOnes) {
  const nlohmann::json document = three_runs();
  EXPECT_EQ(document["schema_version"], 2);
  EXPECT_EQ(document["clean_runs"], 1);
  EXPECT_EQ(document["disturbed_runs"], 1);  // the cancelled run is neither
  EXPECT_EQ(document["runs"][1]["verdict"]["reasons"][0], "steal 6% in phase 4");
  EXPECT_EQ(document["runs"][0]["conditions"].size(), 5U);
  EXPECT_EQ(document["machine"]["usable_processors"], 1);
  ASSERT_EQ(document["runs"].size(), 3U);
  const nlohmann::json& cancelled = document["runs"][2];
  EXPECT_TRUE(cancelled["cancelled"].get<bool>());
  EXPECT_EQ(cancelled["report"], nlohmann::json::parse(cancelled_line));
  EXPECT_EQ(cancelled["other_load_percent"], nlohmann::json::parse("[2.0,null,null,null,null]"));
  // The numbers stay the library's whole numbers.
  EXPECT_TRUE(document["runs"][0]["report"]["score_single"].is_number_integer());
  EXPECT_EQ(document["runs"][0]["other_load_percent"][0], 1.3);

  const nlohmann::json& summary = document["summary"];
  ASSERT_EQ(summary.size(), 9U);
  EXPECT_EQ(summary["score_multi"]["median"], 3093.0);  // the cancelled run's 0 is left out
  EXPECT_EQ(summary["score_multi"]["min"], 3043.0);
  EXPECT_EQ(summary["score_multi"]["max"], 3143.0);
  EXPECT_NEAR(summary["score_multi"]["cv_percent"].get<double>(), 2.286, 0.001);
  EXPECT_EQ(summary["fp_multi_mflops"]["cv_percent"], 0.0);
}

TEST(ResultsDocument, SummaryIsEmptyWithoutAFinishedRunAndCvNullWithOne) {
  nlohmann::json document = three_runs();
  EXPECT_EQ(summarise_runs(nlohmann::json::array({document["runs"][2]})), nlohmann::json::object());
  const nlohmann::json one = summarise_runs(nlohmann::json::array({document["runs"][0]}));
  EXPECT_TRUE(one["score_single"]["cv_percent"].is_null());
  EXPECT_EQ(one["score_single"]["median"], 1591.0);
}

TEST(CsvExport, HasAHeaderAndOneRowPerRunWithTheReportsNumbers) {
  const std::string csv = format_csv_export(three_runs());
  std::istringstream lines(csv);
  std::string header;
  std::string row;
  std::getline(lines, header);
  EXPECT_EQ(header,
            "started_at,cancelled,score_single,score_multi,int_single_mops,int_multi_mops,"
            "fp_single_mflops,fp_multi_mflops,mem_bandwidth_mbps,threads_used,duration_ms,"
            "other_load_percent_1,other_load_percent_2,other_load_percent_3,"
            "other_load_percent_4,other_load_percent_5,verdict");
  std::getline(lines, row);
  EXPECT_EQ(row,
            "2026-12-09T11:22:33Z,false,1591,3043,1002,1890,3546,6911,9123,2,20013,"
            "1.3,0.0,48.0,3.0,0.5,clean");
  std::getline(lines, row);
  EXPECT_EQ(row.substr(row.find(",0.0,0.0,0.0,0.0,0.0,")),
            ",0.0,0.0,0.0,0.0,0.0,disturbed: steal 6% in phase 4; on battery");
  std::getline(lines, row);
  EXPECT_EQ(row, "2026-12-09T11:23:13Z,true,0,0,0,0,0,0,0,2,137,2.0,,,,,clean");
  EXPECT_FALSE(std::getline(lines, row));
}

TEST(MarkdownExport, HasTheMachineTheRunsAndTheSummaryAsTables) {
  const std::string markdown = format_markdown_export(three_runs());
  for (const char* part :
       {"## Machine", "| processor | Test CPU |", "| processors | 2 logical, 1 usable |", "## Runs",
        "| 3 | 2026-12-09T11:23:13Z | yes | 0 | 0 |", "| 1 | 1.3 | 0 | 48 | 3 | 0.5 |",
        "| 3 | 2 | - | - | - | - |", "| score_multi | 3093 | 3043 | 3143 | 2.3% |",
        "| 20001 | disturbed: steal 6% in phase 4; on battery |"}) {
    EXPECT_NE(markdown.find(part), std::string::npos) << part << "\n" << markdown;
  }
}

TEST(MarkdownExport, MemoryIsInGibibytesAndAPipeInAMachineTextStaysInItsCell) {
  nlohmann::json document = three_runs();
  document["machine"]["memory_bytes"] = 25769803776ULL;  // 24 GiB
  document["machine"]["os"] = "Distro | Edition";
  const std::string markdown = format_markdown_export(document);
  EXPECT_NE(markdown.find("| memory | 24.0 GiB |"), std::string::npos) << markdown;
  EXPECT_NE(markdown.find("| system | Distro \\| Edition |"), std::string::npos) << markdown;
}

TEST(MarkdownExport, FiguresArePrintedWholeAtAnyMagnitude) {
  for (const auto& [figure, digits] :
       {std::pair<double, std::string>{1e40, "10000000000000000303786028427003666890752"},
        {9.3e18, "9300000000000000000"},
        {12.25, "12.2"}}) {
    nlohmann::json document = three_runs();
    document["runs"][0]["report"]["fp_single_mflops"] = figure;
    EXPECT_NE(format_markdown_export(document).find("| " + digits + " |"), std::string::npos)
        << digits;
  }
}

TEST(ExportFormats, ChooseByExtensionWithoutRegardToCase) {
  EXPECT_STREQ(export_format_for("a/b.JSON")->extension, ".json");
  EXPECT_STREQ(export_format_for("results.csv")->extension, ".csv");
  EXPECT_STREQ(export_format_for("x.Md")->extension, ".md");
  EXPECT_EQ(export_format_for("results.txt"), nullptr);
  EXPECT_EQ(export_format_for("json"), nullptr);
  EXPECT_EQ(check_export_path("out/results.txt"),
            "cannot export to out/results.txt: unknown extension '.txt' "
            "(known: .json, .csv, .md, .prom, .html)");
  EXPECT_EQ(check_export_path("some.dir/results"),
            "cannot export to some.dir/results: no extension "
            "(known: .json, .csv, .md, .prom, .html)");
}

namespace fs = std::filesystem;

class ExportFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // The process id keeps apart the same test run from other builds at once.
    folder_ = (fs::temp_directory_path() / ("quorvane-export-" + std::string(test->name()) + "-" +
                                            std::to_string(platform::process_id())))
                  .string();
    fs::remove_all(folder_);
    fs::create_directory(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  // The names in the folder, sorted.
  std::vector<std::string> entries() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string folder_;
};

TEST_F(ExportFiles, RefusesFoldersAndMissingFoldersBeforeTheRun) {
  ASSERT_TRUE(fs::create_directory(folder_ + "/sub.json"));
  EXPECT_EQ(check_export_path(folder_ + "/sub.json"),
            "cannot export to " + folder_ + "/sub.json: it is a folder");
  const std::string missing = check_export_path(folder_ + "/missing/out.json");
  EXPECT_EQ(missing.rfind("cannot export to " + folder_ + "/missing/out.json: ", 0), 0U) << missing;
  EXPECT_GT(missing.size(), ("cannot export to " + folder_ + "/missing/out.json: ").size());
  EXPECT_EQ(check_export_path(folder_ + "/out.json"), "");
  // The check leaves nothing behind.
  EXPECT_EQ(entries(), std::vector<std::string>{"sub.json"});
}

#if !defined(_WIN32)
TEST_F(ExportFiles, AFailedWriteLeavesTheExistingFileUntouched) {
  const std::string path = folder_ + "/out.json";
  { std::ofstream(path, std::ios::binary) << "the earlier export\n"; }
  // A file size limit makes the write fail, even for a user whom
  // permissions do not stop.
  {
    const file_size_limit limit(8);
    const std::string error = write_export(path, three_runs(), nullptr);
    EXPECT_EQ(error.rfind("cannot write " + path + ": ", 0), 0U) << error;
  }
  EXPECT_EQ(file_text(path), "the earlier export\n");
  EXPECT_EQ(entries(), std::vector<std::string>{"out.json"}) << "the temporary file is gone";

  EXPECT_EQ(write_export(path, three_runs(), nullptr), "");
  EXPECT_EQ(nlohmann::json::parse(file_text(path)), three_runs());
  EXPECT_EQ(entries(), std::vector<std::string>{"out.json"});
}
#endif

}  // namespace
}  // namespace quorvane::host
