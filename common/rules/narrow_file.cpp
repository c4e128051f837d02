#include "narrow_file.h"

#include <sys/stat.h>
#include <sys/types.h>

namespace orv {

namespace {

std::string platformPath(const std::string& narrowPath) {
#ifdef _WIN32
  return narrowPath;
#else
  std::string path = narrowPath;
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
#endif
}

#ifdef _WIN32
using StatBuffer = struct _stat64;
int statPath(const std::string& path, StatBuffer* s) { return _stat64(path.c_str(), s); }
int statOpen(std::FILE* f, StatBuffer* s) { return _fstat64(_fileno(f), s); }
bool isRegular(const StatBuffer& s) { return (s.st_mode & _S_IFMT) == _S_IFREG; }
#else
using StatBuffer = struct stat;
int statPath(const std::string& path, StatBuffer* s) { return ::stat(path.c_str(), s); }
int statOpen(std::FILE* f, StatBuffer* s) { return ::fstat(fileno(f), s); }
bool isRegular(const StatBuffer& s) { return S_ISREG(s.st_mode); }
#endif

}  // namespace

bool isRegularFile(const std::string& narrowPath) {
  StatBuffer s;
  return statPath(platformPath(narrowPath), &s) == 0 && isRegular(s);
}

ScopedFile openRegularForReading(const std::string& narrowPath) {
  // Looked at before the open (opening a FIFO waits for a writer) and again after it (the name
  // may have been replaced in between).
  if (!isRegularFile(narrowPath)) return nullptr;
  ScopedFile f = openForReading(narrowPath);
  StatBuffer after;
  if (!f || statOpen(f.get(), &after) != 0 || !isRegular(after)) return nullptr;
  return f;
}

ScopedFile openForReading(const std::string& narrowPath) {
  const std::string path = platformPath(narrowPath);
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
