#include <gtest/gtest.h>

#include "drag_area.h"

namespace orv {
namespace {

// The core host's page: a caption band of the configured size with the window buttons excluded.
DragArea coreArea(int width, int height) {
  return DragArea{{0, 0, width, height}, {{720, 0, 900, 27}}};
}
// The updater's page: a fixed top band, its buttons excluded.
DragArea updaterArea() { return DragArea{{0, 0, 650, 50}, {{575, 0, 650, 33}}}; }

// A browser whose client area starts at screen point (100, 200).
const PixelRect kClient{100, 200, 1100, 900};

bool pressAt(const DragArea& area, int x, int y) {
  const PixelPoint p{kClient.left + x, kClient.top + y};
  return isDragPress(area, p, kClient, p);
}

TEST(DragArea, ExclusionIsStrictOnItsEdges) {
  const DragArea area = coreArea(901, 11);
  EXPECT_FALSE(pressAt(area, 800, 10));  // on the window buttons
  EXPECT_TRUE(pressAt(area, 720, 10));   // on the exclusion's left edge: still a drag
  EXPECT_TRUE(pressAt(area, 900, 10));   // on its right edge
  EXPECT_TRUE(pressAt(area, 721, 0));    // on its top edge
  EXPECT_FALSE(pressAt(area, 721, 1));
  EXPECT_TRUE(pressAt(area, 10, 5));
}

TEST(DragArea, CaptionBandIncludesLeftTopAndExcludesRightBottom) {
  const DragArea area = coreArea(600, 27);
  EXPECT_TRUE(pressAt(area, 0, 0));
  EXPECT_TRUE(pressAt(area, 599, 26));
  EXPECT_FALSE(pressAt(area, 600, 5));
  EXPECT_FALSE(pressAt(area, 5, 27));
  EXPECT_FALSE(pressAt(area, 300, 400));
  // An empty band (no caption size configured) never drags.
  EXPECT_FALSE(pressAt(coreArea(0, 0), 0, 0));
}

TEST(DragArea, CursorOutsideTheBrowserNeverDrags) {
  const DragArea area = coreArea(901, 27);
  const PixelPoint press{kClient.left + 10, kClient.top + 10};
  EXPECT_FALSE(isDragPress(area, PixelPoint{kClient.left - 1, kClient.top + 10}, kClient, press));
  EXPECT_FALSE(isDragPress(area, PixelPoint{kClient.right, kClient.top + 10}, kClient, press));
  // The cursor decides the exclusion test, the press point the band.
  EXPECT_FALSE(isDragPress(area, PixelPoint{kClient.left + 800, kClient.top + 10}, kClient, press));
  EXPECT_TRUE(isDragPress(area, PixelPoint{kClient.left + 50, kClient.top + 300}, kClient, press));
}

TEST(DragArea, UpdaterTopBandDragsButItsButtonsDoNot) {
  EXPECT_TRUE(pressAt(updaterArea(), 300, 20));
  EXPECT_FALSE(pressAt(updaterArea(), 620, 10));
  EXPECT_FALSE(pressAt(updaterArea(), 300, 60));
}

}  // namespace
}  // namespace orv
