// The registry owner against Wine's real registry, in a key of the test's own.
#include "reg_key.h"

#include <gtest/gtest.h>

#include <string>

namespace orv {
namespace {

const wchar_t kTestKey[] = L"Software\\OrvalinexFoundationTest";

class RegKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegKey(HKEY_CURRENT_USER).deleteSubtree(kTestKey);
    ASSERT_EQ(key_.create(HKEY_CURRENT_USER, kTestKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
  }
  void TearDown() override {
    key_.reset();
    RegKey(HKEY_CURRENT_USER).deleteSubtree(kTestKey);
  }
  void writeRaw(const wchar_t* name, DWORD type, const void* bytes, DWORD size) {
    ASSERT_EQ(::RegSetValueExW(key_.get(), name, 0, type, static_cast<const BYTE*>(bytes), size),
              ERROR_SUCCESS);
  }
  RegKey key_;
};

TEST_F(RegKeyTest, AFailedOpenLeavesTheKeyAsItWas) {
  const wchar_t kMissing[] = L"Software\\OrvalinexFoundationTest\\none";
  RegKey missing;
  EXPECT_EQ(missing.open(HKEY_CURRENT_USER, kMissing, KEY_READ), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(missing.valid());
  EXPECT_EQ(key_.open(HKEY_CURRENT_USER, kMissing, KEY_READ), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key_.writeDword(L"kept", 1), ERROR_SUCCESS) << "the key held before stays open";
}

TEST_F(RegKeyTest, DwordsReadOnlyAsFourByteDwords) {
  ASSERT_EQ(key_.writeDword(L"n", 0xFFFFFFFEu), ERROR_SUCCESS);
  DWORD value = 0;
  ASSERT_TRUE(key_.readDword(L"n", &value));
  EXPECT_EQ(value, 0xFFFFFFFEu);
  const unsigned char eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  writeRaw(L"qword", REG_QWORD, eight, 8);
  EXPECT_FALSE(key_.readDword(L"qword", &value));
  writeRaw(L"text", REG_SZ, L"1", 4);
  EXPECT_FALSE(key_.readDword(L"text", &value));
  EXPECT_FALSE(key_.readDword(L"missing", &value));
}

TEST_F(RegKeyTest, TextsFollowTheLengthAndTypeRules) {
  ASSERT_EQ(key_.writeText(L"t", L"C:\\Program Files\\Orv"), ERROR_SUCCESS);
  std::wstring value;
  ASSERT_TRUE(key_.readText(L"t", &value, 260));
  EXPECT_EQ(value, L"C:\\Program Files\\Orv");
  // 259 characters and the terminator fit 260 units; one more does not.
  ASSERT_EQ(key_.writeText(L"long", std::wstring(259, L'x')), ERROR_SUCCESS);
  EXPECT_TRUE(key_.readText(L"long", &value, 260));
  ASSERT_EQ(key_.writeText(L"longer", std::wstring(260, L'x')), ERROR_SUCCESS);
  EXPECT_FALSE(key_.readText(L"longer", &value, 260));
  EXPECT_TRUE(key_.readAnyText(L"longer", &value));
  EXPECT_EQ(value.size(), 260u);
  // Stored without a terminator, an odd byte count, or as binary: not a text here.
  const std::wstring full(260, L'y');  // fills the 260 units with no room for a terminator
  writeRaw(L"unterminated", REG_SZ, full.data(), 520);
  EXPECT_FALSE(key_.readText(L"unterminated", &value, 260));
  EXPECT_TRUE(key_.readAnyText(L"unterminated", &value));
  EXPECT_EQ(value, full);
  writeRaw(L"odd", REG_SZ, "abc", 3);
  EXPECT_FALSE(key_.readText(L"odd", &value, 260));
  writeRaw(L"binary", REG_BINARY, L"abc", 8);
  EXPECT_FALSE(key_.readText(L"binary", &value, 260));
  EXPECT_FALSE(key_.readAnyText(L"binary", &value));
  // Expandable texts are read as stored.
  writeRaw(L"expand", REG_EXPAND_SZ, L"%TEMP%", 14);
  ASSERT_TRUE(key_.readText(L"expand", &value, 260));
  EXPECT_EQ(value, L"%TEMP%");
}

TEST_F(RegKeyTest, BytesReadAsTextWhateverTheirTypeWhenTheyFit) {
  const wchar_t unterminated[3] = {L'1', L'.', L'2'};
  writeRaw(L"bin", REG_BINARY, unterminated, sizeof(unterminated));
  std::wstring value;
  ASSERT_TRUE(key_.readBytesAsText(L"bin", &value, 6));
  EXPECT_EQ(value, L"1.2");
  EXPECT_FALSE(key_.readBytesAsText(L"bin", &value, 4)) << "larger than the buffer";
  EXPECT_FALSE(key_.readBytesAsText(L"missing", &value, 260));
}

TEST_F(RegKeyTest, DeletesValuesAndWholeSubtrees) {
  ASSERT_EQ(key_.writeDword(L"gone", 1), ERROR_SUCCESS);
  EXPECT_EQ(key_.deleteValue(L"gone"), ERROR_SUCCESS);
  DWORD value = 0;
  EXPECT_FALSE(key_.readDword(L"gone", &value));

  RegKey deep;
  ASSERT_EQ(
      deep.create(HKEY_CURRENT_USER, L"Software\\OrvalinexFoundationTest\\a\\b\\c", KEY_WRITE),
      ERROR_SUCCESS);
  ASSERT_EQ(deep.writeText(nullptr, L"default"), ERROR_SUCCESS);
  deep.reset();
  EXPECT_EQ(key_.deleteSubtree(L"a"), ERROR_SUCCESS);
  RegKey check;
  EXPECT_EQ(check.open(HKEY_CURRENT_USER, L"Software\\OrvalinexFoundationTest\\a", KEY_READ),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key_.deleteSubtree(L"a"), ERROR_SUCCESS) << "a missing key counts as deleted";
}

TEST_F(RegKeyTest, MovesHandOverTheKeyOnce) {
  RegKey moved(std::move(key_));
  EXPECT_FALSE(key_.valid());
  EXPECT_EQ(moved.writeDword(L"m", 7), ERROR_SUCCESS);
  EXPECT_EQ(key_.writeDword(L"m", 7), ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace orv
