// scan_test.cpp - kav_sscanf, the field splitter in text/scan.cpp.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "kavutil.h"

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

}  // namespace
