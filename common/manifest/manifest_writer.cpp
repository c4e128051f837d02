#include "manifest_writer.h"

#include <algorithm>

#include "ansi_text.h"
#include "narrow_file.h"
#include "pe_version.h"

namespace orv {
namespace fs = std::filesystem;

std::string manifestText(const fs::path& p) {
#ifdef _WIN32
  return toNarrow(p.wstring());
#else
  return p.string();
#endif
}

bool startsAsProgram(const fs::path& file) {
  ScopedFile f = openForReading(manifestText(file));
  char mz[2] = {};
  return f && std::fread(mz, 1, 2, f.get()) == 2 && mz[0] == 'M' && mz[1] == 'Z';
}

namespace {

VersionNumber versionOf(const fs::path& file) {
  const VersionNumber none(0, 0, 0, 0);
  std::string bytes;
  if (!startsAsProgram(file)) return none;
  if (!readWholeFile(manifestText(file), bytes, std::size_t(1) << 31)) return none;
  const auto v = peFileVersion(bytes);
  return v ? *v : none;
}

// A path's text as an entry holds it: the wide text the manifest's code page gives.
std::wstring entryText(const fs::path& p) { return toWide(manifestText(p)); }

}  // namespace

std::vector<ManifestEntry> listInstallation(const fs::path& dir) {
  std::vector<ManifestEntry> files;
  for (const auto& item : fs::recursive_directory_iterator(dir)) {
    if (!item.is_regular_file()) continue;
    const fs::path rel = fs::relative(item.path(), dir);
    const fs::path parent = rel.parent_path();
    ManifestEntry f;
    f.fileName = entryText(rel.filename());
    if (parent.empty() && (f.fileName == kMainManifestName || f.fileName == kExtraManifestName))
      continue;
    for (const auto& part : parent) {
      if (!f.path.empty()) f.path += L'\\';
      f.path += entryText(part);
    }
    f.digest = fileDigest(entryText(item.path()));
    f.version = versionOf(item.path());
    files.push_back(std::move(f));
  }
  std::sort(files.begin(), files.end(),
            [](const ManifestEntry& a, const ManifestEntry& b) { return a.key() < b.key(); });
  return files;
}

std::string xmlAttributeEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string fileElementXml(const ManifestEntry& f) {
  return "\r\n<File FileName=\"" + xmlAttributeEscape(toNarrow(f.fileName)) + "\" Path=\"" +
         xmlAttributeEscape(toNarrow(f.path)) + "\" Digest=\"" +
         xmlAttributeEscape(toNarrow(f.digest)) + "\" Version=\"" +
         xmlAttributeEscape(toNarrow(f.version.text())) + "\"/>";
}

std::string manifestDocument(const std::string& fileElements) {
  // The signature block, when there is one, goes right in front of the closing tag.
  return "<?xml version=\"1.0\"?>\r\n<FileInfo>" + fileElements + "\r\n</FileInfo>\r\n";
}

std::string manifestXml(const std::vector<ManifestEntry>& files) {
  std::string elements;
  for (const ManifestEntry& f : files) elements += fileElementXml(f);
  return manifestDocument(elements);
}

}  // namespace orv
