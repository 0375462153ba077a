// SPDX-License-Identifier: GPL-3.0-or-later
// Is there an event, and which shape? On one crop: the constant, the line and every event family
// at its least-squares optimum (the levels exact, the break points the family's global optimum),
// scored with AR(1) likelihoods, the event test against the better model without an event, and
// the choice. Plain values in and out; the same result on every thread count.
#pragma once

#include "core/compare/compare.h"
#include "core/compare/null_fit.h"
#include "core/model/model.h"
#include "core/model/family.h"
#include "core/refine/refine.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tolvenar {

struct ComparisonRequest {
    double left = 0.0;   // the crop window's edges in model x: every family's end vertices
    double right = 0.0;
    compare::NoiseModel noise = compare::NoiseModel::Ar1;  // Independent: plain AIC and BIC
    std::size_t replicates = 199;  // of the event test; 0: no test, the choice by BIC alone
    double alpha = 0.05;
    std::uint64_t seed = 5489;     // of the event test's replicates
    unsigned threads = 0;          // 0: every core; the result is the same for any number
    // The event test's search of the event family, on the crop and on every replicate alike
    // (global_optimum's first_pass and basins): coarser than the optima's, which costs 7 to 27 ms
    // of CPU a family on 1,000 points, against 2 to 11 ms. 1 and 0: the optima's own search.
    double test_first_pass = 0.1;
    std::size_t test_basins = 4;
    const std::atomic<bool>* stop = nullptr;   // set: what was done so far comes back, stopped
    std::atomic<std::size_t>* done = nullptr;  // counts families fitted and replicates done
};

// An event family's least-squares optimum over the crop, in double, model x.
struct FamilyOptimum {
    ModelFamily family = ModelFamily::SimpleRamp;
    std::array<double, 7> x{};  // vertices 1..6 (element 0 unused); those past the family's last
    std::array<double, 7> y{};  // copy it
    double sq_dist = 0.0;       // weighted by 1 / sigma_i^2 when sigma is given
};

struct FamilyComparison {
    compare::Comparison comparison;     // the models sorted by BIC, the chosen one marked
    std::vector<FamilyOptimum> optima;  // the event families that found an optimum, table order
    // Each optimum as the search's measures score it (single precision), in the same order.
    std::vector<refine::RefinedFit> fits;
    std::vector<compare::NullFit> nulls;  // the constant and the line, in model x
    bool stopped = false;               // the stop flag cut the fits or the test short

    const compare::ModelRecord& chosen() const { return comparison.models[comparison.chosen]; }
    // The chosen event family; none when a model without an event is chosen.
    std::optional<ModelFamily> chosen_family() const;
    const FamilyOptimum* optimum(ModelFamily family) const;  // nullptr: none found
    const refine::RefinedFit* fit(ModelFamily family) const;
};

// The event families in the family table's order: every family but the drawn one.
std::vector<ModelFamily> event_families();

// Steps a comparison counts in ComparisonRequest::done: the families, then the replicates.
std::size_t comparison_steps(const ComparisonRequest& request);

// The comparison of the points (t, y) of a crop from request.left to request.right (t
// ascending, in model x; sigma empty or one positive value per point). `fits` stays empty.
FamilyComparison compare_crop(std::span<const double> t, std::span<const double> y,
                              std::span<const double> sigma, const ComparisonRequest& request);

// The curve of an optimum at t.
double optimum_at(const FamilyOptimum& optimum, double t);

}  // namespace tolvenar
