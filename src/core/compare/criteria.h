// SPDX-License-Identifier: GPL-3.0-or-later
// Information criteria of fitted models and the choice between them: AIC, BIC and their weights,
// the lowest BIC chosen with near ties going to fewer parameters, and the event test's veto.
#pragma once

#include "core/compare/noise.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tolvenar::compare {

// BICs closer than this share of their size (at least 1) are a tie.
inline constexpr double kTieTolerance = 1e-9;

// One row of a comparison.
struct ModelRecord {
    std::string name;             // the command line's short name: constant, line, ramp, symmetric,
                                  // asymmetric, duration, free3 or free4
    std::size_t k = 0;            // the family's free values plus the noise parameters
    double sum_of_squares = 0.0;  // of the residuals, each over its sigma_i when weighted
    double phi = 0.0;             // AR(1) coefficient of the residuals (uneven x: at the mean gap)
    std::optional<double> tau;    // persistence time in x units, uneven x only
    double log_likelihood = 0.0;
    double aic = 0.0;             // 2 k - 2 LL
    double bic = 0.0;             // k ln n - 2 LL
    double aic_weight = 0.0;      // exp(-delta / 2) normalised over the records; set by rank_models
    double bic_weight = 0.0;
    bool chosen = false;          // set by rank_models
};

// The record of a model with `free_values` fitted values whose residuals at x are `residuals`,
// under the noise model.
ModelRecord model_record(std::string name, std::size_t free_values, std::span<const double> x,
                         std::span<const double> residuals, std::span<const double> sigma,
                         NoiseModel noise);

// Akaike or Schwarz weights of criteria values: exp(-(c - min c) / 2), normalised.
std::vector<double> criterion_weights(std::span<const double> criteria);

// The record with the lowest BIC among those that are (event) or are not (!event) event models,
// a tie going to fewer parameters, then to the earlier record; nullopt when there is none.
std::optional<std::size_t> best_model(std::span<const ModelRecord> records, bool event);

// Sorts the records by BIC (equal BICs: fewer parameters first), sets both weights and marks the
// chosen record, whose index it returns: the lowest BIC, ties going to fewer parameters; but when
// the event test's p >= alpha, the better model without an event (constant or line).
// Empty records: returns 0 and marks nothing.
std::size_t rank_models(std::vector<ModelRecord>& records,
                        std::optional<double> event_p = std::nullopt, double alpha = 0.05);

}  // namespace tolvenar::compare
