#pragma once
// Text rules of the token control that need no Windows: fixed-width token fields, the certificate
// serial number text, dates, and the result a wrong PIN gives.
#include <cstddef>
#include <optional>
#include <string>

namespace orv::tokenctl {

// A blank-padded fixed-width field (label, serial number) without its trailing blanks; inner
// blanks stay. Stops at a zero byte, too.
std::string trimTrailingBlanks(const unsigned char* field, std::size_t width);

// CryptoAPI keeps a serial number least significant byte first; the text reads most significant
// first, two lower-case hex digits per byte, however long the serial is.
std::string serialNumberText(const unsigned char* bytes, std::size_t count);

// "%04d-%02d-%02d".
std::string dateText(int year, int month, int day);

// lRet after a refused login, from the attempts-left value read before it: attempts - 1, or -1
// on the last attempt. No value when the counter gave 0 (unknown).
std::optional<long> wrongPinResult(unsigned attemptsLeft);

}  // namespace orv::tokenctl

namespace orv::tokenctl {

// The installation check's value comparison: equal apart from the letter case of ASCII letters
// (bytes of multi-byte characters stay as they are).
bool equalIgnoringCase(const std::string& a, const std::string& b);

}  // namespace orv::tokenctl
