// SPDX-License-Identifier: GPL-3.0-or-later
// How often the lag intervals hold the true lag of simulated pairs. Each pair: 300 points, a
// ramp from 0 (up to X2 = 100) to 1 (from X3 = 180) in the reference and the same ramp `lag`
// later in the other series; noise of sd 0.3 in each, AR(1) in time (persistence two spacings)
// and correlated `rho` between the series. Each series is fitted and refined as tolvenar-fit
// --y A,B --lag-to A fits it, then the replicates of both are made together as the lags' are
// and the intervals of the X2 and X3 lags checked against the truth.
//
// Kinds: "joint, even x" (both on x = 0..299: blocks shared), "joint, uneven x" (both on the
// same uneven times: AR(1) innovations shared), "apart" (the other series on times half a
// spacing later: its replicates drawn on their own, although its noise is correlated).
//
//   lag_coverage [options]  (kUsage below)
//
// Prints per kind and break point: the coverage at 90 %, the mean width, the lag estimates'
// bias and spread, and the seconds per pair.
#include "core/job/lag_job.h"
#include "study_options.h"

#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "lag_coverage [--pairs P] [--points N] [--replicates B] [--rho R] [--lag L] [--seed K]\n"
    "             [--kind all|0|1|2]\n";

using namespace tolvenar;

constexpr double kX2 = 100.0, kX3 = 180.0, kSd = 0.3, kTau = 2.0;

struct Options {
    int pairs = 500, replicates = 200, points = 300;
    double rho = 0.7, lag = 12.0;
    std::uint32_t seed = 1;
    int kind = -1;  // all
};

struct Kind {
    const char* name;
    bool uneven;
    bool apart;
};

double ramp(double x, double shift)
{
    return std::clamp((x - kX2 - shift) / (kX3 - kX2), 0.0, 1.0);
}

// A continuous-time AR(1) of marginal sd 1 at times `t` (ascending).
std::vector<double> ou(const std::vector<double>& t, std::mt19937_64& random)
{
    std::normal_distribution<double> normal;
    std::vector<double> e(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
        const double a = i == 0 ? 0.0 : std::exp(-(t[i] - t[i - 1]) / kTau);
        e[i] = (i == 0 ? 0.0 : a * e[i - 1]) + std::sqrt(1.0 - a * a) * normal(random);
    }
    return e;
}

struct Tally {
    int covered[2] = {0, 0};
    int counted = 0;
    double width[2] = {0, 0}, sum[2] = {0, 0}, squares[2] = {0, 0};
};

Tally run_kind(const Kind& kind, const Options& options, double& seconds)
{
    Tally tally;
    std::mt19937_64 random(options.seed);
    std::uniform_real_distribution<double> gap(0.4, 1.6);
    const auto start = std::chrono::steady_clock::now();
    for (int p = 0; p < options.pairs; ++p) {
        const int points = options.points;
        std::vector<double> ta(points);
        for (int i = 0; i < points; ++i)
            ta[i] = kind.uneven ? (i ? ta[i - 1] + gap(random) : 0.0) : i;
        std::vector<double> tb = ta;
        if (kind.apart)
            for (double& t : tb)
                t += 0.5;
        // Noise on the union of the times: a shared process and each series' own.
        std::vector<double> all = ta;
        all.insert(all.end(), tb.begin(), tb.end());
        std::sort(all.begin(), all.end());
        all.erase(std::unique(all.begin(), all.end()), all.end());
        const std::vector<double> shared = ou(all, random), own_a = ou(all, random),
                                  own_b = ou(all, random);
        const auto at = [&](const std::vector<double>& e, double t) {
            return e[static_cast<std::size_t>(std::lower_bound(all.begin(), all.end(), t) -
                                              all.begin())];
        };
        const double own = std::sqrt(1.0 - options.rho);
        const double common = std::sqrt(options.rho);
        std::vector<double> a(points), b(points);
        for (int i = 0; i < points; ++i) {
            a[i] = ramp(ta[i], 0.0) + kSd * (common * at(shared, ta[i]) + own * at(own_a, ta[i]));
            b[i] = ramp(tb[i], options.lag) +
                   kSd * (common * at(shared, tb[i]) + own * at(own_b, tb[i]));
        }
        FitRequest request;
        request.searches = {{"3", "300", false}};
        request.refine = true;
        request.seed = static_cast<std::uint32_t>(options.seed + p);
        std::vector<std::optional<KeptFit>> kept(2);
        const std::vector<CheckedImport> imports{import_data_arrays(ta, a),
                                                 import_data_arrays(tb, b)};
        std::vector<refine::JointSeries> series;
        bool fitted = true;
        for (std::size_t s = 0; s < 2; ++s) {
            JobControl control;
            control.threads = 1;
            control.kept = &kept[s];
            fit_series(imports[s], request, "", control);
            fitted = fitted && kept[s];
            if (kept[s]) {
                kept[s]->settings.replicates = options.replicates;
                kept[s]->settings.seed = request.seed;
                series.push_back({&kept[s]->crop, &kept[s]->refined, kept[s]->settings});
            }
        }
        if (!fitted)
            continue;
        const refine::JointReplicates joint = refine::joint_replicates(series);
        ++tally.counted;
        for (int v = 2; v <= 3; ++v) {
            const auto side = [&](std::size_t s) {
                return LagSide{&kept[s]->refined, kept[s]->crop.origin, joint.replicates[s],
                               joint.errors[s]};
            };
            const Lag lag = lag_of(side(1), side(0), v, 0.9);
            const int k = v - 2;
            const double truth = options.lag;
            tally.covered[k] += lag.interval->lo <= truth && truth <= lag.interval->hi;
            tally.width[k] += lag.interval->hi - lag.interval->lo;
            tally.sum[k] += lag.lag - truth;
            tally.squares[k] += (lag.lag - truth) * (lag.lag - truth);
        }
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return tally;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    const auto kind = [&options](std::string_view v) {
        options.kind = -1;
        return v == "all" || (study::read_value(v, options.kind) && options.kind >= 0 &&
                              options.kind <= 2);
    };
    if (const auto stop = study::read_options(
            argc, argv, 1, kUsage,
            {{"--pairs", options.pairs}, {"--replicates", options.replicates},
             {"--points", options.points}, {"--rho", options.rho}, {"--lag", options.lag},
             {"--seed", options.seed}, {"--kind", kind}}))
        return *stop;
    const Kind kinds[] = {{"joint, even x", false, false},
                          {"joint, uneven x", true, false},
                          {"apart", false, true}};
    std::printf("%d pairs a kind, %d points, %d replicates, lag %g, noise sd %g correlated %g, "
                "tau %g\n",
                options.pairs, options.points, options.replicates, options.lag, kSd, options.rho,
                kTau);
    std::printf("%-16s %-6s %9s %7s %7s %7s %9s\n", "kind", "vertex", "coverage", "width",
                "bias", "sd", "s/pair");
    for (int k = 0; k < 3; ++k) {
        if (options.kind >= 0 && options.kind != k)
            continue;
        double seconds = 0.0;
        const Tally t = run_kind(kinds[k], options, seconds);
        const double n = std::max(t.counted, 1);
        for (int v = 0; v < 2; ++v) {
            const double bias = t.sum[v] / n;
            std::printf("%-16s X%-5d %8.1f%% %7.2f %7.2f %7.2f %9.3f\n", kinds[k].name, v + 2,
                        100.0 * t.covered[v] / n, t.width[v] / n, bias,
                        std::sqrt(std::max(0.0, t.squares[v] / n - bias * bias)),
                        seconds / n);
            std::fflush(stdout);
        }
    }
    return 0;
}
