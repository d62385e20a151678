#include "retained/object.h"

#include "retained/material.h"
#include "retained/result.h"
#include "retained/types.h"

#include <algorithm>
#include <cmath>

namespace rm {

namespace {
std::atomic<std::uint64_t> g_nextId{1};
}

Object::Object() : id_(g_nextId.fetch_add(1, std::memory_order_relaxed)) {}

const char* ResultText(Result r) {
    switch (r) {
        case kOk:
            return "ok";
        case kFail:
            return "failed";
        case kInvalidArg:
            return "invalid argument";
        case kNotFound:
            return "not found";
        case kEmpty:
            return "empty";
        case kOutOfMemory:
            return "out of memory";
        default:
            return Succeeded(r) ? "ok" : "unknown failure";
    }
}

QualityParts DecodeQuality(Quality q) {
    QualityParts p;
    p.shade = (q & kShadeMask) == kShadeFlat ? Shade::Flat : Shade::Gouraud;
    p.lit = (q & kLightMask) != 0;
    const Quality fill = q & kFillMask;
    p.fill = fill >= kFillSolid       ? Fill::Solid
             : fill >= kFillWireframe ? Fill::Wireframe
                                      : Fill::Points;
    return p;
}

Quality EffectiveQuality(Quality device, Quality mesh) {
    return std::min(device & kShadeMask, mesh & kShadeMask) |
           std::min(device & kLightMask, mesh & kLightMask) |
           std::min(device & kFillMask, mesh & kFillMask);
}

float Material::SanitizedPower(float power) {
    if (std::isnan(power) || power <= 0.0f) return 0.0f;
    return std::min(power, kMaxPower);
}

}  // namespace rm
