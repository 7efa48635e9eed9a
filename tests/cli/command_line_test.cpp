// The host's command line: options, values and the errors it reports.
#include "command_line.h"

#include <gtest/gtest.h>

namespace quorvane::host {
namespace {

parse_result parse(std::vector<std::string> arguments) { return parse_command_line(arguments); }

TEST(CommandLine, NoArgumentsGiveOneRunWithProgressAndTheDefaultLibrary) {
  const parse_result result = parse({});
  ASSERT_EQ(result.error, "");
  EXPECT_FALSE(result.parsed.json);
  EXPECT_FALSE(result.parsed.quiet);
  EXPECT_FALSE(result.parsed.help);
  EXPECT_FALSE(result.parsed.version);
  EXPECT_EQ(result.parsed.runs, 1);
  EXPECT_EQ(result.parsed.library_path, "");
}

TEST(CommandLine, ReadsEveryOptionInBothSpellingsOfAValue) {
  const parse_result spaced =
      parse({"--json", "--quiet", "--runs", "7", "--library", "/opt/q/lib.so", "--version"});
  ASSERT_EQ(spaced.error, "");
  EXPECT_TRUE(spaced.parsed.json);
  EXPECT_TRUE(spaced.parsed.quiet);
  EXPECT_TRUE(spaced.parsed.version);
  EXPECT_EQ(spaced.parsed.runs, 7);
  EXPECT_EQ(spaced.parsed.library_path, "/opt/q/lib.so");

  const parse_result joined = parse({"--runs=12", "--library=a=b.so", "-q", "-h"});
  ASSERT_EQ(joined.error, "");
  EXPECT_EQ(joined.parsed.runs, 12);
  // Only the first '=' separates name from value.
  EXPECT_EQ(joined.parsed.library_path, "a=b.so");
  EXPECT_TRUE(joined.parsed.quiet);
  EXPECT_TRUE(joined.parsed.help);
}

TEST(CommandLine, AcceptsRunCountsFromOneToTheLimit) {
  EXPECT_EQ(parse({"--runs", "1"}).parsed.runs, 1);
  EXPECT_EQ(parse({"--runs", std::to_string(max_runs)}).parsed.runs, max_runs);
}

TEST(CommandLine, RefusesRunCountsThatAreNotWholeNumbersInRange) {
  for (const char* bad : {"0", "-1", "abc", "3x", "", "1.5", "+2", "99999999999"}) {
    const parse_result result = parse({"--runs", bad});
    EXPECT_NE(result.error.find("--runs"), std::string::npos) << "value '" << bad << "'";
  }
  EXPECT_NE(parse({"--runs", std::to_string(max_runs + 1)}).error, "");
}

TEST(CommandLine, NamesTheProblemWithAMalformedOption) {
  EXPECT_EQ(parse({"--runs"}).error, "--runs: 1 required N missing");
  EXPECT_EQ(parse({"--library"}).error, "--library: 1 required PATH missing");
  EXPECT_EQ(parse({"--library="}).error, "--library: 1 required PATH missing");
  EXPECT_EQ(parse({"--json=yes"}).error, "--json: takes no value");
  EXPECT_EQ(parse({"--jsn"}).error, "unknown option '--jsn'");
  EXPECT_EQ(parse({"extra"}).error, "unknown option 'extra'");
  // The first problem stops the parse; later arguments are not read as values.
  EXPECT_EQ(parse({"--bogus", "--runs", "0"}).error, "unknown option '--bogus'");
}

TEST(CommandLine, CollectsEveryExportInOrderAndTheBaseline) {
  const parse_result result =
      parse({"--export", "a.json", "--export=b.csv", "--compare", "old.json", "--export", "c.md"});
  ASSERT_EQ(result.error, "");
  EXPECT_EQ(result.parsed.exports, (std::vector<std::string>{"a.json", "b.csv", "c.md"}));
  EXPECT_EQ(result.parsed.compare_path, "old.json");
  EXPECT_EQ(parse({"--export"}).error, "--export: 1 required FILE missing");
  EXPECT_EQ(parse({"--export="}).error, "--export: 1 required FILE missing");
  EXPECT_EQ(parse({"--compare", "a", "b"}).error, "unknown option 'b'");
}

TEST(CommandLine, HistoryOptionsAndCommand) {
  struct history_case {
    std::vector<std::string> arguments;
    bool history;
    std::string path;
    bool command;
    bool import;
  };
  const history_case cases[] = {
      {{"--history"}, true, "", false, false},
      {{"--history", "h.sqlite", "--runs", "2"}, true, "h.sqlite", false, false},
      {{"--history=h.sqlite"}, true, "h.sqlite", false, false},
      {{"--runs", "2"}, false, "", false, false},
      {{"history", "--history", "h.sqlite"}, false, "h.sqlite", true, false},
      {{"history", "import", "a.json", "b.json"}, false, "", true, true},
  };
  for (const history_case& c : cases) {
    const parse_result result = parse(c.arguments);
    ASSERT_EQ(result.error, "") << c.arguments[0];
    EXPECT_EQ(result.parsed.history, c.history) << c.arguments.size();
    EXPECT_EQ(result.parsed.history_path, c.path);
    EXPECT_EQ(result.parsed.history_command, c.command);
    EXPECT_EQ(result.parsed.history_import, c.import);
  }
  EXPECT_EQ(parse({"history", "import", "a.json", "b.json"}).parsed.import_files.size(), 2U);
  EXPECT_DOUBLE_EQ(parse({"history", "--fail-on-regression", "5"}).parsed.fail_on_regression, 5);
  EXPECT_NE(parse({"history", "--since", "03/11/2026"}).error, "");
  EXPECT_NE(parse({"history", "--fail-on-regression", "-1"}).error, "");
  EXPECT_NE(parse({"history", "import"}).error, "");
}

TEST(CommandLine, HelpDocumentsEveryOptionAndExitStatus) {
  const std::string text = usage_text();
  for (const char* option : {"--runs N", "--library PATH", "--export FILE", "--compare FILE"}) {
    EXPECT_NE(text.find(option), std::string::npos) << option;
  }
  // Every option the parser knows, so none can be added without its line.
  const std::vector<std::string> names = option_names();
  EXPECT_GE(names.size(), 8U);
  for (const std::string& name : names) {
    EXPECT_NE(text.find(" " + name + " "), std::string::npos) << name;
  }
  EXPECT_NE(text.find("Mann-Whitney U"), std::string::npos)
      << "the statistic of --compare is named";
  for (const char* status : {"\n  0 ", "\n  1 ", "\n  2 ", "\n  3 ", "\n  4 ", "\n  5 ", "\n  6 ",
                             "\n  7 ", "\n  8 ", "\n  130 "}) {
    EXPECT_NE(text.find(status), std::string::npos) << "exit status line" << status;
  }
}

}  // namespace
}  // namespace quorvane::host
