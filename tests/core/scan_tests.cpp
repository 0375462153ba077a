// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scan/scan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>

using namespace tolvenar::scan;

namespace {

using Matrix = std::vector<std::vector<double>>;

// The least sum of squares over the values at `knots` (the curve linear between them), over
// var: by Gram-Schmidt on the knots' hat functions, another road than the segmentation's.
double knots_cost(std::span<const double> x, std::span<const double> y,
                  const std::vector<std::size_t>& knots, double var)
{
    const std::size_t n = x.size();
    std::vector<double> rest(y.begin(), y.end());
    std::vector<std::vector<double>> basis;
    for (std::size_t c = 0; c < knots.size(); ++c) {
        const double at = x[knots[c]];
        const double left = c > 0 ? x[knots[c - 1]] : at;
        const double right = c + 1 < knots.size() ? x[knots[c + 1]] : at;
        std::vector<double> q(n);
        for (std::size_t i = 0; i < n; ++i)
            q[i] = x[i] == at                  ? 1.0
                   : x[i] < at && x[i] > left  ? (x[i] - left) / (at - left)
                   : x[i] > at && x[i] < right ? (right - x[i]) / (right - at)
                                               : 0.0;
        for (const auto& b : basis) {
            const double dot = std::inner_product(b.begin(), b.end(), q.begin(), 0.0);
            for (std::size_t i = 0; i < n; ++i)
                q[i] -= dot * b[i];
        }
        const double norm = std::sqrt(std::inner_product(q.begin(), q.end(), q.begin(), 0.0));
        for (double& v : q)
            v /= norm;
        const double dot = std::inner_product(q.begin(), q.end(), rest.begin(), 0.0);
        for (std::size_t i = 0; i < n; ++i)
            rest[i] -= dot * q[i];
        basis.push_back(std::move(q));
    }
    return std::inner_product(rest.begin(), rest.end(), rest.begin(), 0.0) / var;
}

// Noise of unit marginal sd with persistence tau (0: white) at x.
std::vector<double> red_noise(std::span<const double> x, double tau, std::mt19937_64& random)
{
    std::normal_distribution<double> normal;
    std::vector<double> e(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double a = i > 0 && tau > 0.0 ? std::exp(-(x[i] - x[i - 1]) / tau) : 0.0;
        e[i] = i == 0 ? normal(random) : a * e[i - 1] + std::sqrt(1.0 - a * a) * normal(random);
    }
    return e;
}

// n points from 0, gaps 1 (even) or drawn from 0.4 to 1.6.
std::vector<double> abscissae(std::size_t n, bool even, std::mt19937_64& random)
{
    std::uniform_real_distribution<double> gap(0.4, 1.6);
    std::vector<double> x(n, 0.0);
    for (std::size_t i = 1; i < n; ++i)
        x[i] = x[i - 1] + (even ? 1.0 : gap(random));
    return x;
}

struct SmallCase {
    bool even;
    double tau, penalty;
    std::size_t min_size;
};

TEST(Segmentation, EqualsTheBestOfEveryKnotSetOnSmallSeries)
{
    for (const SmallCase c : {SmallCase{true, 0.0, 2.0, 1}, {true, 2.0, 1.0, 1}, {false, 1.5, 3.0, 1},
                              {false, 3.0, 0.5, 2}, {true, 0.7, 0.0, 3}, {false, 0.0, 6.0, 1},
                              {false, 1.0, 0.0, 1}}) {  // no penalty: every point a knot
        for (std::uint64_t seed = 1; seed <= 4; ++seed) {
            std::mt19937_64 random(seed);
            const std::size_t n = 11;
            const auto x = abscissae(n, c.even, random);
            auto y = red_noise(x, c.tau, random);
            for (std::size_t i = 0; i < n; ++i)
                y[i] = 0.5 * y[i] + (i > 5 ? 2.0 : 0.3 * x[i]);
            const Segmentation s =
                segment(x, y, {.variance = 0.25, .penalty = c.penalty, .min_size = c.min_size});
            // Every set of interior knots whose segments hold min_size points or more.
            double best = INFINITY;
            for (std::uint32_t mask = 0; mask < (1u << (n - 2)); ++mask) {
                std::vector<std::size_t> knots{0};
                for (std::size_t i = 1; i + 1 < n; ++i)
                    if (mask >> (i - 1) & 1u)
                        knots.push_back(i);
                knots.push_back(n - 1);
                bool fits = true;
                for (std::size_t j = 1; j < knots.size(); ++j)
                    fits = fits && knots[j] - knots[j - 1] >= c.min_size;
                if (fits)
                    best = std::min(best, knots_cost(x, y, knots, 0.25) +
                                              c.penalty * double(knots.size() - 2));
            }
            const std::string label = "case tau " + std::to_string(c.tau) + " seed " + std::to_string(seed);
            EXPECT_NEAR(s.cost, best, 1e-9 * best + 1e-12) << label << " knots " << s.knots.size();
            EXPECT_NEAR(knots_cost(x, y, s.knots, 0.25) +
                            c.penalty * double(s.knots.size() - 2), best, 1e-9 * best + 1e-12) << label;
        }
    }
}

}  // namespace

TEST(Segmentation, RefusesWhatItCannotSegmentAndShortSeriesAreTheirOwnPoints)
{
    const std::vector<double> x{0, 1, 2}, y{0, 1, 0};
    struct Case { std::vector<double> x, y; SegmentationSettings settings; };
    for (const Case& c : {Case{x, {0, 1}, {}}, Case{{0, 2, 1}, y, {}}, Case{{0, 1, 1}, y, {}},
                          Case{x, {0, NAN, 0}, {}}, Case{x, y, {.variance = 0.0}},
                          Case{x, y, {.penalty = -1.0}}, Case{x, y, {.min_size = 0}}})
        EXPECT_THROW(segment(c.x, c.y, c.settings), std::invalid_argument);
    const std::vector<double> two_x{0.0, 1.5}, two_y{2.0, -1.0};
    for (std::size_t n = 0; n <= 2; ++n) {
        const Segmentation s = segment(std::span(two_x).first(n), std::span(two_y).first(n), {});
        ASSERT_EQ(s.knots.size(), n);
        for (std::size_t k = 0; k < n; ++k) {
            EXPECT_EQ(s.knots[k], k);
            EXPECT_NEAR(s.values[k], two_y[k], 1e-12);
        }
    }
}

TEST(ScanNoise, EstimatesPersistenceAndVarianceDespiteStepsAndDriftAndGivesThoseOfBlockMeans)
{
    struct Case { bool even; double tau, steps; };  // steps: their height in noise sd, at 1, 501, ...
    for (const Case c : {Case{true, 0.0, 0.0}, {true, 3.0, 0.0}, {false, 3.0, 0.0}, {false, 1.0, 8.0},
                         {true, 3.0, 1000.0}}) {
        std::mt19937_64 random(11);
        const auto x = abscissae(6000, c.even, random);
        auto y = red_noise(x, c.tau, random);
        for (std::size_t i = 0; i < y.size(); ++i)
            y[i] += c.steps * static_cast<double>((i + 499) / 500 % 2) + 2e-3 * x[i];
        const NoiseEstimate e = estimate_noise(x, y);
        const double mean_gap = x.back() / static_cast<double>(x.size() - 1);
        const double phi = c.tau > 0.0 ? std::exp(-mean_gap / c.tau) : 0.0;
        EXPECT_NEAR(e.phi, phi, 0.05) << c.tau << " " << c.steps;
        EXPECT_NEAR(e.variance, 1.0, 0.12) << c.tau << " " << c.steps;
    }
    // A quiet ramp, 3 over 20 of 200 points, noise sd 0.01 or none: no drift, its event found.
    std::mt19937_64 quiet_random(5);
    const auto qx = abscissae(200, true, quiet_random);
    for (const double sd : {0.01, 0.0}) {
        auto qy = red_noise(qx, 0.0, quiet_random);
        for (std::size_t i = 0; i < qy.size(); ++i)
            qy[i] = sd * qy[i] + 3.0 * std::clamp((qx[i] - 80.0) / 20.0, 0.0, 1.0);
        EXPECT_NEAR(std::sqrt(estimate_noise(qx, qy).variance), sd, 0.002);
        EXPECT_EQ(scan_series(qx, qy).events.size(), 1u) << sd;
    }
    // Means of blocks of AR(1) noise (phi 0.5 at the gap): the variance and the neighbouring
    // means' correlation that the points' covariances sum to.
    struct Means { std::size_t block; double variance, phi; };
    for (const Means m : {Means{1, 1.0, 0.5}, {2, 0.75, 0.375}, {3, 5.5 / 9.0, 1.53125 / 5.5}}) {
        const NoiseEstimate e = noise_of_means({1.0, 1.0 / std::log(2.0), 0.5}, 1.0, m.block);
        EXPECT_NEAR(e.variance, m.variance, 1e-12) << m.block;
        EXPECT_NEAR(e.phi, m.phi, 1e-12) << m.block;
    }
}

// A segmentation written by hand: knots at x and their values.
Segmentation polyline(const std::vector<std::size_t>& knots, const std::vector<double>& values)
{
    Segmentation s;
    s.knots = knots;
    s.values = values;
    return s;
}

TEST(Events, SteepRunsStandingOutFromTheirBackgroundAreEvents)
{
    std::vector<double> x(1001);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<double>(i);
    struct Case {
        const char* name;
        Segmentation s;
        std::vector<std::pair<std::size_t, std::size_t>> want;  // onset and end knots
    };
    const std::vector<Case> cases{
        {"a step", polyline({0, 400, 401, 1000}, {0, 0, 5, 5}), {{400, 401}}},
        {"a ramp on a drift", polyline({0, 300, 340, 1000}, {0, 1.5, 7.7, 11}), {{300, 340}}},
        {"a sigmoid in three steep segments", polyline({0, 300, 310, 320, 330, 1000},
                                                       {0, 0, 1.5, 4, 5.5, 5.5}), {{300, 330}}},
        {"a sawtooth: warming, slow cooling limb, abrupt cooling",
         polyline({0, 200, 205, 600, 620, 1000}, {0, 0, 6, 4, 0, 0}), {{200, 205}, {600, 620}}},
        {"a step too small against the noise", polyline({0, 400, 401, 1000}, {0, 0, 1.9, 1.9}), {}},
        {"an accelerating drift", polyline({0, 250, 500, 750, 1000}, {0, 1, 3, 7, 15}), {}},
        {"one straight segment", polyline({0, 1000}, {0, 50}), {}},
        {"a rise and a fall back", polyline({0, 400, 420, 440, 1000}, {0, 0, 6, 0, 0}),
         {{400, 420}, {420, 440}}}};
    for (const Case& c : cases) {
        const auto events = find_events(x, c.s, 1.0);
        ASSERT_EQ(events.size(), c.want.size()) << c.name;
        for (std::size_t k = 0; k < events.size(); ++k) {
            EXPECT_EQ(events[k].onset_index, c.want[k].first) << c.name;
            EXPECT_EQ(events[k].end_index, c.want[k].second) << c.name;
            EXPECT_DOUBLE_EQ(events[k].amplitude, events[k].level_after - events[k].level_before);
        }
    }
}

// Transitions at known places in AR(1) noise: (onset, duration, height in noise sd).
struct Known {
    double onset, duration, height;
};

std::vector<double> with_transitions(std::span<const double> x, std::vector<double> y,
                                     const std::vector<Known>& known)
{
    for (std::size_t i = 0; i < x.size(); ++i)
        for (const Known& k : known)
            y[i] += x[i] >= k.onset + k.duration ? k.height
                    : x[i] > k.onset             ? k.height * (x[i] - k.onset) / k.duration
                                                 : 0.0;
    return y;
}

TEST(Scan, FindsEachKnownRampAndStepWithinItsDuration)
{
    const std::vector<Known> known{{300, 0, 5}, {700, 20, -6}, {1100, 8, 4}, {1500, 40, 6}};
    struct Case {
        bool even;
        double tau;
        std::uint64_t seed;
    };
    for (const Case c : {Case{true, 0.0, 1}, {true, 2.0, 2}, {false, 2.0, 3}, {false, 1.0, 4},
                         {true, 1.0, 5}}) {
        std::mt19937_64 random(c.seed);
        const auto x = abscissae(1900, c.even, random);
        const auto y = with_transitions(x, red_noise(x, c.tau, random), known);
        const ScanResult result = scan_series(x, y);
        const std::string label = "tau " + std::to_string(c.tau) + " seed " + std::to_string(c.seed);
        ASSERT_EQ(result.events.size(), known.size()) << label;
        for (std::size_t k = 0; k < known.size(); ++k) {
            const Event& e = result.events[k];
            // The onset within the transition's duration (5 gaps for a step) of the truth, the
            // end within twice that.
            const double slack = std::max(known[k].duration, 5.0);
            EXPECT_NEAR(e.onset, known[k].onset, slack) << label << " event " << k;
            EXPECT_NEAR(e.end, known[k].onset + known[k].duration, 2.0 * slack)
                << label << " event " << k;
            EXPECT_NEAR(e.amplitude, known[k].height, 1.5) << label << " event " << k;
            // Each crop lies between its neighbours, and reaches kCropReach points beyond the
            // event where they leave room.
            const auto point = [&](std::size_t i) { return x[std::min(i, x.size() - 1)]; };
            EXPECT_EQ(e.crop_from, std::max(k == 0 ? x.front() : result.events[k - 1].end,
                                            e.onset_index >= kCropReach
                                                ? x[e.onset_index - kCropReach]
                                                : x.front()))
                << label;
            EXPECT_EQ(e.crop_to, std::min(k + 1 == known.size() ? x.back()
                                                                : result.events[k + 1].onset,
                                          point(e.end_index + kCropReach)))
                << label;
            EXPECT_LE(e.crop_from, e.onset);
            EXPECT_LT(e.onset, e.end);
            EXPECT_LE(e.end, e.crop_to);
        }
        if (c.seed != 1)
            continue;
        // The largest two alone, their crops between each other.
        const ScanResult two = scan_series(x, y, {.max_events = 2});
        ASSERT_EQ(two.events.size(), 2u) << label;
        EXPECT_EQ(two.events[0].onset, result.events[1].onset) << label;
        EXPECT_EQ(two.events[1].onset, result.events[3].onset) << label;
        EXPECT_LE(two.events[0].crop_to, two.events[1].onset) << label;
        EXPECT_GE(two.events[1].crop_from, two.events[0].end) << label;
    }
}

TEST(Scan, RedNoiseAloneGivesNoEventInMostSeeds)
{
    // The default penalty is set for about 5 % of series; 2 in 40 is that rate, 6 would be 15 %.
    int with_event = 0;
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        std::mt19937_64 random(100 + seed);
        const auto x = abscissae(400, seed % 2 == 0, random);
        const auto y = red_noise(x, seed % 3 == 0 ? 0.0 : 2.5, random);
        with_event += !scan_series(x, y).events.empty();
    }
    EXPECT_LE(with_event, 5);
}

TEST(Scan, LongSeriesAreSegmentedOnBlockMeansAndTheirEventsPlacedOnThePoints)
{
    std::mt19937_64 random(21);
    const std::size_t n = 12000;  // blocks of 6 points
    const auto x = abscissae(n, false, random);
    std::vector<Known> known;
    for (int k = 0; k < 12; ++k)
        known.push_back({500.0 + 1000.0 * k, 10.0, k % 2 ? -5.0 : 5.0});
    const auto y = with_transitions(x, red_noise(x, 1.0, random), known);
    const ScanResult result = scan_series(x, y);
    ASSERT_EQ(result.block, (n + kBlocks - 1) / kBlocks);
    ASSERT_EQ(result.events.size(), known.size());
    for (std::size_t k = 0; k < known.size(); ++k) {
        const Event& e = result.events[k];
        EXPECT_NEAR(e.onset, known[k].onset, known[k].duration + 6.0) << k;
        EXPECT_NEAR(x[e.onset_index], e.onset, 3.0) << k;
        EXPECT_NEAR(x[e.end_index], e.end, 3.0) << k;
    }
}

TEST(Scan, AStopReturnsStoppedWithoutEvents)
{
    std::mt19937_64 random(5);
    const auto x = abscissae(3000, true, random);
    const auto y = with_transitions(x, red_noise(x, 1.0, random), {{1000, 0, 6}});
    const std::atomic<bool> stop{true};
    const ScanResult result = scan_series(x, y, {.stop = &stop});
    EXPECT_TRUE(result.stopped && result.events.empty());
    const Segmentation alone = segment(x, y, {.stop = &stop});
    EXPECT_TRUE(alone.stopped && alone.knots.empty());
}
