#include "notifier_rules.h"

#include "command_line.h"
#include "product.h"

namespace orv::notifier {

const wchar_t kUserConfirmText[] =
    L"Farrowby网银助手提醒您：\r\n\r\n  Farrowby网银助手发现新版本，是否进行升级？";
const wchar_t kUpdateBalloonText[] = L"Delmora网银助手正在进行更新，请稍候......";
const wchar_t kAboutProductText[] = L"Ambrel网银助手";
const wchar_t kAboutFixedText[] = L"版权所有 (C) 2026\r\nDelmora银行股份有限公司";

bool hasQuitOption(const std::vector<std::wstring>& tokens) {
  for (std::size_t i = 1; i < tokens.size(); ++i)
    if (tokens[i] == L"-t") return true;
  return false;
}

const wchar_t* confirmEventName(bool yes) {
  return yes ? kConfirmYesEventName : kConfirmNoEventName;
}

MenuPoint trayMenuPosition(int cursorX, int cursorY) { return MenuPoint{cursorX + 1, cursorY + 1}; }

TextRect toastTextRect(int skinWidth, int skinHeight) {
  return TextRect{5, 5, skinWidth - 10, skinHeight - 25};
}

std::wstring aboutVersionLine(const std::wstring& version) { return L"版本号：" + version; }

std::wstring coreHostPath(const std::wstring& programFolder) {
  return programFolder + kCoreFileName;
}

std::wstring quotedCoreHostPath(const std::wstring& programFolder) {
  return quoteProgramPath(coreHostPath(programFolder));
}

}  // namespace orv::notifier
