// SPDX-License-Identifier: GPL-3.0-or-later
// The session's comparison of the families: its crop read as the refinement reads it (t from
// the crop's origin, y in single precision as the search's measures see it).
#include "core/model/fit.h"
#include "core/runtime/fault.h"
#include "core/session/fit_session.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tolvenar {

namespace {

// The optimum in single precision, scored by the search's own measures over the crop.
refine::RefinedFit scored(EngineState& crop, const FamilyOptimum& optimum)
{
    refine::RefinedFit fit;
    for (std::size_t k = 1; k <= 6; ++k) {
        fit.model.x[k] = static_cast<float>(optimum.x[k]);
        fit.model.y[k] = static_cast<float>(optimum.y[k]);
    }
    fit.measure = family_measure(optimum.family, fit.model.x);
    crop.NodeCount = node_count_of(optimum.family);
    crop.ModelX = fit.model.x;
    crop.ModelY = fit.model.y;
    try {
        Fitting(crop);
        GetSqDist(crop);
        GetR(crop);
        fit.sq_dist = crop.SqDist;
        fit.r = crop.BestModelR;
        fit.improved = true;
    } catch (const Fault&) {
        fit.sq_dist = kUnsetBestOfBest;  // the measures refuse it: shown, never better than a fit
    }
    return fit;
}

}  // namespace

FamilyComparison FitSession::compare(const ComparisonRequest& request) const
{
    EngineState crop = refine::crop_only(m_state);
    std::vector<double> t, y, s;
    for (std::int32_t i = 1; i <= crop.CropCount; ++i) {
        t.push_back(cell_number(crop.data.x_cell(i)) - crop.CropOrigin);
        y.push_back(static_cast<double>(cell_single(crop.data.y_cell(i))));
        if (!crop.DataWeight.empty())  // the loaded sigma, as its weight keeps it
            s.push_back(1.0 / std::sqrt(crop.DataWeight[static_cast<std::size_t>(i)]));
    }
    // The fits want t ascending: a crop of rows out of order is taken in the order of its x.
    if (!std::is_sorted(t.begin(), t.end())) {
        std::vector<std::size_t> order(t.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return t[a] < t[b]; });
        const auto permuted = [&](const std::vector<double>& v) {
            std::vector<double> out;
            for (const std::size_t i : order)
                if (i < v.size())
                    out.push_back(v[i]);
            return out;
        };
        t = permuted(t), y = permuted(y), s = permuted(s);
    }
    FamilyComparison result = compare_crop(t, y, s, request);
    for (const FamilyOptimum& optimum : result.optima)
        result.fits.push_back(scored(crop, optimum));
    return result;
}

}  // namespace tolvenar
