// format_test.cpp - kav_sprintf and kav_vsprintf (text/format.cpp): generated directives against
// snprintf where both promise the same text ("*" arguments become literal numbers, the ignored
// qualifier is dropped), then where the engine differs from C, addresses and the string hook.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kavutil.h"

namespace {

// Formats into a buffer pre-filled with '#' and checks the count, the NUL and the untouched rest.
std::string Format(const char* format, ...) {
  char buffer[256];
  std::memset(buffer, '#', sizeof buffer);
  va_list args;
  va_start(args, format);
  const int count = kav_vsprintf(nullptr, buffer, format, args);
  va_end(args);
  if (count < 0 || count > 200) return "<overflow>";
  EXPECT_EQ(std::string(buffer + count, 2), std::string("\0#", 2)) << format;
  return std::string(buffer, static_cast<std::size_t>(count));
}

int Pick(std::mt19937& rng, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(rng);
}

struct Directive {
  char conversion = 'd';
  std::string c_flags;  // with the '-' of a negative "*" width
  int precision = -1;
  std::vector<int> stars;
  std::string kav, c;
};

std::string PickFlags(std::mt19937& rng, char conversion) {
  // C gives '+' and ' ' to signed conversions only, '#' to o, x and X only.
  std::string flags, allowed = std::strchr("cs", conversion) ? "-" : "-0";
  if (std::strchr("di", conversion)) allowed += "+ ";
  if (std::strchr("oxX", conversion)) allowed += "#";
  for (char f : allowed) {
    if (Pick(rng, 0, 3) == 0) flags += f;
  }
  std::shuffle(flags.begin(), flags.end(), rng);
  return flags;
}

std::string Spell(int n) { return n < 0 ? "" : std::to_string(n); }

Directive Generate(std::mt19937& rng) {
  Directive d;
  d.conversion = "diuoxXcs"[Pick(rng, 0, 7)];
  d.kav = "<%" + (d.c_flags = PickFlags(rng, d.conversion));
  int width = -1;
  if (const int kind = Pick(rng, 0, 2); kind == 1) {
    d.kav += Spell(width = Pick(rng, 0, 14));
  } else if (kind == 2) {
    d.stars.push_back(Pick(rng, -14, 14));
    width = std::abs(d.stars.back());
    if (d.stars.back() < 0) d.c_flags += '-';
    d.kav += '*';
  }
  if (d.conversion != 'c') {
    if (const int kind = Pick(rng, 0, 3); kind == 1) {
      d.kav += '.';
      d.precision = 0;
    } else if (kind == 2) {
      d.kav += '.' + Spell(d.precision = Pick(rng, 0, 12));
    } else if (kind == 3) {
      d.stars.push_back(Pick(rng, -3, 12));
      d.precision = std::max(0, d.stars.back());
      d.kav += ".*";
    }
  }
  static const char* const kQualifiers[] = {"", "", "h", "l", "L"};
  if (!std::strchr("cs", d.conversion)) d.kav += kQualifiers[Pick(rng, 0, 4)];
  d.kav += std::string(1, d.conversion) + ">";
  const std::string precision = d.precision < 0 ? "" : "." + Spell(d.precision);
  d.c = "<%" + d.c_flags + Spell(width) + precision + d.conversion + ">";
  return d;
}

// Where the engine and C part ways; each case is pinned down in the Differences tests.
bool CAgrees(const Directive& d, unsigned value) {
  if (std::strchr("cs", d.conversion)) return true;
  const auto has = [&d](char f) { return d.c_flags.find(f) != std::string::npos; };
  if (value == 0 && (d.precision == 0 || has('#'))) return false;
  if (has('#') && (d.conversion == 'X' || (d.conversion == 'o' && d.precision >= 0))) return false;
  return !(has('0') && d.precision >= 0 && !has('-'));
}

template <typename Value>
void ExpectAgreement(const Directive& d, Value value) {
  char kav[128], c[128];
  const char* f = d.kav.c_str();
  const std::size_t n = d.stars.size();
  const int a = n > 0 ? d.stars[0] : 0, b = n > 1 ? d.stars[1] : 0;
  const int count = n == 0   ? kav_sprintf(nullptr, kav, f, value)
                    : n == 1 ? kav_sprintf(nullptr, kav, f, a, value)
                             : kav_sprintf(nullptr, kav, f, a, b, value);
  const int c_count = std::snprintf(c, sizeof c, d.c.c_str(), value);
  ASSERT_EQ(std::string(kav, count), std::string(c, c_count)) << f << " / " << d.c << " " << value;
  ASSERT_EQ(kav[count], '\0');
}

TEST(Agreement, GeneratedDirectivesMatchTheCLibrary) {
  static const char* const kStrings[] = {"", "a", "hello", "a longer string of text"};
  static const unsigned kEdges[] = {0, 1, 8, 255, 4660, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
  std::mt19937 rng(20240611);
  for (int i = 0, compared = 0; i < 40000 || compared < 30000; ++i) {
    const Directive d = Generate(rng);
    const unsigned value = Pick(rng, 0, 1) ? kEdges[Pick(rng, 0, 7)] : rng() >> Pick(rng, 0, 31);
    if (!CAgrees(d, value)) continue;
    ++compared;
    if (d.conversion == 's') ExpectAgreement(d, kStrings[value % 4]);
    if (d.conversion == 'c') ExpectAgreement(d, static_cast<int>(0x20 + value % 95));
    if (!std::strchr("cs", d.conversion)) ExpectAgreement(d, value);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(Differences, FlagsPrecisionQualifiersPointersAndCounts) {
  EXPECT_EQ(Format("%#x|%#o|%#X|%#X|%#.3o", 0, 0, 0, 255, 8), "0x0|00|0x0|0xFF|0010");
  EXPECT_EQ(Format("%.0d|%.d|%.0x|%.*u", 0, 0, 0, -1, 0), "0|0|0|0");
  EXPECT_EQ(Format("%08.3d|%05.1x", -7, 255), "-0000007|000ff");
  EXPECT_EQ(Format("%*d|%-*d|%*d|", -4, 1, 3, 2, INT_MIN, 3), "1   |2  |3|");
  EXPECT_EQ(Format("%.0c|%03c", 'C', 'D'), "C|  D");
  EXPECT_EQ(Format("%hd|%ld|%Ld|%hu|%lx", 70000, -1, INT_MIN, 65536, -1),
            "70000|-1|-2147483648|65536|ffffffff");
  EXPECT_EQ(Format("%lld %d|%f %d", 7, 3), "%ld 7|%f 3");
  EXPECT_EQ(Format("%y|%-08.3Lq|%5%|%%"), "%y|%q|%|%");
  EXPECT_EQ(Format("%s|%.3s|%8s", nullptr, nullptr, nullptr), "<NULL>|<NU|  <NULL>");
  EXPECT_EQ(Format("abc%-5.2l"), "abc%");
  EXPECT_EQ(Format(""), "");
  void* small = reinterpret_cast<void*>(4660);
  EXPECT_EQ(Format("%p|%10p|%-6p|%#p", small, small, small, small),
            "00001234|      1234|1234  |0x001234");
  if (sizeof(void*) == 8) {
    EXPECT_EQ(Format("%p", reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x12345678ABULL))),
              "12345678ab");
  }
  int first = -1, second = -1;
  EXPECT_EQ(Format("ab%n%5d%ln|%n", &first, 1, &second, nullptr), "ab    1|");
  EXPECT_EQ(first * 10 + second, 27);
}

TEST(Addresses, Ipv4AndMac) {
  const unsigned char ip[] = {192, 168, 0, 1}, zero[] = {0, 0, 0, 0};
  const unsigned char mac[] = {0, 26, 43, 60, 77, 94};
  EXPECT_EQ(Format("%a|%A|%a", ip, ip, zero), "192.168.0.1|192.168.0.1|0.0.0.0");
  EXPECT_EQ(Format("%la|%lA", mac, mac), "00:1a:2b:3c:4d:5e|00:1A:2B:3C:4D:5E");
  EXPECT_EQ(Format("%13a|%-12a|%09.3a", ip, ip, zero), "  192.168.0.1|192.168.0.1 |  0.0.0.0");
  EXPECT_EQ(Format("%a|%8la", nullptr, nullptr), "<NULL>|  <NULL>");
}

std::vector<std::string> hook_calls;

char* UpperHook(const char* text) {
  hook_calls.emplace_back(text);
  if (std::strcmp(text, "none") == 0) return nullptr;
  if (std::strcmp(text, "throw") == 0) throw 1;
  char* copy = static_cast<char*>(std::malloc(std::strlen(text) + 1));
  for (std::size_t i = 0; i <= std::strlen(text); ++i)
    copy[i] = static_cast<char>(std::toupper(text[i]));
  return copy;
}

TEST(Hook, CalledOncePerNonNullStringInOrderAndItsResultFreed) {
  char buffer[64];
  const int count = kav_sprintf(UpperHook, buffer, "%s-%5.2s-%s-%s-%s-%d", "ab", "xyz", nullptr,
                                "none", "throw", 3);
  EXPECT_STREQ(buffer, "AB-   XY-<NULL>-<NULL>-<NULL>-3");
  EXPECT_EQ(count, 31);
  EXPECT_EQ(hook_calls, (std::vector<std::string>{"ab", "xyz", "none", "throw"}));
}

}  // namespace
