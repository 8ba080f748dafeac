// document.cpp - parsing, queries and in-place edits of INI text (see document.h).
//
// Parsing records, for every line, where its name and value lie in the text; queries read them
// from there and cut them at the first NUL byte, as Windows' string functions do.  An Editor
// collects the changes of one edit by line number and then writes the text out again: lines it
// did not touch are copied byte for byte, with their own line breaks.  The index maps the pair
// of names to the line the linear lookup finds: for each section name only the first section
// counts, within it the first line of a name, and the unnamed top section answers the empty
// name when no "[]" header does.

#include "platform/posix/ini/document.h"

#include <atomic>
#include <initializer_list>
#include <unordered_set>
#include <utility>

#include "base/ascii.h"

namespace kav::platform::posix::ini {
namespace {

std::atomic<uint64_t> parse_count{0};

// Windows' blanks: TAB, LF, VT, FF, CR, space and ^Z.
bool IsBlank(char c) {
  return c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == ' ' || c == '\x1a';
}

std::string_view TrimLeadingBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view TrimTrailingBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view TrimBlanks(std::string_view s) { return TrimTrailingBlanks(TrimLeadingBlanks(s)); }

std::string_view CutAtNul(std::string_view s) { return s.substr(0, s.find('\0')); }

// Only ASCII letters are folded, as in Windows' profile functions.
using kav::base::equals_ignoring_case;
using kav::base::to_upper;

// 64-bit FNV-1a over the folded bytes, folded to size_t: its constants are 64-bit ones, and a
// 32-bit size_t would cut the prime to 0x1b3 and leave a weak hash.
std::uint64_t HashFolded(std::string_view s, std::uint64_t hash) {
  for (char c : s) hash = (hash ^ static_cast<unsigned char>(to_upper(c))) * 0x100000001b3ULL;
  return hash;
}

constexpr std::uint64_t kHashBasis = 0xcbf29ce484222325ULL;

std::size_t ToSize(std::uint64_t hash) { return static_cast<std::size_t>(hash ^ (hash >> 32)); }

struct FoldedNameHash {
  std::size_t operator()(std::string_view name) const {
    return ToSize(HashFolded(name, kHashBasis));
  }
};

struct FoldedNameEqual {
  bool operator()(std::string_view a, std::string_view b) const {
    return equals_ignoring_case(a, b);
  }
};

std::string Joined(std::initializer_list<std::string_view> parts) {
  std::string joined;
  for (std::string_view part : parts) joined += part;
  return joined;
}

// "name=value" as Windows writes a new entry: blanks before the name and the value dropped,
// blanks after them kept.
std::string EntryLine(std::string_view name, std::string_view value) {
  return Joined({TrimLeadingBlanks(name), "=", TrimLeadingBlanks(value)});
}

}  // namespace

uint64_t profile_parse_count() { return parse_count.load(std::memory_order_relaxed); }

// Names hold no NUL (they are cut there), so a NUL between them keeps pairs apart.
std::size_t IniDocument::FoldedHash::operator()(const NamePair& names) const {
  return ToSize(HashFolded(names.key, HashFolded(names.section, kHashBasis) * 0x100000001b3ULL));
}

bool IniDocument::FoldedEqual::operator()(const NamePair& a, const NamePair& b) const {
  return equals_ignoring_case(a.section, b.section) && equals_ignoring_case(a.key, b.key);
}

// The changes of one edit, by line number, and the text they give.
class IniDocument::Editor {
 public:
  explicit Editor(const IniDocument& document)
      : document_(document),
        replaced_(document.lines_.size()),
        removed_(document.lines_.size()),
        inserted_(document.lines_.size() + 1) {}

  void Replace(std::size_t line, std::string content) {
    const Line& old = document_.lines_[line];
    if (document_.Slice(old.begin, old.end) == content) return;
    replaced_[line] = std::move(content);
    changed_ = true;
  }

  void Remove(std::size_t line) {
    removed_[line] = true;
    changed_ = true;
  }

  // line may be the number of lines: the content then goes at the end of the text.
  void InsertBefore(std::size_t line, std::string content) {
    inserted_[line].push_back(std::move(content));
    changed_ = true;
  }

  std::optional<std::string> Result() const {
    if (!changed_) return std::nullopt;
    const std::string_view line_break = document_.LineBreakForNewLines();
    const std::vector<Line>& lines = document_.lines_;
    std::string out;
    out.reserve(document_.text_.size() + 64);
    for (std::size_t i = 0; i <= lines.size(); ++i) {
      for (const std::string& content : inserted_[i]) {
        if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += line_break;
        out += content;
        out += line_break;
      }
      if (i == lines.size() || removed_[i]) continue;
      const Line& line = lines[i];
      if (replaced_[i]) {
        out += *replaced_[i];
        out += document_.Slice(line.end, line.break_end);
      } else {
        out += document_.Slice(line.begin, line.break_end);
      }
    }
    return out;
  }

 private:
  const IniDocument& document_;
  std::vector<std::optional<std::string>> replaced_;
  std::vector<bool> removed_;
  std::vector<std::vector<std::string>> inserted_;
  bool changed_ = false;
};

IniDocument::IniDocument(std::string text) : text_(std::move(text)) {
  parse_count.fetch_add(1, std::memory_order_relaxed);
  sections_.push_back(Section{});
  std::size_t at = 0;
  while (at < text_.size()) {
    Line line;
    line.begin = at;
    line.end = at;
    while (line.end < text_.size() && text_[line.end] != '\r' && text_[line.end] != '\n') {
      ++line.end;
    }
    line.break_end = line.end;
    if (line.end < text_.size()) {
      const bool crlf =
          text_[line.end] == '\r' && line.end + 1 < text_.size() && text_[line.end + 1] == '\n';
      line.break_end += crlf ? 2 : 1;
    }
    ClassifyLine(line);
    if (line.kind == Kind::kHeader) {
      sections_.back().last = lines_.size();
      sections_.push_back(Section{lines_.size(), lines_.size() + 1, 0});
    }
    lines_.push_back(line);
    at = line.break_end;
  }
  sections_.back().last = lines_.size();
  HideRepeatedEmptyNames();
}

std::string_view IniDocument::Slice(std::size_t begin, std::size_t end) const {
  return std::string_view(text_).substr(begin, end - begin);
}

std::size_t IniDocument::OffsetOf(std::string_view part) const {
  return static_cast<std::size_t>(part.data() - text_.data());
}

void IniDocument::ClassifyLine(Line& line) const {
  const std::string_view content = TrimBlanks(Slice(line.begin, line.end));
  if (content.empty() || content.front() == '\0') return;
  const std::size_t close = content.rfind(']');
  if (content.front() == '[' && close != std::string_view::npos) {
    line.kind = Kind::kHeader;
    const std::string_view name = TrimBlanks(content.substr(1, close - 1));
    line.name_begin = OffsetOf(name);
    line.name_end = line.name_begin + name.size();
    return;
  }
  line.kind = Kind::kEntry;
  line.comment = content.front() == ';';
  const std::size_t equals = content.find('=');
  const std::string_view name = TrimTrailingBlanks(content.substr(0, equals));
  line.name_begin = OffsetOf(name);
  line.name_end = line.name_begin + name.size();
  if (equals != std::string_view::npos) {
    const std::string_view value = TrimLeadingBlanks(content.substr(equals + 1));
    line.value_begin = OffsetOf(value);
    line.value_end = line.value_begin + value.size();
  }
}

// Wine skips an entry with an empty name that directly follows another one in its section.
void IniDocument::HideRepeatedEmptyNames() {
  for (const Section& section : sections_) {
    bool previous_empty = false;
    for (std::size_t i = section.first; i < section.last; ++i) {
      Line& line = lines_[i];
      if (line.kind != Kind::kEntry) continue;
      const bool empty = NameOf(line).empty();
      line.hidden = empty && previous_empty;
      previous_empty = empty;
    }
  }
}

std::string_view IniDocument::RawName(const Line& line) const {
  return Slice(line.name_begin, line.name_end);
}

std::string_view IniDocument::NameOf(const Line& line) const { return CutAtNul(RawName(line)); }

std::string_view IniDocument::ValueOf(const Line& line) const {
  return CutAtNul(Slice(line.value_begin, line.value_end));
}

bool IniDocument::HasValue(const Line& line) const { return line.value_begin != kNone; }

bool IniDocument::IsVisibleEntry(const Line& line) const {
  return line.kind == Kind::kEntry && !line.hidden;
}

std::string_view IniDocument::SectionName(std::size_t section) const {
  const std::size_t header = sections_[section].header;
  return header == kNone ? std::string_view() : NameOf(lines_[header]);
}

std::vector<std::size_t> IniDocument::MatchingSections(std::string_view name) const {
  std::vector<std::size_t> found;
  for (std::size_t s = 1; s < sections_.size(); ++s) {
    if (equals_ignoring_case(SectionName(s), name)) found.push_back(s);
  }
  // Windows finds a "[]" section by the empty name; without one, the empty name means the lines
  // before the first header, as in Wine.
  if (found.empty() && name.empty()) found.push_back(0);
  return found;
}

std::optional<std::size_t> IniDocument::FirstSection(std::string_view name) const {
  const std::vector<std::size_t> found = MatchingSections(name);
  if (found.empty()) return std::nullopt;
  return found.front();
}

// The first line named key, even one without '=' (which then hides any later one).
std::optional<std::size_t> IniDocument::FindEntry(std::size_t section, std::string_view key) const {
  for (std::size_t i = sections_[section].first; i < sections_[section].last; ++i) {
    const Line& line = lines_[i];
    if (IsVisibleEntry(line) && equals_ignoring_case(NameOf(line), key)) return i;
  }
  return std::nullopt;
}

// New entries go after the last non-blank line of the section, so blank lines that separate it
// from the next section stay after it.
std::size_t IniDocument::InsertionPoint(std::size_t section) const {
  const Section& s = sections_[section];
  for (std::size_t i = s.last; i > s.first; --i) {
    if (lines_[i - 1].kind != Kind::kBlank) return i;
  }
  return s.first;
}

// New lines end like the first line of the file that has a line break (CRLF, LF or CR), so an
// edit never mixes styles; CRLF, as Windows writes, when the text has no line break yet.
std::string_view IniDocument::LineBreakForNewLines() const {
  for (const Line& line : lines_) {
    if (line.break_end > line.end) return Slice(line.end, line.break_end);
  }
  return "\r\n";
}

void IniDocument::BuildIndex() {
  index_.clear();
  index_.reserve(lines_.size());
  std::unordered_set<std::string_view, FoldedNameHash, FoldedNameEqual> seen;
  const auto add = [&](std::size_t s) {
    const std::string_view name = SectionName(s);
    if (!seen.insert(name).second) return;
    for (std::size_t i = sections_[s].first; i < sections_[s].last; ++i) {
      if (IsVisibleEntry(lines_[i])) index_.try_emplace(NamePair{name, NameOf(lines_[i])}, i);
    }
  };
  for (std::size_t s = 1; s < sections_.size(); ++s) add(s);
  add(0);
  indexed_ = true;
}

std::optional<std::string_view> IniDocument::Value(std::string_view section,
                                                   std::string_view key) const {
  std::optional<std::size_t> line;
  if (indexed_) {
    const auto found = index_.find(NamePair{TrimBlanks(section), TrimBlanks(key)});
    if (found != index_.end()) line = found->second;
  } else if (const auto s = FirstSection(TrimBlanks(section))) {
    line = FindEntry(*s, TrimBlanks(key));
  }
  if (!line || !HasValue(lines_[*line])) return std::nullopt;
  return ValueOf(lines_[*line]);
}

std::string IniDocument::KeyNames(std::string_view section) const {
  std::string names;
  const auto s = FirstSection(section);
  if (!s) return names;
  for (std::size_t i = sections_[*s].first; i < sections_[*s].last; ++i) {
    const Line& line = lines_[i];
    if (!IsVisibleEntry(line) || line.comment || !HasValue(line)) continue;
    names += NameOf(line);
    names += '\0';
  }
  return names;
}

std::string IniDocument::SectionLines(std::string_view section) const {
  std::string text;
  const auto s = FirstSection(section);
  if (!s) return text;
  for (std::size_t i = sections_[*s].first; i < sections_[*s].last; ++i) {
    const Line& line = lines_[i];
    if (!IsVisibleEntry(line) || line.comment) continue;
    text += NameOf(line);
    if (HasValue(line)) text += Joined({"=", ValueOf(line)});
    text += '\0';
  }
  return text;
}

std::string IniDocument::SectionNames() const {
  std::string names;
  for (std::size_t s = 1; s < sections_.size(); ++s) {
    const std::string_view name = SectionName(s);
    if (name.empty()) continue;
    names += name;
    names += '\0';
  }
  return names;
}

std::optional<std::string> IniDocument::SetValue(std::string_view section, std::string_view key,
                                                 std::string_view value) const {
  const std::string_view stored = TrimLeadingBlanks(value);
  Editor editor(*this);
  const auto s = FirstSection(TrimBlanks(section));
  if (!s) {
    editor.InsertBefore(lines_.size(), Joined({"[", TrimLeadingBlanks(section), "]"}));
    editor.InsertBefore(lines_.size(), EntryLine(key, stored));
    return editor.Result();
  }
  const auto found = FindEntry(*s, TrimBlanks(key));
  if (!found) {
    editor.InsertBefore(InsertionPoint(*s), EntryLine(key, stored));
    return editor.Result();
  }
  const Line& line = lines_[*found];
  if (HasValue(line) && ValueOf(line) == stored) return std::nullopt;
  editor.Replace(*found, Joined({RawName(line), "=", stored}));  // the file's spelling stays
  return editor.Result();
}

// Unlike every other lookup, deletion searches all sections of the name, as Wine does.
std::optional<std::string> IniDocument::DeleteKey(std::string_view section,
                                                  std::string_view key) const {
  for (std::size_t s : MatchingSections(section)) {
    if (const auto found = FindEntry(s, key)) {
      Editor editor(*this);
      editor.Remove(*found);
      return editor.Result();
    }
  }
  return std::nullopt;
}

std::optional<std::string> IniDocument::DeleteSection(std::string_view section) const {
  const auto s = FirstSection(section);
  if (!s) return std::nullopt;
  Editor editor(*this);
  if (sections_[*s].header != kNone) editor.Remove(sections_[*s].header);
  for (std::size_t i = sections_[*s].first; i < sections_[*s].last; ++i) editor.Remove(i);
  return editor.Result();
}

// Every section whose name matches untrimmed loses its entries, the first one matching trimmed
// receives the new ones (as in Wine).  Comments stay where they are, as on Windows, and the new
// entries take the places of the old ones in order, the rest going after the section's last line.
std::optional<std::string> IniDocument::ReplaceSection(
    std::string_view section, const std::vector<std::string_view>& entries) const {
  std::vector<std::string> added;
  for (std::string_view entry : entries) {
    const std::size_t equals = entry.find('=');
    if (equals != std::string_view::npos) {
      added.push_back(EntryLine(entry.substr(0, equals), entry.substr(equals + 1)));
    }
  }
  Editor editor(*this);
  const auto target = FirstSection(TrimBlanks(section));
  if (!target) {
    if (added.empty()) return std::nullopt;
    editor.InsertBefore(lines_.size(), Joined({"[", TrimLeadingBlanks(section), "]"}));
    for (std::string& line : added) editor.InsertBefore(lines_.size(), std::move(line));
    return editor.Result();
  }
  std::size_t next = 0;
  for (std::size_t s : MatchingSections(section)) {
    for (std::size_t i = sections_[s].first; i < sections_[s].last; ++i) {
      if (lines_[i].kind != Kind::kEntry || lines_[i].comment) continue;
      if (s == *target && next < added.size()) {
        editor.Replace(i, std::move(added[next++]));
      } else {
        editor.Remove(i);
      }
    }
  }
  const std::size_t end = InsertionPoint(*target);
  for (; next < added.size(); ++next) editor.InsertBefore(end, std::move(added[next]));
  return editor.Result();
}

}  // namespace kav::platform::posix::ini
