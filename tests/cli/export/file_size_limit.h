// Lowers this process's file size limit for a scope, so writes past it fail
// (EFBIG) whatever the user's permissions; SIGXFSZ is ignored meanwhile.
#ifndef QUORVANE_TESTS_CLI_EXPORT_FILE_SIZE_LIMIT_H
#define QUORVANE_TESTS_CLI_EXPORT_FILE_SIZE_LIMIT_H

#if !defined(_WIN32)
#  include <signal.h>
#  include <sys/resource.h>

class file_size_limit {
 public:
  explicit file_size_limit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  file_size_limit(const file_size_limit&) = delete;
  file_size_limit& operator=(const file_size_limit&) = delete;
  ~file_size_limit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};
#endif

#endif  // QUORVANE_TESTS_CLI_EXPORT_FILE_SIZE_LIMIT_H
