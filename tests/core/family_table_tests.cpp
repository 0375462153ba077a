// SPDX-License-Identifier: GPL-3.0-or-later
// Every row of the family table, through a fit session: the candidates the search draws, free
// and in the boxes, keep the row's ties; the report shows the row's vertices and measure; the
// refined fit keeps the ties and is no worse than the search's best.
#include "core/session/fit_session.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tolvenar;

namespace {

constexpr int kPoints = 100;

// The ties a row promises, checked on a model: break points in order, vertices past the last
// copy it, tied levels are equal, and x3 of a midway family lies halfway (to `slack` of the
// crop's width).
void expect_ties(const FamilyShape& shape, const Model& m, float slack, const char* what)
{
    for (std::size_t k = 2; k <= 6; ++k)
        EXPECT_LE(m.x[k - 1], m.x[k] + slack) << what << " x" << k;
    const auto last = static_cast<std::size_t>(shape.last);
    for (std::size_t k = last + 1; k <= 6; ++k)
        EXPECT_EQ(m.x[k], m.x[last]) << what << " x" << k;
    for (std::size_t k = 2; k <= 6; ++k)
        for (std::size_t j = 1; j < k; ++j)
            if (shape.level_of[j] == shape.level_of[k])
                EXPECT_EQ(m.y[j], m.y[k]) << what << " y" << j << " y" << k;
    if (shape.midway)
        EXPECT_NEAR(m.x[3], (m.x[2] + m.x[4]) / 2, slack) << what;
}

struct TieChecker : SearchObserver {
    explicit TieChecker(FamilyShape shape) : shape(std::move(shape)) {}
    void candidate_evaluated(const SearchView& view, std::int64_t) override
    {
        if (++seen % 97 == 0)  // a spread of candidates, free and in the boxes
            expect_ties(shape, view.candidate(), 1e-3f * kPoints, "candidate");
    }
    FamilyShape shape;
    int seen = 0;
};

// The row's own curve with a little noise: break points at 30 and 60 (and 45, 75 where the
// family has them), a step up from 1 to 3 and back as its levels allow, raised by `offset`.
FitSession session_for(const FamilyRow& row, double offset = 0.0)
{
    std::vector<double> x, y;
    for (int i = 0; i < kPoints; ++i) {
        const double t = i;
        const double rise = std::clamp((t - 30.0) / 15.0, 0.0, 1.0);
        const double fall = row.vertices >= 5 ? std::clamp((t - 60.0) / 15.0, 0.0, 1.0) : 0.0;
        x.push_back(t);
        y.push_back(offset + 1.0 + 2.0 * (rise - fall) + 0.05 * std::sin(1.7 * t));
    }
    FitSession session;
    session.load(test::table_of(x, y));
    session.crop_and_measure({0.0, static_cast<float>(kPoints - 1), 0.0});
    session.set_vertices(row.vertices);
    if (row.family == ModelFamily::ManualConstraint) {  // four boxes around the curve's corners
        int n = 0;
        for (const float at : {0.0f, 30.0f, 60.0f, 99.0f}) {
            session.set_vertices(static_cast<std::int16_t>(++n));
            const auto k = static_cast<std::size_t>(n);
            session.start_manual_box(k, at - 5, 0.5f, 0.0f);
            session.finish_manual_box(k, at + 5, 3.5f, 0.0f, kPoints - 1.0f);
        }
    }
    return session;
}

}  // namespace

TEST(FamilyTable, EveryRowDrawsReportsAndRefinesWithItsTies)
{
    ASSERT_EQ(family_table().size(), static_cast<std::size_t>(kFamilyCount));
    for (const FamilyRow& row : family_table()) {
        SCOPED_TRACE(row.caption);
        EXPECT_EQ(family_from_name(row.short_name), row.family);
        EXPECT_EQ(family_from_name(row.caption), row.family);
        FitSession session = session_for(row);
        const FamilyShape shape = family_shape(row.family, session.vertices());
        TieChecker checker(shape);
        SearchRequest request{row.family, 0, 3.0, 400.0, 0.0f, kPoints - 1.0f};
        ASSERT_EQ(session.search(request, checker).outcome.end, SearchEnd::Completed);
        request.constrain = 1;
        ASSERT_EQ(session.search(request, checker).outcome.end, SearchEnd::Completed);
        EXPECT_GT(checker.seen, 2000);
        ASSERT_TRUE(session.has_best());
        expect_ties(shape, session.best(), 1e-3f * kPoints, "best of best");

        // The report shows the row's vertices and its measure under its caption.
        ResultLabels labels;
        labels.apply(session.report(row.family).writes);
        for (int k = 1; k <= 6; ++k)
            EXPECT_EQ(labels.x[static_cast<std::size_t>(k)].enabled, k <= shape.last) << k;
        const MeasureNames& measure = measure_names(row.measure);
        EXPECT_EQ(labels.measure.enabled, row.measure != FamilyMeasure::None);
        if (labels.measure.enabled)
            EXPECT_EQ(labels.measure.caption.rfind(std::string(measure.caption) + " = ", 0), 0u);

        // The refined fit keeps the ties and the crop's edges, and is no worse than the search.
        const refine::RefinedFit fit = session.refine(row.family);
        expect_ties(shape, fit.model, 1e-4f, "refined");
        EXPECT_EQ(fit.model.x[1], session.best().x[1]);
        EXPECT_TRUE(fit.improved);  // a search's best never is the optimum of a noisy curve
        EXPECT_LE(fit.sq_dist, session.best_sq_dist());
        EXPECT_EQ(fit.measure, family_measure(row.family, fit.model.x));
        EXPECT_EQ(refine::model_value_at(fit.model, 1e9), fit.model.y[6]);  // past the last vertex
    }
}

// After a search in the boxes, the refinement keeps the moved break points in them (widened by
// a tenth a side as the draws use them), even where the optimum lies outside.
TEST(FamilyTable, RefinementAfterABoxedSearchStaysInTheBoxes)
{
    FitSession session = session_for(family_row(ModelFamily::SimpleRamp));
    BoxLimits boxes{{0, 0, 10, 50, 99, 99, 99}, {0, 0, 12, 52, 99, 99, 99}, {}, {}};
    boxes.ymin.fill(0.5f), boxes.ymax.fill(3.5f);
    session.set_constraint_boxes(boxes);
    SearchObserver quiet;
    const SearchRequest request{ModelFamily::SimpleRamp, 1, 2.0, 200.0, 0.0f, kPoints - 1.0f};
    ASSERT_EQ(session.search(request, quiet).outcome.end, SearchEnd::Completed);
    const refine::RefinedFit fit = session.refine(ModelFamily::SimpleRamp);
    EXPECT_TRUE(fit.model.x[2] >= 9.8f && fit.model.x[2] <= 12.2f) << fit.model.x[2];
    EXPECT_TRUE(fit.model.x[3] >= 49.8f && fit.model.x[3] <= 52.2f) << fit.model.x[3];
}

// The compared optima the window shows: scored in single precision about the crop's y origin,
// which a record far from zero moves.
TEST(FamilyTable, ComparedOptimaKeepTheirLevelsAboutTheYOrigin)
{
    const FitSession session = session_for(family_row(ModelFamily::SimpleRamp), 1e6);
    ComparisonRequest request{0.0, kPoints - 1.0};
    request.replicates = 0;
    const FamilyComparison compared = session.compare(request);
    ASSERT_EQ(compared.fits.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_TRUE(compared.fits[i].improved);
        EXPECT_NEAR(compared.fits[i].model.y[1] + compared.fits[i].y_origin, compared.optima[i].y[1], 1e-3);
    }
}
