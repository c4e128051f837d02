#include "start_options.h"

namespace orv::updater {

StartOptions startOptions(const std::vector<std::wstring>& tokens) {
  StartOptions options;
  for (std::size_t i = 1; i < tokens.size(); ++i) {
    if (tokens[i] == L"-t") {
      options.quitRunningCopies = true;
      options.removeOldFile = 0;  // the program ends before the removal step
      return options;
    }
    if (tokens[i] == L"-newloader") ++options.removeOldFile;
  }
  return options;
}

UpdateFlags updateFlags(const std::vector<std::wstring>& tokens) {
  UpdateFlags flags;
  if (tokens.size() < 2) return flags;
  const std::wstring& option = tokens[1];
  flags.firstRun = option == L"-firstrun";
  flags.lostFile = option == L"-lostfile";
  flags.manual = option == L"-manual";
  flags.newLoader = option == L"-newloader";
  return flags;
}

std::wstring oldFilePath(const std::wstring& modulePath) { return modulePath + L".old"; }

WindowPlace shownWindowPlace(int screenWidth, int screenHeight, int windowWidth, int windowHeight) {
  return WindowPlace{(screenWidth - windowWidth) / 2, (screenHeight - windowHeight) / 3};
}

}  // namespace orv::updater
