// The updater's test build: the shipped application and dialog code with the stand-in page in
// place of the WebBrowser control, which this system cannot render. The page is the file
// "updater_page.html" in the program's folder, written by the test. With a "flow_probe.txt"
// there, a probe stands in for the update flow; otherwise the update flow asks the server the
// test names in ORV_TEST_UPDATE_BASE_URL, or the shipped one.
#include <windows.h>

#include <cwchar>

#include "brenlow_app.h"
#include "log_file.h"
#include "probe_flow.h"
#include "process_control.h"
#include "process_util.h"
#include "program_parts.h"
#include "stand_in_page.h"
#include "update_flow.h"

namespace {

std::wstring standInPageAddress() { return orv::moduleDirectory() + L"updater_page.html"; }

std::wstring environment(const wchar_t* name) {
  wchar_t value[2048] = {};
  const DWORD n = GetEnvironmentVariableW(name, value, 2048);
  return n > 0 && n < 2048 ? std::wstring(value, n) : std::wstring();
}

// The update server the test serves (ORV_TEST_UPDATE_BASE_URL) and, so that a test of the page
// bound need not wait out the shipped minute, the bound (ORV_TEST_PAGE_READY_MS): test builds only.
// Wine keeps no security descriptors (every file reads back as owned by this user), so the test
// build accepts its own user as the work folders' owner.
std::unique_ptr<orv::updater::UpdateFlow> testUpdateFlow() {
  if (orv::test::probeScriptPresent()) return orv::test::createProbeFlow();
  const std::wstring baseUrl = environment(L"ORV_TEST_UPDATE_BASE_URL");
  orv::updater::FlowBounds bounds;
  bounds.workFolderOwners = orv::updater::WorkFolderOwners::kAdministratorsOrOwnUser;
  if (const std::wstring ms = environment(L"ORV_TEST_PAGE_READY_MS"); !ms.empty())
    bounds.pageReadyWaitMs = std::wcstoul(ms.c_str(), nullptr, 10);
  return orv::updater::createUpdateFlow(baseUrl.empty() ? orv::updater::updateBaseUrl() : baseUrl,
                                        bounds);
}

// Wine has no shell window: the test names a stand-in "shell" by its process id
// (ORV_TEST_SHELL_PID) or its program's file name (ORV_TEST_SHELL_PROGRAM, the first such
// process); without either there is no shell, as on a desktop without one.
unsigned long standInShell() {
  if (const std::wstring pid = environment(L"ORV_TEST_SHELL_PID"); !pid.empty())
    return std::wcstoul(pid.c_str(), nullptr, 10);
  const std::wstring program = environment(L"ORV_TEST_SHELL_PROGRAM");
  return program.empty() ? 0 : orv::updater::findProgram(program);
}

orv::updater::CBrenlowApp theApp({&orv::test::createStandInPage, &standInPageAddress,
                                  &testUpdateFlow, &orv::updater::createDesktopCopy});
}  // namespace

// Wine keeps no security descriptors: the log's folder reads back as owned by this user.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  orv::setLogFolderOwnersForTesting(orv::FolderOwners::kAdministratorsOrOwnUser);
  orv::setShellProcessFinderForTesting(&standInShell);
  return orv::runProgram(theApp);
}
