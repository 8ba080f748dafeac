// document.h - an INI file as a list of lines, read and edited with the rules of Windows'
// private-profile functions.  No I/O: the POSIX profile engine (platform/posix/profile*.cpp)
// loads the bytes and stores the results.
//
// The text is split into lines at CR, LF or CRLF; every line keeps its bytes and its line break,
// so an edit touches only the lines it changes and everything else is written back as it was.
// A line is blank, a section header ("[name]" with a ']' somewhere after the '['), or an entry
// of the current section: "name=value", a bare name without '=', or a ';' comment (which reads
// find by exact name but listings leave out).  The lines before the first header form the
// unnamed top section.  Sections and keys may repeat; the first match wins, as on Windows.  A
// line whose first non-blank byte is NUL is blank: Windows reads it as an empty string.
//
// A document that is read many times builds an index once (BuildIndex): a hash of the folded
// section and key names to the entry that a lookup would find, so that Value() finds an entry
// without scanning the section.  The index points into the document's own text, so documents are
// neither copied nor moved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kav::platform::posix::ini {

class IniDocument {
 public:
  // Parses text: the file's bytes after any byte-order mark (UTF-16 files converted to UTF-8).
  explicit IniDocument(std::string text);
  IniDocument(const IniDocument&) = delete;
  IniDocument& operator=(const IniDocument&) = delete;

  // Makes Value() a hash lookup with the same answers.
  void BuildIndex();

  // The value of section/key with the names trimmed of blanks; nothing when the key is absent
  // or its first line has no '='.  Quotes are left for the caller.
  std::optional<std::string_view> Value(std::string_view section, std::string_view key) const;

  // Lists; every item is followed by a NUL, the closing NUL of the list is not included.  Lists
  // and deletions take names as given, without trimming them, as Windows does.
  std::string KeyNames(std::string_view section) const;      // the keys of section
  std::string SectionLines(std::string_view section) const;  // "name=value" and bare lines
  std::string SectionNames() const;                          // every named header

  // Edits.  Each returns the whole new text, or nothing when the edit changes no byte.
  std::optional<std::string> SetValue(std::string_view section, std::string_view key,
                                      std::string_view value) const;
  std::optional<std::string> DeleteKey(std::string_view section, std::string_view key) const;
  std::optional<std::string> DeleteSection(std::string_view section) const;
  std::optional<std::string> ReplaceSection(std::string_view section,
                                            const std::vector<std::string_view>& entries) const;

 private:
  enum class Kind { kBlank, kHeader, kEntry };
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  // Positions are offsets into text_; names and values exclude the blanks around them.
  struct Line {
    std::size_t begin = 0, end = 0;  // the line without its line break
    std::size_t break_end = 0;       // the end of its line break
    Kind kind = Kind::kBlank;
    std::size_t name_begin = 0, name_end = 0;
    std::size_t value_begin = kNone, value_end = kNone;  // kNone: no '='
    bool comment = false;
    bool hidden = false;  // an empty name right after another one, which reads skip
  };

  // A section owns the lines [first, last); its header, if any, is the line before first.
  struct Section {
    std::size_t header = kNone;
    std::size_t first = 0, last = 0;
  };

  class Editor;

  // Section and key names as they stand in the text; hashed and compared with ASCII folding.
  struct NamePair {
    std::string_view section, key;
  };
  struct FoldedHash {
    std::size_t operator()(const NamePair& names) const;
  };
  struct FoldedEqual {
    bool operator()(const NamePair& a, const NamePair& b) const;
  };

  std::string_view Slice(std::size_t begin, std::size_t end) const;
  std::size_t OffsetOf(std::string_view part) const;
  void ClassifyLine(Line& line) const;
  void HideRepeatedEmptyNames();
  std::string_view RawName(const Line& line) const;
  std::string_view NameOf(const Line& line) const;
  std::string_view ValueOf(const Line& line) const;
  bool HasValue(const Line& line) const;
  bool IsVisibleEntry(const Line& line) const;
  std::string_view SectionName(std::size_t section) const;
  std::vector<std::size_t> MatchingSections(std::string_view name) const;
  std::optional<std::size_t> FirstSection(std::string_view name) const;
  std::optional<std::size_t> FindEntry(std::size_t section, std::string_view key) const;
  std::size_t InsertionPoint(std::size_t section) const;
  std::string_view LineBreakForNewLines() const;

  std::string text_;
  std::vector<Line> lines_;
  std::vector<Section> sections_;  // sections_[0] is the unnamed top section
  std::unordered_map<NamePair, std::size_t, FoldedHash, FoldedEqual> index_;  // to a line
  bool indexed_ = false;
};

// How many texts have been parsed in this process, so tests can see that reads reuse them.
uint64_t profile_parse_count();

}  // namespace kav::platform::posix::ini
