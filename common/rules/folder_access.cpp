#include "folder_access.h"

#include <cwctype>

namespace orv {
namespace {

struct RightCode {
  const wchar_t* code;
  std::uint32_t rights;
};

// The two-letter rights SDDL writes for files and folders (and the generic and standard ones).
constexpr RightCode kRightCodes[] = {
    {L"GA", 0x10000000}, {L"GR", 0x80000000}, {L"GW", 0x40000000}, {L"GX", 0x20000000},
    {L"RC", 0x20000},    {L"SD", 0x10000},    {L"WD", 0x40000},    {L"WO", 0x80000},
    {L"FA", 0x1F01FF},   {L"FR", 0x120089},   {L"FW", 0x120116},   {L"FX", 0x1200A0},
    {L"CC", 0x1},        {L"DC", 0x2},        {L"LC", 0x4},        {L"SW", 0x8},
    {L"RP", 0x10},       {L"WP", 0x20},       {L"DT", 0x40},       {L"LO", 0x80},
    {L"CR", 0x100},
};

std::optional<std::uint32_t> parseRights(const std::wstring& text) {
  if (text.empty()) return std::nullopt;
  const bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
  if (hex || std::iswdigit(text[0])) {
    std::uint64_t value = 0;
    for (std::size_t i = hex ? 2 : 0; i < text.size(); ++i) {
      const wchar_t c = static_cast<wchar_t>(std::towlower(text[i]));
      int digit = -1;
      if (c >= L'0' && c <= L'9') digit = c - L'0';
      if (hex && c >= L'a' && c <= L'f') digit = c - L'a' + 10;
      if (digit < 0) return std::nullopt;
      value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
      if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
  }
  if (text.size() % 2 != 0) return std::nullopt;
  std::uint32_t rights = 0;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const std::wstring code = text.substr(i, 2);
    bool known = false;
    for (const RightCode& r : kRightCodes)
      if (code == r.code) {
        rights |= r.rights;
        known = true;
      }
    if (!known) return std::nullopt;
  }
  return rights;
}

// "type;flags;rights;object;inherited object;sid[;...]" between the parentheses.
std::optional<AccessEntry> parseEntry(const std::wstring& text) {
  std::vector<std::wstring> fields(1);
  for (const wchar_t c : text) {
    if (c == L';')
      fields.emplace_back();
    else
      fields.back() += c;
  }
  if (fields.size() < 6 || fields[0].empty() || fields[5].empty()) return std::nullopt;
  const std::optional<std::uint32_t> rights = parseRights(fields[2]);
  if (!rights) return std::nullopt;
  return AccessEntry{fields[0], fields[1], *rights, fields[5]};
}

// Whether a section marker ("O:", "G:", "D:", "S:") starts at `at`.
bool markerAt(const std::wstring& s, std::size_t at) {
  return at + 1 < s.size() && s[at + 1] == L':' &&
         (s[at] == L'O' || s[at] == L'G' || s[at] == L'D' || s[at] == L'S');
}

bool hasFlag(const std::wstring& flags, const wchar_t* flag) {
  for (std::size_t i = 0; i + 1 < flags.size(); i += 2)
    if (flags.compare(i, 2, flag) == 0) return true;
  return false;
}

bool isAlias(const std::wstring& sid, const wchar_t* alias, const wchar_t* full) {
  return sid == alias || sid == full;
}

bool trusted(const std::wstring& sid, const std::vector<std::wstring>& alsoTrusted) {
  if (isAlias(sid, L"BA", L"S-1-5-32-544") || isAlias(sid, L"SY", L"S-1-5-18")) return true;
  for (const std::wstring& t : alsoTrusted)
    if (sid == t) return true;
  return false;
}

bool isDeny(const std::wstring& type) { return type == L"D" || type == L"OD" || type == L"XD"; }

}  // namespace

std::optional<ParsedDescriptor> parseSddl(const std::wstring& sddl) {
  if (sddl.empty()) return std::nullopt;
  ParsedDescriptor parsed;
  std::size_t at = 0;
  while (at < sddl.size()) {
    if (!markerAt(sddl, at)) return std::nullopt;
    const wchar_t section = sddl[at];
    at += 2;
    if (section == L'O' || section == L'G') {
      std::size_t end = at;
      while (end < sddl.size() && !markerAt(sddl, end)) ++end;
      if (section == L'O') parsed.owner = sddl.substr(at, end - at);
      at = end;
      continue;
    }
    // An ACL: its flags, then its entries.
    std::size_t flagsEnd = at;
    while (flagsEnd < sddl.size() && sddl[flagsEnd] != L'(' && !markerAt(sddl, flagsEnd))
      ++flagsEnd;
    const std::wstring flags = sddl.substr(at, flagsEnd - at);
    at = flagsEnd;
    std::vector<AccessEntry> entries;
    while (at < sddl.size() && sddl[at] == L'(') {
      const std::size_t close = sddl.find(L')', at);
      if (close == std::wstring::npos) return std::nullopt;
      std::optional<AccessEntry> entry = parseEntry(sddl.substr(at + 1, close - at - 1));
      if (!entry) return std::nullopt;
      entries.push_back(std::move(*entry));
      at = close + 1;
    }
    if (section == L'D') {
      parsed.daclPresent = true;
      parsed.daclNull = flags.find(L"NO_ACCESS_CONTROL") != std::wstring::npos;
      parsed.dacl = std::move(entries);
    }
  }
  return parsed;
}

FolderAccess folderAccess(const std::wstring& sddl, const std::vector<std::wstring>& alsoTrusted) {
  const std::optional<ParsedDescriptor> parsed = parseSddl(sddl);
  if (!parsed) return FolderAccess::kUnreadable;
  if (!trusted(parsed->owner, alsoTrusted)) return FolderAccess::kOwnerNotTrusted;
  if (!parsed->daclPresent || parsed->daclNull) return FolderAccess::kNoDacl;
  for (const AccessEntry& e : parsed->dacl) {
    if (isDeny(e.type) || trusted(e.sid, alsoTrusted)) continue;
    if (isAlias(e.sid, L"CO", L"S-1-3-0") && hasFlag(e.flags, L"IO")) continue;
    if (e.rights & kChangingRights) return FolderAccess::kOthersMayChange;
  }
  return FolderAccess::kAdministratorsOnly;
}

const wchar_t* folderAccessText(FolderAccess access) {
  switch (access) {
    case FolderAccess::kAdministratorsOnly:
      return L"administrators only";
    case FolderAccess::kUnreadable:
      return L"its descriptor cannot be read";
    case FolderAccess::kOwnerNotTrusted:
      return L"not owned by Administrators or SYSTEM";
    case FolderAccess::kNoDacl:
      return L"no DACL";
    case FolderAccess::kOthersMayChange:
      return L"others may change it";
  }
  return L"";
}

}  // namespace orv
