// Reads 1,000 different keys of a 1,000-key profile through
// QelGetPrivateProfileString with location 5 (per-user file first, then the
// common one), the way a program reads its settings at start-up.
//
// Built natively it measures kavutil's own private-profile engine, side by
// side with a parse-per-call read (open, read, parse, look up: what Windows
// does for every call).  Built for Windows and run under Wine it measures
// Wine's GetPrivateProfileStringA behind the same call.  Plain timing with
// std::chrono, so that the same program runs on both platforms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kavutil.h"
#include "tools/host.h"
#ifdef KAV_BENCH_PARSE_PER_CALL
#include "config/ini_document.h"
#endif

namespace {

namespace fs = std::filesystem;

constexpr int kKeys = 1000;
constexpr int kRounds = 15;
constexpr const char *kIni = "KAVBENCH.INI";

std::string key_name(int i) { return "Setting" + std::to_string(i); }

void write_file(const std::string &path, int keys, const char *value) {
  std::ofstream out(path, std::ios::binary);
  out << "; settings of the benchmark\r\n[Main]\r\n";
  for (int i = 0; i < keys; ++i) out << key_name(i) << "=" << value << i << "\r\n";
}

// Seconds for one round of reads of every key, best of kRounds.
template <typename Read>
double best_round(Read read) {
  double best = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kKeys; ++i) read(i);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

void report(const char *what, double seconds) {
  std::printf("%-48s %10.3f ms per 1,000 reads  %8.2f us per read\n", what, seconds * 1e3,
              seconds * 1e6 / kKeys);
}

}  // namespace

int main() {
  fs::path root =
      fs::temp_directory_path() / ("kav-bench-" + std::to_string(std::random_device{}()));
  fs::create_directories(root / "user");
  fs::create_directories(root / "common");
  kav::tool::set_environment("XDG_CONFIG_HOME", (root / "user").string());
  kav::tool::set_environment("XDG_CONFIG_DIRS", (root / "common").string());

  char user[260], common[260];
  QelGetDestConfigFile(user, kIni, KAV_LOCATION_USER);
  QelGetDestConfigFile(common, kIni, KAV_LOCATION_COMMON);
  write_file(user, 10, "user");  // a few per-user overrides; the rest falls back
  write_file(common, kKeys, "common");

  char value[64];
  double cached = best_round([&](int i) {
    QelGetPrivateProfileString("Main", key_name(i).c_str(), "", value, sizeof value, kIni, 5);
  });
  report("QelGetPrivateProfileString, location 5", cached);
  if (std::strcmp(value, ("common" + std::to_string(kKeys - 1)).c_str()) != 0) {
    std::printf("unexpected value '%s'\n", value);
    return 1;
  }

#ifdef KAV_BENCH_PARSE_PER_CALL
  double parsed = best_round([&](int i) {
    for (const char *path : {user, common}) {
      std::ifstream in(path, std::ios::binary);
      std::ostringstream text;
      text << in.rdbuf();
      kav::config::IniDocument document(text.str());
      if (document.Value("Main", key_name(i))) break;
    }
  });
  report("parse-per-call read of the same two files", parsed);
  std::printf("cached reads are %.0f times faster than parsing per call\n", parsed / cached);
#endif

  std::error_code ignored;
  fs::remove_all(root, ignored);
  fs::remove(user, ignored);
  fs::remove(common, ignored);
  return 0;
}
