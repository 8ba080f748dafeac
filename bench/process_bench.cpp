// Launching a trivial program and waiting for its end: kav_winexec in mode 2 against its
// peers posix_spawn + waitpid (the least a launcher can do) and system() (what a port
// without kavutil would reach for).  The program is /bin/true, named by its path for all
// three, so that the shell of system() has to start it too ("true" alone is a shell builtin).
// And a 1 GiB mapped buffer created, filled and deleted against the heap's
// malloc + memset + free of the same size; the buffer's file lives in a temporary QELTMP.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "kavutil.h"

extern char **environ;

namespace {

constexpr uint32_t kBufferSize = uint32_t{1} << 30;

void KavWinexecWait(benchmark::State &state) {
  for (auto _ : state) {
    char line[] = "/bin/true";
    if (kav_winexec(line, 1, 2, nullptr, nullptr, nullptr) != 0) state.SkipWithError("failed");
  }
}
BENCHMARK(KavWinexecWait)->Unit(benchmark::kMicrosecond);

void PosixSpawnWaitpid(benchmark::State &state) {
  char program[] = "/bin/true";
  char *argv[] = {program, nullptr};
  for (auto _ : state) {
    pid_t pid;
    int status = 0;
    if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0 ||
        waitpid(pid, &status, 0) != pid || status != 0)
      state.SkipWithError("failed");
  }
}
BENCHMARK(PosixSpawnWaitpid)->Unit(benchmark::kMicrosecond);

void System(benchmark::State &state) {
  for (auto _ : state)
    if (std::system("/bin/true") != 0) state.SkipWithError("failed");
}
BENCHMARK(System)->Unit(benchmark::kMicrosecond);

// QELTMP names a fresh directory for the life of the program.
class TemporaryDirectory {
 public:
  TemporaryDirectory()
      : path_(std::filesystem::temp_directory_path() /
              ("kav-mapped-bench-" + std::to_string(std::random_device{}()))) {
    std::filesystem::create_directories(path_);
    setenv("QELTMP", path_.c_str(), 1);
  }
  ~TemporaryDirectory() { std::filesystem::remove_all(path_); }

 private:
  std::filesystem::path path_;
};

void MappedBuffer1GiB(benchmark::State &state) {
  static TemporaryDirectory directory;
  for (auto _ : state) {
    MappedBuffer *buffer = CreateMappedBuffer(kBufferSize);
    if (buffer == nullptr) {
      state.SkipWithError("CreateMappedBuffer failed");
      break;
    }
    std::memset(buffer->view, 0x5A, buffer->size);
    benchmark::DoNotOptimize(buffer->view);
    benchmark::ClobberMemory();
    DeleteMappedBuffer(buffer);
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kBufferSize});
}
BENCHMARK(MappedBuffer1GiB)->Unit(benchmark::kMillisecond);

void MallocMemset1GiB(benchmark::State &state) {
  for (auto _ : state) {
    void *block = std::malloc(kBufferSize);
    if (block == nullptr) {
      state.SkipWithError("malloc failed");
      break;
    }
    std::memset(block, 0x5A, kBufferSize);
    benchmark::DoNotOptimize(block);
    benchmark::ClobberMemory();
    std::free(block);
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kBufferSize});
}
BENCHMARK(MallocMemset1GiB)->Unit(benchmark::kMillisecond);

}  // namespace
