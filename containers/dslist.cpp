// dslist.cpp - the ds family: a caller-owned list of strings, unsorted (one growing text) or
// sorted by up to five keys taken from a short sort order such as "+S0|-D3".
//
// Key texts are views into the strings, so comparing a stored string with a new text never
// allocates.  The insert position is the one the scan of the contract gives: walk from the start
// to the first string that sorts at or after the text on key k; on an equal one, go on from there
// with key k + 1 while the earlier keys' texts stay byte for byte the new text's (the "run").
// That scan is reproduced by binary search, level by level:
//
//   - A stretch searched on key k is ordered on key k: the whole list for key 0, and for key
//     k + 1 the strings of the equal group found on key k whose key-k text is byte for byte the
//     new one's.  Equal strings with other spellings ("b" and "B", "5" and "05") form blocks of
//     their own inside the group; a block is only ever created at the front of its group, so
//     the run from the group's first string is exactly the front block, and that block is
//     ordered on key k + 1.  Where the front block ends cannot be bisected (it can be followed
//     by a block of another spelling and then by an older block of the same one), so the
//     search bisects the group and then walks the strings in front of the place it found.
//   - Two things break the order, and there the literal scan runs instead:
//     * the empty text always goes to index 0 ("\n" when stored), so where its key texts do not
//       sort first on key k (descending keys, numbers), it can sit anywhere and split the list
//       into segments that are ordered each on their own.  A search is ordered when the stored
//       empty text cannot be in the stretch: its earlier key texts differ from the run's, or
//       the first string proves that the list holds none (every string in front of the first
//       stored empty text sorts at or before it on key 0, so a first string that sorts after
//       it rules it out);
//     * a character range reaching the end of a stored string includes its line feed, which
//       the new text lacks.  For texts without bytes 1 to 10 the comparison still orders the
//       list (such bytes sort below every other byte), so only a new key text holding one of
//       them is searched by the scan.

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "kavutil.h"
#include "platform/memory.h"

namespace {

constexpr int kMaxKeys = DS_MAX_KEYS;
constexpr int kGrowth = 200;              // entries added to the sorted array at a time
constexpr int kSlack = 1024;              // bytes added to the unsorted text beyond the need
constexpr std::size_t kPieceSize = 2048;  // one read piece and its NUL
constexpr std::size_t kFormatSize = 256;  // dsAppendFormat's text and its NUL
constexpr std::size_t kMaxToken = 14;     // sort order limits; longer ones are rejected
constexpr std::size_t kMaxNumber = 9;
const char kStoredEmpty[] = "\n";  // how an empty text is stored in a sorted list

// A key text: a piece of a string, or absent when the string has too few fields.
struct Key {
  bool present = false;
  std::string_view text;
};

Key Present(const char *begin, std::size_t length) {
  return {true, std::string_view(begin, length)};
}

bool SameBytes(const Key &a, const Key &b) { return a.present && b.present && a.text == b.text; }

bool IsRange(const dsSortKey &key) { return key.field == -1; }

Key FieldText(const char *s, int field) {
  for (int n = 0; n < field; ++n) {
    s += std::strcspn(s, "|\n");
    if (*s != '|') return {};
    ++s;
  }
  return Present(s, std::strcspn(s, "|\n"));
}

Key RangeText(const char *s, const dsSortKey &key) {
  long long a = key.from;
  long long b = key.to;
  if (b < a) std::swap(a, b);
  if (a == b) return Present(s, 0);
  const auto length = static_cast<long long>(std::strlen(s));
  b = std::min(b, length - 1);
  a = std::max(a, 0LL);
  if (a >= length || b < a) return Present(s, 0);
  return Present(s + a, static_cast<std::size_t>(b - a + 1));
}

Key KeyText(const char *s, const dsSortKey &key) {
  return IsRange(key) ? RangeText(s, key) : FieldText(s, key.field);
}

int Lower(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? u - 'A' + 'a' : u;
}

int Sign(long long d) { return (d > 0) - (d < 0); }

int CompareIgnoringCase(std::string_view x, std::string_view t) {
  const std::size_t common = std::min(x.size(), t.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (Lower(x[i]) != Lower(t[i])) return Sign(Lower(x[i]) - Lower(t[i]));
  }
  return Sign(static_cast<long long>(x.size()) - static_cast<long long>(t.size()));
}

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// atoi's reading of a text; out-of-range values saturate instead of overflowing.
int ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min(value * 10 + (text[i] - '0'), static_cast<long long>(INT_MAX) + 1);
  }
  if (negative) value = -value;
  return static_cast<int>(
      std::clamp(value, static_cast<long long>(INT_MIN), static_cast<long long>(INT_MAX)));
}

// Stored text x against new text t on one key: -1 below, 0 equal, 1 above.
int Compare(const Key &x, const Key &t, const dsSortKey &key) {
  if (!x.present) return -1;
  if (!t.present) return 1;
  if (key.type == 'S') return CompareIgnoringCase(x.text, t.text);
  if (key.type == 'D')
    return Sign(static_cast<long long>(ParseDecimal(x.text)) - ParseDecimal(t.text));
  return 0;
}

bool StopsOrEquals(int c, const dsSortKey &key) { return key.ascending != 0 ? c >= 0 : c <= 0; }

bool IsLastKey(const dsList &list, int level) {
  return level == kMaxKeys - 1 || list.keys[level + 1].in_use == 0;
}

bool IsStoredEmpty(const char *s) { return std::strcmp(s, kStoredEmpty) == 0; }

// One insert search or find: the new text's key texts, and the texts the run test compares
// the earlier keys with (the probes, or the new text's own).
struct Search {
  Search(const dsList &l, const char *text) : list(l) {
    for (int j = 0; j < kMaxKeys; ++j) text_keys[j] = KeyText(text, l.keys[j]);
  }
  const dsList &list;
  Key text_keys[kMaxKeys];
  Key run[kMaxKeys];
  unsigned descended = 0;  // levels at which the search went on with the next key
};

Key StoredKey(const Search &s, int i, int level) {
  return KeyText(s.list.strings[i], s.list.keys[level]);
}

int CompareAt(const Search &s, int i, int level) {
  return Compare(StoredKey(s, i, level), s.text_keys[level], s.list.keys[level]);
}

bool RunHolds(const Search &s, int i, int level) {
  for (int j = 0; j < level; ++j) {
    if (!SameBytes(StoredKey(s, i, j), s.run[j])) return false;
  }
  return true;
}

void Descend(Search &s, int level) {
  s.run[level] = s.text_keys[level];
  s.descended |= 1u << level;
}

// The literal scan on one key: the first index from lo that ends the run or sorts at or
// after the text.
int FirstStop(const Search &s, int lo, int level) {
  for (int i = lo; i < s.list.count; ++i) {
    if (level > 0 && !RunHolds(s, i, level)) return i;
    if (StopsOrEquals(CompareAt(s, i, level), s.list.keys[level])) return i;
  }
  return s.list.count;
}

int RunEnd(const Search &s, int lo, int hi, int level) {
  while (lo < hi && RunHolds(s, lo, level)) ++lo;
  return lo;
}

template <typename Predicate>
int FirstWhere(int lo, int hi, Predicate holds) {
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (holds(mid)) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

int LowerBound(const Search &s, int lo, int hi, int level) {
  const dsSortKey &key = s.list.keys[level];
  return FirstWhere(lo, hi, [&](int i) { return StopsOrEquals(CompareAt(s, i, level), key); });
}

int GroupEnd(const Search &s, int lo, int hi, int level) {
  return FirstWhere(lo, hi, [&](int i) { return CompareAt(s, i, level) != 0; });
}

// The first index from lo that ends the run or sorts at or after the text, where the run is
// ordered on this key but its end is unknown (hi only bounds it): bisect as if it reached hi,
// then walk the strings in front of the place found; one that leaves the run ends it there,
// and the bisection is repeated below it.
int OrderedStop(const Search &s, int lo, int hi, int level) {
  const int at = LowerBound(s, lo, hi, level);
  if (level == 0) return at;
  const int run_end = RunEnd(s, lo, at, level);
  return run_end < at ? LowerBound(s, lo, run_end, level) : at;
}

// Whether the stored empty text sorts first on this key, so that index 0 is its ordered place.
bool EmptySortsFirst(const dsSortKey &key) {
  const Key stored = KeyText(kStoredEmpty, key);
  const bool unordered = key.type != 'S' && key.type != 'D';
  if (key.ascending == 0) return stored.present && unordered;
  const bool lowest_text = key.type == 'S' && (stored.text.empty() || stored.text == "\n");
  return !stored.present || unordered || lowest_text;
}

bool MayHoldEmpty(const dsList &list) {
  const char *first = list.strings[0];
  const dsSortKey &key = list.keys[0];
  if (IsStoredEmpty(first) || (IsRange(key) && key.type == 'S')) return true;
  return StopsOrEquals(Compare(KeyText(kStoredEmpty, key), KeyText(first, key), key), key);
}

bool EmptyInRun(const Search &s, int level) {
  for (int j = 0; j < level; ++j) {
    if (!SameBytes(KeyText(kStoredEmpty, s.list.keys[j]), s.run[j])) return false;
  }
  return true;
}

bool HasLowControl(const Key &t) {
  return std::any_of(t.text.begin(), t.text.end(), [](char c) { return c >= 1 && c <= '\n'; });
}

bool IsOrderedFor(const Search &s, int level, bool may_hold_empty) {
  const dsSortKey &key = s.list.keys[level];
  if (IsRange(key) && key.type == 'S' && HasLowControl(s.text_keys[level])) return false;
  return !may_hold_empty || !EmptyInRun(s, level) || EmptySortsFirst(key);
}

int Scan(Search &s, int lo, int level) {
  for (;;) {
    const int i = FirstStop(s, lo, level);
    if (i == s.list.count || (level > 0 && !RunHolds(s, i, level))) return i;
    if (CompareAt(s, i, level) != 0 || IsLastKey(s.list, level)) return i;
    Descend(s, level);
    lo = i;
    ++level;
  }
}

int Locate(Search &s, int lo, int level) {
  if (s.list.sorted == 0) return Scan(s, lo, level);
  const bool may_hold_empty = MayHoldEmpty(s.list);
  int hi = s.list.count;
  for (;;) {
    if (!IsOrderedFor(s, level, may_hold_empty)) return Scan(s, lo, level);
    const int i = OrderedStop(s, lo, hi, level);
    if (i == s.list.count || !RunHolds(s, i, level) || CompareAt(s, i, level) != 0 ||
        IsLastKey(s.list, level)) {
      return i;
    }
    Descend(s, level);
    hi = GroupEnd(s, i, hi, level);
    lo = i;
    ++level;
  }
}

bool IsSearchable(const dsList &list, const char *text, int key) {
  return text != nullptr && *text != '\0' && list.key_count >= 1 && list.count >= 1 &&
         list.strings != nullptr && key >= 0 && key < kMaxKeys;
}

// The search writes nothing into the probes while it runs; it leaves them as the contract's
// scan does, cleared at every key where it went on with the next one.
int InsertIndex(dsList &list, const char *text, int start, int key) {
  if (!IsSearchable(list, text, key)) return 0;
  Search s(list, text);
  for (int j = 0; j < key; ++j) {
    if (list.keys[j].probe != nullptr)
      s.run[j] = Present(list.keys[j].probe, std::strlen(list.keys[j].probe));
  }
  const int at = Locate(s, std::clamp(start, 0, list.count), key);
  for (int j = 0; j < kMaxKeys; ++j) {
    if ((s.descended & (1u << j)) != 0) list.keys[j].probe = nullptr;
  }
  return at;
}

int Report(int *position, int at) {
  if (position != nullptr) *position = at;
  return -1;
}

// The index of the first string from lo that ends the run or sorts at or after the text.
int FindStop(const Search &s, int lo, int key) {
  if (s.list.sorted != 0 && IsOrderedFor(s, key, MayHoldEmpty(s.list))) {
    return OrderedStop(s, lo, s.list.count, key);
  }
  return FirstStop(s, lo, key);
}

int Find(dsList &list, const char *text, int start, int key, int *position) {
  if (!IsSearchable(list, text, key)) return Report(position, 0);
  Search s(list, text);
  std::copy(s.text_keys, s.text_keys + key, s.run);
  const int i = FindStop(s, std::clamp(start, 0, list.count), key);
  if (i == list.count || !RunHolds(s, i, key) || CompareAt(s, i, key) != 0) {
    return Report(position, i);
  }
  if (!IsLastKey(list, key)) return InsertIndex(list, text, i, key + 1);
  Report(position, i);
  return i;
}

bool GrowStrings(dsList &list) {
  if (list.count > INT_MAX - kGrowth) return false;
  const std::size_t entries = static_cast<std::size_t>(list.count) + kGrowth;
  if (entries > SIZE_MAX / sizeof(char *)) return false;
  void *grown = kav::memory::reallocate(list.strings, entries * sizeof(char *));
  if (grown == nullptr) return false;
  list.strings = static_cast<char **>(grown);
  return true;
}

int AppendSorted(dsList &list, const char *text) {
  if (list.count < 0) return 0;
  if ((list.strings == nullptr || list.count % kGrowth == 0) && !GrowStrings(list)) return 0;
  const int at = InsertIndex(list, text, 0, 0);
  const std::size_t length = std::strlen(text);
  auto *copy = static_cast<char *>(kav::memory::allocate(length + 2));
  if (copy == nullptr) return 0;
  std::memcpy(copy, text, length);
  copy[length] = '\n';
  copy[length + 1] = '\0';
  std::memmove(list.strings + at + 1, list.strings + at,
               static_cast<std::size_t>(list.count - at) * sizeof(char *));
  list.strings[at] = copy;
  ++list.count;
  return 1;
}

// Everything from the end of the text on is zeroed, which covers the added bytes.
bool GrowBuffer(dsList &list, std::size_t used, std::size_t size) {
  if (size > static_cast<std::size_t>(INT_MAX)) return false;
  auto *grown = static_cast<char *>(kav::memory::reallocate(list.buffer, size));
  if (grown == nullptr) return false;
  std::memset(grown + used, 0, size - used);
  list.buffer = grown;
  list.capacity = static_cast<int>(size);
  return true;
}

// Once a read has indexed the lines, the text is not grown any more: moving it would leave the
// index pointing into released memory.
int AppendUnsorted(dsList &list, const char *text, signed char delimiter) {
  if (list.strings != nullptr) return 0;
  const std::size_t used = list.buffer != nullptr ? std::strlen(list.buffer) : 0;
  const std::size_t length = std::strlen(text);
  const std::size_t needed = used + length + 3;
  const bool fits = list.buffer != nullptr && list.capacity > 0 &&
                    static_cast<std::size_t>(list.capacity) >= needed;
  if (!fits && !GrowBuffer(list, used, needed + kSlack)) return 0;
  char *end = list.buffer + used;
  std::memcpy(end, text, length);
  end += length;
  if (delimiter > 0 && (length == 0 || text[length - 1] != delimiter)) *end++ = delimiter;
  *end = '\0';
  return 1;
}

int Append(dsList *list, const char *text, signed char delimiter) {
  if (list == nullptr || text == nullptr) return 0;
  return list->sorted != 0 ? AppendSorted(*list, text) : AppendUnsorted(*list, text, delimiter);
}

char *JoinSorted(dsList &list) {
  kav::memory::release(list.buffer);
  list.buffer = nullptr;
  list.capacity = 0;
  if (list.count < 1 || list.strings == nullptr) return nullptr;
  if (list.count == 1) return list.strings[0];
  std::size_t total = 1;
  for (int i = 0; i < list.count; ++i) total += std::strlen(list.strings[i]);
  auto *joined = static_cast<char *>(kav::memory::allocate(total));
  if (joined == nullptr) return nullptr;
  char *out = joined;
  for (int i = 0; i < list.count; ++i) {
    const std::size_t length = std::strlen(list.strings[i]);
    std::memcpy(out, list.strings[i], length);
    out += length;
  }
  *out = '\0';
  list.buffer = joined;
  return joined;
}

// A number text of a sort order, read by atoi's rules.
bool ParseNumber(std::string_view text, int *value) {
  if (text.size() > kMaxNumber) return false;
  *value = ParseDecimal(text);
  return true;
}

bool IsTypeLetter(char c) { return c != '\0' && std::strchr("DISdis", c) != nullptr; }

// One token ("+S0", "-D3", "+S0-9"); the slot is written only when the whole token is good.
bool ParseKey(std::string_view token, dsSortKey *slot) {
  if (token.size() < 3 || token.size() > kMaxToken) return false;
  if ((token[0] != '+' && token[0] != '-') || !IsTypeLetter(token[1])) return false;
  const std::string_view numbers = token.substr(2);
  const std::size_t dash = numbers.find('-');
  dsSortKey key = *slot;
  if (dash == std::string_view::npos) {
    if (!ParseNumber(numbers, &key.field)) return false;
  } else {
    key.field = -1;
    if (!ParseNumber(numbers.substr(0, dash), &key.from)) return false;
    if (!ParseNumber(numbers.substr(dash + 1), &key.to)) return false;
  }
  key.ascending = token[0] == '+' ? 1 : 0;
  key.type = token[1];
  key.in_use = 1;
  *slot = key;
  return true;
}

int SetSort(dsList &list, const char *order) {
  list.key_count = 0;
  for (const char *p = order;;) {
    const std::size_t length = std::strcspn(p, "|");
    if (length == 0) {
      list.sorted = 1;
      return 1;
    }
    if (list.key_count == kMaxKeys) return 0;
    if (!ParseKey(std::string_view(p, length), &list.keys[list.key_count])) return 0;
    ++list.key_count;
    p += length;
    if (*p == '|') ++p;
  }
}

bool ReadPiece(const dsList &list, char *piece, FILE *stream) {
  if (list.keep_line_ends == 1) return std::fgets(piece, kPieceSize, stream) != nullptr;
  return kav_fgets(piece, static_cast<int>(kPieceSize), stream) != nullptr;
}

// Every line that ends with a line feed is entered, and its line feed becomes a NUL.
int IndexLines(dsList &list) {
  char *const text = list.buffer;
  const std::size_t length = std::strlen(text);
  const auto lines = static_cast<std::size_t>(std::count(text, text + length, '\n'));
  auto **index =
      static_cast<char **>(kav::memory::allocate(std::max<std::size_t>(lines, 1) * sizeof(char *)));
  if (index == nullptr) return 0;
  std::size_t n = 0;
  char *start = text;
  for (char *p = text; p < text + length; ++p) {
    if (*p != '\n') continue;
    index[n++] = start;
    *p = '\0';
    start = p + 1;
  }
  list.strings = index;
  list.count = static_cast<int>(lines);
  return 1;
}

int ReadStream(dsList &list, FILE *stream) {
  char piece[kPieceSize];
  while (ReadPiece(list, piece, stream)) {
    if (Append(&list, piece, 0) == 0) return 0;
  }
  if (list.strings != nullptr || list.buffer == nullptr) return 1;
  return IndexLines(list);
}

}  // namespace

extern "C" KAV_API int KAV_CALL dsInitialize(dsList *list) {
  if (list == nullptr) return 0;
  std::memset(list, 0, sizeof *list);
  return 1;
}

extern "C" KAV_API int KAV_CALL dsSetSort(dsList *list, const char *order) {
  if (list == nullptr || order == nullptr) return 0;
  return SetSort(*list, order);
}

extern "C" KAV_API int KAV_CALL dsAppendWithDelimiter(dsList *list, const char *text,
                                                      signed char delimiter) {
  return Append(list, text, delimiter);
}

extern "C" KAV_API int KAV_CALL dsAppend(dsList *list, const char *text) {
  return Append(list, text, '\n');
}

extern "C" KAV_API int KAV_CDECL dsAppendFormat(dsList *list, const char *format, ...) {
  if (list == nullptr || format == nullptr) return 0;
  char text[kFormatSize];
  va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (written < 0) return 0;
  return Append(list, text, '\n');
}

extern "C" KAV_API char *KAV_CALL dsGetBuffer(dsList *list) {
  if (list == nullptr) return nullptr;
  return list->sorted != 0 ? JoinSorted(*list) : list->buffer;
}

extern "C" KAV_API int KAV_CALL dsGetStringCount(const dsList *list) {
  return list != nullptr ? list->count : -1;
}

extern "C" KAV_API char *KAV_CALL dsGetStringAtIndex(const dsList *list, int index) {
  if (list == nullptr || list->strings == nullptr || index < 0 || index >= list->count) {
    return nullptr;
  }
  return list->strings[index];
}

extern "C" KAV_API int KAV_CALL dsFind(dsList *list, const char *text, int start, int key,
                                       int *position) {
  if (list == nullptr) return Report(position, 0);
  return Find(*list, text, start, key, position);
}

extern "C" KAV_API int KAV_CALL dsFindSortedInsertIndex(dsList *list, const char *text, int start,
                                                        int key, void *unused) {
  (void)unused;
  if (list == nullptr) return 0;
  return InsertIndex(*list, text, start, key);
}

extern "C" KAV_API int KAV_CALL dsReadFromFileStream(dsList *list, FILE *stream) {
  if (list == nullptr || stream == nullptr) return 0;
  return ReadStream(*list, stream);
}

extern "C" KAV_API int KAV_CALL dsReadFromFile(dsList *list, const char *path) {
  if (list == nullptr || path == nullptr) return 0;
  FILE *stream = std::fopen(path, "r");
  if (stream == nullptr) return 0;
  const int done = ReadStream(*list, stream);
  std::fclose(stream);
  return done != 0 ? 1 : 0;
}

extern "C" KAV_API int KAV_CALL dsReadFromStdIn(dsList *list) {
  return dsReadFromFileStream(list, stdin);
}

extern "C" KAV_API void KAV_CALL dsFree(dsList *list) {
  if (list == nullptr) return;
  kav::memory::release(list->buffer);
  list->buffer = nullptr;
  list->capacity = 0;
  if (list->sorted != 0 && list->strings != nullptr) {
    for (int i = 0; i < list->count; ++i) kav::memory::release(list->strings[i]);
  }
  kav::memory::release(list->strings);
  list->strings = nullptr;
  list->count = 0;
}
