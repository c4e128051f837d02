#pragma once
// The manifest's writer, beside its reader (file_manifest.h): every file below an installation
// folder with its digest and version, and the manifest text as the release pipeline ships it.
#include <filesystem>
#include <string>
#include <vector>

#include "file_manifest.h"

namespace orv {

// A path as the manifest stores file names: the ANSI code page on Windows, UTF-8 on Linux.
std::string manifestText(const std::filesystem::path& p);

// Whether the file begins as a Windows program does ("MZ").
bool startsAsProgram(const std::filesystem::path& file);

// Every regular file below `dir` except the two manifests at its top, as its entry lists it
// (Path backslash-separated, the version of a Windows program's version resource, else
// 0.0.0.0), ordered by key.
std::vector<ManifestEntry> listInstallation(const std::filesystem::path& dir);

// The manifest text for `files`, without a signature block: manifestDocument of their elements.
std::string manifestXml(const std::vector<ManifestEntry>& files);

// One File element with the entry's four attributes in the manifest's code page, with the line
// end in front of it.
std::string fileElementXml(const ManifestEntry& file);

// The manifest text around a run of File elements, without a signature block.
std::string manifestDocument(const std::string& fileElements);

// Escapes text for an attribute value in double quotes.
std::string xmlAttributeEscape(const std::string& text);

}  // namespace orv
