#pragma once
// The manifest model: the files an installation lists in "Digest.xml" (signed) and
// "Digest_n.xml" (unsigned), each with its digest and version.
#include <map>
#include <string>
#include <vector>

#include "listed_file_rule.h"
#include "version_number.h"

namespace orv {

enum class EntryStatus : int {
  Unchanged = 0,  // the file on disk has the listed digest
  Changed = 4,    // the digest differs, the file is missing, or the updater marked it for download
};

struct ManifestEntry {
  std::wstring fileName;  // FileName
  std::wstring path;      // Path: folder relative to the manifest's directory, empty for itself
  std::wstring digest;    // Digest, as written
  VersionNumber version;  // Version
  bool fromMain = false;  // read from Digest.xml (true) or Digest_n.xml (false)
  EntryStatus status = EntryStatus::Unchanged;
};

extern const wchar_t kMainManifestName[];   // "Digest.xml"
extern const wchar_t kExtraManifestName[];  // "Digest_n.xml"

class FileManifest {
 public:
  enum class Which { Main, Extra };
  using Entries = std::map<std::wstring, ManifestEntry>;

  // Reads nothing from disk. `publicKeyPem` is the key that must verify Digest.xml; empty means
  // the manifest public key built into the program.
  FileManifest(std::wstring remoteBase, std::wstring directory, std::string publicKeyPem = {});

  // Verifies the signature of Digest.xml, loads it, then loads Digest_n.xml (whose absence or
  // damage is not an error). False when Digest.xml is missing, unsigned, forged or keeps no file
  // (entries that break listedFileIsSafe are dropped from both files).
  bool verifyAndLoad();

  // Verifies the signature of Digest.xml and loads it alone: nothing comes from the unsigned
  // Digest_n.xml. `documentOrder`, when given, receives every File element of the verified file
  // as read, in document order, those that would leave the folder included (the map drops them).
  bool verifyAndLoadSignedOnly(std::vector<ManifestEntry>* documentOrder = nullptr);

  // Parses one manifest into the entry map; existing keys win, also over a key that differs only
  // in case (one file on Windows). For the extra file always true.
  bool loadManifestFile(Which which);

  // The signature check of one file (path in the ANSI code page) with this manifest's key.
  bool verifyManifestSignature(const std::string& narrowPath) const;

  // Digests every listed file and marks its entry; true when all are Unchanged. The files are
  // digested on all processors (never more threads than files); the marks are the same as one
  // file after the other would give.
  bool checkFiles();

  Entries& entries() { return entries_; }
  const Entries& entries() const { return entries_; }
  const std::wstring& remoteBase() const { return remoteBase_; }
  const std::wstring& directory() const { return directory_; }
  // Full path of "Digest.xml" or "Digest_n.xml" in the directory.
  const std::wstring& manifestPath(const std::wstring& name) const {
    return manifestFiles_.at(name);
  }
  // Local path of a listed file: directory + "\" + key.
  std::wstring localPath(const std::wstring& key) const { return directory_ + L"\\" + key; }

 private:
  // The key given at construction, else the one the program carries.
  const std::string& publicKey() const;
  std::wstring remoteBase_;
  std::wstring directory_;
  std::string publicKeyPem_;
  std::map<std::wstring, std::wstring> manifestFiles_;
  Entries entries_;
};

// The entry that gives the version a manifest offers: the first listed file (document order)
// whose FileName is not the updater's own (case-sensitive); null when there is none.
const ManifestEntry* offeredVersionEntry(const std::vector<ManifestEntry>& documentOrder,
                                         const std::wstring& updaterFileName);

// Base64 of the SHA-1 of a file's bytes (28 characters); empty when the file cannot be opened
// or is not a regular file (a folder, a device, a pipe).
std::wstring fileDigest(const std::wstring& path);

// The block a file's bytes are read into. Digesting many files reuses one per thread: a fresh
// megabyte for every file costs more under Wine than hashing a small file.
using DigestBlock = std::vector<unsigned char>;
std::wstring fileDigest(const std::wstring& path, DigestBlock& block);

// The digests of `paths`, in their order, computed on `threads` threads (0: one per processor),
// never more threads than paths.
std::vector<std::wstring> digestFiles(const std::vector<std::wstring>& paths, unsigned threads = 0);

// The manifest public key the program carries (PKCS#1 PEM, "RSA PUBLIC KEY").
const std::string& manifestPublicKey();

}  // namespace orv
