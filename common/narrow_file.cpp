#include "narrow_file.h"

namespace orv {

ScopedFile openForReading(const std::string& narrowPath) {
#ifdef _WIN32
  const std::string& path = narrowPath;
#else
  std::string path = narrowPath;
  for (char& c : path) if (c == '\\') c = '/';
#endif
  ScopedFile f(std::fopen(path.c_str(), "rb"));
  // The callers read in blocks of their own; the runtime's buffer would only add a copy.
  if (f) std::setvbuf(f.get(), nullptr, _IONBF, 0);
  return f;
}

bool readWholeFile(const std::string& narrowPath, std::string& out, std::size_t limit) {
  ScopedFile f = openForReading(narrowPath);
  if (!f) return false;
  out.clear();
  char block[4096];
  std::size_t n;
  while ((n = std::fread(block, 1, sizeof(block), f.get())) > 0) {
    if (out.size() + n > limit) return false;
    out.append(block, n);
  }
  return !std::ferror(f.get());
}

}  // namespace orv
