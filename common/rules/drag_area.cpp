#include "drag_area.h"

namespace orv {
namespace {
bool inside(const PixelRect& r, PixelPoint p) {
  return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}
bool strictlyInside(const PixelRect& r, PixelPoint p) {
  return r.left < p.x && p.x < r.right && r.top < p.y && p.y < r.bottom;
}
}  // namespace

bool isDragPress(const DragArea& area, PixelPoint cursor, const PixelRect& browserClient,
                 PixelPoint press) {
  if (!inside(browserClient, cursor)) return false;
  const PixelPoint local{cursor.x - browserClient.left, cursor.y - browserClient.top};
  for (const PixelRect& r : area.exclusions) {
    if (strictlyInside(r, local)) return false;
  }
  const PixelRect band{browserClient.left + area.caption.left, browserClient.top + area.caption.top,
                       browserClient.left + area.caption.right,
                       browserClient.top + area.caption.bottom};
  return inside(band, press);
}

}  // namespace orv
