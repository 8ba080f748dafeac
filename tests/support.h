// support.h - what several suites share: whole files read and written, a fresh temporary
// directory per test, environment entries, the profile folders fixed before the library's first
// call, fault sweeps and tree snapshots.  For the suites that reach internal functions (the
// source tree is on their include path).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "kavutil.h"
#include "platform/io.h"
#include "platform/memory.h"
#include "platform/platform.h"

namespace kavtest {

namespace fs = std::filesystem;

inline constexpr char kSep = kav::platform::kSeparator;
inline constexpr bool kPosix = kSep == '/';

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A directory of its own under the system's temporary one.
inline fs::path NewDirectory(const std::string& prefix) {
  std::random_device seed;
  fs::path path;
  do path = fs::temp_directory_path() / (prefix + std::to_string(seed()));
  while (!fs::create_directory(path));
  return path;
}

// Each test in a fresh directory, removed with all it holds afterwards.
class InDirectory : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = NewDirectory("kav-test-"); }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  // A path below the directory; '/' in relative becomes the platform's separator.
  std::string At(std::string relative) const {
    for (char& c : relative) c = c == '/' ? kSep : c;
    return dir_.string() + kSep + relative;
  }
  fs::path dir_;
};

// Hands a heap copy of "NAME=value" to the library's environment, which owns it from then on.
inline char* PutEnv(const std::string& entry) {
  char* copy = static_cast<char*>(std::malloc(entry.size() + 1));
  std::memcpy(copy, entry.c_str(), entry.size() + 1);
  EXPECT_EQ(kav_putenv(copy), 0) << entry;
  return copy;
}

// Sets a variable of the process environment; an empty value removes it.
inline void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  value.empty() ? unsetenv(name) : setenv(name, value.c_str(), 1);
#endif
}

// The library caches its profile folders for the life of the process, so they are fixed before
// its first call: on POSIX in a fresh temporary directory, through the environment; on Windows
// (and Wine) they are the system's own, and TearDown removes the files named `written` in them
// and the version directories and their parents when empty.  TearDown also removes `scratch`,
// a directory below the working directory for files named by path.
class ProfileFolders : public ::testing::Environment {
 public:
  explicit ProfileFolders(std::string scratch, std::vector<std::string> written = {})
      : scratch_(std::move(scratch)), written_(std::move(written)) {
#ifndef _WIN32
    root_ = NewDirectory("kav-profile-");
    setenv("XDG_CONFIG_HOME", (root_ / "user").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", ((root_ / "common").string() + ":/etc/xdg").c_str(), 1);
    setenv("SYSTEMROOT", (root_ / "windows").c_str(), 1);
    fs::create_directory(root_ / "windows");
#endif
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(scratch_, ignored);
    if (!root_.empty()) {
      fs::remove_all(root_, ignored);
      return;
    }
    for (int location : {0, 1, 2}) {
      for (const std::string& name : written_) fs::remove(QelGetINIPath(location) + name, ignored);
    }
    for (int location : {1, 2}) {
      fs::path directory = fs::path(QelGetINIPath(location)).parent_path();
      for (int level = 0; level < 3; ++level, directory = directory.parent_path()) {
        fs::remove(directory, ignored);
      }
    }
  }

 private:
  std::string scratch_;
  std::vector<std::string> written_;
  fs::path root_;
};

// Fault sweeps, and the snapshot of a tree that tells what one left behind.

// Every entry below directory: a file's contents, "<dir>", "-> target" for a link, or "<other>".
using Tree = std::map<std::string, std::string>;
inline Tree Snapshot(const fs::path& directory) {
  Tree tree;
  for (const auto& entry : fs::recursive_directory_iterator(directory)) {
    const std::string name = entry.path().lexically_relative(directory).generic_string();
    if (entry.is_symlink()) {
      tree[name] = "-> " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_regular_file()) {
      tree[name] = ReadFile(entry.path());
    } else {
      tree[name] = entry.is_directory() ? "<dir>" : "<other>";  // a FIFO is never opened
    }
  }
  return tree;
}

// Makes the entries of tree below directory: "<dir>" a directory, anything else a file of those
// bytes (the directories above an entry are made too).
inline void Plant(const fs::path& directory, const Tree& tree) {
  for (const auto& [path, contents] : tree) {
    fs::create_directories((directory / path).parent_path());
    if (contents == "<dir>") fs::create_directory(directory / path);
    if (contents != "<dir>") WriteFile(directory / path, contents);
  }
}

// The process's open descriptors on POSIX; 0 elsewhere (under Wine the list is Wine's own).
inline long OpenDescriptors() {
  std::error_code error;
  const fs::directory_iterator listing(kPosix ? "/proc/self/fd" : "", error);
  return error ? 0 : std::distance(listing, fs::directory_iterator());
}

// A fault sweep: attempt(k) runs an operation with its k-th call (file call or allocation) failing
// and says whether the operation reached that call; the sweep goes on from k = first until one
// did not, or an assertion failed fatally.  Each attempt's failures name its k.
template <typename Attempt>
void Sweep(Attempt attempt, long first = 1) {
  for (long k = first; k < 100000; ++k) {
    SCOPED_TRACE("the fault at k = " + std::to_string(k));
    if (!attempt(k) || ::testing::Test::HasFatalFailure()) return;
  }
  ADD_FAILURE() << "the operation never ran out of calls";
}

// The file-call sweep: op (which returns what it did) runs with its k-th file call failing with
// error, then check(result, faulted) tells whether the outcome is allowed; faulted says whether
// op reached the failing call.
template <typename Op, typename Check>
void SweepFileCalls(int error, Op op, Check check) {
  Sweep([&](long k) {
    kav::platform::io::fail_call(nullptr, k, error);
    const auto result = op();
    const bool faulted = kav::platform::io::calls_made() >= k;
    kav::platform::io::fail_call(nullptr, 0, 0);
    check(result, faulted);
    return faulted;
  });
}

// The allocation sweep: op runs with every allocation after the first n refused, for n = 0, 1,
// ... until a run has none refused; check(n, what op returned) runs after each, with the heap
// whole again.
template <typename Op, typename Check>
void SweepAllocations(Op op, Check check) {
  Sweep(
      [&](long n) {
        kav::platform::memory::fail_after(n);
        const auto result = op();
        const bool refused = kav::platform::memory::refused() > 0;
        kav::platform::memory::fail_after(-1);
        check(n, result);
        return refused;
      },
      0);
}

}  // namespace kavtest
