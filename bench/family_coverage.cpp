// SPDX-License-Identifier: GPL-3.0-or-later
// How often the bootstrap's intervals hold the true break points, for every event family, white
// and AR(1) noise, even and uneven x. Each series: `points` points over x = 0..points-1 (even)
// or on gaps drawn from 0.4..1.6 scaled to that span (uneven), the family's polyline below
// (break points at fixed shares of the span, an event of height 1) plus noise of sd `sd`,
// white or a continuous-time AR(1) whose correlation over one mean spacing is 0.6. Each is
// fitted as `tolvenar-fit --model FAMILY --refine` fits it (the default searches, refined) and
// bootstrapped with B replicates as --bootstrap B makes them (AR(1) noise on x) and, on even x,
// with moving blocks of rows too (what --bootstrap drew there before); the 90 % intervals of every
// break point the family moves are checked against the truth, by each interval method from the
// same replicates. With --profile yes, two profile intervals beside them (see kProfile).
//
//   family_coverage [options]  (kUsage below)
//
// Prints a row per cell (family, noise, spacing), resampling and break point: for each method
// the coverage (its standard error is at most 1 point at 1,000 series) and the median width;
// then the estimates' spread, the intervals tolvenar-fit gives cut at the crop's edge or not
// determined, and the seconds per series.
#include "core/job/fit_job.h"
#include "core/model/family.h"
#include "core/refine/bootstrap.h"
#include "core/refine/optimum.h"
#include "core/refine/refine.h"
#include "core/session/family_comparison.h"
#include "study_options.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "family_coverage [--series S] [--points N] [--replicates B] [--sd SD] [--seed K]\n"
    "                [--family NAME|all] [--noise white|ar1|all] [--spacing even|uneven|all]\n"
    "                [--threads T] [--blocks yes|no] [--profile yes|no]\n";

using namespace tolvenar;

struct Options {
    int series = 1000, points = 120, replicates = 200, threads = 1;
    double sd = 0.2;
    std::uint32_t seed = 1;
    std::string family = "all", noise = "all", spacing = "all";
    bool blocks = true;  // on even x, moving blocks of rows beside the AR(1) replicates
    bool profile = false;  // the profile intervals too (an optimum a data point and replicate more)
};

// The true polyline of a family: its vertices' x as shares of the span, and their y.
struct Truth {
    ModelFamily family;
    std::vector<double> x, y;
};

const std::vector<Truth>& truths()
{
    static const std::vector<Truth> all{
        {ModelFamily::SimpleRamp, {0, 0.4, 0.6, 1}, {0, 0, 1, 1}},
        {ModelFamily::SymmetricEvent, {0, 0.35, 0.5, 0.65, 1}, {0, 0, 1, 0, 0}},
        {ModelFamily::AsymmetricEvent, {0, 0.3, 0.4, 0.7, 1}, {0, 0, 1, 0, 0}},
        {ModelFamily::Free4Segments, {0, 0.25, 0.5, 0.75, 1}, {0, 0.1, 1, 0.9, 0.2}},
        {ModelFamily::Free3Segments, {0, 0.35, 0.65, 1}, {0, 0.1, 1, 1.1}},
        {ModelFamily::EventWithDuration, {0, 0.25, 0.4, 0.6, 0.75, 1}, {0, 0, 1, 1, 0, 0}},
    };
    return all;
}

double polyline(const Truth& truth, double share)
{
    for (std::size_t k = 0; k + 1 < truth.x.size(); ++k)
        if (share <= truth.x[k + 1])
            return truth.y[k] + (truth.y[k + 1] - truth.y[k]) * (share - truth.x[k]) /
                                    (truth.x[k + 1] - truth.x[k]);
    return truth.y.back();
}

// The interval methods compared: the one tolvenar-fit chooses (chosen_method), the bootstrap's
// others, and the symmetric studentized one with each replicate's standard error floored at the
// estimate's (a replicate in another basin, whose own curvature is sharp, then counts by its
// distance alone). Then three ways of choosing between the symmetric studentized and the
// percentile interval per break point, on either resampling: the percentile where the
// estimate's standard error and the replicates' sd differ by more than 1.5 times, or where the
// studentized is over 1.3 times as wide; the span of both; and the span of both where the
// standard error and the sd differ by more than 1.5 times.
// Last, with --profile yes: the profile interval of each moved break point, every x whose
// profiled sum of squares (every other break point and level at their least-squares optimum
// there) stays within a reach of the least. The reach of an F test, widened by the noise's
// persistence; or calibrated by B replicates of their own (the optimum's curve plus the AR(1)
// noise the bootstrap matches to the residuals): the level's quantile of each replicate's profiled
// sum at its truth over its least. A midway x3 is no moved break point: its columns repeat the
// first. And the span of --bootstrap's interval and the calibrated profile's.
constexpr int kMethods = 13;
constexpr int kProfile = 10;
constexpr int kCalibrated = 11;
constexpr int kSpanned = 12;
const char* const kMethodNames[kMethods] = {"as tolvenar-fit", "symmetric stud.", "percentile",
                                            "studentized", "bias-corrected",
                                            "symmetric, floored", "pct where se/sd off 1.5",
                                            "pct where 1.3 wider", "span of both",
                                            "span where se/sd off 1.5", "profile, F",
                                            "profile, calibrated",
                                            "span of as tolvenar-fit and calibrated"};

// The least-squares problem of the fit's family over the crop: break points anywhere between
// its edges, levels unbounded.
struct CropProblem {
    std::vector<double> t, y;
    refine::OptimumProblem problem;
    std::vector<double> moved;  // the refined fit's break points
    std::vector<double> best;   // the optimum's
    std::vector<double> curve;  // its values at t
    double least = 0.0;         // the least sum of squares
    double threshold = 0.0;     // profiled sums above it lie outside the interval
    double rho = 0.0, nu = 1.0;
    double sd = 0.0;            // the noise's
};

// The least sum of squares of `p` with moved break point j at g (from `start`, kept in order).
double pinned(refine::OptimumProblem p, std::size_t j, double g, std::vector<double> start)
{
    p.lower[j] = p.upper[j] = g;
    for (std::size_t i = 0; i < start.size(); ++i)
        start[i] = i < j ? std::min(start[i], g) : i > j ? std::max(start[i], g) : g;
    p.starts = {start};
    const refine::OptimumResult r = refine::global_optimum(p);
    return r.minima.empty() ? std::numeric_limits<double>::infinity() : r.minima.front().sq_dist;
}

// t quantile of `nu` degrees of freedom at the normal quantile z (Cornish-Fisher).
double t_quantile(double z, double nu)
{
    const double z3 = z * z * z, z5 = z3 * z * z;
    return z + (z3 + z) / (4 * nu) + (5 * z5 + 16 * z3 + 3 * z) / (96 * nu * nu);
}

CropProblem crop_problem(const FitCrop& crop, const refine::RefinedFit& fit, ModelFamily family,
                         double level)
{
    CropProblem c;
    for (std::size_t i = 0; i < static_cast<std::size_t>(crop.points()); ++i)
        c.t.push_back(crop.t(i)), c.y.push_back(crop.y(i));
    refine::OptimumProblem& p = c.problem;
    p.t = c.t, p.y = c.y;
    p.shape = family_shape(family, crop.vertices);
    p.left = fit.model.x[1], p.right = fit.model.x[6];
    p.lower.assign(p.shape.moved.size(), p.left);
    p.upper.assign(p.shape.moved.size(), p.right);
    constexpr double inf = std::numeric_limits<double>::infinity();
    p.level_lower.assign(p.shape.levels(), -inf);
    p.level_upper.assign(p.shape.levels(), inf);
    for (const int v : p.shape.moved)
        c.moved.push_back(fit.model.x[static_cast<std::size_t>(v)]);
    p.starts = {c.moved};
    const refine::OptimumResult best = refine::global_optimum(p);
    c.least = best.minima.empty() ? refine::profiled_sq_dist(p, c.moved) : best.minima.front().sq_dist;
    // The optimum's curve, and its residuals' AR(1) as the bootstrap matches it (persistence and
    // sd of the noise, less what the fit absorbs): the replicates' noise, and the threshold's
    // widening by the long-run variance's ratio to the variance.
    const std::vector<double>& at = best.minima.empty() ? c.moved : best.minima.front().moved;
    const std::vector<double> levels = refine::profiled_levels(p, at);
    if (!levels.empty()) {
        FamilyOptimum o;
        o.x.fill(p.right);
        o.x[1] = p.left;
        for (std::size_t i = 0; i < at.size(); ++i)
            o.x[static_cast<std::size_t>(p.shape.moved[i])] = at[i];
        if (p.shape.midway)
            o.x[3] = 0.5 * (o.x[2] + o.x[4]);
        for (std::size_t k = 1; k <= 6; ++k)
            o.y[k] = levels[static_cast<std::size_t>(p.shape.level_of[k])];
        for (const double t : c.t)
            c.curve.push_back(optimum_at(o, t));
    }
    double rho = 0.0;
    if (const auto noise = refine::residual_noise(crop, family, fit.model)) {
        rho = std::clamp(noise->phi, 0.0, 0.95);
        c.sd = std::sqrt(noise->tau ? noise->variance : noise->variance / (1.0 - noise->phi * noise->phi));
    }
    const double n = static_cast<double>(c.t.size());
    const double k = static_cast<double>(p.shape.moved.size() + p.shape.levels());
    const double nu = std::max(n - k, 1.0);
    const double q = t_quantile(level == 0.9 ? 1.6448536269514722 : 1.959963984540054, nu);
    c.threshold = c.least * (1.0 + q * q * (1.0 + rho) / (1.0 - rho) / nu);
    c.rho = rho, c.nu = nu;
    c.best = best.minima.empty() ? c.moved : best.minima.front().moved;
    return c;
}

// The likelihood ratio's reach, in F units, that holds the truth at `level` on replicates drawn
// from the optimum's curve with the residuals' matched AR(1) noise: each replicate's profiled sum at its
// own truth against its least. One per moved break point.
std::vector<double> calibrated(const CropProblem& c, int replicates, std::uint64_t seed, double level)
{
    const std::size_t n = c.t.size(), d = c.best.size();
    std::vector<std::vector<double>> stats(d);
    if (c.curve.size() != n || n < 2)
        return std::vector<double>(d, 0.0);
    std::mt19937_64 random(seed);
    std::normal_distribution<double> normal;
    const double gap = (c.t.back() - c.t.front()) / static_cast<double>(n - 1);
    const double sigma = c.sd > 0.0 ? c.sd : std::sqrt(c.least / c.nu);
    std::vector<double> y(n);
    for (int b = 0; b < replicates; ++b) {
        double e = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double a = i == 0 || c.rho <= 0.0 ? 0.0 : std::pow(c.rho, (c.t[i] - c.t[i - 1]) / gap);
            e = a * e + std::sqrt(1.0 - a * a) * normal(random);
            y[i] = c.curve[i] + sigma * e;
        }
        refine::OptimumProblem p = c.problem;
        p.y = y;
        p.starts = {c.best};
        const refine::OptimumResult r = refine::global_optimum(p);
        if (r.minima.empty())
            continue;
        const double least = r.minima.front().sq_dist;
        for (std::size_t j = 0; j < d; ++j)
            stats[j].push_back((pinned(p, j, c.best[j], r.minima.front().moved) - least) / (least / c.nu));
    }
    std::vector<double> reach;
    for (auto& s : stats) {
        std::sort(s.begin(), s.end());
        reach.push_back(s.empty() ? 0.0 : s[std::min(s.size() - 1, static_cast<std::size_t>(level * static_cast<double>(s.size())))]);
    }
    return reach;
}

// Moved break point j's profiled sum at every data point of the crop and at its edges.
struct Profile {
    std::vector<double> ts, sums;
};

Profile profile_of(const CropProblem& c, std::size_t j)
{
    Profile out{{c.problem.left}, {}};
    for (const double t : c.t)
        if (t > c.problem.left && t < c.problem.right)
            out.ts.push_back(t);
    out.ts.push_back(c.problem.right);
    for (const double t : out.ts)
        out.sums.push_back(pinned(c.problem, j, t, c.best));
    return out;
}

// The profile interval of moved break point j: every x whose profiled sum stays at or below
// `threshold`.
refine::Interval profile_interval(const CropProblem& c, std::size_t j, const Profile& profile,
                                  double threshold)
{
    const auto profiled = [&](double g) { return pinned(c.problem, j, g, c.best); };
    const double estimate = c.moved[j];
    refine::Interval out{estimate, estimate};
    // The outermost data points inside on each side, halved against the next point beyond:
    // the hull of all x the test keeps (the profile can dip twice).
    const std::vector<double>& ts = profile.ts;
    std::vector<char> in(ts.size());
    for (std::size_t i = 0; i < ts.size(); ++i)
        in[i] = profile.sums[i] <= threshold;
    std::size_t first = 0, last = ts.size() - 1;
    while (first < ts.size() && !in[first])
        ++first;
    while (last > 0 && !in[last])
        --last;
    if (first > last)
        return out;  // no data point inside: the estimate alone
    if (ts[first] < out.lo)
        out.lo = ts[first];
    if (ts[last] > out.hi)
        out.hi = ts[last];
    const auto halve = [&](double inside, double outside) {
        for (int k = 0; k < 8; ++k) {
            const double mid = 0.5 * (inside + outside);
            (profiled(mid) > threshold ? outside : inside) = mid;
        }
        return 0.5 * (inside + outside);
    };
    if (first > 0 && out.lo == ts[first])
        out.lo = halve(ts[first], ts[first - 1]);
    if (last + 1 < ts.size() && out.hi == ts[last])
        out.hi = halve(ts[last], ts[last + 1]);
    const bool cut = first == 0 || last + 1 == ts.size();
    out.reach = cut ? refine::Reach::Edge : refine::Reach::Held;
    return out;
}

double sd_of(const std::vector<double>& v)
{
    double m = 0.0, s = 0.0;
    for (double x : v)
        m += x;
    m /= static_cast<double>(std::max<std::size_t>(v.size(), 1));
    for (double x : v)
        s += (x - m) * (x - m);
    return v.size() < 2 ? 0.0 : std::sqrt(s / static_cast<double>(v.size() - 1));
}

refine::Interval interval_by(int method, const refine::BootstrapResult& boot, double estimate,
                             std::size_t v, double level)
{
    if (method == 0)
        return boot.x[v];  // as --bootstrap made it (a profiled family's spans its profile too)
    std::vector<double> values, errors;
    const double error = boot.errors ? boot.errors->x[v] : 0.0;
    for (const auto& r : boot.replicates)
        if (r) {
            values.push_back(r->model.x[v]);
            const double own = r->errors ? r->errors->x[v] : 0.0;
            errors.push_back(method == 5 && own > 0.0 ? std::max(own, error) : own);
        }
    using M = refine::IntervalMethod;
    if (method >= 6) {
        const refine::Interval sym =
            refine::bootstrap_interval(values, estimate, level, M::Symmetric, errors, error);
        const refine::Interval pct = refine::bootstrap_interval(values, estimate, level, M::Percentile);
        const refine::Interval both{std::min(sym.lo, pct.lo), std::max(sym.hi, pct.hi)};
        if (method == 8)
            return both;
        if (method == 7)
            return sym.hi - sym.lo > 1.3 * (pct.hi - pct.lo) ? pct : sym;
        const double sd = sd_of(values);
        const bool off = error > 1.5 * sd || sd > 1.5 * error;
        return off ? (method == 9 ? both : pct) : sym;
    }
    const M kinds[6] = {M::Symmetric, M::Symmetric, M::Percentile, M::Studentized,
                        M::BiasCorrected, M::Symmetric};
    return refine::bootstrap_interval(std::move(values), estimate, level, kinds[method], errors,
                                      error);
}

struct Tally {
    std::vector<std::array<int, kMethods>> covered;
    std::vector<std::array<std::vector<double>, kMethods>> widths;
    std::vector<int> edge, undetermined;
    std::vector<std::vector<double>> estimates;
    int fitted = 0;
    double seconds = 0.0, profile_seconds = 0.0;
};

double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

void run_cell(const Truth& truth, bool ar1, bool uneven, const Options& o, std::uint64_t cell)
{
    const FamilyShape shape = family_shape(truth.family, 0);
    std::vector<int> vertices = shape.moved;  // the break points reported, x3 of a midway one too
    if (shape.midway)
        vertices.push_back(3);
    std::sort(vertices.begin(), vertices.end());
    // As --bootstrap makes them (AR(1) noise on x), then on even x moving blocks of rows.
    const std::vector<refine::Resampling> resamplings =
        uneven || !o.blocks ? std::vector{refine::Resampling::Automatic}
                            : std::vector{refine::Resampling::Automatic, refine::Resampling::Blocks};
    std::vector<Tally> tallies(resamplings.size());
    for (Tally& t : tallies) {
        t.covered.assign(vertices.size(), {});
        t.widths.resize(vertices.size());
        t.edge.assign(vertices.size(), 0);
        t.undetermined.assign(vertices.size(), 0);
        t.estimates.resize(vertices.size());
    }
    std::mt19937_64 random(o.seed * 1000003ULL + cell);
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> gap(0.4, 1.6);
    const double span = o.points - 1;
    const double tau = -1.0 / std::log(0.6);  // correlation 0.6 over one mean spacing
    for (int s = 0; s < o.series; ++s) {
        const auto started = std::chrono::steady_clock::now();
        std::vector<double> x(static_cast<std::size_t>(o.points)), y(x.size());
        for (std::size_t i = 1; i < x.size(); ++i)
            x[i] = x[i - 1] + (uneven ? gap(random) : 1.0);
        const double scale = span / x.back();
        for (double& v : x)
            v *= scale;
        x.back() = span;
        double e = 0.0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double a = !ar1 || i == 0 ? 0.0 : std::exp(-(x[i] - x[i - 1]) / tau);
            e = a * e + std::sqrt(1.0 - a * a) * normal(random);
            y[i] = polyline(truth, x[i] / span) + o.sd * e;
        }
        FitRequest request;
        request.family = truth.family;
        request.refine = true;
        request.seed = static_cast<std::uint32_t>(o.seed + s);
        std::optional<KeptFit> kept;
        JobControl control;
        control.threads = o.threads;
        control.kept = &kept;
        const FitRecord record = fit_series(import_data_arrays(x, y), request, "", control);
        if (record.code != kExitSuccess || !kept)
            continue;
        const double fitted = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const refine::RefinedFit& fit = kept->refined;
        const double left = fit.model.x[1], right = fit.model.x[6];
        for (std::size_t r = 0; r < resamplings.size(); ++r) {
            const auto booted = std::chrono::steady_clock::now();
            refine::BootstrapSettings settings = kept->settings;
            settings.replicates = o.replicates;
            settings.seed = request.seed;  // as tolvenar-fit --bootstrap seeds them
            settings.threads = static_cast<unsigned>(o.threads);
            settings.resampling = resamplings[r];
            const refine::BootstrapResult boot = refine::bootstrap(kept->crop, fit, settings);
            Tally& t = tallies[r];
            ++t.fitted;
            t.seconds += fitted + std::chrono::duration<double>(std::chrono::steady_clock::now() - booted).count();
            // The profile intervals, beside the first resampling's: the same for every one.
            const auto profiled = std::chrono::steady_clock::now();
            std::vector<std::array<std::optional<refine::Interval>, kMethods>> by(vertices.size());
            if (o.profile && r == 0) {
                const CropProblem problem = crop_problem(kept->crop, fit, truth.family, 0.9);
                const std::vector<double> reach =
                    calibrated(problem, o.replicates, request.seed * 7919ULL + cell, 0.9);
                for (std::size_t k = 0; k < vertices.size(); ++k) {
                    const auto j = static_cast<std::size_t>(
                        std::find(shape.moved.begin(), shape.moved.end(), vertices[k]) - shape.moved.begin());
                    if (j == shape.moved.size())
                        continue;
                    const Profile profile = profile_of(problem, j);
                    by[k][kProfile] = profile_interval(problem, j, profile, problem.threshold);
                    by[k][kCalibrated] = profile_interval(problem, j, profile,
                                                          problem.least * (1.0 + reach[j] / problem.nu));
                    const auto v = static_cast<std::size_t>(vertices[k]);
                    refine::Interval both = interval_by(0, boot, fit.model.x[v], v, 0.9);
                    both.lo = std::min(both.lo, by[k][kCalibrated]->lo);
                    both.hi = std::max(both.hi, by[k][kCalibrated]->hi);
                    by[k][kSpanned] = both;
                }
                t.profile_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - profiled).count();
            }
            for (std::size_t k = 0; k < vertices.size(); ++k) {
                const auto v = static_cast<std::size_t>(vertices[k]);
                const double at = truth.x[v - 1] * span - record.found->origin;
                t.estimates[k].push_back(fit.model.x[v]);
                t.edge[k] += boot.x[v].reach == refine::Reach::Edge || boot.x[v].reach == refine::Reach::Whole;
                t.undetermined[k] += boot.x[v].reach == refine::Reach::Undetermined;
                for (int m = 0; m < kMethods; ++m) {
                    const auto& own = by[k][static_cast<std::size_t>(m)];
                    const refine::Interval in = refine::held_within(
                        own ? *own : interval_by(m >= kProfile ? 0 : m, boot, fit.model.x[v], v, 0.9),
                        left, right, kept->crop.max_y > kept->crop.min_y);
                    t.covered[k][static_cast<std::size_t>(m)] +=
                        in.reach != refine::Reach::Undetermined && in.lo <= at && at <= in.hi;
                    t.widths[k][static_cast<std::size_t>(m)].push_back(in.hi - in.lo);
                }
            }
        }
    }
    for (std::size_t r = 0; r < resamplings.size(); ++r) {
        const Tally& t = tallies[r];
        const double n = std::max(t.fitted, 1);
        for (std::size_t k = 0; k < vertices.size(); ++k) {
            std::printf("| %s | %s | %s | %s | X%d | %d |",
                        std::string(family_caption(truth.family)).c_str(), ar1 ? "AR(1)" : "white",
                        uneven ? "uneven" : "even",
                        resamplings[r] == refine::Resampling::Blocks ? "blocks of rows"
                                                                            : "as --bootstrap",
                        vertices[k], t.fitted);
            for (int m = 0; m < (o.profile ? kMethods : kProfile); ++m)
                std::printf(" %.1f %% / %.1f |",
                            100.0 * t.covered[k][static_cast<std::size_t>(m)] / n,
                            median(t.widths[k][static_cast<std::size_t>(m)]));
            std::printf(" %.2f | %d | %d | %.3f |", sd_of(t.estimates[k]), t.edge[k],
                        t.undetermined[k], t.seconds / n);
            if (o.profile)
                std::printf(" %.3f |", r == 0 ? tallies[0].profile_seconds / n : 0.0);
            std::printf("\n");
        }
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    const auto yes_no = [](bool& to) {
        return [&to](std::string_view v) {
            to = v == "yes";
            return v == "yes" || v == "no";
        };
    };
    if (const auto stop = study::read_options(
            argc, argv, 1, kUsage,
            {{"--series", o.series}, {"--points", o.points}, {"--replicates", o.replicates},
             {"--sd", o.sd}, {"--seed", o.seed}, {"--threads", o.threads}, {"--family", o.family},
             {"--noise", o.noise}, {"--spacing", o.spacing}, {"--blocks", yes_no(o.blocks)},
             {"--profile", yes_no(o.profile)}}))
        return *stop;
    const auto known = [&](const std::string& family) {
        const auto& all = truths();
        return family == "all" || std::any_of(all.begin(), all.end(), [&](const Truth& t) {
                   return family_row(t.family).short_name == family;
               });
    };
    if (!known(o.family) || (o.noise != "all" && o.noise != "white" && o.noise != "ar1") ||
        (o.spacing != "all" && o.spacing != "even" && o.spacing != "uneven")) {
        std::fprintf(stderr, "no such cell: --family %s --noise %s --spacing %s\n%s", o.family.c_str(),
                     o.noise.c_str(), o.spacing.c_str(), kUsage);
        return 2;
    }
    std::printf("%d series a cell, %d points, %d replicates, noise sd %g, seed %u\n\n", o.series,
                o.points, o.replicates, o.sd, o.seed);
    std::printf("| family | noise | x | replicates' noise | break point | series |");
    const int methods = o.profile ? kMethods : kProfile;
    for (int m = 0; m < methods; ++m)
        std::printf(" %s: holds it / median width |", kMethodNames[m]);
    std::printf(" sd of the estimate | cut at an edge | not determined | s/series |%s\n",
                o.profile ? " profile s/series |" : "");
    std::printf("|---|---|---|---|---|---|");
    for (int m = 0; m < methods; ++m)
        std::printf("---|");
    std::printf("---|---|---|---|%s\n", o.profile ? "---|" : "");
    std::uint64_t cell = 0;
    for (const Truth& truth : truths()) {
        const auto name = std::string(family_row(truth.family).short_name);
        for (const bool ar1 : {false, true})
            for (const bool uneven : {false, true}) {
                ++cell;
                if ((o.family != "all" && o.family != name) ||
                    (o.noise != "all" && o.noise != (ar1 ? "ar1" : "white")) ||
                    (o.spacing != "all" && o.spacing != (uneven ? "uneven" : "even")))
                    continue;
                run_cell(truth, ar1, uneven, o, cell);
            }
    }
    return 0;
}
