#pragma once
// Folder links for tests of code that must never follow one: an NTFS junction on Windows.
// Under Wine none is made (Wine 8 refuses junctions, and its showing of Unix symbolic links is
// unreliable), so the link tests skip there.
#include <filesystem>

namespace orv::test {

enum class FolderLink { None, Junction, UnixSymbolicLink };

// Makes `link` (which must not exist) a link to the folder `target` and removes the link itself
// again when it goes (Wine's RemoveDirectoryW would remove the folder a Unix link names).
class ScopedFolderLink {
 public:
  ScopedFolderLink(const std::filesystem::path& link, const std::filesystem::path& target);
  ~ScopedFolderLink();
  ScopedFolderLink(const ScopedFolderLink&) = delete;
  ScopedFolderLink& operator=(const ScopedFolderLink&) = delete;
  FolderLink kind() const { return kind_; }
  const char* kindName() const;
  // Whether no junction could be made where the system makes them (Windows). Under Wine a link
  // that could not be made is one more case of a link not shown.
  bool failed() const;
  // Whether the system shows the link as one in its path's attributes. Wine 8 does so only some
  // of the time for a Unix link (not in a prefix whose server was started afresh).
  bool shownAsLink() const;

 private:
  std::filesystem::path link_;
  FolderLink kind_ = FolderLink::None;
};

}  // namespace orv::test
