#pragma once
// Where the trusted metadata lives between runs: whole files by name (names.h's
// metadataFileName), each written as a whole or not at all. FolderStore keeps them in a folder;
// a program with stricter needs brings its own store.
#include <optional>
#include <string>
#include <utility>

namespace orv::tuf {

class MetadataStore {
 public:
  virtual ~MetadataStore() = default;
  // The file's bytes, or nothing when there is no such file (or it cannot be read).
  virtual std::optional<std::string> read(const std::string& name) = 0;
  // Replaces the file; a reader sees the old bytes or the new ones, never a mix.
  virtual bool write(const std::string& name, const std::string& bytes) = 0;
  // True also when there was no such file.
  virtual bool remove(const std::string& name) = 0;
};

class FolderStore : public MetadataStore {
 public:
  explicit FolderStore(std::string folder) : folder_(std::move(folder)) {}

  std::optional<std::string> read(const std::string& name) override;
  // Writes "<name>.new" beside the file, then renames it over the file.
  bool write(const std::string& name, const std::string& bytes) override;
  bool remove(const std::string& name) override;

 private:
  std::string folder_;
};

// The whole file, or nothing when it cannot be read.
std::optional<std::string> readWholeFile(const std::string& path);
// Writes `path` + ".new" and renames it over `path`.
bool replaceFile(const std::string& path, const std::string& bytes);

}  // namespace orv::tuf
