// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window/column_thinning.h"
#include "core/window/crop_edges.h"
#include "core/window/crop.h"
#include "core/window/crop_scan.h"
#include "core/window/precision.h"
#include "core/data/data_reader.h"
#include "data_reader_entry.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numeric>
#include <random>
#include <tuple>

namespace tolvenar {
namespace {

using namespace test;
using Line = std::array<float, 4>;

std::vector<double> one_to(int n)
{
    std::vector<double> xs(static_cast<std::size_t>(n));
    std::iota(xs.begin(), xs.end(), 1.0);
    return xs;
}

// A state holding `table` and a recognisable previous segment.
EngineState state_with(DataTable table)
{
    return {.data = std::move(table), .CropStart = 70, .CropEnd = 77, .CropCount = 7,
            .CropObserved = std::vector<float>(8, 1.5f), .CropModel = std::vector<float>(8, 2.5f),
            .CropMaxY = 1.0f, .CropMinY = -1.0f};
}

TEST(CropSelection, TakesTheRowsUnderTheWindow)
{
    const std::vector<double> ten = one_to(10);  // row r has x = r
    const std::vector<double> unordered = {1, 5, 2, 3, 9, 4};
    const struct { std::vector<double> x; const char* spare; float left, width;
                   std::int32_t start, end; std::optional<FaultKind> fault; } cases[] = {
        {ten, "", 2.0f, 3.0f, 1, 5},       // both edges inclusive
        {ten, "", 2.25f, 0.5f, 2, 2},      // between two points: nothing, one zeroed element
        {ten, "", -5.0f, 7.0f, 0, 2},      // starts left of the data: from row 1
        {ten, "", 8.0f, 2.0f, 7, 10},      // right edge at the last x
        {ten, "", 8.0f, 100.0f, 7, 10},    // beyond it: the spare row is read, never taken
        {ten, "", 4.0f, -1.0f, 3, 3},      // a negative width takes nothing
        {ten, "", 4.0f, 0.0f, 3, 4},       // a zero width takes a point right on its edge
        // 0.1f lies above the double 0.1, and 0.1f + 0.2f rounds to a single above 0.3.
        {{0.0, 0.1, 0.2, 0.3, 0.4}, "", 0.1f, 0.2f, 2, 4},
        // Wholly right of the data: the empty spare row ends the table, a marker's text
        // counts greater than any number, and the empty row counts 0.
        {ten, "", 20.0f, 5.0f, 0, 0, FaultKind::IndexOutOfRange},
        {unordered, "", 20.0f, 5.0f, 0, 0, FaultKind::IndexOutOfRange},
        {ten, "Break", 20.0f, 5.0f, 10, 10},
        {{-9, -8, -7, -6}, "", -0.5f, 1.0f, 4, 4},
        {ten, "---", 3e38f, 3e38f, 0, 0, FaultKind::Overflow},  // the right edge in single
        {unordered, "", 4.5f, 1.5f, 1, 4},  // from the first x at or right of the left edge
        {unordered, "", 2.0f, 2.0f, 1, 1},  // x = 5 already beyond the right edge
        {one_to(100000), "", 1.0f, 99999.0f, 0, 100000},  // counts are 32-bit
    };
    const auto segment_of = [](const EngineState& s) {
        return std::tuple(s.CropStart, s.CropEnd, s.CropCount, s.CropObserved, s.CropModel,
                          s.CropMinY, s.CropMaxY);
    };
    for (const auto& c : cases) {
        EngineState state = state_with(table_of(c.x, {}, c.spare));
        const auto previous = segment_of(state);
        EXPECT_EQ(fault_of([&] { extract_crop(state, c.left, c.width); }), c.fault) << c.left;
        // A refused window leaves the whole previous segment.
        const std::vector<float> zeros(static_cast<std::size_t>(c.end - c.start) + 1);
        EXPECT_EQ(segment_of(state),
                  c.fault ? previous
                          : std::tuple(c.start, c.end, c.end - c.start,
                                       zeros, zeros, kEmptyRangeLowest, kEmptyRangeHighest))
            << c.x.size() << " rows, [" << c.left << ", +" << c.width << "]";
    }
}

// Edges equal to data x, typed or the series' ends, take those rows whatever their digits; the
// plot's single edges, the origin and a crop that already held its rows stay as they were.
TEST(CropSelection, EdgesEqualToDataXHoldTheirRows)
{
    const struct { std::vector<double> x; std::size_t from, to; std::int32_t start, count, held;
    } cases[] = {
        {{0.0213999, 0.1, 0.25, 0.3, 0.45671}, 0, 4, 0, 5, 3},  // single(0.0213999) lies above it
        {{0.021347, 0.1, 0.25, 0.3, 0.456789}, 0, 4, 0, 5, 4},  // the single right edge below
        {{0.021347, 0.1, 0.2, 0.3, 0.456789}, 1, 3, 1, 3, 2},  // typed 0.1 and 0.3
        {{0.021387654321, 0.2, 0.4567890123456}, 0, 2, 0, 3, 3},  // held before, held now
        {{2460000, 2460000.125, 2460001.0000001}, 0, 2, 0, 3, 3},  // far from zero
    };
    for (const auto& c : cases) {
        const CropEdges edges = crop_edges(c.x[c.from], c.x[c.to]);
        EngineState before = state_with(table_of(c.x)), after = before;
        extract_crop(before, edges.left, edges.width, edges.origin);
        extract_crop(after, crop_rows(after.data, edges));
        EXPECT_EQ(std::tuple(after.CropStart, after.CropCount, before.CropCount),
                  std::tuple(c.start, c.count, c.held)) << c.x[c.from];
        EXPECT_EQ(after.CropOrigin, before.CropOrigin);
        if (c.held == c.count)
            EXPECT_EQ(after.CropStart, before.CropStart);
    }
}

// A crop far from zero measures model x from its left edge; within 1000 crop widths of zero
// from 0, where every number stays as it was.
TEST(CropOrigin, IsTheLeftEdgeOfACropFarFromZero)
{
    for (const auto& [left, width, origin] : std::vector<std::array<double, 3>>{
             {0, 10, 0}, {-5, 10, 0}, {9990, 10, 0}, {-10000, 10, 0}, {9991, 10, 9991},
             {-10001, 10, -10001}, {2460000, 41.625, 2460000}, {1.7e9, 59940, 1.7e9},
             {5, 0, 0}, {5, -1, 0}, {1e308, 1e308, 0}})
        EXPECT_EQ(crop_origin(left, width), origin) << left << ", +" << width;

    // Hourly Julian days: the crop takes every row, the model x of the right edge is the width.
    std::vector<double> days;
    for (int i = 0; i < 1000; ++i)
        days.push_back(2460000.0 + i / 24.0);
    EngineState state = state_with(table_of(days));
    const float width = 41.625f;  // days.back() - days[0], exactly
    extract_crop(state, days[0], width, days[0]);
    EXPECT_EQ(std::tuple(state.CropStart, state.CropCount, state.CropOrigin),
              std::tuple(0, 1000, days[0]));
    EXPECT_EQ(model_x_of(state.CropOrigin, days[0] + width), width);
    EXPECT_EQ(data_x_of(state.CropOrigin, 12.5f), 2460012.5);
    // Taken in data x, the single right edge 2460041.5 loses the last three rows.
    extract_crop(state, static_cast<float>(days[0]), width);
    EXPECT_EQ(std::tuple(state.CropCount, state.CropOrigin), std::tuple(997, 0.0));
}

// Single precision holds a crop too coarsely far from zero: y at 1,000,000 that varies by 0.05,
// and x in Unix seconds or Julian days whose steps fall below the single's spacing there. The
// same series about zero or about the crop's left edge, and data written within single
// precision, stay silent.
TEST(PrecisionCheck, WarnsWhereSinglesCannotHoldTheCrop)
{
    const auto steps = [](double first, double step) {
        std::vector<double> x;
        for (int i = 0; i < 300; ++i)
            x.push_back(first + i * step);
        return x;
    };
    // A ramp of 0.05 * scale from point 100 to 200 with noise of 0.005 * scale, at `level`.
    const auto ramp = [](double level, double scale) {
        std::vector<double> y;
        for (int i = 0; i < 300; ++i)
            y.push_back(level + scale * (0.05 * std::clamp(i - 100, 0, 100) / 100.0 +
                                         0.005 * std::sin(i * 2.1)));
        return y;
    };
    const auto counts = [&](double level) {  // whole numbers, exact in single
        std::vector<double> y = ramp(0, 1);
        for (double& v : y)
            v = level + std::round(v * 100);
        return y;
    };
    const std::vector<double> seconds = steps(1.7e9, 0.1), days = steps(2460000.5, 1 / 1440.0);
    const struct {
        const char* name;
        std::vector<double> x, y;
        double origin;
        std::string says;  // the warning's start; "" for none
    } cases[] = {
        {"y at 1e6", steps(0, 1), ramp(1e6, 1), 0,
         "y is stored in single precision with 2 distinct values for 300 points"},
        {"y at 1e5", steps(0, 1), ramp(1e5, 1), 0, "y is stored"},
        {"y about 0", steps(0, 1), ramp(0, 1), 0, ""},
        {"y at 1e4", steps(0, 1), ramp(1e4, 1), 0, ""},
        {"y at 1e-6 scale", steps(0, 1), ramp(0, 1e-6), 0, ""},
        {"y at 1e6 scale", steps(0, 1), ramp(1e6, 1e6), 0, ""},
        {"counts at 1e7", steps(0, 1), counts(1e7), 0, ""},  // a few single steps, all kept
        {"Unix seconds at 0", seconds, ramp(0, 1), 0,
         "x is stored in single precision with 299 of 299 steps lost"},
        {"Unix seconds at the crop", seconds, ramp(0, 1), seconds[0], ""},
        {"Julian minutes at 0", days, ramp(0, 1), 0, "x is stored"},
        {"Julian minutes at the crop", days, ramp(0, 1), days[0], ""},
        {"x at 1e6 by 0.1", steps(1e6, 0.1), ramp(0, 1), 0, "x is stored in single precision "
                                                              "with its steps of 0.1 rounded"},
        {"both", seconds, ramp(1e6, 1), 0, "y is stored"}};
    for (const auto& c : cases) {
        std::vector<float> x_held, y_held;
        for (const double x : c.x)
            x_held.push_back(to_single(x - c.origin));
        for (const double y : c.y)
            y_held.push_back(to_single(y));
        const std::string warning =
            precision_warning({c.x, x_held, c.y, y_held}).value_or("");
        EXPECT_EQ(warning.substr(0, c.says.size()), c.says) << c.name << ": " << warning;
        EXPECT_EQ(warning.empty(), c.says.empty()) << c.name << ": " << warning;
    }
    // The shipped examples, cropped whole, stay silent.
    int examples = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(TOLVENAR_SOURCE_DIR) / "examples")) {
        if (entry.path().extension() != ".csv")
            continue;
        const DataTable table = import_data_file(entry.path()).series.table;
        const double first = cell_number(table.x_cell(1));
        const double last = cell_number(table.x_cell(table.DataCount));
        EXPECT_EQ(crop_precision_warning(table, 0, table.DataCount, crop_origin(first, last - first)),
                  std::nullopt) << entry.path();
        ++examples;
    }
    EXPECT_GT(examples, 3);
}

// Per pixel column (here one x unit wide) the first, lowest, highest and last point in their
// order; the step between columns and a break in the line stay as drawn.
TEST(ColumnThinner, KeepsWhatEachColumnShows)
{
    const struct { std::vector<Line> segments, drawn; } cases[] = {
        {{{0.1, 5, 0.2, 9}, {0.2, 9, 0.3, 1}, {0.3, 1, 0.4, 4}, {0.4, 4, 0.5, 3}, {0.5, 3, 1.5, 2}},
         {{0.1, 5, 0.2, 9}, {0.2, 9, 0.3, 1}, {0.3, 1, 0.5, 3}, {0.5, 3, 1.5, 2}}},
        {{{0.1, 5, 0.2, 1}, {0.2, 1, 0.3, 9}, {0.3, 9, 0.4, 4}},  // the lowest first
         {{0.1, 5, 0.2, 1}, {0.2, 1, 0.3, 9}, {0.3, 9, 0.4, 4}}},
        {{{0.1, 1, 0.2, 2}, {5.1, 1, 5.2, 3}}, {{0.1, 1, 0.2, 2}, {5.1, 1, 5.2, 3}}},
        {{{1.1, 0, 1.2, 0}, {1.2, 0, 1.3, 0}, {1.3, 0, 2.5, 4}},
         {{1.1, 0, 1.3, 0}, {1.3, 0, 2.5, 4}}}};
    for (const auto& c : cases) {
        std::vector<Line> drawn;
        ColumnThinner thin(0.0, 10.0, 10, [&](auto... ends) { drawn.push_back({ends...}); });
        for (const Line& s : c.segments)
            thin(s[0], s[1], s[2], s[3]);
        thin.finish();
        EXPECT_EQ(drawn, c.drawn) << c.segments.size();
    }
}

// Segments from row i to i + 1 overlapping the window strictly, and the y of their end rows.
TEST(CropMeasure, DrawsOverlappingSegmentsAndMeasuresTheirEnds)
{
    const std::vector<double> five = {1, 2, 3, 4, 5};
    const struct { std::vector<double> x, y; float left, width; std::vector<Line> lines;
                   float min_y, max_y; } cases[] = {
        // Row 2's -90 starts the first segment and is not measured; row 6, the first point
        // right of the window, is.
        {one_to(8), {50, -90, 7, 8, 9, 95, -1, 99}, 2.5f, 3.0f,
         {{2, -90, 3, 7}, {3, 7, 4, 8}, {4, 8, 5, 9}, {5, 9, 6, 95}}, 7, 95},
        {five, five, 3.0f, 1.5f, {{3, 3, 4, 4}, {4, 4, 5, 5}}, 4, 5},  // not 2-3 ending on the edge
        {five, five, 2.25f, 0.5f, {{2, 2, 3, 3}}, 3, 3},
        {five, five, -10.0f, 12.0f, {{1, 1, 2, 2}}, 2, 2},  // row 1 is cropped, not measured
        {{1, 2, 3, 4}, {5e6, 6e6, 7e6, 8e6}, 0.0f, 10.0f,  // a range far beyond +-999999
         {{1, 5e6, 2, 6e6}, {2, 6e6, 3, 7e6}, {3, 7e6, 4, 8e6}}, 6e6f, 8e6f},
        {{4}, {1}, 0.0f, 10.0f, {}, kEmptyRangeLowest, kEmptyRangeHighest},  // one row: no line
    };
    for (const auto& c : cases) {
        EngineState state = state_with(table_of(c.x, c.y));
        const fuzz::CropOutcome m = fuzz::crop_outcome(state, c.left, c.width, true);
        EXPECT_EQ(std::tuple(m.lines, m.min_y, m.max_y), std::tuple(c.lines, c.min_y, c.max_y))
            << c.left << ", +" << c.width;
    }
}

// The bisecting paths against the plain loops on random tables (x ascending, with ties or in
// any order; empty, text and huge cells) and edges on, below, between or beyond the data's x.
TEST(CropFastPaths, MatchThePlainLoops)
{
    std::mt19937 random(20240611);
    const auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<>(lo, hi)(random);
    };
    const auto chance = [&](double p) { return std::bernoulli_distribution(p)(random); };
    int bisected = 0, faulted = 0;
    for (int trial = 0; trial < 12000; ++trial) {
        const int shape = trial % 3;  // ascending, ascending with ties, any order
        const std::size_t n = 1 + random() % 40;
        std::vector<double> xs, ys;
        for (double x = uniform(-20, 5); xs.size() < n;) {
            x = shape == 2   ? std::round(uniform(-10, 30) * 4) / 4
                : shape == 0 ? x + uniform(0.01, 3)
                             : x + (chance(0.4) ? 0 : std::round(uniform(0, 3)));
            xs.push_back(x);
            ys.push_back(std::round(uniform(-100, 100) * 8) / 8);
        }
        DataTable table = table_of(xs, ys, chance(0.3) ? "---" : "");
        for (std::size_t row = 1; row <= n; ++row) {
            const double pick = uniform(0, 1);
            if (pick < 0.09)
                table.DataY[row] = pick < 0.05 ? Cell::empty()
                                   : pick < 0.07 ? table.DataY[0]  // a text
                                                 : Cell::of_number(5e38);
            if (xs[row - 1] == 0.0 && chance(0.5))
                table.DataX[row] = Cell::empty();  // counts 0, so the order holds
        }
        note_x_order(table);
        const auto edge = [&] {
            const Cell& cell = table.DataX[1 + random() % n];
            const auto x = static_cast<float>(cell.kind == CellKind::Number ? cell.number : 0.0);
            const float pick[] = {x, x + 0.5f, std::nextafter(x, -1e9f), float(uniform(-40, 60))};
            return pick[random() % 4];
        };
        const float left = edge(), right = edge();
        const float width = chance(0.9) ? right - left : -std::abs(right - left);
        const double origin = chance(0.3) ? left : 0.0;
        EngineState fast = state_with(table), plain = state_with(table);
        plain.data.x_ascending = false;
        const fuzz::CropOutcome a = fuzz::crop_outcome(fast, left, width, false, origin);
        ASSERT_TRUE(a == fuzz::crop_outcome(plain, left, width, true, origin))
            << "trial " << trial << " [" << left << ", +" << width << "] from " << origin;
        bisected += table.x_ascending;
        faulted += a.fault.has_value();
        // The second scan also from start rows the crop itself never takes, and to a data x.
        const double to = chance(0.5) ? xs[random() % n] : kNoEdge;
        for (std::int64_t from = 1; from <= table.DataCount + 1; ++from)
            ASSERT_EQ(crop_stop_row(table, from, right - origin, origin, to),
                      crop_stop_row_linear(table, from, right - origin, origin, to));
    }
    EXPECT_GT(bisected, 7000);  // the ascending shapes really took the bisecting paths
    EXPECT_GT(faulted, 100);    // and faults were compared too
}

}  // namespace
}  // namespace tolvenar
