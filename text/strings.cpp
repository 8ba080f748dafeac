// strings.cpp - the string primitives: path splitting, decimal rounding, escaping, searching,
// field scanners, line breaking, blank stripping and reading a line without its line end.
//
// Every routine works on NUL-terminated 8-bit strings in the caller's memory; only
// escape_control allocates.  Character classes are the classic locale's (base/ascii.h), so that
// neither the process locale nor the signedness of `char` can change a result.
// kav_strfld, kav_strtok and kav_strbrk each keep one process-wide cursor between calls, so each
// of them can run one scan at a time in the whole process.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/ascii.h"
#include "kavutil.h"
#include "platform/io.h"
#include "platform/memory.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

char* field_cursor = nullptr;        // kav_strfld
char* token_cursor = nullptr;        // kav_strtok
const char* break_cursor = nullptr;  // kav_strbrk

// The classes this file's routines name, from base/ascii.h.
using kav::base::is_blank;
using kav::base::is_path_separator;
using kav::base::is_space;
using kav::base::to_upper;

bool IsSpaceOrLineEnd(char c) { return c == ' ' || c == '\r' || c == '\n'; }

bool IsIdentifierChar(char c) { return kav::base::is_letter_or_digit(c) || c == '_'; }

// Forces x to double precision; on x87 FPUs (32-bit Windows) intermediates otherwise keep extra
// bits and truncation could land on the other side of a whole number.
double AsDouble(double x) {
  volatile double stored = x;
  return stored;
}

template <typename Emit>
void EscapeEach(const char* text, Emit emit) {
  for (const char* p = text; *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c >= 0x20 && c <= 0x7E && c != '|' && c != '\\') {
      emit(*p);
      continue;
    }
    emit('\\');  // "\\%03o": every byte fits in three octal digits
    emit(static_cast<char>('0' + (c >> 6)));
    emit(static_cast<char>('0' + ((c >> 3) & 7)));
    emit(static_cast<char>('0' + (c & 7)));
  }
}

// Writes the escaped text in blocks through the I/O seam; like fputc's, write errors stay with
// the stream.
void WriteEscaped(const char* text, std::FILE* stream) {
  char block[1024];
  std::size_t used = 0;
  EscapeEach(text, [&](char c) {
    if (used == sizeof block) {
      kav::platform::io::fwrite(block, 1, used, stream);
      used = 0;
    }
    block[used++] = c;
  });
  if (used > 0) kav::platform::io::fwrite(block, 1, used, stream);
}

// ---- kav_stristr
//
// The haystack's end is found a block at a time with strnlen, so that the search may read ahead
// within bytes known to lie before the NUL: a candidate start is tried only once the whole
// needle's length after it is known.  Within the known bytes, candidates are the starts where
// the needle's first and last characters (either case) both match; with SSE2 that is tested 16
// starts at a time, and only those candidates are compared in full.  The result is the first
// start where the needle matches, as the plain scan from the beginning finds it.

constexpr std::size_t kKnownBlock = 16384;  // bytes whose NUL is looked for at a time

bool EqualIgnoringCase(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (to_upper(a[i]) != to_upper(b[i])) return false;
  }
  return true;
}

// Whether the needle (length m) matches at p, given that its first and last characters do.
bool InnerMatches(const char* p, const char* needle, std::size_t m) {
  return m <= 2 || EqualIgnoringCase(p + 1, needle + 1, m - 2);
}

bool MatchesAt(const char* p, const char* needle, std::size_t m) {
  return to_upper(p[0]) == to_upper(needle[0]) && to_upper(p[m - 1]) == to_upper(needle[m - 1]) &&
         InnerMatches(p, needle, m);
}

#if defined(__SSE2__)
// Tests 16 bytes for one character in either case: (byte | fold) == value, where fold sets the
// bit 0x20 only for letters, which it makes lower case.
struct Probe {
  __m128i fold;
  __m128i value;
};

Probe ProbeFor(char c) {
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  return {_mm_set1_epi8(letter ? 0x20 : 0),
          _mm_set1_epi8(letter ? static_cast<char>(c | 0x20) : c)};
}

unsigned Hits(const char* at, const Probe& probe) {
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(block, probe.fold), probe.value)));
}

int LowestBit(unsigned bits) { return __builtin_ctz(bits); }
#endif

// The first start in [p, last] where the needle (length m) matches; every byte from p to
// last + m - 1 is known not to be NUL.
const char* SearchKnown(const char* p, const char* last, const char* needle, std::size_t m) {
#if defined(__SSE2__)
  const Probe first = ProbeFor(needle[0]), final = ProbeFor(needle[m - 1]);
  for (; last - p >= 15; p += 16) {
    for (unsigned hits = Hits(p, first) & Hits(p + m - 1, final); hits != 0; hits &= hits - 1) {
      const char* candidate = p + LowestBit(hits);
      if (InnerMatches(candidate, needle, m)) return candidate;
    }
  }
#endif
  for (; p <= last; ++p) {
    if (MatchesAt(p, needle, m)) return p;
  }
  return nullptr;
}

char* SearchIgnoringCase(char* haystack, const char* needle) {
  const std::size_t m = std::strlen(needle);
  if (m == 0) return *haystack != '\0' ? haystack : nullptr;
  const char* next = haystack;   // the first start not yet tried
  const char* known = haystack;  // every byte before it is not NUL
  for (;;) {
    const std::size_t length = strnlen(known, kKnownBlock);
    known += length;
    if (static_cast<std::size_t>(known - next) >= m) {
      const char* last = known - m;
      if (const char* hit = SearchKnown(next, last, needle, m)) {
        return haystack + (hit - haystack);
      }
      next = last + 1;
    }
    if (length < kKnownBlock) return nullptr;  // the NUL is at known
  }
}

// The word ends at its first non-identifier character; the token may run on past it.
bool TokenStartsWith(const char* token, const char* word) {
  for (; IsIdentifierChar(*word); ++token, ++word) {
    if (to_upper(*token) != to_upper(*word)) return false;
  }
  return true;
}

const char* SkipIdentifier(const char* p) {
  while (IsIdentifierChar(*p)) ++p;
  return p;
}

const char* SkipNonIdentifier(const char* p) {
  while (*p != '\0' && !IsIdentifierChar(*p)) ++p;
  return p;
}

// Returns the last position in 1..from holding c, or 0 when there is none.
std::size_t LastAtOrBefore(const char* text, std::size_t from, char c) {
  while (from > 0 && text[from] != c) --from;
  return from;
}

int CopyPiece(char* dest, const char* piece, std::size_t length) {
  if (dest != nullptr) {
    std::memmove(dest, piece, length);
    dest[length] = '\0';
  }
  return static_cast<int>(length);
}

// Walks back from s[end - 1] over blanks and NUL bytes, turning each into NUL; returns the
// length that is left.
std::size_t ClearTrailing(char* s, std::size_t end, bool (*is_blank)(char)) {
  while (end > 0 && (s[end - 1] == '\0' || is_blank(s[end - 1]))) s[--end] = '\0';
  return end;
}

int StripEnd(char* s, unsigned int len, bool (*is_blank)(char)) {
  if (s == nullptr) return 0;
  std::size_t end = len;
  if (len != 0) {
    s[len] = '\0';
  } else {
    end = std::strlen(s);
  }
  return static_cast<int>(ClearTrailing(s, end, is_blank));
}

void RemoveLeadingSpaces(char* s) {
  const std::size_t skip = std::strspn(s, " ");
  if (skip > 0) std::memmove(s, s + skip, std::strlen(s + skip) + 1);
}

template <typename Drop>
std::size_t RemoveIf(char* s, Drop drop) {
  char* out = s;
  for (const char* in = s; *in != '\0'; ++in) {
    if (!drop(*in)) *out++ = *in;
  }
  *out = '\0';
  return static_cast<std::size_t>(out - s);
}

}  // namespace

extern "C" KAV_API char* KAV_CALL kav_basename(char* path) KAV_NOEXCEPT {
  std::size_t end = std::strlen(path);
  while (end > 0 && !is_path_separator(path[end - 1])) --end;
  return path + end;
}

extern "C" KAV_API char* KAV_CALL kav_dirname(char* path) KAV_NOEXCEPT {
  std::size_t at = std::strlen(path);
  while (at > 0 && !is_path_separator(path[at])) --at;
  if (at > 0) {
    path[at] = '\0';
  } else {
    path[0] = '.';
    path[1] = '\0';
  }
  return path;
}

extern "C" KAV_API double KAV_CALL dround(double value, int digits) KAV_NOEXCEPT {
  // Past 8 digits the 32-bit intermediates would overflow, and infinities and NaN have no digits
  // to round: both come back unchanged.
  if (digits > 8 || !std::isfinite(value)) return value;
  double whole = 0.0;
  const double fraction = std::modf(value, &whole);
  std::int32_t scale = 1;  // stays 1 for zero or negative digits
  for (int i = 0; i < digits; ++i) scale *= 10;
  const double shifted = AsDouble(AsDouble(static_cast<double>(scale) * fraction) * 10);
  auto t = static_cast<std::int32_t>(shifted);
  t = value >= 0 ? t + 5 : t - 5;
  t /= 10;
  return AsDouble(whole + AsDouble(static_cast<double>(t) / scale));
}

extern "C" KAV_API double KAV_CALL dtrunc(double value) KAV_NOEXCEPT { return std::trunc(value); }

extern "C" KAV_API char* KAV_CALL escape_control(const char* text, FILE* stream) KAV_NOEXCEPT {
  if (stream != nullptr) {
    if (text != nullptr) WriteEscaped(text, stream);
    return nullptr;
  }
  if (text == nullptr) text = "";
  const std::size_t length = std::strlen(text);
  // A failed allocation, or a size that cannot even be asked for, gives a null result.
  if (length > (SIZE_MAX - 1) / 4) return nullptr;
  auto* out = static_cast<char*>(kav::platform::memory::allocate(4 * length + 1));
  if (out == nullptr) return nullptr;
  char* end = out;
  EscapeEach(text, [&end](char c) { *end++ = c; });
  *end = '\0';
  return out;
}

extern "C" KAV_API char* KAV_CALL kav_strstr(char* haystack, const char* needle) KAV_NOEXCEPT {
  const std::size_t n = std::strlen(needle);
  for (char* p = haystack; *p != '\0'; ++p) {
    if (std::strncmp(p, needle, n) == 0) return p;
  }
  return nullptr;
}

extern "C" KAV_API char* KAV_CALL kav_stristr(char* haystack, char* needle) KAV_NOEXCEPT {
  if (haystack == nullptr || needle == nullptr) return nullptr;
  return SearchIgnoringCase(haystack, needle);
}

extern "C" KAV_API char* KAV_CALL stritok(const char* text, const char* word) KAV_NOEXCEPT {
  if (text == nullptr || word == nullptr) return nullptr;
  for (const char* p = SkipNonIdentifier(text); *p != '\0';
       p = SkipNonIdentifier(SkipIdentifier(p))) {
    if (TokenStartsWith(p, word)) return const_cast<char*>(p);
  }
  return nullptr;
}

extern "C" KAV_API char* KAV_CALL kav_strfld(char* text, const char* delimiter) KAV_NOEXCEPT {
  char* start = text != nullptr ? text : field_cursor;
  if (start == nullptr) return nullptr;
  char* hit = kav_strstr(start, delimiter);
  field_cursor = hit != nullptr ? hit + std::strlen(delimiter) : nullptr;
  if (hit != nullptr) *hit = '\0';
  return start;
}

extern "C" KAV_API char* KAV_CALL kav_strtok(char* text, const char* delimiters) KAV_NOEXCEPT {
  char* start = text != nullptr ? text : token_cursor;
  if (start == nullptr) return nullptr;
  char* hit = std::strpbrk(start, delimiters);
  token_cursor = hit != nullptr ? hit + 1 : nullptr;
  if (hit != nullptr) *hit = '\0';
  return start;
}

extern "C" KAV_API int KAV_CALL kav_strbrk(char* dest, const char* text, int width) KAV_NOEXCEPT {
  // No room for a single character: an empty piece, and a scan in progress stays where it is.
  if (width <= 0) return CopyPiece(dest, "", 0);
  const char* start = text != nullptr ? text : break_cursor;
  // Continuing before any text was given reads as continuing an empty text.
  if (start == nullptr) return CopyPiece(dest, "", 0);
  const auto limit = static_cast<std::size_t>(width);
  // Only whether the rest fits matters, so the rest is measured no further than one past width.
  const std::size_t length = strnlen(start, limit + 1);
  if (length <= limit) {
    break_cursor = start + length;
    return CopyPiece(dest, start, length);
  }
  std::size_t cut = LastAtOrBefore(start, limit, ' ');
  if (cut == 0) cut = LastAtOrBefore(start, limit, '\n');
  if (cut == 0) cut = limit;
  break_cursor = start[cut] == ' ' ? start + cut + 1 : start + cut;
  return CopyPiece(dest, start, cut);
}

extern "C" KAV_API char* KAV_CALL kav_strdub(char* dest, const char* src) KAV_NOEXCEPT {
  const std::size_t length = std::strlen(src);
  std::memcpy(dest, src, length);
  return dest + length;
}

extern "C" KAV_API int KAV_CALL stripblanks_end(char* s, unsigned int len) KAV_NOEXCEPT {
  return StripEnd(s, len, is_space);
}

extern "C" KAV_API int KAV_CALL stripblanks_endcrnl(char* s, unsigned int len) KAV_NOEXCEPT {
  return StripEnd(s, len, IsSpaceOrLineEnd);
}

extern "C" KAV_API int KAV_CALL stripblanks_begend(char* s, unsigned int len) KAV_NOEXCEPT {
  if ((len > 0 && s[len - 1] == ' ') || s[len] == '\0') {
    ClearTrailing(s, len, is_space);
  } else {
    // The text runs on past the field: end it at len, then trim the front like any other field.
    s[len] = '\0';
  }
  RemoveLeadingSpaces(s);
  return static_cast<int>(std::strlen(s));
}

extern "C" KAV_API int KAV_CALL stripblanks_any(char* s, unsigned int len) KAV_NOEXCEPT {
  if (stripblanks_begend(s, len) == 0) return 0;
  return static_cast<int>(RemoveIf(s, is_space));
}

// len is accepted for the callers' sake and not used.
extern "C" KAV_API int KAV_CALL stripblanks_begendmult(char* s, unsigned int /*len*/) KAV_NOEXCEPT {
  std::size_t read = 0;
  std::size_t write = 0;
  bool gap = false;
  for (; s[read] != '\0'; ++read) {
    if (is_blank(s[read])) {
      gap = write > 0;
      continue;
    }
    if (gap) s[write++] = ' ';
    gap = false;
    s[write++] = s[read];
  }
  s[write] = '\0';
  return -static_cast<int>(read - write);
}

extern "C" KAV_API char* KAV_CALL strip_chars(char* s, const char* set) KAV_NOEXCEPT {
  RemoveIf(s, [set](char c) { return std::strchr(set, c) != nullptr; });
  return s;
}

extern "C" KAV_API char* KAV_CALL kav_fgets(char* buf, int size, FILE* stream) KAV_NOEXCEPT {
  if (buf == nullptr || size <= 0 || stream == nullptr) return nullptr;
  if (kav::platform::io::fgets(buf, size, stream) == nullptr) return nullptr;
  std::size_t length = std::strlen(buf);
  while (length > 0 && (buf[length - 1] == '\r' || buf[length - 1] == '\n')) buf[--length] = '\0';
  return buf;
}
