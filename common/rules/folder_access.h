#pragma once
// Whether a folder's security descriptor, as SDDL, leaves it to administrators alone: the rule
// the updater applies to the installed folder before every attempt (Windows-free; the descriptor
// is read by handle in common/parts/admin_folder.h). Only an owner that is trusted, a DACL that
// is there (not null), and no allowing entry that gives anyone else a right to change the folder
// or what it holds (write or append data, add files or folders, delete, delete children, change
// the DACL or the owner, or the generic rights that include them).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orv {

// One access entry of a DACL as SDDL writes it: "(A;OICI;FA;;;BA)".
struct AccessEntry {
  std::wstring type;   // "A" allow, "D" deny, "OA", "XA", ...
  std::wstring flags;  // "OICI", "IO", "ID", ... as written
  std::uint32_t rights = 0;
  std::wstring sid;  // an alias ("BA") or a SID string ("S-1-5-21-...")
};

struct ParsedDescriptor {
  std::wstring owner;  // empty when the text names none
  bool daclPresent = false;
  bool daclNull = false;  // "D:NO_ACCESS_CONTROL": everyone may do everything
  std::vector<AccessEntry> dacl;
};

// The owner and DACL of an SDDL text; nothing when the text cannot be read whole (an unknown
// right, an unclosed entry): a descriptor not understood is never taken as safe.
std::optional<ParsedDescriptor> parseSddl(const std::wstring& sddl);

// The rights that change a folder or what it holds (FILE_WRITE_DATA / ADD_FILE, APPEND_DATA /
// ADD_SUBDIRECTORY, DELETE_CHILD, DELETE, WRITE_DAC, WRITE_OWNER, GENERIC_WRITE, GENERIC_ALL).
constexpr std::uint32_t kChangingRights =
    0x2 | 0x4 | 0x40 | 0x10000 | 0x40000 | 0x80000 | 0x40000000 | 0x10000000;

enum class FolderAccess {
  kAdministratorsOnly,
  kUnreadable,  // the text is no descriptor this rule understands
  kOwnerNotTrusted,
  kNoDacl,           // no DACL, or a null one
  kOthersMayChange,  // an allowing entry gives someone else a changing right
};

// The verdict over a descriptor. Administrators ("BA", "S-1-5-32-544") and SYSTEM ("SY",
// "S-1-5-18") are trusted, and so is every SID in `alsoTrusted` (the test builds' own user).
// Deny entries are ignored (they only take rights away), and so are CREATOR OWNER's inherit-only
// entries: they give rights only to the creator of a new child, who must already be trusted.
FolderAccess folderAccess(const std::wstring& sddl,
                          const std::vector<std::wstring>& alsoTrusted = {});

// "others may change it", for the log line.
const wchar_t* folderAccessText(FolderAccess access);

}  // namespace orv
