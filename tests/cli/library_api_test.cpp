// Loading the library by path and resolving its eight exports.
#include "library_api.h"

#include <gtest/gtest.h>

namespace quorvane::host {
namespace {

TEST(LibraryApi, ResolvesAllEightExportsOfTheRealLibrary) {
  std::string error;
  const std::unique_ptr<loaded_library> library = load_library(QUORVANE_TEST_LIBRARY, error);
  ASSERT_TRUE(library) << error;
  const library_api& api = library->api();
  // Each pointer reaches its own function: the idle library answers with
  // its documented values.
  EXPECT_STREQ(api.version(), "1.0.0");
  EXPECT_STREQ(api.last_error(), "");
  EXPECT_EQ(api.state(), 0);
  EXPECT_EQ(api.phase(), 0);
  EXPECT_EQ(api.progress(), 0);
  EXPECT_EQ(std::string(api.results_json()).rfind("{\"score_single\":0,", 0), 0u);
  EXPECT_NE(api.start, nullptr);
  EXPECT_NE(api.cancel, nullptr);
}

TEST(LibraryApi, NamesThePathAndTheMissingExport) {
  std::string error;
  EXPECT_FALSE(load_library(QUORVANE_TEST_STAND_IN_LIBRARY, error));
  EXPECT_EQ(error, std::string("the library ") + QUORVANE_TEST_STAND_IN_LIBRARY +
                       " lacks the export quorvane_results_json");
}

TEST(LibraryApi, NamesThePathOfALibraryThatCannotBeLoaded) {
  std::string error;
  const std::string path = std::string(QUORVANE_TEST_STAND_IN_LIBRARY) + ".absent";
  EXPECT_FALSE(load_library(path, error));
  EXPECT_EQ(error.rfind("cannot load the library " + path + ": ", 0), 0u) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);
}

}  // namespace
}  // namespace quorvane::host
