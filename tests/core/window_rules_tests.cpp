// SPDX-License-Identifier: GPL-3.0-or-later
// The window's rules without the window: the strip's grip and drag steps, typed bounds and strip
// ends, the vertical range, the constraint-box edges with their tied levels, manual boxes, and
// what a reset leaves of them and of the buttons.
#include "core/model/box_rules.h"
#include "core/window/bound_rules.h"
#include "core/window/range_rules.h"
#include "core/window/reset_rules.h"
#include "core/window/strip_rules.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace tolvenar {
namespace {

using test::fault_of;
constexpr auto None = std::nullopt;

TEST(StripGripRule, EdgesWithinAHalfPercentOfTheStripLeftFirst)
{
    struct Case { float x, left, width, strip_width; StripGrip want; };
    using G = StripGrip;
    // Window [100, 300] on a strip 1000 wide: the tolerance is 5 either side of an edge.
    for (const Case c : std::vector<Case>{
             {100, 100, 200, 1000, G::LeftEdge}, {95.0001f, 100, 200, 1000, G::LeftEdge},
             {95, 100, 200, 1000, G::Outside}, {105, 100, 200, 1000, G::Inside},
             {300, 100, 200, 1000, G::RightEdge}, {304.99f, 100, 200, 1000, G::RightEdge},
             {305, 100, 200, 1000, G::Outside}, {103, 100, 4, 1000, G::LeftEdge},  // both near
             {100, 100, 200, 0, G::Outside}, {300, 100, 200, 0, G::Outside},  // no tolerance
             {299, 100, 200, 0, G::Inside}})
        EXPECT_EQ(strip_grip(c.x, c.left, c.width, c.strip_width), c.want) << c.x << " " << c.width;
}

TEST(EventMarkRule, AtLeastAColumnCutAtTheStripsEnds)
{
    struct Case { double onset, end; std::optional<ColumnSpan> want; };
    // A strip of 100 columns showing [0, 1000]: a column is 10 wide.
    for (const Case c : std::vector<Case>{
             {100, 200, ColumnSpan{10, 19}}, {105, 195, ColumnSpan{10, 19}},
             {200, 100, ColumnSpan{10, 19}},                      // given end first
             {150, 150, ColumnSpan{15, 15}}, {150, 151, ColumnSpan{15, 15}},  // a column at least
             {0, 0, ColumnSpan{0, 0}}, {1000, 1000, None},        // the right end shows no column
             {-50, 30, ColumnSpan{0, 2}}, {990, 1500, ColumnSpan{99, 99}},   // cut at the ends
             {-50, -1, None}, {1000.5, 1200, None}, {-50, 0, None},
             {std::nan(""), 10, None}})
        EXPECT_EQ(event_columns(c.onset, c.end, 0, 1000, 100), c.want) << c.onset << " " << c.end;
    EXPECT_EQ(event_columns(1990, 2000, 1000, 1000, 100), (ColumnSpan{99, 99}));  // from its left
    EXPECT_EQ(event_columns(-100, 200, 0, 0, 100), None);  // no strip to show it on
    EXPECT_EQ(event_columns(100, 200, 0, 1000, 0), None);
}

enum class Drag { Window, RightEdge, LeftEdge };

TEST(StripDragRule, StepsKeepTheWindowOnTheStripAndWiderThanAPercent)
{
    struct Case { const char* what; Drag drag; float x, held;  // grab offset or anchor
                  CropWindow window; StripScale strip; std::optional<float> left, width;
                  std::optional<FaultKind> fault = None; };
    const StripScale s{0, 1000};
    const std::vector<Case> cases{
        {"window follows", Drag::Window, 500, 50, {0, 100}, s, 450, None},
        {"window stops at the start", Drag::Window, 20, 50, {0, 100}, s, 0, None},
        {"window stops at the end", Drag::Window, 990, 50, {0, 100}, s, 900, None},
        {"start wins on a narrow strip", Drag::Window, 10, 50, {0, 100}, {0, 50}, 0, None},
        {"window beyond single", Drag::Window, 3e38f, -3e38f, {0, 100}, s, None, None,
         FaultKind::Overflow},
        {"right edge follows", Drag::RightEdge, 400, 0, {0, 100}, s, None, 400},
        {"right edge keeps a percent", Drag::RightEdge, 10, 0, {0, 100}, s, None, None},
        {"just over a percent", Drag::RightEdge, 10.5f, 0, {0, 100}, s, None, 10.5f},
        {"right edge stops at the end", Drag::RightEdge, 1100, 0, {0, 100}, s, None, 1000},
        {"end of a shifted strip", Drag::RightEdge, 1200, 0, {200, 100}, {100, 1000}, None, 900},
        {"window beyond the end keeps a width", Drag::RightEdge, 1300, 0, {1200, 50}, s, None,
         100},
        {"window at the end shrinks to nothing", Drag::RightEdge, 1300, 0, {1000, 50}, s, None, 0},
        {"left edge follows", Drag::LeftEdge, 200, 600, {100, 500}, s, 200, 400},
        {"left edge keeps a percent", Drag::LeftEdge, 595, 600, {100, 500}, s, None, None},
        {"a percent is not wider", Drag::LeftEdge, 590, 600, {100, 500}, s, None, None},
        {"percent of the window, not the anchor", Drag::LeftEdge, 595, 900, {100, 500}, s, None,
         None},
        {"percent of a narrow strip", Drag::LeftEdge, 28.5f, 30, {10, 20}, {0, 100}, 28.5f, 1.5f},
        {"left edge stops at zero", Drag::LeftEdge, -20, 600, {100, 500}, s, 0, 600},
        {"and at nothing", Drag::LeftEdge, -20, 0, {-100, 100}, {-1000, 2000}, 0, 0},
        {"below zero it stays", Drag::LeftEdge, -950, -900, {-1000, 100}, {-1000, 900}, -950, 50}};
    for (const Case& c : cases) {
        const WindowEdit edit = c.drag == Drag::Window ? move_window(c.x, c.held, c.window, c.strip)
                                : c.drag == Drag::RightEdge
                                    ? drag_right_edge(c.x, c.window, c.strip)
                                    : drag_left_edge(c.x, c.held, c.window, c.strip);
        EXPECT_EQ(edit.left, c.left) << c.what;
        EXPECT_EQ(edit.width, c.width) << c.what;
        EXPECT_EQ(edit.fault, c.fault) << c.what;
    }
}

TEST(TypedEdgeRule, AppliesOrRepairsOneAndAHalfAwayRoundedHalfEven)
{
    struct Case { bool left_typed; const char *left, *right; bool drawn; BoundAction action;
                  std::vector<float> window; std::string repair; };  // window: left, width, plot's
    const auto A = BoundAction::Apply, R = BoundAction::Repair, N = BoundAction::None;
    const std::vector<float> none{0, 0, 0, 0};
    const std::vector<Case> cases{
        {true, "200", "600", true, A, {200, 400, 200, 400}, ""},
        {true, "", "600", true, A, {0, 600, 0, 600}, ""}, {true, "200", "600", false, N, none, ""},
        {true, "10", "10", false, R, none, "8"},  // 8.5 to even, also before the first crop
        {true, "11", "11", true, R, none, "10"}, {true, "500", "300", true, R, none, "298"},
        {true, "6001e38", "600", true, R, none, "598"},  // beyond single
        {true, "1e999", "302", true, R, none, "300"},    // beyond double
        {false, "300", "100", true, A, {100, 200, 300, -200}, ""},  // reversed as it stands
        {false, "200", "600", true, A, {200, 400, 200, 400}, ""},
        {false, "300", "3e2", true, R, none, "302"},  // zero plot width
        {false, "300", "300", true, R, none, "302"}, {false, "100", "200", false, N, none, ""},
        {false, "300", "6001e38", true, R, none, "302"}};
    for (const Case& c : cases) {
        const TypedBound b = c.left_typed ? typed_left_edge(c.left, c.right, c.drawn)
                                          : typed_right_edge(c.left, c.right, c.drawn);
        EXPECT_EQ(b.action, c.action) << c.left << " " << c.right;
        EXPECT_EQ((std::vector<float>{b.left, b.width, b.plot_left, b.plot_width}), c.window)
            << c.left << " " << c.right;
        EXPECT_EQ(b.repair, c.repair) << c.left << " " << c.right;
    }
    // The repair reads the other field: beyond the double range it faults.
    EXPECT_EQ(fault_of([] { typed_left_edge("5", "1e999", true); }), FaultKind::Overflow);
    EXPECT_EQ(fault_of([] { typed_right_edge("1e999", "5", true); }), FaultKind::Overflow);
}

TEST(StripEndRule, OrdersEndsOneUnitApartAndRefusesTheUnrepresentable)
{
    struct Case { const char *left, *right; bool left_typed; BoundAction action; float l, w;
                  std::string repair; };
    const auto A = BoundAction::Apply, R = BoundAction::Repair, N = BoundAction::None;
    for (const Case& c : std::vector<Case>{
             {"0", "500", false, A, 0, 500, ""}, {"100", "1000", true, A, 100, 900, ""},
             {"0", "1e38", false, A, 0, 1e38f, ""}, {"2000", "1000", true, R, 0, 0, "999"},
             {"0", "-", false, R, 0, 0, "1"}, {"2.5", "1", false, R, 0, 0, "3.5"},  // unrounded
             {"15", "15", true, R, 0, 0, "14"}, {"0", "1e39", false, N, 0, 0, ""},
             {"-1e39", "1000", true, N, 0, 0, ""}, {"0", "1e999", false, N, 0, 0, ""},
             {"0", "1e-50", false, N, 0, 0, ""}}) {
        const StripEnds ends = typed_strip_end(c.left, c.right, c.left_typed);
        EXPECT_EQ(ends.action, c.action) << c.left << " " << c.right;
        EXPECT_EQ(ends.left, c.l) << c.left << " " << c.right;
        EXPECT_EQ(ends.width, c.w) << c.left << " " << c.right;
        EXPECT_EQ(ends.repair, c.repair) << c.left << " " << c.right;
    }
}

TEST(VerticalRangeRule, TieFlipAndZeroExtent)
{
    EXPECT_EQ(range_tie("10", "10", true), "11");
    EXPECT_EQ(range_tie("10", "10", false), "9");
    EXPECT_EQ(range_tie("5.0", "5", true), None);  // another text: no tie
    EXPECT_EQ(fault_of([] { range_tie("1e999", "1e999", false); }), FaultKind::Overflow);

    struct Scale { double top, bottom; std::optional<std::pair<float, float>> want; };
    for (const Scale c : std::vector<Scale>{{20, 0, {{20.0f, -20.0f}}}, {0, 7, {{0.0f, 7.0f}}},
                                            {20, 2.5, {{20.0f, -17.5f}}}, {5, 5, None},
                                            {1e-50, 0, None}}) {
        const auto scale = vertical_scale(c.top, c.bottom);
        EXPECT_EQ(scale ? std::optional(std::pair(scale->top, scale->height)) : None, c.want)
            << c.top << " " << c.bottom;
    }
    EXPECT_EQ(fault_of([] { vertical_scale(1e39, 0); }), FaultKind::Overflow);

    const FlippedRange flipped = flipped_range("12.50", "0.1234567891");
    EXPECT_EQ(flipped.top, "0.1234568");  // the value in single precision
    EXPECT_EQ(flipped.bottom, "12.5");
    EXPECT_EQ(fault_of([] { flipped_range("0", "1e39"); }), FaultKind::Overflow);
}

// Boxes of a "Symmetric event" result on 150..450: baseline 1, 2, 4, 5 at 11..12, peak 3 above.
BoxLimits symmetric_boxes()
{
    BoxLimits s;  // x min, x max, y min, y max of boxes 1..6
    const float boxes[6][4] = {{150, 150, 11, 12}, {200, 240, 11, 12}, {280, 320, 17, 19},
                               {340, 380, 11, 12}, {450, 450, 11, 12}, {450, 450, 11, 12}};
    for (std::size_t k = 1; k <= 6; ++k)
        std::tie(s.xmin[k], s.xmax[k], s.ymin[k], s.ymax[k]) =
            std::tie(boxes[k - 1][0], boxes[k - 1][1], boxes[k - 1][2], boxes[k - 1][3]);
    return s;
}

TEST(SeriesScaleRule, ASeriesOverTheMiddleNineTenthsOfThePlot)
{
    struct Case { double lo, hi, top, height, y, want; };
    // A plot from 10 at the top to 0 at the bottom, and the same flipped.
    for (const Case c : std::vector<Case>{
             {-40, -36, 10, -10, -40, 0.5}, {-40, -36, 10, -10, -36, 9.5},
             {-40, -36, 10, -10, -38, 5}, {-40, -36, 0, 10, -40, 0.5},  // flipped: as values
             {-40, -36, 0, 10, -36, 9.5}, {2, 2, 10, -10, 2, 5},         // one value: the middle
             {2, 1, 10, -10, 1.5, 5}, {0.7, 1.6, 1000, -2000, 1.6, 900}})
        EXPECT_DOUBLE_EQ(series_scale(c.lo, c.hi, c.top, c.height)(c.y), c.want)
            << c.lo << " " << c.hi << " " << c.top << " " << c.height << " " << c.y;
}

TEST(BoxEdgeRule, FirstEdgeWithinAPercentOfTheScale)
{
    struct Case { float x, y; std::int16_t nodes, box; BoxEdge edge; bool missed; };
    const auto X0 = BoxEdge::XMin, X1 = BoxEdge::XMax, Y0 = BoxEdge::YMin, Y1 = BoxEdge::YMax;
    // Tolerances: 3 in x (scale 300 wide), 0.1 in y (scale 10 high).
    for (const Case c : std::vector<Case>{
             {200.5f, 11.5f, 5, 2, X0, false}, {202.9f, 11.5f, 5, 2, X0, false},
             {203, 11.5f, 5, 0, BoxEdge::None, true}, {319.5f, 18, 5, 3, X1, false},
             {300, 17.03f, 5, 3, Y0, false}, {360, 11.97f, 5, 4, Y1, false},
             {200.5f, 11, 5, 2, Y0, false},  // an x edge needs y within the box
             {200.5f, 12, 5, 2, Y1, false}, {240, 11, 5, 0, BoxEdge::None, true},
             {200.5f, 15, 5, 0, BoxEdge::None, true},
             {151, 11.03f, 5, 1, Y0, false}, {151, 11.5f, 5, 0, BoxEdge::None, true},  // end boxes
             {449, 11.97f, 5, 5, Y1, false}, {341, 11.97f, 4, 4, Y1, false},  // last by the count
             {300, 18, 2, 0, BoxEdge::None, false}}) {
        const EdgeHit hit = box_edge_at(symmetric_boxes(), c.nodes, c.x, c.y, 300, -10);
        EXPECT_EQ(hit.box, c.box) << c.x << ", " << c.y;
        EXPECT_EQ(hit.edge, c.edge) << c.x << ", " << c.y;
        EXPECT_EQ(hit.missed, c.missed) << c.x << ", " << c.y;
    }
}

TEST(BoxEdgeRule, DraggedLevelMovesTheLevelsTheFamilyTies)
{
    using F = ModelFamily;
    struct Case { std::optional<F> family; std::int16_t box; std::set<std::size_t> tied; };
    for (const Case& c : std::vector<Case>{
             {F::SimpleRamp, 1, {1, 2}}, {F::SimpleRamp, 2, {1, 2}}, {F::SimpleRamp, 3, {3, 4}},
             {F::SimpleRamp, 4, {3, 4}}, {F::SymmetricEvent, 2, {1, 2, 4, 5}},
             {F::SymmetricEvent, 3, {3}}, {F::AsymmetricEvent, 5, {1, 2, 4, 5}},
             {F::EventWithDuration, 1, {1, 2, 5, 6}}, {F::EventWithDuration, 3, {3}},
             {F::EventWithDuration, 4, {4}}, {F::Free4Segments, 2, {2}}, {None, 2, {2}}}) {
        BoxLimits s;
        for (std::size_t k = 1; k <= 6; ++k) {
            s.ymin[k] = -static_cast<float>(k);
            s.ymax[k] = static_cast<float>(k);
        }
        move_box_edge(s, c.family, c.box, BoxEdge::YMax, 0, 9);
        for (std::size_t k = 1; k <= 6; ++k) {
            const bool tied = c.tied.count(k) > 0;
            EXPECT_EQ(s.ymax[k], tied ? 9.0f : k) << c.box << " box " << k;
            EXPECT_EQ(s.ymin[k], tied ? -static_cast<float>(c.box) : -static_cast<float>(k))
                << c.box << " box " << k;
        }
    }
    BoxLimits s = symmetric_boxes();
    const BoxLimits before = s;
    move_box_edge(s, F::SymmetricEvent, 2, BoxEdge::XMax, 230, 99);  // an x edge: that edge only
    move_box_edge(s, F::SymmetricEvent, 4, BoxEdge::None, 230, 99);  // no edge: nothing
    EXPECT_EQ(s.xmax[2], 230.0f);
    s.xmax[2] = before.xmax[2];
    EXPECT_TRUE(s.xmin == before.xmin && s.xmax == before.xmax && s.ymin == before.ymin &&
                s.ymax == before.ymax);
}

TEST(ManualBoxRule, OrderedOnReleaseAndTheSixthReachesTheRightEdge)
{
    struct Case { std::size_t n; float press_x, press_y, x, y; std::vector<float> want; };
    // Plot 150..450; want: ManXMin, ManXMax, ManYMin, ManYMax.
    for (const Case& c : std::vector<Case>{
             {1, 200, 12, 230, 11, {150, 230, 11, 12}}, {2, 300, 11, 260, 19, {260, 300, 11, 19}},
             {5, 410, 11, 430, 12, {410, 430, 11, 12}}, {6, 410, 11, 430, 12, {410, 450, 11, 12}},
             {6, 410, 11, 480, 12, {410, 480, 11, 12}}}) {
        BoxLimits s;
        start_box(s, c.n, c.press_x, c.press_y, 150);
        finish_box(s, c.n, c.x, c.y, 150, 300);
        EXPECT_EQ((std::vector{s.xmin[c.n], s.xmax[c.n], s.ymin[c.n], s.ymax[c.n]}), c.want)
            << c.n << " to " << c.x;
    }
    BoxLimits s;
    follow_box(s, 3, 480, 12, 150, 300);  // held within the plot while it follows
    EXPECT_EQ(s.xmax[3], 450.0f);
    follow_box(s, 3, 449, 12, 150, 300);
    EXPECT_EQ(s.xmax[3], 449.0f);
    EXPECT_EQ(fault_of([&] { follow_box(s, 3, 5, 6, 3e38f, 3e38f); }), FaultKind::Overflow);
    EXPECT_EQ(s.xmax[3], 5.0f);  // the mouse's point was taken before the fault
    EXPECT_EQ(fault_of([] { vertex_slot(7); }), FaultKind::IndexOutOfRange);
    EXPECT_EQ(fault_of([] { vertex_slot(0), vertex_slot(6); }), None);  // 0..6 are slots
}

TEST(ResetRule, ManualConstraintKeepsTheBoxesOfAResultAndWaitsForBoxesToRun)
{
    struct Case { bool manual, shown, typing, forget; std::optional<bool> run; };
    for (const Case c : std::vector<Case>{
             {true, false, false, true, false}, {true, true, false, false, false},
             {false, false, false, false, true}, {false, true, true, false, None},
             {true, false, true, true, None}}) {
        const ResultsReset after = results_reset(c.manual, c.shown, c.typing);
        EXPECT_EQ((std::pair{after.forget_boxes, after.run}), (std::pair{c.forget, c.run}))
            << c.manual << c.shown << c.typing;
    }
    struct Chosen { bool manual; std::int16_t left; std::optional<bool> run, reset; };
    for (const Chosen c : std::vector<Chosen>{
             {false, 0, true, false}, {true, 0, false, None}, {true, 3, None, true}}) {
        const FamilyChosen chosen = family_chosen(c.manual, c.left);
        EXPECT_EQ((std::pair{chosen.run, chosen.reset}), (std::pair{c.run, c.reset}))
            << c.manual << " " << c.left;
    }
}

}  // namespace
}  // namespace tolvenar
