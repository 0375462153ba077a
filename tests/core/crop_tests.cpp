// SPDX-License-Identifier: GPL-3.0-or-later
// The crop: which rows the window takes, what the measurement draws and measures, and the
// bisecting scans against the plain loops.
#include "core/runtime/fault.h"
#include "core/window/crop.h"
#include "core/window/crop_scan.h"
#include "data_reader_entry.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace tolvenar {
namespace {

// Rows 1..n with the given x and y (y defaults to 10 * x), row 0 titles, an empty spare row or
// one holding `spare_text`.
DataTable table_of(const std::vector<double>& xs, std::vector<double> ys = {},
                   std::optional<std::string> spare_text = std::nullopt)
{
    if (ys.empty())
        for (double x : xs)
            ys.push_back(10 * x);
    DataTable table;
    table.texts = {"x", "y"};
    table.DataX.push_back({CellKind::Text, 0, 0.0});
    table.DataY.push_back({CellKind::Text, 1, 0.0});
    for (std::size_t i = 0; i < xs.size(); ++i) {
        table.DataX.push_back(Cell::of_number(xs[i]));
        table.DataY.push_back(Cell::of_number(ys[i]));
    }
    if (spare_text) {
        table.texts.push_back(*spare_text);
        table.DataX.push_back({CellKind::Text, 2, 0.0});
    } else {
        table.DataX.push_back(Cell::empty());
    }
    table.DataY.push_back(Cell::empty());
    table.DataCount = static_cast<std::int32_t>(xs.size());
    note_x_order(table);
    return table;
}

std::vector<double> one_to(int n)
{
    std::vector<double> xs;
    for (int i = 1; i <= n; ++i)
        xs.push_back(i);
    return xs;
}

// A state holding `table` and a recognisable previous segment.
EngineState state_with(DataTable table)
{
    EngineState state;
    state.data = std::move(table);
    state.CropStart = 70;
    state.CropEnd = 77;
    state.CropCount = 7;
    state.CropObserved.assign(8, 1.5f);
    state.CropModel.assign(8, 2.5f);
    state.CropMinY = -1.0f;
    state.CropMaxY = 1.0f;
    return state;
}

void expect_segment(const EngineState& state, std::int32_t start, std::int32_t end)
{
    EXPECT_EQ(state.CropStart, start);
    EXPECT_EQ(state.CropEnd, end);
    EXPECT_EQ(state.CropCount, end - start);
    EXPECT_EQ(state.CropObserved, std::vector<float>(static_cast<std::size_t>(end - start) + 1));
    EXPECT_EQ(state.CropModel, std::vector<float>(static_cast<std::size_t>(end - start) + 1));
    EXPECT_EQ(state.CropMinY, 999999.0f);
    EXPECT_EQ(state.CropMaxY, -999999.0f);
}

FaultKind fault_of_crop(EngineState& state, float left, float width)
{
    try {
        extract_crop(state, left, width);
    } catch (const Fault& fault) {
        return fault.kind();
    }
    ADD_FAILURE() << "no fault for [" << left << ", +" << width << "]";
    return FaultKind::TypeMismatch;
}

TEST(CropSelection, EdgesAreInclusive)
{
    EngineState state = state_with(table_of(one_to(10)));  // row r has x = r
    extract_crop(state, 2.0f, 3.0f);
    expect_segment(state, 1, 5);
}

TEST(CropSelection, EdgesCompareInSinglePrecision)
{
    // 0.1f lies above the double 0.1, so the row at 0.1 falls left of a window starting there;
    // 0.1f + 0.2f rounds to a single above the double 0.3, which the window then takes.
    EngineState state = state_with(table_of({0.0, 0.1, 0.2, 0.3, 0.4}));
    extract_crop(state, 0.1f, 0.2f);
    expect_segment(state, 2, 4);
}

TEST(CropSelection, EmptyWindowsAndWindowsBeyondTheData)
{
    const struct {
        float left;
        float width;
        std::int32_t start;
        std::int32_t end;
    } cases[] = {
        {2.25f, 0.5f, 2, 2},    // between two points: nothing, one zeroed element
        {-5.0f, 7.0f, 0, 2},    // starts left of the data: from row 1
        {8.0f, 2.0f, 7, 10},    // right edge at the last x
        {8.0f, 100.0f, 7, 10},  // right edge beyond it: the spare row is read, never taken
        {4.0f, -1.0f, 3, 3},    // a negative width takes nothing
        {4.0f, 0.0f, 3, 4},     // a zero width takes a point right on its edge
    };
    for (const auto& c : cases) {
        EngineState state = state_with(table_of(one_to(10)));
        extract_crop(state, c.left, c.width);
        expect_segment(state, c.start, c.end);
    }
}

TEST(CropSelection, WhollyRightOfTheData)
{
    // Empty spare row and a positive left edge: the first scan runs off the table and the
    // previous segment stays in force.
    EngineState state = state_with(table_of(one_to(10)));
    EXPECT_EQ(fault_of_crop(state, 20.0f, 5.0f), FaultKind::IndexOutOfRange);
    EXPECT_EQ(state.CropStart, 70);
    EXPECT_EQ(state.CropEnd, 77);
    EXPECT_EQ(state.CropCount, 7);
    EXPECT_EQ(state.CropObserved, std::vector<float>(8, 1.5f));
    EXPECT_EQ(state.CropMinY, -1.0f);

    // A marker's text in the spare row counts as greater than any number: an empty crop.
    EngineState marked = state_with(table_of(one_to(10), {}, "Break"));
    extract_crop(marked, 20.0f, 5.0f);
    expect_segment(marked, 10, 10);

    // The empty spare row counts as 0, so a left edge at or below 0 stops there.
    EngineState negative = state_with(table_of({-9, -8, -7, -6}));
    extract_crop(negative, -0.5f, 1.0f);
    expect_segment(negative, 4, 4);
}

TEST(CropSelection, AtMost32767Points)
{
    EngineState state = state_with(table_of(one_to(40000)));
    extract_crop(state, 1.0f, 32766.0f);
    expect_segment(state, 0, 32767);

    EngineState over = state_with(table_of(one_to(40000)));
    EXPECT_EQ(fault_of_crop(over, 1.0f, 32767.0f), FaultKind::Overflow);
    EXPECT_EQ(over.CropStart, 70);  // the previous segment stays whole
    EXPECT_EQ(over.CropEnd, 77);
    EXPECT_EQ(over.CropCount, 7);
    EXPECT_EQ(over.CropObserved.size(), 8u);
    EXPECT_EQ(over.CropMaxY, 1.0f);
}

TEST(CropSelection, RightEdgeBeyondTheSingleRange)
{
    EngineState state = state_with(table_of(one_to(10), {}, "---"));
    EXPECT_EQ(fault_of_crop(state, 3e38f, 3e38f), FaultKind::Overflow);
    EXPECT_EQ(state.CropStart, 70);
    EXPECT_EQ(state.CropEnd, 77);
}

TEST(CropSelection, NonAscendingXTakesTheContiguousRun)
{
    const std::vector<double> xs = {1, 5, 2, 3, 9, 4};
    EngineState state = state_with(table_of(xs));
    ASSERT_FALSE(state.data.x_ascending);
    extract_crop(state, 4.5f, 1.5f);  // from x = 5 until x = 9 exceeds 6
    expect_segment(state, 1, 4);
    extract_crop(state, 2.0f, 2.0f);  // x = 5 already exceeds the right edge
    expect_segment(state, 1, 1);
}

struct Measured {
    std::vector<std::array<float, 4>> lines;
    float min_y = 999999.0f;
    float max_y = -999999.0f;
};

Measured measure(const DataTable& table, float left, float width)
{
    Measured m;
    measure_crop(table, left, width, m.min_y, m.max_y,
                 [&m](float x1, float y1, float x2, float y2) {
                     m.lines.push_back({x1, y1, x2, y2});
                 });
    return m;
}

TEST(CropMeasure, DrawsTheOverlappingSegmentsAndMeasuresTheirEnds)
{
    //                         rows 1   2     3  4  5  6    7  8
    const DataTable table = table_of({1, 2, 3, 4, 5, 6, 7, 8}, {50, -90, 7, 8, 9, 95, -1, 99});
    const Measured m = measure(table, 2.5f, 3.0f);
    ASSERT_EQ(m.lines.size(), 4u);  // 2-3, 3-4, 4-5 and 5-6 leaving on the right
    EXPECT_EQ(m.lines.front(), (std::array<float, 4>{2, -90, 3, 7}));
    EXPECT_EQ(m.lines.back(), (std::array<float, 4>{5, 9, 6, 95}));
    EXPECT_EQ(m.min_y, 7.0f);   // row 2's -90 starts the first segment and is not measured
    EXPECT_EQ(m.max_y, 95.0f);  // row 6, the first point right of the window, is
}

TEST(CropMeasure, EdgeOnAPointAndWindowBetweenPoints)
{
    const DataTable table = table_of({1, 2, 3, 4, 5}, {1, 2, 3, 4, 5});
    const Measured at_point = measure(table, 3.0f, 1.5f);
    ASSERT_EQ(at_point.lines.size(), 2u);  // not 2-3 that ends on the edge; 3-4 and 4-5
    EXPECT_EQ(at_point.lines.front()[0], 3.0f);
    EXPECT_EQ(at_point.min_y, 4.0f);

    const Measured between = measure(table, 2.25f, 0.5f);
    ASSERT_EQ(between.lines.size(), 1u);  // the one segment crossing the window
    EXPECT_EQ(between.lines.front(), (std::array<float, 4>{2, 2, 3, 3}));
    EXPECT_EQ(between.min_y, 3.0f);
    EXPECT_EQ(between.max_y, 3.0f);

    const Measured from_left = measure(table, -10.0f, 12.0f);
    EXPECT_EQ(from_left.min_y, 2.0f);  // row 1 is cropped but not measured
}

TEST(CropMeasure, RepeatingLeavesTheRangeAndOneRowDrawsNothing)
{
    const DataTable table = table_of({1, 2, 3, 4, 5}, {3, 1, 4, 1, 5});
    Measured m = measure(table, 1.5f, 2.0f);
    const Measured once = m;
    measure_crop(table, 1.5f, 2.0f, m.min_y, m.max_y, [](float, float, float, float) {});
    EXPECT_EQ(m.min_y, once.min_y);
    EXPECT_EQ(m.max_y, once.max_y);

    // A range far beyond +-999999 is the data's own.
    const DataTable far = table_of({1, 2, 3, 4}, {5e6, 6e6, 7e6, 8e6});
    const Measured high = measure(far, 0.0f, 10.0f);
    EXPECT_EQ(high.min_y, 6e6f);
    EXPECT_EQ(high.max_y, 8e6f);

    EngineState single = state_with(table_of({4.0}));
    crop_without_drawing(single, 0.0f, 10.0f);
    EXPECT_EQ(single.CropCount, 1);
    EXPECT_EQ(single.CropMinY, 999999.0f);
    EXPECT_EQ(single.CropMaxY, -999999.0f);
}

TEST(CropMeasure, CellsFaultOnlyWhereTheyAreUsed)
{
    DataTable table = table_of({1, 2, 3, 4, 5});
    table.texts.push_back("n/a");
    table.DataY[5] = {CellKind::Text, static_cast<std::uint32_t>(table.texts.size() - 1), 0.0};
    EXPECT_NO_THROW(measure(table, 1.0f, 2.5f));  // row 5 lies beyond the last segment drawn
    EXPECT_THROW(measure(table, 1.0f, 3.5f), Fault);
    table.DataY[5] = Cell::of_number(1e39);
    try {
        measure(table, 3.5f, 1.0f);
        FAIL();
    } catch (const Fault& fault) {
        EXPECT_EQ(fault.kind(), FaultKind::Overflow);
    }
}

TEST(CropWithoutDrawing, ExtractsMeasuresAndForgetsTheResults)
{
    EngineState state = state_with(table_of({1, 2, 3, 4, 5}, {3, 1, 4, 1, 5}));
    state.BestOfBestX[2] = 7.0f;
    state.ConXMin[3] = 1.0f;
    state.BestOfBestSqDist = 0.5f;
    crop_without_drawing(state, 1.5f, 2.0f);
    EXPECT_EQ(state.CropStart, 1);
    EXPECT_EQ(state.CropCount, 2);
    EXPECT_EQ(state.CropMinY, 1.0f);
    EXPECT_EQ(state.CropMaxY, 4.0f);
    EXPECT_EQ(state.BestOfBestX[2], -9999.0f);
    EXPECT_EQ(state.ConXMin[3], 999999.0f);
    EXPECT_EQ(state.BestOfBestSqDist, 999999.0f);
}

TEST(XOrder, AscendingMeansNumericNonDecreasingWithASpareRow)
{
    EXPECT_TRUE(table_of({1, 1, 2, 2, 3}).x_ascending);
    EXPECT_TRUE(table_of({5}).x_ascending);
    EXPECT_FALSE(table_of({1, 3, 2}).x_ascending);
    EXPECT_TRUE(table_of({1, 2}, {}, "Break").x_ascending);  // the spare row is not data

    DataTable with_empty = table_of({-1, 0, 1});
    with_empty.DataX[2] = Cell::empty();  // counts as 0
    note_x_order(with_empty);
    EXPECT_TRUE(with_empty.x_ascending);
    with_empty.DataX[2] = {CellKind::Text, 0, 0.0};
    note_x_order(with_empty);
    EXPECT_FALSE(with_empty.x_ascending);

    DataTable no_spare = table_of({1, 2, 3});
    no_spare.DataX.pop_back();
    no_spare.DataY.pop_back();
    note_x_order(no_spare);
    EXPECT_FALSE(no_spare.x_ascending);
}

// ---- The bisecting paths against the plain loops ------------------------------------------

// The crop of `table` by the bisecting paths, or by the plain loops when `plain`.
fuzz::CropOutcome crop_of(DataTable table, float left, float width, bool plain)
{
    if (plain)
        table.x_ascending = false;
    EngineState state = state_with(std::move(table));
    return fuzz::crop_outcome(state, left, width, plain);
}

enum class Shape { Ascending, AscendingWithTies, NotAscending };

DataTable random_table(std::mt19937& random, Shape shape)
{
    const auto uniform = [&random](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    const auto chance = [&random](double p) { return std::bernoulli_distribution(p)(random); };
    const int n = std::uniform_int_distribution<int>(1, 40)(random);
    std::vector<double> xs;
    double x = uniform(-20, 5);
    for (int i = 0; i < n; ++i) {
        switch (shape) {
        case Shape::Ascending: x += uniform(0.01, 3); break;
        case Shape::AscendingWithTies: x += chance(0.4) ? 0.0 : std::round(uniform(0, 3)); break;
        case Shape::NotAscending: x = std::round(uniform(-10, 30) * 4) / 4; break;
        }
        xs.push_back(x);
    }
    std::vector<double> ys;
    for (int i = 0; i < n; ++i)
        ys.push_back(std::round(uniform(-100, 100) * 8) / 8);
    DataTable table =
        table_of(xs, ys, chance(0.3) ? std::optional<std::string>("---") : std::nullopt);
    for (int row = 1; row <= n; ++row) {
        if (chance(0.05))
            table.DataY[static_cast<std::size_t>(row)] = Cell::empty();
        if (chance(0.02))
            table.DataY[static_cast<std::size_t>(row)] = {CellKind::Text, 0, 0.0};
        if (chance(0.02))
            table.DataY[static_cast<std::size_t>(row)] = Cell::of_number(5e38);
        // An empty x counts as 0: keep the order when 0 is where it stands.
        const double here = xs[static_cast<std::size_t>(row) - 1];
        if (here == 0.0 && chance(0.5))
            table.DataX[static_cast<std::size_t>(row)] = Cell::empty();
    }
    note_x_order(table);
    return table;
}

// Window edges that hit the data's x exactly, fall between them or lie beyond them.
float random_edge(std::mt19937& random, const DataTable& table)
{
    const int n = table.DataCount;
    const int row = std::uniform_int_distribution<int>(0, n + 1)(random);
    const int kind = std::uniform_int_distribution<int>(0, 3)(random);
    const double x = row >= 1 && row <= n && table.DataX[static_cast<std::size_t>(row)].kind ==
                                                 CellKind::Number
                         ? table.DataX[static_cast<std::size_t>(row)].number
                         : std::uniform_real_distribution<double>(-40, 60)(random);
    switch (kind) {
    case 0: return static_cast<float>(x);
    case 1: return static_cast<float>(x + 0.5);
    case 2: return std::nextafter(static_cast<float>(x), -1e9f);
    default: return static_cast<float>(std::uniform_real_distribution<double>(-40, 60)(random));
    }
}

TEST(CropFastPaths, MatchThePlainLoops)
{
    std::mt19937 random(20240611);
    int bisected = 0;
    int faulted = 0;
    for (const Shape shape : {Shape::Ascending, Shape::AscendingWithTies, Shape::NotAscending}) {
        for (int trial = 0; trial < 4000; ++trial) {
            const DataTable table = random_table(random, shape);
            const float left = random_edge(random, table);
            const float right = random_edge(random, table);
            const float width =
                std::bernoulli_distribution(0.9)(random) ? right - left : -std::abs(right - left);
            const fuzz::CropOutcome fast = crop_of(table, left, width, false);
            const fuzz::CropOutcome plain = crop_of(table, left, width, true);
            ASSERT_TRUE(fast.same_as(plain)) << "shape " << static_cast<int>(shape) << " trial " << trial
                                   << " left " << left << " width " << width;
            bisected += table.x_ascending;
            faulted += fast.fault.has_value();
        }
    }
    EXPECT_GT(bisected, 7000);  // the ascending shapes really took the bisecting paths
    EXPECT_GT(faulted, 100);    // and faults were compared too
}

TEST(CropFastPaths, ScansMatchOnEveryStartRow)
{
    std::mt19937 random(7);
    for (int trial = 0; trial < 500; ++trial) {
        const DataTable table = random_table(random, Shape::AscendingWithTies);
        ASSERT_TRUE(table.x_ascending);
        const float left = random_edge(random, table);
        const float right = random_edge(random, table);
        std::optional<std::int64_t> fast_first;
        std::optional<std::int64_t> plain_first;
        try { fast_first = first_crop_row(table, left); } catch (const Fault&) {}
        try { plain_first = first_crop_row_linear(table, left); } catch (const Fault&) {}
        ASSERT_EQ(fast_first, plain_first);
        for (std::int64_t from = 1; from <= table.DataCount + 1; ++from)
            ASSERT_EQ(crop_stop_row(table, from, right), crop_stop_row_linear(table, from, right));
    }
}

}  // namespace
}  // namespace tolvenar
