#pragma once
// CExplorer_core: the core host's wrapper around its browser. The page cannot be reloaded, sent
// to help or zoomed, and a press in the page's caption band moves the window, except on the
// window buttons the page draws at its top right.
#include "browser_wrapper.h"

namespace orv::core {

// The drag exclusion rectangles of the core host's page, in browser-client pixels: the window
// buttons (720, 0)-(900, 27).
orv::DragArea coreDragArea(int captionWidth, int captionHeight);

class CExplorer_core : public orv::BrowserWrapper {
 public:
  CExplorer_core();
};

}  // namespace orv::core
