#pragma once
// The middleware's vendor extension: "E_GetAuxFunctionList" hands out a table that, like
// CK_FUNCTION_LIST, is a 2-byte version followed by function pointers (1-byte packing). The
// control uses the first three entries. Every entry takes the slot first and returns 0 on success.
#include <cstdint>

#include "pkcs11_win.h"

namespace orv::tokenctl {

#pragma pack(push, 1)

// Input of aux function 0 (initialise token). With 4-byte pointers (the shipped 32-bit build)
// it is exactly 51 bytes; a 64-bit build widens the three pointer fields.
struct TokenInitRecord {
  std::uint8_t hardwareMajor;        // 0
  std::uint8_t hardwareMinor;        // 1
  const char* tokenName;             // 2: "Kessel Token"
  std::uint32_t reserved6;           // 6
  const char* fixedText;             // 10: six lower-case letters, meaning is the middleware's
  const char* defaultUserPin;        // 14: "731842"
  std::uint8_t byte18;               // 18: 0
  std::uint8_t byte19;               // 19: 6
  std::uint8_t byte20;               // 20: 6
  std::uint8_t byte21;               // 21: 0
  std::uint32_t totalPublicMemory;   // 22
  std::uint32_t totalPrivateMemory;  // 26
  std::uint32_t reserved30;          // 30
  std::uint8_t reserved34;           // 34
  std::uint32_t reserved35;          // 35
  std::uint32_t value39;             // 39: 0x00020001
  std::uint8_t reserved43[8];        // 43
};

using AuxInitTokenFn = CK_RV (*)(CK_SLOT_ID slot, TokenInitRecord* record);
using AuxSetLabelFn = CK_RV (*)(CK_SLOT_ID slot, CK_ULONG one, CK_ULONG zero1, CK_ULONG zero2,
                                const char* label);
// Fills an 8-byte record; byte 3 is the number of user-PIN attempts left.
using AuxReadPinRecordFn = CK_RV (*)(CK_SLOT_ID slot, unsigned char* record);

struct AuxFunctionList {
  CK_VERSION version;
  AuxInitTokenFn initToken;          // aux function 0
  AuxSetLabelFn setLabel;            // aux function 1
  AuxReadPinRecordFn readPinRecord;  // aux function 2
};

#pragma pack(pop)

static_assert(sizeof(void*) != 4 || sizeof(TokenInitRecord) == 51,
              "the initialisation record is 51 bytes with 4-byte pointers");

using GetAuxFunctionListFn = CK_RV (*)(AuxFunctionList** list);

constexpr unsigned kPinRecordSize = 8;
constexpr unsigned kPinRecordAttemptsOffset = 3;

}  // namespace orv::tokenctl
