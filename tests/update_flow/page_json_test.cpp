// The page's progress text is valid JSON for every double-byte character of code page 936 (the
// page's own code page): the name is converted and parsed by means independent of the code under
// test (iconv natively, the system's conversions under Windows) and a real JSON parser.
#include <gtest/gtest.h>
#include <json/json.h>

#include <memory>
#include <optional>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include "update_rules.h"

namespace orv::updater {
namespace {

#ifdef _WIN32
std::optional<std::wstring> fromCp936(const std::string& bytes) {
  wchar_t out[4];
  const int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, bytes.data(),
                                    static_cast<int>(bytes.size()), out, 4);
  if (n <= 0) return std::nullopt;
  return std::wstring(out, n);
}
std::string utf8Of(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}
#else
std::string convert(const char* to, const char* from, const std::string& in, bool& ok) {
  iconv_t cd = iconv_open(to, from);
  std::string out(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  char* dst = out.data();
  size_t srcLeft = in.size(), dstLeft = out.size();
  ok = cd != reinterpret_cast<iconv_t>(-1) &&
       iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1) && srcLeft == 0;
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  out.resize(out.size() - dstLeft);
  return out;
}
std::optional<std::wstring> fromCp936(const std::string& bytes) {
  bool ok = false;
  const std::string w = convert("WCHAR_T", "CP936", bytes, ok);
  if (!ok || w.empty()) return std::nullopt;
  return std::wstring(reinterpret_cast<const wchar_t*>(w.data()), w.size() / sizeof(wchar_t));
}
std::string utf8Of(const std::wstring& text) {
  bool ok = false;
  const std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  const std::string out = convert("UTF-8", "WCHAR_T", bytes, ok);
  EXPECT_TRUE(ok);
  return out;
}
#endif

TEST(PageJson, ProgressTextParsesForEveryDoubleByteCharacterOfCodePage936) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  int characters = 0, trailBackslash = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
      const std::optional<std::wstring> ch = fromCp936(bytes);
      if (!ch) continue;  // unassigned in the code page
      ++characters;
      if (trail == 0x5C) ++trailBackslash;
      const std::wstring name = L"\u66F4\u65B0" + *ch + L"\\" + *ch + L".exe";
      const std::string json = utf8Of(downloadProcessText(2, name, "1.00Kb", 1));
      Json::Value value;
      std::string errors;
      ASSERT_TRUE(reader->parse(json.data(), json.data() + json.size(), &value, &errors))
          << std::hex << lead << trail << ": " << errors << json;
      ASSERT_EQ(value["filename"].asString(), utf8Of(name)) << std::hex << lead << trail;
      ASSERT_EQ(value.size(), 4u);
    }
  }
  EXPECT_GT(characters, 20000);  // the code page's double-byte part, not a failed conversion
  EXPECT_GT(trailBackslash, 100);
}

}  // namespace
}  // namespace orv::updater
