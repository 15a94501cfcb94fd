// The Windows Imaging Component for the JPEG and PNG code: one factory per process, and an owning
// pointer for the COM objects it hands out.
#pragma once

#include <utility>

#include <wincodec.h>

namespace korvana::detail {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For the out-parameter of a COM call; releases what was held.
    T** put() {
        reset();
        return &p_;
    }
    void reset() {
        if (p_ != nullptr) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

// Null when COM or WIC cannot start (then no JPEG is decoded and no PNG written).
IWICImagingFactory* wicFactory();

}  // namespace korvana::detail
