// micr_test.cpp - the MICR code line: field layout, font codes, the record's defaults and bounds,
// and the routing-number check digit.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "kavutil.h"

namespace {

class MicrLineTest : public ::testing::Test {
 protected:
  void SetUp() override { MICR_DecodeFormat_E13B(nullptr, &record_); }

  std::string Build(const char* symbols = nullptr) {
    return MICR_BuildLine_E13B(&record_, symbols);
  }

  MICR_Line_E13B record_{};
};

// The default layout with a full transit and on-us field is a kav_cli check.
TEST_F(MicrLineTest, FieldTextsAreRightAlignedAndCutToTheirRuns) {
  EXPECT_EQ(MICR_BuildLine_E13B(&record_, nullptr), record_.line);
  EXPECT_NE(Build().find("A" + std::string(9, ' ') + "A"), std::string::npos);
  std::strcpy(record_.transit, "1234567890");
  EXPECT_NE(Build().find("A123456789A"), std::string::npos);
  std::strcpy(record_.transit, "12-3xB");
  EXPECT_NE(Build().find("A   12D3 BA"), std::string::npos);
}

TEST_F(MicrLineTest, EveryFieldLetterAndSymbol) {
  MICR_DecodeFormat_E13B("B$$$$B D-0 eee aa tt-tt oo", &record_);
  std::strcpy(record_.amount, "12");
  std::strcpy(record_.epc, "7");
  std::strcpy(record_.aux_on_us, "55");
  std::strcpy(record_.transit, "9");
  std::strcpy(record_.on_us, "34");
  const std::string line = "B  12B DD0   7 55  9D 9 34";
  EXPECT_EQ(Build(), line);
  EXPECT_EQ(Build(""), line);
  EXPECT_EQ(Build("wxyz."), "x..12x.zz0...7.55..9z.9.34");
  MICR_DecodeFormat_E13B(" A B C D ", &record_);
  EXPECT_EQ(Build("wx"), "w x C D ");  // a short symbol string keeps the other defaults
  MICR_DecodeFormat_E13B("     ", &record_);
  EXPECT_EQ(Build(), "");
  record_.format[0] = '\0';
  EXPECT_EQ(Build(), "");
}

// SetUp decodes a null template, which gives the default layout the other tests draw.
TEST_F(MicrLineTest, DecodeFormatResetsFieldsAndKeepsDefaultWithoutTemplate) {
  MICR_Line_E13B fresh{};
  MICR_SetDefaults_E13B(&fresh);
  std::strcpy(record_.transit, "123");
  std::strcpy(record_.format, "tt");
  MICR_DecodeFormat_E13B("", &record_);
  EXPECT_STREQ(record_.transit, "");
  EXPECT_STREQ(record_.format, fresh.format);
}

TEST_F(MicrLineTest, TextsOfAFullArrayAreCutAt1023) {
  std::memset(record_.format, 'o', MICR_TEXT_SIZE);
  std::memset(record_.on_us, '7', MICR_TEXT_SIZE);
  std::memset(record_.line, 'x', MICR_TEXT_SIZE);
  for (char* field : {record_.amount, record_.transit, record_.epc, record_.aux_on_us}) {
    std::memset(field, '1', MICR_TEXT_SIZE);
  }
  EXPECT_EQ(Build(), std::string(1023, '7'));
  const std::string long_format(2000, 't');
  MICR_DecodeFormat_E13B(long_format.c_str(), &record_);
  EXPECT_EQ(std::strlen(record_.format), 1023u);
}

TEST(MicrDefaults, SetsEveryClientSettingAndRefusesANullRecord) {
  MICR_Line_E13B record;
  std::memset(&record, 0x5a, sizeof record);
  EXPECT_EQ(MICR_SetDefaults_E13B(&record), 0);
  EXPECT_TRUE(record.amount[0] == '\0' && record.aux_on_us[0] == '\0');
  EXPECT_TRUE(record.client_option == 1 && record.client_offsets[0] == 0.0);
  EXPECT_EQ(record.client_offsets[1], 0.0);
  const double sizes[7] = {0.625, 0.25, 0.1875, 0.25, 0.125, 0.0625, 0.013};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(record.client_sizes[i], sizes[i]) << i;
  int values[54] = {44, 65, 5, 1, 13, 33, 44, 44};
  const int middle[5] = {12, 20, 11, 2, -1};
  std::memcpy(values + 28, middle, sizeof middle);
  for (int i = 0; i < 54; ++i) EXPECT_EQ(record.client_values[i], values[i]) << i;
  EXPECT_EQ(MICR_SetDefaults_E13B(nullptr), 1);
  EXPECT_EQ(MICR_BuildLine_E13B(nullptr, nullptr), nullptr);
  MICR_DecodeFormat_E13B("tt", nullptr);
}

TEST(MicrChecksum, RoutingCheckDigit) {
  const std::pair<const char*, int> cases[] = {
      {"01100001", 5}, {"876543219999", 2}, {"1234567", -1}, {nullptr, -1}};
  for (const auto& [digits, check] : cases) {
    EXPECT_EQ(MICR_CalculateChecksum(digits), check) << (digits ? digits : "null");
  }
}

}  // namespace
