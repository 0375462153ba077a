// SPDX-License-Identifier: GPL-3.0-or-later
// The whole comparison on one crop: the constant, the line and each event family at its
// least-squares optimum, scored under one noise model, the event test against the better model
// without an event, and the choice.
#pragma once

#include "core/compare/criteria.h"
#include "core/compare/event_test.h"
#include "core/compare/null_fit.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvenar::compare {

// The least-squares optimum of event family `family` (a short name) on (x, y): its residuals
// y - curve, or nullopt when it finds none. Called from several threads at once.
using EventFitter = std::function<std::optional<std::vector<double>>(
    std::string_view family, std::span<const double> x, std::span<const double> y)>;

struct EventFamily {
    std::string name;             // short name: ramp, symmetric, asymmetric, duration, free3, free4
    std::size_t free_values = 0;  // the family table's free values
};

struct CompareSettings {
    std::vector<EventFamily> families;  // the event families to compare with the two nulls
    NoiseModel noise = NoiseModel::Ar1;  // of the records; Independent gives plain AIC and BIC
    double alpha = 0.05;
    EventTestSettings test;  // test.replicates 0: no event test, the choice by BIC alone
    // The event test's fit of the event family, to the observed series and to every replicate
    // alike, so that the test's statistic is one procedure throughout (a cheaper search than
    // `fit`'s keeps the test valid); empty: `fit` does.
    EventFitter refit;
};

struct Comparison {
    std::vector<ModelRecord> models;      // sorted by BIC, the chosen one marked
    std::size_t chosen = 0;               // index in models
    std::optional<EventTestResult> test;  // none without replicates or without an event optimum
    std::vector<NullFit> nulls;           // the constant and the line, their residuals dropped
};

// Compares the models on (x, y), weighted by sigma (empty: unweighted). The event test, with
// AR(1) likelihoods whatever settings.noise, sets the better null (lower BIC) against the event
// family of lowest BIC; the chosen model is the null when p >= alpha.
Comparison compare_models(std::span<const double> x, std::span<const double> y,
                          std::span<const double> sigma, const EventFitter& fit,
                          const CompareSettings& settings);

}  // namespace tolvenar::compare
