// Profile reads against their peer, measured in one run: QelGetPrivateProfileString reading
// 1,000 different keys, first by the full path of a 1,000-key file, then by bare name with
// location 5, where a 10-key per-user file stands in front of the 1,000-key common one so that
// nearly every read looks in both.  Best of 15 rounds of 1,000 reads.
//
// Built natively it measures kavutil's private-profile engine (a cached parse, one freshness
// check per file and read); the peer is GLib's GKeyFile loaded for every read, which is what a
// program that wants another process's latest value must do without kavutil.  Built for Windows
// and run under Wine the same calls measure Wine's GetPrivateProfileStringA, the other peer of
// the native figures.  Plain timing with std::chrono and std::clock, so that the same program
// runs on both; under Windows std::clock is the wall clock, so only native rows have CPU times.
// Each program hands its rows to the table of the whole "make bench" run (bench/rows.h): the
// native one ours against GKeyFile, the Windows one Wine's times for the same work.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench/rows.h"
#include "kavutil.h"
#include "tools/host.h"
#ifdef KAV_BENCH_GKEYFILE
#include <glib.h>
#endif

namespace {

namespace fs = std::filesystem;

constexpr int kKeys = 1000;
constexpr int kRounds = 15;
constexpr const char *kIni = "KAVBENCH.INI";
constexpr const char *kSection = "Main";

std::string key_name(int i) { return "Setting" + std::to_string(i); }

void write_file(const std::string &path, int keys, const char *value) {
  std::ofstream out(path, std::ios::binary);
  out << "[" << kSection << "]\r\n";
  for (int i = 0; i < keys; ++i) out << key_name(i) << "=" << value << i << "\r\n";
}

// Seconds per read, the best of kRounds rounds over every key (wall clock and CPU time apart);
// read(i) returns the value.
template <typename Read>
bench::Side best_round(Read read) {
  bench::Side best{1e9, 1e9};
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpu_start = std::clock();
    for (int i = 0; i < kKeys; ++i) read(i);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best.real = std::min(best.real, took.count() / kKeys);
    best.cpu = std::min(best.cpu, double(std::clock() - cpu_start) / CLOCKS_PER_SEC / kKeys);
  }
#ifdef _WIN32
  best.cpu = -1;
#endif
  return best;
}

// A read of the last key must give the common file's value.
template <typename Read>
bool reads_right(Read read) {
  return read(kKeys - 1) == "common" + std::to_string(kKeys - 1);
}

#ifdef KAV_BENCH_GKEYFILE
constexpr const char *kPeer = "GKeyFile loaded per read";

// The key from the first of the files that holds it, each loaded anew.
template <typename... Paths>
std::string gkeyfile_read(const std::string &key, const Paths &...paths) {
  std::string value;
  for (const char *path : {paths...}) {
    GKeyFile *file = g_key_file_new();
    gchar *found = nullptr;
    if (g_key_file_load_from_file(file, path, G_KEY_FILE_NONE, nullptr)) {
      found = g_key_file_get_value(file, kSection, key.c_str(), nullptr);
    }
    g_key_file_free(file);
    if (found != nullptr) {
      value = found;
      g_free(found);
      break;
    }
  }
  return value;
}
#endif

constexpr const char *kByPath = "QelGetPrivateProfileString by full path, 1,000-key file";
constexpr const char *kSearched =
    "QelGetPrivateProfileString location 5, 10-key per-user file over 1,000-key common file";

#ifdef _WIN32
// Under Wine the library hands every read to Wine: the figures are the peer's.
void print_header() {
  std::printf("| Profile read | Wine's GetPrivateProfileStringA |\n|---|---|\n");
}

void report(const char *work, bench::Side ours, bench::Side, const char *goal) {
  std::printf("| %s | %.2f us |\n", work, ours.real * 1e6);
  bench::AppendRow(work, {-1, -1}, "Wine 8.0 GetPrivateProfileStringA", ours, goal);
}
#else
void print_header() {
  std::printf("| Profile read | kavutil | %s | peer / kavutil |\n|---|---|---|---|\n", kPeer);
}

void report(const char *work, bench::Side ours, bench::Side peer, const char *goal) {
  std::printf("| %s | %.2f us | %.2f us | %.0f |\n", work, ours.real * 1e6, peer.real * 1e6,
              peer.real / ours.real);
  bench::AppendRow(work, ours, kPeer, peer, goal);
}
#endif

}  // namespace

int main() {
  const fs::path root =
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
  const auto ours = [&](const char *file, int location) {
    return [&value, file, location](int i) {
      QelGetPrivateProfileString(kSection, key_name(i).c_str(), "", value, sizeof value, file,
                                 location);
      return std::string(value);
    };
  };
  const auto by_path = ours(common, KAV_LOCATION_COMMON);
  const auto searched = ours(kIni, KAV_LOCATION_SEARCH);
  bench::Side peer_by_path{}, peer_searched{};
#ifdef KAV_BENCH_GKEYFILE
  const auto peer_path = [&](int i) { return gkeyfile_read(key_name(i), common); };
  const auto peer_search = [&](int i) { return gkeyfile_read(key_name(i), user, common); };
  if (!reads_right(peer_path) || !reads_right(peer_search)) {
    std::printf("the peer read a wrong value\n");
    return 1;
  }
  peer_by_path = best_round(peer_path);
  peer_searched = best_round(peer_search);
#endif
  if (!reads_right(by_path) || !reads_right(searched)) {
    std::printf("unexpected value '%s'\n", value);
    return 1;
  }
  print_header();
#ifdef _WIN32
  // The goal against Wine: at least 50 times faster.
  report(kByPath, best_round(by_path), peer_by_path, "r0.02");
  report(kSearched, best_round(searched), peer_searched, "r0.02");
#else
  report(kByPath, best_round(by_path), peer_by_path, "t1.6e-6");
  report(kSearched, best_round(searched), peer_searched, "");
#endif

  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
