// The move-only core of the extension's holders: one pointer, handed on by moves and dropped once
// by `Drop` when the holder ends. std::unique_ptr would serve, but it also clears its pointer in
// its destructor, a store the compiler keeps when the memory goes back to the interpreter's
// allocator next: 5 to 16 more instructions for every Result made and freed.
#pragma once

#include <utility>

namespace tolbrane {

template <class T, class Drop>
class SolePointer {
public:
    SolePointer() noexcept = default;
    explicit SolePointer(T* ptr) noexcept : ptr_(ptr) {}
    SolePointer(const SolePointer&) = delete;
    SolePointer& operator=(const SolePointer&) = delete;
    SolePointer(SolePointer&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    // The old pointer is dropped only after the new one is in place, so that code run by the drop
    // never sees this holder half-assigned.
    SolePointer& operator=(SolePointer&& other) noexcept {
        SolePointer dropped(std::move(*this));
        ptr_ = std::exchange(other.ptr_, nullptr);
        return *this;
    }
    ~SolePointer() {
        if (ptr_ != nullptr) Drop{}(ptr_);
    }

    T* get() const noexcept { return ptr_; }
    T* release() noexcept { return std::exchange(ptr_, nullptr); }

private:
    T* ptr_ = nullptr;
};

}  // namespace tolbrane
