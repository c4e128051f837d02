#pragma once
// CExplorer: the updater's wrapper around its browser. F5 and Control+wheel never reach the page
// (it swallows Enter and Esc itself), and a press in the page's top band moves the window, except
// on the minimise and close images the page draws at its top right.
#include "browser_wrapper.h"

namespace orv::updater {

// The top band (0, 0)-(650, 50) of the page, without the buttons' rectangle (575, 0)-(650, 33).
DragArea updaterDragArea();

class CExplorer : public BrowserWrapper {
 public:
  CExplorer();
};

}  // namespace orv::updater
