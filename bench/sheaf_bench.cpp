// Record lookups in a page-cached 100 MiB colon record file (1.9 million records of 20 to 90
// characters), against grep counting the lines that begin with the key and a colon on the same
// file in the same run.  grep runs as a child process (through the shell): the comparison takes
// its CPU time, and the console output also shows the wall clock of both sides.
//
// - missing key: sheaf_first reads the whole file and finds nothing; grep -c '^nokey:'.
// - every 1000th record: sheaf_first and sheaf_next through the 1,901 records of one key, each
//   call starting where the last one stopped; grep -c '^k500:'.
// - fgets: the same missing-key search as the definition reads it, fgets line by line.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "comparison.h"
#include "kavutil.h"

namespace {

constexpr long kFileSize = 100L << 20;

class RecordFile {
 public:
  RecordFile()
      : path_((std::filesystem::temp_directory_path() /
               ("kav-sheaf-bench-" + std::to_string(std::random_device{}()) + ".txt"))
                  .string()) {
    std::FILE *file = std::fopen(path_.c_str(), "wb");
    std::mt19937 random(42);
    char line[128];
    for (long size = 0, i = 0; file != nullptr && size < kFileSize; ++i) {
      const int length = std::snprintf(
          line, sizeof line, "k%ld:name%u:%u:%.*s\n", i % 1000,
          static_cast<unsigned>(random() % 100000), static_cast<unsigned>(random() % 1000000),
          static_cast<int>(5 + random() % 56),
          "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx");
      std::fwrite(line, 1, static_cast<std::size_t>(length), file);
      size += length;
    }
    if (file != nullptr) std::fclose(file);
    std::vector<char> chunk(1 << 20);
    file = std::fopen(path_.c_str(), "rb");  // into the page cache
    while (file != nullptr && std::fread(chunk.data(), 1, chunk.size(), file) > 0) {
    }
    if (file != nullptr) std::fclose(file);
  }
  ~RecordFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  const std::string &path() const { return path_; }

 private:
  std::string path_;
};

const std::string &BenchFile() {
  static RecordFile file;
  return file.path();
}

long Grep(const std::string &pattern) {
  const std::string command = "grep -c '" + pattern + "' " + BenchFile();
  std::FILE *output = popen(command.c_str(), "r");
  long count = -1;
  if (output == nullptr || std::fscanf(output, "%ld", &count) != 1) count = -1;
  if (output != nullptr) pclose(output);
  return count;
}

long SheafCount(const char *key) {
  std::FILE *stream = sheaf_open(BenchFile().c_str());
  static sheaf_record record;
  long count = 0;
  for (int found = sheaf_first(key, &record, stream); found == 0;
       found = sheaf_next(key, &record, stream))
    ++count;
  sheaf_close(stream);
  return count;
}

long FgetsCount(const char *key) {
  std::FILE *stream = std::fopen(BenchFile().c_str(), "rb");
  char line[SHEAF_LINE_SIZE];
  const std::size_t length = std::strlen(key);
  long count = 0;
  while (std::fgets(line, sizeof line, stream) != nullptr)
    count += std::strncmp(line, key, length) == 0 && line[length] == ':';
  std::fclose(stream);
  return count;
}

void Report(benchmark::State &state, long count) {
  state.counters["records"] = static_cast<double>(count);
  state.SetBytesProcessed(state.iterations() * kFileSize);
}

void BM_sheaf_missing_key(benchmark::State &state) {
  long count = 0;
  BenchFile();  // written once, before the clock runs
  for (auto _ : state) count = SheafCount("nokey");
  Report(state, count);
}
BENCHMARK(BM_sheaf_missing_key)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

void BM_grep_missing_key(benchmark::State &state) {
  long count = 0;
  BenchFile();  // written once, before the clock runs
  const bench::ChildCpu children(state);
  for (auto _ : state) count = Grep("^nokey:");
  Report(state, count);
}
BENCHMARK(BM_grep_missing_key)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

void BM_fgets_missing_key(benchmark::State &state) {
  long count = 0;
  BenchFile();  // written once, before the clock runs
  for (auto _ : state) count = FgetsCount("nokey");
  Report(state, count);
}
BENCHMARK(BM_fgets_missing_key)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

void BM_sheaf_every_1000th(benchmark::State &state) {
  long count = 0;
  BenchFile();  // written once, before the clock runs
  for (auto _ : state) count = SheafCount("k500");
  Report(state, count);
}
BENCHMARK(BM_sheaf_every_1000th)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

void BM_grep_every_1000th(benchmark::State &state) {
  long count = 0;
  BenchFile();  // written once, before the clock runs
  const bench::ChildCpu children(state);
  for (auto _ : state) count = Grep("^k500:");
  Report(state, count);
}
BENCHMARK(BM_grep_every_1000th)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

}  // namespace

int main(int argc, char **argv) {
  bench::Options options;
  options.interleave = true;  // five of each, in one random order; the medians compared
  return bench::RunWithComparisons(
      argc, argv,
      {{"sheaf_first, missing key, 100 MiB record file", "BM_sheaf_missing_key",
        "BM_grep_missing_key", "grep -c", "r1.2"},
       {"sheaf_first, missing key, 100 MiB record file", "BM_sheaf_missing_key",
        "BM_fgets_missing_key", "fgets loop"},
       {"sheaf_first/sheaf_next, 1,901 records of one key", "BM_sheaf_every_1000th",
        "BM_grep_every_1000th", "grep -c"}},
      options);
}
