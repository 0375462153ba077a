// SPDX-License-Identifier: GPL-3.0-or-later
// Synthetic records with known transitions for the event scan's benchmarks and study: ramps and
// steps on a flat or slowly drifting background, white or AR(1) noise, even or uneven x.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace tolvenar::bench {

struct Transition {
    double onset = 0.0, end = 0.0;  // x; end == onset for a step
    double amplitude = 0.0;         // level change (noise sd in make_record)
};

struct RecordPlan {
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

inline Record make_record(const RecordPlan& plan, std::mt19937_64& random)
{
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> gap(0.3, 1.7), phase(0.0, 2.0 * std::numbers::pi);
    Record r;
    r.transitions = plan.transitions;
    r.x.resize(plan.points);
    r.y.resize(plan.points);
    const double span = static_cast<double>(plan.points - 1);
    const double start = phase(random);
    double noise = 0.0;
    for (std::size_t i = 0; i < plan.points; ++i) {
        r.x[i] = i == 0 ? 0.0 : r.x[i - 1] + (plan.even ? 1.0 : gap(random));
        const double a =
            i > 0 && plan.tau > 0.0 ? std::exp(-(r.x[i] - r.x[i - 1]) / plan.tau) : 0.0;
        noise = i == 0 ? normal(random) : a * noise + std::sqrt(1.0 - a * a) * normal(random);
        const double drift =
            plan.drift * std::sin(start + 2.0 * std::numbers::pi * r.x[i] / (1.5 * span));
        r.y[i] = level_at(plan.transitions, r.x[i]) + drift + noise;
    }
    return r;
}

// A realistic long record, made since none can be fetched here: 60 kyr of an ice core's oxygen
// isotopes like Greenland's, means over 10 years in the upper 30 kyr and over 20 years below
// (ages jittered by up to a fifth of a gap), with the Holocene and the interstadials of the last
// glacial at about their published onset ages: each a warming over 30 to 60 years, a slow
// cooling limb through the interstadial (3/10 of the warming) and an abrupt fall back over a
// century or two, on a slow orbital-scale drift of 2 permil, in AR(1) noise of persistence 30
// years and 0.8 permil. x is the age (yr b2k), so a warming is a fall of y along x; the
// transitions come in age order.
struct Interstadial {
    double onset;    // age of the warming's start, yr b2k (its older end)
    double length;   // years from the warming to the fall back
    double warming;  // permil
};

// Onsets of the Holocene and of GI-1 to GI-17, rounded, with their lengths.
inline const std::vector<Interstadial>& interstadials()
{
    static const std::vector<Interstadial> all{
        {11700, 11700, 6.5}, {14700, 1800, 5.0}, {23340, 300, 3.5}, {27780, 250, 3.5},
        {28900, 300, 4.0},   {30840, 250, 3.0},  {32500, 500, 3.5}, {33740, 400, 4.0},
        {35480, 800, 4.0},   {38220, 1600, 4.5}, {40160, 200, 3.5}, {41460, 800, 4.0},
        {43340, 1000, 4.5},  {46860, 2500, 4.5}, {49280, 1500, 4.0}, {54220, 4600, 5.0},
        {55800, 300, 3.5},   {58280, 800, 4.0},  {59440, 800, 4.0},
    };
    return all;
}

inline Record greenland_like_record(std::uint64_t seed)
{
    std::mt19937_64 random(seed);
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> jitter(-0.2, 0.2), rise(30.0, 60.0), fall(100.0, 200.0);
    Record r;
    // Along increasing age each interstadial is the fall back (its younger end), the limb, the
    // warming; the Holocene runs to the present.
    std::vector<Transition> limbs;
    for (const Interstadial& s : interstadials()) {
        const double warm = rise(random), cool = fall(random);
        const double start = s.onset - s.length;
        const double limb = 0.3 * s.warming;
        if (start > 0.0)
            r.transitions.push_back({start - cool, start, s.warming - limb});
        limbs.push_back({std::max(0.0, start), s.onset - warm, limb});
        r.transitions.push_back({s.onset - warm, s.onset, -s.warming});
    }
    std::sort(r.transitions.begin(), r.transitions.end(),
              [](const Transition& a, const Transition& b) { return a.onset < b.onset; });
    double noise = 0.0;
    for (double age = 20.0; age < 60000.0;) {
        const double a = r.x.empty() ? 0.0 : std::exp(-(age - r.x.back()) / 30.0);
        noise = a * noise + std::sqrt(1.0 - a * a) * normal(random);
        r.x.push_back(age);
        r.y.push_back(-35.0 - 2.0 * std::sin(std::numbers::pi * age / 60000.0) +
                      level_at(r.transitions, age) + level_at(limbs, age) + 0.8 * noise);
        age += (age < 30000.0 ? 10.0 : 20.0) * (1.0 + jitter(random));
    }
    return r;
}

}  // namespace tolvenar::bench
