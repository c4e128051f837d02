#include "start_rules.h"

#include "command_line.h"
#include "product.h"

namespace orv::core {

const wchar_t kLostFileOption[] = L" -lostfile";

namespace {

wchar_t asciiLower(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
}

bool equalsIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

}  // namespace

std::vector<OptionStep> optionSteps(const std::vector<std::wstring>& tokens) {
  std::vector<OptionStep> steps;
  for (std::size_t i = 1; i < tokens.size(); ++i) {
    if (tokens[i] == L"-t") {
      steps.push_back(OptionStep::CloseRunningCopies);
      break;
    }
    if (tokens[i] == L"-new") steps.push_back(OptionStep::WriteFirstRunFlag);
  }
  return steps;
}

bool hasKeyOption(const std::vector<std::wstring>& tokens) {
  return tokens.size() > 1 && equalsIgnoringCase(tokens[1], L"-key");
}

InstanceAction singleInstanceAction(std::uintptr_t wParam, std::intptr_t lParam, bool ownKeyOption,
                                    bool minimised) {
  if (wParam == kInstanceQuit) return InstanceAction::EndDialog;
  if (wParam != kInstanceActivate) return InstanceAction::None;
  const bool askScript = ownKeyOption || lParam == 1;
  // Restoring only ever acts on a minimised window.
  if (!minimised) return InstanceAction::None;
  return askScript ? InstanceAction::AskScriptThenRestore : InstanceAction::Restore;
}

ScreenPoint restorePosition(int screenWidth, int screenHeight, int windowWidth, int windowHeight) {
  return ScreenPoint{(screenWidth - windowWidth) / 2, (screenHeight - windowHeight) / 3};
}

std::wstring updaterCommand(const std::wstring& programFolder) {
  return quoteProgramPath(programFolder + kUpdaterFileName);
}

}  // namespace orv::core
