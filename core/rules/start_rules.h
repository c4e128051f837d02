#pragma once
// The core host's start-up decisions that depend only on its command line and on the state of
// its window: which options act, what the single-instance message asks for, and where a restored
// window goes. No Windows headers, so the rules are checked natively too.
#include <cstdint>
#include <string>
#include <vector>

namespace orv::core {

extern const wchar_t kLostFileOption[];  // " -lostfile", appended to the updater command

// What the options after the program ask for, in command-line order. Every "-new" writes the
// first-run flag; the first "-t" closes running copies and ends the walk (options behind it do
// nothing). Both are compared exactly, so "-T" and "-NEW" are ignored.
enum class OptionStep { WriteFirstRunFlag, CloseRunningCopies };
std::vector<OptionStep> optionSteps(const std::vector<std::wstring>& tokens);

// "-key" as token 1, in any letter case; in any other place it does not count.
bool hasKeyOption(const std::vector<std::wstring>& tokens);

// The single-instance message's wParam values.
constexpr std::uintptr_t kInstanceQuit = 1;
constexpr std::uintptr_t kInstanceActivate = 2;

// What a running core host does with the single-instance message.
enum class InstanceAction {
  None,
  EndDialog,             // wParam 1: the program shuts down normally
  Restore,               // activation without "-key" on either side
  AskScriptThenRestore,  // activation with "-key", window minimised: "OnTrayRunCore" decides
};
InstanceAction singleInstanceAction(std::uintptr_t wParam, std::intptr_t lParam, bool ownKeyOption,
                                    bool minimised);

// Top-left corner of a restored window: centred across, a third of the free height down.
struct ScreenPoint {
  int x;
  int y;
};
ScreenPoint restorePosition(int screenWidth, int screenHeight, int windowWidth, int windowHeight);

// The updater's command for a program folder that ends in "\": the program path, quoted so that
// a folder with blanks cannot start a shorter program path.
std::wstring updaterCommand(const std::wstring& programFolder);

}  // namespace orv::core
