#pragma once
// Manifest texts for tests: one File element, and the document around a run of them.
#include <string>

namespace orv::test {

inline std::string fileElement(const std::string& name, const std::string& path,
                               const std::string& digest, const std::string& version = "1.0.0.1") {
  return "<File FileName=\"" + name + "\" Path=\"" + path + "\" Digest=\"" + digest +
         "\" Version=\"" + version + "\"/>\r\n";
}

inline std::string manifestBody(const std::string& files) {
  return "<?xml version=\"1.0\"?>\r\n<FileInfo>\r\n" + files + "</FileInfo>\r\n";
}

}  // namespace orv::test
