#pragma once
// The PKCS#11 types, constants and function list as the middleware exposes them on Windows:
// p11-kit's header in its standard-name (compatibility) form. Under _WIN32 it packs the
// structures to 1 byte, and `unsigned long` is 32 bits on both Windows targets, which is the
// Windows PKCS#11 ABI (CK_TOKEN_INFO is 160 bytes).
#include <p11-kit/pkcs11.h>

namespace orv::tokenctl {

static_assert(sizeof(CK_TOKEN_INFO) == 160, "CK_TOKEN_INFO must use the Windows 1-byte packing");
static_assert(sizeof(CK_ULONG) == 4, "CK_ULONG is 32 bits on Windows");

}  // namespace orv::tokenctl
