// The control as a bank page uses it: registered with regsvr32, created from JScript with
// new ActiveXObject("OstwinAutoCtrl.OstwinCtrl") in cscript, against the stand-in middleware.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "ansi_text.h"
#include "path_join.h"
#include "processes.h"
#include "test_support.h"

namespace {

using orv::test::TokenSetup;

const wchar_t kClsidKey[] = L"CLSID\\{EF75B357-42E9-46bf-B124-DEE22748D503}";
const wchar_t kTypeLibKey[] = L"TypeLib\\{1A5BAF08-6DFD-4D3E-8411-C231CFF77210}";

std::wstring systemTool(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  ::GetSystemDirectoryW(folder, MAX_PATH);
  return orv::joinPath(folder, name);
}

int regsvr32(bool unregister) {
  const std::wstring line = L"\"" + systemTool(L"regsvr32.exe") + L"\" /s " +
                            (unregister ? L"/u " : L"") + L"\"" + orv::test::controlDll() + L"\"";
  const auto result = orv::test::runCapturingOutput(line);
  return result.started ? static_cast<int>(result.exitCode) : -1;
}

bool keyExists(const std::wstring& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  ::RegCloseKey(key);
  return true;
}

// The text value (null name: the default value), or "<missing>".
std::wstring keyValue(const std::wstring& path, const wchar_t* name = nullptr) {
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  if (::RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer,
                     &size) != ERROR_SUCCESS)
    return L"<missing>";
  return buffer;
}

using Answers = std::map<std::string, std::string>;

// An echoed value read back: its \uXXXX escapes as the characters they stand for, in UTF-8.
std::string unescaped(const std::string& echoed) {
  std::wstring text;
  for (std::size_t i = 0; i < echoed.size(); ++i) {
    if (echoed.compare(i, 2, "\\u") == 0 && i + 6 <= echoed.size()) {
      text += static_cast<wchar_t>(std::stoul(echoed.substr(i + 2, 4), nullptr, 16));
      i += 5;
    } else {
      text += static_cast<wchar_t>(static_cast<unsigned char>(echoed[i]));
    }
  }
  return orv::toUtf8(text);
}

class ScriptTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(regsvr32(false), 0) << "regsvr32 failed"; }

  // A folder for this test with the token description and, unless left out, the middleware.
  void prepare(const std::vector<TokenSetup>& tokens, bool withMiddleware = true) {
    folder_ = scratch_.wpath();
    config_ = folder_ + L"\\tokens.cfg";
    log_ = folder_ + L"\\calls.log";
    orv::test::writeFile(config_, orv::test::tokenConfig(tokens));
    if (withMiddleware) {
      ASSERT_TRUE(::CopyFileW((orv::test::middlewareFolder() + L"\\Sarnovi_XT.dll").c_str(),
                              (folder_ + L"\\Sarnovi_XT.dll").c_str(), FALSE));
    }
    ::SetEnvironmentVariableW(L"ORV_SOFTTOKEN_CONFIG", config_.c_str());
    ::SetEnvironmentVariableW(L"ORV_SOFTTOKEN_LOG", log_.c_str());
  }

  // Runs the script body in cscript with `c` the control; out(k, v) reports "k=v". What the
  // script echoes is ASCII, every other character (and the backslash) written as \uXXXX: under a
  // multi-byte code page Wine's cscript writes past its buffer when it echoes other characters.
  Answers run(const std::string& body) {
    const std::string script =
        "var c = new ActiveXObject(\"OstwinAutoCtrl.OstwinCtrl\");\n" + std::string(R"(
function ascii(text) {
  return String(text).replace(/[^ -~]|\\/g, function (ch) {
    return "\\u" + ("000" + ch.charCodeAt(0).toString(16)).slice(-4);
  });
}
function out(k, v) { WScript.Echo(k + "=" + ascii(v)); }
function kind(k, v) { WScript.Echo(k + ":type=" + typeof v); }
)") + body;
    const std::wstring file = folder_ + L"\\page.js";
    orv::test::writeFile(file, script);
    const auto result = orv::test::runCapturingOutput(
        L"\"" + systemTool(L"cscript.exe") + L"\" //nologo \"" + file + L"\"", folder_);
    EXPECT_TRUE(result.started);
    output_ = result.output;
    Answers answers;
    std::istringstream in(result.output);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const auto eq = line.find('=');
      if (eq != std::string::npos) answers[line.substr(0, eq)] = unescaped(line.substr(eq + 1));
    }
    return answers;
  }

  std::string calls() const { return orv::test::readFile(log_); }

  // Where the only C_Finalize of the middleware's call record stands; npos, with the test
  // failed, when there is none or more than one.
  std::size_t onlyFinalize(const std::string& log) const {
    const auto finalize = log.find("C_Finalize");
    EXPECT_NE(finalize, std::string::npos) << log;
    if (finalize == std::string::npos) return finalize;
    EXPECT_EQ(log.find("C_Finalize", finalize + 1), std::string::npos) << log;
    return finalize;
  }

  orv::test::TempDir scratch_;  // one fresh folder a test, removed with it
  std::wstring folder_, config_, log_;
  std::string output_;
};

TEST_F(ScriptTest, RegistrationWritesTheKeysOfTheTable) {
  EXPECT_EQ(keyValue(L"OstwinAutoCtrl.OstwinCtrl.1"), L"OstwinCtrl Class");
  EXPECT_EQ(keyValue(L"OstwinAutoCtrl.OstwinCtrl.1\\CLSID"),
            L"{EF75B357-42E9-46bf-B124-DEE22748D503}");
  EXPECT_EQ(keyValue(L"OstwinAutoCtrl.OstwinCtrl"), L"OstwinCtrl Class");
  EXPECT_EQ(keyValue(L"OstwinAutoCtrl.OstwinCtrl\\CLSID"),
            L"{EF75B357-42E9-46bf-B124-DEE22748D503}");
  EXPECT_EQ(keyValue(L"OstwinAutoCtrl.OstwinCtrl\\CurVer"), L"OstwinAutoCtrl.OstwinCtrl.1");
  const std::wstring clsid = kClsidKey;
  EXPECT_EQ(keyValue(clsid), L"OstwinCtrl Class");
  EXPECT_EQ(keyValue(clsid + L"\\ProgID"), L"OstwinAutoCtrl.OstwinCtrl.1");
  EXPECT_EQ(keyValue(clsid + L"\\VersionIndependentProgID"), L"OstwinAutoCtrl.OstwinCtrl");
  EXPECT_TRUE(keyExists(clsid + L"\\Programmable"));
  EXPECT_EQ(
      ::lstrcmpiW(keyValue(clsid + L"\\InprocServer32").c_str(), orv::test::controlDll().c_str()), 0)
      << orv::toNarrow(keyValue(clsid + L"\\InprocServer32"));
  EXPECT_EQ(keyValue(clsid + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
  EXPECT_EQ(keyValue(clsid + L"\\TypeLib"), L"{1A5BAF08-6DFD-4d3e-8411-C231CFF77210}");
  EXPECT_TRUE(keyExists(std::wstring(kTypeLibKey) + L"\\1.0"));
}

TEST_F(ScriptTest, NoToken) {
  prepare({});
  const Answers a =
      run("out('CheckToken', c.CheckToken());\n"
          "out('GetSN', c.GetSN());\n"
          "out('GetTokenName', c.GetTokenName());\n"
          "out('GetCertDN', c.GetCertDN());\n"
          "out('GetCertCN', c.GetCertCN());\n"
          "out('GetCertSN', c.GetCertSN());\n"
          "out('GetCertStartDate', c.GetCertStartDate());\n"
          "out('GetCertNA', c.GetCertNA());\n"
          "out('VerifyUserPin', c.VerifyUserPin('123456', 0));\n"
          "out('ChangeUserPin', c.ChangeUserPin('123456', '654321'));\n"
          "out('ClearPinState', c.ClearPinState());\n"
          "out('ChangeTokenNam', c.ChangeTokenNam('old', 'new'));\n"
          "out('Init_Key', c.Init_Key());\n"
          "out('GetCntlVersion', c.GetCntlVersion());\n"
          "out('getCspSelectKeySN', c.getCspSelectKeySN()); kind('getCspSelectKeySN', "
          "c.getCspSelectKeySN());\n");
  EXPECT_EQ(a.at("CheckToken"), "0") << output_;
  EXPECT_EQ(a.at("GetSN"), "");
  EXPECT_EQ(a.at("GetTokenName"), "");
  EXPECT_EQ(a.at("GetCertDN"), "");
  EXPECT_EQ(a.at("GetCertCN"), "");
  EXPECT_EQ(a.at("GetCertSN"), "");
  EXPECT_EQ(a.at("GetCertStartDate"), "");
  EXPECT_EQ(a.at("GetCertNA"), "");
  EXPECT_EQ(a.at("VerifyUserPin"), "-1");
  EXPECT_EQ(a.at("ChangeUserPin"), "-1");
  EXPECT_EQ(a.at("ClearPinState"), "96");
  EXPECT_EQ(a.at("ChangeTokenNam"), "96");
  EXPECT_EQ(a.at("Init_Key"), "-1");
  EXPECT_EQ(a.at("GetCntlVersion"), "20151018");
  // Always answers, and with a defined empty text.
  EXPECT_EQ(a.at("getCspSelectKeySN"), "");
  EXPECT_EQ(a.at("getCspSelectKeySN:type"), "string");
}

TEST_F(ScriptTest, TokenWhoseInformationCannotBeReadGivesNoEntry) {
  TokenSetup t;
  t.infoReadable = false;
  prepare({t});
  const Answers a =
      run("out('CheckToken', c.CheckToken());\n"
          "out('GetSN', c.GetSN());\n"
          "out('VerifyUserPin', c.VerifyUserPin('123456', 0));\n"
          "out('ClearPinState', c.ClearPinState());\n"
          "out('ChangeTokenNam', c.ChangeTokenNam('old', 'new'));\n"
          "out('Init_Key', c.Init_Key());\n");
  EXPECT_EQ(a.at("CheckToken"), "0") << output_;
  EXPECT_EQ(a.at("GetSN"), "");
  EXPECT_EQ(a.at("VerifyUserPin"), "-1");
  EXPECT_EQ(a.at("ClearPinState"), "0");
  EXPECT_EQ(a.at("ChangeTokenNam"), "96");
  EXPECT_EQ(a.at("Init_Key"), "-1");
}

TEST_F(ScriptTest, OneTokenReadsNamesAndCertificateFields) {
  TokenSetup t;
  t.label = "Zhang's Key";
  t.serial = "SN0001";
  t.cert = orv::test::certificate("holder.der");
  prepare({t});
  const Answers a =
      run("out('CheckToken', c.CheckToken());\n"
          "out('GetSN', c.GetSN());\n"
          "out('GetTokenName', c.GetTokenName());\n"
          "out('GetCertDN', c.GetCertDN());\n"
          "out('GetCertCN', c.GetCertCN());\n"
          "out('GetCertSN', c.GetCertSN());\n"
          "out('GetCertStartDate', c.GetCertStartDate());\n"
          "out('GetCertNA', c.GetCertNA());\n");
  EXPECT_EQ(a.at("CheckToken"), "1") << output_;
  EXPECT_EQ(a.at("GetSN"), "SN0001");
  EXPECT_EQ(a.at("GetTokenName"), "Zhang's Key");
  EXPECT_EQ(a.at("GetCertDN"),
            "C=CN, S=Beijing, L=Haidian, O=Delmora Bank, OU=Online Banking, CN=Zhang San");
  EXPECT_EQ(a.at("GetCertCN"), "Zhang San");
  EXPECT_EQ(a.at("GetCertSN"), "0a0201");  // stored as 01 02 0A
  EXPECT_EQ(a.at("GetCertStartDate"), "2015-10-18");
  EXPECT_EQ(a.at("GetCertNA"), "2025-10-17");
  // Every certificate read opens a session with the control's parameters and closes it again.
  const std::string log = calls();
  EXPECT_NE(log.find("C_OpenSession slot=1 flags=6 app=OstwinCtrl"), std::string::npos) << log;
  EXPECT_NE(log.find("C_FindObjectsFinal slot=1 rv=0x0"), std::string::npos);
  EXPECT_NE(log.find("C_CloseSession slot=1 rv=0x0"), std::string::npos);
}

TEST_F(ScriptTest, OneTokenWithoutCertificateGivesEmptyFields) {
  prepare({TokenSetup()});
  const Answers a =
      run("out('GetCertDN', c.GetCertDN());\n"
          "out('GetCertSN', c.GetCertSN());\n"
          "out('GetCertNA', c.GetCertNA());\n");
  EXPECT_EQ(a.at("GetCertDN"), "") << output_;
  EXPECT_EQ(a.at("GetCertSN"), "");
  EXPECT_EQ(a.at("GetCertNA"), "");
}

TEST_F(ScriptTest, LongCertificateSerialIsReturnedWhole) {
  TokenSetup t;
  t.cert = orv::test::certificate("long.der");
  prepare({t});
  const Answers a = run("out('GetCertSN', c.GetCertSN());\n");
  EXPECT_EQ(a.at("GetCertSN"),
            "7f0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f2021222324252627")
      << output_;
}

TEST_F(ScriptTest, OneTokenPinVerificationChangeAndLogout) {
  TokenSetup t;
  t.pin = "123456";
  prepare({t});
  const Answers a =
      run("out('VerifyUserPin', c.VerifyUserPin('123456', 1));\n"
          "out('VerifyAgain', c.VerifyUserPin('123456', 0));\n"
          "out('ChangeUserPin', c.ChangeUserPin('123456', '24680135'));\n"
          "out('ClearPinState', c.ClearPinState());\n"
          "out('VerifyNew', c.VerifyUserPin('24680135', 0));\n");
  EXPECT_EQ(a.at("VerifyUserPin"), "0") << output_;
  // The first login stays in force: the middleware answers "already logged in".
  EXPECT_EQ(a.at("VerifyAgain"), "0");
  EXPECT_EQ(a.at("ChangeUserPin"), "0");
  EXPECT_EQ(a.at("ClearPinState"), "0");
  EXPECT_EQ(a.at("VerifyNew"), "0");
  EXPECT_EQ(orv::test::tokenValue(config_, 1, "pin"), "24680135");
  const std::string log = calls();
  EXPECT_NE(log.find("C_Login slot=1 rv=0x100"), std::string::npos) << log;
  EXPECT_NE(log.find("C_SetPIN slot=1 rv=0x0"), std::string::npos);
  // ClearPinState found the verified login still in force and ended it.
  EXPECT_NE(log.find("C_Logout slot=1 rv=0x0"), std::string::npos);
  // PINs never reach the middleware's log either: the log shows calls only.
  EXPECT_EQ(log.find("123456"), std::string::npos);
}

TEST_F(ScriptTest, ChangeUserPinFailures) {
  TokenSetup t;
  t.pin = "123456";
  prepare({t});
  const Answers a =
      run("out('TooShort', c.ChangeUserPin('123456', '12'));\n"
          "out('WrongOld', c.ChangeUserPin('000000', '654321'));\n");
  EXPECT_EQ(a.at("TooShort"), "-2") << output_;  // the change itself failed
  EXPECT_EQ(a.at("WrongOld"), "5");              // 6 attempts before the wrong PIN
  EXPECT_EQ(orv::test::tokenValue(config_, 1, "pin"), "123456");
}

TEST_F(ScriptTest, WrongPinWithSixThreeAndOneAttemptsLeft) {
  for (unsigned attempts : {6u, 3u, 1u}) {
    TokenSetup t;
    t.attempts = attempts;
    prepare({t});
    const Answers a = run("out('VerifyUserPin', c.VerifyUserPin('999999', 0));\n");
    const std::string expected = attempts == 1 ? "-1" : std::to_string(attempts - 1);
    EXPECT_EQ(a.at("VerifyUserPin"), expected) << "attempts " << attempts << ": " << output_;
    EXPECT_EQ(orv::test::tokenValue(config_, 1, "attempts"), std::to_string(attempts - 1));
    // The refused login's session is closed again.
    EXPECT_NE(calls().find("C_CloseSession slot=1 rv=0x0"), std::string::npos);
  }
}

TEST_F(ScriptTest, UnreadableAttemptCounterStillGivesAFailure) {
  TokenSetup t;
  t.counterReadable = false;
  prepare({t});
  const Answers a =
      run("out('VerifyUserPin', c.VerifyUserPin('999999', 0));\n"
          "out('ChangeUserPin', c.ChangeUserPin('999999', '654321'));\n"
          "out('Right', c.VerifyUserPin('123456', 0));\n");
  // Defined instead of left unset: -1, never the 0 of a right PIN.
  EXPECT_EQ(a.at("VerifyUserPin"), "-1") << output_;
  EXPECT_EQ(a.at("ChangeUserPin"), "-1");
  EXPECT_EQ(a.at("Right"), "0");
}

TEST_F(ScriptTest, TwoTokens) {
  TokenSetup a1, a2;
  a1.slot = 1;
  a1.serial = "SN0001";
  a1.label = "First";
  a1.cert = orv::test::certificate("holder.der");
  a2.slot = 2;
  a2.serial = "SN0002";
  a2.label = "Second";
  a2.cert = orv::test::certificate("second.der");
  prepare({a1, a2});
  const Answers a =
      run("out('CheckToken', c.CheckToken());\n"
          "out('GetSN', c.GetSN());\n"
          "out('GetCertDN', c.GetCertDN());\n"
          "out('GetCertSN', c.GetCertSN());\n"
          "out('VerifyUserPin', c.VerifyUserPin('123456', 0));\n"
          "out('ChangeUserPin', c.ChangeUserPin('123456', '654321'));\n"
          "out('Init_Key', c.Init_Key());\n"
          "out('ClearPinState', c.ClearPinState());\n");
  EXPECT_EQ(a.at("CheckToken"), "2") << output_;
  EXPECT_EQ(a.at("GetSN"), "");
  EXPECT_EQ(a.at("GetCertDN"), "");
  EXPECT_EQ(a.at("GetCertSN"), "");
  EXPECT_EQ(a.at("VerifyUserPin"), "-1");
  EXPECT_EQ(a.at("ChangeUserPin"), "-1");
  EXPECT_EQ(a.at("Init_Key"), "-1");
  EXPECT_EQ(a.at("ClearPinState"), "0");
  const std::string log = calls();
  // No token was touched by the PIN methods; both were logged out.
  EXPECT_EQ(log.find("C_Login"), std::string::npos) << log;
  EXPECT_NE(log.find("C_Logout slot=1 rv=0x101"), std::string::npos);
  EXPECT_NE(log.find("C_Logout slot=2 rv=0x101"), std::string::npos);
}

TEST_F(ScriptTest, LabelOfThreeLettersAnd29Blanks) {
  TokenSetup t;
  t.label = "ABC" + std::string(29, ' ');
  TokenSetup inner;
  prepare({t});
  const Answers a =
      run("var n = c.GetTokenName(); out('name', '[' + n + ']'); out('length', n.length);\n");
  EXPECT_EQ(a.at("name"), "[ABC]") << output_;
  EXPECT_EQ(a.at("length"), "3");

  inner.label = "My Bank  Key";
  prepare({inner});
  EXPECT_EQ(run("out('name', '[' + c.GetTokenName() + ']');\n").at("name"), "[My Bank  Key]");
}

TEST_F(ScriptTest, TwoSlotsWithTheSameSerialGiveOneEntryTheLaterSlot) {
  TokenSetup a1, a2;
  a1.slot = 1;
  a1.serial = "SAME01";
  a1.label = "Earlier";
  a2.slot = 2;
  a2.serial = "SAME01";
  a2.label = "Later";
  prepare({a1, a2});
  const Answers a =
      run("out('CheckToken', c.CheckToken());\n"
          "out('GetTokenName', c.GetTokenName());\n"
          "out('VerifyUserPin', c.VerifyUserPin('123456', 0));\n");
  EXPECT_EQ(a.at("CheckToken"), "1") << output_;
  EXPECT_EQ(a.at("GetTokenName"), "Later");
  EXPECT_EQ(a.at("VerifyUserPin"), "0");
  EXPECT_NE(calls().find("C_Login slot=2 rv=0x0"), std::string::npos);
}

TEST_F(ScriptTest, GetCntlVersionWithoutMiddleware) {
  prepare({TokenSetup()}, /*withMiddleware=*/false);
  const Answers a =
      run("out('GetCntlVersion', c.GetCntlVersion());\n"
          "out('CheckToken', c.CheckToken());\n"
          "out('GetSN', c.GetSN());\n");
  EXPECT_EQ(a.at("GetCntlVersion"), "20151018") << output_;
  EXPECT_EQ(a.at("CheckToken"), "0");
  EXPECT_EQ(a.at("GetSN"), "");
}

TEST_F(ScriptTest, ChangeTokenNamWithAnEmptyNameTouchesNoToken) {
  TokenSetup t;
  t.label = "Original";
  prepare({t});
  const Answers a =
      run("out('emptyOld', c.ChangeTokenNam('', 'New'));\n"
          "out('emptyNew', c.ChangeTokenNam('Original', ''));\n");
  EXPECT_EQ(a.at("emptyOld"), "1") << output_;
  EXPECT_EQ(a.at("emptyNew"), "1");
  EXPECT_EQ(orv::test::tokenValue(config_, 1, "label"), "Original");
  // Only the construction's load happened: no enumeration, no rename.
  EXPECT_EQ(calls().find("C_GetTokenInfo"), std::string::npos) << calls();
  EXPECT_EQ(calls().find("aux setLabel"), std::string::npos);
}

TEST_F(ScriptTest, ChangeTokenNamRenamesAndPassesTheMiddlewareResultOn) {
  TokenSetup t;
  t.label = "Original";
  prepare({t});
  const Answers a =
      run("out('rename', c.ChangeTokenNam('Original', 'Renamed Key'));\n"
          "out('name', c.GetTokenName());\n"
          "out('tooLong', c.ChangeTokenNam('x', '" +
          std::string(33, 'L') + "'));\n");
  EXPECT_EQ(a.at("rename"), "0") << output_;
  EXPECT_EQ(a.at("name"), "Renamed Key");
  EXPECT_EQ(a.at("tooLong"), "7");  // the stand-in's CKR_ARGUMENTS_BAD for a 33-byte label
  EXPECT_EQ(orv::test::tokenValue(config_, 1, "label"), "Renamed Key");
}

TEST_F(ScriptTest, ClearPinStateOnATokenThatIsNotLoggedIn) {
  prepare({TokenSetup()});
  const Answers a = run("out('ClearPinState', c.ClearPinState());\n");
  EXPECT_EQ(a.at("ClearPinState"), "0") << output_;
  EXPECT_NE(calls().find("C_Logout slot=1 rv=0x101"), std::string::npos) << calls();
}

TEST_F(ScriptTest, InitKeyInitialisesTheTokenWithTheRecord) {
  TokenSetup t;
  t.label = "Before";
  t.pin = "111111";
  t.hardware = "4.2";
  prepare({t});
  const Answers a =
      run("out('Verify', c.VerifyUserPin('111111', 0));\n"
          "out('Init_Key', c.Init_Key());\n"
          "out('name', c.GetTokenName());\n"
          "out('VerifyDefault', c.VerifyUserPin('731842', 0));\n");
  EXPECT_EQ(a.at("Verify"), "0") << output_;
  // The open session of the verification does not stop it: all sessions are closed first.
  EXPECT_EQ(a.at("Init_Key"), "0");
  EXPECT_EQ(a.at("name"), "Kessel Token");
  EXPECT_EQ(a.at("VerifyDefault"), "0");
  const std::string log = calls();
  const auto closeAll = log.find("C_CloseAllSessions slot=1 rv=0x0");
  const auto init = log.find("aux initToken slot=1 rv=0x0");
  ASSERT_NE(closeAll, std::string::npos) << log;
  ASSERT_NE(init, std::string::npos) << log;
  EXPECT_LT(closeAll, init);
}

TEST_F(ScriptTest, MiddlewareRefusingToInitialiseIsAFailedEnumeration) {
  prepare({TokenSetup()});
  orv::test::writeFile(config_, orv::test::tokenConfig({TokenSetup()}, /*refuseInitialize=*/true));
  const Answers a =
      run("out('CheckToken', c.CheckToken());\n"
          "out('GetCntlVersion', c.GetCntlVersion());\n");
  EXPECT_EQ(a.at("CheckToken"), "0") << output_;
  EXPECT_EQ(a.at("GetCntlVersion"), "20151018");
}

// Only the last control using the middleware finalises it. A control created while the
// middleware refused, and loaded later by a token method, must leave it initialised for the
// other controls of the page when it goes.
TEST_F(ScriptTest, ControlLoadedAfterItsCreationDoesNotFinaliseForTheOthers) {
  TokenSetup t;
  t.cert = orv::test::certificate("holder.der");
  prepare({t});
  orv::test::writeFile(config_, orv::test::tokenConfigRefusingFirst({t}, 1));
  // `c` is created first and meets the refusal; its first token method loads the middleware.
  const Answers a =
      run("out('first', c.CheckToken());\n"
          "var d = new ActiveXObject(\"OstwinAutoCtrl.OstwinCtrl\");\n"
          "out('secondBefore', d.CheckToken());\n"
          "c = null;\n"
          "try { CollectGarbage(); } catch (e) {}\n"
          "out('released', 1);\n"
          "out('secondAfter', d.CheckToken());\n"
          "out('sn', d.GetSN());\n"
          "out('cn', d.GetCertCN());\n"
          "out('verify', d.VerifyUserPin('123456', 0));\n");
  EXPECT_EQ(a.at("first"), "1") << output_;
  EXPECT_EQ(a.at("secondBefore"), "1");
  EXPECT_EQ(a.at("secondAfter"), "1");
  EXPECT_EQ(a.at("sn"), "SN0001");
  EXPECT_EQ(a.at("cn"), "Zhang San");
  EXPECT_EQ(a.at("verify"), "0");
  const std::string log = calls();
  EXPECT_NE(log.find("C_Initialize slot=0 rv=0x5"), std::string::npos) << log;
  // One finalisation, by the second control at the end of the script, after its last call.
  const auto finalize = onlyFinalize(log);
  ASSERT_NE(finalize, std::string::npos);
  EXPECT_GT(finalize, log.rfind("C_Login")) << log;
}

// Two controls created while the middleware works: the first one going leaves the middleware,
// and the login made through it, to the second.
TEST_F(ScriptTest, FirstOfTwoControlsGoingLeavesTheMiddlewareToTheOther) {
  TokenSetup t;
  t.cert = orv::test::certificate("holder.der");
  prepare({t});
  const Answers a =
      run("var d = new ActiveXObject(\"OstwinAutoCtrl.OstwinCtrl\");\n"
          "out('verify', c.VerifyUserPin('123456', 0));\n"
          "c = null;\n"
          "try { CollectGarbage(); } catch (e) {}\n"
          "out('check', d.CheckToken());\n"
          "out('sn', d.GetSN());\n"
          "out('cn', d.GetCertCN());\n");
  EXPECT_EQ(a.at("verify"), "0") << output_;
  EXPECT_EQ(a.at("check"), "1");
  EXPECT_EQ(a.at("sn"), "SN0001");
  EXPECT_EQ(a.at("cn"), "Zhang San");
  const std::string log = calls();
  // Finalised once, after the second control's last call.
  const auto finalize = onlyFinalize(log);
  ASSERT_NE(finalize, std::string::npos);
  EXPECT_GT(finalize, log.rfind("C_GetAttributeValue")) << log;
}

// Empty slots are listed only when the caller asks for every slot; the control asks for the
// slots holding a token and never touches the empty ones.
TEST_F(ScriptTest, EmptySlotsBesideTheToken) {
  TokenSetup empty1, token, empty3;
  empty1.slot = 1;
  empty1.present = false;
  empty1.serial = "EMPTY1";
  token.slot = 2;
  token.serial = "SN0002";
  token.label = "Middle";
  token.cert = orv::test::certificate("holder.der");
  empty3.slot = 3;
  empty3.present = false;
  empty3.serial = "EMPTY3";
  prepare({empty1, token, empty3});
  const Answers a =
      run("out('CheckToken', c.CheckToken());\n"
          "out('GetSN', c.GetSN());\n"
          "out('GetTokenName', c.GetTokenName());\n"
          "out('GetCertDN', c.GetCertDN());\n"
          "out('VerifyUserPin', c.VerifyUserPin('123456', 0));\n"
          "out('ClearPinState', c.ClearPinState());\n");
  EXPECT_EQ(a.at("CheckToken"), "1") << output_;
  EXPECT_EQ(a.at("GetSN"), "SN0002");
  EXPECT_EQ(a.at("GetTokenName"), "Middle");
  EXPECT_EQ(a.at("GetCertDN"),
            "C=CN, S=Beijing, L=Haidian, O=Delmora Bank, OU=Online Banking, CN=Zhang San");
  EXPECT_EQ(a.at("VerifyUserPin"), "0");
  EXPECT_EQ(a.at("ClearPinState"), "0");
  const std::string log = calls();
  EXPECT_EQ(log.find("C_GetSlotList present=0"), std::string::npos) << log;
  EXPECT_NE(log.find("C_GetSlotList present=1 count=1"), std::string::npos) << log;
  EXPECT_EQ(log.find("slot=1 "), std::string::npos) << log;
  EXPECT_EQ(log.find("slot=3 "), std::string::npos) << log;
}

TEST_F(ScriptTest, ScriptReachesTheMethodsThroughTheTypeLibrary) {
  prepare({});
  // Unknown names fail as script errors; typeof of a method is how JScript sees a dispatch
  // member.
  const Answers a = run(
      "try { c.NoSuchMethod(); out('unknown', 'called'); } catch (e) { out('unknown', 'error'); }\n"
      "kind('CheckToken', c.CheckToken()); kind('GetSN', c.GetSN());\n");
  EXPECT_EQ(a.at("unknown"), "error") << output_;
  EXPECT_EQ(a.at("CheckToken:type"), "number");
  EXPECT_EQ(a.at("GetSN:type"), "string");
}

TEST_F(ScriptTest, DebugOutputNamesFailuresButNeverPins) {
  TokenSetup t;
  t.pin = "13572468";
  prepare({t});
  const std::string script =
      "var c = new ActiveXObject(\"OstwinAutoCtrl.OstwinCtrl\");\n"
      "c.VerifyUserPin('97531864', 0);\n"
      "c.ChangeUserPin('13572468', '8');\n"
      "c.ChangeUserPin('97531864', '86420975');\n"
      "c.CheckStatus();\n";
  const std::wstring file = folder_ + L"\\debug.js";
  orv::test::writeFile(file, script);
  const std::string output =
      orv::test::debugOutputOf(
          L"\"" + systemTool(L"cscript.exe") + L"\" //nologo \"" + file + L"\"", folder_);
  if (output.find("err:") == std::string::npos)
    GTEST_SKIP() << "no debug strings reach a debugger here: " << output;
  // The failed check's own text (no registration program in this prefix).
  EXPECT_NE(output.find("err:certd_Ravik_NORDEL.exe not exist"), std::string::npos) << output;
  EXPECT_NE(output.find("OstwinCtrl: C_Login returned 0xa0"), std::string::npos) << output;
  EXPECT_NE(output.find("OstwinCtrl: C_SetPIN returned"), std::string::npos) << output;
  for (const char* pin : {"97531864", "13572468", "86420975"})
    EXPECT_EQ(output.find(pin), std::string::npos) << pin << " in " << output;
  EXPECT_EQ(orv::test::tokenValue(config_, 1, "pin"), "13572468");
}

// Runs last: unregistration, then registration again for later runs.
TEST(ScriptUnregistration, RemovesWhatRegistrationWroteAndLeavesTheClsidKey) {
  ASSERT_EQ(regsvr32(false), 0);
  ASSERT_TRUE(keyExists(kClsidKey));
  ASSERT_EQ(regsvr32(true), 0);
  EXPECT_FALSE(keyExists(L"OstwinAutoCtrl.OstwinCtrl.1"));
  EXPECT_FALSE(keyExists(L"OstwinAutoCtrl.OstwinCtrl"));
  EXPECT_FALSE(keyExists(kClsidKey));
  EXPECT_FALSE(keyExists(std::wstring(kTypeLibKey) + L"\\1.0"));
  EXPECT_TRUE(keyExists(L"CLSID"));
  // Registered again, the class key is whole again.
  ASSERT_EQ(regsvr32(false), 0);
  EXPECT_TRUE(keyExists(std::wstring(kClsidKey) + L"\\Programmable"));
}

}  // namespace
