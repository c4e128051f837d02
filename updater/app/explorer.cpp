#include "explorer.h"

namespace orv::updater {

DragArea updaterDragArea() { return DragArea{{0, 0, 650, 50}, {{575, 0, 650, 33}}}; }

CExplorer::CExplorer() : BrowserWrapper(updaterKeyPolicy(), updaterDragArea()) {}

}  // namespace orv::updater
