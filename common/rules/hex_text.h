#pragma once
// Hex texts of bytes: how digests and signatures are written in manifests, release records and
// update metadata.
#include <cstddef>
#include <string>

namespace orv {

// Two digits a byte, lower case unless `upperCase`.
std::string hexText(const unsigned char* bytes, std::size_t size, bool upperCase = false);
// The bytes of a hex text (either case); false for an odd length or a character that is no
// hex digit.
bool hexBytes(const std::string& hex, std::string& out);

}  // namespace orv
