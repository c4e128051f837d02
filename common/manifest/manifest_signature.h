#pragma once
// The signature block of "Digest.xml": 273 bytes in front of the file's last tag,
//   CR LF "<Sign>"  256 hex digits (128-byte RSA signature)  "</Sign>" CR LF
// The signed message is the file with the block cut out; the signature is the SHA-1 of that
// message in a PKCS#1 v1.5 type 1 block (no DigestInfo), raised to the private exponent.
#include <cstddef>
#include <string>

namespace orv {

constexpr std::size_t kSignatureBlockSize = 273;

// What the signature check of a whole file found: no block (or a zero byte in the file), a block
// made with another key, a block made with this key over other bytes, or a verified file.
enum class SignatureCheck { Verified, Unsigned, OtherKey, Altered };
SignatureCheck checkSignedManifest(const std::string& bytes, const std::string& publicKeyPem);

// True when `bytes` (a whole file) carries a block that verifies with `publicKeyPem`.
// Files with a zero byte are refused: the block is located by text but the message by length.
bool verifySignedManifest(const std::string& bytes, const std::string& publicKeyPem);

// Inserts a signature block in front of the last "<" of `unsigned` made with `privateKeyPem`.
// Empty result when there is no "<" or the key cannot sign. (Signing tool and tests only.)
std::string signManifest(const std::string& unsignedBytes, const std::string& privateKeyPem);

}  // namespace orv
