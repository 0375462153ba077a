// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/compare/compare.h"

#include <stdexcept>

namespace tolvenar::compare {

Comparison compare_models(std::span<const double> x, std::span<const double> y,
                          std::span<const double> sigma, const EventFitter& fit,
                          const CompareSettings& settings)
{
    if (x.size() != y.size())
        throw std::invalid_argument("x and y: one each per point");
    std::vector<NullFit> nulls{fit_null("constant", x, y, sigma), fit_null("line", x, y, sigma)};
    std::vector<std::vector<double>> events;
    std::vector<ModelRecord> records;
    for (const NullFit& null : nulls)
        records.push_back(model_record(null.name, null.free_values, x, null.residuals, sigma, settings.noise));
    for (const EventFamily& family : settings.families) {
        std::optional<std::vector<double>> residuals = fit(family.name, x, y);
        if (!residuals || residuals->size() != y.size())
            continue;
        records.push_back(model_record(family.name, family.free_values, x, *residuals, sigma, settings.noise));
        events.push_back(std::move(*residuals));
    }

    Comparison result;
    const auto null = best_model(records, false);
    const auto event = best_model(records, true);
    if (settings.test.replicates > 0 && null && event) {
        const std::string family = records[*event].name;
        const EventFitter& fitter = settings.refit ? settings.refit : fit;
        const EventRefit refit = [&](std::span<const double> rx, std::span<const double> ry) {
            return fitter(family, rx, ry);
        };
        // Records are the nulls in order, then the event families that found an optimum.
        std::optional<std::vector<double>> observed;
        if (settings.refit)
            observed = settings.refit(family, x, y);
        if (!observed || observed->size() != y.size())
            observed = events[*event - nulls.size()];
        result.test = event_test(x, sigma, nulls[*null], *observed, refit, settings.test);
    }
    result.chosen = rank_models(records, result.test ? std::optional(result.test->p) : std::nullopt,
                                settings.alpha);
    result.models = std::move(records);
    for (NullFit& fitted : nulls)
        fitted.residuals = {};
    result.nulls = std::move(nulls);
    return result;
}

}  // namespace tolvenar::compare
