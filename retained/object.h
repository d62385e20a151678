// Reference-counted base of every retained-mode object, and Ptr<T>, the owning
// smart pointer that tests and the backend use instead of manual Release calls.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "base/ref_ptr.h"

namespace rm {

// Counting rules, the same for every object of this layer:
// - a Create... call hands out the object with one reference, owned by the caller;
// - every holder inside the layer (a parent frame for its child frames, visuals and
//   lights, a meshbuilder for its material and texture) takes a reference of its own;
// - Release drops one reference and destroys the object at zero.
// The count is atomic so that a release on either thread is safe, but everything else
// about an object is guarded by the scene lock (see retained_mode.h).
class Object {
  public:
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    std::uint32_t AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    // Returns the count left; the object is gone when it returns 0.
    std::uint32_t Release() {
        const std::uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }
    std::uint32_t RefCount() const { return refs_.load(std::memory_order_relaxed); }

    // Identity that is never reused, unlike an address; the backend keys its caches on it.
    std::uint64_t Id() const { return id_; }

  protected:
    Object();
    virtual ~Object() = default;

  private:
    std::atomic<std::uint32_t> refs_{1};
    std::uint64_t id_;
};

// Owns one reference to T. Put() hands out the slot for a Create... call.
template <class T>
using Ptr = orvane::RefPtr<T>;

}  // namespace rm
