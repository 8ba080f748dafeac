// scan_test.cpp - kav_sscanf, the field splitter in text/scan.cpp.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kavutil.h"
#include "scan_reference.h"

namespace {

constexpr std::int32_t kUntouched = 0x5A5A5A5A;

TEST(Scan, DelimitedIntegerFields) {
  struct Case {
    const char *input, *format;
    int count;
    std::int32_t first, second;
  } cases[] = {
      // Values, cleared fields, suppressed ones and targets never reached: the kav_cli checks.
      {"12345,6", "%3d,%d", 2, 123, 6},            // the rest of the field is skipped
      {"x=1;y=2", "x=%d;z=%d", 1, 1, kUntouched},  // literal mismatch ends the scan
      {"1 2", "%d%d", 1, 1, kUntouched},           // no literal between: the input skips to its end
      {"-1,4294967295", "%d,%u", 2, -1, -1},
      {"1;", "%d;;%d", 2, 1, 0},  // input ending inside literal text still clears the next target
      {"5,6", "%x,%d", 1, 0, kUntouched},  // a second conversion in one directive: nothing read
  };
  for (const Case& c : cases) {
    std::int32_t first = kUntouched, second = kUntouched;
    EXPECT_EQ(kav_sscanf(c.input, c.format, &first, &second), c.count) << c.input << c.format;
    EXPECT_EQ(first, c.first) << c.input << " " << c.format;
    EXPECT_EQ(second, c.second) << c.input << " " << c.format;
  }
}

// Empty fields and a blank before the ',' that ends a field are kav_cli checks.
TEST(Scan, TextFieldsReadUpToTheirDelimiter) {
  const struct {
    const char *input, *format;
    int count;
    const char* fields[3];
  } cases[] = {{"abcdef|x", "%3s|%s", 2, {"abc", "x"}},  // width kept in the scan set
               {"one two", "%s %s", 2, {"one", "two"}},  // a blank stops a plain %s
               {"wide,1", "%ls,", 1, {"wide"}}};         // read as narrow characters
  for (const auto& c : cases) {
    char fields[3][64] = {"junk", "junk", "junk"};
    EXPECT_EQ(kav_sscanf(c.input, c.format, fields[0], fields[1], fields[2]), c.count) << c.input;
    for (int i = 0; i < 3; ++i) EXPECT_STREQ(fields[i], c.fields[i] ? c.fields[i] : "junk");
  }
  char last[64] = "junk", c[2] = {'z', 'z'};
  EXPECT_EQ(kav_sscanf("q;r", "%c;%s", c, last), 2);
  EXPECT_TRUE(c[0] == 'q' && c[1] == 'z');
  EXPECT_STREQ(last, "r");
}

TEST(Scan, TargetsTakeTheTypeTheirSizeLetterNames) {
  std::int16_t small[2] = {0x1111, 0x2222};
  float single = -1.0f;
  double dual = -1.0;
  std::int32_t unsupported[2] = {kUntouched, kUntouched};
  std::int32_t wide[2] = {kUntouched, kUntouched};
  EXPECT_EQ(kav_sscanf("70000;2.5;0.125;9;9;-7", "%hd;%f;%lf;%D;%T;%ld", &small[0], &single, &dual,
                       &unsupported[0], &unsupported[1], &wide[0]),
            6);
  EXPECT_EQ(wide[0], -7);
  EXPECT_EQ(wide[1], kUntouched);  // a long is stored in 32 bits, whatever its size here
  EXPECT_EQ(small[0], static_cast<std::int16_t>(70000 & 0xFFFF));
  EXPECT_EQ(small[1], 0x2222);  // a 16-bit target is written as 16 bits only
  EXPECT_FLOAT_EQ(single, 2.5f);
  EXPECT_DOUBLE_EQ(dual, 0.125);
  EXPECT_TRUE(unsupported[0] == 0 && unsupported[1] == 0);
}

TEST(Scan, NullArgumentsAndLongDirectives) {
  std::int32_t value = kUntouched;
  EXPECT_EQ(kav_sscanf(nullptr, "%d", &value), 0);
  EXPECT_EQ(kav_sscanf("1", nullptr, &value), 0);
  EXPECT_EQ(value, kUntouched);
  // 127 characters with the letter fit the directive buffer; one more is refused.
  EXPECT_EQ(kav_sscanf("42", ("%" + std::string(124, '0') + "9d").c_str(), &value), 1);
  EXPECT_EQ(value, 42);
  value = kUntouched;
  EXPECT_EQ(kav_sscanf("42", ("%" + std::string(125, '0') + "9d").c_str(), &value), 0);
  EXPECT_EQ(value, kUntouched);
  // The %s rewrite grows the directive by three characters and must fit as well.
  char text[8] = "junk";
  EXPECT_EQ(kav_sscanf("ab,c", ("%" + std::string(121, '0') + "5s,").c_str(), text), 1);
  EXPECT_STREQ(text, "ab");
  EXPECT_EQ(kav_sscanf("xy,c", ("%" + std::string(122, '0') + "5s,").c_str(), text), 0);
  EXPECT_STREQ(text, "ab");
}

// What strtol and strtoul give in the platform's long, cut to 32 bits: the value of a number
// that overflows the long depends on its width.
TEST(Scan, NumbersReadAsTheCLibraryReadsThem) {
  const bool long64 = sizeof(long) == 8;
  const struct {
    const char *input, *format;
    std::int32_t value;
  } integers[] = {
      {"  -12x", "%d", -12},
      {"+7", "%d", 7},
      {"- 7", "%d", 0},
      {"12345", "%3d", 123},
      {"-5", "%1d", 0},
      {"0x1F", "%d", 0},
      {"-1", "%u", -1},
      {"4294967296", "%u", long64 ? 0 : -1},
      {"99999999999", "%d", long64 ? 1215752191 : INT_MAX},
      {"-99999999999999999999", "%d", long64 ? 0 : INT_MIN},
      {"99999999999999999999", "%u", -1},
      {"12", "%99999999999d", 12},  // a width beyond int is no width
  };
  for (const auto& c : integers) {
    std::int32_t value = kUntouched;
    EXPECT_EQ(kav_sscanf(c.input, c.format, &value), 1) << c.input;
    EXPECT_EQ(value, c.value) << c.input << " " << c.format;
  }
  const struct {
    const char *input, *format;
    double value;  // NaN: a NaN with the sign of "negative"
    bool negative;
  } reals[] = {
      {" 2.5e3x", "%lf", 2500.0, false},
      {"-.5", "%lf", -0.5, true},
      {"1e", "%lf", 1.0, false},
      {"0x1.8p1", "%lf", 3.0, false},
      {"0x", "%lf", 0.0, false},
      {"0x.p1", "%lf", 0.0, false},
      {"-0", "%lf", 0.0, true},
      {"1e999", "%lf", HUGE_VAL, false},
      {"-1e-999", "%lf", 0.0, true},
      {"infinity", "%lf", HUGE_VAL, false},
      {"infix", "%lf", 0.0, false},
      {"-nan(1)", "%lf", NAN, true},
      {"123456", "%3lf", 123.0, false},
      {"+", "%lf", 0.0, false},
      {"3.4028236e38", "%f", HUGE_VAL, false},
  };
  for (const auto& c : reals) {
    double value = -42.0;
    float single = -42.0f;
    const bool wide = std::strchr(c.format, 'l') != nullptr;
    EXPECT_EQ(kav_sscanf(c.input, c.format, wide ? static_cast<void*>(&value) : &single), 1);
    if (!wide) value = single;
    if (std::isnan(c.value)) {
      EXPECT_TRUE(std::isnan(value)) << c.input;
    } else {
      EXPECT_EQ(value, c.value) << c.input;
    }
    EXPECT_EQ(std::signbit(value), c.negative) << c.input;
  }
}

// Formats and lines made of the pieces that decide a field's reading: every directive letter with
// widths and size letters, delimiters, blanks, numbers at the edges of their ranges, reals in
// every notation, words.  kav_sscanf must store exactly what the per-field sscanf stores.
class Scramble {
 public:
  explicit Scramble(unsigned seed) : random_(seed) {}

  std::string Format() {
    std::string format;
    for (int n = 1 + Below(6); n > 0; --n) {
      format += '%';
      if (Below(12) == 0) format += '*';
      if (Below(2) == 0) format += std::to_string(Below(3) == 0 ? 0 : Below(40));
      format += Any({"", "", "", "", "l", "h", "ll", "."});
      format += "dfuscDT"[Below(7)];
      for (int k = Below(3); k > 0; --k) format += Any({",", "|", ":", " ", "x", "-", "]", "^"});
    }
    return format;
  }

  std::string Line() {
    std::string line;
    for (int n = Below(10); n > 0; --n) line += Token();
    return line;
  }

 private:
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  std::string Any(std::initializer_list<const char*> pieces) {
    return *(pieces.begin() + Below(static_cast<int>(pieces.size())));
  }

  std::string Digits(int n) {
    std::string digits;
    while (n-- > 0) digits += static_cast<char>('0' + Below(10));
    return digits;
  }

  std::string Token() {
    switch (Below(9)) {
      case 0:
        return Any({"-", "+", ""}) + Digits(1 + Below(22));
      case 1:
        return Any({"-", "+", ""}) + Digits(Below(4)) + Any({".", ""}) + Digits(Below(5)) +
               Any({"e", "E", "e-", "e+", ""}) + Digits(Below(4));
      case 2:
        return Any({"-", ""}) + Any({"0x", "0X"}) +
               Any({"1", "a", "F.8", ".", "", "1p", "1.8p-3", "p1", "fffffffffffffp999",
                    "1p-1100"});
      case 3:
        // No "nan(": glibc 2.36 reads "nan" alone, later versions the parenthesis too.
        return Any({"inf", "INFINITY", "infx", "infin", "nan", "NaN", "nan)", "na", "i"});
      case 4:
        return Any({"1e400", "1e-400", "2.5e-324", "1e-46", "8e-46", "3.4028236e38", "1e39",
                    "0e99999999999", "4294967296", "-2147483649", "9223372036854775808",
                    "18446744073709551616", "65536", "-32769"});
      case 5:
        return Any({"abc", "John Smith", "\xE9t\xE9", "e5", ".", ".e1", "%", "*"});
      case 6:
        return Any({" ", "  ", "\t", "\n ", "\v"});
      default:
        return Any({",", "|", ":", "-", "x", "]", "^"});
    }
  }

  std::mt19937 random_;
};

TEST(Scan, StoresWhatSscanfStoresFieldByField) {
#if !defined(__GLIBC__)
  GTEST_SKIP() << "the fields are read as glibc's sscanf reads them";
#endif
  constexpr int kTargets = 8;
  Scramble scramble(23);
  for (int round = 0; round < 40000; ++round) {
    const std::string format = scramble.Format(), line = scramble.Line();
    const std::size_t size = line.size() + 64;
    std::vector<std::vector<unsigned char>> ours(kTargets, std::vector<unsigned char>(size, 0xA5));
    std::vector<std::vector<unsigned char>> theirs = ours;
    void *a[kTargets], *b[kTargets];
    for (int i = 0; i < kTargets; ++i) a[i] = ours[i].data(), b[i] = theirs[i].data();
    const int count =
        kav_sscanf(line.c_str(), format.c_str(), a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
    const int expected = reference_sscanf(line.c_str(), format.c_str(), b[0], b[1], b[2], b[3],
                                          b[4], b[5], b[6], b[7]);
    ASSERT_EQ(count, expected) << "line [" << line << "] format [" << format << "]";
    for (int i = 0; i < kTargets; ++i) {
      ASSERT_EQ(ours[i], theirs[i])
          << "target " << i << " of line [" << line << "] format [" << format << "]";
    }
  }
}

}  // namespace
