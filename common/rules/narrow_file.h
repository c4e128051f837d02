#pragma once
// Files named by paths in the ANSI code page, opened through the C runtime as raw bytes.
// Built natively, backslashes in such paths are read as the Linux separator.
#include <cstdio>
#include <memory>
#include <string>

namespace orv {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using ScopedFile = std::unique_ptr<std::FILE, FileCloser>;

[[nodiscard]] ScopedFile openForReading(const std::string& narrowPath);

// Whether the name is a regular file (not a folder, a device, a pipe or a FIFO), looked at
// without opening it.
bool isRegularFile(const std::string& narrowPath);

// The same for regular files only: a name that is a folder, a device, a pipe or a FIFO gives
// null without ever being read (reading one could block for ever or never end).
[[nodiscard]] ScopedFile openRegularForReading(const std::string& narrowPath);

// Reads a whole file of at most `limit` bytes. False when it cannot be opened or read, or is
// larger than the limit.
bool readWholeFile(const std::string& narrowPath, std::string& out, std::size_t limit);

}  // namespace orv
