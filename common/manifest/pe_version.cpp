#include "pe_version.h"

#include <cstring>

namespace orv {
namespace {

class Reader {
 public:
  explicit Reader(const std::string& b) : b_(b) {}
  bool u16(std::uint64_t at, std::uint32_t& v) const { return read(at, 2, v); }
  bool u32(std::uint64_t at, std::uint32_t& v) const { return read(at, 4, v); }

 private:
  bool read(std::uint64_t at, unsigned size, std::uint32_t& v) const {
    if (at > b_.size() || b_.size() - at < size) return false;
    v = 0;
    for (unsigned i = 0; i < size; ++i)
      v |= std::uint32_t(static_cast<unsigned char>(b_[at + i])) << (8 * i);
    return true;
  }
  const std::string& b_;
};

constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::uint32_t kSubdirectory = 0x80000000u;

// The image's section table and its resource directory, as the PE headers give them.
struct Image {
  std::uint64_t sectionTable = 0;
  std::uint32_t sectionCount = 0;
  std::uint32_t resourceRva = 0;
};

// The DOS and PE headers, the optional header of a 32- or 64-bit image and its data directory.
std::optional<Image> readHeaders(const Reader& r) {
  std::uint32_t v = 0, peOffset = 0;
  if (!r.u16(0, v) || v != 0x5A4D || !r.u32(0x3C, peOffset)) return std::nullopt;
  if (!r.u32(peOffset, v) || v != 0x00004550) return std::nullopt;
  const std::uint64_t coff = std::uint64_t(peOffset) + 4;
  Image image;
  std::uint32_t optSize = 0, magic = 0;
  if (!r.u16(coff + 2, image.sectionCount) || !r.u16(coff + 16, optSize)) return std::nullopt;
  const std::uint64_t opt = coff + 20;
  if (!r.u16(opt, magic) || (magic != 0x10b && magic != 0x20b)) return std::nullopt;
  const std::uint64_t dirs = opt + (magic == 0x10b ? 96 : 112);
  std::uint32_t dirCount = 0, resSize = 0;
  if (!r.u32(dirs - 4, dirCount) || dirCount < 3) return std::nullopt;
  if (!r.u32(dirs + 16, image.resourceRva) || !r.u32(dirs + 20, resSize) || image.resourceRva == 0)
    return std::nullopt;
  image.sectionTable = opt + optSize;
  return image;
}

// The file offset of an RVA, through the section that holds it.
bool fileOffset(const Reader& r, const Image& image, std::uint32_t rva, std::uint64_t& off) {
  for (std::uint32_t i = 0; i < image.sectionCount; ++i) {
    std::uint32_t va = 0, vsize = 0, raw = 0, rawSize = 0;
    const std::uint64_t at = image.sectionTable + std::uint64_t(i) * 40;
    if (!r.u32(at + 8, vsize) || !r.u32(at + 12, va) || !r.u32(at + 16, rawSize) ||
        !r.u32(at + 20, raw))
      return false;
    const std::uint32_t span = vsize > rawSize ? vsize : rawSize;
    if (rva >= va && rva - va < span) {
      off = std::uint64_t(raw) + (rva - va);
      return true;
    }
  }
  return false;
}

// One level of the resource tree: the entry with `id`, or the first entry when id is 0.
bool enterDirectory(const Reader& r, std::uint64_t dir, std::uint32_t id, std::uint32_t& target) {
  std::uint32_t named = 0, ids = 0;
  if (!r.u16(dir + 12, named) || !r.u16(dir + 14, ids)) return false;
  for (std::uint32_t i = 0; i < named + ids; ++i) {
    std::uint32_t name = 0, data = 0;
    const std::uint64_t at = dir + 16 + std::uint64_t(i) * 8;
    if (!r.u32(at, name) || !r.u32(at + 4, data)) return false;
    if (id == 0 || (!(name & kSubdirectory) && name == id)) {
      target = data;
      return true;
    }
  }
  return false;
}

// The version resource's data (type RT_VERSION, its first name, its first language): its file
// offset and size.
bool versionResource(const Reader& r, const Image& image, std::uint64_t& info,
                     std::uint32_t& size) {
  std::uint64_t root = 0;
  if (!fileOffset(r, image, image.resourceRva, root)) return false;
  std::uint32_t e = 0;
  if (!enterDirectory(r, root, kRtVersion, e) || !(e & kSubdirectory)) return false;
  if (!enterDirectory(r, root + (e & ~kSubdirectory), 0, e) || !(e & kSubdirectory)) return false;
  if (!enterDirectory(r, root + (e & ~kSubdirectory), 0, e) || (e & kSubdirectory)) return false;
  std::uint32_t dataRva = 0;
  return r.u32(root + e, dataRva) && r.u32(root + e + 4, size) &&
         fileOffset(r, image, dataRva, info);
}

// VS_VERSIONINFO: three WORDs, the key "VS_VERSION_INFO", padding to 32 bits, then the fixed
// part. Looking for its signature in the first words also covers odd padding.
std::optional<VersionNumber> fixedFileVersion(const Reader& r, std::uint64_t info,
                                              std::uint32_t size) {
  for (std::uint64_t at = info + 6; at < info + 64 && at + 52 <= info + size; at += 2) {
    std::uint32_t sig = 0, ms = 0, ls = 0;
    if (!r.u32(at, sig)) return std::nullopt;
    if (sig != kFixedSignature) continue;
    if (!r.u32(at + 8, ms) || !r.u32(at + 12, ls)) return std::nullopt;
    return VersionNumber(std::int32_t(ms >> 16), std::int32_t(ms & 0xFFFF), std::int32_t(ls >> 16),
                         std::int32_t(ls & 0xFFFF));
  }
  return std::nullopt;
}

}  // namespace

std::optional<VersionNumber> peFileVersion(const std::string& bytes) {
  const Reader r(bytes);
  const std::optional<Image> image = readHeaders(r);
  std::uint64_t info = 0;
  std::uint32_t size = 0;
  if (!image || !versionResource(r, *image, info, size)) return std::nullopt;
  return fixedFileVersion(r, info, size);
}

}  // namespace orv
