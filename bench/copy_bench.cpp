// Copies that end stored on disk: copy_file and copy_dir against cp followed by the sync that
// stores what it wrote (coreutils, run as child processes in the same run), compared on the wall
// clock, since both sides wait for the disk.
//
// - one page-cached file of 1 GiB: copy_file, against cp and "sync FILE" (an fsync of the copy);
// - a tree of 20 files of 50 MiB: copy_dir, against "cp -r" and "sync -f" (a syncfs);
// - a tree of 10,000 small files (100 directories of 100 files, 1 byte to 8 KiB, 4 KiB on
//   average): copy_dir, against "cp -r" and "sync -f".
//
// The sources are written once and read again before every repetition, so they are in the page
// cache; before every repetition, outside the timing, the destination is moved aside (the small
// files) or removed (the big ones), and the file system synced.  The moved trees are removed at the
// end.  The repetitions of ours and the peer's run interleaved in random order.  The data lives in
// copy-bench-data beside the build's bin directory (on the build's disk, not a tmpfs /tmp), or in
// KAV_COPY_BENCH_DIR; KAV_COPY_BENCH_SCALE (default 1) scales the sizes and the number of small
// files for a quick run (0.05: 51 MiB, 20 files of 2.5 MiB, 500 small files). The sources stay
// there for the next run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "comparison.h"
#include "kavutil.h"

extern char **environ;

namespace fs = std::filesystem;

namespace {

double Scale() {
  const char *text = std::getenv("KAV_COPY_BENCH_SCALE");
  const double scale = text != nullptr ? std::atof(text) : 1.0;
  return scale > 0 ? scale : 1.0;
}

long long Scaled(long long value) {
  const auto scaled = static_cast<long long>(static_cast<double>(value) * Scale());
  return scaled > 0 ? scaled : 1;
}

fs::path DataDirectory() {
  if (const char *dir = std::getenv("KAV_COPY_BENCH_DIR"); dir != nullptr && *dir != '\0')
    return dir;
  return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "copy-bench-data";
}

const fs::path &Data() {
  static const fs::path data = DataDirectory();
  return data;
}

// Writes path with size bytes of a pattern, unless it already has that size.
void WriteSource(const fs::path &path, long long size, unsigned seed) {
  std::error_code error;
  if (fs::exists(path, error) && static_cast<long long>(fs::file_size(path, error)) == size) return;
  fs::create_directories(path.parent_path());
  std::vector<char> block(1 << 20);
  for (std::size_t i = 0; i < block.size(); ++i)
    block[i] = static_cast<char>((i * 2654435761u + seed) >> 13);
  std::FILE *file = std::fopen(path.string().c_str(), "wb");
  for (long long left = size; file != nullptr && left > 0;) {
    const auto part = static_cast<std::size_t>(std::min<long long>(left, block.size()));
    std::fwrite(block.data(), 1, part, file);
    left -= static_cast<long long>(part);
  }
  if (file != nullptr) std::fclose(file);
}

// Reads every file below path, so that it is in the page cache.
void Cache(const fs::path &path) {
  std::vector<char> block(1 << 20);
  const auto read = [&](const fs::path &file) {
    const int fd = open(file.string().c_str(), O_RDONLY | O_CLOEXEC);
    while (fd >= 0 && ::read(fd, block.data(), block.size()) > 0) {
    }
    if (fd >= 0) close(fd);
  };
  if (fs::is_regular_file(path)) return read(path);
  for (const auto &entry : fs::recursive_directory_iterator(path))
    if (entry.is_regular_file()) read(entry.path());
}

struct Work {
  fs::path source, destination;
  bool many_files = false;  // moved aside after its copy instead of removed (see Graveyard)
};

Work BigFile() {
  static const Work work = [] {
    Work w{Data() / "big.src", Data() / "big.dst"};
    WriteSource(w.source, Scaled(1LL << 30), 1);
    return w;
  }();
  return work;
}

Work BigFiles() {
  static const Work work = [] {
    Work w{Data() / "big-tree.src", Data() / "big-tree.dst"};
    for (int i = 0; i < 20; ++i)
      WriteSource(w.source / ("file" + std::to_string(i)), Scaled(50LL << 20), 2 + i);
    return w;
  }();
  return work;
}

Work SmallFiles() {
  static const Work work = [] {
    Work w{Data() / "small-tree.src", Data() / "small-tree.dst", true};
    const long long count = Scaled(10000);
    for (long long i = 0; i < count; ++i) {
      const fs::path file = w.source / ("dir" + std::to_string(i / 100)) /
                            ("file" + std::to_string(i % 100) + ".txt");
      WriteSource(file, 1 + (i * 7919) % 8192, static_cast<unsigned>(i));
    }
    return w;
  }();
  return work;
}

// Where the small trees' earlier copies wait until the program ends.  Removing 10,000 files
// just before a copy makes ext4 pass over their inodes while it looks for free ones (it keeps
// recently freed inodes unused for a while): the copy that follows a removal paid up to 3 times
// the other's system time, whichever side it was.  Moved aside, no copy follows a removal.
fs::path Graveyard() { return Data() / "removed"; }

// Before each repetition: no destination, nothing dirty on the file system, the source cached.
void Prepare(const Work &work) {
  std::error_code error;
  if (work.many_files && fs::is_directory(work.destination, error)) {
    static int moved = 0;
    fs::create_directories(Graveyard(), error);
    fs::rename(work.destination, Graveyard() / std::to_string(moved++), error);
  }
  fs::remove_all(work.destination, error);
  const int fd = open(Data().string().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    syncfs(fd);
    close(fd);
  }
  Cache(work.source);
}

// Runs a program with its arguments and waits for it; false unless it exits with 0.
bool Run(std::vector<std::string> words) {
  std::vector<char *> argv;
  for (std::string &word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid;
  int status = 0;
  return posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 &&
         waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

template <typename Copy>
void Measure(benchmark::State &state, const Work &work, Copy copy) {
  Prepare(work);
  const bench::ChildCpu children(state);
  for (auto _ : state) {
    if (!copy(work.source.string(), work.destination.string())) state.SkipWithError("failed");
  }
}

void BM_copy_file(benchmark::State &state) {
  Measure(state, BigFile(), [](const std::string &from, const std::string &to) {
    return copy_file(from.c_str(), to.c_str()) == 0;
  });
}

void BM_cp_sync_file(benchmark::State &state) {
  Measure(state, BigFile(), [](const std::string &from, const std::string &to) {
    return Run({"cp", from, to}) && Run({"sync", to});
  });
}

bool CopyDir(const std::string &from, const std::string &to) {
  return copy_dir(from.c_str(), to.c_str()) == 0;
}

bool CpSync(const std::string &from, const std::string &to) {
  return Run({"cp", "-r", from, to}) && Run({"sync", "-f", to});
}

void BM_copy_dir_big(benchmark::State &state) { Measure(state, BigFiles(), CopyDir); }
void BM_cp_sync_dir_big(benchmark::State &state) { Measure(state, BigFiles(), CpSync); }
void BM_copy_dir_small(benchmark::State &state) { Measure(state, SmallFiles(), CopyDir); }
void BM_cp_sync_dir_small(benchmark::State &state) { Measure(state, SmallFiles(), CpSync); }

#define KAV_COPY_BENCHMARK(name) \
  BENCHMARK(name)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)

KAV_COPY_BENCHMARK(BM_copy_file);
KAV_COPY_BENCHMARK(BM_cp_sync_file);
KAV_COPY_BENCHMARK(BM_copy_dir_big);
KAV_COPY_BENCHMARK(BM_cp_sync_dir_big);
KAV_COPY_BENCHMARK(BM_copy_dir_small);
KAV_COPY_BENCHMARK(BM_cp_sync_dir_small);

}  // namespace

int main(int argc, char **argv) {
  const std::vector<bench::Comparison> rows{
      {"copy_file, page-cached 1 GiB", "BM_copy_file", "BM_cp_sync_file", "cp + sync FILE", "r1.2",
       true},
      {"copy_dir, 20 files of 50 MiB", "BM_copy_dir_big", "BM_cp_sync_dir_big", "cp -r + sync -f",
       "r1.2", true},
      {"copy_dir, 10,000 small files", "BM_copy_dir_small", "BM_cp_sync_dir_small",
       "cp -r + sync -f", "r1.2", true},
  };
  bench::Options options;
  options.interleave = true;
  const int result = bench::RunWithComparisons(argc, argv, rows, options);
  std::error_code error;
  for (const char *destination : {"big.dst", "big-tree.dst", "small-tree.dst", "removed"})
    fs::remove_all(Data() / destination, error);
  return result;
}
