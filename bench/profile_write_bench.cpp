// Profile writes against their peer, measured in one run: QelWritePrivateProfileString by full
// path into a 100-key file, in an empty directory and in one that holds 10,000 other files, so
// that a cost that grows with the directory shows as the ratio of the two; and GLib's GKeyFile
// doing the same work (load the file, set the value, g_key_file_save_to_file, which writes
// aside, fsyncs, renames and fsyncs the directory, as ours does) in the same two directories.
// Every write changes one value, so that each one replaces the file.
//
// The directories are on the file system of the temporary directory (TMPDIR), so the flushes
// reach the disk that holds it.  A write mostly waits for the disk, so the rows against GKeyFile
// compare wall clocks; the row of the two directories compares CPU times, since what a directory
// can add is work of the processor (a listing), which the waits for the disk would drown.  The
// console output gives both clocks for every benchmark.  Eleven rounds of 50 writes of each
// benchmark run in one random order (ours, the peer's, ...), and each row takes the medians.  The
// 10,000 files are created before the first timing and stay, so their entries are cached for both
// sides.
#include <benchmark/benchmark.h>
#include <glib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "comparison.h"
#include "kavutil.h"

namespace {

namespace fs = std::filesystem;

constexpr int kKeys = 100;
constexpr int kCrowd = 10000;
constexpr const char *kSection = "Main";

struct Directories {
  fs::path root, empty, crowded;

  Directories() {
    root =
        fs::temp_directory_path() / ("kav-write-bench-" + std::to_string(std::random_device{}()));
    empty = root / "empty";
    crowded = root / "crowded";
    fs::create_directories(empty);
    fs::create_directories(crowded);
    for (int i = 0; i < kCrowd; ++i) std::ofstream(crowded / ("file" + std::to_string(i)));
  }
  ~Directories() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  // The profile of one side in the directory of the benchmark's argument (0: empty).
  std::string Profile(const benchmark::State &state, const char *side) const {
    const fs::path path = (state.range(0) == 0 ? empty : crowded) / (std::string(side) + ".ini");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "[" << kSection << "]\r\n";
    for (int i = 0; i < kKeys; ++i) out << "Setting" << i << "=value" << i << "\r\n";
    return path.string();
  }
};

const Directories &Dirs() {
  static const Directories directories;
  return directories;
}

std::string Key(int i) { return "Setting" + std::to_string(i % kKeys); }

void BM_KavWrite(benchmark::State &state) {
  const std::string path = Dirs().Profile(state, "kav");
  int n = 0;
  for (auto _ : state) {
    const std::string key = Key(n), value = "v" + std::to_string(++n);
    if (QelWritePrivateProfileString(kSection, key.c_str(), value.c_str(), path.c_str(),
                                     KAV_LOCATION_COMMON) != 1) {
      state.SkipWithError("write failed");
      break;
    }
  }
}

void BM_GKeyFileWrite(benchmark::State &state) {
  const std::string path = Dirs().Profile(state, "glib");
  int n = 0;
  for (auto _ : state) {
    const std::string key = Key(n), value = "v" + std::to_string(++n);
    GKeyFile *file = g_key_file_new();
    const bool written =
        g_key_file_load_from_file(file, path.c_str(),
                                  static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS), nullptr) &&
        (g_key_file_set_value(file, kSection, key.c_str(), value.c_str()), true) &&
        g_key_file_save_to_file(file, path.c_str(), nullptr);
    g_key_file_free(file);
    if (!written) {
      state.SkipWithError("write failed");
      break;
    }
  }
}

// Fixed rounds of 50 writes: the library would size the rounds by CPU time, which is a small part
// of a write, and make each round last seconds.  Short rounds interleave finely, so that a change
// in the disk's load falls on both sides alike.
BENCHMARK(BM_KavWrite)
    ->Arg(0)
    ->Arg(kCrowd)
    ->Iterations(50)
    ->Repetitions(11)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GKeyFileWrite)
    ->Arg(0)
    ->Arg(kCrowd)
    ->Iterations(50)
    ->Repetitions(11)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv) {
  Dirs();  // the crowd of files exists before the first timing
  const std::vector<bench::Comparison> rows = {
      {"QelWritePrivateProfileString, 100-key file, directory of 10,000 files", "BM_KavWrite/10000",
       "BM_KavWrite/0", "kavutil, empty directory", "r1.2"},
      {"QelWritePrivateProfileString, 100-key file, empty directory", "BM_KavWrite/0",
       "BM_GKeyFileWrite/0", "GKeyFile load, set, g_key_file_save_to_file", "", true},
      {"QelWritePrivateProfileString, 100-key file, directory of 10,000 files", "BM_KavWrite/10000",
       "BM_GKeyFileWrite/10000", "GKeyFile load, set, g_key_file_save_to_file", "", true},
  };
  return bench::RunWithComparisons(argc, argv, rows, {.interleave = true});
}
