// Launching a trivial program and waiting for its end: kav_winexec in mode 2 against its
// peers posix_spawn + waitpid (the least a launcher can do) and system() (what a port
// without kavutil would reach for).  Two trivial programs, each named by its path for all three
// so that the shell of system() has to start it too ("true" alone is a shell builtin):
// /bin/true (0), dynamically linked, and trivial_static (1), a static "return 0" built beside
// the benchmarks, which starts without the dynamic loader.  The comparison takes CPU time, the
// parent's and the children's; the console output also shows the wall clock.
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

#include "comparison.h"
#include "kavutil.h"

extern char **environ;

namespace {

constexpr uint32_t kBufferSize = uint32_t{1} << 30;

std::string Program(const benchmark::State &state) {
  return state.range(0) == 0 ? "/bin/true" : KAV_TRIVIAL_STATIC;
}

void KavWinexecWait(benchmark::State &state) {
  const std::string program = Program(state);
  const bench::ChildCpu children(state);
  for (auto _ : state) {
    std::string line = program;
    if (kav_winexec(line.data(), 1, 2, nullptr, nullptr, nullptr) != 0)
      state.SkipWithError("failed");
  }
}
BENCHMARK(KavWinexecWait)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

void PosixSpawnWaitpid(benchmark::State &state) {
  std::string program = Program(state);
  char *argv[] = {program.data(), nullptr};
  const bench::ChildCpu children(state);
  for (auto _ : state) {
    pid_t pid;
    int status = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0 ||
        waitpid(pid, &status, 0) != pid || status != 0)
      state.SkipWithError("failed");
  }
}
BENCHMARK(PosixSpawnWaitpid)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

void System(benchmark::State &state) {
  const std::string program = Program(state);
  const bench::ChildCpu children(state);
  for (auto _ : state)
    if (std::system(program.c_str()) != 0) state.SkipWithError("failed");
}
BENCHMARK(System)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

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

int main(int argc, char **argv) {
  return bench::RunWithComparisons(
      argc, argv,
      {{"kav_winexec mode 2, /bin/true", "KavWinexecWait/0", "PosixSpawnWaitpid/0",
        "posix_spawn + waitpid", "r1.2"},
       {"kav_winexec mode 2, /bin/true", "KavWinexecWait/0", "System/0", "system()", "r0.333"},
       {"kav_winexec mode 2, static trivial program", "KavWinexecWait/1", "PosixSpawnWaitpid/1",
        "posix_spawn + waitpid", "r1.2"},
       {"kav_winexec mode 2, static trivial program", "KavWinexecWait/1", "System/1", "system()",
        "r0.333"},
       {"CreateMappedBuffer + memset + DeleteMappedBuffer, 1 GiB", "MappedBuffer1GiB",
        "MallocMemset1GiB", "malloc + memset + free"}});
}
