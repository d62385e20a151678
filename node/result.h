// Result codes of the scene model and the coders: scene-model operations
// return 0 or 1; raw codings and coder entry points return node::kFailCode
// (the COM-style E_FAIL value) when they cannot do their work, node::kOk when
// they did. The retained layer has its own codes (rm::kOk, rm::kFail).
#pragma once

#include <cstdint>

using HRESULT = std::int32_t;

namespace node {

inline constexpr HRESULT kOk = 0;
inline constexpr HRESULT kFailCode = static_cast<HRESULT>(0x80004005u);

}  // namespace node
