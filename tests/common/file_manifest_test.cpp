#include <gtest/gtest.h>

#include "ansi_text.h"
#include "file_manifest.h"
#include "manifest_signature.h"
#include "manifest_xml.h"
#include "path_join.h"
#include "product.h"
#include "test_files.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using test::devPrivateKey;
using test::devPublicKey;
using test::fileElement;
using test::manifestBody;
using test::TempDir;
using test::writeFile;

// "abc" and its digest (SHA-1, base64).
const char kAbc[] = "abc";
const char kAbcDigest[] = "qZk+NkcGgWq6PiVxeFDCbJzQ2J0=";

class FileManifestTest : public testing::Test {
 protected:
  void writeMain(const std::string& files) {
    writeFile(dir_ / "Digest.xml", signManifest(manifestBody(files), devPrivateKey()));
  }
  void writeExtra(const std::string& files) {
    writeFile(dir_ / "Digest_n.xml", manifestBody(files));
  }
  FileManifest manifest() { return FileManifest(dir_.wpath(), devPublicKey()); }
  std::string digestOf(const std::string& rel) {
    return toNarrow(fileDigest(joinPath(dir_.wpath(), toWide(rel))));
  }

  TempDir dir_;
};

TEST_F(FileManifestTest, ConstructionNamesBothManifestsAndReadsNothing) {
  FileManifest m(L"C:\\Orvalinex\\");
  EXPECT_EQ(m.manifestPath(L"Digest.xml"), L"C:\\Orvalinex\\\\Digest.xml");
  EXPECT_EQ(m.manifestPath(L"Digest_n.xml"), L"C:\\Orvalinex\\\\Digest_n.xml");
  EXPECT_TRUE(m.entries().empty());
  EXPECT_THROW(m.manifestPath(L"Other.xml"), std::out_of_range);
}

TEST_F(FileManifestTest, SignedOnlyLoadTakesNothingFromTheExtraFileAndListsDocumentOrder) {
  writeMain(fileElement("z.exe", "", kAbcDigest, "1.2.0.0") +
            fileElement("a.txt", "", kAbcDigest, "1.1.0.0") +
            fileElement("evil.exe", "..", kAbcDigest));
  writeExtra(fileElement("b.txt", "Res", kAbcDigest));
  FileManifest m = manifest();
  std::vector<ManifestEntry> order;
  ASSERT_TRUE(m.verifyAndLoadSignedOnly(&order));
  ASSERT_EQ(m.entries().size(), 2u) << "the unsafe entry is dropped, the extra file not read";
  EXPECT_EQ(m.entries().count(L"\\z.exe"), 1u);
  EXPECT_EQ(m.entries().count(L"Res\\b.txt"), 0u);
  ASSERT_EQ(order.size(), 3u) << "every File element as read";
  EXPECT_EQ(order[0].fileName, L"z.exe");
  EXPECT_EQ(order[0].version.text(), L"1.2.0.0");
  EXPECT_EQ(order[2].path, L"..");

  writeFile(dir_ / "Digest.xml", manifestBody(fileElement("a.txt", "", kAbcDigest)));
  FileManifest unsignedOne = manifest();
  std::vector<ManifestEntry> none;
  EXPECT_FALSE(unsignedOne.verifyAndLoadSignedOnly(&none));
  EXPECT_TRUE(unsignedOne.entries().empty());
  EXPECT_TRUE(none.empty());
}

TEST_F(FileManifestTest, LoadsSignedAndExtraEntriesInKeyOrder) {
  writeFile(dir_ / "a.txt", kAbc);
  writeFile(dir_ / "Script" / "CoreConfig.lua", "return 1");
  writeMain(fileElement("a.txt", "", kAbcDigest) +
            fileElement("CoreConfig.lua", "Script", digestOf("Script\\CoreConfig.lua"), "2.3.4.5"));
  writeExtra(fileElement("b.txt", "Res", "", "9.9.9.9") +
             fileElement("a.txt", "", "other", "7.7.7.7"));
  FileManifest m = manifest();
  ASSERT_TRUE(m.verifyAndLoad());
  const auto& e = m.entries();
  ASSERT_EQ(e.size(), 3u);
  auto it = e.begin();
  EXPECT_EQ(it->first, L"Res\\b.txt");
  EXPECT_FALSE(it->second.fromMain);
  EXPECT_EQ(it->second.version.toString(), L"9.9.9.9");
  ++it;
  EXPECT_EQ(it->first, L"Script\\CoreConfig.lua");
  EXPECT_TRUE(it->second.fromMain);
  EXPECT_EQ(it->second.version, VersionNumber(2, 3, 4, 5));
  ++it;
  // The main manifest's entry wins over the extra one with the same key.
  EXPECT_EQ(it->first, L"\\a.txt");
  EXPECT_TRUE(it->second.fromMain);
  EXPECT_EQ(it->second.digest, toWide(kAbcDigest));
  EXPECT_EQ(it->second.status, EntryStatus::Unchanged);
}

// Keys that differ only in case name one file on Windows: the first wins there too.
TEST_F(FileManifestTest, FirstOfTwoEqualKeysWinsAndBadVersionsStay) {
  // Written by hand: no entry holds a version of three or five numbers.
  const auto raw = [](const char* name, const char* digest, const char* version) {
    return std::string("<File FileName=\"") + name + "\" Path=\"P\" Digest=\"" + digest +
           "\" Version=\"" + version + "\"/>";
  };
  writeMain(raw("x", "d1", "1.2.3") + fileElement("x", "P", "d2", "1.2.3.4") +
            fileElement("X", "p", "d4", "1.2.3.4") + raw("y", "d3", "1.2.3.4.5"));
  FileManifest m = manifest();
  ASSERT_TRUE(m.verifyAndLoad());
  ASSERT_EQ(m.entries().size(), 2u);
  const ManifestEntry& x = m.entries().at(L"P\\x");
  EXPECT_EQ(x.digest, L"d1");
  EXPECT_EQ(x.version, VersionNumber(0, 0, 0, 0));
  EXPECT_EQ(x.version.text(), L"");
  EXPECT_EQ(m.entries().at(L"P\\y").version.text(), L"");
}

TEST_F(FileManifestTest, MissingAttributesReadAsEmptyAndAnEmptyPathDoublesTheSeparator) {
  writeFile(dir_ / "a.txt", kAbc);
  writeMain("<File FileName=\"a.txt\" Digest=\"" + std::string(kAbcDigest) + "\"/>\r\n");
  FileManifest m = manifest();
  ASSERT_TRUE(m.verifyAndLoad());
  ASSERT_EQ(m.entries().count(L"\\a.txt"), 1u);
  EXPECT_EQ(m.localPath(L"\\a.txt"), dir_.wpath() + L"\\\\a.txt");
  EXPECT_TRUE(m.checkFiles());
}

TEST_F(FileManifestTest, ExtraManifestMissingOrBrokenIsNoFailure) {
  writeMain(fileElement("a", "", "d"));
  {
    FileManifest m = manifest();
    EXPECT_TRUE(m.verifyAndLoad());
    EXPECT_EQ(m.entries().size(), 1u);
  }
  writeFile(dir_ / "Digest_n.xml", "<FileInfo><File FileName=\"b\"");
  FileManifest m = manifest();
  EXPECT_TRUE(m.verifyAndLoad());
  EXPECT_EQ(m.entries().size(), 1u);
  EXPECT_TRUE(m.loadManifestFile(FileManifest::Which::Extra));
}

TEST_F(FileManifestTest, UnsignedForgedOrMissingMainManifestFails) {
  EXPECT_FALSE(manifest().verifyAndLoad());  // missing
  writeFile(dir_ / "Digest.xml", manifestBody(fileElement("a", "", "d")));
  EXPECT_FALSE(manifest().verifyAndLoad());  // unsigned
  writeMain(fileElement("a", "", "d"));
  std::string bytes = test::readFile(dir_ / "Digest.xml");
  bytes.replace(bytes.find("\"d\""), 3, "\"e\"");
  writeFile(dir_ / "Digest.xml", bytes);
  FileManifest forged = manifest();
  EXPECT_FALSE(forged.verifyAndLoad());
  EXPECT_TRUE(forged.entries().empty());
  // A key that did not sign it.
  writeMain(fileElement("a", "", "d"));
  FileManifest otherKey(dir_.wpath(),
                        "-----BEGIN RSA PUBLIC KEY-----\n-----END RSA PUBLIC KEY-----\n");
  EXPECT_FALSE(otherKey.verifyAndLoad());
}

TEST_F(FileManifestTest, SignedManifestWithoutFileInfoOrFilesFails) {
  writeFile(dir_ / "Digest.xml",
            signManifest("<Other><File FileName=\"a\"/></Other>\r\n", devPrivateKey()));
  EXPECT_FALSE(manifest().verifyAndLoad());
  writeFile(dir_ / "Digest.xml", signManifest("<FileInfo><Note/></FileInfo>", devPrivateKey()));
  EXPECT_FALSE(manifest().verifyAndLoad());
  writeFile(dir_ / "Digest.xml", signManifest("<FileInfo></FileInfo>", devPrivateKey()));
  EXPECT_FALSE(manifest().verifyAndLoad());
}

TEST_F(FileManifestTest, FileInfoIsFoundDownTheChainOfFirstChildren) {
  writeFile(dir_ / "Digest.xml", signManifest("<Root><Wrap><FileInfo>" + fileElement("a", "", "d") +
                                                  "</FileInfo></Wrap></Root>",
                                              devPrivateKey()));
  FileManifest m = manifest();
  EXPECT_TRUE(m.verifyAndLoad());
  EXPECT_EQ(m.entries().size(), 1u);
  // Any child of an element on the chain counts, even behind other children.
  writeFile(dir_ / "Digest.xml", signManifest("<Root><First/><FileInfo>" +
                                                  fileElement("a", "", "d") + "</FileInfo></Root>",
                                              devPrivateKey()));
  EXPECT_TRUE(manifest().verifyAndLoad());
  // Below a second child it is off the chain of first children and not found.
  writeFile(dir_ / "Digest.xml",
            signManifest("<Root><First/><Second><FileInfo>" + fileElement("a", "", "d") +
                             "</FileInfo></Second></Root>",
                         devPrivateKey()));
  EXPECT_FALSE(manifest().verifyAndLoad());
}

TEST_F(FileManifestTest, HostileContentFailsCleanly) {
  // A huge attribute loads as text; nothing depends on its length.
  writeMain(fileElement(std::string(4 << 20, 'n'), std::string(1 << 20, 'p'), "d"));
  FileManifest big = manifest();
  EXPECT_TRUE(big.verifyAndLoad());
  EXPECT_FALSE(big.checkFiles());
  // Deep nesting is refused by the parser, not followed.
  std::string open, close;
  for (int i = 0; i < 100000; ++i) {
    open += "<FileInfo>";
    close += "</FileInfo>";
  }
  writeFile(dir_ / "Digest.xml", signManifest(open + close, devPrivateKey()));
  EXPECT_FALSE(manifest().verifyAndLoad());
  // Moderate nesting is fine: FileInfo is found at the end of the chain of first children.
  std::string wrapOpen, wrapClose;
  for (int i = 0; i < 50; ++i) {
    wrapOpen += "<Wrap>";
    wrapClose += "</Wrap>";
  }
  writeFile(dir_ / "Digest.xml", signManifest(wrapOpen + "<FileInfo>" + fileElement("a", "", "d") +
                                                  "</FileInfo>" + wrapClose,
                                              devPrivateKey()));
  EXPECT_TRUE(manifest().verifyAndLoad());
  // Not XML at all, and an extra manifest of garbage.
  writeFile(dir_ / "Digest.xml", signManifest("\x01\x02<<<&&&;;", devPrivateKey()));
  EXPECT_FALSE(manifest().verifyAndLoad());
}

// The updater's entry is its name, case-sensitive, at the base; anything else is an ordinary file.
TEST(UpdaterEntry, TheUpdatersNameAtTheBaseOffersNoVersionAndGivesTheHandOversDigest) {
  const auto entry = [](const wchar_t* path, const wchar_t* name, const wchar_t* version) {
    ManifestEntry e;
    e.path = path;
    e.fileName = name;
    e.version = VersionNumber::parse(version);
    e.digest = version;
    return e;
  };
  const struct {
    ManifestEntry first;
    bool isUpdater;
  } cases[] = {{entry(L"", kUpdaterFileName, L"1.1.19.1300"), true},
               {entry(L"bin", kUpdaterFileName, L"1.0.0.1"), false},
               {entry(L"", L"orvalinexupdate.exe", L"1.0.0.2"), false}};
  for (const auto& c : cases) {
    std::vector<ManifestEntry> order = {c.first, entry(L"", L"setup.exe", L"1.1.20.0")};
    EXPECT_EQ(isUpdaterEntry(c.first), c.isUpdater);
    EXPECT_EQ(offeredVersionEntry(order)->version.text(),
              c.isUpdater ? L"1.1.20.0" : c.first.version.text());
    FileManifest::Entries map;
    for (const ManifestEntry& e : order) map.emplace(e.key(), e);
    EXPECT_EQ(updaterEntry(map) != nullptr, c.isUpdater);
  }
  EXPECT_EQ(offeredVersionEntry({cases[0].first}), nullptr);
}

class CheckFilesTest : public FileManifestTest {};

TEST_F(CheckFilesTest, EveryEntryGetsItsOwnStatus) {
  writeFile(dir_ / "one.bin", "one");
  writeFile(dir_ / "Sub" / "two.bin", "two");
  writeFile(dir_ / "Sub" / "three.bin", "three");
  writeMain(fileElement("one.bin", "", digestOf("one.bin")) +
            fileElement("two.bin", "Sub", digestOf("Sub\\two.bin")) +
            fileElement("three.bin", "Sub", digestOf("Sub\\three.bin")));
  {
    FileManifest m = manifest();
    ASSERT_TRUE(m.verifyAndLoad());
    EXPECT_TRUE(m.checkFiles());
  }
  writeFile(dir_ / "Sub" / "two.bin", "twO");
  fs::remove(dir_ / "one.bin");
  FileManifest m = manifest();
  ASSERT_TRUE(m.verifyAndLoad());
  EXPECT_FALSE(m.checkFiles());
  EXPECT_EQ(m.entries().at(L"\\one.bin").status, EntryStatus::Changed);
  EXPECT_EQ(m.entries().at(L"Sub\\two.bin").status, EntryStatus::Changed);
  EXPECT_EQ(m.entries().at(L"Sub\\three.bin").status, EntryStatus::Unchanged);
}

TEST_F(CheckFilesTest, DigestsCompareExactly) {
  writeFile(dir_ / "a.txt", kAbc);
  std::string lower = kAbcDigest;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string unpadded = kAbcDigest;
  unpadded.pop_back();
  writeFile(dir_ / "b.txt", kAbc);
  writeFile(dir_ / "c.txt", kAbc);
  writeMain(fileElement("a.txt", "", kAbcDigest) + fileElement("b.txt", "", lower) +
            fileElement("c.txt", "", unpadded));
  FileManifest m = manifest();
  ASSERT_TRUE(m.verifyAndLoad());
  EXPECT_FALSE(m.checkFiles());
  EXPECT_EQ(m.entries().at(L"\\a.txt").status, EntryStatus::Unchanged);
  EXPECT_EQ(m.entries().at(L"\\b.txt").status, EntryStatus::Changed);
  EXPECT_EQ(m.entries().at(L"\\c.txt").status, EntryStatus::Changed);
}

TEST_F(CheckFilesTest, ExtraEntriesAreComparedTheSameWay) {
  writeFile(dir_ / "a.txt", kAbc);
  writeFile(dir_ / "n.txt", "new");
  writeMain(fileElement("a.txt", "", kAbcDigest));
  writeExtra(fileElement("n.txt", "", kAbcDigest));
  FileManifest m = manifest();
  ASSERT_TRUE(m.verifyAndLoad());
  EXPECT_FALSE(m.checkFiles());
  EXPECT_EQ(m.entries().at(L"\\n.txt").status, EntryStatus::Changed);
}

TEST_F(CheckFilesTest, EmptyDigestMatchesOnlyAMissingFile) {
  writeFile(dir_ / "present.txt", "");
  writeMain(fileElement("missing.txt", "", "") + fileElement("present.txt", "", ""));
  FileManifest m = manifest();
  ASSERT_TRUE(m.verifyAndLoad());
  EXPECT_FALSE(m.checkFiles());
  EXPECT_EQ(m.entries().at(L"\\missing.txt").status, EntryStatus::Unchanged);
  EXPECT_EQ(m.entries().at(L"\\present.txt").status, EntryStatus::Changed);
}

TEST_F(CheckFilesTest, EmptyEntryMapIsIntact) {
  FileManifest m(dir_.wpath());
  EXPECT_TRUE(m.checkFiles());
}

TEST(FileDigest, IsBase64OfSha1OrEmptyForAMissingFile) {
  TempDir dir;
  writeFile(dir / "abc", kAbc);
  writeFile(dir / "empty", "");
  std::string large(3 * 4096 + 17, 'z');
  writeFile(dir / "large", large);
  EXPECT_EQ(fileDigest(dir.wpath() + L"\\abc"), toWide(kAbcDigest));
  EXPECT_EQ(fileDigest(dir.wpath() + L"\\empty"), L"2jmj7l5rSw0yVb/vlWAYkK/YBwk=");
  EXPECT_EQ(fileDigest(dir.wpath() + L"\\large").size(), 28u);
  EXPECT_NE(fileDigest(dir.wpath() + L"\\large"), fileDigest(dir.wpath() + L"\\abc"));
  EXPECT_EQ(fileDigest(dir.wpath() + L"\\nothing"), L"");
}

#ifdef _WIN32
// The file is opened by its own name: a full-width backslash, which the ANSI code page's best-fit
// conversion would turn into a separator, names the file that holds it, not "a\b".
TEST(FileDigest, OpensTheFileByItsWideName) {
  TempDir dir;
  std::filesystem::create_directories(dir / "a");
  writeFile(dir / "a" / "b", "another file");
  writeFile(std::filesystem::path(dir.wpath() + L"\\a\uFF3Cb"), kAbc);
  EXPECT_EQ(fileDigest(dir.wpath() + L"\\a\uFF3Cb"), toWide(kAbcDigest));
}
#endif

}  // namespace
}  // namespace orv
