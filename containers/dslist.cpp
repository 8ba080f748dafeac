// dslist.cpp - the ds family: a caller-owned list of strings, unsorted (one growing text) or
// sorted by up to five keys taken from a short sort order such as "+S0|-D3".
//
// Key texts are views into the strings, so comparing a stored string with a new text never
// allocates; a stored string's key texts are found once, when it is stored, and kept in front of
// it (see the stored block below).  The insert position is the one the plain scan gives: walk from
// the start to the first string that sorts at or after the text on key k; on an equal one, go on
// from there with key k + 1 while the earlier keys' texts stay byte for byte the new text's (the
// "run").  The search finds that place by bisection, level by level, in a logarithmic number of
// steps:
//
//   - Runs.  The strings whose texts on keys 0 to k - 1 are byte for byte the same form runs,
//     and a run is ordered on key k: the scan only ever puts a string into a run at the first
//     place that sorts at or after it.  Equal texts of other spellings ("b" and "B", "5" and
//     "05") form runs of their own, which can interleave ([b b][B][b b]), so where a run ends
//     cannot be read off the texts.  Each stored string therefore carries a mark per level that
//     names its run (see the stored block); the run's end is bisected on the marks.
//   - Empty texts.  The empty text always goes to index 0, so it can sit anywhere and cut the
//     list, and a run, into segments; each string also carries the mark of its segment (an empty
//     text's mark is its own).  Let Z be the stored empty text's key text.  A new text that stops
//     at Z stops at the first empty text at the latest.  One that passes Z can only stop in the
//     last segment: a segment with an empty text after it began with a string that stops at Z
//     and only ever took strings that sort at or before one of its own.  Behind an empty text, a
//     segment may begin with strings that came in through that empty text's run after the rest
//     was ordered; they stop every text that stops at Z and no other, so a search looks at its
//     first string before it bisects the rest.
//   - A character range that reaches the end of a stored string takes in its line feed, which
//     the new text lacks.  Where neither holds a byte from 1 to 10 the comparison still orders
//     the runs (such bytes sort below every other byte), but for one case: on a descending
//     range, a new text too short to reach the range stops at stored key texts that are empty
//     and not at those that are a line feed alone, and the two kinds alternate run by run; the
//     search hops from run to run there.  A string that lands inside a run whose texts it
//     matches only without its line feed cuts that run in two, and the rest gets a new mark.
//     A search whose range texts hold a byte from 1 to 10 is the one case left to the plain
//     scan, linear in the list (as the pointer move of every insert is anyway).
//
// The pointer move takes the shorter side of the place (see the pointer array below).  A read
// into an empty sorted list orders all its lines at once (see BulkRead).

#include "containers/dslist.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>
#include <span>
#include <string_view>
#include <vector>

#include "base/ascii.h"
#include "kavutil.h"
#include "platform/io.h"
#include "platform/memory.h"

namespace {

constexpr int kMaxKeys = DS_MAX_KEYS;
constexpr int kSlack = 1024;              // bytes added to the unsorted text beyond the need
constexpr std::size_t kPieceSize = 2048;  // one read piece and its NUL
constexpr std::size_t kFormatSize = 256;  // dsAppendFormat's text and its NUL
constexpr std::size_t kMaxToken = 14;     // sort order limits; longer ones are rejected
constexpr std::size_t kMaxNumber = 9;
const char kStoredEmpty[] = "\n";  // how an empty text is stored in a sorted list

// A key text: a piece of a string, or absent when the string has too few fields; for a D key,
// also the number it reads as.  The head is the text's first 16 bytes lower-cased, big-end first
// and padded with NULs (key texts hold none), so that two heads compare as the texts' first
// 16 bytes do without regard to case.
struct Key {
  bool present = false;
  std::string_view text;
  int number = 0;
  std::uint64_t head[2] = {0, 0};
};
constexpr std::size_t kHeadBytes = 16;

void FillHead(Key &key) {
  const std::size_t n = std::min(key.text.size(), kHeadBytes);
  for (std::size_t i = 0; i < n; ++i) {
    const auto byte = static_cast<unsigned char>(kav::base::to_lower(key.text[i]));
    key.head[i / 8] |= static_cast<std::uint64_t>(byte) << (56 - 8 * (i % 8));
  }
}

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

// Where a character range falls in a string of length characters: its first position and its
// size, both 0 when the range is empty there.
struct Span {
  std::size_t at = 0;
  std::size_t size = 0;
  bool operator==(const Span &) const = default;
};

Span RangeSpan(std::size_t length, const dsSortKey &key) {
  long long a = key.from;
  long long b = key.to;
  if (b < a) std::swap(a, b);
  if (a == b) return {};
  const auto n = static_cast<long long>(length);
  b = std::min(b, n - 1);
  a = std::max(a, 0LL);
  if (a >= n || b < a) return {};
  return {static_cast<std::size_t>(a), static_cast<std::size_t>(b - a + 1)};
}

Key RangeText(const char *s, const dsSortKey &key) {
  const Span span = RangeSpan(std::strlen(s), key);
  return Present(s + span.at, span.size);
}

int ParseDecimal(std::string_view text);

Key KeyText(const char *s, const dsSortKey &key) {
  Key k = IsRange(key) ? RangeText(s, key) : FieldText(s, key.field);
  if (k.present && key.type == 'D') k.number = ParseDecimal(k.text);
  if (k.present && key.type == 'S') FillHead(k);
  return k;
}

int Sign(long long d) { return (d > 0) - (d < 0); }

// atoi's reading of a text; out-of-range values saturate instead of overflowing.
int ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && kav::base::is_white_space(text[i])) ++i;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  long long value = 0;
  for (; i < text.size() && kav::base::is_digit(text[i]); ++i) {
    value = std::min(value * 10 + (text[i] - '0'), static_cast<long long>(INT_MAX) + 1);
  }
  if (negative) value = -value;
  return static_cast<int>(
      std::clamp(value, static_cast<long long>(INT_MIN), static_cast<long long>(INT_MAX)));
}

// Two S key texts without regard to case, by their heads first.
int CompareText(const Key &x, const Key &t) {
  for (int i = 0; i < 2; ++i) {
    if (x.head[i] != t.head[i]) return x.head[i] < t.head[i] ? -1 : 1;
  }
  if (x.text.size() <= kHeadBytes && t.text.size() <= kHeadBytes) return 0;
  return Sign(kav::base::compare_ignoring_case(x.text, t.text));
}

// Stored text x against new text t on one key: -1 below, 0 equal, 1 above.
int Compare(const Key &x, const Key &t, const dsSortKey &key) {
  if (!x.present) return -1;
  if (!t.present) return 1;
  if (key.type == 'S') return CompareText(x, t);
  if (key.type == 'D') return Sign(static_cast<long long>(x.number) - t.number);
  return 0;
}

bool StopsOrEquals(int c, const dsSortKey &key) { return key.ascending != 0 ? c >= 0 : c <= 0; }

bool IsLastKey(const dsList &list, int level) {
  return level == kMaxKeys - 1 || list.keys[level + 1].in_use == 0;
}

bool IsStoredEmpty(const char *s) { return std::strcmp(s, kStoredEmpty) == 0; }

bool HasLowControl(const Key &t) {
  return std::any_of(t.text.begin(), t.text.end(), [](char c) { return c >= 1 && c <= '\n'; });
}

// The key levels the scan can reach: the keys in use from the first on.
int Depth(const dsList &list) {
  int depth = 0;
  while (depth < kMaxKeys && list.keys[depth].in_use != 0) ++depth;
  return std::max(depth, 1);
}

// A stored string's heap block holds, in front of its text, its marks, one key record per key
// level from the last to the first (where its key text lies in the text, its head and a D key's
// number: the text is cut into keys once, when it is stored, not at every comparison), and one
// word with the marks' number; there is one key record less than there are marks.  The list's
// pointer points at the text (so an edit of the text by a caller cannot move the marks or make
// a key record point outside the block), and dsFree releases the block.  Mark 0 names the
// string's segment, mark k (1 to 5) its run at level k: the strings whose first k key texts are
// byte for byte its own.  A mark is an address that names one stretch only: that of the string
// that began the stretch, or that address plus one for the rest of a run that the string cut off.
using Mark = std::uintptr_t;
constexpr std::size_t kMarkSize = sizeof(Mark);

struct KeyRecord {
  enum State : std::uint32_t { kAbsent, kPresent, kUnrecorded };
  std::uint64_t head[2];
  std::uint32_t at;
  std::uint32_t size;
  std::int32_t number;
  State state;  // kUnrecorded: a text too long for the offsets; its key is cut when needed
};
constexpr std::size_t kRecordSize = sizeof(KeyRecord);
static_assert(kRecordSize % kMarkSize == 0, "the marks' number stays aligned behind the records");

std::size_t SlotCount(const char *s) {
  Mark count;
  std::memcpy(&count, s - kMarkSize, kMarkSize);
  return count;
}

std::size_t FrontSize(std::size_t marks) {
  return (marks + 1) * kMarkSize + (marks - 1) * kRecordSize;
}

char *BlockOf(char *s) { return s - FrontSize(SlotCount(s)); }

// The key records lie next to the marks' number, the first key's closest, so that a comparison
// mostly reads one cache line of a string that the search has not seen yet.
template <typename Char>
Char *RecordAt(Char *s, std::size_t level) {
  return s - kMarkSize - (level + 1) * kRecordSize;
}

Mark OwnMark(const char *s) { return reinterpret_cast<Mark>(s); }

// A slot the string lacks (its list's keys grew after it was stored) makes it a stretch alone.
Mark MarkOf(const char *s, int slot) {
  const std::size_t count = SlotCount(s);
  if (static_cast<std::size_t>(slot) >= count) return OwnMark(s);
  Mark mark;
  std::memcpy(&mark, s - FrontSize(count) + static_cast<std::size_t>(slot) * kMarkSize, kMarkSize);
  return mark;
}

void SetMark(char *s, int slot, Mark mark) {
  const std::size_t count = SlotCount(s);
  if (static_cast<std::size_t>(slot) >= count) return;
  std::memcpy(s - FrontSize(count) + static_cast<std::size_t>(slot) * kMarkSize, &mark, kMarkSize);
}

// The stored string's key text at a level, from its key record; cut from the text where the
// string has no record for the level (its list's keys grew after it was stored).
Key StoredKeyOf(const dsList &list, const char *s, int level) {
  const std::size_t count = SlotCount(s);
  if (static_cast<std::size_t>(level) + 1 < count) {
    KeyRecord record;
    std::memcpy(&record, RecordAt(s, static_cast<std::size_t>(level)), kRecordSize);
    if (record.state == KeyRecord::kAbsent) return {};
    if (record.state == KeyRecord::kPresent) {
      return {true,
              std::string_view(s + record.at, record.size),
              record.number,
              {record.head[0], record.head[1]}};
    }
  }
  return KeyText(s, list.keys[level]);
}

void RecordKeys(const dsList &list, char *s) {
  const std::size_t levels = SlotCount(s) - 1;
  const bool fits = std::strlen(s) < UINT32_MAX;
  for (std::size_t level = 0; level < levels; ++level) {
    const Key key = KeyText(s, list.keys[level]);
    KeyRecord record{{key.head[0], key.head[1]}, 0, 0, key.number, KeyRecord::kUnrecorded};
    if (fits && !key.present) record.state = KeyRecord::kAbsent;
    if (fits && key.present) {
      record.state = KeyRecord::kPresent;
      record.at = static_cast<std::uint32_t>(key.text.data() - s);
      record.size = static_cast<std::uint32_t>(key.text.size());
    }
    std::memcpy(RecordAt(s, level), &record, kRecordSize);
  }
}

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

const char *At(const Search &s, int i) { return s.list.strings[i]; }

Key StoredKey(const Search &s, int i, int level) { return StoredKeyOf(s.list, At(s, i), level); }

int CompareAt(const Search &s, int i, int level) {
  return Compare(StoredKey(s, i, level), s.text_keys[level], s.list.keys[level]);
}

bool StopsAt(const Search &s, int i, int level) {
  return StopsOrEquals(CompareAt(s, i, level), s.list.keys[level]);
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
    if (StopsAt(s, i, level)) return i;
  }
  return s.list.count;
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

// As FirstWhere, for a search whose time goes into waiting for memory: each step calls touch(i)
// for both places the next step can look at, so that their memory is on its way while this one
// is looked at.
template <typename Predicate, typename Touch>
int FirstWhereAhead(int lo, int hi, Predicate holds, Touch touch) {
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (mid > lo) touch(lo + (mid - lo) / 2);
    if (mid + 1 < hi) touch(mid + 1 + (hi - mid - 1) / 2);
    if (holds(mid)) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

// Asks the processor to load the memory back bytes in front of a stored string's text (a hint
// only: nothing is read, so the address need not lie in the block).
void Prefetch(const char *text, std::size_t back) {
#if defined(__GNUC__)
  __builtin_prefetch(reinterpret_cast<const void *>(reinterpret_cast<std::uintptr_t>(text) - back));
#else
  (void)text;
  (void)back;
#endif
}

void PrefetchRecord(const Search &s, int i, int level) {
  Prefetch(At(s, i), kMarkSize + static_cast<std::size_t>(level + 1) * kRecordSize);
}

// Where mark slot lies in front of the text of a string stored with the list's present keys.
std::size_t MarkDistance(const dsList &list, int slot) {
  return FrontSize(static_cast<std::size_t>(Depth(list)) + 1) -
         static_cast<std::size_t>(slot) * kMarkSize;
}

int LowerBound(const Search &s, int lo, int hi, int level) {
  return FirstWhereAhead(
      lo, hi, [&](int i) { return StopsAt(s, i, level); },
      [&](int i) { PrefetchRecord(s, i, level); });
}

// The first index after lo where stops holds (it holds from there on), or the list's count:
// galloping from lo in steps of 1, 2, 4, ... (the first steps' strings touched up to reach
// ahead), then bisecting the last step.  A short stretch costs little.
template <typename Predicate, typename Touch>
int GallopFrom(const Search &s, int lo, long long reach, Predicate stops, Touch touch) {
  for (long long ahead = 1; ahead <= reach && ahead < s.list.count - lo; ahead = 2 * ahead + 1) {
    touch(lo + static_cast<int>(ahead));
  }
  long long step = 1;
  for (int passed = lo;;) {
    const long long room = s.list.count - passed;
    if (step >= room || stops(passed + static_cast<int>(step))) {
      return FirstWhereAhead(passed + 1, passed + static_cast<int>(std::min(step, room)), stops,
                             touch);
    }
    passed += static_cast<int>(step);
    step *= 2;
  }
}

// Where the run of string lo ends: galloping over the marks, so a short run costs little.
int RunEnd(const Search &s, int lo, int level) {
  const Mark mark = MarkOf(At(s, lo), level);
  const auto outside = [&](int i) { return MarkOf(At(s, i), level) != mark; };
  const std::size_t distance = MarkDistance(s.list, level);
  return GallopFrom(s, lo, 64, outside, [&](int i) { Prefetch(At(s, i), distance); });
}

bool IsEmptyAt(const Search &s, int i) { return IsStoredEmpty(At(s, i)); }

Mark SegmentAt(const Search &s, int i) { return MarkOf(At(s, i), 0); }

bool HoldsEmpty(const Search &s, int lo, int hi) {
  return IsEmptyAt(s, lo) || IsEmptyAt(s, hi - 1) || SegmentAt(s, lo) != SegmentAt(s, hi - 1);
}

int FirstEmpty(const Search &s, int lo, int hi) {
  if (IsEmptyAt(s, lo)) return lo;
  const Mark segment = SegmentAt(s, lo);
  return FirstWhere(lo + 1, hi, [&](int i) { return SegmentAt(s, i) != segment; });
}

int LastEmpty(const Search &s, int lo, int hi) {
  if (IsEmptyAt(s, hi - 1)) return hi - 1;
  const Mark segment = SegmentAt(s, hi - 1);
  return FirstWhere(lo, hi - 1, [&](int i) { return SegmentAt(s, i) == segment; }) - 1;
}

bool IsLow(const Key &k) { return k.text.empty() || (k.text[0] >= 1 && k.text[0] <= '\n'); }

// A descending character range and a new text too short to reach it (key text ""): only a key
// text that is exactly empty stops it, and stored ones of a line feed alone, which compare
// above, can lie between those.  Key texts that are empty or begin with a byte from 1 to 10 come
// last in a segment, after its front part (see the top of the file); the search hops over runs
// of such texts, and bisects to the low end of the ordered part.
bool IsShortOfDescendingRange(const Search &s, int level) {
  const dsSortKey &key = s.list.keys[level];
  return IsRange(key) && key.type == 'S' && key.ascending == 0 && s.text_keys[level].text.empty();
}

int FirstEmptyKey(const Search &s, int lo, int hi, int level) {
  for (int i = lo; i < hi;) {
    const Key key = StoredKey(s, i, level);
    if (key.text.empty()) return i;
    if (IsLow(key)) {
      i = std::min(RunEnd(s, i, level + 1), hi);
    } else {
      i = FirstWhere(i + 1, hi, [&](int j) { return IsLow(StoredKey(s, j, level)); });
    }
  }
  return hi;
}

// The first string of [lo, hi), part of one segment of a run, that sorts at or after the text.
// A segment's front part, when it has one, stops every text that stops at the empty text and
// no other; the rest is ordered.
int SegmentStop(const Search &s, int lo, int hi, int level) {
  if (IsShortOfDescendingRange(s, level)) return FirstEmptyKey(s, lo, hi, level);
  if (lo < hi && StopsAt(s, lo, level)) return lo;
  return LowerBound(s, lo, hi, level);
}

// The first string of [lo, hi), a stretch of one run, that sorts at or after the text; hi when
// none.  A text that stops at the empty text's key text stops at the first empty text at the
// latest; one that passes it can only stop in the segment after the last one.
int StretchStop(const Search &s, int lo, int hi, int level) {
  if (lo >= hi || !HoldsEmpty(s, lo, hi)) return SegmentStop(s, lo, hi, level);
  const dsSortKey &key = s.list.keys[level];
  if (StopsOrEquals(Compare(KeyText(kStoredEmpty, key), s.text_keys[level], key), key)) {
    return SegmentStop(s, lo, FirstEmpty(s, lo, hi), level);
  }
  return SegmentStop(s, LastEmpty(s, lo, hi) + 1, hi, level);
}

// Whether marks and bisection serve this level: the list is sorted and has marks for it, and no
// character range of the search holds a byte from 1 to 10 (see the top of the file).
bool IsBisectable(const Search &s, int level) {
  if (s.list.sorted == 0 || level >= Depth(s.list)) return false;
  for (int j = 0; j < level; ++j) {
    if (IsRange(s.list.keys[j]) && HasLowControl(s.run[j])) return false;
  }
  const dsSortKey &key = s.list.keys[level];
  return !(IsRange(key) && key.type == 'S' && HasLowControl(s.text_keys[level]));
}

// The first index from lo, inside the run of string lo (at level above 0) in a list without
// empty texts, that ends the run or sorts at or after the text.  Without empty texts a run is
// ordered throughout, so "outside the run or at or after the text" holds from one index on: it
// is galloped to from lo, without finding the run's end first.
int RunStop(const Search &s, int lo, int level) {
  const Mark mark = MarkOf(At(s, lo), level);
  const auto stops = [&](int i) { return MarkOf(At(s, i), level) != mark || StopsAt(s, i, level); };
  const std::size_t distance = MarkDistance(s.list, level);
  const auto touch = [&](int i) {
    Prefetch(At(s, i), distance);
    PrefetchRecord(s, i, level);
  };
  if (stops(lo)) return lo;
  return GallopFrom(s, lo, 16, stops, touch);
}

// The first index from lo that ends the run or sorts at or after the text.
int LevelStop(const Search &s, int lo, int level) {
  if (!IsBisectable(s, level)) return FirstStop(s, lo, level);
  if (lo >= s.list.count) return s.list.count;
  if (level > 0 && !RunHolds(s, lo, level)) return lo;
  if (level > 0 && !IsShortOfDescendingRange(s, level) && !HoldsEmpty(s, 0, s.list.count)) {
    return RunStop(s, lo, level);
  }
  return StretchStop(s, lo, level > 0 ? RunEnd(s, lo, level) : s.list.count, level);
}

int Locate(Search &s, int lo, int level) {
  for (;; ++level) {
    const int i = LevelStop(s, lo, level);
    if (i == s.list.count || !RunHolds(s, i, level) || CompareAt(s, i, level) != 0 ||
        IsLastKey(s.list, level)) {
      return i;
    }
    Descend(s, level);
    lo = i;
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

int Find(dsList &list, const char *text, int start, int key, int *position) {
  if (!IsSearchable(list, text, key)) return Report(position, 0);
  Search s(list, text);
  std::copy(s.text_keys, s.text_keys + key, s.run);
  const int i = LevelStop(s, std::clamp(start, 0, list.count), key);
  if (i == list.count || !RunHolds(s, i, key) || CompareAt(s, i, key) != 0) {
    return Report(position, i);
  }
  if (!IsLastKey(list, key)) return InsertIndex(list, text, i, key + 1);
  Report(position, i);
  return i;
}

// A sorted list's pointer array has room on both sides of its strings, so that an insert moves
// the shorter side: the pointers in front of the place one down, or those after it one up (half
// the bytes of always moving the later ones, on average).  The block begins with a word that
// holds its size in entries, and the entry before the first string holds that string's index in
// the block; list.strings points at the first string.
constexpr std::size_t kHeadEntries = 2;

std::size_t EntryWord(char *const *entry) {
  std::uintptr_t word;
  std::memcpy(&word, entry, sizeof word);
  return word;
}

void SetEntryWord(char **entry, std::size_t word) {
  const std::uintptr_t value = word;
  std::memcpy(entry, &value, sizeof value);
}

std::size_t FrontIndex(char *const *strings) { return EntryWord(strings - 1); }

char **ArrayBlock(char **strings) { return strings - FrontIndex(strings); }

std::size_t RoomInFront(char *const *strings) { return FrontIndex(strings) - kHeadEntries; }

std::size_t RoomBehind(const dsList &list) {
  char *const *strings = list.strings;
  return EntryWord(strings - FrontIndex(strings)) - FrontIndex(strings) -
         static_cast<std::size_t>(list.count);
}

void ReleaseSortedStrings(dsList &list) {
  if (list.strings != nullptr) kav::platform::memory::release(ArrayBlock(list.strings));
  list.strings = nullptr;
}

// Moves the strings into a new block with room entries free on each side of strings_wanted (at
// least the list's count).
bool ResizeStrings(dsList &list, std::size_t room, std::size_t strings_wanted) {
  const auto count = static_cast<std::size_t>(list.count);
  const std::size_t limit = SIZE_MAX / sizeof(char *) / 4;
  if (strings_wanted > limit || room > limit) return false;
  const std::size_t entries = kHeadEntries + room + std::max(count, strings_wanted) + room;
  auto **block = static_cast<char **>(kav::platform::memory::allocate(entries * sizeof(char *)));
  if (block == nullptr) return false;
  SetEntryWord(block, entries);
  char **strings = block + kHeadEntries + room;
  SetEntryWord(strings - 1, kHeadEntries + room);
  if (count > 0) std::memcpy(strings, list.strings, count * sizeof(char *));
  ReleaseSortedStrings(list);
  list.strings = strings;
  return true;
}

// Room for one more string; the array grows by half (at least 16 entries on each side).
bool MakeRoom(dsList &list) {
  if (list.count == INT_MAX) return false;
  if (list.strings != nullptr && (RoomInFront(list.strings) > 0 || RoomBehind(list) > 0)) {
    return true;
  }
  const auto count = static_cast<std::size_t>(list.count);
  return ResizeStrings(list, std::max<std::size_t>(count / 4, 16), count);
}

// Puts copy at index at, moving the shorter side of the array (MakeRoom made room).
void PlaceAt(dsList &list, int at, char *copy) {
  const std::size_t before = static_cast<std::size_t>(at);
  const std::size_t after = static_cast<std::size_t>(list.count - at);
  const std::size_t front = RoomInFront(list.strings);
  if (front > 0 && (before < after || RoomBehind(list) == 0)) {
    const std::size_t index = FrontIndex(list.strings) - 1;
    char **strings = list.strings - 1;
    std::memmove(strings, list.strings, before * sizeof(char *));
    SetEntryWord(strings - 1, index);
    list.strings = strings;
  } else {
    std::memmove(list.strings + at + 1, list.strings + at, after * sizeof(char *));
  }
  list.strings[at] = copy;
  ++list.count;
}

// The key records' and marks' room, the marks' number, then the text with its line feed and NUL;
// the text's address.  The key records are filled in.
char *StoredCopy(const dsList &list, const char *text) {
  const std::size_t marks = static_cast<std::size_t>(Depth(list)) + 1;
  const std::size_t length = std::strlen(text);
  const std::size_t front = FrontSize(marks);
  if (length > SIZE_MAX - front - 2) return nullptr;
  auto *block = static_cast<char *>(kav::platform::memory::allocate(front + length + 2));
  if (block == nullptr) return nullptr;
  const Mark count = marks;
  std::memcpy(block + front - kMarkSize, &count, kMarkSize);
  char *copy = block + front;
  std::memcpy(copy, text, length);
  copy[length] = '\n';
  copy[length + 1] = '\0';
  RecordKeys(list, copy);
  return copy;
}

// How many keys, from the first, two stored strings share byte for byte.
int SharedKeys(const dsList &list, const char *a, const char *b) {
  int j = 0;
  const int depth = Depth(list);
  while (j < depth && SameBytes(StoredKeyOf(list, a, j), StoredKeyOf(list, b, j))) ++j;
  return j;
}

Mark SegmentOf(const char *copy, const char *before, const char *after) {
  if (IsStoredEmpty(copy)) return OwnMark(copy);
  if (before != nullptr && !IsStoredEmpty(before)) return MarkOf(before, 0);
  if (after != nullptr && !IsStoredEmpty(after)) return MarkOf(after, 0);
  return OwnMark(copy);
}

void Relabel(dsList &list, int from, int level, Mark mark) {
  const Mark old = MarkOf(list.strings[from], level);
  for (int i = from; i < list.count && MarkOf(list.strings[i], level) == old; ++i) {
    SetMark(list.strings[i], level, mark);
  }
}

// The new string's marks, from the neighbours it is put between.  It joins a neighbour's run
// when it shares its texts; a run it lands inside without sharing them (possible only where a
// character range takes in the stored line feed) is cut, and its rest gets a mark of its own.
void Label(dsList &list, char *copy, int at) {
  const char *before = at > 0 ? list.strings[at - 1] : nullptr;
  const char *after = at < list.count ? list.strings[at] : nullptr;
  SetMark(copy, 0, SegmentOf(copy, before, after));
  const int with_before = before != nullptr ? SharedKeys(list, before, copy) : 0;
  const int with_after = after != nullptr ? SharedKeys(list, after, copy) : 0;
  for (int level = 1; level <= Depth(list); ++level) {
    Mark mark = OwnMark(copy);
    if (with_before >= level) {
      mark = MarkOf(before, level);
    } else if (with_after >= level) {
      mark = MarkOf(after, level);
    } else if (before != nullptr && after != nullptr &&
               MarkOf(before, level) == MarkOf(after, level)) {
      Relabel(list, at, level, OwnMark(copy) + 1);
    }
    SetMark(copy, level, mark);
  }
}

// Adds text at its place; the place in *at.
int AppendSortedAt(dsList &list, const char *text, int *at) {
  if (list.count < 0 || !MakeRoom(list)) return 0;
  *at = InsertIndex(list, text, 0, 0);
  char *copy = StoredCopy(list, text);
  if (copy == nullptr) return 0;
  Label(list, copy, *at);
  PlaceAt(list, *at, copy);
  return 1;
}

int AppendSorted(dsList &list, const char *text) {
  int at = 0;
  return AppendSortedAt(list, text, &at);
}

// Everything from the end of the text on is zeroed, which covers the added bytes.
bool GrowBuffer(dsList &list, std::size_t used, std::size_t size) {
  if (size > static_cast<std::size_t>(INT_MAX)) return false;
  auto *grown = static_cast<char *>(kav::platform::memory::reallocate(list.buffer, size));
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
  kav::platform::memory::release(list.buffer);
  list.buffer = nullptr;
  list.capacity = 0;
  if (list.count < 1 || list.strings == nullptr) return nullptr;
  if (list.count == 1) return list.strings[0];
  std::size_t total = 1;
  for (int i = 0; i < list.count; ++i) total += std::strlen(list.strings[i]);
  auto *joined = static_cast<char *>(kav::platform::memory::allocate(total));
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
  if (list.keep_line_ends == 1)
    return kav::platform::io::fgets(piece, kPieceSize, stream) != nullptr;
  return kav_fgets(piece, static_cast<int>(kPieceSize), stream) != nullptr;
}

// Every line that ends with a line feed is entered, and its line feed becomes a NUL.
int IndexLines(dsList &list) {
  char *const text = list.buffer;
  const std::size_t length = std::strlen(text);
  const auto lines = static_cast<std::size_t>(std::count(text, text + length, '\n'));
  auto **index = static_cast<char **>(
      kav::platform::memory::allocate(std::max<std::size_t>(lines, 1) * sizeof(char *)));
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

int ReadSortedStream(dsList &list, FILE *stream);

int ReadStream(dsList &list, FILE *stream) {
  if (list.sorted != 0 && list.count == 0) return ReadSortedStream(list, stream);
  char piece[kPieceSize];
  while (ReadPiece(list, piece, stream)) {
    if (Append(&list, piece, 0) == 0) return 0;
  }
  if (list.strings != nullptr || list.buffer == nullptr) return 1;
  return IndexLines(list);
}

// The order for many strings at once (kav::containers::dslist::sorted_order).  Appending them one
// by one gives an order that follows from the insert scan; where the scan compares a stored
// string's key texts as it compares the new string's own (every field key; a character range that
// does not take in the stored line feed, or does so only where that cannot change a comparison), it
// is:
//
//   - Level by level.  At key k, within strings whose key texts on keys 0 to k - 1 are equal,
//     the strings sort by key k; absent key texts come first (ascending, oldest first) or last
//     (descending, newest first) and are never equal to anything.
//   - Equal on key k.  On the last key, the newest comes first.  Before it, the scan goes on with
//     key k + 1 only inside the run of the first equal string, whose key text must be byte for
//     byte the new one's; else the new string goes in front.  So the equal strings, taken in
//     order of arrival, fall into groups of one spelling in a row ("b b B b" is three groups);
//     the newest group comes first, and each group is ordered by the next key the same way.
//   - A character range that takes in the stored line feed: the stored key text is the new one
//     and a line feed.  Of type S it compares as above every equal new text: such strings come
//     newest first ascending and oldest first descending, with no later key.  Of other types the
//     comparison is the same, but the bytes differ: each such string is a group of its own.
//     This holds where no range text has a byte from 1 to 10 (S) or a line feed (other types),
//     which the stored line feed would meet, and where the range is not empty before it.
//   - Empty texts always go to index 0.  Each cuts off a new front part: the strings that it
//     stops on the first key (those that sort before it, or equal to it but spelled otherwise)
//     are kept in the front part of their time, and the others sort among themselves behind
//     the last part: A(m) "" A(m-1) ... "" A(0) B.
//
// Other cases (a string equal to the empty text on the first key and spelled alike, while a
// later key would take over; a range that takes in the line feed where the above does not hold)
// are inserted one at a time.

// Whether the stored string's key text on a range differs from the new text's: it takes in the
// line feed after the text.
bool TakesLineFeed(const char *s, const dsSortKey &key) {
  if (!IsRange(key)) return false;
  const std::size_t length = std::strlen(s);
  return RangeSpan(length, key) != RangeSpan(length + 1, key);
}

bool IsEmptyText(const char *s) { return s[0] == '\0'; }

bool HoldsLineFeed(const Key &t) { return t.text.find('\n') != std::string_view::npos; }

// Whether a range key's stored line feeds leave the order to the key texts (see above); at the
// first key the empty text's stored key text ("\n" for a range from 0) counts as one of them.
bool RangeIsOrdered(const dsList &list, std::span<const char *const> texts, int level,
                    bool empty_texts) {
  const dsSortKey &key = list.keys[level];
  bool takes = level == 0 && empty_texts && KeyText(kStoredEmpty, key).text == kStoredEmpty;
  bool low = false, feed = false;
  for (const char *s : texts) {
    if (IsEmptyText(s)) continue;
    const Key text = KeyText(s, key);
    if (TakesLineFeed(s, key)) {
      if (text.text.empty()) return false;  // an empty range before the line feed
      takes = true;
    }
    low = low || HasLowControl(text);
    feed = feed || HoldsLineFeed(text);
  }
  return !takes || !(key.type == 'S' ? low : feed);
}

// Whether no string stops at the empty text on the first key with the same bytes while a later
// key would take over (the run would go on past the empty text).
bool EmptyTextsCut(const dsList &list, std::span<const char *const> texts) {
  if (IsLastKey(list, 0)) return true;
  const dsSortKey &key = list.keys[0];
  const Key empty = KeyText(kStoredEmpty, key);
  return std::none_of(texts.begin(), texts.end(), [&](const char *s) {
    const Key text = KeyText(s, key);
    return !IsEmptyText(s) && Compare(empty, text, key) == 0 && SameBytes(empty, text);
  });
}

// Whether the empty text stops a new string on the first key: it goes in the front part.
bool StopsAtEmpty(const dsList &list, const char *s) {
  const dsSortKey &key = list.keys[0];
  return StopsOrEquals(Compare(KeyText(kStoredEmpty, key), KeyText(s, key), key), key);
}

bool IsModelled(const dsList &list, std::span<const char *const> texts) {
  const bool empty_texts = std::any_of(texts.begin(), texts.end(), IsEmptyText);
  for (int level = 0; level < Depth(list); ++level) {
    if (IsRange(list.keys[level]) && !RangeIsOrdered(list, texts, level, empty_texts)) {
      return false;
    }
  }
  return !empty_texts || EmptyTextsCut(list, texts);
}

class BulkOrder {
 public:
  BulkOrder(const dsList &list, std::span<const char *const> texts) : list_(list), texts_(texts) {
    order_.reserve(texts.size());
  }

  std::vector<std::size_t> Sorted() {
    std::vector<std::size_t> all(texts_.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    if (std::none_of(texts_.begin(), texts_.end(), IsEmptyText)) {
      Level(all, 0);
      return std::move(order_);
    }
    // The front parts, each followed by the empty text that began the next one; then the rest.
    std::vector<std::vector<std::size_t>> fronts(1);
    std::vector<std::size_t> empties, rest;
    for (std::size_t i : all) {
      if (IsEmptyText(texts_[i])) {
        empties.push_back(i);
        fronts.emplace_back();
      } else {
        (StopsAtEmpty(list_, texts_[i]) ? fronts.back() : rest).push_back(i);
      }
    }
    for (std::size_t part = fronts.size(); part-- > 0;) {
      Level(fronts[part], 0);
      if (part > 0) order_.push_back(empties[part - 1]);
    }
    Level(rest, 0);
    return std::move(order_);
  }

 private:
  struct Item {
    Key text;
    std::size_t index;
  };

  int Class(const Item &x, const Item &y, const dsSortKey &key) const {
    return Compare(x.text, y.text, key);
  }

  void Emit(const Item *first, const Item *last, bool newest_first) {
    if (newest_first) {
      while (last != first) order_.push_back((--last)->index);
    } else {
      for (; first != last; ++first) order_.push_back(first->index);
    }
  }

  // Orders strings (indexes in order of arrival) whose texts on the keys before level are
  // byte for byte the same, and appends them to the order.
  void Level(const std::vector<std::size_t> &strings, int level) {
    if (strings.size() < 2) {
      order_.insert(order_.end(), strings.begin(), strings.end());
      return;
    }
    const dsSortKey &key = list_.keys[level];
    std::vector<std::size_t> absent;
    std::vector<Item> present;
    present.reserve(strings.size());
    for (std::size_t index : strings) {
      const Key text = KeyText(texts_[index], key);
      if (!text.present) {
        absent.push_back(index);
        continue;
      }
      present.push_back({text, index});
    }
    const bool ascending = key.ascending != 0;
    if (ascending) order_.insert(order_.end(), absent.begin(), absent.end());
    std::stable_sort(present.begin(), present.end(), [&](const Item &x, const Item &y) {
      const int c = Class(x, y, key);
      return ascending ? c < 0 : c > 0;
    });
    for (std::size_t begin = 0, end; begin < present.size(); begin = end) {
      end = begin + 1;
      while (end < present.size() && Class(present[begin], present[end], key) == 0) ++end;
      Equals(present.data() + begin, present.data() + end, level);
    }
    if (!ascending) order_.insert(order_.end(), absent.rbegin(), absent.rend());
  }

  // Strings equal on key level, in order of arrival.
  void Equals(const Item *first, const Item *last, int level) {
    const dsSortKey &key = list_.keys[level];
    if (key.type == 'S' && TakesLineFeed(texts_[first->index], key)) {
      Emit(first, last, key.ascending != 0);
      return;
    }
    if (IsLastKey(list_, level)) {
      Emit(first, last, true);
      return;
    }
    // Groups of one spelling in a row, the newest group first; a string whose stored text
    // takes in the line feed is a group alone (no new text has its bytes).
    std::vector<std::size_t> group;
    for (const Item *end = last; end != first;) {
      const Item *begin = end - 1;
      const bool alone = TakesLineFeed(texts_[begin->index], key);
      while (!alone && begin != first && (begin - 1)->text.text == begin->text.text) --begin;
      group.clear();
      for (const Item *item = begin; item != end; ++item) group.push_back(item->index);
      Level(group, level + 1);
      end = begin;
    }
  }

  const dsList &list_;
  std::span<const char *const> texts_;
  std::vector<std::size_t> order_;
};

// The order dsAppend gives, inserting one string at a time into a scratch list.
std::vector<std::size_t> InsertedOrder(const dsList &list, std::span<const char *const> texts) {
  dsList scratch;
  dsInitialize(&scratch);
  scratch.sorted = 1;
  scratch.key_count = list.key_count;
  std::copy(std::begin(list.keys), std::end(list.keys), std::begin(scratch.keys));
  for (dsSortKey &key : scratch.keys) key.probe = nullptr;
  std::vector<std::size_t> order;
  try {
    order.reserve(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
      int at = 0;
      if (AppendSortedAt(scratch, texts[i], &at) == 0) throw std::bad_alloc();
      order.insert(order.begin() + at, i);
    }
  } catch (...) {
    dsFree(&scratch);
    throw;
  }
  dsFree(&scratch);
  return order;
}

bool HasKeys(const dsList &list) { return list.sorted != 0 && list.key_count >= 1; }

// Many strings into an empty sorted list.  Each piece read is stored at once (its key records
// made); at the end of the stream the pieces are ordered by sorted_order, which gives the
// positions of appending them one at a time, and put into the array in that order, and their
// marks are set in one pass: a string joins the run (and segment) of the one before it where
// the two share the key texts (and neither is empty), which is what appending them in turn
// leaves.  Where sorted_order would itself insert one at a time, the pieces are inserted into
// the list one at a time.  A read that fails (no memory) leaves the list empty.
class BulkRead {
 public:
  explicit BulkRead(dsList &list) : list_(list) {}
  BulkRead(const BulkRead &) = delete;
  BulkRead &operator=(const BulkRead &) = delete;
  ~BulkRead() {
    for (std::size_t i = placed_; i < copies_.size(); ++i) Release(copies_[i]);
  }

  bool Read(FILE *stream) {
    char piece[kPieceSize];
    while (ReadPiece(list_, piece, stream)) {
      if (copies_.size() == static_cast<std::size_t>(INT_MAX)) return false;
      if (copies_.size() == copies_.capacity()) copies_.reserve(2 * copies_.size() + 64);
      char *copy = StoredCopy(list_, piece);
      if (copy == nullptr) return false;
      copies_.push_back(copy);
    }
    return true;
  }

  // Puts the pieces read into the list; false (and the list as it was) when memory runs out.
  bool Place() {
    if (copies_.empty()) return true;
    std::vector<const char *> texts(copies_.begin(), copies_.end());
    for (char *copy : copies_) AsText(copy, true);
    if (HasKeys(list_) && !kav::containers::dslist::sorts_in_bulk(list_, texts)) {
      return PlaceOneByOne();
    }
    const std::vector<std::size_t> order = kav::containers::dslist::sorted_order(list_, texts);
    for (char *copy : copies_) AsText(copy, false);
    if (!ResizeStrings(list_, 16, copies_.size())) return false;
    for (std::size_t i = 0; i < order.size(); ++i) list_.strings[i] = copies_[order[i]];
    for (std::size_t i = 0; i < order.size(); ++i) LabelAfter(static_cast<int>(i));
    list_.count = static_cast<int>(order.size());
    placed_ = copies_.size();
    return true;
  }

 private:
  static void Release(char *copy) { kav::platform::memory::release(BlockOf(copy)); }

  // A stored copy read as the text it was made of (its line feed a NUL), or stored again.
  static void AsText(char *copy, bool text) {
    copy[std::strlen(copy) - (text ? 1 : 0)] = text ? '\0' : '\n';
  }

  // The marks of string i from the one before it alone (i is the last string so far).
  void LabelAfter(int i) {
    char *copy = list_.strings[i];
    const char *before = i > 0 ? list_.strings[i - 1] : nullptr;
    SetMark(copy, 0, SegmentOf(copy, before, nullptr));
    const int shared = before != nullptr ? SharedKeys(list_, before, copy) : 0;
    for (int level = 1; level <= Depth(list_); ++level) {
      SetMark(copy, level, shared >= level ? MarkOf(before, level) : OwnMark(copy));
    }
  }

  // Each copy, in the order read, at the place the insert search gives for its text.
  bool PlaceOneByOne() {
    for (; placed_ < copies_.size(); ++placed_) {
      char *copy = copies_[placed_];
      if (!MakeRoom(list_)) return false;
      const int at = InsertIndex(list_, copy, 0, 0);
      AsText(copy, false);
      Label(list_, copy, at);
      PlaceAt(list_, at, copy);
    }
    return true;
  }

  dsList &list_;
  std::vector<char *> copies_;
  std::size_t placed_ = 0;  // copies_ from this one on are not in the list
};

int ReadSortedStream(dsList &list, FILE *stream) {
  try {
    BulkRead read(list);
    if (read.Read(stream) && read.Place()) return 1;
  } catch (const std::bad_alloc &) {
  }
  dsFree(&list);
  return 0;
}

}  // namespace

extern "C" KAV_API int KAV_CALL dsInitialize(dsList *list) KAV_NOEXCEPT {
  if (list == nullptr) return 0;
  std::memset(list, 0, sizeof *list);
  return 1;
}

extern "C" KAV_API int KAV_CALL dsSetSort(dsList *list, const char *order) KAV_NOEXCEPT {
  if (list == nullptr || order == nullptr) return 0;
  return SetSort(*list, order);
}

extern "C" KAV_API int KAV_CALL dsAppendWithDelimiter(dsList *list, const char *text,
                                                      signed char delimiter) KAV_NOEXCEPT {
  return Append(list, text, delimiter);
}

extern "C" KAV_API int KAV_CALL dsAppend(dsList *list, const char *text) KAV_NOEXCEPT {
  return Append(list, text, '\n');
}

extern "C" KAV_API int KAV_CDECL dsAppendFormat(dsList *list, const char *format,
                                                ...) KAV_NOEXCEPT {
  if (list == nullptr || format == nullptr) return 0;
  char text[kFormatSize];
  va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (written < 0) return 0;
  return Append(list, text, '\n');
}

extern "C" KAV_API char *KAV_CALL dsGetBuffer(dsList *list) KAV_NOEXCEPT {
  if (list == nullptr) return nullptr;
  return list->sorted != 0 ? JoinSorted(*list) : list->buffer;
}

extern "C" KAV_API int KAV_CALL dsGetStringCount(const dsList *list) KAV_NOEXCEPT {
  return list != nullptr ? list->count : -1;
}

extern "C" KAV_API char *KAV_CALL dsGetStringAtIndex(const dsList *list, int index) KAV_NOEXCEPT {
  if (list == nullptr || list->strings == nullptr || index < 0 || index >= list->count) {
    return nullptr;
  }
  return list->strings[index];
}

extern "C" KAV_API int KAV_CALL dsFind(dsList *list, const char *text, int start, int key,
                                       int *position) KAV_NOEXCEPT {
  if (list == nullptr) return Report(position, 0);
  return Find(*list, text, start, key, position);
}

extern "C" KAV_API int KAV_CALL dsFindSortedInsertIndex(dsList *list, const char *text, int start,
                                                        int key, void *unused) KAV_NOEXCEPT {
  (void)unused;
  if (list == nullptr) return 0;
  return InsertIndex(*list, text, start, key);
}

extern "C" KAV_API int KAV_CALL dsReadFromFileStream(dsList *list, FILE *stream) KAV_NOEXCEPT {
  if (list == nullptr || stream == nullptr) return 0;
  return ReadStream(*list, stream);
}

// Only a regular file is read: a FIFO without a writer or a device could block the open or never
// end.  The stream is kept from child processes, and goes through the I/O seam.
extern "C" KAV_API int KAV_CALL dsReadFromFile(dsList *list, const char *path) KAV_NOEXCEPT {
  if (list == nullptr || path == nullptr) return 0;
  FILE *stream = kav::platform::io::fopen_regular(path, "r");
  if (stream == nullptr) return 0;
  // A read that stops before the end of the file is a failed read.
  const bool done = ReadStream(*list, stream) != 0 && std::feof(stream) != 0;
  kav::platform::io::fclose(stream);
  return done ? 1 : 0;
}

extern "C" KAV_API int KAV_CALL dsReadFromStdIn(dsList *list) KAV_NOEXCEPT {
  return dsReadFromFileStream(list, stdin);
}

extern "C" KAV_API void KAV_CALL dsFree(dsList *list) KAV_NOEXCEPT {
  if (list == nullptr) return;
  kav::platform::memory::release(list->buffer);
  list->buffer = nullptr;
  list->capacity = 0;
  if (list->sorted != 0 && list->strings != nullptr) {
    for (int i = 0; i < list->count; ++i) kav::platform::memory::release(BlockOf(list->strings[i]));
    ReleaseSortedStrings(*list);
  }
  kav::platform::memory::release(list->strings);
  list->strings = nullptr;
  list->count = 0;
}

namespace kav::containers::dslist {

bool sorts_in_bulk(const dsList &list, std::span<const char *const> texts) {
  return !HasKeys(list) || IsModelled(list, texts);
}

std::vector<std::size_t> sorted_order(const dsList &list, std::span<const char *const> texts) {
  std::vector<std::size_t> order(texts.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  if (list.sorted == 0) return order;  // appended in turn
  if (list.key_count < 1) {            // every string goes to index 0
    std::reverse(order.begin(), order.end());
    return order;
  }
  if (!sorts_in_bulk(list, texts)) return InsertedOrder(list, texts);
  return BulkOrder(list, texts).Sorted();
}

}  // namespace kav::containers::dslist
