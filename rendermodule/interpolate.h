// The values of the interpolator nodes at a fraction: Scalar, Position,
// Orientation (spherical), Color, Coordinate, Normal, PositionInterpolator2D and
// CoordinateInterpolator2D, all read from the node's own key and keyValue fields
// (which events may change), so every interpolator has the same field layout:
// set_fraction 0, key 1, keyValue 2, value_changed 3.
#pragma once

#include <memory>
#include <string>

#include "node/node_typedef.h"

class SingleNode;

inline constexpr int kInterpolatorFraction = 0;
inline constexpr int kInterpolatorKey = 1;
inline constexpr int kInterpolatorKeyValue = 2;
inline constexpr int kInterpolatorValue = 3;

// Whether node type `type` is one of the eight interpolators.
bool IsInterpolatorType(int type);

// The value_changed of interpolator `node` (of type `type`) at fraction `f`, as
// a new field of its value type; null when it has nothing to send (no keys, too
// few key values, a fraction that is not a number), with the reason in `problem`.
// Keys are expected in ascending order; values outside [first, last] key take
// the first or last key's value. Several values per key (Coordinate, Normal)
// come in keyValue.size() / key.size() runs.
std::unique_ptr<Field> InterpolateNode(SingleNode& node, int type, float f, std::string* problem);
