// The installed folder's rule over its descriptor: SDDL in, verdict out.
#include <gtest/gtest.h>

#include "folder_access.h"
#include "product.h"

namespace orv {
namespace {

TEST(FolderAccess, OnlyAdministratorsAndSystemMayChangeTheFolder) {
  const std::wstring user = L"S-1-5-21-1-2-3-1001";
  struct Case {
    const wchar_t* sddl;
    FolderAccess verdict;
  };
  const Case cases[] = {
      // What the installer sets, and the same as the system may write it back.
      {kInstalledFolderSddl, FolderAccess::kAdministratorsOnly},
      {L"O:SYG:SYD:PAI(A;OICI;FA;;;S-1-5-32-544)(A;OICI;FA;;;S-1-5-18)(A;OICI;FRFX;;;BU)",
       FolderAccess::kAdministratorsOnly},
      // A fresh folder below Program Files: CREATOR OWNER's inherit-only entry does not count.
      {L"O:BAD:AI(A;OICIIOID;GA;;;CO)(A;OICIID;FA;;;BA)(A;ID;0x1200a9;;;AU)",
       FolderAccess::kAdministratorsOnly},
      // Deny entries only take rights away.
      {L"O:BAD:P(D;OICI;FA;;;WD)(A;OICI;FA;;;BA)", FolderAccess::kAdministratorsOnly},
      {L"O:BUD:P(A;OICI;FA;;;BA)", FolderAccess::kOwnerNotTrusted},
      {L"D:P(A;OICI;FA;;;BA)", FolderAccess::kOwnerNotTrusted},
      {L"O:BA", FolderAccess::kNoDacl},
      {L"O:BAD:NO_ACCESS_CONTROL", FolderAccess::kNoDacl},
      {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;BU)", FolderAccess::kOthersMayChange},
      {L"O:BAD:P(A;OICI;0x1200a9;;;BU)(A;;0x2;;;AU)", FolderAccess::kOthersMayChange},
      {L"O:BAD:P(A;CI;0x4;;;BU)", FolderAccess::kOthersMayChange},     // add a folder
      {L"O:BAD:P(A;;0x40;;;BU)", FolderAccess::kOthersMayChange},      // delete a child
      {L"O:BAD:P(A;;SD;;;WD)", FolderAccess::kOthersMayChange},        // delete
      {L"O:BAD:P(A;;WD;;;WD)", FolderAccess::kOthersMayChange},        // change the DACL
      {L"O:BAD:P(A;;WO;;;IU)", FolderAccess::kOthersMayChange},        // take the owner
      {L"O:BAD:P(A;OICIIO;GW;;;BU)", FolderAccess::kOthersMayChange},  // children's, inherited
      {L"O:BAD:P(A;OICIIO;GA;;;BU)", FolderAccess::kOthersMayChange},  // not CREATOR OWNER's
      {L"O:BAD:P(A;OICI;GA;;;CO)", FolderAccess::kOthersMayChange},    // not inherit-only
      {L"O:BAD:P(A;;FA;;;S-1-5-21-1-2-3-1001)", FolderAccess::kOthersMayChange},
      {L"O:BAD:P(A;;0x100;;;BU)(A;;FR;;;WD)", FolderAccess::kAdministratorsOnly},
      {L"O:BAD:P(A;OICI;FA;;;BA", FolderAccess::kUnreadable},
      {L"O:BAD:P(A;OICI;ZZ;;;BU)", FolderAccess::kUnreadable},
      {L"O:BAD:P(A;OICI;0xZ;;;BU)", FolderAccess::kUnreadable},
      {L"", FolderAccess::kUnreadable},
      {L"X:BA", FolderAccess::kUnreadable},
  };
  for (const Case& c : cases)
    EXPECT_EQ(folderAccess(c.sddl), c.verdict) << testing::PrintToString(std::wstring(c.sddl));

  // The test builds' own user (under Wine every file is its own) is trusted like Administrators.
  const std::wstring wine =
      L"O:" + user + L"G:" + user + L"D:(A;;FA;;;" + user + L")(A;;0x1200a9;;;WD)";
  EXPECT_EQ(folderAccess(wine), FolderAccess::kOwnerNotTrusted);
  EXPECT_EQ(folderAccess(wine, {user}), FolderAccess::kAdministratorsOnly);
}

}  // namespace
}  // namespace orv
