#pragma once
// Reads the file version of a Windows program or library from the bytes of its version
// resource, without loading it: the signing tool runs on Linux too.
#include <cstdint>
#include <optional>
#include <string>

#include "version_number.h"

namespace orv {

// The fixed file version (VS_FIXEDFILEINFO) of a PE image; nothing when the bytes are not a PE
// image or carry no version resource. Every read is bounds-checked: the bytes may be anything.
std::optional<VersionNumber> peFileVersion(const std::string& bytes);

}  // namespace orv
