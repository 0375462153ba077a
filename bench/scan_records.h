// SPDX-License-Identifier: GPL-3.0-or-later
// Synthetic records with known transitions for the event scan's benchmarks and study: ramps and
// steps on a flat or slowly drifting background, white or AR(1) noise, even or uneven x.
#pragma once

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace tolvenar::bench {

struct Transition {
    double onset = 0.0, end = 0.0;  // x; end == onset for a step
    double amplitude = 0.0;         // level change, noise sd
};

struct RecordSpec {
    std::size_t points = 1000;
    bool even = true;     // gaps 1; else drawn uniformly from 0.3 to 1.7
    double tau = 0.0;     // noise persistence in x units (mean gap 1); 0: white
    double drift = 0.0;   // slow background: a sine of this amplitude (noise sd), period 1.5 spans
    std::vector<Transition> transitions;  // x from 0 to about points - 1
};

struct Record {
    std::vector<double> x, y;
    std::vector<Transition> transitions;
};

// The level of `transitions` at x: each adds its amplitude, linearly over [onset, end].
inline double level_at(const std::vector<Transition>& transitions, double x)
{
    double level = 0.0;
    for (const Transition& t : transitions)
        level += x >= t.end ? t.amplitude
                 : x > t.onset ? t.amplitude * (x - t.onset) / (t.end - t.onset)
                               : 0.0;
    return level;
}

inline Record make_record(const RecordSpec& spec, std::mt19937_64& random)
{
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> gap(0.3, 1.7), phase(0.0, 2.0 * std::numbers::pi);
    Record r;
    r.transitions = spec.transitions;
    r.x.resize(spec.points);
    r.y.resize(spec.points);
    const double span = static_cast<double>(spec.points - 1);
    const double start = phase(random);
    double noise = 0.0;
    for (std::size_t i = 0; i < spec.points; ++i) {
        r.x[i] = i == 0 ? 0.0 : r.x[i - 1] + (spec.even ? 1.0 : gap(random));
        const double a =
            i > 0 && spec.tau > 0.0 ? std::exp(-(r.x[i] - r.x[i - 1]) / spec.tau) : 0.0;
        noise = i == 0 ? normal(random) : a * noise + std::sqrt(1.0 - a * a) * normal(random);
        const double drift =
            spec.drift * std::sin(start + 2.0 * std::numbers::pi * r.x[i] / (1.5 * span));
        r.y[i] = level_at(spec.transitions, r.x[i]) + drift + noise;
    }
    return r;
}

}  // namespace tolvenar::bench
