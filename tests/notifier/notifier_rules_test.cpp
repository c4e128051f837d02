// The notifier's Windows-free rules: the "-t" option, the pipe's command table, the menu's
// position, the toast's text rectangle, the About box's version line and the core host's path.
#include <gtest/gtest.h>

#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

#include "command_line.h"
#include "notifier_command.h"
#include "notifier_rules.h"
#include "pipe_message.h"
#include "product.h"

namespace orv::notifier {
namespace {

std::vector<std::wstring> tokens(const std::wstring& commandLine) {
  std::vector<std::wstring> out;
  splitCommandLine(commandLine, out);
  return out;
}

TEST(NotifierQuitOption, OnlyAnExactMinusTAfterTheProgramCounts) {
  EXPECT_TRUE(hasQuitOption(tokens(L"\"C:\\a b\\OrvalinexTray.exe\" -t")));
  EXPECT_TRUE(hasQuitOption(tokens(L"tray.exe x y -t z")));
  EXPECT_TRUE(hasQuitOption(tokens(L"tray.exe \"-t\"")));
  EXPECT_FALSE(hasQuitOption(tokens(L"tray.exe -T")));
  EXPECT_FALSE(hasQuitOption(tokens(L"tray.exe /t")));
  EXPECT_FALSE(hasQuitOption(tokens(L"tray.exe -tt --t")));
  EXPECT_FALSE(hasQuitOption(tokens(L"-t")));  // the program's own position
  EXPECT_FALSE(hasQuitOption(tokens(L"-t -nokey")));
  EXPECT_FALSE(hasQuitOption(tokens(L"tray.exe \" -t\"")));
  EXPECT_FALSE(hasQuitOption({}));
}

using Method = void (NotifierCommandHandler::*)(const std::u16string&);
const Method kQuit = &NotifierCommandHandler::quit;

// The method a message runs (null: none).
Method methodRunBy(const PipeMessage& message) {
  return pipeCommandMethod(kNotifierCommands, message.command);
}

TEST(NotifierCommands, EachCommandRunsItsMethodAndTheCoreHostsNone) {
  const std::pair<std::u16string, Method> cases[] = {
      {u"QuitCmd", kQuit},
      {u"UserConfirmCmd", &NotifierCommandHandler::userConfirm},
      {u"UpdatePopCmd", &NotifierCommandHandler::updatePop},
      {u"PopAss", nullptr},
      {u"DownLoadErrorCmd", nullptr},
  };
  for (const auto& [command, method] : cases)
    EXPECT_TRUE(methodRunBy({PipeMessageStatus::kMessage, command, u""}) == method);
}

// The notifier's framing and its command table together, on the bytes a client writes.
TEST(NotifierCommands, MessagesAsThePipeReadsThem) {
  const PipeFraming framing = notifierPipeFraming();
  const auto commandOf = [&](const std::string& bytes) {
    const std::string read = bytes.substr(0, framing.readBytes);
    return parsePipeMessage(framing, read.data(), read.size());
  };
  EXPECT_TRUE(methodRunBy(commandOf(pipeMessageBytes(u"PopOrvalinex", u"QuitCmd"))) == kQuit);
  EXPECT_TRUE(methodRunBy(commandOf(pipeMessageBytes(u"xxxxxxxxxxxx", u"QuitCmd", u"arg"))) ==
              kQuit);
  // Without the separator the command is empty and runs nothing.
  EXPECT_TRUE(methodRunBy(commandOf(pipeMessageBytes(u"PopOrvalinex", u"QuitCmd", u"", false))) ==
              nullptr);
  // Cut at 127 characters: the command survives, the tail is gone.
  const PipeMessage cut =
      commandOf(pipeMessageBytes(u"PopOrvalinex", u"QuitCmd", std::u16string(300, u'a')));
  EXPECT_EQ(cut.status, PipeMessageStatus::kMessage);
  EXPECT_EQ(cut.command, u"QuitCmd");
  EXPECT_EQ(cut.argument.size(), 127u - 12u - 7u - 2u);
  // A separator beyond character 127 is never seen.
  EXPECT_TRUE(
      commandOf(pipeMessageBytes(u"PopOrvalinex", std::u16string(120, u'Q'))).command.empty());
}

TEST(NotifierConfirmation, OkIsYesEverythingElseNo) {
  EXPECT_STREQ(confirmEventName(true), kConfirmYesEventName);
  EXPECT_STREQ(confirmEventName(false), kConfirmNoEventName);
}

TEST(NotifierBalloon, TextFitsTheBalloonField) {
  EXPECT_LT(std::wstring(kUpdateBalloonText).size(), 256u);  // szInfo holds 256 characters
}

TEST(NotifierTrayMenu, OpensOnePixelRightAndBelowThePointer) {
  const MenuPoint p = trayMenuPosition(300, 200);
  EXPECT_EQ(p.x, 301);
  EXPECT_EQ(p.y, 201);
  const MenuPoint edge = trayMenuPosition(-1, 0);
  EXPECT_EQ(edge.x, 0);
  EXPECT_EQ(edge.y, 1);
}

TEST(NotifierToast, TextRectangleFollowsTheSkin) {
  const TextRect shipped = toastTextRect(248, 160);
  EXPECT_EQ(shipped.left, 5);
  EXPECT_EQ(shipped.top, 5);
  EXPECT_EQ(shipped.right, 238);
  EXPECT_EQ(shipped.bottom, 135);
  const TextRect none = toastTextRect(0, 0);  // no skin loaded
  EXPECT_EQ(none.left, 5);
  EXPECT_EQ(none.top, 5);
  EXPECT_EQ(none.right, -10);
  EXPECT_EQ(none.bottom, -25);
}

TEST(NotifierAbout, VersionLineAndFixedTexts) {
  EXPECT_EQ(aboutVersionLine(L"1.0.19.1223"), L"版本号：1.0.19.1223");
  EXPECT_EQ(aboutVersionLine(L"获取版本信息失败"), L"版本号：获取版本信息失败");
  const std::wstring fixed = kAboutFixedText;
  EXPECT_NE(fixed.find(L"\r\n"), std::wstring::npos);  // two lines
}

TEST(NotifierCoreHost, PathInTheProgramFolderQuoted) {
  EXPECT_EQ(coreHostPath(L"C:\\Program Files\\Orv\\"),
            L"C:\\Program Files\\Orv\\OrvalinexCore.exe");
  EXPECT_EQ(quotedCoreHostPath(L"C:\\Program Files\\Orv\\"),
            L"\"C:\\Program Files\\Orv\\OrvalinexCore.exe\"");
  EXPECT_EQ(coreHostPath(L""), L"OrvalinexCore.exe");
}

}  // namespace
}  // namespace orv::notifier
