// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/family_comparison.h"

#include "core/refine/optimum.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace tolvenar {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

bool stopped(const std::atomic<bool>* stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

// The least-squares problem of `family` over the crop: break points anywhere between the edges,
// levels unbounded.
refine::OptimumProblem problem_of(ModelFamily family, std::span<const double> t,
                                  std::span<const double> y, std::span<const double> w,
                                  const ComparisonRequest& request)
{
    refine::OptimumProblem p;
    p.t = t, p.y = y, p.w = w;
    p.shape = family_shape(family, node_count_of(family));
    p.left = request.left, p.right = request.right;
    p.lower.assign(p.shape.moved.size(), request.left);
    p.upper.assign(p.shape.moved.size(), request.right);
    p.level_lower.assign(p.shape.levels(), -kInf);
    p.level_upper.assign(p.shape.levels(), kInf);
    p.stop = request.stop;
    return p;
}

// The vertices of a family at break points `moved` with `levels`.
FamilyOptimum optimum_of(ModelFamily family, const FamilyShape& shape, double left, double right,
                         const std::vector<double>& moved, const std::vector<double>& levels)
{
    FamilyOptimum o;
    o.family = family;
    o.x.fill(right);
    o.x[1] = left;
    for (std::size_t i = 0; i < moved.size(); ++i)
        o.x[static_cast<std::size_t>(shape.moved[i])] = moved[i];
    if (shape.midway)
        o.x[3] = 0.5 * (o.x[2] + o.x[4]);
    for (std::size_t k = 1; k <= 6; ++k)
        o.y[k] = levels[static_cast<std::size_t>(shape.level_of[k])];
    return o;
}

// The optimum of `p` and its residuals at t; nullopt when the family finds none.
std::optional<std::pair<FamilyOptimum, std::vector<double>>> fit_family(
    ModelFamily family, const refine::OptimumProblem& p)
{
    const refine::OptimumResult found = refine::global_optimum(p);
    if (found.minima.empty())
        return std::nullopt;
    const std::vector<double> levels = refine::profiled_levels(p, found.minima.front().moved);
    if (levels.size() != p.shape.levels())
        return std::nullopt;
    const std::vector<double>& moved = found.minima.front().moved;
    FamilyOptimum o = optimum_of(family, p.shape, p.left, p.right, moved, levels);
    o.sq_dist = found.minima.front().sq_dist;
    std::vector<double> residuals(p.t.size());
    for (std::size_t i = 0; i < p.t.size(); ++i)
        residuals[i] = p.y[i] - optimum_at(o, p.t[i]);
    return std::pair{std::move(o), std::move(residuals)};
}

}  // namespace

std::optional<ModelFamily> FamilyComparison::chosen_family() const
{
    // "constant" and "line" name no family.
    return comparison.models.empty() ? std::nullopt : family_from_name(chosen().name);
}

const FamilyOptimum* FamilyComparison::optimum(ModelFamily family) const
{
    for (const FamilyOptimum& o : optima)
        if (o.family == family)
            return &o;
    return nullptr;
}

const refine::RefinedFit* FamilyComparison::fit(ModelFamily family) const
{
    for (std::size_t i = 0; i < optima.size() && i < fits.size(); ++i)
        if (optima[i].family == family)
            return &fits[i];
    return nullptr;
}

std::vector<ModelFamily> event_families()
{
    std::vector<ModelFamily> families;
    for (const FamilyRow& row : family_table())
        if (!row.drawn)
            families.push_back(row.family);
    return families;
}

std::size_t comparison_steps(const ComparisonRequest& request)
{
    return event_families().size() + request.replicates;
}

double optimum_at(const FamilyOptimum& optimum, double t)
{
    const auto& x = optimum.x;
    // The segment holding t; past the last vertex, the last segment's end (flat beyond it).
    std::size_t k = 1;
    while (k < 5 && t > x[k + 1])
        ++k;
    const double dx = x[k + 1] - x[k];
    const double a = dx > 0.0 ? std::clamp((t - x[k]) / dx, 0.0, 1.0) : 1.0;
    return optimum.y[k] + a * (optimum.y[k + 1] - optimum.y[k]);
}

FamilyComparison compare_crop(std::span<const double> t, std::span<const double> y,
                              std::span<const double> sigma, const ComparisonRequest& request)
{
    if (t.size() != y.size() || (!sigma.empty() && sigma.size() != y.size()))
        throw std::invalid_argument("t, y and sigma: one each per point");
    std::vector<double> w;
    for (const double s : sigma)
        w.push_back(1.0 / (s * s));

    FamilyComparison result;
    for (const char* null : {"constant", "line"})
        result.nulls.push_back(compare::fit_null(null, t, y, sigma));
    std::vector<std::vector<double>> residuals;
    for (const ModelFamily family : event_families()) {
        if (stopped(request.stop))
            break;
        refine::OptimumProblem p = problem_of(family, t, y, w, request);
        p.threads = request.threads;
        auto found = fit_family(family, p);
        if (request.done)
            ++*request.done;
        if (!found || stopped(request.stop))
            continue;
        result.optima.push_back(std::move(found->first));
        residuals.push_back(std::move(found->second));
    }

    compare::CompareSettings settings;
    for (const FamilyOptimum& o : result.optima) {
        const FamilyShape shape = family_shape(o.family, node_count_of(o.family));
        settings.families.push_back(
            {std::string(family_row(o.family).short_name), shape.free_values()});
    }
    settings.noise = request.noise;
    settings.alpha = request.alpha;
    settings.test = {stopped(request.stop) ? 0 : request.replicates, request.seed, request.threads,
                     request.stop, request.done};
    const auto index_of = [&](std::string_view name) {
        for (std::size_t i = 0; i < result.optima.size(); ++i)
            if (family_row(result.optima[i].family).short_name == name)
                return i;
        throw std::logic_error("an event family without an optimum");
    };
    // The crop itself: the optima already found.
    const compare::EventFitter observed = [&](std::string_view name, std::span<const double>,
                                              std::span<const double>) {
        return std::optional(residuals[index_of(name)]);
    };
    // The test's statistic, on the crop and on each replicate by one procedure: one thread
    // (the replicates share the cores), a coarser search, no start of the crop's own optimum
    // (which would favour the crop over its replicates).
    settings.refit = [&](std::string_view name, std::span<const double> rx,
                         std::span<const double> ry) -> std::optional<std::vector<double>> {
        const ModelFamily family = result.optima[index_of(name)].family;
        refine::OptimumProblem p = problem_of(family, rx, ry, w, request);
        p.first_pass = request.test_first_pass;
        p.basins = request.test_basins;
        auto found = fit_family(family, p);
        if (!found || stopped(request.stop))  // cut short: no statistic
            return std::nullopt;
        return std::move(found->second);
    };
    result.comparison = compare::compare_models(t, y, sigma, observed, settings);
    result.stopped = stopped(request.stop) ||
                     (result.comparison.test && result.comparison.test->stopped);
    return result;
}

}  // namespace tolvenar
