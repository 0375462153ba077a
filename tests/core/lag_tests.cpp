// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/job/lag_combine.h"
#include "core/job/lag_job.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <numeric>
#include <random>

namespace tolvenar {
namespace {

// Normal deviates by Box-Muller over mt19937, the same on every library.
std::vector<double> normals(std::size_t n, std::uint32_t seed)
{
    std::mt19937 engine(seed);
    const auto uniform = [&] { return (static_cast<double>(engine()) + 0.5) * 0x1p-32; };
    std::vector<double> e(n);
    for (auto& v : e)
        v = std::sqrt(-2.0 * std::log(uniform())) * std::cos(6.283185307179586 * uniform());
    return e;
}

// A ramp from 0 to 1 between `start` and `start + 40` at x, plus `noise` where given.
std::vector<double> ramp(const std::vector<double>& x, double start,
                         const std::vector<double>& noise = {})
{
    std::vector<double> y;
    for (std::size_t i = 0; i < x.size(); ++i)
        y.push_back(std::clamp((x[i] - start) / 40.0, 0.0, 1.0) + (noise.empty() ? 0.0 : noise[i]));
    return y;
}

std::vector<double> evenly(std::size_t n, double first, double step)
{
    std::vector<double> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = first + step * static_cast<double>(i);
    return x;
}

FitRequest request(std::int32_t replicates)
{
    FitRequest request;
    request.searches = {{"4", "300", false}};
    request.bootstrap = replicates;
    request.threads = 2;
    return request;
}

LagRecord lags(const std::vector<double>& x_a, const std::vector<double>& a,
               const std::vector<double>& x_b, const std::vector<double>& b,
               std::int32_t replicates)
{
    const std::vector<LagSeries> series{{"a", import_data_arrays(x_a, a)},
                                        {"b", import_data_arrays(x_b, b)}};
    JobControl control;
    control.threads = 2;
    return fit_lags(series, "a", request(replicates), "", control);
}

TEST(Lags, APairWithAKnownLagAndNoNoiseGivesThatLag)
{
    struct Case {
        const char* name;
        double first, step, lag;
        bool uneven_b;  // b measured on other x: its replicates drawn apart
    };
    for (const Case& c : {Case{"later", 0.0, 1.0, 10.0, false},
                          Case{"earlier, far from zero", 41000.0, 2.0, -14.0, false},
                          Case{"on other x", 0.0, 1.0, 6.0, true}}) {
        const std::vector<double> x = evenly(200, c.first, c.step);
        std::vector<double> x_b = x;
        if (c.uneven_b)
            for (std::size_t i = 1; i + 1 < x_b.size(); i += 3)
                x_b[i] += 0.5 * c.step;
        const double start = c.first + 80.0 * c.step;
        const LagRecord record = lags(x, ramp(x, start), x_b, ramp(x_b, start + c.lag), 20);
        ASSERT_EQ(record.code, kExitSuccess) << c.name << ": " << record.reason;
        ASSERT_EQ(record.lags.size(), 2u) << c.name;  // X2 and X3 of the ramp
        for (const Lag& lag : record.lags) {
            EXPECT_EQ(lag.series, "b");
            EXPECT_EQ(lag.to, "a");
            EXPECT_EQ(lag.lag, c.lag) << c.name;
            ASSERT_TRUE(lag.interval) << c.name;
            EXPECT_EQ(std::pair(lag.interval->lo, lag.interval->hi), std::pair(c.lag, c.lag)) << c.name;
            EXPECT_EQ(lag.joint, !c.uneven_b) << c.name;
            EXPECT_EQ(lag.pairs, 20u) << c.name;
        }
        EXPECT_EQ(record.lags[0].vertex, 2);
        EXPECT_EQ(record.lags[1].vertex, 3);
    }
}

// Each series fitted as fit_lags fits it, its bootstrap drawing blocks of `blocks` (0: its own).
std::vector<std::optional<KeptFit>> kept_fits(const std::vector<CheckedImport>& imports,
                                              FitRequest asked,
                                              const std::vector<std::size_t>& blocks = {0, 0})
{
    std::vector<std::optional<KeptFit>> kept(imports.size());
    JobControl control;
    control.threads = 2;
    for (std::size_t s = 0; s < imports.size(); ++s) {
        control.kept = &kept[s];
        asked.block_length = blocks[s];
        asked.shared_rows = true;  // as fit_lags asks
        fit_series(imports[s], asked, "", control);
    }
    return kept;
}

// The kept fits as joint_replicates takes them, with their own bootstrap's replicates or none.
std::vector<refine::JointSeries> joint_of(const std::vector<std::optional<KeptFit>>& kept, bool own)
{
    std::vector<refine::JointSeries> series;
    for (const auto& fit : kept)
        series.push_back({&fit->crop, &fit->refined, fit->settings,
                          own ? std::span(fit->replicates) : std::span<const std::optional<refine::Replicate>>()});
    return series;
}

// The correlation of the two series' replicate plateaus (Y1): shared draws carry the noise's.
double plateau_correlation(const LagRecord& record, const std::vector<double>& x_a,
                           const std::vector<double>& a, const std::vector<double>& x_b,
                           const std::vector<double>& b)
{
    const auto kept = kept_fits({import_data_arrays(x_a, a), import_data_arrays(x_b, b)}, record.request);
    const auto series = joint_of(kept, false);
    const refine::JointReplicates joint = refine::joint_replicates(series);
    std::vector<double> p, q;
    for (std::size_t r = 0; r < joint.replicates[0].size(); ++r)
        if (joint.replicates[0][r] && joint.replicates[1][r]) {
            p.push_back(joint.replicates[0][r]->model.y[1]);
            q.push_back(joint.replicates[1][r]->model.y[1]);
        }
    const double n = static_cast<double>(p.size());
    const double mp = std::accumulate(p.begin(), p.end(), 0.0) / n;
    const double mq = std::accumulate(q.begin(), q.end(), 0.0) / n;
    double spq = 0.0, spp = 0.0, sqq = 0.0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        spq += (p[i] - mp) * (q[i] - mq);
        spp += (p[i] - mp) * (p[i] - mp);
        sqq += (q[i] - mq) * (q[i] - mq);
    }
    return spq / std::sqrt(spp * sqq);
}

TEST(Lags, JointResamplingKeepsTheCorrelationGivenToTheNoise)
{
    struct Case {
        const char* name;
        bool uneven;    // AR(1) innovations shared rather than blocks
        bool other_x;   // b on other x: drawn apart
        double low, high;  // where the replicates' correlation must lie
    };
    for (const Case& c : {Case{"blocks", false, false, 0.6, 1.0},
                          Case{"AR(1) innovations", true, false, 0.6, 1.0},
                          Case{"apart", true, true, -0.35, 0.35}}) {
        std::vector<double> x = evenly(240, 0.0, 1.0);
        if (c.uneven)
            for (std::size_t i = 0; i < x.size(); ++i)
                x[i] += 0.4 * std::sin(static_cast<double>(i));
        std::vector<double> x_b = x;
        if (c.other_x)
            for (double& v : x_b)
                v += 0.25;
        // Noise correlated 0.9 between the series, persistent within each.
        const std::vector<double> u = normals(x.size(), 7), v = normals(x.size(), 8);
        std::vector<double> e_a(x.size()), e_b(x.size());
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double shared = 0.1 * u[i], own = 0.1 * std::sqrt(1.0 - 0.81) * v[i];
            e_a[i] = (i ? 0.5 * e_a[i - 1] : 0.0) + shared;
            e_b[i] = (i ? 0.5 * e_b[i - 1] : 0.0) + 0.9 * shared + own;
        }
        const std::vector<double> a = ramp(x, 90.0, e_a), b = ramp(x_b, 100.0, e_b);
        const LagRecord record = lags(x, a, x_b, b, 100);
        ASSERT_EQ(record.code, kExitSuccess) << c.name;
        EXPECT_EQ(record.lags.front().joint, !c.other_x) << c.name;
        const double r = plateau_correlation(record, x, a, x_b, b);
        EXPECT_GT(r, c.low) << c.name;
        EXPECT_LT(r, c.high) << c.name;
        if (c.uneven && !c.other_x)  // the innovations' carry over each gap, as a reviewed run gave
            EXPECT_NEAR(record.lags.front().interval->lo, 4.6839093, 1e-6);
    }
}

// Whether two series' replicates are the same models, none where none was found.
bool same(const std::vector<std::optional<refine::Replicate>>& p,
          const std::vector<std::optional<refine::Replicate>>& q)
{
    return std::equal(p.begin(), p.end(), q.begin(), q.end(), [](const auto& m, const auto& n) {
        return m.has_value() == n.has_value() &&
               (!m || (m->model.x == n->model.x && m->model.y == n->model.y));
    });
}

TEST(Lags, SeriesOnEvenXMakeTheLagsReplicatesWithTheirOwn)
{
    // a's noise persists, b's does not: a asks longer blocks, which b then draws too.
    const std::vector<double> x = evenly(200, 0.0, 1.0), u = normals(x.size(), 3),
                              v = normals(x.size(), 4);
    std::vector<double> e_a(x.size()), e_b(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        e_b[i] = 0.05 * u[i];
        e_a[i] = (i ? 0.8 * e_a[i - 1] : 0.0) + 0.05 * (0.6 * u[i] + 0.8 * v[i]);
    }
    const std::vector<CheckedImport> imports{import_data_arrays(x, ramp(x, 70.0, e_a)),
                                             import_data_arrays(x, ramp(x, 80.0, e_b))};
    FitRequest asked = request(30);
    asked.refine = true;
    const auto own_blocks = kept_fits(imports, asked);
    const std::vector<std::size_t> shared = refine::shared_block_lengths(joint_of(own_blocks, false));
    ASSERT_EQ(shared.size(), 2u);
    ASSERT_EQ(shared[0], shared[1]);
    std::vector<refine::JointSeries> halted = joint_of(own_blocks, false);
    EXPECT_EQ(refine::shared_block_lengths(std::span(halted).first(1))[0], 0u);  // alone: its own length
    const std::atomic<bool> stop{true};
    halted[0].settings.stop = &stop;  // the first series' stop halts them all: none made
    EXPECT_EQ(refine::joint_replicates(halted).done, 0u);

    struct Case {
        const char* name;
        std::vector<std::size_t> blocks;  // asked of each series' own bootstrap
        bool taken[2];                    // its own replicates are its joint ones
    };
    for (const Case& c : {Case{"the group's blocks", shared, {true, true}},
                          // b draws shorter blocks alone: made again for the lags
                          Case{"their own blocks", {0, 0}, {true, false}}}) {
        const auto kept = kept_fits(imports, asked, c.blocks);
        const auto with_own = joint_of(kept, true), without = joint_of(kept, false);
        const refine::JointReplicates taken = refine::joint_replicates(with_own),
                                      made = refine::joint_replicates(without);
        for (std::size_t s = 0; s < 2; ++s) {
            EXPECT_TRUE(same(taken.replicates[s], made.replicates[s])) << c.name << " " << s;
            EXPECT_EQ(same(made.replicates[s], kept[s]->replicates), c.taken[s]) << c.name << " " << s;
        }
    }
    // fit_lags asks the group's blocks of each series' own intervals.
    const std::vector<LagSeries> series{{"a", imports[0]}, {"b", imports[1]}};
    JobControl control;
    control.threads = 2;
    const LagRecord record = fit_lags(series, "a", request(30), "", control);
    ASSERT_EQ(record.code, kExitSuccess) << record.reason;
    for (const FitRecord& fitted : record.series)
        EXPECT_EQ(fitted.found->refined->intervals->block_length, shared[0]);
}

TEST(Lags, RefusesWhatGivesNoLag)
{
    const std::vector<double> x = evenly(50, 0.0, 1.0), y = ramp(x, 20.0);
    const LagSeries a{"a", import_data_arrays(x, y)}, b{"b", import_data_arrays(x, y)};
    FitRequest compare = request(0);
    compare.compare = true;
    struct Case {
        std::vector<LagSeries> series;
        std::string reference;
        FitRequest request;
        std::string reason;
    };
    for (const Case& c :
         {Case{{a, b}, "c", request(0), "the reference \"c\" is not one of the series fitted"},
          Case{{a}, "a", request(0), "lags need two series or more"},
          Case{{a, a}, "a", request(0), "the series \"a\" is given twice"},
          Case{{a, b}, "a", compare, "lags need one family for every series"}}) {
        const LagRecord record = fit_lags(c.series, c.reference, c.request, "", {});
        EXPECT_EQ(record.code, kExitRefused) << c.reason;
        EXPECT_EQ(record.reason.rfind(c.reason, 0), 0u) << record.reason;
        EXPECT_TRUE(record.lags.empty());
    }
}

TEST(CombineLags, WeighsEachEventBySpreadAndWidensByTheScatterBetween)
{
    const double z = 1.6448536269514722;  // 90 %
    const auto event = [&](double lag, double sd) {
        return EventLag{lag, {lag - z * sd, lag + z * sd}};
    };
    struct Case {
        const char* name;
        std::vector<EventLag> events;
        double lag, half, spread_half;
        double level = 0.9;
    };
    const double third = 1.0 / std::sqrt(3.0);
    for (const Case& c : {
             Case{"identical", {event(-10.3, 2.0), event(-10.3, 2.0), event(-10.3, 2.0)},
                  -10.3, z * 2.0 * third, z * 2.0 * third},
             Case{"one", {event(4.0, 1.0)}, 4.0, z, z},
             // Weights 1/1 and 1/4: (1 * 0 + 0.25 * 10) / 1.25 = 2, error sqrt(1 / 1.25).
             Case{"weighted", {event(0.0, 1.0), event(10.0, 2.0)}, 2.0, z * std::sqrt(0.8),
                  // Q = 1 * 4 + 0.25 * 64 = 20, tau^2 = 19 / (1.25 - 1.0625 / 1.25) = 47.5
                  z / std::sqrt(1.0 / 48.5 + 1.0 / 51.5)},
             Case{"no spread of their own", {event(1.0, 0.0), event(3.0, 0.0)}, 2.0, 0.0,
                  z * std::sqrt(2.0 / 2.0)},
             // Above about 95 % the quantile comes from its far tail.
             Case{"99 %", {event(1.0, 0.0), event(3.0, 0.0)}, 2.0, 0.0, 2.5758293035489004, 0.99},
         }) {
        const CombinedLag combined = combine_lags(c.events, c.level);
        if (std::string(c.name) == "identical")
            EXPECT_EQ(combined.lag, c.events.front().lag);
        EXPECT_NEAR(combined.lag, c.lag, 1e-12) << c.name;
        EXPECT_NEAR(combined.interval.hi - combined.lag, c.half, 1e-9) << c.name;
        EXPECT_NEAR(combined.lag - combined.interval.lo, c.half, 1e-9) << c.name;
        const double middle = (combined.spread_interval.lo + combined.spread_interval.hi) / 2;
        EXPECT_NEAR(combined.spread_interval.hi - middle, c.spread_half, 1e-9) << c.name;
        EXPECT_EQ(combined.events, c.events.size());
    }
}

TEST(CombineLags, GroupsEachSeriesAndBreakPointOverTheFiles)
{
    const auto lag = [](const char* series, int vertex, double value) {
        return Lag{series, "d18O", vertex, value, Range{value - 1.0, value + 1.0}, true, 100};
    };
    Lag without = lag("Na", 2, 5.0);
    without.interval.reset();
    const std::vector<std::vector<Lag>> files{{lag("Ca", 2, -10.0), lag("Ca", 3, -8.0)},
                                              {lag("Ca", 3, -8.0), without, lag("Ca", 2, -10.0)}};
    const std::vector<CombinedRow> rows = combine_over_events(files, 0.9);
    ASSERT_EQ(rows.size(), 2u);  // a lag without an interval weighs nothing
    for (const auto& [row, vertex, lag, events] : {std::tuple{0, 2, -10.0, 2u}, {1, 3, -8.0, 2u}})
        EXPECT_EQ(std::tuple(rows[row].vertex, rows[row].combined.lag, rows[row].combined.events),
                  std::tuple(vertex, lag, events)) << vertex;
}

}  // namespace
}  // namespace tolvenar
