// The text commands of the kav tool: sorting lines the way the string list
// keeps them sorted, wildcard and regular-expression filters, and the field
// scanner laid open directive by directive.
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "containers/dslist.h"
#include "host.h"
#include "kavutil.h"
#include "progress.h"
#include "text/regexp.h"

namespace kav::tool {
namespace {

// The whole of a stream, in binary; false when it could not be read to its end.
bool read_all(std::FILE *in, std::string *bytes) {
  char block[65536];
  for (size_t read; (read = std::fread(block, 1, sizeof block, in)) > 0;)
    bytes->append(block, read);
  return std::ferror(in) == 0;
}

// One line of the input: where it starts and its length without its line end.
struct Line {
  size_t at;
  size_t length;
};

// Cuts text into lines, whatever their length: each ends at a line feed or at the end of the
// text, and loses every CR and LF at its end, as the library's line reader (kav_fgets) takes
// them.  A NUL is written after each line's text, so that it reads as a C string (up to its
// first NUL, which is all the library sees of a line that holds one).
std::vector<Line> split_lines(std::string &text) {
  std::vector<Line> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    const size_t next = end == std::string::npos ? text.size() : end + 1;
    if (end == std::string::npos) end = text.size();
    size_t length = end - at;
    while (length > 0 && (text[at + length - 1] == '\r' || text[at + length - 1] == '\n')) --length;
    lines.push_back({at, length});
    at = next;
  }
  text.push_back('\0');
  for (const Line &line : lines) text[line.at + line.length] = '\0';
  return lines;
}

int sort(Args args) {
  const Arguments a(args, 1, 2);
  dsList list;
  dsInitialize(&list);
  if (!dsSetSort(&list, a[0]))
    throw UsageError(std::string("'") + a[0] + "' is not a sort order (e.g. +S0|-D3)");
  const bool from_input = a.size() == 1 || is_standard_input(a[1]);
  std::string text;
  if (from_input) {
    binary_standard_input();
    if (!read_all(stdin, &text))
      throw Failure(std::string("cannot read standard input: ") + std::strerror(errno));
  } else {
    std::FILE *in = is_readable_file(a[1]) ? std::fopen(a[1], "rb") : nullptr;
    const bool read = in != nullptr && read_all(in, &text);
    if (in != nullptr) std::fclose(in);
    if (!read) throw Failure(std::string("cannot read ") + a[1] + ": " + unreadable_reason(a[1]));
  }
  const std::vector<Line> lines = split_lines(text);
  std::vector<const char *> texts;
  texts.reserve(lines.size());
  for (const Line &line : lines) texts.push_back(text.data() + line.at);
  for (size_t i : kav::containers::dslist::sorted_order(list, texts)) {
    std::fwrite(texts[i], 1, lines[i].length, stdout);
    std::fputc('\n', stdout);
  }
  return 0;
}

// Refuses an expression that kav_test_re would not compile (and so would let every text
// through).
void check_expression(const char *regex, const std::string &shown) {
  const char *error = kav::text::regexp::compile_error(regex);
  if (error != nullptr) throw UsageError(shown + " is not a valid expression: " + error);
}

int match(Args args) {
  const Arguments a(args, 2, SIZE_MAX);
  std::vector<char> regex(2 * std::strlen(a[0]) + 2, '\0');
  kav_setup_regexp(a[0], regex.data());
  check_expression(regex.data(),
                   std::string("WILDCARD '") + a[0] + "' (as '" + regex.data() + "')");
  int status = 1;
  for (const char *name : a.positional().subspan(1)) {
    if (kav_test_re(name, regex.data()) != 1) continue;
    std::printf("%s\n", name);
    status = 0;
  }
  return status;
}

// Reads a stream line by line in blocks, whatever the length of a line, and
// counts the bytes read for a progress bar.
class LineReader {
 public:
  LineReader(std::FILE *in, Progress *progress) : in_(in), progress_(progress) {}

  // The next line without its line feed or CR LF; false at the end.
  bool next(std::string *line) {
    line->clear();
    bool any = false;
    for (;;) {
      if (at_ == end_) {
        // Ends once: a terminal may give more input after an end of file.
        at_ = 0;
        end_ = ended_ ? 0 : std::fread(block_.data(), 1, block_.size(), in_);
        if (progress_ != nullptr) progress_->advance(end_);
        ended_ = end_ == 0;
        if (ended_) break;
      }
      any = true;
      const char *start = block_.data() + at_;
      const void *feed = std::memchr(start, '\n', end_ - at_);
      size_t length =
          feed == nullptr ? end_ - at_ : size_t(static_cast<const char *>(feed) - start);
      line->append(start, length);
      at_ += length;
      if (feed != nullptr) {
        ++at_;
        break;
      }
    }
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return any;
  }

 private:
  std::FILE *in_;
  Progress *progress_;
  std::vector<char> block_ = std::vector<char>(65536);
  size_t at_ = 0;
  size_t end_ = 0;
  bool ended_ = false;
};

// Prints the lines of in that regex accepts, after prefix; whether any did.
bool grep_stream(std::FILE *in, const char *regex, const std::string &prefix, Progress *progress) {
  LineReader reader(in, progress);
  std::string line;
  bool matched = false;
  while (reader.next(&line)) {
    // The expression sees the line up to a NUL byte; the whole line is printed.
    if (kav_test_re(line.c_str(), regex) != 1) continue;
    matched = true;
    clear_progress_line(stdout);
    std::fwrite(prefix.data(), 1, prefix.size(), stdout);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
  }
  return matched;
}

// Greps one file, or standard input for "-"; false, after a message, when it cannot be read.
bool grep_file(const char *file, const char *regex, bool several, Progress *progress,
               bool *matched) {
  const bool input = is_standard_input(file);
  const std::string shown = input ? "(standard input)" : file;
  std::FILE *in = input ? stdin : std::fopen(file, "rb");
  int error = errno;
  if (in != nullptr) {
    *matched |= grep_stream(in, regex, several ? shown + ":" : "", progress);
    error = errno;
    const bool failed = std::ferror(in) != 0;
    if (!input) std::fclose(in);
    if (!failed) return true;
  }
  clear_progress_line(stderr);
  std::fprintf(stderr, "kav grep: cannot read %s: %s\n", shown.c_str(), std::strerror(error));
  return false;
}

int grep(Args args) {
  const Arguments a(args, 1, SIZE_MAX);
  const char *regex = a[0];
  check_expression(regex, std::string("REGEX '") + regex + "'");
  Args files = a.positional().subspan(1);
  const char *const standard_input[] = {"-"};
  if (files.empty()) files = Args(const_cast<char *const *>(standard_input), 1);
  std::uint64_t total = 0;
  for (const char *file : files) total += std::uint64_t(std::max(getfilesize(file), 0));
  Progress progress("grep ", total);
  bool matched = false;
  bool unreadable = false;
  for (const char *file : files)
    unreadable |= !grep_file(file, regex, files.size() > 1, &progress, &matched);
  return unreadable ? 2 : matched ? 0 : 1;
}

// What a directive of kav_sscanf stores in its target.
enum class Field { kInt32, kUnsigned32, kInt16, kUnsigned16, kFloat, kDouble, kChars, kText };

struct Target {
  Field field;
  size_t width;  // the characters a %c stores
  std::vector<unsigned char> pristine;
  std::vector<std::max_align_t> storage;

  unsigned char *bytes() { return reinterpret_cast<unsigned char *>(storage.data()); }
};

constexpr size_t kMaxTargets = 16;
constexpr unsigned char kSentinel = 0xA5;

Field field_of(char letter, char before) {
  switch (letter) {
    case 'd':
      return before == 'h' ? Field::kInt16 : Field::kInt32;
    case 'u':
      return before == 'h' ? Field::kUnsigned16 : Field::kUnsigned32;
    case 'f':
      return before == 'l' ? Field::kDouble : Field::kFloat;
    case 'c':
      return Field::kChars;
    case 's':
      return Field::kText;
    default:  // D and T: 32-bit values the scanner leaves at 0
      return Field::kInt32;
  }
}

// The targets format asks for, found as kav_sscanf finds its directives: a
// directive runs from a '%' to the first of the letters d f u s c D T, a '*'
// in it means no target, and the character before the letter picks the size
// (h: 16-bit integer, l: double).  Each target has room for anything the
// standard scanner could copy out of text, and is filled with a pattern that
// tells whether the scanner wrote to it.
std::vector<Target> targets_for(const char *format, size_t text_length) {
  std::vector<Target> targets;
  for (const char *at = format; *at != '\0'; ++at) {
    if (*at != '%') continue;
    const char *letter = at + 1;
    while (*letter != '\0' && std::strchr("dfuscDT", *letter) == nullptr) ++letter;
    if (*letter == '\0') break;  // an unfinished directive ends the scan
    const std::string directive(at, letter + 1);
    at = letter;
    if (directive.find('*') != std::string::npos) continue;
    if (targets.size() == kMaxTargets)
      throw UsageError("FORMAT has more than " + std::to_string(kMaxTargets) + " targets");
    Target target{field_of(*letter, letter[-1]), 1, {}, {}};
    if (target.field == Field::kChars) {
      size_t digits = directive.find_first_of("0123456789");
      if (digits != std::string::npos) target.width = std::strtoul(&directive[digits], nullptr, 10);
    }
    const size_t size = std::max<size_t>(text_length + 1, 16);
    target.storage.resize((size + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t));
    // A %c stores no terminating NUL: its characters end at the first NUL.
    target.pristine.assign(size, target.field == Field::kChars ? 0 : kSentinel);
    target.pristine[0] = kSentinel;
    std::memcpy(target.bytes(), target.pristine.data(), size);
    targets.push_back(std::move(target));
  }
  return targets;
}

template <typename T>
T value_of(Target &target) {
  T value;
  std::memcpy(&value, target.bytes(), sizeof value);
  return value;
}

void print_target(size_t number, Target &target) {
  std::printf("%u: ", unsigned(number));
  const char *text = reinterpret_cast<const char *>(target.bytes());
  const size_t room = target.pristine.size();
  switch (target.field) {
    case Field::kInt32:
      std::printf("%ld\n", long(value_of<std::int32_t>(target)));
      break;
    case Field::kUnsigned32:
      std::printf("%lu\n", static_cast<unsigned long>(value_of<std::uint32_t>(target)));
      break;
    case Field::kInt16:
      std::printf("%d\n", int(value_of<std::int16_t>(target)));
      break;
    case Field::kUnsigned16:
      std::printf("%u\n", unsigned(value_of<std::uint16_t>(target)));
      break;
    case Field::kFloat:
      std::printf("%.7g\n", double(value_of<float>(target)));
      break;
    case Field::kDouble:
      std::printf("%.15g\n", value_of<double>(target));
      break;
    case Field::kChars:
    case Field::kText: {
      size_t limit = target.field == Field::kChars ? std::min(target.width, room) : room;
      const void *end = std::memchr(text, '\0', limit);
      size_t length = end == nullptr ? limit : size_t(static_cast<const char *>(end) - text);
      std::printf("\"%.*s\"\n", int(length), text);
      break;
    }
  }
}

int scan(Args args) {
  const Arguments a(args, 2, 2);
  const char *format = a[0];
  const char *text = a[1];
  std::vector<Target> targets = targets_for(format, std::strlen(text));
  void *t[kMaxTargets] = {};
  for (size_t i = 0; i < targets.size(); ++i) t[i] = targets[i].storage.data();
  const int count = kav_sscanf(text, format, t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8],
                               t[9], t[10], t[11], t[12], t[13], t[14], t[15]);
  for (size_t i = 0; i < targets.size(); ++i) {
    // The count says how many targets the scanner came to; the fill pattern
    // still shows a target written beyond the count.
    Target &target = targets[i];
    bool untouched = int(i) >= count && std::memcmp(target.bytes(), target.pristine.data(),
                                                    target.pristine.size()) == 0;
    if (untouched)
      std::printf("%u: (untouched)\n", unsigned(i + 1));
    else
      print_target(i + 1, target);
  }
  std::printf("count: %d\n", count);
  return 0;
}

const Command kCommands[] = {
    {"sort", "ORDER [FILE]",
     "Prints the lines of FILE (standard input when it is - or missing) in the order that a\n"
     "string list sorted by ORDER keeps them when each line is added to it in turn\n"
     "(dsAppend): every line whole, however long, its line end (LF, CR LF) written as LF.\n"
     "ORDER names up to five keys separated by '|': a sign (+ ascending, - descending), a\n"
     "type (S text without regard to case, D decimal number; I, d, i and s give no order)\n"
     "and a field number counted from 0 (fields are separated by '|') or a range of\n"
     "character positions from-to, as in +S0|-D3 or +S0-9.  Among equal lines the newest\n"
     "comes first.  A line that holds a NUL byte sorts by its text before the NUL, as the\n"
     "library sees it, and is printed whole.",
     sort},
    {"match", "WILDCARD NAME...",
     "Prints each NAME that WILDCARD selects, as client programs filter file names: * is\n"
     "any text, ? any character, and \\ makes the next character literal.  The wildcard is\n"
     "anchored at the start only (abc also selects abcdef; abc$ selects abc alone) unless\n"
     "it begins with *.  The exit status is 1 when no NAME matched, 2 when the wildcard's\n"
     "expression does not compile (one ending in a single \\ or with an unclosed [).",
     match},
    {"grep", "REGEX [FILE...]",
     "Prints the lines of the files (standard input for - or when none is named) in which\n"
     "the basic regular expression REGEX matches: literals, ., [classes], *, \\{m,n\\}, ^, $,\n"
     "\\( \\) and \\1 to \\9.  With several files each line is prefixed by its file name (for\n"
     "standard input '(standard input)') and a colon.  An empty REGEX matches every line.\n"
     "An expression the library cannot compile, which its filter would answer by letting\n"
     "every line through, is refused with the reason (an unmatched [ or \\(, a trailing\n"
     "backslash, a back-reference to a group not yet closed, a bad interval, more than 9\n"
     "groups, an expression too long).  The exit status is 0 when a line matched, 1 when\n"
     "none did, 2 when REGEX is refused or a file could not be read.",
     grep, true},
    {"scan", "FORMAT TEXT",
     "Splits TEXT into fields with the library's scanner and prints each target's value,\n"
     "numbered, then the count the scanner returns.  FORMAT holds literals and the\n"
     "directives %d and %u (h: 16-bit), %f (l: double), %c and %s, with widths; * skips a\n"
     "field.  A field ends at the next literal of FORMAT, so %s,%d reads 'John Smith,42' as\n"
     "\"John Smith\" and 42.  A target the scanner never came to prints (untouched).  At most\n"
     "16 targets.",
     scan},
};

}  // namespace

std::span<const Command> text_commands() { return kCommands; }

}  // namespace kav::tool
