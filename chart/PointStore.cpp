#include "chart/PointStore.h"

#include <algorithm>

namespace chart {

void TPointStore::Grow() {
    if (size_ == blocks_.size() * BlockSize) blocks_.push_back(std::make_unique<Block>());
}

void TPointStore::Append(double x, double y) {
    const auto yf = static_cast<float>(y);
    if (size_ > 0 && x < X(size_ - 1)) {
        // Out of order: in at its place, the points after it one further on.
        const std::size_t at = UpperBound(x);
        Grow();
        for (std::size_t i = size_; i > at; --i) Set(i, X(i - 1), static_cast<float>(Y(i - 1)));
        Set(at, x, yf);
        ++size_;
        RebuildRunsFrom(at);
        return;
    }
    Grow();
    Set(size_, x, yf);
    if (size_ % RunSize == 0) {
        runs_.emplace_back(yf, yf);
    } else {
        auto& run = runs_.back();
        run.first = std::min(run.first, yf);
        run.second = std::max(run.second, yf);
    }
    ++size_;
}

void TPointStore::Assign(const std::vector<double>& xs, const std::vector<double>& ys) {
    Clear();
    for (std::size_t i = 0; i < xs.size() && i < ys.size(); ++i) Append(xs[i], ys[i]);
}

void TPointStore::Clear() {
    blocks_.clear();
    runs_.clear();
    size_ = 0;
}

std::size_t TPointStore::LowerBound(double x) const {
    std::size_t lo = 0, hi = size_;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (X(mid) < x) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

std::size_t TPointStore::UpperBound(double x) const {
    std::size_t lo = 0, hi = size_;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (X(mid) <= x) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

void TPointStore::RebuildRunsFrom(std::size_t i) {
    runs_.resize(i / RunSize);
    for (std::size_t k = runs_.size() * RunSize; k < size_; ++k) {
        const auto y = static_cast<float>(Y(k));
        if (k % RunSize == 0) {
            runs_.emplace_back(y, y);
        } else {
            runs_.back().first = std::min(runs_.back().first, y);
            runs_.back().second = std::max(runs_.back().second, y);
        }
    }
}

} // namespace chart
