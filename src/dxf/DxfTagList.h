#pragma once
// The tags of a file, in one block of memory, as a vector holds them; unlike
// a vector, the room past its tags can be filled in runs by several threads
// at once (the text reader does: each part of a file goes straight to its
// place), and the filled runs then joined to the list without moving a tag.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "DxfTag.h"

namespace tessik::dxf {

class DxfTagList {
public:
    using value_type = DxfTag;
    using iterator = DxfTag*;
    using const_iterator = const DxfTag*;

    DxfTagList() = default;
    DxfTagList(std::vector<DxfTag>&& tags)
    {
        reserve(tags.size());
        for (DxfTag& t : tags) push_back(std::move(t));
    }
    DxfTagList(const DxfTagList& other)
    {
        reserve(other.size_);
        try {
            std::uninitialized_copy_n(other.data_, other.size_, data_);
        } catch (...) {
            release(data_);
            throw;
        }
        size_ = other.size_;
    }
    DxfTagList(DxfTagList&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0))
    {
    }
    DxfTagList& operator=(DxfTagList other) noexcept
    {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        return *this;
    }
    ~DxfTagList()
    {
        std::destroy_n(data_, size_);
        release(data_);
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::size_t capacity() const { return capacity_; }
    DxfTag* data() { return data_; }
    const DxfTag* data() const { return data_; }
    DxfTag* begin() { return data_; }
    DxfTag* end() { return data_ + size_; }
    const DxfTag* begin() const { return data_; }
    const DxfTag* end() const { return data_ + size_; }
    DxfTag& operator[](std::size_t i) { return data_[i]; }
    const DxfTag& operator[](std::size_t i) const { return data_[i]; }
    DxfTag& back() { return data_[size_ - 1]; }
    const DxfTag& back() const { return data_[size_ - 1]; }

    void reserve(std::size_t n)
    {
        if (n <= capacity_) return;
        if (n > SIZE_MAX / sizeof(DxfTag)) throw std::bad_alloc();
        auto* more = static_cast<DxfTag*>(::operator new(n * sizeof(DxfTag)));
        std::uninitialized_move_n(data_, size_, more);  // a move of a tag does not throw
        std::destroy_n(data_, size_);
        release(data_);
        data_ = more;
        capacity_ = n;
    }
    void push_back(DxfTag tag)
    {
        if (size_ == capacity_) reserve(std::max<std::size_t>(16, 2 * capacity_));
        ::new (static_cast<void*>(data_ + size_)) DxfTag(std::move(tag));
        ++size_;
    }

    // The room past the tags: capacity() - size() slots holding no tag.
    // Whoever constructs tags there (placement new, from any thread) makes
    // them the list's with adopt, or destroys them.
    DxfTag* room() { return data_ + size_; }
    // The first n slots of room() now hold tags: the list's from here on.
    void adopt(std::size_t n) { size_ += n; }

    friend bool operator==(const DxfTagList& a, const DxfTagList& b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    static void release(DxfTag* storage) { ::operator delete(static_cast<void*>(storage)); }

    DxfTag* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace tessik::dxf
