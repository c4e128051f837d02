#pragma once
// Pre-translation of the messages aimed at a hosted browser, before the browser sees them:
// blocked keys, no Control+wheel zoom, and presses in the caption band turned into a window move.
// It works under any message loop (the dialogs' own modal loops included) through a per-thread
// message hook.
#include <windows.h>
#include <oleidl.h>

#include "browser/drag_area.h"
#include "browser/key_filter.h"

namespace orv {

class BrowserWrapper {
 public:
  BrowserWrapper(KeyPolicy keys, DragArea dragArea);
  virtual ~BrowserWrapper();
  BrowserWrapper(const BrowserWrapper&) = delete;
  BrowserWrapper& operator=(const BrowserWrapper&) = delete;

  // Starts pre-translating the messages of `browserWindow` and of every window inside it, on the
  // calling thread. Drags move `mainWindow`. `active`, when given, gets the key messages that
  // pass, the way a control container hands them to the control.
  void attach(HWND browserWindow, HWND mainWindow, IOleInPlaceActiveObject* active = nullptr);
  void detach();
  void setActiveObject(IOleInPlaceActiveObject* active) { active_ = active; }

  void setCaptionSize(int width, int height);
  int captionWidth() const { return drag_.caption.right; }
  int captionHeight() const { return drag_.caption.bottom; }
  HWND window() const { return browser_; }

  // True when the message was dropped (after acting on it).
  virtual bool preTranslate(const MSG& msg);

 protected:
  bool isDragPress(const MSG& msg) const;

 private:
  static LRESULT CALLBACK hookProc(int code, WPARAM wParam, LPARAM lParam);
  bool covers(HWND hwnd) const;

  KeyPolicy keys_;
  DragArea drag_;
  HWND browser_ = nullptr;
  HWND main_ = nullptr;
  IOleInPlaceActiveObject* active_ = nullptr;  // owned by the hosted control's site
  DWORD thread_ = 0;
};

}  // namespace orv
