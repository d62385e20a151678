// Translation of Qt key codes into the Windows virtual-key codes that the render
// module's OnKeyDown expects.
#pragma once

// The virtual-key code of a Qt::Key value: letters and digits keep their ASCII
// upper-case code ('W' is 0x57), arrows become 0x25..0x28 (left, up, right,
// down), and the common editing, function and modifier keys their VK codes.
// 0 for a key without one (such a key is not passed on).
int VirtualKeyFromQtKey(int qtKey);

inline constexpr int kVkTestBox = 0x54;  // 'T': the shell adds a test box
