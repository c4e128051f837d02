#pragma once
// Where the updater's main dialog meets the update flow and the desktop copy: the dialog starts
// the flow once its page is loading (the last step of its initialisation), and the page's
// answers and its desktop-copy request reach them through window.external.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace orv::updater {

// What the main dialog offers the update flow's threads.
class UpdaterWindow {
 public:
  virtual ~UpdaterWindow() = default;
  virtual HWND hwnd() const = 0;
  // The command-line tokens (token 0 is the program); updateFlags() reads the options.
  virtual const std::vector<std::wstring>& arguments() const = 0;
  // Manual-reset event, set once the page has finished loading.
  virtual HANDLE pageReadyEvent() const = 0;
  // The show operation: with code 5 the window becomes visible, always on top, centred across
  // and at a third down the screen; any other code does nothing. Any thread.
  virtual void show(int showCode) = 0;
  // Calls the page function `function` with `argument` on the dialog's thread (the page-call
  // message, sent): the function's boolean result, else 1. Any thread.
  virtual LRESULT callPage(const std::wstring& function, const std::wstring& argument) = 0;
};

// The update flow: a worker thread per attempt and a watcher thread that ends the program when a
// worker asks for it.
class UpdateFlow {
 public:
  virtual ~UpdateFlow() = default;
  // Starts the worker and the watcher for the first attempt. Called once, on the dialog's
  // thread, at the end of its initialisation; `window` stays valid until windowClosing().
  virtual void start(UpdaterWindow& window) = 0;
  // The page's answers (on the dialog's thread). Only the answers the page may give arrive:
  // "ConfirmUpdate" and "ConfirmRetry" with "true", the other two with "true" or "false".
  virtual void confirmUpdate() = 0;
  virtual void confirmRetry() = 0;
  virtual void confirmRetryTooTimes(bool yes) = 0;
  virtual void confirmCloseIe(bool yes) = 0;
  // The window is asked to close (its close box, the page's CoreQuit, another copy's "-t"), on
  // the dialog's thread. True while the setup program runs: the close waits for it (the dialog
  // says so on the page), and the flow ends the program once the setup program has ended.
  virtual bool holdCloseForSetup() { return false; }
  // The dialog has ended and is about to go: no further calls on the window.
  virtual void windowClosing() {}
};

// The page's "Copyfile" request: copies a file of the program folder to the all-users desktop.
class DesktopCopy {
 public:
  virtual ~DesktopCopy() = default;
  // `parameter`: source name, a comma, target name. Nothing is reported.
  virtual void copy(const std::wstring& parameter) = 0;
};

using UpdateFlowFactory = std::unique_ptr<UpdateFlow> (*)();
using DesktopCopyFactory = std::unique_ptr<DesktopCopy> (*)();

}  // namespace orv::updater
