// The values of the interpolator nodes at a fraction: Scalar, Position,
// Orientation (spherical), Color, Coordinate, Normal, PositionInterpolator2D and
// CoordinateInterpolator2D, all read from the node's own key and keyValue fields
// (which events may change), so every interpolator has the same field layout:
// set_fraction 0, key 1, keyValue 2, value_changed 3.
#pragma once

#include <memory>
#include <string>
#include <type_traits>
#include <variant>

#include "node/node_typedef.h"

class SingleNode;

inline constexpr int kInterpolatorFraction = 0;
inline constexpr int kInterpolatorKey = 1;
inline constexpr int kInterpolatorKeyValue = 2;
inline constexpr int kInterpolatorValue = 3;

// Whether node type `type` is one of the eight interpolators.
bool IsInterpolatorType(int type);

// Where Interpolate puts a value_changed: a single value in place, so that
// the thousands of interpolators of an animation step allocate nothing; a run
// of values (Coordinate, Normal) as a new list.
struct InterpolatorOutput {
    std::variant<std::monostate, SFFloat, SFVec2f, SFVec3f, SFColor, SFRotation> single;
    std::unique_ptr<Field> list;
    // The value as a field of its own (for an event that has to wait in a queue).
    std::unique_ptr<Field> Take();
};

// An interpolator's key and keyValue fields, found and checked once (events
// change their values, never the fields themselves), with the interpolation of
// its type; null when the node has them in another form.
struct InterpolatorFields {
    using Run = const Field* (*)(InterpolatorFields&, float, InterpolatorOutput&, std::string*);
    const MFField<SFFloat>* keys = nullptr;
    const MultiField* values = nullptr;
    std::size_t hint = 0;  // the key segment of the last fraction, tried first
    Run run = nullptr;
};
InterpolatorFields InterpolatorFieldsOf(SingleNode& node);

// The value_changed of an interpolator with these fields at fraction `f`, put
// in `out`; null when it has nothing to send (no fields, no keys, too few key
// values, a fraction that is not a number), with the reason in `problem`.
// Keys are expected in ascending order; values outside [first, last] key take
// the first or last key's value. Several values per key (Coordinate, Normal)
// come in keyValue.size() / key.size() runs.
inline const Field* Interpolate(InterpolatorFields& fields, float f, InterpolatorOutput& out,
                                std::string* problem) {
    return fields.run != nullptr ? fields.run(fields, f, out, problem) : nullptr;
}
