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
#include <process.h>
#include <windows.h>
#else
#include <thread>
#endif

namespace testing_support {

// Runs body on a new thread at once; join() waits for it. A thread not yet
// joined is joined when the object is destroyed.
class test_thread {
 public:
  explicit test_thread(std::function<void()> body)
      : body_(std::make_unique<std::function<void()>>(std::move(body))) {
#if defined(_WIN32)
    handle_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &run, body_.get(), 0, nullptr));
    if (handle_ == nullptr) std::abort();
#else
    thread_ = std::thread(*body_);
#endif
  }
  test_thread(test_thread&& other) noexcept
      : body_(std::move(other.body_))
#if defined(_WIN32)
        , handle_(std::exchange(other.handle_, nullptr))
#else
        , thread_(std::move(other.thread_))
#endif
  {
  }
  test_thread(const test_thread&) = delete;
  test_thread& operator=(const test_thread&) = delete;
  test_thread& operator=(test_thread&&) = delete;
  ~test_thread() { join(); }

  void join() {
#if defined(_WIN32)
    if (handle_ == nullptr) return;
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
#else
    if (thread_.joinable()) thread_.join();
#endif
  }

 private:
#if defined(_WIN32)
  static unsigned __stdcall run(void* body) {
    (*static_cast<std::function<void()>*>(body))();
    return 0;
  }
#endif

  std::unique_ptr<std::function<void()>> body_;
#if defined(_WIN32)
  HANDLE handle_ = nullptr;
#else
  std::thread thread_;
#endif
};

}  // namespace testing_support

#endif  // QUORVANE_TESTS_TEST_THREAD_H
