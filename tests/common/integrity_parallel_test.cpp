// The installed-file check on all processors, the entries a manifest may not list, and names
// that are not regular files. Natively (with a FIFO) and under Wine (with devices and a file
// another process holds without sharing).
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <string>
#include <vector>

#include "ansi_text.h"
#include "file_manifest.h"
#include "manifest_signature.h"
#include "path_join.h"
#include "sha1_stream.h"
#include "manifest_xml.h"
#include "test_files.h"
#ifdef _WIN32
#include "scoped_handle.h"
#endif

namespace orv {
namespace {

namespace fs = std::filesystem;
using test::devPrivateKey;
using test::devPublicKey;
using test::fileElement;
using test::manifestBody;
using test::TempDir;
using test::writeFile;

const char kEmptyDigest[] = "2jmj7l5rSw0yVb/vlWAYkK/YBwk=";

TEST(ManifestPaths, EntriesThatWouldLeaveTheFolderAreRecognised) {
  struct Case {
    const wchar_t* path;
    const wchar_t* name;
    bool stays;
  } cases[] = {
      {L"", L"a.dll", true},
      {L"Script", L"CoreConfig.lua", true},
      {L"a\\b.c\\d", L"x..y", true},  // dots inside names are fine
      {L".", L"a", false},            // Windows drops the component: a second key for "\\a"
      {L"..", L"a", false},
      {L"a\\..\\..", L"b", false},
      {L"a/../b", L"c", false},
      {L"", L"..\\evil.exe", false},
      {L"", L"..", false},
      {L"\\Windows", L"x", false},
      {L"/etc", L"x", false},
      {L"\\\\server\\share", L"x", false},
      {L"C:", L"x", false},
      {L"C:\\Windows", L"x", false},
      {L"", L"C:x", false},
      {L"", L"file.txt:stream", false},
      {L"sub:x", L"y", false},
      {L"", L"\\x", false},
      // Names Windows treats specially: devices with any extension, trimmed ends, reserved
      // characters, and empty components.
      {L"", L"NUL", false},
      {L"", L"con.txt", false},
      {L"COM1", L"a", false},
      {L"", L"Lpt9.tar.gz", false},
      {L"", L"nul .x", false},
      {L"", L"CONOUT$", false},
      {L"", L"COM\u00B9", false},
      {L"", L"console.txt", true},
      {L"", L"COM10", true},
      {L"", L"Setup.exe. ", false},
      {L"", L"Setup.exe.", false},
      {L"bin ", L"a", false},
      {L"", L"a\tb", false},
      {L"", L"a\x7F", false},
      {L"", L"a<b", false},
      {L"", L"a>b", false},
      {L"", L"a\"b", false},
      {L"", L"a|b", false},
      {L"", L"a?b", false},
      {L"", L"a*b", false},
      {L"a\\\\b", L"c", false},
      {L"a\\", L"c", false},
      {L"", L"", false},
      {L"", L"\u66F4\u65B0\u4E57.exe", true},
      // The form of a short name, which may be another file's.
      {L"", L"ABCDEF~1.TXT", false},
      {L"PROGRA~1", L"a", false},
      {L"", L"x~12", false},
      {L"", L"a~b.txt", true},
      {L"", L"~1.txt", true},
      {L"", L"longname~1.txt", true},
      {L"", L"abc~1.html", true},
      {L"", L"a~1.b.c", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(listedFileIsSafe(c.path, c.name), c.stays)
        << toNarrow(c.path) << " | " << toNarrow(c.name);
}

TEST(ManifestPaths, EscapingEntriesAreDroppedFromBothManifests) {
  TempDir dir;
  writeFile(dir / "Digest.xml",
            signManifest(manifestBody(fileElement("a.dll", "", kEmptyDigest) +
                                      fileElement("evil.exe", "..", kEmptyDigest) +
                                      fileElement("x.dll", "C:\\Windows", kEmptyDigest)),
                         devPrivateKey()));
  writeFile(dir / "Digest_n.xml", manifestBody(fileElement("n.dll", "sub", kEmptyDigest) +
                                               fileElement("..\\..\\y.exe", "", kEmptyDigest) +
                                               fileElement("s", "", "x:y")));
  FileManifest m(dir.wpath(), devPublicKey());
  ASSERT_TRUE(m.verifyAndLoad());
  ASSERT_EQ(m.entries().size(), 3u);
  EXPECT_EQ(m.entries().count(L"\\a.dll"), 1u);
  EXPECT_EQ(m.entries().count(L"sub\\n.dll"), 1u);
  EXPECT_EQ(m.entries().count(L"\\s"), 1u) << "a \":\" in the digest is no path";
}

TEST(ManifestPaths, AManifestKeepingNoEntryDoesNotVerify) {
  TempDir dir;
  writeFile(dir / "Digest.xml",
            signManifest(manifestBody(fileElement("evil.exe", "..", kEmptyDigest) +
                                      fileElement("NUL.txt", "", kEmptyDigest)),
                         devPrivateKey()));
  FileManifest m(dir.wpath(), devPublicKey());
  EXPECT_FALSE(m.verifyAndLoad());
  EXPECT_TRUE(m.entries().empty());
}

// Many files of sizes around the read block, one missing and one a folder: every thread count
// gives the digests one after the other gives.
TEST(ParallelDigests, EveryThreadCountGivesTheSameDigestsInOrder) {
  TempDir dir;
  std::vector<std::wstring> paths;
  for (int i = 0; i < 37; ++i) {
    const std::size_t size = (i % 5 == 0) ? (1u << 20) + static_cast<std::size_t>(i) : 1000u * i;
    std::string bytes(size, static_cast<char>('a' + i % 26));
    if (!bytes.empty()) bytes[bytes.size() / 2] = static_cast<char>(i);
    writeFile(dir / ("f" + std::to_string(i)), bytes);
    paths.push_back(dir.wpath() + L"\\f" + std::to_wstring(i));
  }
  paths.push_back(dir.wpath() + L"\\missing");
  fs::create_directories(dir / "folder");
  paths.push_back(dir.wpath() + L"\\folder");

  std::vector<std::wstring> oneByOne;
  for (const auto& p : paths) oneByOne.push_back(fileDigest(p));
  EXPECT_EQ(oneByOne[37], L"");
  EXPECT_EQ(oneByOne[38], L"") << "a folder has no digest";
  EXPECT_EQ(oneByOne[0].size(), 28u);
  for (unsigned threads : {0u, 1u, 2u, 3u, 8u, 100u}) {
    EXPECT_EQ(digestFiles(paths, threads), oneByOne) << threads << " threads";
  }
  EXPECT_EQ(digestFiles({paths[5]}, 8), std::vector<std::wstring>{oneByOne[5]});
  EXPECT_TRUE(digestFiles({}, 4).empty());
}

// The digest of a file is the digest of its bytes, whatever its size: empty, tiny, and several
// read blocks (1 MiB) and a little, so the blocks' seams are crossed.
TEST(FileDigest, IsTheDigestOfTheFilesBytesAtEverySize) {
  TempDir dir;
  for (const std::size_t size :
       {std::size_t{0}, std::size_t{1}, std::size_t{4095}, (std::size_t{3} << 20) + 3}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
      bytes[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    const std::string name = "size" + std::to_string(size);
    writeFile(dir / name, bytes);
    Sha1Stream expected;
    expected.update(bytes.data(), bytes.size());
    EXPECT_EQ(fileDigest(joinPath(dir.wpath(), toWide(name))), expected.finishBase64()) << size;
  }
  EXPECT_EQ(fileDigest(dir.wpath() + L"\\size0"), toWide(kEmptyDigest));
}

class ParallelCheck : public testing::Test {
 protected:
  // Lays out `count` files listed in a signed manifest.
  void install(int count) {
    std::string files;
    for (int i = 0; i < count; ++i) {
      const std::string name = "file" + std::to_string(i) + ".bin";
      writeFile(dir_ / "sub" / name, std::string(2000 + i * 97, static_cast<char>(i)));
      files +=
          fileElement(name, "sub", toNarrow(fileDigest(dir_.wpath() + L"\\sub\\" + toWide(name))));
    }
    writeFile(dir_ / "Digest.xml", signManifest(manifestBody(files), devPrivateKey()));
  }
  FileManifest load() {
    FileManifest m(dir_.wpath(), devPublicKey());
    EXPECT_TRUE(m.verifyAndLoad());
    return m;
  }
  // Lists sub\`name` with the empty file's digest beside the intact sub\file0.bin of install(),
  // checks the folder, and expects only the named entry to be Changed.
  void expectChangedBesideIntactFile(const std::string& name) {
    std::string files =
        fileElement(name, "sub", kEmptyDigest) +
        fileElement("file0.bin", "sub", toNarrow(fileDigest(dir_.wpath() + L"\\sub\\file0.bin")));
    writeFile(dir_ / "Digest.xml", signManifest(manifestBody(files), devPrivateKey()));
    FileManifest m = load();
    EXPECT_FALSE(m.checkFiles());
    EXPECT_EQ(m.entries().at(L"sub\\" + toWide(name)).status, EntryStatus::Changed);
    EXPECT_EQ(m.entries().at(L"sub\\file0.bin").status, EntryStatus::Unchanged);
  }
  TempDir dir_;
};

TEST_F(ParallelCheck, ManyFilesIntactAlteredAndMissing) {
  install(64);
  EXPECT_TRUE(load().checkFiles());
  writeFile(dir_ / "sub" / "file7.bin", "altered");
  fs::remove(dir_ / "sub" / "file50.bin");
  FileManifest m = load();
  EXPECT_FALSE(m.checkFiles());
  int changed = 0;
  for (const auto& [key, entry] : m.entries()) {
    const bool expectChanged = key == L"sub\\file7.bin" || key == L"sub\\file50.bin";
    EXPECT_EQ(entry.status, expectChanged ? EntryStatus::Changed : EntryStatus::Unchanged)
        << toNarrow(key);
    changed += entry.status == EntryStatus::Changed;
  }
  EXPECT_EQ(changed, 2);
}

TEST_F(ParallelCheck, OneFile) {
  install(1);
  EXPECT_TRUE(load().checkFiles());
  writeFile(dir_ / "sub" / "file0.bin", "");
  FileManifest m = load();
  EXPECT_FALSE(m.checkFiles());
  EXPECT_EQ(m.entries().at(L"sub\\file0.bin").status, EntryStatus::Changed);
}

#ifdef _WIN32
// A listed name that opens a device has no digest: read, it would look like an empty file (NUL)
// or wait for input for ever (CON). Such entries are never kept, so never read.
TEST_F(ParallelCheck, DeviceNamesAreNeverRead) {
  install(1);
  const std::string intact =
      fileElement("file0.bin", "sub", toNarrow(fileDigest(dir_.wpath() + L"\\sub\\file0.bin")));
  writeFile(dir_ / "Digest.xml",
            signManifest(manifestBody(fileElement("NUL", "", kEmptyDigest) +
                                      fileElement("CON", "", kEmptyDigest) + intact),
                         devPrivateKey()));
  FileManifest m = load();
  EXPECT_TRUE(m.checkFiles());
  EXPECT_EQ(m.entries().size(), 1u);
}

TEST_F(ParallelCheck, AFileHeldWithoutSharingCountsAsChanged) {
  install(3);
  const std::wstring held = dir_.wpath() + L"\\sub\\file1.bin";
  FileManifest m = load();
  {
    ScopedHandle h(
        ::CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(h.valid());
    EXPECT_FALSE(m.checkFiles());
  }
  EXPECT_EQ(m.entries().at(L"sub\\file1.bin").status, EntryStatus::Changed);
  EXPECT_EQ(m.entries().at(L"sub\\file0.bin").status, EntryStatus::Unchanged);
}

#else
// A FIFO without a writer would block the open for ever, one with a writer would never end.
TEST_F(ParallelCheck, AFifoCountsAsChangedWithoutBeingOpened) {
  install(2);
  ASSERT_EQ(::mkfifo((dir_ / "sub" / "pipe").c_str(), 0600), 0);
  expectChangedBesideIntactFile("pipe");
}

// A name that opens as a regular file but whose read fails (this process's memory at address 0)
// has no digest, even though the bytes read before the failure, none, give what the manifest lists.
TEST_F(ParallelCheck, AFileWhoseReadFailsCountsAsChanged) {
  install(2);
  fs::create_symlink("/proc/self/mem", dir_ / "sub" / "unreadable.bin");
  expectChangedBesideIntactFile("unreadable.bin");
}
#endif

}  // namespace
}  // namespace orv
