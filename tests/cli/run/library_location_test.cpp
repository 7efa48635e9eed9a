// Where the host looks for the library when no --library names one.
#include "run/library_location.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace quorvane::host {
namespace {

#if defined(_WIN32)
const std::string bin = "C:\\q\\bin";
const std::string beside = "C:\\q\\bin\\q.dll";
const std::string installed = "C:\\q\\lib\\q.dll";
#else
const std::string bin = "/opt/q/bin";
const std::string beside = "/opt/q/bin/q.dll";
const std::string installed = "/opt/q/lib/q.dll";
#endif

std::string locate(const std::set<std::string>& existing) {
  return locate_library(bin, "q.dll", "../lib",
                        [&](const std::string& path) { return existing.count(path) > 0; });
}

TEST(LibraryLocation, PrefersTheLibraryBesideTheExecutable) {
  EXPECT_EQ(locate({beside, installed}), beside);
}

TEST(LibraryLocation, FallsBackToTheInstallTreesLibraryFolder) {
  EXPECT_EQ(locate({installed}), installed);
}

TEST(LibraryLocation, NamesThePathBesideTheExecutableWhenNeitherExists) {
  EXPECT_EQ(locate({}), beside);
}

}  // namespace
}  // namespace quorvane::host
