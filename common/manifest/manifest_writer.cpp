#include "manifest_writer.h"

#include <algorithm>

#include "ansi_text.h"
#include "file_manifest.h"
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

std::string versionOf(const fs::path& file) {
  std::string bytes;
  if (!startsAsProgram(file)) return "0.0.0.0";
  if (!readWholeFile(manifestText(file), bytes, std::size_t(1) << 31)) return "0.0.0.0";
  const auto v = peFileVersion(bytes);
  return v ? toNarrow(v->toString()) : "0.0.0.0";
}

}  // namespace

std::vector<ListedFile> listInstallation(const fs::path& dir) {
  std::vector<ListedFile> files;
  for (const auto& item : fs::recursive_directory_iterator(dir)) {
    if (!item.is_regular_file()) continue;
    const fs::path rel = fs::relative(item.path(), dir);
    const fs::path parent = rel.parent_path();
    const std::string name = manifestText(rel.filename());
    if (parent.empty() && (name == "Digest.xml" || name == "Digest_n.xml")) continue;
    ListedFile f;
    f.fileName = name;
    for (const auto& part : parent) {
      if (!f.path.empty()) f.path += '\\';
      f.path += manifestText(part);
    }
    f.digest = toNarrow(fileDigest(toWide(manifestText(item.path()))));
    f.version = versionOf(item.path());
    files.push_back(std::move(f));
  }
  std::sort(files.begin(), files.end(), [](const ListedFile& a, const ListedFile& b) {
    return toWide(a.path + "\\" + a.fileName) < toWide(b.path + "\\" + b.fileName);
  });
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

std::string fileElementXml(const ListedFile& f) {
  return "\r\n<File FileName=\"" + xmlAttributeEscape(f.fileName) + "\" Path=\"" +
         xmlAttributeEscape(f.path) + "\" Digest=\"" + f.digest + "\" Version=\"" + f.version +
         "\"/>";
}

std::string manifestDocument(const std::string& fileElements) {
  // The signature block, when there is one, goes right in front of the closing tag.
  return "<?xml version=\"1.0\"?>\r\n<FileInfo>" + fileElements + "\r\n</FileInfo>\r\n";
}

std::string manifestXml(const std::vector<ListedFile>& files) {
  std::string elements;
  for (const ListedFile& f : files) elements += fileElementXml(f);
  return manifestDocument(elements);
}

}  // namespace orv
