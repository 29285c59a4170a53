#pragma once
// The points of one chart series, kept compact: the x as a double, the y as a float (12 bytes a
// point, against 16 and more in the plotting library's own containers), in blocks of fixed size
// so that a growing series never copies itself. A week of refreshes (1,209,600 points) takes
// 14 MB.
//
// Beside the points, the smallest and largest y of every run of 16 and of 256 points, so that a view of
// millions of points is thinned to what the pixels can show (Thin) without visiting each point.
#include <array>
#include <cmath>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace chart {

class TPointStore {
public:
    // Appends a point; one whose x is below the last x goes in at its place by x (after points
    // with the same x), which costs a move of the points after it.
    void Append(double x, double y);
    // Replaces all points; the xs are ascending and as many as the ys.
    void Assign(const std::vector<double>& xs, const std::vector<double>& ys);
    void Clear();

    std::size_t Size() const { return size_; }
    double X(std::size_t i) const { return blocks_[i / BlockSize]->X[i % BlockSize]; }
    double Y(std::size_t i) const { return blocks_[i / BlockSize]->Y[i % BlockSize]; }
    // The first point with x >= `x` (Size() when none).
    std::size_t LowerBound(double x) const;
    // The first point with x > `x`.
    std::size_t UpperBound(double x) const;
    // The first point in [from, to) with x >= `x` (`to` when none), searched from `from` on:
    // cheap when it is near.
    std::size_t LowerBoundFrom(std::size_t from, std::size_t to, double x) const;

    // The points to draw for the x range [x0, x1] on `columns` pixel columns, handed to `out`
    // in ascending x: every point of the range (and the one before and after it, so that the
    // line reaches the edges) when they are no more than four a column; otherwise per column
    // its lowest and its highest y (the one nearer to where the line comes from first), which
    // fills the same column of pixels as all its points.
    template <class Out> void Thin(double x0, double x1, int columns, Out&& out) const;

    // The lowest and highest y of points [a, b), a < b.
    std::pair<double, double> YRange(std::size_t a, std::size_t b) const;

    static constexpr std::size_t RunSize = 16;      // points per y range kept
    static constexpr std::size_t LongRunSize = 256; // and per y range of 16 runs

private:
    // The first point in [lo, hi) with x >= `x` (`hi` when none), by halving.
    std::size_t Bisect(std::size_t lo, std::size_t hi, double x) const;
    static constexpr std::size_t BlockSize = 8192;
    struct Block {
        std::array<double, BlockSize> X{};
        std::array<float, BlockSize> Y{};
    };
    void Set(std::size_t i, double x, float y) {
        blocks_[i / BlockSize]->X[i % BlockSize] = x;
        blocks_[i / BlockSize]->Y[i % BlockSize] = y;
    }
    void Grow();
    void RebuildRunsFrom(std::size_t i);
    void AddToRuns(std::size_t i, float y);

    std::vector<std::unique_ptr<Block>> blocks_;
    std::size_t size_ = 0;
    std::vector<std::pair<float, float>> runs_;     // lowest and highest y of points [16k, 16k + 16)
    std::vector<std::pair<float, float>> longRuns_; // and of points [256k, 256k + 256)
};

template <class Out> void TPointStore::Thin(double x0, double x1, int columns, Out&& out) const {
    if (size_ == 0) return;
    std::size_t begin = LowerBound(x0);
    std::size_t end = UpperBound(x1);
    if (begin > 0) --begin;
    if (end < size_) ++end;
    if (columns < 1) columns = 1;
    if (end - begin <= 4 * static_cast<std::size_t>(columns) || !(x1 > x0)) {
        for (std::size_t i = begin; i < end; ++i)
            out(X(i), Y(i));
        return;
    }
    // The points before x0 and after x1 go out as they are; the rest column by column.
    std::size_t i = begin;
    double lastY = Y(i); // where the line drawn so far ends
    if (X(i) < x0) {
        out(X(i), Y(i));
        ++i;
    }
    std::size_t last = end;
    if (last > i && X(last - 1) > x1) --last;
    const double width = (x1 - x0) / columns;
    for (int c = 0; c < columns && i < last; ++c) {
        const std::size_t next = c + 1 == columns ? last : LowerBoundFrom(i, last, x0 + width * (c + 1));
        if (next <= i) continue;
        const double xFirst = X(i);
        if (next - i <= 2) {
            for (; i < next; ++i)
                out(X(i), Y(i));
            lastY = Y(next - 1);
            continue;
        }
        // The column's span, begun at the end nearer to where the line comes from, so that no
        // long stroke back across the column is drawn.
        const auto [low, high] = YRange(i, next);
        const double from = i > 0 ? lastY : Y(i);
        if (std::abs(low - from) <= std::abs(high - from)) {
            out(xFirst, low);
            out(X(next - 1), high);
            lastY = high;
        } else {
            out(xFirst, high);
            out(X(next - 1), low);
            lastY = low;
        }
        i = next;
    }
    for (; last < end; ++last)
        out(X(last), Y(last));
}

} // namespace chart
