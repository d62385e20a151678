#include "rendermodule/interpolate.h"

#include <algorithm>
#include <cmath>

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include "node/nodes.h"

namespace {

// The run of keys around f: values of key `i` and `i + 1` mixed by `t` (t = 0
// for a fraction at or before the first key, i = last with t = 0 beyond the last).
struct Segment {
    std::size_t i = 0;
    float t = 0.0f;
};

// `hint` is the segment found the last time: an animation's fraction moves on
// a little each step, so the segment it is in is tried first. For keys in
// ascending order it gives the segment the search would.
[[gnu::always_inline]] inline Segment Locate(const std::vector<SFFloat>& keys, float f,
                                             std::size_t& hint) {
    Segment s;
    if (hint + 1 < keys.size()) {
        const float below = keys[hint].Get(), above = keys[hint + 1].Get();
        if (below <= f && f < above && f > keys.front().Get()) {
            s.i = hint;
            s.t = (f - below) / (above - below);
            return s;
        }
    }
    if (keys.size() < 2 || !(f > keys.front().Get())) return s;
    if (!(f < keys.back().Get())) {
        s.i = keys.size() - 1;
        return s;
    }
    // The first key above f; the one before it is at or below f.
    auto next = std::upper_bound(keys.begin(), keys.end(), f,
                                 [](float v, const SFFloat& k) { return v < k.Get(); });
    if (next == keys.begin() || next == keys.end()) return s;  // keys out of order
    s.i = static_cast<std::size_t>(next - keys.begin()) - 1;
    hint = s.i;
    const float below = keys[s.i].Get(), above = next->Get();
    s.t = above > below ? (f - below) / (above - below) : 0.0f;
    return s;
}

template <class T, int N>
T Mix(const T& a, const T& b, float t) {
    std::array<float, N> v;
    for (int k = 0; k < N; ++k) v[k] = a[k] + (b[k] - a[k]) * t;
    T out;
    out.SetValues(v);
    return out;
}

SFRotation Slerp(const SFRotation& a, const SFRotation& b, float t) {
    auto quat = [](const SFRotation& r) {
        glm::vec3 axis(r.GetX(), r.GetY(), r.GetZ());
        const float len = glm::length(axis);
        if (!(len > 0.0f)) return glm::quat(1, 0, 0, 0);  // a zero axis is no rotation
        return glm::angleAxis(r.GetAngle(), axis / len);
    };
    glm::quat qa = quat(a), qb = quat(b);
    // The shorter way round; a half turn (a dot product of about 0 after
    // rounding) turns the way its angle says.
    float d = glm::dot(qa, qb);
    if (d < -1e-4f) {
        qb = -qb;
        d = -d;
    }
    glm::quat q;
    if (d > 0.9995f) {
        q = glm::normalize(qa + (qb - qa) * t);
    } else {
        const float theta = std::acos(std::clamp(d, -1.0f, 1.0f));
        q = glm::normalize((qa * std::sin((1 - t) * theta) + qb * std::sin(t * theta)) /
                           std::sin(theta));
    }
    const float angle = 2.0f * std::acos(std::clamp(q.w, -1.0f, 1.0f));
    const float s = std::sqrt(std::max(0.0f, 1.0f - q.w * q.w));
    if (s < 1e-6f) {
        // No turn: keep the first key's axis, so that a turn about it stays readable.
        return SFRotation(a.GetX(), a.GetY(), a.GetZ(), 0.0f);
    }
    return SFRotation(q.x / s, q.y / s, q.z / s, angle);
}

template <class T>
T Between(const T& a, const T& b, float t);
template <>
SFFloat Between(const SFFloat& a, const SFFloat& b, float t) {
    return SFFloat(a.Get() + (b.Get() - a.Get()) * t);
}
template <>
SFVec2f Between(const SFVec2f& a, const SFVec2f& b, float t) {
    return Mix<SFVec2f, 2>(a, b, t);
}
template <>
SFVec3f Between(const SFVec3f& a, const SFVec3f& b, float t) {
    return Mix<SFVec3f, 3>(a, b, t);
}
template <>
SFColor Between(const SFColor& a, const SFColor& b, float t) {
    return Mix<SFColor, 3>(a, b, t);
}
template <>
SFRotation Between(const SFRotation& a, const SFRotation& b, float t) {
    return Slerp(a, b, t);
}

// A normal between two normals: along the arc, kept of unit length.
SFVec3f NormalBetween(const SFVec3f& a, const SFVec3f& b, float t) {
    SFVec3f v = Mix<SFVec3f, 3>(a, b, t);
    const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len > 0.0f && std::isfinite(len)) v.Set(v[0] / len, v[1] / len, v[2] / len);
    return v;
}

// The keys and values of an interpolator, checked: null when it sends nothing,
// with the reason in `problem`.
const std::vector<SFFloat>* KeysFor(const InterpolatorFields& fields, float f,
                                    std::string* problem) {
    if (fields.keys == nullptr || fields.values == nullptr) return nullptr;
    const std::vector<SFFloat>& keys = fields.keys->Values();
    if (keys.empty()) {
        *problem = "key is empty; it sends nothing";
        return nullptr;
    }
    if (std::isnan(f)) {
        *problem = "set_fraction is not a number; ignored";
        return nullptr;
    }
    return &keys;
}

// One value per key.
template <class T>
const Field* Single(InterpolatorFields& fields, float f, InterpolatorOutput& out,
                    std::string* problem) {
    const std::vector<SFFloat>* keys = KeysFor(fields, f, problem);
    if (keys == nullptr) return nullptr;
    const auto& values = static_cast<const MFField<T>&>(*fields.values).Values();
    if (values.size() < keys->size()) {
        *problem = "keyValue has fewer values than key; it sends nothing";
        return nullptr;
    }
    const Segment s = Locate(*keys, f, fields.hint);
    const T& a = values[s.i];
    if (s.t == 0.0f) return &out.single.template emplace<T>(a);
    return &out.single.template emplace<T>(Between(a, values[s.i + 1], s.t));
}

// A run of values per key (a whole Coordinate.point or Normal.vector).
template <class T, bool kNormal = false>
const Field* Runs(InterpolatorFields& fields, float f, InterpolatorOutput& result,
                  std::string* problem) {
    const std::vector<SFFloat>* keys = KeysFor(fields, f, problem);
    if (keys == nullptr) return nullptr;
    const auto& values = static_cast<const MFField<T>&>(*fields.values).Values();
    const std::size_t run = values.size() / keys->size();
    if (run == 0) {
        *problem = "keyValue has fewer values than key; it sends nothing";
        return nullptr;
    }
    const Segment s = Locate(*keys, f, fields.hint);
    auto out = std::make_unique<MFField<T>>();
    std::vector<T>& v = out->Values();
    v.reserve(run);
    const T* a = &values[s.i * run];
    if (s.t == 0.0f) {
        v.assign(a, a + run);
    } else {
        const T* b = a + run;
        for (std::size_t k = 0; k < run; ++k) {
            if constexpr (kNormal)
                v.push_back(NormalBetween(a[k], b[k], s.t));
            else
                v.push_back(Between(a[k], b[k], s.t));
        }
    }
    result.list = std::move(out);
    return result.list.get();
}

// The interpolation of each interpolator type.
InterpolatorFields::Run RunFor(int type) {
    switch (type) {
        case ScalarInterpolator::kNodeType:
            return Single<SFFloat>;
        case PositionInterpolator::kNodeType:
            return Single<SFVec3f>;
        case OrientationInterpolator::kNodeType:
            return Single<SFRotation>;
        case ColorInterpolator::kNodeType:
            return Single<SFColor>;
        case PositionInterpolator2D::kNodeType:
            return Single<SFVec2f>;
        case CoordinateInterpolator::kNodeType:
            return Runs<SFVec3f>;
        case NormalInterpolator::kNodeType:
            return Runs<SFVec3f, true>;
        case CoordinateInterpolator2D::kNodeType:
            return Runs<SFVec2f>;
        default:
            return nullptr;
    }
}

}  // namespace

bool IsInterpolatorType(int type) {
    switch (type) {
        case ScalarInterpolator::kNodeType:
        case PositionInterpolator::kNodeType:
        case OrientationInterpolator::kNodeType:
        case ColorInterpolator::kNodeType:
        case CoordinateInterpolator::kNodeType:
        case NormalInterpolator::kNodeType:
        case PositionInterpolator2D::kNodeType:
        case CoordinateInterpolator2D::kNodeType:
            return true;
        default:
            return false;
    }
}

std::unique_ptr<Field> InterpolatorOutput::Take() {
    if (list) return std::move(list);
    return std::visit(
        [](auto& v) -> std::unique_ptr<Field> {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return nullptr;
            else
                return std::make_unique<T>(v);
        },
        single);
}

InterpolatorFields InterpolatorFieldsOf(SingleNode& node) {
    // Checked by type code rather than run-time type information.
    Field* keyField = node.GetField(kInterpolatorKey);
    Field* list = node.GetField(kInterpolatorKeyValue);
    if (keyField == nullptr || list == nullptr || keyField->IsSingle() != 0 ||
        keyField->GetFieldType() != kFieldSFFloat || list->IsSingle() != 0 ||
        list->GetFieldType() == kFieldMFNode)
        return {};
    InterpolatorFields fields;
    fields.keys = static_cast<MFField<SFFloat>*>(keyField);
    fields.values = static_cast<MultiField*>(list);
    fields.run = RunFor(GetNodeType(node));
    return fields;
}
