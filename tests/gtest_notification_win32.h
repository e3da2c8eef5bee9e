// GoogleTest's Notification for the win32 thread model, force-included into GoogleTest and its
// users: the Windows builds use that model (its runtime runs on XP), whose library has no
// std::mutex or std::condition_variable, which GoogleTest's own Notification is made of.
#pragma once

#include <windows.h>

namespace testing {
namespace internal {

class Notification {
  public:
    Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { SetEvent(event_); }
    // Only GoogleTest's thread start waits here, for a Notify that follows at once.
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

  private:
    HANDLE event_;
};

} // namespace internal
} // namespace testing

#define GTEST_HAS_NOTIFICATION_ 1
