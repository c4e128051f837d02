// ProductKey, the direct version read and the first-run flag against the real registry of the
// test's Wine prefix (HKEY_LOCAL_MACHINE, 32-bit view).
#include "product_key.h"

#include <gtest/gtest.h>

#include <string>

#include "reg_key.h"

namespace orv {
namespace {

const wchar_t kId[] = L"OrvalinexSettingsTest";

std::wstring keyPath() { return std::wstring(kSettingsKeyPrefix) + kId; }

void deleteTestKey(REGSAM view = KEY_WOW64_32KEY) {
  RegKey parent;
  if (parent.open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Halvenor\\DovAZ", KEY_ALL_ACCESS | view) !=
      ERROR_SUCCESS)
    return;
  RegDeleteTreeW(parent.get(), kId);
  RegDeleteKeyExW(parent.get(), kId, view, 0);
}

bool testKeyExists(REGSAM view = KEY_WOW64_32KEY) {
  RegKey key;
  return key.open(HKEY_LOCAL_MACHINE, keyPath().c_str(), KEY_READ | view) == ERROR_SUCCESS;
}

// Writes a value with exactly the given type and bytes.
void putRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes,
            REGSAM view = KEY_WOW64_32KEY) {
  RegKey key;
  ASSERT_EQ(key.create(HKEY_LOCAL_MACHINE, keyPath().c_str(), KEY_ALL_ACCESS | view),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), bytes),
            ERROR_SUCCESS);
}

void putText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
  putRaw(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void putDword(const wchar_t* name, DWORD value) { putRaw(name, REG_DWORD, &value, sizeof(value)); }

class ProductKeyTest : public ::testing::Test {
 protected:
  void SetUp() override { deleteTestKey(); }
  void TearDown() override {
    deleteTestKey();
    deleteTestKey(KEY_WOW64_64KEY);
  }
};

TEST_F(ProductKeyTest, MissingKeyIsCreatedAndReadsDefaults) {
  ASSERT_FALSE(testKeyExists());
  ProductKey key(kId);
  EXPECT_TRUE(key.isOpen());
  EXPECT_TRUE(testKeyExists());
  EXPECT_EQ(key.keyPath(), L"SOFTWARE\\Halvenor\\DovAZ\\OrvalinexSettingsTest");
  EXPECT_EQ(key.readDword(L"AutoUpdate"), -1);
  EXPECT_EQ(key.readText(L"Path"), L"");
}

TEST_F(ProductKeyTest, DwordValues) {
  putDword(L"AutoUpdate", 1);
  putDword(L"LangID", 2052);
  putDword(L"RetryTimes", 0xFFFFFFFEu);
  ProductKey key(kId);
  EXPECT_EQ(key.readDword(L"AutoUpdate"), 1);
  EXPECT_EQ(key.readDword(L"LangID"), 2052);
  EXPECT_EQ(key.readDword(L"RetryTimes"), -2);
}

TEST_F(ProductKeyTest, DwordOfAnotherTypeReadsAsMissing) {
  putText(L"AutoUpdate", L"1");
  const unsigned long long wide = 1;
  putRaw(L"LangID", REG_QWORD, &wide, sizeof(wide));
  const unsigned char bytes[4] = {1, 0, 0, 0};
  putRaw(L"RetryTimes", REG_BINARY, bytes, sizeof(bytes));
  ProductKey key(kId);
  EXPECT_EQ(key.readDword(L"AutoUpdate"), -1);
  EXPECT_EQ(key.readDword(L"LangID"), -1);
  EXPECT_EQ(key.readDword(L"RetryTimes"), -1);
}

TEST_F(ProductKeyTest, TextValues) {
  putText(L"Path", L"C:\\Program Files\\Orvalinex");
  putText(L"Other", L"%SystemRoot%\\x", REG_EXPAND_SZ);
  ProductKey key(kId);
  EXPECT_EQ(key.readText(L"Path"), L"C:\\Program Files\\Orvalinex");
  EXPECT_EQ(key.readText(L"Other"), L"%SystemRoot%\\x");  // not expanded
}

TEST_F(ProductKeyTest, TextWithoutTerminatorReadsAsEmpty) {
  // The registry adds a forgotten terminator when the unit behind the data is zero, so the
  // buffer goes on with a non-zero unit that is not part of the value.
  const std::wstring text = L"C:\\Orvalinex!";
  putRaw(L"Path", REG_SZ, text.c_str(), static_cast<DWORD>((text.size() - 1) * sizeof(wchar_t)));
  ProductKey key(kId);
  EXPECT_EQ(key.readText(L"Path"), L"");
}

TEST_F(ProductKeyTest, TextOfOddLengthOrOtherTypeOrNoDataReadsAsEmpty) {
  const wchar_t text[] = L"abc";
  putRaw(L"Odd", REG_SZ, text, sizeof(text) - 1);
  putRaw(L"Binary", REG_BINARY, text, sizeof(text));
  putDword(L"Number", 7);
  putRaw(L"Empty", REG_SZ, nullptr, 0);
  ProductKey key(kId);
  EXPECT_EQ(key.readText(L"Odd"), L"");
  EXPECT_EQ(key.readText(L"Binary"), L"");
  EXPECT_EQ(key.readText(L"Number"), L"");
  EXPECT_EQ(key.readText(L"Empty"), L"");
}

TEST_F(ProductKeyTest, TextCapacityIs260UnitsWithTerminator) {
  putText(L"Fits", std::wstring(259, L'x'));
  putText(L"TooLong", std::wstring(260, L'y'));
  ProductKey key(kId);
  EXPECT_EQ(key.readText(L"Fits"), std::wstring(259, L'x'));
  EXPECT_EQ(key.readText(L"TooLong"), L"");
}

TEST_F(ProductKeyTest, KeyLivesInThe32BitView) {
  BOOL wow = FALSE;
  if (sizeof(void*) == 4) GTEST_SKIP() << "a 32-bit test program sees the 32-bit view only";
  putDword(L"AutoUpdate", 1);
  putRaw(L"LangID", REG_DWORD, "\x05\0\0\0", 4, KEY_WOW64_64KEY);  // 64-bit view only
  (void)wow;
  ProductKey key(kId);
  EXPECT_EQ(key.readDword(L"AutoUpdate"), 1);
  if (key.readDword(L"LangID") == 5)
    GTEST_SKIP() << "this Wine prefix does not separate the 32-bit and 64-bit registry views";
  EXPECT_EQ(key.readDword(L"LangID"), -1);
}

TEST_F(ProductKeyTest, VersionTextOfAMissingKeyIsTheFallback) {
  EXPECT_EQ(readVersionText(kId), std::wstring(L"获取版本信息失败"));
  EXPECT_FALSE(testKeyExists());  // the direct read never creates the key
}

TEST_F(ProductKeyTest, VersionTextOfAMissingValueIsTheFallback) {
  putDword(L"AutoUpdate", 1);
  EXPECT_EQ(readVersionText(kId), kVersionUnavailableText);
}

TEST_F(ProductKeyTest, VersionTextReadsUpTo129Characters) {
  putText(L"Version", L"1.0.19.1223");
  EXPECT_EQ(readVersionText(kId), L"1.0.19.1223");
  const std::wstring long129(129, L'9');
  putText(L"Version", long129);
  EXPECT_EQ(readVersionText(kId), long129);
}

TEST_F(ProductKeyTest, VersionTextOf130CharactersIsTheFallbackButTheUpdaterReadsIt) {
  const std::wstring long130(130, L'8');
  putText(L"Version", long130);
  EXPECT_EQ(readVersionText(kId), kVersionUnavailableText);
  ProductKey key(kId);
  EXPECT_EQ(key.readText(L"Version"), long130);
}

TEST_F(ProductKeyTest, VersionTextWithoutTerminatorStaysWithinItsBuffer) {
  const std::wstring text = std::wstring(130, L'7') + L"!";  // 260 bytes stored, no terminator
  putRaw(L"Version", REG_SZ, text.c_str(), 260);
  EXPECT_EQ(readVersionText(kId), std::wstring(130, L'7'));
}

TEST_F(ProductKeyTest, FirstRunFlagIsWrittenAsTextOne) {
  putDword(L"AutoUpdate", 0);
  EXPECT_TRUE(writeFirstRunFlag(kId));
  RegKey key;
  ASSERT_EQ(key.open(HKEY_LOCAL_MACHINE, keyPath().c_str(), KEY_READ | KEY_WOW64_32KEY),
            ERROR_SUCCESS);
  wchar_t data[8] = {};
  DWORD type = 0;
  DWORD size = sizeof(data);
  ASSERT_EQ(RegQueryValueExW(key.get(), L"FirstAfterUpdate", nullptr, &type,
                             reinterpret_cast<BYTE*>(data), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(std::wstring(data), L"1");
}

TEST_F(ProductKeyTest, FirstRunFlagNeverCreatesTheKey) {
  EXPECT_FALSE(writeFirstRunFlag(kId));
  EXPECT_FALSE(testKeyExists());
}

}  // namespace
}  // namespace orv
