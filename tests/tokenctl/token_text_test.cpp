#include "token_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using orv::tokenctl::trimTrailingBlanks;

std::string trimmed(const std::string& text, std::size_t width) {
  std::string f(width, ' ');
  f.replace(0, text.size(), text);
  return trimTrailingBlanks(reinterpret_cast<const unsigned char*>(f.data()), width);
}

TEST(TokenText, LabelOfThreeLettersAnd29BlanksIsTheThreeLetters) {
  EXPECT_EQ(trimmed("ABC", 32), "ABC");
}

TEST(TokenText, InnerBlanksStay) {
  EXPECT_EQ(trimmed("My  Key 1", 32), "My  Key 1");
  EXPECT_EQ(trimmed(" lead", 16), " lead");
}

TEST(TokenText, FullWidthAndBlankFields) {
  const std::string full(32, 'x');
  EXPECT_EQ(trimmed(full, 32), full);
  EXPECT_EQ(trimmed("", 16), "");
}

TEST(TokenText, FieldEndsAtZeroByte) {
  const unsigned char f[8] = {'A', 'B', 0, 'C', ' ', ' ', ' ', ' '};
  EXPECT_EQ(trimTrailingBlanks(f, sizeof f), "AB");
}

TEST(TokenText, SerialStoredLeastSignificantFirstReadsMostSignificantFirst) {
  const unsigned char serial[] = {0x01, 0x02, 0x0A};
  EXPECT_EQ(orv::tokenctl::serialNumberText(serial, sizeof serial), "0a0201");
}

TEST(TokenText, LongSerialIsFormattedWhole) {
  std::vector<unsigned char> serial(40);
  for (std::size_t i = 0; i < serial.size(); ++i)
    serial[i] = static_cast<unsigned char>(0xF0 + (i % 16));
  const std::string text = orv::tokenctl::serialNumberText(serial.data(), serial.size());
  ASSERT_EQ(text.size(), 80u);
  EXPECT_EQ(text.substr(0, 4), "f7f6");  // byte 39 is 0xF7, byte 38 0xF6
  EXPECT_EQ(text.substr(76), "f1f0");
}

TEST(TokenText, DateText) {
  EXPECT_EQ(orv::tokenctl::dateText(2015, 10, 18), "2015-10-18");
  EXPECT_EQ(orv::tokenctl::dateText(999, 1, 2), "0999-01-02");
}

TEST(TokenText, WrongPinResult) {
  EXPECT_EQ(orv::tokenctl::wrongPinResult(6), 5);
  EXPECT_EQ(orv::tokenctl::wrongPinResult(3), 2);
  EXPECT_EQ(orv::tokenctl::wrongPinResult(2), 1);
  EXPECT_EQ(orv::tokenctl::wrongPinResult(1), -1);
  EXPECT_FALSE(orv::tokenctl::wrongPinResult(0).has_value());
}

TEST(TokenText, EqualIgnoringCase) {
  EXPECT_TRUE(orv::tokenctl::equalIgnoringCase("C:\\Windows\\System32\\X.dll",
                                               "c:\\windows\\system32\\x.DLL"));
  EXPECT_FALSE(orv::tokenctl::equalIgnoringCase("C:\\a", "C:\\b"));
  EXPECT_FALSE(orv::tokenctl::equalIgnoringCase("C:\\a", "C:\\a "));
  EXPECT_FALSE(orv::tokenctl::equalIgnoringCase("", "x"));
  // Bytes outside ASCII are compared as they are.
  EXPECT_FALSE(orv::tokenctl::equalIgnoringCase("\xC4", "\xE4"));
}

}  // namespace
