// SPDX-License-Identifier: GPL-3.0-or-later
// The session's comparison of the families: its crop read as the refinement reads it (t from
// the crop's origin, y in data units as the search's measures see it in single about the crop's
// y origin).
#include "core/model/fit.h"
#include "core/runtime/fault.h"
#include "core/session/fit_session.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tolvenar {

namespace {

// The optimum in single precision about the crop's y origin, scored by the search's own
// measures over the crop.
refine::RefinedFit scored(CropMeasures& measures, const FamilyOptimum& optimum, double y_origin)
{
    refine::RefinedFit fit;
    fit.y_origin = y_origin;
    for (std::size_t k = 1; k <= 6; ++k) {
        fit.model.x[k] = static_cast<float>(optimum.x[k]);
        fit.model.y[k] = static_cast<float>(optimum.y[k] - y_origin);
    }
    fit.measure = family_measure(optimum.family, fit.model.x);
    measures.set_vertices(node_count_of(optimum.family));
    const MeasuredModel measured = measures.measure(fit.model);
    // A model the measures refuse is shown, never better than a fit.
    fit.sq_dist = measured.sq_dist;
    fit.r = measured.r;
    fit.improved = measured.sq_dist != kUnsetBestOfBest;
    return fit;
}

}  // namespace

FamilyComparison FitSession::compare(const ComparisonRequest& request) const
{
    const FitCrop crop = fit_crop(m_state);
    std::vector<double> t, y, s;
    for (std::size_t i = 0; i < static_cast<std::size_t>(crop.points()); ++i) {
        t.push_back(crop.t(i));
        y.push_back(crop.data_y(i));
        if (!crop.weight.empty())  // the loaded sigma, as its weight keeps it
            s.push_back(1.0 / std::sqrt(crop.w(i)));
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
    CropMeasures measures(crop);
    for (const FamilyOptimum& optimum : result.optima)
        result.fits.push_back(scored(measures, optimum, crop.y_origin));
    return result;
}

}  // namespace tolvenar
