#pragma once
// Per-side tables indexed by the side number 1 or 2, and one-based point tables.
// There is no side 0 and no point 0: an index outside the range is a programming error.
#include <array>
#include <cassert>
#include <cstddef>

namespace state {

template <class T> class PerSide {
public:
    T& operator[](int side) {
        assert(side == 1 || side == 2);
        return items_[static_cast<std::size_t>(side - 1)];
    }
    const T& operator[](int side) const {
        assert(side == 1 || side == 2);
        return items_[static_cast<std::size_t>(side - 1)];
    }

private:
    std::array<T, 2> items_{};
};

// Entries 1..N; entry 0 does not exist.
template <class T, std::size_t N> class OneBased {
public:
    static constexpr int Size = static_cast<int>(N);
    T& operator[](int n) {
        assert(n >= 1 && n <= Size);
        return items_[static_cast<std::size_t>(n - 1)];
    }
    const T& operator[](int n) const {
        assert(n >= 1 && n <= Size);
        return items_[static_cast<std::size_t>(n - 1)];
    }

private:
    std::array<T, N> items_{};
};

} // namespace state
