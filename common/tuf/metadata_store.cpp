#include "metadata_store.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace orv::tuf {

std::optional<std::string> readWholeFile(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

bool replaceFile(const std::string& path, const std::string& bytes) {
  const std::filesystem::path target = std::filesystem::u8path(path);
  std::filesystem::path temporary = target;
  temporary += ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary, target, error);
  if (!error) return true;
  std::filesystem::remove(temporary, error);
  return false;
}

std::optional<std::string> FolderStore::read(const std::string& name) {
  return readWholeFile(folder_ + "/" + name);
}

bool FolderStore::write(const std::string& name, const std::string& bytes) {
  return replaceFile(folder_ + "/" + name, bytes);
}

bool FolderStore::remove(const std::string& name) {
  std::error_code error;
  std::filesystem::remove(std::filesystem::u8path(folder_ + "/" + name), error);
  return !error;
}

}  // namespace orv::tuf
