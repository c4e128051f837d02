#pragma once
// The manifest model: the files an installation lists in "Digest.xml" (signed) and
// "Digest_n.xml" (unsigned), each with its digest and version. ManifestEntry is the one record of
// a File element: the reader here, the writer (manifest_writer.h), the update rules and the
// manifest tool's server check all use it.
#include <map>
#include <string>
#include <vector>

#include "listed_file_rule.h"
#include "path_join.h"
#include "version_number.h"

namespace orv {

enum class EntryStatus : int {
  Unchanged = 0,  // the file on disk has the listed digest
  Changed = 4,    // the digest differs or the file is missing
};

// One File element. The writer writes the first four fields as its attributes; the reader reads
// them back and sets the last two.
struct ManifestEntry {
  std::wstring fileName;  // FileName
  std::wstring path;      // Path: folder relative to the manifest's directory, empty for itself
  std::wstring digest;    // Digest, as written
  VersionNumber version;  // Version
  bool fromMain = false;  // read from Digest.xml (true) or Digest_n.xml (false)
  EntryStatus status = EntryStatus::Unchanged;

  // The entry's key in the map: path + "\" + file name, exactly as written.
  std::wstring key() const { return joinPath(path, fileName); }
};

extern const wchar_t kMainManifestName[];   // "Digest.xml"
extern const wchar_t kExtraManifestName[];  // "Digest_n.xml"

class FileManifest {
 public:
  enum class Which { Main, Extra };
  using Entries = std::map<std::wstring, ManifestEntry>;

  // Reads nothing from disk. `publicKeyPem` is the key that must verify Digest.xml; empty means
  // the manifest public key built into the program.
  explicit FileManifest(std::wstring directory, std::string publicKeyPem = {});

  // Verifies the signature of Digest.xml, loads it, then loads Digest_n.xml (whose absence or
  // damage is not an error). False when Digest.xml is missing, unsigned, forged or keeps no file
  // (entries that break listedFileIsSafe are dropped from both files).
  bool verifyAndLoad();

  // Verifies the signature of Digest.xml and loads it alone: nothing comes from the unsigned
  // Digest_n.xml. `documentOrder`, when given, receives every File element of the verified file
  // as read, in document order, those that would leave the folder included (the map drops them).
  bool verifyAndLoadSignedOnly(std::vector<ManifestEntry>* documentOrder = nullptr);
  // The same, telling why it failed: no file to read, its signature's check, or no entries.
  enum class SignedLoad { Loaded, NoFile, Unsigned, OtherKey, Altered, NoEntries };
  SignedLoad loadSignedOnly(std::vector<ManifestEntry>* documentOrder = nullptr);

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
  const std::wstring& directory() const { return directory_; }
  // Full path of "Digest.xml" or "Digest_n.xml" in the directory.
  const std::wstring& manifestPath(const std::wstring& name) const {
    return manifestFiles_.at(name);
  }
  // Local path of a listed file: directory + "\" + key.
  std::wstring localPath(const std::wstring& key) const { return joinPath(directory_, key); }

 private:
  // The key given at construction, else the one the program carries.
  const std::string& publicKey() const;
  std::wstring directory_;
  std::string publicKeyPem_;
  std::map<std::wstring, std::wstring> manifestFiles_;
  Entries entries_;
};

// The updater's own entry: the updater's file name (case-sensitive) at the folder's base (an
// empty Path), where the loader hand-over fetches it from. It offers no version and the download
// pass never fetches it; the hand-over takes its digest.
bool isUpdaterEntry(const ManifestEntry& entry);
// A manifest's updater entry; null when it lists none.
const ManifestEntry* updaterEntry(const FileManifest::Entries& entries);

// The entry that gives the version a manifest offers: the first listed file (document order)
// that is not the updater's entry; null when there is none.
const ManifestEntry* offeredVersionEntry(const std::vector<ManifestEntry>& documentOrder);

// The one check of a signed manifest's listing (every File element as read, in document order),
// for the updater's download pass and the manifest tool's server check alike: the listed files
// that break listedFileIsSafe, and whether two of them name one file (listedFileIdentity). The
// map of a load drops both; a listing with either is not one to install.
struct ListingFaults {
  std::vector<const ManifestEntry*> unsafe;
  bool oneFileTwice = false;
  bool none() const { return unsafe.empty() && !oneFileTwice; }
};
ListingFaults listingFaults(const std::vector<ManifestEntry>& documentOrder);

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
