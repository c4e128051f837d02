#pragma once
// Manifest texts for tests, written by the manifest's own writer: one File element, and the
// document around a run of them.
#include <string>

#include "ansi_text.h"
#include "manifest_writer.h"

namespace orv::test {

inline std::string fileElement(const std::string& name, const std::string& path,
                               const std::string& digest, const std::string& version = "1.0.0.1") {
  return fileElementXml(
      {toWide(name), toWide(path), toWide(digest), VersionNumber::parse(toWide(version))});
}

inline std::string manifestBody(const std::string& files) { return manifestDocument(files); }

}  // namespace orv::test
