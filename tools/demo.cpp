// "kav demo": a short walk through the library as a cheque-printing client
// uses it, each step printing the call and what came back.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "commands.h"
#include "host.h"
#include "kavutil.h"

namespace kav::tool {
namespace {

void heading(const char *text) { std::printf("\n== %s\n", text); }

namespace fs = std::filesystem;

constexpr const char *kDemoIni = "KAVDEMO.INI";

// Profile folders come from the environment on POSIX: point them at a
// temporary root so that the demo leaves the user's own profiles alone.
fs::path use_temporary_profile_root() {
  fs::path root =
      fs::temp_directory_path() / ("kav-demo-" + std::to_string(std::random_device{}()));
  fs::create_directories(root / "user");
  fs::create_directories(root / "common");
  set_environment("XDG_CONFIG_HOME", (root / "user").string());
  set_environment("XDG_CONFIG_DIRS", (root / "common").string());
  set_environment("SYSTEMROOT", root.string());
  return root;
}

std::string file_text(const char *path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::string s = text.str();
  std::string shown;
  for (char c : s) shown += c == '\r' ? std::string("") : std::string(1, c);
  return shown;
}

void show_read(const char *key, const char *def) {
  char value[64];
  int found = QelGetPrivateProfileString("Printer", key, def, value, sizeof value, kDemoIni, 5);
  std::printf("QelGetPrivateProfileString(\"Printer\", \"%s\", \"%s\", ..., 5) -> %d, \"%s\"\n",
              key, def, found, value);
}

// A profile left by version 4.92.0 is carried forward on the first start.
void take_over_earlier_profile() {
  fs::path earlier = fs::path(QelGetCommonAppDataPath()).parent_path().parent_path() / "4.92.0";
  fs::create_directories(earlier);
  std::ofstream(earlier / kDemoIni, std::ios::binary) << "[Printer]\r\nCopies=4\r\n";
  std::printf("version 4.92.0 left %s\n", (earlier / kDemoIni).string().c_str());
  std::printf("QelInitializeProfile(\"%s\") -> %d (copied forward, never overwriting)\n", kDemoIni,
              QelInitializeProfile(kDemoIni));
  char copies[16];
  QelGetPrivateProfileString("Printer", "Copies", "", copies, sizeof copies, kDemoIni, 5);
  std::printf("the new version now reads Copies=%s\n", copies);
  std::error_code ignored;
  fs::remove_all(earlier, ignored);
}

void profile_walk() {
  heading("Profiles: a setting per user over a machine-wide one");
  fs::path root = use_temporary_profile_root();
  std::printf("profile version %s, directories under a temporary root:\n", QelGetDisplayVersion());
  std::printf("  common %s\n  user   %s\n", QelGetCommonAppDataPath(), QelGetUsersAppDataPath());
  take_over_earlier_profile();
  QelWritePrivateProfileString("Printer", "Tray", "2", kDemoIni, KAV_LOCATION_COMMON);
  QelWritePrivateProfileString("Printer", "Copies", "1", kDemoIni, KAV_LOCATION_COMMON);
  QelWritePrivateProfileString("Printer", "Tray", "5", kDemoIni, KAV_LOCATION_USER);
  std::printf("the common file sets Tray=2 and Copies=1, the user's file Tray=5:\n");
  show_read("Tray", "1");
  show_read("Copies", "3");
  show_read("Duplex", "no");
  char path[260];
  QelGetINIPathAppend(KAV_LOCATION_COMMON, kDemoIni, path);
  std::printf("%s now holds:\n%s", path, file_text(path).c_str());
  std::error_code ignored;
  fs::remove(QelGetINIPathAppend(KAV_LOCATION_COMMON, kDemoIni, path), ignored);
  fs::remove(QelGetINIPathAppend(KAV_LOCATION_USER, kDemoIni, path), ignored);
  fs::remove_all(root, ignored);
}

void environment_walk() {
  heading("Environment: the program's own variables and its instance's directory");
  // The library's table takes over heap strings.
  kav_putenv(strdup("INSTANCE2BASE=/srv/print-a /srv/print-b"));
  kav_putenv(strdup("SPOOL=$QELINSTANCE_BASE/spool"));
  kav_putenv(strdup("FORMS=/srv/forms"));
  fill_env_vars_set_instance(1);
  char text[256] = "$SPOOL/in/job42.prn";
  std::printf("instance 1 of INSTANCE2BASE=\"/srv/print-a /srv/print-b\", SPOOL=%s:\n",
              kav_getenv("SPOOL"));
  std::printf("fill_env_vars(\"%s\") -> ", text);
  std::printf("\"%s\"\n", fill_env_vars(text, sizeof text));
  char path[1024] = "/srv/forms/cheques/standard.frm";
  std::printf("str2env(\"%s\", 0) -> ", path);
  str2env(path, 0);
  std::printf("\"%s\"\n", path);
  kav_clearenv();
}

void log_walk() {
  heading("Error log: time stamp, the program's id, the message");
  fs::path log =
      fs::temp_directory_path() / ("kav-demo-" + std::to_string(std::random_device{}()) + ".log");
  set_environment("LOGFILE", log.string());
  kav_logerr_id(42);
  kav_logerr("printer %s is offline (%d jobs waiting)", "CHQ1", 3);
  std::printf("kav_logerr(\"printer %%s is offline (%%d jobs waiting)\", \"CHQ1\", 3) wrote:\n%s",
              file_text(log.string().c_str()).c_str());
  std::error_code ignored;
  fs::remove(log, ignored);
}

void files_walk() {
  heading("Files: copying a form directory and checking it");
  fs::path root =
      fs::temp_directory_path() / ("kav-demo-" + std::to_string(std::random_device{}()));
  fs::create_directories(root / "forms" / "cheques");
  std::ofstream(root / "forms" / "cheques" / "standard.frm") << "MICR line at 0.25in\n";
  std::string from = (root / "forms").string(), to = (root / "backup").string();
  std::printf("copy_dir(forms, backup) -> %d\n", copy_dir(from.c_str(), to.c_str()));
  std::string a = (root / "forms" / "cheques" / "standard.frm").string();
  std::string b = (root / "backup" / "cheques" / "standard.frm").string();
  std::printf("get_check_sum: original %08X, copy %08X\n", get_check_sum(a.c_str()),
              get_check_sum(b.c_str()));
  std::printf("recursive_unlink(root) -> %d\n", recursive_unlink(root.string().c_str()));
}

void strings_walk() {
  heading("Strings: a form file's name, a payee's name, a memo broken into lines");
  char path[] = "forms/cheques/standard.frm";
  std::printf("kav_basename(\"%s\") -> \"%s\"\n", path, kav_basename(path));
  char payee[] = "  ACME \t Office   Supplies  ";
  std::printf("stripblanks_begendmult(\"%s\") -> ", payee);
  stripblanks_begendmult(payee, unsigned(std::strlen(payee)));
  std::printf("\"%s\"\n", payee);
  const char *memo = "Invoice 2024-0457 for toner, paper and two replacement drums";
  std::printf("kav_strbrk at 24 columns on \"%s\":\n", memo);
  char piece[25];
  for (int n = kav_strbrk(piece, memo, 24); n > 0; n = kav_strbrk(piece, nullptr, 24))
    std::printf("  |%-24s| (%d)\n", piece, n);
  std::printf("dround(1234.565, 2) -> %.2f\n", dround(1234.565, 2));
}

void cheque_walk() {
  heading("Cheque: the amount in words and the MICR code line");
  std::printf("spellno(1234) -> \"%s\"\n", spellno(1234));
  std::printf("MICR_CalculateChecksum(\"12345678\") -> %d, so the routing number is 123456780\n",
              MICR_CalculateChecksum("12345678"));
  auto micr = std::make_unique<MICR_Line_E13B>();
  MICR_DecodeFormat_E13B(nullptr, micr.get());
  std::strcpy(micr->transit, "123456780");
  std::strcpy(micr->on_us, "000123456789");
  std::printf("template  \"%s\"\n", micr->format);
  std::printf("code line \"%s\" (A transit, C on-us symbol)\n",
              MICR_BuildLine_E13B(micr.get(), nullptr));
}

void identifier_walk() {
  heading("Identifiers: shaping a cheque number and an archive key");
  char number[64] = " chq 12/34 ";
  std::printf("fill_with_id(\"TSZ\", \"%s\", 10) -> ", number);
  fill_with_id(const_cast<char *>("TSZ"), number, 10);
  std::printf("\"%s\"\n", number);
  char month[64] = "March";
  std::printf("fill_with_id(\"M<\\\"2024-\\\"\", \"%s\", 0) -> ", month);
  fill_with_id(const_cast<char *>("M<\"2024-\""), month, 0);
  std::printf("\"%s\"\n", month);
  char key[64] = "INV000123";
  std::printf("round_down_id(\"%s\", 100) -> ", key);
  round_down_id(key, 100);
  std::printf("\"%s\"\n", key);
}

// A batch as a cheque printer runs it: site settings from the configuration
// store, payment records split by the field scanner, spool files chosen by a
// wildcard, and the status bar while it works.
void batch_walk() {
  heading("Batch: site settings, payment records, a wildcard over the spool");
  fs::path site =
      fs::temp_directory_path() / ("kav-demo-" + std::to_string(std::random_device{}()) + ".cfg");
  std::ofstream(site) << "[Site]\nprinter=CHQ1\nbatch=3\n";
  std::printf("get_cfsvalue(site.cfg, Site, printer) -> \"%s\"\n",
              get_cfsvalue_def(site.string().c_str(), nullptr, "printer", "(none)"));
  const int batch = get_cfsvalue_int(site.string().c_str(), nullptr, "batch", 1);
  std::printf("get_cfsvalue_int(site.cfg, Site, batch, 1) -> %d\n", batch);
  cfs_free();
  fs::remove(site);

  char payee[64];
  int cents = 0;
  const char *record = "ACME Office Supplies,123456";
  const int fields = kav_sscanf(record, "%s,%d", payee, &cents);
  std::printf("kav_sscanf(\"%s\", \"%%s,%%d\") -> %d: \"%s\", %d\n", record, fields, payee, cents);

  const char *spool[] = {"chq0001.prn", "chq0002.prn", "chq0002.log", "report.prn"};
  char regex[64];
  kav_setup_regexp("chq*.prn", regex);
  std::printf("kav_setup_regexp(\"chq*.prn\") -> \"%s\"; selects", regex);
  for (const char *name : spool) {
    if (kav_test_re(name, regex)) std::printf(" %s", name);
  }
  std::printf("\n");

  StatusBarInit(stdout, "printing ", 20, unsigned(batch), 0);
  for (int done = 0; done <= batch; ++done) StatusBarUpdate(unsigned(done));
  StatusBarDone();
}

}  // namespace

int run_demo(Args args) {
  const Arguments none(args, 0, 0);
  std::printf("kavutil demo: what a cheque printer asks of the library\n");
  profile_walk();
  environment_walk();
  log_walk();
  files_walk();
  strings_walk();
  cheque_walk();
  identifier_walk();
  batch_walk();
  return 0;
}

}  // namespace kav::tool
