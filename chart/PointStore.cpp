#include "chart/PointStore.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace chart {

void TPointStore::Grow() {
    if (size_ == blocks_.size() * BlockSize) blocks_.push_back(std::make_unique<Block>());
}

void TPointStore::Append(double x, double y) {
    const auto yf = static_cast<float>(y);
    if (size_ > 0 && x < X(size_ - 1)) {
        // Out of order: in at its place, the points after it one further on.
        const std::size_t at = UpperBound(x);
        ColumnsChangedFrom(at);
        Grow();
        for (std::size_t i = size_; i > at; --i)
            Set(i, X(i - 1), static_cast<float>(Y(i - 1)));
        Set(at, x, yf);
        ++size_;
        RebuildRunsFrom(at);
        return;
    }
    ColumnsChangedFrom(size_);
    Grow();
    Set(size_, x, yf);
    AddToRuns(size_, yf);
    ++size_;
}

void TPointStore::AddToRuns(std::size_t i, float y) {
    // fmin and fmax pass over a NaN: a run's range is that of its points that are no gap.
    const bool gap = std::isnan(y);
    for (auto [runs, gaps, length] : {std::tuple{&runs_, &runGaps_, RunSize}, std::tuple{&longRuns_, &longRunGaps_, LongRunSize}}) {
        if (i % length == 0) {
            runs->emplace_back(y, y);
            gaps->push_back(gap);
        } else {
            runs->back().first = std::fmin(runs->back().first, y);
            runs->back().second = std::fmax(runs->back().second, y);
            if (gap) gaps->back() = true;
        }
    }
}

TPointStore::YSpan TPointStore::YRange(std::size_t a, std::size_t b) const {
    float low = static_cast<float>(Y(a)), high = low;
    bool gap = false;
    auto take = [&](const std::pair<float, float>& r, bool g) {
        low = std::fmin(low, r.first);
        high = std::fmax(high, r.second);
        gap = gap || g;
    };
    while (a < b) {
        if (a % LongRunSize == 0 && a + LongRunSize <= b) {
            take(longRuns_[a / LongRunSize], longRunGaps_[a / LongRunSize]);
            a += LongRunSize;
        } else if (a % RunSize == 0 && a + RunSize <= b) {
            take(runs_[a / RunSize], runGaps_[a / RunSize]);
            a += RunSize;
        } else {
            const auto y = static_cast<float>(Y(a));
            take({y, y}, std::isnan(y));
            ++a;
        }
    }
    return {low, high, gap};
}

void TPointStore::Assign(const std::vector<double>& xs, const std::vector<double>& ys) {
    Clear();
    for (std::size_t i = 0; i < xs.size() && i < ys.size(); ++i)
        Append(xs[i], ys[i]);
}

void TPointStore::Clear() {
    blocks_.clear();
    runs_.clear();
    longRuns_.clear();
    runGaps_.clear();
    longRunGaps_.clear();
    size_ = 0;
    grid_.Known.clear();
}

void TPointStore::ColumnsChangedFrom(std::size_t i) {
    // The columns end in ascending order; a column ending at or after i holds i or lies after it
    // (an empty column at the end holds where the next point will go).
    while (!grid_.Known.empty() && grid_.Known.back().End >= i)
        grid_.Known.pop_back();
}

double TPointStore::ColumnWidth(double x0, double x1, int columns) {
    const double pixel = (x1 - x0) / std::max(1, columns);
    return std::exp2(std::ceil(std::log2(pixel) * 8.0) / 8.0);
}

const std::vector<TPointStore::Column>& TPointStore::Columns(double x0, double x1, int columns) const {
    const double width = ColumnWidth(x0, x1, columns);
    // Columns counted from x = 0, unless the view lies so far out that their numbers would
    // lose precision; then from the view's own start.
    constexpr double MaxIndex = 1e15;
    const double origin = std::max(std::abs(x0), std::abs(x1)) / width < MaxIndex ? 0.0 : x0;
    if (width != grid_.Width || origin != grid_.Origin) {
        grid_.Known.clear();
        grid_.Width = width;
        grid_.Origin = origin;
    }
    const auto edge = [&](std::int64_t k) { return origin + static_cast<double>(k) * width; };
    const auto k0 = static_cast<std::int64_t>(std::floor((x0 - origin) / width));
    const auto k1 = static_cast<std::int64_t>(std::floor((x1 - origin) / width));
    const std::int64_t knownFirst = grid_.First;
    const auto knownEnd = knownFirst + static_cast<std::int64_t>(grid_.Known.size());
    std::vector<Column>& next = grid_.Next;
    next.clear();
    for (std::int64_t k = k0; k <= k1; ++k) {
        if (k >= knownFirst && k < knownEnd) {
            next.push_back(grid_.Known[static_cast<std::size_t>(k - knownFirst)]);
            continue;
        }
        Column c;
        c.Begin = next.empty() ? LowerBound(edge(k)) : next.back().End;
        c.End = LowerBoundFrom(c.Begin, size_, edge(k + 1));
        if (c.End > c.Begin) {
            const YSpan span = YRange(c.Begin, c.End);
            c.Low = static_cast<float>(span.Low);
            c.High = static_cast<float>(span.High);
            c.Gap = span.Gap;
        }
        next.push_back(c);
    }
    grid_.First = k0;
    grid_.Known.swap(next);
    return grid_.Known;
}

std::size_t TPointStore::Bisect(std::size_t lo, std::size_t hi, double x) const {
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (X(mid) < x)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

std::size_t TPointStore::LowerBound(double x) const {
    return Bisect(0, size_, x);
}

std::size_t TPointStore::LowerBoundFrom(std::size_t from, std::size_t to, double x) const {
    // Gallop: 1, 2, 4, ... points on until one reaches x, then halve the last step.
    std::size_t lo = from, step = 1;
    while (lo < to && X(lo) < x) {
        const std::size_t probe = std::min(to, lo + step);
        if (probe == to || X(probe) >= x) {
            return Bisect(lo + 1, probe, x);
        }
        lo = probe;
        step *= 2;
    }
    return lo;
}

std::size_t TPointStore::UpperBound(double x) const {
    std::size_t lo = 0, hi = size_;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (X(mid) <= x)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void TPointStore::RebuildRunsFrom(std::size_t i) {
    const std::size_t from = i / LongRunSize * LongRunSize;
    runs_.resize(from / RunSize);
    longRuns_.resize(from / LongRunSize);
    runGaps_.resize(from / RunSize);
    longRunGaps_.resize(from / LongRunSize);
    for (std::size_t k = from; k < size_; ++k)
        AddToRuns(k, static_cast<float>(Y(k)));
}

} // namespace chart
