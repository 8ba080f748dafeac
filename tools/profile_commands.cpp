// The profile commands of the kav tool: read, write and list INI settings
// through the library's profile functions, and show the version and the
// profile directories they use.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "host.h"
#include "kavutil.h"

namespace kav::tool {
namespace {

constexpr Option kLocationOption[] = {{"--location", true}};

// The location and the positional arguments of a verb.
struct ProfileArgs {
  int location = KAV_LOCATION_SEARCH;
  std::vector<std::string> positional;
};

int parse_location(const std::string &name) {
  if (name == "windows") return KAV_LOCATION_WINDOWS;
  if (name == "common") return KAV_LOCATION_COMMON;
  if (name == "user") return KAV_LOCATION_USER;
  if (name == "search") return KAV_LOCATION_SEARCH;
  throw UsageError("--location is windows, common, user or search, not '" + name + "'");
}

// Profiles are files the library finds, reads and writes by name: standard input is none.
void refuse_standard_input(const char *file) {
  if (is_standard_input(file))
    throw UsageError(
        "a profile is a file the library reads and writes by name; '-' "
        "(standard input) names none");
}

ProfileArgs split_profile_args(Args args, size_t min, size_t max) {
  const Arguments a(args, min, max, kLocationOption);
  ProfileArgs result;
  if (auto location = a.get("--location")) result.location = parse_location(*location);
  for (const char *word : a.positional()) result.positional.emplace_back(word);
  refuse_standard_input(a[0]);
  return result;
}

// The length of a value, or of a double-NUL list without its final NUL.
size_t text_length(const std::vector<char> &out, bool list) {
  if (!list) return std::strlen(out.data());
  size_t used = 0;
  while (used + 1 < out.size() && !(out[used] == '\0' && (used == 0 || out[used - 1] == '\0')))
    ++used;
  return used == 0 ? 0 : used - 1;
}

// Reads a value, or a list when section or key is null, in a buffer that
// grows while the text may have been cut at its end.
bool read_text(const char *section, const char *key, const std::string &file, int location,
               std::string *text) {
  const bool list = section == nullptr || key == nullptr;
  for (size_t size = 4096;; size *= 2) {
    std::vector<char> out(size, '\0');
    int found =
        QelGetPrivateProfileString(section, key, "", out.data(), int(size), file.c_str(), location);
    size_t used = text_length(out, list);
    if (used + 3 < size || size >= (size_t(1) << 24)) {
      text->assign(out.data(), used);
      return found != 0;
    }
  }
}

void print_list(const std::string &list) {
  for (size_t at = 0; at < list.size();) {
    size_t end = list.find('\0', at);
    if (end == std::string::npos) end = list.size();
    std::printf("%s\n", list.substr(at, end - at).c_str());
    at = end + 1;
  }
}

int profile_get(const ProfileArgs &a) {
  std::string value;
  const auto &p = a.positional;
  if (!read_text(p[1].c_str(), p[2].c_str(), p[0], a.location, &value)) {
    std::fprintf(stderr, "kav profile: [%s] %s is not set in %s\n", p[1].c_str(), p[2].c_str(),
                 p[0].c_str());
    return 1;
  }
  std::printf("%s\n", value.c_str());
  return 0;
}

bool is_bare_name(const std::string &file) {
  return file.find_first_of("/\\") == std::string::npos;
}

// The file a write goes to, as the library is given it.  The library writes a bare name to the
// common file (the per-user one for location 2 and the per-user programs), never to the
// Windows directory; --location windows names that file by its path, so that a write lands
// where a read with location 0 looks.
std::string write_file(const ProfileArgs &a) {
  const std::string &file = a.positional[0];
  if (a.location != KAV_LOCATION_WINDOWS || !is_bare_name(file)) return file;
  const char *directory = QelGetINIPath(KAV_LOCATION_WINDOWS);
  if (directory == nullptr || directory[0] == '\0')
    throw Failure("the Windows directory is not known (set SYSTEMROOT)");
  return directory + file;
}

// Writes (value null: deletes) an entry of the write target, or says why it could not.
int write_entry(const ProfileArgs &a, const char *key, const char *value) {
  const auto &p = a.positional;
  const std::string file = write_file(a);
  clear_system_error();
  if (QelWritePrivateProfileString(p[1].c_str(), key, value, file.c_str(), a.location)) return 0;
  const std::string why = system_error("the write failed");
  char target[260] = "";
  if (!QelGetDestConfigFile(target, file.c_str(), a.location))
    throw Failure("no file to write " + p[0] + " to for this location");
  throw Failure(std::string("cannot write ") + target + ": " + why);
}

int profile_set(const ProfileArgs &a) {
  return write_entry(a, a.positional[2].c_str(), a.positional[3].c_str());
}

int profile_delete(const ProfileArgs &a) {
  return write_entry(a, a.positional.size() == 3 ? a.positional[2].c_str() : nullptr, nullptr);
}

int profile_sections(const ProfileArgs &a) {
  std::string list;
  read_text(nullptr, nullptr, a.positional[0], a.location, &list);
  print_list(list);
  return 0;
}

int profile_keys(const ProfileArgs &a) {
  std::string list;
  read_text(a.positional[1].c_str(), nullptr, a.positional[0], a.location, &list);
  print_list(list);
  return 0;
}

int profile_where(const ProfileArgs &a) {
  const std::string &file = a.positional[0];
  char path[260];
  for (int location : {KAV_LOCATION_USER, KAV_LOCATION_COMMON, KAV_LOCATION_WINDOWS}) {
    static const char *const names[] = {"windows", "common", "user"};
    std::printf("%-8s %s\n", names[location], QelGetINIPathAppend(location, file.c_str(), path));
  }
  if (QelGetDestConfigFile(path, write_file(a).c_str(), a.location))
    std::printf("writes   %s\n", path);
  return 0;
}

int profile_init(Args args) {
  const Arguments a(args, 1, 1);
  refuse_standard_input(a[0]);
  if (QelInitializeProfile(a[0])) {
    char path[260];
    std::printf("profile %s taken over from an earlier version; now in %s\n", a[0],
                QelGetINIPathAppend(KAV_LOCATION_COMMON, "", path));
    return 0;
  }
  std::printf("no earlier profile of %s found\n", a[0]);
  return 1;
}

int parse_mode(const std::optional<std::string> &text) {
  return text ? int(parse_integer(*text, "a mode (0 always, 1 if missing, 2 if present)", 0, 2))
              : 0;
}

// Whether dst holds key in section, which decides what the mode allows.  The migration reads
// dst as it stands, and a bare name, as the system reads one, from the working directory on
// POSIX and from the Windows directory on Windows; a read by location finds the same file.
bool holds_key(const char *section, const char *key, const std::string &dst) {
  const bool bare = dst.find_first_of("/\\") == std::string::npos;
  const bool posix = path_separator() == '/';
  const std::string file = bare && posix ? "./" + dst : dst;
  char value[2];
  return QelGetPrivateProfileString(section, key, "", value, sizeof value, file.c_str(),
                                    bare && !posix ? KAV_LOCATION_WINDOWS : KAV_LOCATION_SEARCH) !=
         0;
}

int profile_migrate(Args args) {
  static constexpr Option known[] = {{"--mode", true}, {"--default", true}};
  const Arguments a(args, 4, 4, known);
  for (const char *word : a.positional())
    if (word[0] == '\0') throw UsageError("SECTION, KEY, SOURCE and TARGET cannot be empty");
  refuse_standard_input(a[2]);
  refuse_standard_input(a[3]);
  std::optional<std::string> def = a.get("--default");
  const int mode = parse_mode(a.get("--mode"));
  const bool held = holds_key(a[0], a[1], a[3]);
  clear_system_error();
  if (QelProfileSettingMigrate(a[0], a[1], def ? def->c_str() : nullptr, a[2], a[3], mode)) {
    std::printf("written\n");
    return 0;
  }
  // The mode's answer, or a write that failed.
  if ((mode == 1 && held) || (mode == 2 && !held)) {
    std::printf("not written\n");
    return 1;
  }
  throw Failure(std::string("cannot write ") + a[3] + ": " + system_error("the write failed"));
}

int profile_tools(const ProfileArgs &a) {
  const std::string &file = a.positional[0];
  std::string keys;
  read_text("Tools", nullptr, file, a.location, &keys);
  for (size_t at = 0; at < keys.size();) {
    size_t end = keys.find('\0', at);
    if (end == std::string::npos) end = keys.size();
    std::string key = keys.substr(at, end - at), value;
    read_text("Tools", key.c_str(), file, a.location, &value);
    std::printf("%s=%s\n", key.c_str(), value.c_str());
    at = end + 1;
  }
  char next[1024];
  std::printf("next free tool key: %d\n", QelGetNextToolKey(next, file.c_str(), a.location));
  return 0;
}

// "--help" (or another option) before the verb.
void options_before_verb(Args args) {
  if (!args.empty() && std::string_view(args[0]).starts_with("--"))
    const Arguments a(args.first(1), 0, 0);
}

int profile(Args args) {
  options_before_verb(args);
  if (args.empty())
    throw UsageError(
        "missing subcommand (get, set, delete, sections, keys, where, tools, init, migrate, "
        "import)");
  std::string verb = args[0];
  Args rest = args.subspan(1);
  if (verb == "get") return profile_get(split_profile_args(rest, 3, 3));
  if (verb == "set") return profile_set(split_profile_args(rest, 4, 4));
  if (verb == "delete") return profile_delete(split_profile_args(rest, 2, 3));
  if (verb == "sections") return profile_sections(split_profile_args(rest, 1, 1));
  if (verb == "keys") return profile_keys(split_profile_args(rest, 2, 2));
  if (verb == "where") return profile_where(split_profile_args(rest, 1, 1));
  if (verb == "init") return profile_init(rest);
  if (verb == "migrate") return profile_migrate(rest);
  if (verb == "tools") return profile_tools(split_profile_args(rest, 1, 1));
  if (verb == "import") return profile_import(rest);
  throw UsageError("unknown subcommand '" + verb + "'");
}

int version(Args args) {
  const Arguments none(args, 0, 0);
  char id[260] = "";
  QelGetAppProfileID(id, sizeof id, 0);
  std::printf("profile version %s.%s.%s (shown as %s), profile ID %s\n", QelGetVerMajor(),
              QelGetVerMinor(), QelGetVerBuild(), QelGetDisplayVersion(), id);
  return 0;
}

int paths(Args args) {
  const Arguments none(args, 0, 0);
  char id[260] = "";
  std::printf("windows  %s\n", QelGetINIPath(KAV_LOCATION_WINDOWS));
  std::printf("common   %s\n", QelGetINIPath(KAV_LOCATION_COMMON));
  std::printf("user     %s\n", QelGetINIPath(KAV_LOCATION_USER));
  std::printf("program  %s\n", QelGetAppProfileID(id, sizeof id, 1) ? id : "(unknown)");
  return 0;
}

const Command kCommands[] = {
    {"profile",
     "get|set|delete|sections|keys|where|tools FILE [SECTION [KEY [VALUE]]] [--location WHERE]\n"
     "init FILE\n"
     "migrate SECTION KEY SOURCE TARGET [--mode MODE] [--default TEXT]\n"
     "import DIRECTORY [--location WHERE] [--map FROM=TO]... [--codepage PAGE] [--replace]",
     "Reads and writes the settings of a profile INI file.  FILE is a bare name such as\n"
     "APP.INI, looked up in the current version's profile directories, or a path.\n"
     "  get FILE SECTION KEY          prints the value; the exit status is 1 when it is not\n"
     "                                set\n"
     "  set FILE SECTION KEY VALUE    writes the value, creating the directories and the\n"
     "                                file\n"
     "  delete FILE SECTION [KEY]     removes the key, or the whole section\n"
     "  sections FILE                 lists the sections, one a line\n"
     "  keys FILE SECTION             lists the section's keys, one a line\n"
     "  where FILE                    shows the file in each location and the file a write\n"
     "                                goes to\n"
     "  tools FILE                    lists the numbered entries of the [Tools] section and\n"
     "                                the next free number\n"
     "  init FILE                     copies FILE forward from the newest earlier version's\n"
     "                                profile (common and per-user), never overwriting a\n"
     "                                file; the exit status is 1 when there is none\n"
     "  migrate SECTION KEY SOURCE TARGET\n"
     "                                copies one setting between two INI files given as\n"
     "                                paths, and prints written or not written (exit\n"
     "                                status 1): --mode MODE is 0 (always, the default), 1\n"
     "                                (only when TARGET lacks the key) or 2 (only when it\n"
     "                                has it); --default TEXT is written when SOURCE lacks\n"
     "                                the key\n"
     "  import DIRECTORY              brings the INI files of a profile tree copied from\n"
     "                                Windows across (see below)\n"
     "\n"
     "--location WHERE is search (the default: reads try the per-user file first, then the\n"
     "common one, key by key; writes go to the common file, or to the per-user one for the\n"
     "per-user programs), user, common or windows (the old, version-less place: the Windows\n"
     "directory, on POSIX $SYSTEMROOT or /etc).  The library never writes a bare name to the\n"
     "Windows directory; with --location windows kav names the file there by its path.\n"
     "\n"
     "import takes DIRECTORY as a copy of a Windows profile directory (such as\n"
     "C:\\ProgramData\\KAV\\VELTRA\\4.93.0) or of the folder of version directories above it,\n"
     "and copies each INI file (any case of .ini) to the same version's directory of WHERE\n"
     "(common unless --location user or windows; a directory of files alone goes to the\n"
     "current version).  The files become UTF-8 and keep their line ends: UTF-16 files and\n"
     "byte-order marks are converted, and text that is not UTF-8 is read as Windows code\n"
     "page PAGE (1252, the default; none keeps the bytes).  --map FROM=TO rewrites values\n"
     "that begin with the Windows path FROM (compared without case, either slash) to begin\n"
     "with TO instead, with slashes for the backslashes after it; values that still look\n"
     "like Windows paths are named on standard error.  A file that exists is left alone\n"
     "unless --replace; a new one appears whole or not at all.  One line a file says what\n"
     "was done.",
     profile},
    {"version", "",
     "Prints the profile version (major, minor and build, from the file version in the\n"
     "working directory, else 4.93.0) and the profile ID.",
     version},
    {"paths", "",
     "Prints the Windows directory, the common and the per-user profile directories and\n"
     "the program's own profile ID.",
     paths},
};

}  // namespace

std::span<const Command> profile_commands() { return kCommands; }

}  // namespace kav::tool
