// The compact point store of a chart series and its thinning to pixel columns.
#include "chart/PointStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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
        EXPECT_LE(out.size(), 4u * static_cast<std::size_t>(columns) + 2u);
        EXPECT_TRUE(
            std::is_sorted(out.begin(), out.end(), [](auto& a, auto& b) { return a.first < b.first; }));
        // Each pixel column spans the same y as the points in it.
        const double width = (x1 - x0) / columns;
        for (int c = 0; c < columns; ++c) {
            const double a = x0 + c * width, b = x0 + (c + 1) * width;
            auto in = [&](double x) {
                return x >= a && (x < b || (c + 1 == columns && x <= x1));
            }; // the last holds x1
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
            ASSERT_EQ(lo, tlo) << "column " << c;
            ASSERT_EQ(hi, thi) << "column " << c;
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

} // namespace
