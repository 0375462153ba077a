// SPDX-License-Identifier: GPL-3.0-or-later
// The least-squares optimum of a family over the crop: the levels solved exactly for given break
// points, the break points the global optimum of that profiled sum of squares (optimum.h),
// every tie of the family and every box of the search's mode kept. The result is a model in the
// engine's own representation (its y about the crop's y origin), scored by the search's own
// measures, and never worse than the model it started from nor than any other start.
#pragma once

#include "core/compare/noise.h"
#include "core/model/fit_crop.h"
#include "core/model/model.h"
#include "core/model/family.h"
#include "core/search/report.h"

#include <atomic>
#include <optional>
#include <span>
#include <vector>

namespace tolvenar::refine {

using tolvenar::Model;

struct RefineRequest {
    ModelFamily family = ModelFamily::SimpleRamp;
    // The constrained search's boxes (ConX/ConY, widened by a tenth a side as its draws use
    // them) bound the drawn vertices. The drawn family is always held in its manual boxes.
    bool constrained = false;
    // Starts in the crop's model y (about_y_origin of the search's models).
    Model start;                  // the search's best of best: its end vertices stay
    std::vector<Model> restarts;  // further starts, e.g. the best of every run
    unsigned threads = 1;         // 0: every core; the result is the same for any number
    // Polled between the optimiser's steps: once true, the best model so far is returned (never
    // worse than the start). nullptr: never stopped.
    const std::atomic<bool>* stop = nullptr;
    // Descents from the best few starts only: the optimum of their basins, not the global one.
    bool local = false;
    // Three or four break points: a grid at once (RefinedFit::gave_way of the series replicated).
    bool grid_first = false;
};

struct RefinedFit {
    Model model;
    float sq_dist = 0.0f;  // GetSqDist of the model over the crop
    float r = 0.0f;        // GetR
    // The family's measure (FamilyRow::measure) of the model; none for a family without.
    std::optional<float> measure;
    bool improved = false;  // false: no better model than the start was found; model = start
    double y_origin = 0.0;  // the crop's: data y = y_origin + model y
    // Its optimum's boxes of tuples narrowed too little and gave way to a grid: its replicates
    // take the grid at once.
    bool gave_way = false;
};

// The family's optimum over the points of `crop` (at t = x - origin), reading its vertices and
// boxes. Deterministic. Faults of the crop's cells (a text cell) propagate as the search would
// raise them.
RefinedFit refine_fit(const FitCrop& crop, const RefineRequest& request);

// The family's least sums of squares over the crop, for each of `at`, with its moved break
// point `j` (an index into the moved vertices) held at `x` (model x), every other break point
// at its best data point (or crop edge) and each level at its optimum there (in order and in
// their boxes, as refine_fit keeps them); and `least`: the sum at the request's start, the
// optimum itself when it starts there. In the optimum's own units, so that held sums compare
// with `least`; infinity where no model holds it (outside its box). Shared out over
// request.threads; the crop is read once for all of them.
struct HeldAt {
    std::size_t j = 0;
    double x = 0.0;
};
struct HeldSums {
    double least = 0.0;
    std::vector<double> held;  // of each of `at`
};
HeldSums held_sq_dists(const FitCrop& crop, const RefineRequest& request,
                       std::span<const HeldAt> at);

// Standard errors of a least-squares model's vertices and measure from its linearisation: the
// sandwich covariance of the moved break points and levels, whose middle sums the residual
// products up to `lag` points apart (Bartlett weights), so that correlated noise widens them;
// with weights, of weighted least squares (point i's residual and gradient times sqrt(w_i)).
// Fixed and tied vertices take their share (0 for the end vertices). nullopt when the
// parameters are not identified at the model (a segment without points).
struct StandardErrors {
    Vertices x{};  // per vertex 1..6, in the units of the vertex
    Vertices y{};
    std::optional<float> measure;
};
std::optional<StandardErrors> standard_errors(const FitCrop& crop, ModelFamily family,
                                              const Model& model, std::size_t lag);

// The same with the middle from the AR(1) of the noise behind the residuals over their sigma
// (residual_noise): its covariance, correlation exp(-|dt| / tau) on uneven x (phi^|i - j| on
// even x), so that a persistence in x units widens them however the points are spaced. With
// weights every sum above weighs point i by w_i (the sandwich of weighted least squares), and
// so does this one.
struct NoisyErrors {
    StandardErrors errors;
    compare::NoiseFit noise;  // of the residuals times sqrt(w)
};
std::optional<NoisyErrors> ar1_standard_errors(const FitCrop& crop, ModelFamily family,
                                               const Model& model);

// The AR(1) of the noise that left the model's residuals over their sigma on their own x: its
// persistence and variance such that the noise, less what the least squares absorb of it (its
// projection on the fit's gradient), keeps on average the residuals' sum of squares and their
// ratio of products one point apart to it. The residuals' own likelihood (compare::fit_noise)
// takes the persistence too short and the variance too small where the fit absorbs much of
// the noise's slow part: short series, persistent noise. Tau (uneven x) over compare::fit_noise's
// range; log_likelihood unset. nullopt where the parameters are not identified.
std::optional<compare::NoiseFit> residual_noise(const FitCrop& crop, ModelFamily family,
                                                const Model& model);

// The AR(1) coefficient between point i and point i - 1 of x (element 0 is 0): exp(-gap / tau),
// the gap floored at compare::kMinimumGapShare of the mean gap as the likelihood floors it; phi
// without a tau (even x).
std::vector<double> ar1_steps(std::span<const double> x, const compare::NoiseFit& noise);

// The model's value at model x t as the fit measures evaluate it, in double.
double model_value_at(const Model& model, double t);

// Free parameters of the family's least squares (moved break points and levels).
std::size_t parameter_count(ModelFamily family, std::int16_t node_count);

}  // namespace tolvenar::refine
