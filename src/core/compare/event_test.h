// SPDX-License-Identifier: GPL-3.0-or-later
// Is there an event? A parametric bootstrap under the model without an event: replicate series
// are that model's curve plus AR(1) noise as fitted to its residuals, each refitted by the null
// model and by an event family, and the observed likelihood ratio is ranked among theirs.
// Replicate b draws from its own stream, a function of (seed, b): the result is the same for
// any number of threads.
#pragma once

#include "core/compare/null_fit.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tolvenar::compare {

// The event family's least-squares optimum on (x, y): its residuals y - curve (one per point),
// or nullopt when it finds none. Called from several threads at once.
using EventRefit = std::function<std::optional<std::vector<double>>(std::span<const double> x,
                                                                    std::span<const double> y)>;

struct EventTestSettings {
    std::size_t replicates = 199;
    std::uint64_t seed = 5489;
    unsigned threads = 0;                      // 0: every core; the result is the same for any
    const std::atomic<bool>* stop = nullptr;   // polled between replicates; set: p from those done
    std::atomic<std::size_t>* done = nullptr;  // counts finished replicates, for progress
};

struct EventTestResult {
    double p = 1.0;               // (1 + #{LR_b >= LR_obs}) / (B + 1)
    std::size_t replicates = 0;   // B: replicates done whose event refit found an optimum
    std::string null_name;        // "constant" or "line"
    double observed_lr = 0.0;     // LR_obs
    std::vector<double> lr;       // LR_b in replicate order; NaN: not done, or no event optimum
    bool stopped = false;         // the stop flag ended the test before every replicate was done
};

// LR = 2 (LL_event - LL_null), each the AR(1) log-likelihood of its own residuals.
double likelihood_ratio(std::span<const double> x, std::span<const double> sigma,
                        std::span<const double> null_residuals,
                        std::span<const double> event_residuals);

// (1 + #{LR_b >= observed}) / (B + 1) over the finite LR_b; 1 without any.
double bootstrap_p(std::span<const double> lr, double observed);

// The test of `null` (fitted to the observed series at x, weighted by sigma) against the event
// family whose observed optimum left `event_residuals`, refitted on replicates by `refit`.
// An exception from `refit` ends the test and is rethrown.
EventTestResult event_test(std::span<const double> x, std::span<const double> sigma,
                           const NullFit& null, std::span<const double> event_residuals,
                           const EventRefit& refit, const EventTestSettings& settings = {});

}  // namespace tolvenar::compare
