// The library's load and unload handler. Loading runs none of the library's
// own code and unloading stops nothing, so every notification (process and
// thread, attach and detach) is simply answered with success.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD /*reason*/, LPVOID /*reserved*/) {
  return TRUE;
}
