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

// Writes (value null: deletes) an entry of the write target, or says why it could not.
int write_entry(const ProfileArgs &a, const char *key, const char *value) {
  const auto &p = a.positional;
  clear_system_error();
  if (QelWritePrivateProfileString(p[1].c_str(), key, value, p[0].c_str(), a.location)) return 0;
  const std::string why = system_error("the write failed");
  char target[260] = "";
  if (!QelGetDestConfigFile(target, p[0].c_str(), a.location))
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
  if (QelGetDestConfigFile(path, file.c_str(), a.location)) std::printf("writes   %s\n", path);
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
    if (word[0] == '\0') throw UsageError("SECTION, KEY, SRC and DST cannot be empty");
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

int profile(Args args) {
  if (args.empty())
    throw UsageError(
        "missing subcommand (get, set, delete, sections, keys, where, tools, init, migrate)");
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
     "get|set|delete|sections|keys|where|tools [--location L] FILE [SECTION [KEY [VALUE]]]\n"
     "         | init INI | migrate SECTION KEY SRC DST [--mode N] [--default TEXT]",
     "Reads and writes the settings of a profile INI file.  FILE is a bare name such as\n"
     "APP.INI (looked up in the current version's profile directories) or a path.\n"
     "  get FILE SECTION KEY          prints the value; exit status 1 when it is not set\n"
     "  set FILE SECTION KEY VALUE    writes the value (creating directories and file)\n"
     "  delete FILE SECTION [KEY]     removes the key, or the whole section\n"
     "  sections FILE                 lists the sections, one per line\n"
     "  keys FILE SECTION             lists the section's keys, one per line\n"
     "  where FILE                    shows the file in each location and the write target\n"
     "  tools FILE                    lists the numbered [Tools] entries and the next free key\n"
     "  init INI                      copies INI forward from the newest earlier version's\n"
     "                                profile (common and per-user), never overwriting\n"
     "  migrate SECTION KEY SRC DST   copies one setting between two INI files (paths);\n"
     "                                --mode 0 always, 1 only if DST lacks it, 2 only if\n"
     "                                DST has it; --default TEXT when SRC lacks it\n"
     "--location search (the default) reads the per-user file first, then the common one,\n"
     "key by key; writes then go to the common file (per-user for the per-user programs).",
     profile},
    {"version", "", "Prints the profile version and the profile ID.", version},
    {"paths", "", "Prints the Windows directory and the common and per-user profile directories.",
     paths},
};

}  // namespace

std::span<const Command> profile_commands() { return kCommands; }

}  // namespace kav::tool
