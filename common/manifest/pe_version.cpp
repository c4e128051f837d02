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

struct Section {
  std::uint32_t va, vsize, raw, rawSize;
};

constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::uint32_t kSubdirectory = 0x80000000u;

}  // namespace

std::optional<VersionNumber> peFileVersion(const std::string& bytes) {
  Reader r(bytes);
  std::uint32_t v = 0, peOffset = 0;
  if (!r.u16(0, v) || v != 0x5A4D || !r.u32(0x3C, peOffset)) return std::nullopt;
  if (!r.u32(peOffset, v) || v != 0x00004550) return std::nullopt;
  const std::uint64_t coff = std::uint64_t(peOffset) + 4;
  std::uint32_t sectionCount = 0, optSize = 0, magic = 0;
  if (!r.u16(coff + 2, sectionCount) || !r.u16(coff + 16, optSize)) return std::nullopt;
  const std::uint64_t opt = coff + 20;
  if (!r.u16(opt, magic)) return std::nullopt;
  std::uint64_t dirs, countAt;
  if (magic == 0x10b) {
    dirs = opt + 96;
    countAt = opt + 92;
  } else if (magic == 0x20b) {
    dirs = opt + 112;
    countAt = opt + 108;
  } else
    return std::nullopt;
  std::uint32_t dirCount = 0, resRva = 0, resSize = 0;
  if (!r.u32(countAt, dirCount) || dirCount < 3) return std::nullopt;
  if (!r.u32(dirs + 16, resRva) || !r.u32(dirs + 20, resSize) || resRva == 0) return std::nullopt;

  const std::uint64_t sectionTable = opt + optSize;
  auto toOffset = [&](std::uint32_t rva, std::uint64_t& off) {
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
      Section s{};
      const std::uint64_t at = sectionTable + std::uint64_t(i) * 40;
      if (!r.u32(at + 8, s.vsize) || !r.u32(at + 12, s.va) || !r.u32(at + 16, s.rawSize) ||
          !r.u32(at + 20, s.raw))
        return false;
      const std::uint32_t span = s.vsize > s.rawSize ? s.vsize : s.rawSize;
      if (rva >= s.va && rva - s.va < span) {
        off = std::uint64_t(s.raw) + (rva - s.va);
        return true;
      }
    }
    return false;
  };
  std::uint64_t root = 0;
  if (!toOffset(resRva, root)) return std::nullopt;

  // Walks one level of the resource tree: the entry with `id`, or the first entry when id is 0.
  auto enter = [&](std::uint64_t dir, std::uint32_t id, std::uint32_t& target) {
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
  };
  std::uint32_t e = 0;
  if (!enter(root, kRtVersion, e) || !(e & kSubdirectory)) return std::nullopt;
  if (!enter(root + (e & ~kSubdirectory), 0, e) || !(e & kSubdirectory)) return std::nullopt;
  if (!enter(root + (e & ~kSubdirectory), 0, e) || (e & kSubdirectory)) return std::nullopt;
  std::uint32_t dataRva = 0, dataSize = 0;
  if (!r.u32(root + e, dataRva) || !r.u32(root + e + 4, dataSize)) return std::nullopt;
  std::uint64_t info = 0;
  if (!toOffset(dataRva, info)) return std::nullopt;

  // VS_VERSIONINFO: three WORDs, the key "VS_VERSION_INFO", padding to 32 bits, then the
  // fixed part. Looking for its signature in the first words also covers odd padding.
  for (std::uint64_t at = info + 6; at < info + 64 && at + 52 <= info + dataSize; at += 2) {
    std::uint32_t sig = 0, ms = 0, ls = 0;
    if (!r.u32(at, sig)) return std::nullopt;
    if (sig != kFixedSignature) continue;
    if (!r.u32(at + 8, ms) || !r.u32(at + 12, ls)) return std::nullopt;
    return VersionNumber(std::int32_t(ms >> 16), std::int32_t(ms & 0xFFFF), std::int32_t(ls >> 16),
                         std::int32_t(ls & 0xFFFF));
  }
  return std::nullopt;
}

}  // namespace orv
