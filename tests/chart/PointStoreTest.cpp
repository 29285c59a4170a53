// The compact point store of a chart series and its thinning to pixel columns.
#include "chart/PointStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using Points = std::vector<std::pair<double, double>>;

Points Thinned(const chart::TPointStore& s, double x0, double x1, int columns) {
    Points out;
    s.Thin(x0, x1, columns, [&](double x, double y) { out.emplace_back(x, y); });
    return out;
}

TEST(PointStore, ThinningKeepsEveryColumnsExtremesAndSparseViewsWhole) {
    chart::TPointStore s;
    std::vector<double> y;
    for (int n = 0; n < 100000; ++n) {
        y.push_back(150.0 + 8.0 * std::sin(n / 800.0) + (n % 13 == 0 ? 3.0 : 0.0) -
                    (n % 17 == 0 ? 2.5 : 0.0));
        s.Append(n * 0.5, y.back());
    }
    ASSERT_EQ(s.Size(), y.size());
    EXPECT_DOUBLE_EQ(s.X(12345), 6172.5);
    EXPECT_FLOAT_EQ(static_cast<float>(s.Y(12345)), static_cast<float>(y[12345]));

    for (const auto& [x0, x1, columns] : {std::tuple{0.0, 49999.5, 700}, std::tuple{1000.25, 31000.0, 333}}) {
        const Points out = Thinned(s, x0, x1, columns);
        EXPECT_LE(out.size(), 2u * static_cast<std::size_t>(columns) + 6u);
        EXPECT_TRUE(
            std::is_sorted(out.begin(), out.end(), [](auto& a, auto& b) { return a.first < b.first; }));
        // Each column of the grid spans the same y as the points in it; the columns are about a
        // pixel wide.
        const double width = chart::TPointStore::ColumnWidth(x0, x1, columns);
        ASSERT_GE(width, (x1 - x0) / columns * 0.999);
        ASSERT_LE(width, (x1 - x0) / columns * 1.1);
        for (auto k = static_cast<long>(std::floor(x0 / width)); k * width <= x1; ++k) {
            const double a = k * width, b = (k + 1) * width;
            auto in = [&](double x) { return x >= a && x < b; };
            float lo = 1e9f, hi = -1e9f, tlo = 1e9f, thi = -1e9f;
            for (std::size_t n = s.LowerBound(a); n < s.Size() && in(s.X(n)); ++n) {
                lo = std::min(lo, static_cast<float>(s.Y(n)));
                hi = std::max(hi, static_cast<float>(s.Y(n)));
            }
            for (const auto& [x, v] : out) {
                if (in(x)) {
                    tlo = std::min(tlo, static_cast<float>(v));
                    thi = std::max(thi, static_cast<float>(v));
                }
            }
            ASSERT_EQ(lo, tlo) << "column " << k;
            ASSERT_EQ(hi, thi) << "column " << k;
        }
    }
    // Few points in view: all of them, with one on each side beyond the edges.
    const Points near = Thinned(s, 100.0, 110.0, 700);
    ASSERT_EQ(near.size(), 23u);
    EXPECT_EQ(near.front().first, 99.5);
    EXPECT_EQ(near.back().first, 110.5);
}

TEST(PointStore, APointBehindTheLastGoesInAtItsPlace) {
    chart::TPointStore s;
    for (int n = 0; n < 200; ++n)
        s.Append(n, n);
    s.Append(50.5, -7.0);
    s.Append(-1.0, 900.0);
    ASSERT_EQ(s.Size(), 202u);
    EXPECT_EQ(s.X(0), -1.0);
    EXPECT_EQ(s.X(52), 50.5);
    EXPECT_EQ(s.Y(52), -7.0);
    EXPECT_EQ(s.X(201), 199.0);
    // The y ranges kept for thinning follow: the new extremes show in a thinned view.
    const Points out = Thinned(s, -1.0, 199.0, 2);
    EXPECT_NE(std::find(out.begin(), out.end(), std::make_pair(-1.0, 900.0)), out.end());
    EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](auto& p) { return p.second == -7.0; }));
}

TEST(PointStore, ColumnsKeptFromTheLastViewFollowEveryChange) {
    // A store thinned again and again while it changes gives what a store that never thinned
    // before gives for the same points.
    chart::TPointStore kept;
    std::vector<double> xs, ys;
    auto add = [&](double x, double y) {
        kept.Append(x, y);
        const auto at = std::upper_bound(xs.begin(), xs.end(), x) - xs.begin();
        xs.insert(xs.begin() + at, x);
        ys.insert(ys.begin() + at, y);
    };
    auto same = [&](double x0, double x1, int columns, const char* what) {
        chart::TPointStore fresh;
        fresh.Assign(xs, ys);
        ASSERT_EQ(Thinned(kept, x0, x1, columns), Thinned(fresh, x0, x1, columns)) << what;
    };
    for (int n = 0; n < 40000; ++n)
        add(n * 0.5, 100.0 + 20.0 * std::sin(n / 300.0) + (n % 11) * 0.1);
    same(0.0, 19999.5, 500, "first view");
    for (int n = 40000; n < 40100; ++n) {
        add(n * 0.5, 90.0 - (n % 5)); // a running cycle: one more point, a view a little wider
        same(0.0, n * 0.5, 500, "growing view");
    }
    same(3000.0, 13000.0, 500, "zoomed");
    same(3500.0, 13500.0, 500, "panned");
    add(7000.25, 500.0); // a point behind the last, inside the view
    same(3500.0, 13500.0, 500, "after an insert");
    add(-50.0, -3.0); // and one before every other
    same(-50.0, 20049.5, 480, "after an insert at the start");
    kept.Clear();
    xs.clear();
    ys.clear();
    for (int n = 0; n < 30000; ++n)
        add(n, n % 97);
    same(0.0, 29999.0, 480, "cleared and filled again");
}

// A NaN y is a gap in the line: every column of a thinned view that holds one ends with a NaN
// point, no other column has one, and the columns' extremes leave the gaps out.
TEST(PointStore, GapsSurviveThinning) {
    chart::TPointStore s;
    auto gap = [](int n) { return n < 3 || n == 30011 || (n >= 50000 && n < 51000); };
    for (int n = 0; n < 100000; ++n)
        s.Append(n * 0.5, gap(n) ? std::nan("") : 100.0 + n % 7);
    for (const auto& [x0, x1, columns] : {std::tuple{0.0, 49999.5, 700}, std::tuple{14000.0, 16000.0, 333},
                                          std::tuple{15000.0, 15100.0, 700}}) {
        SCOPED_TRACE(x1);
        const Points out = Thinned(s, x0, x1, columns);
        const bool thinned = out.size() < s.UpperBound(x1) - s.LowerBound(x0);
        const double width = thinned ? chart::TPointStore::ColumnWidth(x0, x1, columns) : 0.5;
        for (auto k = static_cast<long>(std::floor(x0 / width)); k * width <= x1; ++k) {
            const double a = k * width, b = (k + 1) * width;
            auto in = [&](double x) { return x >= a && x < b; };
            bool hasGap = false;
            float hi = -1e9f;
            for (std::size_t n = s.LowerBound(a); n < s.Size() && in(s.X(n)); ++n) {
                hasGap = hasGap || std::isnan(s.Y(n));
                if (!std::isnan(s.Y(n))) hi = std::max(hi, static_cast<float>(s.Y(n)));
            }
            bool outGap = false;
            float outHi = -1e9f;
            for (const auto& [x, y] : out) {
                if (!in(x)) continue;
                outGap = outGap || std::isnan(y);
                if (!std::isnan(y)) outHi = std::max(outHi, static_cast<float>(y));
            }
            ASSERT_EQ(hasGap, outGap) << "column " << k;
            ASSERT_EQ(hi, outHi) << "column " << k;
        }
    }
}

} // namespace
