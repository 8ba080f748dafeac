// fault_sweep_test.cpp - the fault sweeps: for one representative call of each family without a
// sweep of its own (the containers sweep theirs), the k-th allocation fails (and every one after
// it) for k = 0, 1, 2, ... until the call completes without reaching k; then the k-th file
// operation of the families that write files of their own (mapped buffers, record files, serial
// ports, launches, the log, copies), one at a time.
//
// fault_new.cpp routes operator new through the heap seam, so the k-th can be any of the
// library's mallocs, strings or containers.  A case gives an attempt's outcome as text: the result
// and what the call must leave alone (a container's contents, a file's bytes, leftover files).  An
// attempt that reached k must give the family's failure outcome (or its normal one where the
// family gets over the failure); every attempt must give back every block it took (the seam's
// count; LeakSanitizer checks the asan build too) and every descriptor; and no exception may leave
// the library, whose exported functions are noexcept.

#include <cerrno>

#include "platform/memory.h"
#include "platform/posix/comm_settings.h"
#include "platform/process.h"
#include "support.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

using namespace kavtest;

namespace {

fs::path dir;          // the sweep's own directory
bool file_faults;      // the sweep fails file operations, not allocations
long fail_at = -1;     // the attempt's k; -1: nothing fails
bool reached = false;  // whether an Armed call of the attempt met its k-th allocation or call

// Runs call, which must allocate nothing of its own, under the attempt's fault plan.
template <typename Call>
auto Armed(Call call) {
  struct Plan {
    Plan() {
      if (fail_at < 0) return;
      file_faults ? kav::platform::io::fail_call(nullptr, fail_at, EIO)
                  : kav::platform::memory::fail_after(fail_at);
    }
    ~Plan() {
      if (fail_at < 0) return;
      reached = reached || (file_faults ? kav::platform::io::calls_made() >= fail_at
                                        : kav::platform::memory::refused() > 0);
      file_faults ? kav::platform::io::fail_call(nullptr, 0, 0)
                  : kav::platform::memory::fail_after(-1);
    }
  } plan;
  return call();
}

std::string At(const char* name) { return (dir / name).string(); }
std::string Text(const char* text) { return text != nullptr ? text : "<null>"; }
std::string Str(long long value) { return std::to_string(value); }

// A sorted read of the record file: its lines are ordered at once.
std::string SortedRead() {
  dsList list;
  dsInitialize(&list);
  dsSetSort(&list, "+S0|-D1");
  const std::string file = At("records.txt");
  const int result = Armed([&] { return dsReadFromFile(&list, file.c_str()); });
  // A read cut short by a failed read keeps the lines read; one out of memory, none.
  const bool kept = result == 0 && list.count != 0 && !file_faults;
  dsFree(&list);
  return Str(result) + (kept ? " (lines kept)" : "");
}

// The number of files below path, and " torn" when one of them is not `whole` (if given).
std::string Files(const fs::path& path, const std::string& whole = "") {
  int files = 0;
  bool torn = false;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(path, error)) {
    if (!entry.is_regular_file()) continue;
    ++files;
    torn = torn || (!whole.empty() && ReadFile(entry.path()) != whole);
  }
  return Str(files) + (torn ? " torn" : "");
}

char* Hook(const char* text) {  // a C++ hook: its string's allocation may fail too
  return kav::platform::memory::duplicate((std::string(text) + " (hooked)").c_str());
}

kav_word Identity(kav_word word) { return word; }
int Compare(kav_word a, kav_word b) { return a < b ? -1 : a > b ? 1 : 0; }

const std::string kLongText = std::string(3000, 'a') + "b";
const std::string kFileBytes = std::string(70000, 'x') + "\n";

// A child whose output goes to a file, waited for.
std::string LaunchChild() {
  const fs::path self = *kav::platform::module_file_name();
  std::string line = "\"" + (self.parent_path() / "kav_child").string() + "\" out text exit 3";
  const std::string output = At("child.txt");
  const int result =
      Armed([&] { return kav_winexec(line.data(), 1, 2, nullptr, output.c_str(), nullptr); });
  fs::remove(output);
  return Str(result);
}

// Whether a buffer was made, and the files in QELTMP then.
std::string MakeMappedBuffer() {
  MappedBuffer* buffer = Armed([] { return CreateMappedBuffer(4096); });
  const std::string out = (buffer != nullptr ? "made " : "none ") + Files(dir / "tmp");
  DeleteMappedBuffer(buffer);
  return out;
}

struct Case {
  const char* name;
  std::string (*run)();
  std::string failed;  // the outcome of an attempt that reached k; empty: the normal one
};

const Case kAllocationCases[] = {
    {"escape_control",
     [] {
       char* out = Armed([] { return escape_control("tab\there|", nullptr); });
       const std::string text = Text(out);
       kav::platform::memory::release(out);
       return text;
     },
     "<null>"},
    {"kav_sprintf with a hook",
     [] {
       char out[128];
       Armed([&] { return kav_sprintf(Hook, out, "[%s] %d", "a text too long to fit in", 7); });
       return std::string(out);
     },
     "[<NULL>] 7"},
    {"kav_test_re on a long text",  // the simulation's memory, or the backtracker without it
     [] { return Str(Armed([] { return kav_test_re(kLongText.c_str(), "a*b$"); })); }, ""},
    {"families that allocate nothing: scanner, settings text, MICR line, words, identifier",
     [] {
       static MICR_Line_E13B record;
       MICR_DecodeFormat_E13B(nullptr, &record);
       std::strcpy(record.transit, "12345678");
       kav::platform::posix::CommSettings settings;
       int number = 0, fields = 0;
       char word[16], id[16] = "00041", tmpl[] = "SSSS";
       bool set = false;
       const char *line = nullptr, *words = nullptr;
       Armed([&] {
         fields = kav_sscanf("12|abc|", "%d|%s|", &number, word);
         set = kav::platform::posix::apply_settings_text("baud=9600 parity=E data=7", settings);
         fill_with_id(tmpl, id, 8);
         line = MICR_BuildLine_E13B(&record, nullptr);
         return words = spellno(1234567);
       });
       return Str(fields) + Str(set) + Text(line) + Text(words) + word + id +
              Str(number + settings.baud_rate);
     },
     ""},
    {"IMapSet",
     [] {
       const IMap prototype{Identity, nullptr, Compare, nullptr, nullptr, 0, 0, nullptr, nullptr};
       IMap* map = IMapDup(&prototype);
       // Four entries fill the map's first slab: the fifth needs memory.
       for (kav_word key : {1, 2, 3, 4}) IMapSet(map, key, key * 10);
       std::string out =
           Str(Armed([&] { return IMapSet(map, 5, 50); })) + " " + Str(IMapCount(map));
       for (kav_word key = 1; key <= 5; ++key) out += " " + Str(IMapGet(map, key));
       IMapFree(map);
       return out;
     },
     "0 4 10 20 30 40 0"},
    {"dsAppend of a long text to a plain list",
     [] {
       dsList list;
       dsInitialize(&list);
       for (const char* text : {"b", "a"}) dsAppend(&list, text);
       const int added = Armed([&] { return dsAppend(&list, kLongText.c_str()); });
       const std::string out = Str(added) + " " + Text(dsGetBuffer(&list)).substr(0, 8);
       dsFree(&list);
       return out;
     },
     "0 b\na\n"},
    {"dsReadFromFile, sorted", SortedRead, "0"},
    {"kav_putenv",
     [] {
       kav_putenv(kav::platform::memory::duplicate("FAULT_A=1"));
       char* entry = kav::platform::memory::duplicate("FAULT_B=2");
       const int result = Armed([&] { return kav_putenv(entry); });
       if (result != 0) kav::platform::memory::release(entry);  // still the caller's
       const std::string out =
           Str(result) + " " + Text(kav_getenv("FAULT_A")) + " " + Text(kav_getenv("FAULT_B"));
       kav_clearenv();
       return out;
     },
     "-1 1 <null>"},
    {"fill_env_vars with an instance base",
     [] {
       kav_putenv(kav::platform::memory::duplicate("INSTANCE2BASE=/zero /one"));
       kav_putenv(kav::platform::memory::duplicate("FAULT_HOME=/srv$QELINSTANCE_BASE"));
       fill_env_vars_set_instance(1);
       char text[64] = "$FAULT_HOME/x";
       Armed([&] { return fill_env_vars(text, sizeof text); });
       fill_env_vars_set_instance(-1);
       kav_clearenv();
       return std::string(text);
     },
     "$FAULT_HOME/x"},
    {"QelGetPrivateProfileString",
     [] {
       const std::string file = At("read.ini");
       char out[32];
       const int found = Armed([&] {
         return QelGetPrivateProfileString("S", "key", "def", out, sizeof out, file.c_str(), 5);
       });
       // The same value again: the write drops the parsed file from the read cache.
       QelWritePrivateProfileString("S", "key", "value", file.c_str(), 5);
       return Str(found) + " " + out;
     },
     "0 def"},
    {"QelWritePrivateProfileString",
     [] {
       const std::string file = At("profiles/write.ini");
       WriteFile(file, "[S]\r\nkey=old\r\n");
       const int written =
           Armed([&] { return QelWritePrivateProfileString("S", "key", "new", file.c_str(), 5); });
       return Str(written) + " " + ReadFile(file) + " " + Files(dir / "profiles");
     },
     "0 [S]\r\nkey=old\r\n 1"},
    {"get_cfsvalue_def",
     [] {
       const std::string file = At("site.cfg");
       const char* value =
           Armed([&] { return get_cfsvalue_def(file.c_str(), "Site", "key", "d"); });
       const std::string out = Text(value);
       cfs_free();
       return out;
     },
     "d"},
    {"copy_file",
     [] {
       const std::string source = At("source.txt"), copy = At("copies/copy.txt");
       WriteFile(copy, "old");
       const int result = Armed([&] { return copy_file(source.c_str(), copy.c_str()); });
       return Str(result) + (ReadFile(copy) == "old" ? " old " : " new ") + Files(dir / "copies");
     },
     "1 old 1"},
    {"copy_dir",  // the files copied before the failure stay, each whole
     [] {
       const std::string source = At("tree"), copy = At("tree-copy");
       fs::remove_all(copy);
       const int result = Armed([&] { return copy_dir(source.c_str(), copy.c_str()); });
       return Str(result) + (Files(copy, kFileBytes).ends_with("torn") ? " torn" : "");
     },
     "1"},
    {"get_check_sum",
     [] {
       const std::string file = At("source.txt");
       return Str(Armed([&] { return get_check_sum(file.c_str()); }));
     },
     "0"},
    {"kav_logerr",  // a record that cannot be composed is lost, never written in part
     [] {
       fs::remove(At("log.txt"));
       const int result = Armed([] { return kav_logerr("fault %s", "sweep"); });
       const std::string log = ReadFile(At("log.txt"));  // text mode on Windows: CR LF
       const bool whole = log.ends_with(" 0 fault sweep\n") || log.ends_with(" 0 fault sweep\r\n");
       return Str(result) + (!fs::exists(At("log.txt")) ? " none" : whole ? " record" : " torn");
     },
     "1 none"},
    {"kav_winexec", LaunchChild, Str(kav::platform::kOutOfMemoryError)},
    {"CreateMappedBuffer", MakeMappedBuffer, "none 0"},
    {"KAVGetGhostScriptPath",
     [] { return "[" + Text(Armed([] { return KAVGetGhostScriptPath(1); })) + "]"; }, "[]"},
    {"kav_mysql_load without a client", [] { return Str(Armed(kav_mysql_load)); }, "0"},
    {"sheaf_first past the first lines",  // the block search's memory, or fgets without it
     [] {
       FILE* stream = sheaf_open(At("records.txt").c_str());
       sheaf_record record;
       const int result = Armed([&] { return sheaf_first("wanted", &record, stream); });
       sheaf_close(stream);
       return Str(result) + " " + record.fields[1] + " " + record.fields[2];
     },
     ""},
};

// The opens, reads, writes and closes of those families: a failure result, or the normal one
// where a family gets over the failure (a faulted close still closes).
const Case kFileCases[] = {
    {"CreateMappedBuffer", MakeMappedBuffer, "none 0"},  // ftruncate, fallocate, mmap refused
    {"sheaf_open and sheaf_first",
     [] {
       const std::string file = At("records.txt");
       sheaf_record record;
       const int result = Armed([&] {
         FILE* stream = sheaf_open(file.c_str());
         const int found = sheaf_first("wanted", &record, stream);
         sheaf_close(stream);
         return found;
       });
       return Str(result) + " " + record.fields[1] + " " + record.fields[2];
     },
     "1  "},
    {"dsReadFromFile",
     [] {
       dsList list;
       dsInitialize(&list);
       const std::string file = At("records.txt");
       const int result = Armed([&] { return dsReadFromFile(&list, file.c_str()); });
       dsFree(&list);
       return Str(result);
     },
     "0"},
    {"dsReadFromFile, sorted", SortedRead, "0"},
    {"kav_winexec", LaunchChild, "5"},  // an output file that does not open: the child cannot write
#if !defined(_WIN32)
    {"tty_open on a pseudo-terminal",
     [] {
       const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
       const std::string device =
           grantpt(master) == 0 && unlockpt(master) == 0 ? ptsname(master) : "";
       const int handle = Armed([&] { return tty_open(device.c_str(), "9600,n,8,1"); });
       tty_close(handle);
       close(master);
       return std::string(handle >= 0 ? "open" : "refused");
     },
     "refused"},
#endif
};

// Each case's normal outcome first (which also fills what later attempts find cached), then an
// attempt for every k.
template <std::size_t count>
void SweepCases(const Case (&cases)[count], bool files) {
  file_faults = files;
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    fail_at = -1;
    const std::string normal = test.run();
    Sweep(
        [&](long k) {
          fail_at = k;
          reached = false;
          const long blocks = kav::platform::memory::live_blocks(), descriptors = OpenDescriptors();
          {
            const std::string outcome = test.run();
            const std::string& failed = !reached || test.failed.empty() ? normal : test.failed;
            EXPECT_TRUE(outcome == failed || (files && outcome == normal))
                << "\"" << outcome << "\", not \"" << failed << "\"";
          }
          EXPECT_EQ(kav::platform::memory::live_blocks(), blocks) << "blocks left";
          EXPECT_EQ(OpenDescriptors(), descriptors) << "descriptors left";
          return reached;
        },
        files ? 1 : 0);
    fail_at = -1;
  }
}

class FaultSweep : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = fs::temp_directory_path() / ("kav_faults_" + Str(std::random_device{}()));
    for (const char* sub : {"profiles", "copies", "tree/sub", "tmp", "gs"}) {
      fs::create_directories(dir / sub);
    }
    WriteFile(At("site.cfg"), "[Site]\nkey=value\n");
    WriteFile(At("read.ini"), "[S]\nkey=value\n");
    for (const char* file : {"source.txt", "tree/a.txt", "tree/sub/b.txt"}) {
      WriteFile(At(file), kFileBytes);
    }
    std::string records;
    for (int i = 0; i < 40; ++i) records += "key" + Str(i) + ":value\n";
    WriteFile(At("records.txt"), records + "wanted:a:b\n");
    WriteFile(At("gs/libgs.so.9.50"), "");
    WriteFile(At("registry.ini"), "[Software\\GPL Ghostscript (KAV Edition)\\9.50]\nGS_DLL=" +
                                      At("gs/libgs.so.9.50") + "\n");
    SetEnv("KAV_REGISTRY", At("registry.ini"));
    SetEnv("KAV_MYSQL_CLIENT", At("missing/libmysqlclient.so"));
    SetEnv("LOGFILE", At("log.txt"));
    SetEnv("QELTMP", At("tmp"));
    SetEnv("TMP", "");
    kav::platform::memory::fail_after(-1);  // starts the seam's counts
  }
  static void TearDownTestSuite() { fs::remove_all(dir); }
};

TEST_F(FaultSweep, EveryFamilyFailsCleanlyAtEachAllocation) { SweepCases(kAllocationCases, false); }

TEST_F(FaultSweep, NewerFamiliesFailCleanlyAtEachFileOperation) { SweepCases(kFileCases, true); }

}  // namespace
