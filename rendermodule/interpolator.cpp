#include "rendermodule/interpolator.h"

#include <algorithm>
#include <cassert>
#include <cmath>

void CInterpolator::AddKey(double key, double v0, double v1, double v2, double v3) {
    auto at = std::upper_bound(m_keys.begin(), m_keys.end(), key,
                               [](double k, const Key& e) { return k < e.key; });
    m_keys.insert(at, Key{key, {v0, v1, v2, v3}});
}

void CInterpolator::Interpolate(double f, double out[4]) const {
    assert(!m_keys.empty());
    if (m_keys.empty()) return;
    const Key& first = m_keys.front();
    if (f <= first.key) {
        std::copy(first.values.begin(), first.values.end(), out);
        return;
    }
    // The first key >= f; every key before it is < f, so `prev` is the one
    // right before and the divisor below is never 0, even with repeated keys.
    auto next = std::lower_bound(m_keys.begin() + 1, m_keys.end(), f,
                                 [](const Key& e, double v) { return e.key < v; });
    if (next == m_keys.end() || std::isnan(f)) {
        const Key& last = m_keys.back();
        std::copy(last.values.begin(), last.values.end(), out);
        return;
    }
    const Key& prev = *(next - 1);
    double t = (f - prev.key) / (next->key - prev.key);
    for (int i = 0; i < 4; ++i) out[i] = (1 - t) * prev.values[i] + t * next->values[i];
}
