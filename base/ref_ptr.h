// RefPtr<T>: owns one reference to an object that counts its own references
// with AddRef()/Release() (scene-model nodes, retained-mode objects).
#pragma once

#include <utility>

namespace orvane {

template <class T>
class RefPtr {
  public:
    RefPtr() = default;
    // Takes over a reference the caller already owns (as a Create... call returns it).
    static RefPtr Adopt(T* p) {
        RefPtr r;
        r.p_ = p;
        return r;
    }
    // Adds a reference of its own.
    explicit RefPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    RefPtr(const RefPtr& o) : RefPtr(o.p_) {}
    RefPtr(RefPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    RefPtr& operator=(RefPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~RefPtr() { Reset(); }

    void Reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    // The slot for a call that stores an object with a reference for the caller.
    T** Put() {
        Reset();
        return &p_;
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T* Detach() { return std::exchange(p_, nullptr); }
    friend bool operator==(const RefPtr& a, const RefPtr& b) { return a.p_ == b.p_; }

  private:
    T* p_ = nullptr;
};

}  // namespace orvane
