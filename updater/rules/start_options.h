#pragma once
// The updater's command-line options: what the start-up does with them and which flags the
// update flow reads. Pure logic (no Windows headers).
#include <string>
#include <vector>

namespace orv::updater {

// What the start-up does with the tokens after the program (token 0).
struct StartOptions {
  bool quitRunningCopies = false;  // a "-t" anywhere: broadcast the quit message and end
  int removeOldFile = 0;           // how many "-newloader" tokens ask to remove the ".old" file
};

// Options are compared exactly, letter case included. Nothing but the tokens after the program
// counts; "-t" wins over everything (the start-up ends before it looks at the others).
StartOptions startOptions(const std::vector<std::wstring>& tokens);

// The update flow's flags. Only token 1 sets one, so at most one is on.
struct UpdateFlags {
  bool firstRun = false;   // "-firstrun": apply the retry limit
  bool lostFile = false;   // "-lostfile": repair without a version check
  bool manual = false;     // "-manual": say so when there is nothing newer
  bool newLoader = false;  // "-newloader": the loader check is skipped
};
UpdateFlags updateFlags(const std::vector<std::wstring>& tokens);

// The running updater's own file after a loader hand-over: its full path + ".old".
std::wstring oldFilePath(const std::wstring& modulePath);

// The show operation's place for a window of the given size on a screen of the given size:
// centred across, at a third down.
struct WindowPlace {
  int x, y;
};
WindowPlace shownWindowPlace(int screenWidth, int screenHeight, int windowWidth, int windowHeight);

}  // namespace orv::updater
