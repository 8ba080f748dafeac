// Profile reads against their peer, measured in one run: QelGetPrivateProfileString reading
// 1,000 different keys, first by the full path of a 1,000-key file, then by bare name with
// location 5, where a 10-key per-user file stands in front of the 1,000-key common one so that
// nearly every read looks in both.  Best of 15 rounds of 1,000 reads.
//
// Built natively it measures kavutil's private-profile engine (a cached parse, one freshness
// check per file and read); the peer is GLib's GKeyFile loaded for every read, which is what a
// program that wants another process's latest value must do without kavutil.  Built for Windows
// and run under Wine the same calls measure Wine's GetPrivateProfileStringA, the other peer of
// the native figures.  Plain timing with std::chrono, so that the same program runs on both.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

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

// Microseconds per read, best of kRounds rounds over every key; read(i) returns the value.
template <typename Read>
double best_round(Read read) {
  double best = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kKeys; ++i) read(i);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best * 1e6 / kKeys;
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

#ifdef _WIN32
// Under Wine the library hands every read to Wine: the figures are the peer's.
void print_header() {
  std::printf("| Profile read (QelGetPrivateProfileString) | Wine's GetPrivateProfileStringA |\n");
  std::printf("|---|---|\n");
}

void report(const char *row, double ours, double) { std::printf("| %s | %.2f us |\n", row, ours); }
#else
void print_header() {
  std::printf("| Profile read (QelGetPrivateProfileString) | kavutil | peer | peer / kavutil |\n");
  std::printf("|---|---|---|---|\n");
}

void report(const char *row, double ours, double peer) {
  std::printf("| %s | %.2f us | %.2f us (%s) | %.0f |\n", row, ours, peer, kPeer, peer / ours);
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
  double peer_by_path = 0, peer_searched = 0;
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
  report("by full path, 1,000-key file", best_round(by_path), peer_by_path);
  report("location 5, 10-key per-user file over 1,000-key common file", best_round(searched),
         peer_searched);

  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
