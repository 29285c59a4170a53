#pragma once
// The points of one chart series, kept compact: the x as a double, the y as a float (12 bytes a
// point, against 16 and more in the plotting library's own containers), in blocks of fixed size
// so that a growing series never copies itself. A week of refreshes (1,209,600 points) takes
// 14 MB.
//
// Beside the points, the smallest and largest y of every run of 16 and of 256 points, so that a view of
// millions of points is thinned to what the pixels can show (Thin) without visiting each point.
//
// A point whose y is NaN is a gap: the line breaks there (a side that had no current
// temperature). Thinning keeps every gap: a column that holds one ends with a NaN point.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
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
    // line reaches the edges) when they are no more than four a column; otherwise, for every
    // column of a fixed grid about a pixel wide (ColumnWidth), its lowest and its highest y (the
    // one nearer to where the line comes from first), which fills the same pixels as all its
    // points. The grid's columns are kept between calls, so that a view that grows or moves by
    // a little (the automatic scaling of a running cycle) only works out the columns it has not
    // seen yet.
    template <class Out> void Thin(double x0, double x1, int columns, Out&& out) const;
    // The width of the grid's columns for that view: the pixel width rounded up to a step of a
    // fixed ladder (2^(1/8) apart), so that it stays the same while the view grows by a little.
    static double ColumnWidth(double x0, double x1, int columns);

    // The lowest and highest y of points [a, b), a < b, leaving gaps out (both NaN when there
    // are only gaps), and whether a gap lies among them.
    struct YSpan {
        double Low = 0.0, High = 0.0;
        bool Gap = false;
    };
    YSpan YRange(std::size_t a, std::size_t b) const;

    static constexpr std::size_t RunSize = 16;      // points per y range kept
    static constexpr std::size_t LongRunSize = 256; // and per y range of 16 runs

private:
    // One column of the thinning grid: its points [Begin, End) and their y range.
    struct Column {
        std::size_t Begin = 0, End = 0;
        float Low = 0.0f, High = 0.0f;
        bool Gap = false;
    };
    // The grid's columns over [x0, x1], those already known taken from the last call.
    const std::vector<Column>& Columns(double x0, double x1, int columns) const;
    // Forgets the known columns that hold point `i` or any after it (they changed).
    void ColumnsChangedFrom(std::size_t i);

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
    std::vector<bool> runGaps_;                     // whether a gap lies in run k
    std::vector<bool> longRunGaps_;

    // The columns of the last thinning: column k covers x in [Origin + k·Width, Origin + (k+1)·Width).
    struct Grid {
        double Origin = 0.0, Width = 0.0;
        std::int64_t First = 0; // the index of Known.front()
        std::vector<Column> Known;
        std::vector<Column> Next; // the next call's columns, built beside the known ones
    };
    mutable Grid grid_;
};

template <class Out> void TPointStore::Thin(double x0, double x1, int columns, Out&& out) const {
    if (size_ == 0) return;
    std::size_t begin = LowerBound(x0);
    std::size_t end = UpperBound(x1);
    if (begin > 0) --begin;
    if (end < size_) ++end;
    if (columns < 1) columns = 1;
    if (end - begin <= 4 * static_cast<std::size_t>(columns) || !(x1 > x0) || !std::isfinite(x1 - x0)) {
        for (std::size_t i = begin; i < end; ++i)
            out(X(i), Y(i));
        return;
    }
    const std::vector<Column>& grid = Columns(x0, x1, columns);
    // The point before the first column and the one after the last go out as they are.
    std::size_t i = grid.front().Begin;
    double lastY = i > 0 ? Y(i - 1) : 0.0;
    bool drawn = i > 0 && !std::isnan(lastY); // whether a line comes into the next column
    if (i > 0) out(X(i - 1), lastY);
    for (const Column& c : grid) {
        if (c.End - c.Begin <= 2) {
            for (std::size_t k = c.Begin; k < c.End; ++k)
                out(X(k), Y(k));
            if (c.End > c.Begin) {
                lastY = Y(c.End - 1);
                drawn = !std::isnan(lastY);
            }
            continue;
        }
        const double low = c.Low, high = c.High;
        if (!std::isnan(low)) {
            // The column's span, begun at the end nearer to where the line comes from, so that
            // no long stroke back across the column is drawn.
            const double from = drawn ? lastY : Y(c.Begin);
            const bool lowFirst = std::isnan(from) || std::abs(low - from) <= std::abs(high - from);
            out(X(c.Begin), lowFirst ? low : high);
            out(X(c.End - 1), lowFirst ? high : low);
            lastY = lowFirst ? high : low;
            drawn = true;
        }
        if (c.Gap) {
            // The line breaks in this column.
            out(X(c.End - 1), std::numeric_limits<double>::quiet_NaN());
            drawn = false;
        }
    }
    if (const std::size_t after = grid.back().End; after < size_) out(X(after), Y(after));
}

} // namespace chart
