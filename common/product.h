#pragma once
// The product's identity, joined into file, pipe, message, mutex and registry names and shown
// in titles and captions.

namespace orv {

inline constexpr wchar_t kProductId[] = L"Orvalinex";
inline constexpr wchar_t kProductName[] = L"Delmora网银助手";

}  // namespace orv
