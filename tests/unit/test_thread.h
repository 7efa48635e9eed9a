// A thread for test code on every platform the unit suite builds for. GCC's
// C++ library for Windows in the win32 thread model has no std::thread, so
// there the C runtime's _beginthreadex stands in.
#ifndef QUORVANE_TESTS_TEST_THREAD_H
#define QUORVANE_TESTS_TEST_THREAD_H

#include <cstdlib>
#include <functional>
#include <memory>
#include <utility>

#if defined(_WIN32)
#  include <process.h>
#  include <windows.h>
#else
#  include <thread>
#endif

namespace testing_support {

// Runs body on a new thread at once; join() waits for it. A thread not yet
// joined is joined when the object is destroyed.
class test_thread {
 public:
  explicit test_thread(std::function<void()> body)
      : body_(std::make_unique<std::function<void()>>(std::move(body))) {
#if defined(_WIN32)
    native_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &run, body_.get(), 0, nullptr));
    if (native_ == nullptr) std::abort();
#else
    native_ = std::thread(*body_);
#endif
  }
  test_thread(test_thread&& other) noexcept
      : body_(std::move(other.body_)), native_(std::exchange(other.native_, native_type{})) {}
  test_thread(const test_thread&) = delete;
  test_thread& operator=(const test_thread&) = delete;
  test_thread& operator=(test_thread&&) = delete;
  ~test_thread() { join(); }

  void join() {
#if defined(_WIN32)
    if (native_ == nullptr) return;
    WaitForSingleObject(native_, INFINITE);
    CloseHandle(native_);
    native_ = nullptr;
#else
    if (native_.joinable()) native_.join();
#endif
  }

 private:
#if defined(_WIN32)
  static unsigned __stdcall run(void* body) {
    (*static_cast<std::function<void()>*>(body))();
    return 0;
  }
#endif

#if defined(_WIN32)
  using native_type = HANDLE;
#else
  using native_type = std::thread;
#endif

  std::unique_ptr<std::function<void()>> body_;
  native_type native_{};
};

}  // namespace testing_support

#endif  // QUORVANE_TESTS_TEST_THREAD_H
