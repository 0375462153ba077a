// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/search/report.h"

#include "core/model/boxes.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace tolvenar;

namespace {

EngineState best_of_best(const Vertices& x, const Vertices& y, float r)
{
    EngineState state;
    state.BestOfBestX = x;
    state.BestOfBestY = y;
    state.BestOfBestR = r;
    return state;
}

ResultLabels apply(const ResultReport& report)
{
    ResultLabels labels;
    labels.apply(reset_label_writes(false));
    labels.apply(report.writes);
    return labels;
}

const Vertices kX{0, 0.0f, 1.25f, 2.125f, 3.375f, 4.5f, 6.0f};
const Vertices kY{0, 0.125f, 0.125f, 2.0f, 0.375f, 0.125f, 0.125f};

TEST(Report, RoundsHalvesToEven)
{
    const ResultLabels labels = apply(result_report(best_of_best(kX, kY, 0.03125f),
                                                    ModelFamily::EventWithDuration));
    EXPECT_EQ(labels.x[1].caption, "X1 = 0");
    EXPECT_EQ(labels.x[2].caption, "X2 = 1.25");
    EXPECT_EQ(labels.x[3].caption, "X3 = 2.12");  // 2.125 -> 2.12
    EXPECT_EQ(labels.x[4].caption, "X4 = 3.38");  // 3.375 -> 3.38
    EXPECT_EQ(labels.x[6].caption, "X6 = 6");
    EXPECT_EQ(labels.y[1].caption, "Y1 = 0.12");  // 0.125 -> 0.12
    EXPECT_EQ(labels.y[4].caption, "Y4 = 0.38");  // 0.375 -> 0.38
    EXPECT_EQ(labels.y[3].caption, "Y3 = 2");
    EXPECT_EQ(labels.r.caption, "R = 0.0312");  // 0.03125 -> 0.0312
    EXPECT_TRUE(labels.x[6].enabled);
}

struct FamilyCase {
    ModelFamily family;
    int shown;                 // break points 1..shown enabled
    const char* measure;       // Label6 caption
    bool measure_enabled;
};
void PrintTo(const FamilyCase& c, std::ostream* os) { *os << family_caption(c.family); }

class ReportPerFamily : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(ReportPerFamily, ShowsTheFamilysBreakPointsAndMeasure)
{
    const FamilyCase& c = GetParam();
    EngineState state = best_of_best(kX, kY, 0.5f);
    state.NodeCount = 6;
    const ResultReport report = result_report(state, c.family);
    ASSERT_FALSE(report.fault);
    const ResultLabels labels = apply(report);
    for (int i = 1; i <= 6; ++i) {
        EXPECT_EQ(labels.x[i].enabled, i <= c.shown) << i;
        EXPECT_EQ(labels.y[i].enabled, i <= c.shown) << i;
    }
    if (c.shown < 5)
        EXPECT_EQ(labels.x[5].caption, "X5 =");
    if (c.shown < 6) {
        EXPECT_EQ(labels.x[6].caption, "X6 =");
        EXPECT_EQ(labels.y[6].caption, "Y6 =");
    }
    EXPECT_EQ(labels.measure.caption, c.measure);
    EXPECT_EQ(labels.measure.enabled, c.measure_enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Families, ReportPerFamily,
    ::testing::Values(
        // Duration X3 - X2 = 0.875, rounded half to even at 2 decimals.
        FamilyCase{ModelFamily::SimpleRamp, 4, "Duration of change = 0.88", true},
        FamilyCase{ModelFamily::SymmetricEvent, 5, "Symmetry index = ", false},
        // (2.125 - 1.25) / (3.375 - 1.25) = 0.875 / 2.125 in single.
        FamilyCase{ModelFamily::AsymmetricEvent, 5, "Symmetry index = 0.4118", true},
        FamilyCase{ModelFamily::Free4Segments, 5, "Symmetry index = ", false},
        FamilyCase{ModelFamily::Free3Segments, 4, "Symmetry index = ", false},
        FamilyCase{ModelFamily::EventWithDuration, 6, "Symmetry index = ", false},
        FamilyCase{ModelFamily::ManualConstraint, 6, "Symmetry index = ", false}));

TEST(Report, ManualWithoutBoxesShowsOnlyNames)
{
    EngineState state = best_of_best(kX, kY, 0.5f);
    state.NodeCount = 0;
    const ResultLabels labels = apply(result_report(state, ModelFamily::ManualConstraint));
    for (int i = 1; i <= 6; ++i) {
        EXPECT_FALSE(labels.x[i].enabled);
        EXPECT_EQ(labels.x[i].caption, "X" + std::to_string(i) + " = ");
        EXPECT_EQ(labels.y[i].caption, "Y" + std::to_string(i) + " = ");
    }
}

TEST(Report, ManualShowsItsBoxes)
{
    EngineState state = best_of_best(kX, kY, 0.5f);
    state.NodeCount = 3;
    const ResultLabels labels = apply(result_report(state, ModelFamily::ManualConstraint));
    EXPECT_TRUE(labels.x[3].enabled);
    EXPECT_EQ(labels.x[3].caption, "X3 = 2.12");
    EXPECT_FALSE(labels.x[4].enabled);
    EXPECT_EQ(labels.x[4].caption, "X4 = ");
}

// The symmetry index over X4 = X2 faults after the break points and R are written; Label6
// and the later steps keep what they showed.
TEST(Report, ASymmetryIndexOverAZeroSpanFaultsAfterStepsOneAndTwo)
{
    EngineState state = best_of_best(kX, kY, 0.5f);
    state.BestOfBestX[4] = state.BestOfBestX[2];
    const ResultReport report = result_report(state, ModelFamily::AsymmetricEvent);
    ASSERT_TRUE(report.fault);
    EXPECT_EQ(report.fault->kind(), FaultKind::DivisionByZero);
    ASSERT_EQ(report.writes.size(), 13u);
    EXPECT_EQ(report.writes.back().label, ResultLabel::R);
    const ResultLabels labels = apply(report);
    EXPECT_EQ(labels.x[6].caption, "X6 = 6");
    EXPECT_TRUE(labels.x[6].enabled);
    EXPECT_EQ(labels.measure.caption, "Symmetry index =");
    EXPECT_FALSE(labels.measure.enabled);

    // After a reset every break point is -9999: 0 / 0.
    forget_best_of_best(state);
    EXPECT_EQ(result_report(state, ModelFamily::AsymmetricEvent).fault->kind(),
              FaultKind::Overflow);
    EXPECT_EQ(apply(result_report(state, ModelFamily::SimpleRamp)).x[1].caption, "X1 = -9999");
}

TEST(Report, NoFamilyDisablesTheMeasureAndTheSixthBreakPoint)
{
    const ResultLabels labels = apply(result_report(best_of_best(kX, kY, 0.5f), std::nullopt));
    EXPECT_FALSE(labels.measure.enabled);
    EXPECT_TRUE(labels.x[5].enabled);
    EXPECT_FALSE(labels.x[6].enabled);
}

TEST(CleanupCaption, IsThePlainCorrelation)
{
    EngineState state;
    state.BestOfBestR = 0.96299243f;
    EXPECT_EQ(cleanup_r_caption(state), "0.9629924");
}

TEST(ResetCaptions, AreBareAndDisabled)
{
    ResultLabels labels;
    EXPECT_EQ(labels.y[4].caption, "Y4=");  // design caption until the first reset
    EXPECT_EQ(labels.measure.caption, "Symmetry index = ");
    labels.apply(reset_label_writes(true));
    EXPECT_EQ(labels.x[1].caption, "X1 = ");
    EXPECT_EQ(labels.y[4].caption, "Y4 = ");
    EXPECT_EQ(labels.r.caption, "R = ");
    EXPECT_EQ(labels.measure.caption, "Duration of change =");
    EXPECT_FALSE(labels.x[1].enabled);
    labels.apply(reset_label_writes(false));
    EXPECT_EQ(labels.measure.caption, "Symmetry index =");
}

}  // namespace
