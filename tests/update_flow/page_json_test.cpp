// The page's progress text is valid JSON for every double-byte character of code page 936 (the
// page's own code page): the name is converted and parsed by means independent of the code under
// test (iconv) and a real JSON parser.
#include <gtest/gtest.h>
#include <json/json.h>

#include <memory>
#include <optional>
#include <string>

#ifndef _WIN32  // natively only: the rule needs no second run under Wine
#include <iconv.h>

#include "update_rules.h"

namespace orv::updater {
namespace {

struct IconvClose {
  void operator()(void* cd) const { iconv_close(cd); }
};

std::string convert(const char* to, const char* from, const std::string& in, bool& ok) {
  const iconv_t opened = iconv_open(to, from);
  ok = opened != reinterpret_cast<iconv_t>(-1);
  if (!ok) return std::string();
  const std::unique_ptr<void, IconvClose> cd(opened);
  std::string out(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  char* dst = out.data();
  size_t srcLeft = in.size(), dstLeft = out.size();
  ok = iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1) && srcLeft == 0;
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
#endif
