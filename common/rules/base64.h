#pragma once
// Base64 (RFC 4648, standard alphabet, "=" padding) of byte strings; the form of a manifest digest.
#include <cstddef>
#include <string>

namespace orv {

std::string base64Encode(const unsigned char* data, std::size_t size);

// A SHA-1 digest (20 bytes) gives 28 characters, the last one "=".
inline std::string base64Digest(const unsigned char (&digest)[20]) {
  return base64Encode(digest, 20);
}

}  // namespace orv
