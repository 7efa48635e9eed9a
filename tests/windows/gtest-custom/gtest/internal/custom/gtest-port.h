// GoogleTest's customisation point, used by the Windows cross build only.
//
// GCC's C++ library in the win32 thread model has no std::mutex or
// std::condition_variable, which GoogleTest's own Notification is built on;
// this one waits on a manual-reset Win32 event instead. GoogleTest uses it
// only for its own thread tests.
#ifndef QUORVANE_TESTS_GTEST_CUSTOM_PORT_H
#define QUORVANE_TESTS_GTEST_CUSTOM_PORT_H

#if defined(_WIN32)
#  include <windows.h>

#  define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  ~Notification() {
    if (event_ != nullptr) CloseHandle(event_);
  }

  void Notify() { SetEvent(event_); }
  void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};

}  // namespace internal
}  // namespace testing
#endif  // _WIN32

#endif  // QUORVANE_TESTS_GTEST_CUSTOM_PORT_H
