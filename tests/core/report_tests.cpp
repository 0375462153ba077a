// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/report/axis_ticks.h"
#include "core/search/report.h"

#include <gtest/gtest.h>

using namespace tolvenar;

namespace {

// The labels after `writes` over those a reset leaves, in reading order, a disabled one in
// brackets.
std::string shown(const std::vector<LabelWrite>& writes,
                  std::optional<ModelFamily> family = std::nullopt)
{
    ResultLabels labels;
    labels.apply(reset_label_writes(family));
    labels.apply(writes);
    std::string text;
    const auto add = [&](const LabelState& label) {
        text += text.empty() ? "" : ", ";
        text += label.enabled ? label.caption : "[" + label.caption + "]";
    };
    for (std::size_t i = 1; i <= 6; ++i)
        add(labels.x[i]), add(labels.y[i]);
    add(labels.r), add(labels.measure);
    return text;
}

// Break points with 2 decimals, R and the symmetry index with 4, halves to even on the single
// values; the labels a family lacks disabled, with bare captions (boxes: the manual boxes drawn).
TEST(Report, ShowsTheFamilysBreakPointsAndMeasure)
{
    ReportedModel state;
    state.model.x = {0, 0.0f, 1.25f, 2.125f, 3.375f, 4.5f, 6.0f};
    state.model.y = {0, 0.125f, 0.125f, 2.0f, 0.375f, 0.125f, 0.125f};
    state.r = 0.03125f;
    const std::string four = "X1 = 0, Y1 = 0.12, X2 = 1.25, Y2 = 0.12, X3 = 2.12, Y3 = 2, "
                             "X4 = 3.38, Y4 = 0.38, ";
    const std::string five = four + "X5 = 4.5, Y5 = 0.12, ";
    const std::string six = five + "X6 = 6, Y6 = 0.12, R = 0.0312, [Symmetry index = ]";
    const std::string no_more = "[X5 =], [Y5 =], [X6 =], [Y6 =], R = 0.0312, ";
    const std::string no_six = "[X6 =], [Y6 =], R = 0.0312, ";
    using enum ModelFamily;
    struct Row { std::optional<ModelFamily> family; std::int16_t boxes; std::string text; };
    for (const Row& r : std::vector<Row>{
             {SimpleRamp, 6, four + no_more + "Duration of change = 0.88"},
             {SymmetricEvent, 6, five + no_six + "[Symmetry index = ]"},
             // (2.125 - 1.25) / (3.375 - 1.25) in single precision.
             {AsymmetricEvent, 6, five + no_six + "Symmetry index = 0.4118"},
             {Free3Segments, 6, four + no_more + "[Symmetry index = ]"},
             {std::nullopt, 6, five + no_six + "[Symmetry index = ]"},
             {EventWithDuration, 6, six},
             {ManualConstraint, 6, six},
             {ManualConstraint, 4,
              four + "[X5 = ], [Y5 = ], [X6 = ], [Y6 = ], R = 0.0312, [Symmetry index = ]"},
             {ManualConstraint, 0,
              "[X1 = ], [Y1 = ], [X2 = ], [Y2 = ], [X3 = ], [Y3 = ], [X4 = ], [Y4 = ], "
              "[X5 = ], [Y5 = ], [X6 = ], [Y6 = ], R = 0.0312, [Symmetry index = ]"}}) {
        state.vertices = r.boxes;
        EXPECT_EQ(shown(result_report(state, r.family).writes), r.text);
    }

    // The symmetry index over X4 = X2 faults after the break points and R are written; Label6
    // and the later steps keep what they showed.
    state.model.x[4] = state.model.x[2];
    const ResultReport faulted = result_report(state, AsymmetricEvent);
    EXPECT_EQ(faulted.fault->kind(), FaultKind::DivisionByZero);
    EXPECT_EQ(faulted.writes.size(), 13u);  // the break points and R
    EXPECT_EQ(shown(faulted.writes),
              "X1 = 0, Y1 = 0.12, X2 = 1.25, Y2 = 0.12, X3 = 2.12, Y3 = 2, X4 = 1.25, "
              "Y4 = 0.38, X5 = 4.5, Y5 = 0.12, X6 = 6, Y6 = 0.12, R = 0.0312, [Symmetry index =]");
    state.model.x.fill(kUnsetVertex);  // every break point unset: 0 / 0
    EXPECT_EQ(result_report(state, AsymmetricEvent).fault->kind(), FaultKind::Overflow);

    // Far from zero break points and levels show their data x and y in full; -9999 stays unset.
    state.model.x[2] = 12.47f, state.model.x[3] = kUnsetVertex;
    for (const auto& [origin, x2] : std::vector<std::pair<double, std::string>>{
             {2460000.0, "X2 = 2460012.47, Y2 = 2460000.12"}, {0.0, "X2 = 12.47, Y2 = 0.12"},
             {1.7e9, "X2 = 1700000012.47, Y2 = 1700000000.12"}}) {
        state.origin = state.y_origin = origin;
        const std::vector<LabelWrite> w = result_report(state, SimpleRamp).writes;
        EXPECT_EQ(w[2].caption + ", " + w[3].caption + ", " + w[4].caption, x2 + ", X3 = -9999");
    }

    // Reset and a crop leave every label bare and disabled.
    EXPECT_EQ(shown({}, ModelFamily::SimpleRamp), "[X1 = ], [Y1 = ], [X2 = ], [Y2 = ], [X3 = ], [Y3 = ], [X4 = ], "
                               "[Y4 = ], [X5 = ], [Y5 = ], [X6 = ], [Y6 = ], [R = ], "
                               "[Duration of change =]");
    EXPECT_EQ(cleanup_r_caption(0.96299243f), "0.9629924");  // Label5 after a failed search
}

}  // namespace

// Ticks at 1, 2 or 5 times a power of ten, the widest step that marks at least four, written
// with the decimals the step needs; dates at whole hours, days, months or years in the file's
// own form.
TEST(AxisTicks, NiceNumbersAndCalendarDates)
{
    const auto labels = [](const std::vector<plot::Tick>& ticks) {
        std::string text;
        for (const plot::Tick& tick : ticks)
            text += (text.empty() ? "" : " ") + tick.label;
        return text;
    };
    const struct {
        double lo, hi;
        const char* expected;
    } numbers[] = {
        {0.0, 300.0, "0 100 200 300"}, {300.0, 0.0, "0 100 200 300"},  // either order
        {0.0, 299.0, "0 50 100 150 200 250"}, {-1.3, 1.3, "-1.0 -0.5 0.0 0.5 1.0"},
        {3.23, 3.69, "3.3 3.4 3.5 3.6"}, {0.00012, 0.00019, "0.00012 0.00014 0.00016 0.00018"},
        {-118000.0, -11000.0, "-100000 -80000 -60000 -40000 -20000"}, {0.0, 9.0, "0 2 4 6 8"},
        {1.0, 1.0, ""},  // nothing to mark
    };
    for (const auto& c : numbers)
        EXPECT_EQ(labels(plot::number_ticks(c.lo, c.hi)), c.expected) << c.lo << " " << c.hi;

    const auto form = [](const char* first) { return x_form_of(*parse_iso_time(first)); };
    const struct {
        const char* first;  // the file's first x
        double lo, hi;      // days from it
        const char* expected;
    } dates[] = {
        {"2024-03-01", 0.0, 9.0, "2024-03-02 2024-03-04 2024-03-06 2024-03-08 2024-03-10"},
        {"2024-03-01T00:00", 0.0, 200.0, "2024-03-01 2024-05-01 2024-07-01 2024-09-01"},
        {"2024-03-01T00:00", 0.0, 4000.0, "2026-01-01 2028-01-01 2030-01-01 2032-01-01 2034-01-01"},
        {"2024-03-31T06:00", 0.0, 1.0, "2024-03-31T06:00 2024-03-31T12:00 2024-03-31T18:00 "
                                       "2024-04-01T00:00 2024-04-01T06:00"},
        {"2023-10-01T00:00", 0.0, 40.0, "2023-10-05 2023-10-12 2023-10-19 2023-10-26 "
                                        "2023-11-02 2023-11-09"},
        {"2024-03-31T20:00-05:00", 0.0, 8.0,  // midnights of the file's zone
         "2024-04-01 2024-04-03 2024-04-05 2024-04-07"},
        {"2024-03-31 06:00:00+01:00", 0.0, 1.0 / 6.0, "2024-03-31 06:00:00+01:00 "
                                                      "2024-03-31 07:00:00+01:00 "
                                                      "2024-03-31 08:00:00+01:00 "
                                                      "2024-03-31 09:00:00+01:00 "
                                                      "2024-03-31 10:00:00+01:00"}};
    for (const auto& c : dates) {
        const std::vector<plot::Tick> ticks = plot::x_ticks(c.lo, c.hi, form(c.first));
        EXPECT_EQ(labels(ticks), c.expected) << c.first << " " << c.hi;
        for (const plot::Tick& tick : ticks)  // each mark where its label says
            EXPECT_NEAR(tick.at, *parse_x(tick.label, form(c.first)), 1e-9) << tick.label;
    }
}
