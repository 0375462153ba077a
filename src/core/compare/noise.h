// SPDX-License-Identifier: GPL-3.0-or-later
// Noise models of a fit's residuals and their exact Gaussian log-likelihoods, the noise variance
// concentrated out. Independent errors; or AR(1) errors: on evenly spaced x a stationary AR(1)
// with coefficient phi in (-1, 1), on uneven x its continuous-time form with persistence time
// tau (the AR(1) coefficient over a gap dt is exp(-dt / tau)). Per-point standard deviations
// sigma_i, known up to a common factor, weight the residuals (empty: all equal).
// The residuals are in series order, x non-decreasing (non-increasing is read alike).
#pragma once

#include <cstddef>
#include <optional>
#include <random>
#include <span>
#include <vector>

namespace tolvenar::compare {

enum class NoiseModel { Independent, Ar1 };

// x is evenly spaced when every gap lies within this share of the mean gap. At
// that tolerance exp(-dt / tau) differs from the coefficient at the mean gap by under 0.1 % of
// |ln phi|, so the even and continuous-time forms agree; it passes gaps read from text with 7
// significant digits or through single precision on a moderate origin.
inline constexpr double kEvenSpacingTolerance = 1e-3;
// Gaps below this share of the mean gap (repeated x) count as this share of it, so that two
// different values at one x do not make the continuous-time likelihood zero.
inline constexpr double kMinimumGapShare = 1e-3;

// Whether x is evenly spaced (fewer than three points: yes).
bool evenly_spaced(std::span<const double> x);

struct NoiseFit {
    double log_likelihood = 0.0;  // maximised over phi or tau; +inf when every residual is 0
    // sigma^2 of the residuals over sigma_i: the innovation variance on even x (independent
    // errors: the variance), the process's marginal variance on uneven x.
    double variance = 0.0;
    double phi = 0.0;            // AR(1) coefficient; uneven x: at the mean gap; independent: 0
    std::optional<double> tau;   // persistence time in x units; AR(1) on uneven x only
    std::size_t parameters = 1;  // noise parameters counted in k: sigma^2, and phi or tau
};

// The noise model's maximum likelihood for `residuals` at `x` (sizes equal; sigma empty or of
// the same size, every sigma_i > 0, else std::invalid_argument). O(n) on even x; on uneven x
// O(n) for each of a few dozen likelihood evaluations.
NoiseFit fit_noise(std::span<const double> x, std::span<const double> residuals,
                   std::span<const double> sigma = {}, NoiseModel model = NoiseModel::Ar1);

// The AR(1) log-likelihood at a given coefficient, with sigma^2 at its maximum for it.
struct Profile {
    double log_likelihood = 0.0;
    double variance = 0.0;  // as NoiseFit::variance
};
// Evenly spaced points, phi in (-1, 1): the stationary first term included.
Profile ar1_profile(std::span<const double> residuals, std::span<const double> sigma, double phi);
// Continuous-time form on `x`, tau > 0 in x units.
Profile ou_profile(std::span<const double> x, std::span<const double> residuals,
                   std::span<const double> sigma, double tau);

// One series of noise at `x` drawn from the model of `fit` (white, AR(1) in index steps, or
// continuous-time when fit.tau is set), each point times its sigma_i. Draws x.size() normals.
std::vector<double> simulate_noise(std::span<const double> x, const NoiseFit& fit,
                                   std::span<const double> sigma, std::mt19937_64& random);

}  // namespace tolvenar::compare
