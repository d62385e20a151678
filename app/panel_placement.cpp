#include "app/panel_placement.h"

#include <algorithm>

ScreenRect PlaceControlPanel(const ScreenRect& mainWindow, int maximisedHeight) {
    const int left = mainWindow.left;
    const int top = std::min(mainWindow.bottom, maximisedHeight - kControlPanelBottomMargin);
    const int width =
        mainWindow.Width() > kControlPanelMinWidth ? mainWindow.Width() : kControlPanelMinWidth;
    return ScreenRect{left, top, left + width, top + kControlPanelHeight};
}
