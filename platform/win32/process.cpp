// process.cpp - the three launchers on Windows: CreateProcessA, and LogonUserA with
// CreateProcessAsUserA, with the start-up flags, handles, waits and closing order that each
// launcher has always used.
//
// Redirection files are opened with CreateFileA, open-always (created empty when missing) and
// inheritable: input for reading, shared for reading; output and error for writing, shared
// for writing, then moved to their end so that new output is appended.  kav_winexec and
// kav_winexec_as_user open an error file of the output file's name as the output's handle and
// hand a file that does not open to the program as the invalid handle; kav_winexec_console
// opens every file on its own handle and counts a file that does not open as not named.
// Handles are closed error first (unless it is the output's), then output, then input; the
// caller's own standard handles are never closed.  Each open asks the I/O seam's fault plan first
// (as "open").

#include "platform/process.h"

#include <windows.h>

#include <cstring>

#include "platform/io.h"

namespace kav::platform {

const int kInvalidParameterError = ERROR_INVALID_PARAMETER;
const int kOutOfMemoryError = ERROR_NOT_ENOUGH_MEMORY;

namespace {

bool IsOpen(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

HANDLE OpenForReading(const char* name, SECURITY_ATTRIBUTES* security) {
  if (kav::platform::io::fault("open")) return INVALID_HANDLE_VALUE;
  return CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, security, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE OpenForAppending(const char* name, SECURITY_ATTRIBUTES* security) {
  if (kav::platform::io::fault("open")) return INVALID_HANDLE_VALUE;
  const HANDLE file = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_WRITE, security, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (IsOpen(file)) SetFilePointer(file, 0, nullptr, FILE_END);
  return file;
}

// The standard handles of kav_winexec and kav_winexec_as_user.
class Redirection {
 public:
  Redirection(const Launch& launch, SECURITY_ATTRIBUTES* security)
      : opened_{launch.input != nullptr, launch.output != nullptr, launch.error != nullptr},
        shared_(launch.output != nullptr && launch.error != nullptr &&
                std::strcmp(launch.output, launch.error) == 0) {
    input_ = opened_[0] ? OpenForReading(launch.input, security) : nullptr;
    output_ =
        opened_[1] ? OpenForAppending(launch.output, security) : GetStdHandle(STD_OUTPUT_HANDLE);
    error_ = shared_      ? output_
             : opened_[2] ? OpenForAppending(launch.error, security)
                          : GetStdHandle(STD_ERROR_HANDLE);
  }
  Redirection(const Redirection&) = delete;
  Redirection& operator=(const Redirection&) = delete;

  void Fill(STARTUPINFOA& startup) const {
    startup.hStdInput = input_;
    startup.hStdOutput = output_;
    startup.hStdError = error_;
  }

  void Close() {
    if (opened_[2] && !shared_ && IsOpen(error_)) CloseHandle(error_);
    if (opened_[1] && IsOpen(output_)) CloseHandle(output_);
    if (opened_[0] && IsOpen(input_)) CloseHandle(input_);
    opened_[0] = opened_[1] = opened_[2] = false;
  }

 private:
  bool opened_[3];
  bool shared_;
  HANDLE input_;
  HANDLE output_;
  HANDLE error_;
};

STARTUPINFOA StartupRecord(DWORD flags, int show) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = flags;
  startup.wShowWindow = static_cast<WORD>(show);
  return startup;
}

// After a start: the thread handle closed, the wait, the process handle closed.
Started Finish(const PROCESS_INFORMATION& process, WaitFor wait) {
  CloseHandle(process.hThread);
  Started started;
  if (wait == WaitFor::kExit) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    started.exit_code = code;
  } else if (wait == WaitFor::kInputIdle) {
    WaitForInputIdle(process.hProcess, INFINITE);
  }
  CloseHandle(process.hProcess);
  return started;
}

// The console launcher's files: each on a handle of its own; one that does not open is none.
class ConsoleFiles {
 public:
  ConsoleFiles(const Launch& launch, STARTUPINFOA& startup) {
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    const char* const names[3] = {launch.input, launch.output, launch.error};
    for (int stream = 0; stream < 3; ++stream) {
      if (names[stream] == nullptr) continue;
      const HANDLE file = stream == 0 ? OpenForReading(names[stream], &security)
                                      : OpenForAppending(names[stream], &security);
      handles_[stream] = IsOpen(file) ? file : nullptr;
    }
    startup.hStdInput = handles_[0];
    startup.hStdOutput = handles_[1];
    startup.hStdError = handles_[2];
    if (handles_[0] || handles_[1] || handles_[2]) startup.dwFlags |= STARTF_USESTDHANDLES;
  }
  ConsoleFiles(const ConsoleFiles&) = delete;
  ConsoleFiles& operator=(const ConsoleFiles&) = delete;

  void Close() {
    if (handles_[2] != nullptr && handles_[2] != handles_[1]) CloseHandle(handles_[2]);
    if (handles_[1] != nullptr) CloseHandle(handles_[1]);
    if (handles_[0] != nullptr) CloseHandle(handles_[0]);
    handles_[0] = handles_[1] = handles_[2] = nullptr;
  }

 private:
  HANDLE handles_[3] = {nullptr, nullptr, nullptr};
};

// A hidden console program: minimised, off any screen, and without a console window.
void HideWindow(STARTUPINFOA& startup, DWORD& creation) {
  startup.dwFlags |= STARTF_USEPOSITION | STARTF_USESIZE;
  startup.wShowWindow = SW_MINIMIZE;
  startup.dwX = 3000;
  startup.dwY = 3000;
  startup.dwXSize = 0;
  startup.dwYSize = 0;
  creation |= CREATE_NO_WINDOW;
}

}  // namespace

Started launch(const Launch& launch) {
  const bool any = launch.input != nullptr || launch.output != nullptr || launch.error != nullptr;
  STARTUPINFOA startup =
      StartupRecord(STARTF_USESHOWWINDOW | (any ? STARTF_USESTDHANDLES : 0), launch.show);
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  Redirection files(launch, &inheritable);
  files.Fill(startup);
  PROCESS_INFORMATION process{};
  const BOOL created =
      CreateProcessA(nullptr, launch.command_line, nullptr, nullptr, launch.inherit,
                     NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process);
  const DWORD error = created ? 0 : GetLastError();
  files.Close();
  if (!created) return {static_cast<int>(error)};
  return Finish(process, launch.wait);
}

// The files are opened inheritable and named in the start-up record, yet the process is
// created without inheritance; clearing the inherit flag afterwards changes nothing for them.
Started launch_as_user(const Launch& launch, Logon& logon) {
  STARTUPINFOA startup = StartupRecord(STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES, launch.show);
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  Redirection files(launch, &inheritable);
  files.Fill(startup);
  inheritable.bInheritHandle = FALSE;
  HANDLE token = nullptr;
  if (!LogonUserA(logon.user, ".", logon.password, LOGON32_LOGON_INTERACTIVE,
                  LOGON32_PROVIDER_DEFAULT, &token)) {
    logon.failed = true;
    logon.error = static_cast<int>(GetLastError());
    files.Close();
    return {-1};
  }
  PROCESS_INFORMATION process{};
  const BOOL created =
      CreateProcessAsUserA(token, nullptr, launch.command_line, nullptr, nullptr, FALSE,
                           NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process);
  const DWORD error = created ? 0 : GetLastError();
  files.Close();
  CloseHandle(token);
  if (!created) return {static_cast<int>(error)};
  return Finish(process, launch.wait);
}

Started launch_console(const Launch& launch) {
  DWORD creation = NORMAL_PRIORITY_CLASS;
  STARTUPINFOA startup = StartupRecord(STARTF_USESHOWWINDOW, launch.show);
  if (launch.show == 0)
    HideWindow(startup, creation);
  else
    creation |= CREATE_NEW_CONSOLE;
  ConsoleFiles files(launch, startup);  // none are named when hidden
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, launch.command_line, nullptr, nullptr, TRUE, creation, nullptr,
                      nullptr, &startup, &process)) {
    const DWORD error = GetLastError();
    files.Close();
    return {static_cast<int>(error)};
  }
  if (launch.wait == WaitFor::kExit) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);  // read, not returned
  } else if (launch.wait == WaitFor::kInputIdle) {
    WaitForInputIdle(process.hProcess, INFINITE);
  }
  files.Close();
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return {};
}

}  // namespace kav::platform
