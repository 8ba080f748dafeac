// xp_imports.cpp - a kernel32 function newer than Windows XP that the DLL's runtime imports,
// served by the DLL itself so that the DLL loads on Windows XP SP3.
//
// libgcc's unwinder and libstdc++ use the posix-thread runtime (winpthread), which measures the
// timeouts of its timed waits with GetTickCount64, a Windows Vista function.  The library never
// waits with a timeout, but the import alone would keep the DLL from loading on XP.  So the DLL
// defines the import's pointer, __imp_GetTickCount64, itself: the linker then takes it from here
// instead of from kernel32's import library, and the import table does not name the function.
// The stand-in counts milliseconds with the performance counter (Windows 2000), of which the
// runtime only takes differences.  Linked into the DLL only: a program linked with the static
// library brings its own runtime and its own minimum Windows.
#include <windows.h>

namespace {

ULONGLONG WINAPI MillisecondsCounted() {
  LARGE_INTEGER frequency, counter;
  if (!QueryPerformanceFrequency(&frequency) || !QueryPerformanceCounter(&counter))
    return GetTickCount();
  const auto per_second = static_cast<ULONGLONG>(frequency.QuadPart);
  const auto count = static_cast<ULONGLONG>(counter.QuadPart);
  return count / per_second * 1000 + count % per_second * 1000 / per_second;
}

}  // namespace

// The import pointer's name: decorated as a stdcall function without arguments on x86.
#if defined(_WIN64)
#define KAV_TICK_COUNT_IMPORT "__imp_GetTickCount64"
#else
#define KAV_TICK_COUNT_IMPORT "__imp__GetTickCount64@0"
#endif

extern "C" {
ULONGLONG(WINAPI *kav_tick_count_import)() __asm__(KAV_TICK_COUNT_IMPORT) = MillisecondsCounted;
}
