// CInterpolator: the runtime form of a colour, orientation or position
// interpolator node — keys sorted ascending, four values per key, clamped
// component-wise linear interpolation. Copied by value into router records.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

class CInterpolator {
  public:
    struct Key {
        double key;
        std::array<double, 4> values;
    };

    virtual ~CInterpolator() = default;

    // The interpolator node's type id: 19 colour, 66 orientation, 73 position; 0 unset.
    void SetKind(std::uint8_t kind) { m_kind = kind; }
    std::uint8_t GetKind() const { return m_kind; }

    // Inserts after every key less than or equal to `key`, so equal keys keep
    // the order in which they were added.
    void AddKey(double key, double v0, double v1, double v2, double v3);

    // The four values at fraction f: the first key's values at or before it,
    // the last key's beyond it, linear between the two keys around f
    // otherwise. Requires at least one key (HasKeys).
    void Interpolate(double f, double out[4]) const;

    bool HasKeys() const { return !m_keys.empty(); }
    const std::vector<Key>& Keys() const { return m_keys; }

  private:
    std::uint8_t m_kind = 0;
    std::vector<Key> m_keys;
};
