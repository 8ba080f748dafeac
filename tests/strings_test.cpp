// strings_test.cpp - tests for the string primitives in text/strings.cpp.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kavutil.h"

namespace {

TEST(Paths, BasenameAndDirname) {
  char path[] = "C:\\dir/file.txt", name[] = "name", dir[] = "dir/";
  EXPECT_EQ(kav_basename(path), path + 7);
  EXPECT_EQ(kav_basename(name), name);
  EXPECT_EQ(kav_basename(dir), dir + 4);
  const char* cases[][2] = {{"a\\b", "a"}, {"a/b/c", "a/b"}, {"dir/", "dir"},
                            {"name", "."}, {"", "."},        {"/name", "."}};
  for (const auto& c : cases) {
    std::string buffer = std::string(c[0]) + '\0';
    EXPECT_STREQ(kav_dirname(buffer.data()), c[1]) << c[0];
  }
}

TEST(Rounding, DroundAndDtrunc) {
  // value, digits, expected; 1.45 gives 1.4 if 0.45 * 100 stays 44.99... in x87 precision
  const double cases[][3] = {{2.345, 2, 2.35}, {-2.345, 2, -2.35}, {1.005, 2, 1.0},
                             {1.45, 1, 1.5},   {7.5, -3, 8.0},     {0.123456786, 8, 0.12345679}};
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(dround(c[0], static_cast<int>(c[1])), c[2]) << c[0] << " " << c[1];
  }
  EXPECT_EQ(dround(0.1234567891, 9), 0.1234567891);
  EXPECT_TRUE(std::isnan(dround(NAN, 2)));
  EXPECT_EQ(dround(-INFINITY, 2), -INFINITY);
  EXPECT_EQ(dtrunc(-2.7), -2.0);
}

TEST(Escaping, ToHeapAndToStream) {
  const char* cases[][2] = {
      {"a|b\\c\n", "a\\174b\\134c\\012"}, {"", ""}, {"\t\xE9~ ", "\\011\\351~ "}, {nullptr, ""}};
  for (const auto& c : cases) {
    char* out = escape_control(c[0], nullptr);
    ASSERT_NE(out, nullptr);
    EXPECT_STREQ(out, c[1]);
    std::free(out);
  }
  FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(escape_control("x\x7F|", stream), nullptr);
  EXPECT_EQ(escape_control(nullptr, stream), nullptr);
  std::rewind(stream);
  char written[16] = {};
  EXPECT_EQ(std::fread(written, 1, sizeof written - 1, stream), 9u);
  EXPECT_STREQ(written, "x\\177\\174");
  std::fclose(stream);
}

TEST(Searching, EmptyArgumentsAndCase) {
  char text[] = "Hello hello", empty[] = "", hello[] = "HELLO";
  EXPECT_EQ(kav_strstr(text, "hello"), text + 6);
  EXPECT_EQ(kav_strstr(text, ""), text);
  EXPECT_EQ(kav_strstr(empty, ""), nullptr);
  EXPECT_EQ(kav_stristr(text + 1, hello), text + 6);
  EXPECT_EQ(kav_stristr(empty, empty), nullptr);
  EXPECT_EQ(kav_stristr(nullptr, hello), nullptr);
  const char* ids = "x = FooBar + afoo foo_bar";
  EXPECT_EQ(stritok(ids, "foo=1"), ids + 4);
  EXPECT_EQ(stritok(ids, "foo_b"), ids + 18);
  EXPECT_EQ(stritok("food", "fox"), nullptr);
  EXPECT_EQ(stritok(nullptr, "foo"), nullptr);
}

// The plain scan: at every position, compare the needle upper-cased.
const char* PlainSearchIgnoringCase(const char* haystack, const char* needle) {
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  for (const char* p = haystack; *p != '\0'; ++p) {
    std::size_t i = 0;
    while (needle[i] != '\0' && upper(p[i]) == upper(needle[i])) ++i;
    if (needle[i] == '\0') return p;
  }
  return nullptr;
}

// Haystacks of letters in both cases and the bytes next to them ('@', '[', '`', '{', and bytes
// above 0x7F that differ from a letter by the case bit), some longer than the blocks whose end
// the search looks for at a time; needles cut from the haystack with their case changed, or
// made up.  Each haystack fills its heap block exactly, so a read past its NUL is caught under
// AddressSanitizer.
TEST(Searching, StristrFindsWhatThePlainScanFinds) {
  std::mt19937 random(23);
  const auto below = [&random](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  const char alphabet[] = "aAbBzZ@[`{ \xC1\xE1\xDA\xFA";
  for (int round = 0; round < 3000; ++round) {
    const std::size_t length = round % 50 == 0 ? 16000 + below(20000) : below(200);
    std::vector<char> haystack(length + 1);
    for (std::size_t i = 0; i < length; ++i) {
      haystack[i] = alphabet[below(round % 3 == 0 ? 4 : sizeof alphabet - 1)];
    }
    haystack[length] = '\0';
    std::string needle;
    if (length > 0 && below(3) != 0) {
      const bool whole_tail = length > 16000 && below(2) == 0;  // longer than a block
      const std::size_t at = whole_tail ? below(64) : below(length);
      const std::size_t take = whole_tail ? length - at : 1 + below(24);
      needle.assign(haystack.data() + at, std::min(take, length - at));
      for (char& c : needle) {
        if (below(2) == 0 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) c ^= 0x20;
      }
      if (below(4) == 0) needle.back() = alphabet[below(sizeof alphabet - 1)];
    } else {
      for (std::size_t n = below(6); n > 0; --n) needle += alphabet[below(sizeof alphabet - 1)];
    }
    const char* expected = PlainSearchIgnoringCase(haystack.data(), needle.c_str());
    ASSERT_EQ(kav_stristr(haystack.data(), needle.data()), expected)
        << "haystack of " << length << " bytes, needle [" << needle << "]";
  }
}

// The search learns where a long haystack ends 16 KiB at a time: a needle across every such
// border is found, and one cut off by the NUL is not.
TEST(Searching, StristrAcrossTheBlocksOfALongHaystack) {
  for (std::size_t border : {std::size_t{16384}, std::size_t{32768}}) {
    for (std::size_t at = border - 9; at <= border + 1; ++at) {
      std::vector<char> haystack(border + 64, 'n');
      haystack.back() = '\0';
      std::memcpy(haystack.data() + at, "NeEdLe", 6);
      char needle[] = "needle";
      EXPECT_EQ(kav_stristr(haystack.data(), needle), haystack.data() + at) << at;
      haystack[at + 5] = '\0';
      EXPECT_EQ(kav_stristr(haystack.data(), needle), nullptr) << at;
    }
  }
}

TEST(Scanners, EmptyFieldsCursorsAndLineBreaking) {
  char fields[] = "key==val==", tokens[] = "a,,b;", piece[16];
  EXPECT_STREQ(kav_strfld(fields, "=="), "key");
  EXPECT_STREQ(kav_strtok(tokens, ",;"), "a");
  EXPECT_EQ(kav_strbrk(piece, "abc def", 3), 3);
  EXPECT_STREQ(kav_strfld(nullptr, "=="), "val");
  EXPECT_STREQ(kav_strtok(nullptr, ",;"), "");
  EXPECT_EQ(kav_strbrk(piece, nullptr, 3), 3);
  EXPECT_STREQ(piece, "def");
  EXPECT_STREQ(kav_strfld(nullptr, "=="), "");
  EXPECT_STREQ(kav_strtok(nullptr, ",;"), "b");
  EXPECT_STREQ(kav_strtok(nullptr, ",;"), "");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(kav_strfld(nullptr, "=="), nullptr);
    EXPECT_EQ(kav_strtok(nullptr, ",;"), nullptr);
  }
  const struct {
    const char* text;
    int width;
    const char* pieces[4];
  } cases[] = {
      {"hello world again", 11, {"hello world", "again"}},
      {"abcdefgh", 5, {"abcde", "fgh"}},
      {"ab\ncdefgh", 5, {"ab", "\ncdef", "gh"}},  // a line feed starts the next piece
      {"a\nb cdefg", 5, {"a\nb", "cdefg"}},       // a space wins over a line feed
  };
  for (const auto& c : cases) {
    const char* text = c.text;
    for (const char* const* expected = c.pieces; *expected != nullptr; ++expected) {
      EXPECT_EQ(kav_strbrk(piece, text, c.width), static_cast<int>(std::strlen(*expected)))
          << c.text;
      EXPECT_STREQ(piece, *expected);
      text = nullptr;
    }
    EXPECT_EQ(kav_strbrk(piece, nullptr, c.width), 0);
    EXPECT_STREQ(piece, "");
  }
  // Width 0 gives an empty piece and leaves the scan where it was.
  EXPECT_EQ(kav_strbrk(piece, "one two", 3), 3);
  EXPECT_EQ(kav_strbrk(piece, "ignored", 0), 0);
  EXPECT_STREQ(piece, "");
  EXPECT_EQ(kav_strbrk(piece, nullptr, 3), 3);
  EXPECT_STREQ(piece, "two");
}

TEST(Stripping, FixedFieldsSqueezeAndRemove) {
  const struct {
    int(KAV_CALL* strip)(char*, unsigned int);
    std::string buffer;
    unsigned int len;
    int result;
    const char* text;
  } cases[] = {
      {stripblanks_end, "ab  ", 0, 2, "ab"},
      {stripblanks_end, "    ", 0, 0, ""},
      {stripblanks_end, std::string("ab\0\0xyz", 7), 4, 2, "ab"},
      {stripblanks_endcrnl, std::string("ab \0 \r\nxyz", 10), 7, 2, "ab"},
      {stripblanks_begend, std::string("  ab \0\0", 7), 7, 2, "ab"},
      {stripblanks_begend, "  ab]xyz", 4, 2, "ab"},  // field neither NUL-ended nor blank-ended
      {stripblanks_any, " a b c ", 7, 3, "abc"},
      {stripblanks_any, " a\tb ", 5, 3, "a\tb"},
  };
  for (const auto& c : cases) {
    std::string buffer = c.buffer + '\0';
    EXPECT_EQ(c.strip(buffer.data(), c.len), c.result) << c.buffer;
    EXPECT_STREQ(buffer.c_str(), c.text) << c.buffer;
  }
  EXPECT_EQ(stripblanks_end(nullptr, 3) + stripblanks_endcrnl(nullptr, 0), 0);
  char squeezed[] = "\t a \tb  ", name[] = "<a<<b>";
  EXPECT_EQ(stripblanks_begendmult(squeezed, 8), -5);
  EXPECT_STREQ(squeezed, "a b");
  EXPECT_EQ(strip_chars(name, "<>"), name);
  EXPECT_STREQ(name, "ab");
}

TEST(Copying, StrdubAppendsWithoutTerminator) {
  char out[8];
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(kav_strdub(kav_strdub(out, "ab"), "cde"), out + 5);
  EXPECT_EQ(std::string(out, 6), "abcde#");
}

}  // namespace
