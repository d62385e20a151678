// PlaceControlPanel's arithmetic: where the control panel goes below the main
// window, kept free of any window system so tests can check it.
#pragma once

struct ScreenRect {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const ScreenRect&) const = default;
};

inline constexpr int kControlPanelHeight = 160;
inline constexpr int kControlPanelMinWidth = 600;
// The panel's top never lies lower than this far above the maximised height.
inline constexpr int kControlPanelBottomMargin = 168;

// The panel's rectangle for a main window whose frame (decorations included)
// is `mainWindow` in screen coordinates, on a screen where a maximised window
// is `maximisedHeight` pixels high: left edge of the window, top at the
// window's bottom edge but at most maximisedHeight - 168, width of the window
// but at least 600, height 160.
ScreenRect PlaceControlPanel(const ScreenRect& mainWindow, int maximisedHeight);
