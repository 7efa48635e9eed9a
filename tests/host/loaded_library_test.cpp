// The tests' own loader: what its destructor does with a run still going.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "loaded_library.h"

namespace {

TEST(LoadedLibrary, DestructorClosesARunBeforeItUnloads) {
  const std::string path = QUORVANE_SLOW_CLOSING_LIBRARY_PATH;
  {
    loaded_library lib(path);
    ASSERT_EQ(lib.start(), 0);
    ASSERT_EQ(lib.state(), 1);
  }
  // Had the library gone while its thread ran, the thread would have
  // returned into unmapped code by now.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  void* still_loaded = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(still_loaded, nullptr) << "the run closed after making the library resident";
  auto state = reinterpret_cast<int (*)()>(dlsym(still_loaded, "quorvane_state"));
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state(), 3) << "the destructor cancelled the run and waited for its close";
  dlclose(still_loaded);
}

}  // namespace
