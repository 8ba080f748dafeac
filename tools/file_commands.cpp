// The file commands of the kav tool: checksums, copies of files and trees,
// tree removal and directory chains.  checksum and copydir draw a progress
// bar over the bytes they go through.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "commands.h"
#include "host.h"
#include "kavutil.h"
#include "progress.h"

namespace kav::tool {
namespace {

// Reports a failure that leaves the command going (one file of several).
int report(const char *command, const std::string &what) {
  clear_progress_line(stderr);
  std::fprintf(stderr, "kav %s: %s\n", command, what.c_str());
  return 2;
}

// The size for the progress bar: 0 when the library has none.
std::uint64_t file_size(const char *path) {
  int size = getfilesize(path);
  return size > 0 ? std::uint64_t(size) : 0;
}

// The checksum of one FILE argument, or a message.  get_check_sum sums regular files only,
// so standard input is summed through a temporary copy.
int checksum_one(const char *file) {
  const InputPath input(file);
  const unsigned int sum = get_check_sum(input.path());
  if (sum == 0)
    return report("checksum",
                  std::string("cannot read ") + file + ": " + unreadable_reason(input.path()));
  clear_progress_line(stdout);
  std::printf("%08X  %s\n", sum, file);
  return 0;
}

int checksum(Args args) {
  const Arguments a(args, 1, SIZE_MAX);
  std::vector<std::uint64_t> sizes;
  std::uint64_t total = 0;
  for (const char *file : a.positional()) total += sizes.emplace_back(file_size(file));
  Progress progress("checksum ", total);
  int status = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    if (checksum_one(a[i]) != 0) status = 2;
    progress.advance(sizes[i]);
  }
  return status;
}

// Says why copy_file failed: the source cannot be read, or the destination not written.
[[noreturn]] void copy_failed(const char *shown, const char *source, const char *destination) {
  const std::string written = system_error("the copy could not be written");
  if (getfiletype(source) != 1)
    throw Failure(std::string("cannot read ") + shown + ": " + unreadable_reason(source));
  throw Failure(std::string("cannot copy ") + shown + " to " + destination + ": " + written);
}

int copy(Args args) {
  const Arguments a(args, 2, 2);
  const InputPath source(a[0]);
  clear_system_error();
  if (copy_file(source.path(), a[1]) != 0) copy_failed(a[0], source.path(), a[1]);
  return 0;
}

// The files of a directory copy, listed before the copy starts so that the
// bar knows the total.
struct TreeFile {
  std::string source;
  std::string target;
  std::uint64_t size;
  bool link;  // made again as a link, as copy_dir does
};

struct TreeListing {
  const char *source;
  const char *destination;
  std::vector<TreeFile> files;
  bool failed;
};

// Lists the files below a directory as copy_dir's own walk finds them: an
// entry's path is the walked directory, the separator and the name, and its
// target is the destination followed by the entry's path below the source.
// Links are listed, not followed; FIFOs, sockets and devices are left out.
int list_tree_file(const char *directory, const char *pattern, void (*visitor)(void), void *context,
                   const char *name, int is_directory) {
  auto &listing = *static_cast<TreeListing *>(context);
  try {
    const std::string entry = std::string(directory) + path_separator() + name;
    std::error_code error;
    const auto status = std::filesystem::symlink_status(entry, error);
    const bool link = std::filesystem::is_symlink(status);
    if (is_directory && !link)
      return traverse_tree(entry.c_str(), pattern, reinterpret_cast<kav_tree_visitor>(visitor),
                           context);
    if (!link && !std::filesystem::is_regular_file(status)) return 0;
    const size_t root = std::min(std::strlen(listing.source), entry.size());
    listing.files.push_back({entry, listing.destination + entry.substr(root),
                             link ? 0 : file_size(entry.c_str()), link});
    return 0;
  } catch (...) {  // only allocation can fail; no exception may cross the library
    listing.failed = true;
    return 1;
  }
}

bool copy_entry(const TreeFile &file) {
  if (!file.link) return copy_file(file.source.c_str(), file.target.c_str()) == 0;
  std::error_code error;
  std::filesystem::remove(file.target, error);
  std::filesystem::copy_symlink(file.source, file.target, error);
  return !error;
}

// copy_dir has no hook to report each file, so with a bar the tool walks the
// tree itself and does what copy_dir does per file: create the target's
// parent directories, copy, stop at the first failure.  Without a bar the
// command stays the library's own copy_dir, which is what client programs
// call; the tests run the command both ways.
int copy_tree_with_progress(const char *source, const char *destination) {
  if (compare_path(source, destination) == 0) return 1;
  TreeListing listing{source, destination, {}, false};
  traverse_tree(source, "*", list_tree_file, &listing);
  if (listing.failed) return 1;
  std::uint64_t total = 0;
  for (const TreeFile &file : listing.files) total += file.size;
  Progress progress("copydir ", total);
  for (const TreeFile &file : listing.files) {
    if (parent_dir(file.target.c_str()) != 0 || !copy_entry(file)) return 1;
    progress.advance(file.size);
  }
  return 0;
}

int copydir(Args args) {
  const Arguments a(args, 2, 2);
  if (getfiletype(a[0]) != 2)
    throw Failure(std::string("cannot copy ") + a[0] + ": " +
                  (getfiletype(a[0]) == 0 ? unreadable_reason(a[0]) : "it is not a directory"));
  if (compare_path(a[0], a[1]) == 0)
    throw Failure(std::string("cannot copy ") + a[0] + " onto itself");
  // The library creates the directories below the destination, not its own
  // first component: make the destination itself first.
  mkdir_fullpath(a[1]);
  clear_system_error();
  int result = progress_wanted() ? copy_tree_with_progress(a[0], a[1]) : copy_dir(a[0], a[1]);
  if (result != 0)
    throw Failure(std::string("cannot copy every file of ") + a[0] + " to " + a[1] + ": " +
                  system_error("a file could not be copied"));
  return 0;
}

// What rmtree left behind: the first entry kept on purpose, and the first failure with its
// reason.
struct Removal {
  std::string kept;
  std::string failed;
  std::string why;
  int kept_count = 0;
};

// Removes path with the library.  Where the library stops (it keeps entries whose names begin
// with '.', and on Windows system entries, with every directory above them, and gives up at the
// first entry it keeps), the walk goes on with the directory's other entries, each removed by
// the library in turn: everything goes but the kept entries and the directories that hold them.
void remove_rest(const std::string &path, Removal &removal) {
  namespace fs = std::filesystem;
  clear_system_error();
  if (recursive_unlink(path.c_str()) == 1) return;
  const std::string why = system_error("it could not be removed");
  std::error_code error;
  std::vector<std::string> names;
  if (fs::is_directory(fs::symlink_status(path, error)))
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
      names.push_back(it->path().filename().string());
  if (names.empty()) {  // not a directory, or one that cannot be listed or removed
    if (removal.failed.empty()) removal.failed = path, removal.why = why;
    return;
  }
  const int kept_before = removal.kept_count;
  for (const std::string &name : names) {
    const std::string entry = path + path_separator() + name;
    if (name.starts_with(".") || is_system_entry(entry.c_str())) {
      if (removal.kept_count++ == 0) removal.kept = entry;
      continue;
    }
    remove_rest(entry, removal);
  }
  if (removal.kept_count > kept_before) return;  // the directory stays, as the library keeps it
  clear_system_error();
  if (recursive_unlink(path.c_str()) != 1 && removal.failed.empty())
    removal.failed = path, removal.why = system_error("it could not be removed");
}

int rmtree(Args args) {
  const Arguments a(args, 1, 1);
  Removal removal;
  remove_rest(a[0], removal);
  if (!removal.failed.empty())
    throw Failure("cannot remove all of " + std::string(a[0]) + ": " + removal.failed + ": " +
                  removal.why);
  if (removal.kept_count > 0)
    throw Failure(std::string("kept ") + a[0] + ": entries whose names begin with '.' stay, " +
                  "and so do the directories above them (" + removal.kept + ")");
  return 0;
}

int mkdirs(Args args) {
  const Arguments a(args, 1, 1);
  clear_system_error();
  mkdir_fullpath(a[0]);
  if (getfiletype(a[0]) != 2) {
    const std::string why = system_error("a file of that name is in the way");
    throw Failure(std::string("cannot create ") + a[0] + ": " + why);
  }
  return 0;
}

const Command kCommands[] = {
    {"checksum", "FILE...",
     "Prints the 32-bit checksum of each FILE in hexadecimal, as the archive programs\n"
     "compute it; the exit status is 2 when a file cannot be read.  The library sums\n"
     "regular files, so standard input (-) is summed through a temporary copy.",
     checksum, true},
    {"copy", "SOURCE TARGET",
     "Copies the file SOURCE (standard input for -) to TARGET, replacing TARGET only once\n"
     "the copy is complete.",
     copy},
    {"copydir", "SOURCE TARGET",
     "Copies every file below the directory SOURCE to the same place below TARGET,\n"
     "creating directories as needed; directories that hold no file are not created.  The\n"
     "copy stops at the first file that cannot be copied.",
     copydir, true},
    {"rmtree", "PATH",
     "Removes the file or directory PATH and everything below it.  Entries whose names\n"
     "begin with '.' (on Windows also system entries) are kept, and so is every directory\n"
     "that holds one; everything else is removed, and then the exit status is 2 with the\n"
     "first kept entry named.  An entry that cannot be removed does not stop the rest; the\n"
     "first one is named, with the system's reason.",
     rmtree},
    {"mkdirs", "PATH", "Creates the directory PATH and every missing directory above it.", mkdirs},
};

}  // namespace

std::span<const Command> file_commands() { return kCommands; }

}  // namespace kav::tool
