#pragma once
// Which left-button presses on a hosted page move the window: a press in the page's caption
// band, except on the controls drawn in it (the exclusion rectangles).
#include <vector>

namespace orv {

struct PixelPoint {
  int x, y;
};
struct PixelRect {
  int left, top, right, bottom;
};

struct DragArea {
  PixelRect caption;                  // in browser-client pixels; right and bottom exclusive
  std::vector<PixelRect> exclusions;  // in browser-client pixels; tested strictly
};

// cursor: the cursor position (screen); browserClient: the browser's client rectangle in screen
// coordinates; press: the press message's own point (screen).
// True when the cursor lies in the browser client, not strictly inside an exclusion rectangle,
// and the press point lies in the caption band (left and top inclusive, right and bottom
// exclusive).
bool isDragPress(const DragArea& area, PixelPoint cursor, const PixelRect& browserClient,
                 PixelPoint press);

}  // namespace orv
