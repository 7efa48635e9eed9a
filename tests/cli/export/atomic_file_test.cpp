// The atomic writer against links, permissions, owners and other writers.
#include "export/atomic_file.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#  include <sys/stat.h>
#  include <unistd.h>

#  include <algorithm>
#  include <filesystem>
#  include <fstream>
#  include <sstream>
#  include <string>
#  include <vector>

namespace quorvane::host {
namespace {

namespace fs = std::filesystem;

// A user and group id that owns nothing of the test's.
constexpr uid_t someone_else = 65534;

class AtomicFile : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // The process id keeps apart the same test run from other builds at once.
    folder_ = (fs::temp_directory_path() /
               ("quorvane-atomic-" + std::string(test->name()) + "-" + std::to_string(getpid())))
                  .string();
    fs::remove_all(folder_);
    fs::create_directory(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string in_folder(const std::string& name) const { return folder_ + "/" + name; }
  static void put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string text_of(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  static struct stat status_of(const std::string& path) {
    struct stat status {};
    lstat(path.c_str(), &status);
    return status;
  }

  std::string folder_;
};

TEST_F(AtomicFile, ALinkIsFollowedAndStays) {
  put(in_folder("real.prom"), "stale\n");
  fs::create_symlink("real.prom", in_folder("link.prom"));
  std::string error;
  ASSERT_TRUE(can_write_atomically(in_folder("link.prom"), error)) << error;
  ASSERT_TRUE(write_atomically(in_folder("link.prom"), "fresh\n", error)) << error;
  EXPECT_TRUE(fs::is_symlink(in_folder("link.prom")));
  EXPECT_EQ(text_of(in_folder("real.prom")), "fresh\n");
  EXPECT_EQ(entries(), (std::vector<std::string>{"link.prom", "real.prom"}));
}

TEST_F(AtomicFile, ALinkThatProtectedSymlinksRefusesIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give the link to another user";
  // A sticky, world-writable folder, as /tmp, and a link in it that another
  // user planted, pointing at a file of theirs choosing.
  ASSERT_EQ(chmod(folder_.c_str(), 01777), 0);
  put(in_folder("victim"), "precious\n");
  fs::create_symlink("victim", in_folder("out.prom"));
  ASSERT_EQ(lchown(in_folder("out.prom").c_str(), someone_else, someone_else), 0);
  std::string error;
  EXPECT_FALSE(can_write_atomically(in_folder("out.prom"), error));
  EXPECT_FALSE(write_atomically(in_folder("out.prom"), "overwritten\n", error));
  EXPECT_NE(error.find("owned by another user"), std::string::npos) << error;
  EXPECT_EQ(text_of(in_folder("victim")), "precious\n");
  EXPECT_EQ(entries(), (std::vector<std::string>{"out.prom", "victim"}));
}

TEST_F(AtomicFile, AnExistingFileKeepsItsModeAndOwner) {
  const std::string path = in_folder("private.json");
  put(path, "old\n");
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(path.c_str(), someone_else, someone_else), 0);
  }
  std::string error;
  ASSERT_TRUE(write_atomically(path, "new\n", error)) << error;
  EXPECT_EQ(text_of(path), "new\n");
  EXPECT_EQ(status_of(path).st_mode & 07777, 0600U);
  if (root) {
    EXPECT_EQ(status_of(path).st_uid, someone_else);
  }
}

TEST_F(AtomicFile, ANewFileIsReadableAsTheUmaskAllows) {
  // Another user's collector reads the export unless the umask says no.
  for (const auto& [mask, mode] :
       {std::pair<mode_t, mode_t>{022, 0644}, {002, 0664}, {077, 0600}}) {
    const std::string path = in_folder("new-" + std::to_string(mask) + ".prom");
    const mode_t saved = umask(mask);
    std::string error;
    const bool written = write_atomically(path, "x 1\n", error);
    umask(saved);
    ASSERT_TRUE(written) << error;
    EXPECT_EQ(status_of(path).st_mode & 07777, mode) << "umask " << mask;
  }
}

TEST_F(AtomicFile, AnotherWritersFilesBesideTheTargetAreLeftAlone) {
  // Names another writer could be using for its own temporary file: this
  // process's number says nothing in another container.
  const std::string path = in_folder("out.csv");
  const std::string theirs = path + "." + std::to_string(getpid()) + ".tmp";
  put(theirs, "theirs\n");
  std::string error;
  ASSERT_TRUE(can_write_atomically(path, error)) << error;
  ASSERT_TRUE(write_atomically(path, "mine\n", error)) << error;
  EXPECT_EQ(text_of(theirs), "theirs\n");
  EXPECT_EQ(text_of(path), "mine\n");
  EXPECT_EQ(entries().size(), 2U);
}

}  // namespace
}  // namespace quorvane::host
#endif
