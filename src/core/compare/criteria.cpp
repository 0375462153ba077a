// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/compare/criteria.h"

#include "core/compare/null_fit.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tolvenar::compare {

namespace {

bool tied(double a, double b)
{
    return std::abs(a - b) <= kTieTolerance * std::max({1.0, std::abs(a), std::abs(b)});
}

// The lowest BIC among the records that `keep`; of those within a tie of it, the fewest
// parameters, then the earliest.
template <typename Keep>
std::optional<std::size_t> best_where(std::span<const ModelRecord> records, Keep keep)
{
    std::optional<std::size_t> best;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (keep(records[i]) && (!best || records[i].bic < records[*best].bic))
            best = i;
    if (!best)
        return best;
    const double least = records[*best].bic;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (keep(records[i]) && tied(records[i].bic, least) &&
            (records[i].k < records[*best].k || (records[i].k == records[*best].k && i < *best)))
            best = i;
    return best;
}

}  // namespace

ModelRecord model_record(std::string name, std::size_t free_values, std::span<const double> x,
                         std::span<const double> residuals, std::span<const double> sigma,
                         NoiseModel noise)
{
    const NoiseFit fit = fit_noise(x, residuals, sigma, noise);
    ModelRecord r;
    r.name = std::move(name);
    r.k = free_values + fit.parameters;
    for (std::size_t i = 0; i < residuals.size(); ++i) {
        const double e = sigma.empty() ? residuals[i] : residuals[i] / sigma[i];
        r.sum_of_squares += e * e;
    }
    r.phi = fit.phi;
    r.tau = fit.tau;
    r.log_likelihood = fit.log_likelihood;
    const auto k = static_cast<double>(r.k);
    r.aic = 2.0 * k - 2.0 * fit.log_likelihood;
    r.bic = k * std::log(static_cast<double>(residuals.size())) - 2.0 * fit.log_likelihood;
    return r;
}

std::vector<double> criterion_weights(std::span<const double> criteria)
{
    std::vector<double> w(criteria.size(), 0.0);
    if (criteria.empty())
        return w;
    const double least = *std::min_element(criteria.begin(), criteria.end());
    double total = 0.0;
    for (std::size_t i = 0; i < criteria.size(); ++i) {
        // The least itself weighs 1 even when infinite (a perfect fit), where c - least is NaN.
        w[i] = criteria[i] == least ? 1.0 : std::exp(-0.5 * (criteria[i] - least));
        total += w[i];
    }
    for (double& v : w)
        v /= total;
    return w;
}

std::optional<std::size_t> best_model(std::span<const ModelRecord> records, bool event)
{
    return best_where(records, [event](const ModelRecord& r) { return is_event_model(r.name) == event; });
}

std::size_t rank_models(std::vector<ModelRecord>& records, std::optional<double> event_p,
                        double alpha)
{
    std::stable_sort(records.begin(), records.end(), [](const ModelRecord& a, const ModelRecord& b) {
        return a.bic < b.bic || (a.bic == b.bic && a.k < b.k);
    });
    std::vector<double> aic, bic;
    for (const ModelRecord& r : records) {
        aic.push_back(r.aic);
        bic.push_back(r.bic);
    }
    const std::vector<double> aic_weights = criterion_weights(aic), bic_weights = criterion_weights(bic);
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].aic_weight = aic_weights[i];
        records[i].bic_weight = bic_weights[i];
        records[i].chosen = false;
    }
    std::optional<std::size_t> chosen = best_where(records, [](const ModelRecord&) { return true; });
    if (event_p && *event_p >= alpha)
        if (const auto null = best_model(records, false))
            chosen = null;
    if (!chosen)
        return 0;
    records[*chosen].chosen = true;
    return *chosen;
}

}  // namespace tolvenar::compare
