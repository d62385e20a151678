// node::Ptr<T>: owns one reference to a node of the scene model, over the count that
// SingleNode::AddRef/Release keep; the same pointer as the retained layer's rm::Ptr.
#pragma once

#include "base/ref_ptr.h"

namespace node {

template <class T>
using Ptr = orvane::RefPtr<T>;

}  // namespace node
