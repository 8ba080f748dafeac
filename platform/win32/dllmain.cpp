// The DLL's entry procedure.  The library keeps no per-process or per-thread
// resources of its own, so every notification is acknowledged without work.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
