#include <gtest/gtest.h>

#include <cstring>

#include "pe_version.h"
#include "test_files.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace orv {
namespace {

void put16(std::string& b, std::size_t at, unsigned v) {
  b[at] = char(v & 0xFF);
  b[at + 1] = char((v >> 8) & 0xFF);
}
void put32(std::string& b, std::size_t at, unsigned v) {
  put16(b, at, v & 0xFFFF);
  put16(b, at + 2, v >> 16);
}

// A minimal PE32 image: one .rsrc section holding a version resource with the given version.
std::string makePeWithVersion(unsigned a, unsigned b, unsigned c, unsigned d) {
  std::string pe(0x400, '\0');
  pe[0] = 'M';
  pe[1] = 'Z';
  put32(pe, 0x3C, 0x40);
  std::memcpy(&pe[0x40], "PE\0\0", 4);
  const std::size_t coff = 0x44, opt = coff + 20, sections = opt + 224;
  put16(pe, coff, 0x14C);
  put16(pe, coff + 2, 1);
  put16(pe, coff + 16, 224);
  put16(pe, opt, 0x10B);
  put32(pe, opt + 92, 16);
  put32(pe, opt + 96 + 16, 0x1000);  // resource directory
  put32(pe, opt + 96 + 20, 0x100);
  std::memcpy(&pe[sections], ".rsrc", 5);
  put32(pe, sections + 8, 0x200);
  put32(pe, sections + 12, 0x1000);
  put32(pe, sections + 16, 0x200);
  put32(pe, sections + 20, 0x200);
  const std::size_t r = 0x200;
  put16(pe, r + 14, 1);   // root: one id entry
  put32(pe, r + 16, 16);  //   RT_VERSION
  put32(pe, r + 20, 0x80000000u | 0x18);
  put16(pe, r + 0x18 + 14, 1);  // name level
  put32(pe, r + 0x18 + 16, 1);
  put32(pe, r + 0x18 + 20, 0x80000000u | 0x30);
  put16(pe, r + 0x30 + 14, 1);  // language level
  put32(pe, r + 0x30 + 16, 0x409);
  put32(pe, r + 0x30 + 20, 0x48);
  put32(pe, r + 0x48, 0x1000 + 0x58);  // data entry
  put32(pe, r + 0x48 + 4, 0x5C);
  const std::size_t vi = r + 0x58;
  put16(pe, vi, 0x5C);
  put16(pe, vi + 2, 52);
  const char16_t key[] = u"VS_VERSION_INFO";
  for (int i = 0; key[i]; ++i) put16(pe, vi + 6 + 2 * i, key[i]);
  put32(pe, vi + 40, 0xFEEF04BD);
  put32(pe, vi + 44, 0x00010000);
  put32(pe, vi + 48, (a << 16) | b);
  put32(pe, vi + 52, (c << 16) | d);
  return pe;
}

TEST(PeVersion, ReadsTheFixedFileVersion) {
  const auto v = peFileVersion(makePeWithVersion(1, 0, 19, 1223));
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(v->toString(), L"1.0.19.1223");
}

TEST(PeVersion, FilesWithoutVersionResourceGiveNothing) {
  EXPECT_FALSE(peFileVersion("").has_value());
  EXPECT_FALSE(peFileVersion("MZ").has_value());
  EXPECT_FALSE(peFileVersion("plain text, not a program").has_value());
  std::string noResource = makePeWithVersion(1, 2, 3, 4);
  put32(noResource, 0x44 + 20 + 96 + 16, 0);
  EXPECT_FALSE(peFileVersion(noResource).has_value());
}

TEST(PeVersion, TruncatedOrCorruptedImagesNeverReadOutOfBounds) {
  const std::string pe = makePeWithVersion(5, 6, 7, 8);
  for (std::size_t n = 0; n < pe.size(); ++n) {
    const auto v = peFileVersion(pe.substr(0, n));
    if (v) {
      EXPECT_EQ(v->toString(), L"5.6.7.8") << "prefix " << n;
    }
  }
  for (std::size_t i = 0; i < 0x2C0; ++i) {
    for (unsigned char x : {0xFFu, 0x80u, 0x01u}) {
      std::string bad = pe;
      bad[i] = char(bad[i] ^ x);
      peFileVersion(bad);  // must not crash or read outside `bad` (sanitizers watch)
    }
  }
}

#ifdef _WIN32
TEST(PeVersion, AgreesWithTheSystemOnThisProgram) {
  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  const auto v = peFileVersion(test::readFile(self));
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(v->toString(), L"3.1.4.159");
}
#endif

}  // namespace
}  // namespace orv
