// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Range-checked arrays and overflow-checked integer arithmetic: an index outside its array
// raises ERangeError and an integer result outside 32 bits raises EIntOverflow, so nothing
// is ever read or written out of bounds.

#include "common/errors.h"

#include <climits>
#include <concepts>
#include <cstdint>
#include <string>
#include <vector>

namespace zelt {

[[noreturn]] void RaiseIndexError(long long index, long long low, long long high);

// A growable array indexed from 0 whose every access is bounds-tested.
template <class T> class TCheckedVector {
public:
    using value_type = T;
    using iterator = typename std::vector<T>::iterator;
    using const_iterator = typename std::vector<T>::const_iterator;

    TCheckedVector() = default;
    explicit TCheckedVector(int count) { resize(count); }

    int size() const { return static_cast<int>(items_.size()); }
    bool empty() const { return items_.empty(); }

    // New elements are value-initialised (zeroed records, 0.0 numbers).
    void resize(long long count) {
        if (count < 0 || count > INT_MAX)
            throw ERangeError("Invalid array length " + std::to_string(count));
        items_.resize(static_cast<std::size_t>(count));
    }
    void reserve(int count) { items_.reserve(static_cast<std::size_t>(count)); }
    void clear() { items_.clear(); }
    void push_back(const T& item) {
        if (items_.size() >= INT_MAX)
            throw ERangeError("Array is full");
        items_.push_back(item);
    }

    T& operator[](std::integral auto index) { return items_[checked(index)]; }
    const T& operator[](std::integral auto index) const { return items_[checked(index)]; }
    T& back() { return (*this)[size() - 1]; }
    const T& back() const { return (*this)[size() - 1]; }

    iterator begin() { return items_.begin(); }
    iterator end() { return items_.end(); }
    const_iterator begin() const { return items_.begin(); }
    const_iterator end() const { return items_.end(); }

private:
    std::size_t checked(std::integral auto index) const {
        const auto i = static_cast<long long>(index);
        if (i < 0 || i >= static_cast<long long>(items_.size()))
            RaiseIndexError(i, 0, static_cast<long long>(items_.size()) - 1);
        return static_cast<std::size_t>(i);
    }

    std::vector<T> items_;
};

// 32-bit integer arithmetic that raises EIntOverflow instead of wrapping.
std::int32_t CheckedAdd(std::int32_t a, std::int32_t b);
std::int32_t CheckedSub(std::int32_t a, std::int32_t b);
std::int32_t CheckedMul(std::int32_t a, std::int32_t b);

// The value truncated toward zero as a 32-bit integer; a value outside that range, or not a
// number, raises EInvalidOp.
std::int32_t TruncToInt(long double value);

} // namespace zelt
