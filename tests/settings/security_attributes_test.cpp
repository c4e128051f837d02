// SecurityAttributes: the open DACL and the low mandatory label, checked in the descriptor itself
// and on real kernel objects created with it.
#include "security_attributes.h"

#include <aclapi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "scoped_handle.h"

namespace orv {
namespace {

OSVersion windows98() {
  OsVersionFacts f;
  f.queried = true;
  f.platformId = kPlatformWindows;
  f.major = 4;
  f.minor = 10;
  return OSVersion(f);
}

// S-1-16-4096: the low mandatory level.
bool isLowIntegritySid(PSID sid) {
  SID_IDENTIFIER_AUTHORITY label = SECURITY_MANDATORY_LABEL_AUTHORITY;
  PSID low = nullptr;
  if (!AllocateAndInitializeSid(&label, 1, SECURITY_MANDATORY_LOW_RID, 0, 0, 0, 0, 0, 0, 0, &low))
    return false;
  const bool same = EqualSid(sid, low) != FALSE;
  FreeSid(low);
  return same;
}

// The one label ACE of a SACL: low level, no write-up.
void expectLowLabel(PACL sacl) {
  ASSERT_NE(sacl, nullptr);
  ASSERT_EQ(sacl->AceCount, 1);
  void* ace = nullptr;
  ASSERT_TRUE(GetAce(sacl, 0, &ace));
  auto* header = static_cast<ACE_HEADER*>(ace);
  EXPECT_EQ(header->AceType, SYSTEM_MANDATORY_LABEL_ACE_TYPE);
  auto* label = static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(ace);
  EXPECT_EQ(label->Mask, static_cast<ACCESS_MASK>(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP));
  EXPECT_TRUE(isLowIntegritySid(reinterpret_cast<PSID>(&label->SidStart)));
}

TEST(SecurityAttributesTest, NothingIsBuiltOnTheWindows95Family) {
  SecurityAttributes sa(windows98());
  EXPECT_EQ(sa.attributes().nLength, 0u);
  EXPECT_EQ(sa.attributes().lpSecurityDescriptor, nullptr);
  EXPECT_EQ(sa.forCreate(), nullptr);
  EXPECT_FALSE(sa.hasLowIntegrityLabel());
}

TEST(SecurityAttributesTest, OpenDaclNotInheritable) {
  SecurityAttributes sa;
  ASSERT_EQ(sa.attributes().nLength, sizeof(SECURITY_ATTRIBUTES));
  EXPECT_EQ(sa.forCreate(), &sa.attributes());
  EXPECT_FALSE(sa.attributes().bInheritHandle);
  auto* sd = static_cast<PSECURITY_DESCRIPTOR>(sa.attributes().lpSecurityDescriptor);
  ASSERT_NE(sd, nullptr);
  EXPECT_TRUE(IsValidSecurityDescriptor(sd));
  BOOL present = FALSE;
  BOOL defaulted = TRUE;
  PACL dacl = reinterpret_cast<PACL>(1);
  ASSERT_TRUE(GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_FALSE(defaulted);
  EXPECT_EQ(dacl, nullptr);  // NULL DACL: everyone has full access
}

TEST(SecurityAttributesTest, LowIntegrityLabelInTheSacl) {
  SecurityAttributes sa;
  if (!sa.hasLowIntegrityLabel())
    GTEST_SKIP() << "this system cannot build the mandatory label from SDDL S:(ML;;NW;;;LW)";
  auto* sd = static_cast<PSECURITY_DESCRIPTOR>(sa.attributes().lpSecurityDescriptor);
  BOOL present = FALSE;
  BOOL defaulted = TRUE;
  PACL sacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorSacl(sd, &present, &sacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_FALSE(defaulted);
  expectLowLabel(sacl);
}

TEST(SecurityAttributesTest, MutexCreatedWithItHasTheOpenDacl) {
  SecurityAttributes sa;
  const std::wstring name =
      L"OrvalinexSecurityAttributesTest_" + std::to_wstring(GetCurrentProcessId());
  ScopedHandle mutex(CreateMutexW(sa.forCreate(), FALSE, name.c_str()));
  ASSERT_TRUE(mutex.valid()) << GetLastError();
  ScopedHandle opened(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, name.c_str()));
  EXPECT_TRUE(opened.valid());

  PACL dacl = reinterpret_cast<PACL>(1);
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_EQ(GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &sd),
            static_cast<DWORD>(ERROR_SUCCESS));
  ScopedLocalMemory owner(sd);
  EXPECT_EQ(dacl, nullptr);
}

TEST(SecurityAttributesTest, MutexCreatedWithItCarriesTheLabel) {
  SecurityAttributes sa;
  if (!sa.hasLowIntegrityLabel()) GTEST_SKIP() << "no mandatory label support here";
  const std::wstring name = L"OrvalinexSecurityLabelTest_" + std::to_wstring(GetCurrentProcessId());
  ScopedHandle mutex(CreateMutexW(sa.forCreate(), FALSE, name.c_str()));
  ASSERT_TRUE(mutex.valid());
  PACL sacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  const DWORD rc = GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, LABEL_SECURITY_INFORMATION,
                                   nullptr, nullptr, nullptr, &sacl, &sd);
  ScopedLocalMemory owner(sd);
  if (rc != ERROR_SUCCESS || sacl == nullptr || sacl->AceCount == 0)
    GTEST_SKIP() << "this system does not report labels of kernel objects (" << rc << ")";
  expectLowLabel(sacl);
}

TEST(SecurityAttributesTest, NamedPipeCanBeCreatedWithIt) {
  SecurityAttributes sa;
  const std::wstring name =
      L"\\\\.\\pipe\\OrvalinexSecurityAttributesTest_" + std::to_wstring(GetCurrentProcessId());
  ScopedHandle pipe(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                     1, 4096, 4096, 0, sa.forCreate()));
  ASSERT_TRUE(pipe.valid()) << GetLastError();
  ScopedHandle client(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(client.valid());
}

TEST(SecurityAttributesTest, ProcessWideInstanceIsOne) {
  SecurityAttributes& a = processSecurityAttributes();
  SecurityAttributes& b = processSecurityAttributes();
  EXPECT_EQ(&a, &b);
  EXPECT_EQ(a.attributes().nLength, sizeof(SECURITY_ATTRIBUTES));
}

}  // namespace
}  // namespace orv
