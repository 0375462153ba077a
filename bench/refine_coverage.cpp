// SPDX-License-Identifier: GPL-3.0-or-later
// How often the bootstrap's intervals hold the true break points of simulated ramps, and why
// they miss. Each series: 300 points, a ramp from 0 (up to X2 = 100) to 1 (from X3 = 180), noise
// of sd 0.3. It is searched, refined and bootstrapped as tolvenar-fit --bootstrap does (each
// replicate its own optimum, or with --search 1 searched and refined as --bootstrap-search
// does); the intervals of X2 and X3 of each method are checked against the truth.
//
// --study intervals (the default): x = 0..299, noise white or AR(1) with phi 0.6 (same marginal
// sd), the replicates' noise as tolvenar-fit makes it (moving blocks on even x).
// --study spacing: AR(1) noise whose persistence is two mean spacings in x units (tau = 2,
// continuous-time), on x = 0..299 and on clustered sampling times over the same span: clusters
// of C points on average (--cluster C, default 4; a gap ends one with chance 1 / C), gaps of
// 0.05-0.35 within a cluster and of 0.5 C to 1.5 C between clusters; or (--cluster 0) sampled
// three times as densely across X2 (x 70..130, gaps of 0.25-0.75) as elsewhere (0.75-2.25);
// each scaled to a mean spacing of 1. Each series is bootstrapped twice: noise in moving blocks
// of rows, and from the residuals' AR(1) fitted on x.
//
//   refine_coverage [options]  (kUsage below)
//
// Prints, per noise kind: coverage per interval method, the block length, the replicates' bias
// (their mean minus the estimate) beside the estimates' own bias (their mean minus the truth),
// the replicates' spread beside the estimates' spread over the series, how far the search's
// best was from the refined fit, and the seconds per series.
#include "core/model/engine_state.h"
#include "core/refine/bootstrap.h"
#include "core/search/search.h"
#include "study_options.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "refine_coverage [--study intervals|spacing] [--series S] [--replicates B] [--runs R]\n"
    "                [--trials N] [--block L] [--seed K] [--search 0|1] [--cluster C]\n";

using namespace tolvenar;
using namespace tolvenar::refine;

constexpr int kPoints = 300;
constexpr double kX2 = 100.0, kX3 = 180.0, kSd = 0.3;

struct Options {
    int series = 30, replicates = 200, runs = 5, trials = 500;
    std::size_t block = 0;
    std::uint32_t seed = 1;
    bool search = false;  // replicates searched before their refinement
    bool spacing = false;  // --study spacing
    int cluster = 4;       // mean points a cluster; 0: sampled densely across X2 instead
};

// The noise and sampling of one kind of series.
struct Kind {
    const char* name;
    double phi = 0.0;        // AR(1) coefficient from one point to the next
    double tau = 0.0;        // > 0: persistence in x units instead (continuous-time AR(1))
    int cluster = 0;         // > 0: clustered sampling times of this mean size, else 0..299
    bool dense = false;      // sampled three times as densely over 70..130 as elsewhere
};

// x of the points: 0..299, or clustered gaps scaled to the same span.
std::vector<double> sampling_times(int cluster, bool dense, std::mt19937_64& engine)
{
    const bool clustered = cluster > 0 || dense;
    std::vector<double> x(kPoints, 0.0);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 1; i < kPoints; ++i) {
        const double step = x[i - 1] >= 70.0 && x[i - 1] < 130.0 ? 0.5 : 1.5;
        x[i] = x[i - 1] + (!clustered                   ? 1.0
                           : dense                       ? step * (0.5 + unit(engine))
                           : unit(engine) >= 1.0 / cluster ? 0.05 + 0.3 * unit(engine)
                                                         : cluster * (0.5 + unit(engine)));
    }
    const double scale = (kPoints - 1) / x.back();
    for (double& v : x)
        v = clustered ? v * scale : v;
    x.back() = kPoints - 1;  // the crop's right edge, exactly
    return x;
}

EngineState ramp_series(const Kind& kind, std::mt19937_64& engine)
{
    const std::vector<double> x = sampling_times(kind.cluster, kind.dense, engine);
    std::normal_distribution<double> normal(0.0, 1.0);
    EngineState s;
    s.data.texts = {"x", "y"};
    s.data.DataX.push_back({CellKind::Text, 0, 0.0});
    s.data.DataY.push_back({CellKind::Text, 1, 0.0});
    double e = kSd * normal(engine);
    float lo = kEmptyRangeLowest, hi = kEmptyRangeHighest;
    for (int i = 0; i < kPoints; ++i) {
        if (i > 0) {
            const double phi =
                kind.tau > 0.0 ? std::exp(-(x[i] - x[i - 1]) / kind.tau) : kind.phi;
            e = phi * e + kSd * std::sqrt(1.0 - phi * phi) * normal(engine);
        }
        const double t = x[i];
        const double curve = t <= kX2 ? 0.0 : t >= kX3 ? 1.0 : (t - kX2) / (kX3 - kX2);
        s.data.DataX.push_back(Cell::of_number(t));
        s.data.DataY.push_back(Cell::of_number(curve + e));
        include_in_range(curve + e, lo, hi);
    }
    s.data.DataX.push_back(Cell::empty());
    s.data.DataY.push_back(Cell::empty());
    s.data.DataCount = kPoints;
    note_x_order(s.data);
    s.CropCount = s.CropEnd = kPoints;
    s.CropObserved.assign(kPoints + 1, 0.0f);
    s.CropModel.assign(kPoints + 1, 0.0f);
    s.CropMinY = lo;
    s.CropMaxY = hi;
    s.NodeCount = node_count_of(ModelFamily::SimpleRamp);
    forget_best_of_best(s);
    return s;
}

struct Tally {
    int covered[5][2] = {};  // method x (X2, X3)
    int series = 0;
    double seconds = 0.0, blocks = 0.0, search_excess = 0.0, search_x_gap = 0.0;
    std::vector<double> estimates[2], replicate_bias[2], replicate_sd[2], estimate_se[2];
};

double mean(const std::vector<double>& v)
{
    double s = 0.0;
    for (double x : v)
        s += x;
    return v.empty() ? 0.0 : s / static_cast<double>(v.size());
}

double sd(const std::vector<double>& v)
{
    const double m = mean(v);
    double s = 0.0;
    for (double x : v)
        s += (x - m) * (x - m);
    return v.size() < 2 ? 0.0 : std::sqrt(s / static_cast<double>(v.size() - 1));
}

void report(const char* name, const char* resampling, const Tally& t, const Options& o)
{
    const double truth[2] = {kX2, kX3};
    const double n = t.series;
    std::printf("%s noise, %s, %d series, %d replicates (%s), search %d x %d, mean block length "
                "%.1f\n",
                name, resampling, t.series, o.replicates,
                o.search ? "each searched" : "each its optimum", o.runs, o.trials, t.blocks / n);
    const char* names[5] = {"percentile", "basic", "bias-corrected", "studentized",
                            "symmetric stud."};
    for (int m = 0; m < 5; ++m)
        std::printf("  90 %% %-15s X2 %5.1f %%  X3 %5.1f %%\n", names[m],
                    100.0 * t.covered[m][0] / n, 100.0 * t.covered[m][1] / n);
    for (int q = 0; q < 2; ++q)
        std::printf("  X%d: estimates' bias %+.2f, replicates' bias %+.2f; estimates' sd %.2f, "
                    "replicates' mean sd %.2f, mean standard error %.2f\n",
                    2 + q, mean(t.estimates[q]) - truth[q], mean(t.replicate_bias[q]),
                    sd(t.estimates[q]), mean(t.replicate_sd[q]), mean(t.estimate_se[q]));
    std::printf("  search's best vs refined: sum of squares +%.2f %%, |X2 gap| %.2f\n",
                100.0 * t.search_excess / n, t.search_x_gap / n);
    std::printf("  %.2f s per series\n", t.seconds / n);
}

// Series of `kind`, each bootstrapped once per resampling.
void simulate(const Kind& kind, std::uint64_t stream, const std::vector<Resampling>& resamplings,
              const Options& o)
{
    std::mt19937_64 engine(o.seed * 1000003ULL + stream);
    std::vector<Tally> tallies(resamplings.size());
    const IntervalMethod methods[5] = {IntervalMethod::Percentile, IntervalMethod::Basic,
                                       IntervalMethod::BiasCorrected, IntervalMethod::Studentized,
                                       IntervalMethod::Symmetric};
    const double truth[2] = {kX2, kX3};
    for (int s = 0; s < o.series; ++s) {
        const auto started = std::chrono::steady_clock::now();
        EngineState state = ramp_series(kind, engine);
        SearchRequest settings{ModelFamily::SimpleRamp, 0, o.runs, o.trials, 0.0f,
                                static_cast<float>(kPoints - 1)};
        RandomSource random(static_cast<std::uint32_t>(o.seed + s));
        struct : SearchObserver {  // every run's best, further starts as tolvenar-fit gives
            std::vector<Model> bests;
            void run_finished(const SearchView& view, std::int16_t) override
            {
                bests.push_back(view.run_best());
            }
        } runs;
        SearchEngine().run(state, settings, random, runs);
        const Model best{state.BestOfBestX, state.BestOfBestY};
        const RefinedFit fit = refine_fit(fit_crop(state), {ModelFamily::SimpleRamp, false, best, runs.bests});
        const double fitted = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        for (std::size_t r = 0; r < resamplings.size(); ++r) {
            Tally& t = tallies[r];
            const auto booted = std::chrono::steady_clock::now();
            BootstrapSettings b{ModelFamily::SimpleRamp, false, o.runs, o.trials, 0.0f,
                                static_cast<float>(kPoints - 1), o.replicates, 0.9,
                                static_cast<std::uint32_t>(o.seed * 7919 + s), 0, o.block,
                                o.search};
            b.resampling = resamplings[r];
            const BootstrapResult boot = bootstrap(fit_crop(state), fit, b);
            t.seconds += fitted + std::chrono::duration<double>(std::chrono::steady_clock::now() - booted).count();
            t.blocks += static_cast<double>(boot.block_length);
            t.search_excess += state.BestOfBestSqDist / fit.sq_dist - 1.0;
            t.search_x_gap += std::abs(static_cast<double>(best.x[2]) - fit.model.x[2]);
            for (int q = 0; q < 2; ++q) {
                std::vector<double> values, errors;
                for (const auto& rep : boot.replicates)
                    if (rep) {
                        values.push_back(rep->model.x[2 + q]);
                        errors.push_back(rep->errors ? rep->errors->x[2 + q] : 0.0);
                    }
                const double error = boot.errors ? boot.errors->x[2 + q] : 0.0;
                t.estimate_se[q].push_back(error);
                const double estimate = fit.model.x[2 + q];
                t.estimates[q].push_back(estimate);
                t.replicate_bias[q].push_back(mean(values) - estimate);
                t.replicate_sd[q].push_back(sd(values));
                for (int m = 0; m < 5; ++m) {
                    const Interval i =
                        bootstrap_interval(values, estimate, 0.9, methods[m], errors, error);
                    t.covered[m][q] += i.lo <= truth[q] && truth[q] <= i.hi;
                }
            }
            ++t.series;
        }
    }
    for (std::size_t r = 0; r < resamplings.size(); ++r)
        report(kind.name, resamplings[r] == Resampling::Blocks  ? "moving blocks"
                          : resamplings[r] == Resampling::Ar1 ? "AR(1) on x"
                                                              : "as tolvenar-fit",
               tallies[r], o);
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    const auto search = [&o](std::string_view v) {
        o.search = v == "1";
        return v == "1" || v == "0";
    };
    const auto spacing = [&o](std::string_view v) {
        o.spacing = v == "spacing";
        return v == "spacing" || v == "intervals";
    };
    if (const auto stop = study::read_options(
            argc, argv, 1, kUsage,
            {{"--series", o.series}, {"--replicates", o.replicates}, {"--runs", o.runs},
             {"--trials", o.trials}, {"--block", o.block}, {"--seed", o.seed},
             {"--search", search}, {"--study", spacing}, {"--cluster", o.cluster}}))
        return *stop;
    if (o.spacing) {
        const std::vector<Resampling> both{Resampling::Blocks, Resampling::Ar1};
        simulate({"AR(1) tau 2, even x", 0.0, 2.0, 0}, 21, both, o);
        const std::string name = o.cluster > 0
                                     ? "AR(1) tau 2, clusters of " + std::to_string(o.cluster)
                                     : std::string("AR(1) tau 2, dense across X2");
        simulate({name.c_str(), 0.0, 2.0, o.cluster, o.cluster == 0}, 22, both, o);
        return 0;
    }
    simulate({"white", 0.0}, 0, {Resampling::Automatic}, o);
    simulate({"AR(1) 0.6", 0.6}, 6, {Resampling::Automatic}, o);
    return 0;
}
