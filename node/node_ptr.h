// node::Ptr<T>: owns one reference to a node of the scene model, over the count that
// SingleNode::AddRef/Release keep; the same interface as the retained layer's rm::Ptr.
#pragma once

#include <utility>

namespace node {

template <class T>
class Ptr {
  public:
    Ptr() = default;
    // Takes over a reference the caller already owns (as CreateNode returns it).
    static Ptr Adopt(T* p) {
        Ptr r;
        r.p_ = p;
        return r;
    }
    // Adds a reference of its own.
    explicit Ptr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    Ptr(const Ptr& o) : Ptr(o.p_) {}
    Ptr(Ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ptr& operator=(Ptr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Ptr() { Reset(); }

    void Reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    // The slot for a call that stores a node with a reference for the caller.
    T** Put() {
        Reset();
        return &p_;
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T* Detach() { return std::exchange(p_, nullptr); }
    friend bool operator==(const Ptr& a, const Ptr& b) { return a.p_ == b.p_; }

  private:
    T* p_ = nullptr;
};

}  // namespace node
