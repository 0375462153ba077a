// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/refine/bootstrap.h"

#include "core/compare/noise.h"
#include "core/model/fit.h"
#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"
#include "core/runtime/pool.h"
#include "core/runtime/random_source.h"
#include "core/search/search.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>

namespace tolvenar::refine {

constexpr double kUnbounded = std::numeric_limits<double>::infinity();
// Positions a profile of three or more moved break points is first told at (with the fit's own).
constexpr std::size_t kProfileTold = 64;

namespace {

double normal_cdf(double z)
{
    return 0.5 * std::erfc(-z / std::sqrt(2.0));
}

double normal_quantile(double p)
{
    double lo = -40.0, hi = 40.0;
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        (normal_cdf(mid) < p ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

// Quantile of sorted values by linear interpolation between order statistics.
double quantile(const std::vector<double>& sorted, double p)
{
    const double h = std::clamp(p, 0.0, 1.0) * static_cast<double>(sorted.size() - 1);
    const auto i = static_cast<std::size_t>(std::floor(h));
    if (i + 1 >= sorted.size())
        return sorted.back();
    return sorted[i] + (h - static_cast<double>(i)) * (sorted[i + 1] - sorted[i]);
}

// The standard deviation of the values; 0 for fewer than two.
double spread_of(const std::vector<double>& values)
{
    if (values.size() < 2)
        return 0.0;
    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
    double squares = 0.0;
    for (const double v : values)
        squares += (v - mean) * (v - mean);
    return std::sqrt(squares / static_cast<double>(values.size() - 1));
}

// The median of the positive values (the standard errors a replicate has); 0 without one.
double median_of(std::vector<double> values)
{
    std::erase_if(values, [](double v) { return !(v > 0.0); });
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return quantile(values, 0.5);
}

bool stopped(const std::atomic<bool>* stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

// Keeps each run's best as a restart for the refinement; ends the search on the stop.
class RunBests final : public SearchObserver {
public:
    explicit RunBests(const std::atomic<bool>* stop) : m_stop(stop) {}
    void run_finished(const SearchView& view, std::int16_t) override
    {
        if (view.run_best().x[1] != kUnsetVertex)
            bests.push_back(view.run_best());
    }
    bool stop_requested() override { return stopped(m_stop); }
    std::vector<Model> bests;

private:
    const std::atomic<bool>* m_stop;
};

// The noise of the replicates, from the refined fit's residuals over their sigma (standardised),
// centred and inflated for the parameters spent.
struct Resampler {
    std::vector<double> t;          // model x of each cropped point
    std::vector<double> curve;      // the refined curve there
    std::vector<double> residuals;  // standardised residuals
    std::vector<double> sigma;      // sigma_i = 1 / sqrt(w_i); empty: every point 1
    Resampling method = Resampling::Blocks;
    std::size_t block = 1;
    compare::NoiseFit noise;        // Ar1: the residuals' AR(1) on t

    // The y of a replicate: the curve plus standardised noise put back at each point's sigma.
    std::vector<double> draw(std::mt19937_64& random) const
    {
        const std::size_t n = residuals.size();
        std::vector<double> e;
        if (method == Resampling::Ar1) {
            e = compare::simulate_noise(t, noise, {}, random);
        } else {
            e.reserve(n);
            const std::size_t starts = n - block + 1;
            while (e.size() < n) {
                const std::size_t from = static_cast<std::size_t>(random() % starts);
                for (std::size_t j = 0; j < block && e.size() < n; ++j)
                    e.push_back(residuals[from + j]);
            }
        }
        return on_curve(e);
    }

    // The curve plus standardised noise `e` put back at each point's sigma.
    std::vector<double> on_curve(const std::vector<double>& e) const
    {
        std::vector<double> y(curve.size());
        for (std::size_t i = 0; i < y.size(); ++i)
            y[i] = curve[i] + (sigma.empty() ? e[i] : e[i] * sigma[i]);
        return y;
    }

    // For draws shared with other series on the same rows: the residuals' AR(1) innovations,
    // each point's carry-over a_i and innovation scale s_i, and the innovations standardised.
    std::vector<double> carry, scale, innovations;

    void take_innovations()
    {
        const std::size_t n = residuals.size();
        carry.assign(n, 0.0);
        scale.assign(n, 0.0);
        innovations.assign(n, 0.0);
        const double sd = std::sqrt(noise.variance);
        for (std::size_t i = 0; i < n; ++i) {
            if (noise.tau) {
                carry[i] = i == 0 ? 0.0 : std::exp(-std::abs(t[i] - t[i - 1]) / *noise.tau);
                scale[i] = sd * std::sqrt(1.0 - carry[i] * carry[i]);
            } else {
                carry[i] = i == 0 ? 0.0 : noise.phi;
                scale[i] = i == 0 ? sd / std::sqrt((1.0 - noise.phi) * (1.0 + noise.phi)) : sd;
            }
            const double before = i == 0 ? 0.0 : residuals[i - 1];
            innovations[i] = scale[i] > 0.0 ? (residuals[i] - carry[i] * before) / scale[i] : 0.0;
        }
        // Unit variance, so that the noise keeps the variance its AR(1) was fitted with.
        const double mean =
            std::accumulate(innovations.begin(), innovations.end(), 0.0) / static_cast<double>(n);
        double squares = 0.0;
        for (double& u : innovations)
            squares += (u - mean) * (u - mean);
        const double root = std::sqrt(squares / static_cast<double>(n));
        for (double& u : innovations)
            u = root > 0.0 ? (u - mean) / root : 0.0;
    }

    // The noise from rows drawn once for every series: the starts of blocks of `block` rows,
    // or (Ar1) the row whose innovation each point takes.
    std::vector<double> draw_at(const std::vector<std::size_t>& rows) const
    {
        const std::size_t n = residuals.size();
        std::vector<double> e;
        e.reserve(n);
        if (method == Resampling::Ar1) {
            for (std::size_t i = 0; i < n; ++i)
                e.push_back((i == 0 ? 0.0 : carry[i] * e[i - 1]) + scale[i] * innovations[rows[i]]);
            return on_curve(e);
        }
        for (std::size_t k = 0; e.size() < n; ++k)
            for (std::size_t j = 0; j < block && e.size() < n; ++j)
                e.push_back(residuals[rows[k] + j]);
        return on_curve(e);
    }

    // The standard errors a replicate and the estimate are studentized with.
    std::optional<StandardErrors> errors(const FitCrop& crop, ModelFamily family,
                                         const Model& model) const
    {
        if (method == Resampling::Blocks)
            return standard_errors(crop, family, model, block);
        const auto noisy = ar1_standard_errors(crop, family, model);
        return noisy ? std::optional(noisy->errors) : std::nullopt;
    }
};

// The replicate's held_excess at the fit's break points: none unless the family is profiled.
std::vector<double> held_excess(const FitCrop& replicate, const RefinedFit& refit,
                                const RefinedFit& fit, const BootstrapSettings& settings)
{
    std::vector<double> excess;
    if (!family_row(settings.family).profiled)
        return excess;
    const FamilyShape shape = family_shape(settings.family, replicate.vertices);
    const RefineRequest request{settings.family, settings.constrained, refit.model, {}, 1, settings.stop};
    std::vector<HeldAt> at;
    for (std::size_t j = 0; j < shape.moved.size(); ++j)
        at.push_back({j, fit.model.x[static_cast<std::size_t>(shape.moved[j])]});
    const HeldSums sums = held_sq_dists(replicate, request, at);
    for (const double held : sums.held) {
        const double over = std::max(held - sums.least, 0.0);
        // No model there, or none but an exact one elsewhere: as far as the profile goes.
        excess.push_back(over == 0.0                                    ? 0.0
                         : sums.least > 0.0 && std::isfinite(over) ? over / sums.least
                                                                    : std::numeric_limits<double>::max());
    }
    return excess;
}

// The replicate of the crop with y, fitted to its optimum (searched first with settings.search,
// from a random source keyed by `key`); with `held`, its held_excess too.
std::optional<Replicate> fit_replicate_y(const FitCrop& crop, const Resampler& resampler,
                                         const std::vector<double>& y, const RefinedFit& fit,
                                         const BootstrapSettings& settings, std::uint64_t key,
                                         bool held)
{
    FitCrop replicate = crop;
    float lo = kEmptyRangeLowest, hi = kEmptyRangeHighest;
    for (std::size_t i = 0; i < y.size(); ++i) {
        replicate.rows.DataY[i + 1] = Cell::of_number(y[i]);
        include_in_range(y[i], lo, hi);
    }
    replicate.min_y = lo;
    replicate.max_y = hi;
    if (!settings.search) {
        // The replicate's own global optimum; the original fit is its start (never worse).
        RefineRequest request{settings.family, settings.constrained, fit.model, {}, 1, settings.stop};
        request.grid_first = fit.gave_way;
        const RefinedFit refit = refine_fit(replicate, request);
        return Replicate{refit.model, refit.measure, refit.sq_dist, refit.sq_dist,
                         resampler.errors(replicate, settings.family, refit.model),
                         held ? held_excess(replicate, refit, fit, settings) : std::vector<double>{}};
    }
    // Searched as the original was, on one thread: the replicates themselves share the cores.
    RandomSource search_random(static_cast<std::uint32_t>(key >> 32));
    RunBests observer(settings.stop);
    std::vector<SearchRequest> searches{{settings.family, 0, settings.runs, settings.trials,
                                         settings.scale_left, settings.scale_width}};
    if (settings.constrained) {
        searches.push_back(searches.front());
        searches.back().constrain = 1;
    }
    const CropSearch searched = search_crop(replicate, searches, search_random, observer);
    if (!searched.completed)
        return std::nullopt;
    replicate.constraint = searched.constraint;  // held in its own search's boxes
    // The original fit is one more start: a search that misses the replicate's optimum would
    // otherwise widen the spread with its own failures.
    observer.bests.push_back(fit.model);
    RefineRequest request{settings.family, settings.constrained, searched.best,
                          std::move(observer.bests), 1, settings.stop, true};
    request.grid_first = fit.gave_way;
    const RefinedFit refit = refine_fit(replicate, request);
    return Replicate{refit.model, refit.measure, searched.sq_dist, refit.sq_dist,
                     resampler.errors(replicate, settings.family, refit.model),
                     held ? held_excess(replicate, refit, fit, settings) : std::vector<double>{}};
}

// Replicate `index`: noise drawn by `resampler` on the refined curve, fitted to its optimum
// (searched first with settings.search).
std::optional<Replicate> fit_replicate(const FitCrop& crop, const Resampler& resampler,
                                       const RefinedFit& fit, const BootstrapSettings& settings,
                                       std::int32_t index)
{
    const std::uint64_t key = stream_key(settings.seed, static_cast<std::uint32_t>(index));
    std::mt19937_64 random(key);
    return fit_replicate_y(crop, resampler, resampler.draw(random), fit, settings, key, true);
}

// Whether AR(1) noise stays correlated over the whole of x (past 1/e from end to end): a
// persistence longer than the crop.
bool outlasts(const compare::NoiseFit& noise, std::span<const double> t)
{
    if (t.size() < 2)
        return false;
    if (noise.tau)
        return *noise.tau > std::abs(t.back() - t.front());
    return noise.phi > std::exp(-1.0 / static_cast<double>(t.size() - 1));
}

// The noise of the replicates of `fit` over `crop`, and how it is made, into `result`. The
// curve is the search's own values of the model; they give no value to a point past the last
// vertex (a point on the crop's right edge that single precision puts just beyond it): the
// polyline's value is taken there, not a residual of the whole level.
Resampler resampler_of(const FitCrop& crop, const RefinedFit& fit,
                       const BootstrapSettings& settings, BootstrapResult& result)
{
    std::vector<float> values = CropMeasures(crop).values(fit.model);
    for (std::size_t i = 0; i < static_cast<std::size_t>(crop.points()); ++i)
        if (crop.t(i) > static_cast<double>(fit.model.x[6]))
            values[i + 1] = static_cast<float>(model_value_at(fit.model, crop.t(i)));
    const auto n = static_cast<std::size_t>(crop.points());
    Resampler resampler;
    std::vector<double>& residuals = resampler.residuals;
    resampler.curve.resize(n);
    residuals.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        resampler.t.push_back(crop.t(i));
        resampler.curve[i] = static_cast<double>(values[i + 1]);
        residuals[i] = crop.y(i) - resampler.curve[i];
        if (!crop.weight.empty()) {  // standardised: e_i / sigma_i
            const double root = std::sqrt(crop.weight[i + 1]);
            residuals[i] *= root;
            resampler.sigma.push_back(1.0 / root);
        }
    }
    // Residuals of a least-squares fit are smaller than the noise by the parameters it spent.
    const double mean = std::accumulate(residuals.begin(), residuals.end(), 0.0) / static_cast<double>(std::max<std::size_t>(n, 1));
    const std::size_t k = parameter_count(settings.family, crop.vertices);
    const double inflate = n > k ? std::sqrt(static_cast<double>(n) / static_cast<double>(n - k)) : 1.0;
    for (double& e : residuals)
        e = (e - mean) * inflate;
    result.resampling = settings.resampling;
    if (result.resampling == Resampling::Automatic)
        result.resampling = Resampling::Ar1;
    else if (result.resampling == Resampling::RowsOnEvenX)
        result.resampling =
            compare::evenly_spaced(resampler.t) ? Resampling::Blocks : Resampling::Ar1;
    resampler.method = result.resampling;
    if (result.resampling == Resampling::Ar1) {
        const auto noise = residual_noise(crop, settings.family, fit.model);
        resampler.noise = noise ? *noise : compare::fit_noise(resampler.t, residuals);
        result.persistence = resampler.noise.tau;
        result.drifting = outlasts(resampler.noise, resampler.t);
        result.block_length = 1;
    } else {
        result.block_length = std::min(
            settings.block_length ? settings.block_length : block_length_of(residuals), std::max<std::size_t>(n, 1));
    }
    resampler.block = result.block_length;
    return resampler;
}
}  // namespace

std::string resampling_text(const BootstrapResult& result, std::string_view unit)
{
    if (result.resampling == Resampling::Blocks)
        return "blocks of " + std::to_string(result.block_length) + " points";
    const std::string shape = " (the family may miss the data's shape)";
    if (!result.persistence)
        return result.drifting ? "AR(1) noise, persistence longer than the crop" + shape : "AR(1) noise";
    return "AR(1) noise on x, persistence " + significant_text(*result.persistence, 3) + std::string(unit) +
           (result.drifting ? ", longer than the crop" + shape : "");
}

std::size_t block_length_of(std::span<const double> residuals)
{
    // Politis and White's automatic length for the moving-block bootstrap (with Patton, Politis
    // and White's correction): b = (2 G^2 / D)^(1/3) n^(1/3), G and D from the autocovariances
    // under a flat-top lag window whose width is read off where the autocorrelation dies out.
    // It grows with the noise's correlation length and is 1 for white noise.
    const std::size_t n = residuals.size();
    if (n < 8)
        return 1;
    const double mean = std::accumulate(residuals.begin(), residuals.end(), 0.0) / static_cast<double>(n);
    const auto acov = [&](std::size_t k) {
        double s = 0.0;
        for (std::size_t i = 0; i + k < n; ++i)
            s += (residuals[i] - mean) * (residuals[i + k] - mean);
        return s / static_cast<double>(n);
    };
    const double r0 = acov(0);
    if (!(r0 > 0.0))
        return 1;
    const double ln = std::log10(static_cast<double>(n));
    const auto kn = static_cast<std::size_t>(std::max(5.0, std::ceil(std::sqrt(ln))));
    const double bound = 2.0 * std::sqrt(ln / static_cast<double>(n));
    const std::size_t max_lag = std::min(n - 1, static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(n)))) + kn);
    std::vector<double> r(max_lag + 1);
    for (std::size_t k = 0; k <= max_lag; ++k)
        r[k] = acov(k);
    std::size_t m = max_lag;
    for (std::size_t cand = 0; cand + kn <= max_lag; ++cand) {
        bool small = true;
        for (std::size_t j = 1; j <= kn && small; ++j)
            small = std::abs(r[cand + j] / r0) < bound;
        if (small) {
            m = cand;
            break;
        }
    }
    const std::size_t width = std::min(2 * std::max<std::size_t>(m, 1), max_lag);
    double g = 0.0, d0 = r0;
    for (std::size_t k = 1; k <= width; ++k) {
        const double s = static_cast<double>(k) / static_cast<double>(width);
        const double w = s <= 0.5 ? 1.0 : 2.0 * (1.0 - s);
        g += 2.0 * w * static_cast<double>(k) * r[k];
        d0 += 2.0 * w * r[k];
    }
    const double d = 4.0 / 3.0 * d0 * d0;
    const double b = d > 0.0 ? std::cbrt(2.0 * g * g / d * static_cast<double>(n)) : 1.0;
    const double cap = std::min(3.0 * std::sqrt(static_cast<double>(n)), static_cast<double>(n) / 3.0);
    return static_cast<std::size_t>(std::clamp(std::round(b), 1.0, std::max(1.0, cap)));
}

Band curve_band(const BootstrapResult& result, double level, double left, double right,
                int samples)
{
    std::vector<const Model*> curves;
    for (const auto& replicate : result.replicates)
        if (replicate)
            curves.push_back(&replicate->model);
    Band band;
    if (curves.size() < 2 || samples < 2)
        return band;
    const double tail = (1.0 - level) / 2.0;
    std::vector<double> values(curves.size());
    for (int i = 0; i < samples; ++i) {
        const double x = left + (right - left) * i / (samples - 1);
        for (std::size_t c = 0; c < curves.size(); ++c)
            values[c] = model_value_at(*curves[c], x);
        std::sort(values.begin(), values.end());
        band.x.push_back(x);
        band.lo.push_back(quantile(values, tail));
        band.hi.push_back(quantile(values, 1.0 - tail));
    }
    return band;
}

Interval bootstrap_interval(std::vector<double> values, double estimate, double level,
                            IntervalMethod method, const std::vector<double>& errors, double error)
{
    if (method == IntervalMethod::Studentized || method == IntervalMethod::Symmetric) {
        // The replicates' deviations in their own standard errors: how far the estimate can lie
        // from the truth in units of its standard error, whatever the curve makes that error.
        std::vector<double> t;
        for (std::size_t b = 0; b < values.size() && b < errors.size(); ++b)
            if (errors[b] > 0.0)
                t.push_back((values[b] - estimate) / errors[b]);
        if (t.size() >= 2 && error > 0.0) {
            if (method == IntervalMethod::Symmetric) {
                for (double& v : t)
                    v = std::abs(v);
                std::sort(t.begin(), t.end());
                const double half = quantile(t, level) * error;
                return {estimate - half, estimate + half, Reach::Held, method};
            }
            std::sort(t.begin(), t.end());
            const double tail = (1.0 - level) / 2.0;
            return {estimate - quantile(t, 1.0 - tail) * error, estimate - quantile(t, tail) * error,
                    Reach::Held, method};
        }
        // No standard errors to studentize with (a break point no point pins down, a fit too
        // short for its noise): the replicates' own spread, not a width of nothing.
        method = IntervalMethod::Percentile;
    }
    if (values.size() < 2)
        return {estimate, estimate, Reach::Held, method};
    std::sort(values.begin(), values.end());
    const double tail = (1.0 - level) / 2.0;
    switch (method) {
    case IntervalMethod::Percentile:
        return {quantile(values, tail), quantile(values, 1.0 - tail), Reach::Held, method};
    case IntervalMethod::Basic:
        return {2.0 * estimate - quantile(values, 1.0 - tail),
                2.0 * estimate - quantile(values, tail), Reach::Held, method};
    case IntervalMethod::BiasCorrected: {
        // The share of replicates below the estimate (ties half) measures the median bias;
        // the percentile points move by twice its normal score.
        const auto below = std::lower_bound(values.begin(), values.end(), estimate) - values.begin();
        const auto upto = std::upper_bound(values.begin(), values.end(), estimate) - values.begin();
        const double share = (static_cast<double>(below + upto) / 2.0 + 0.5) /
                             (static_cast<double>(values.size()) + 1.0);
        const double z0 = normal_quantile(share);
        const double z = normal_quantile(1.0 - tail);
        return {quantile(values, normal_cdf(2.0 * z0 - z)),
                quantile(values, normal_cdf(2.0 * z0 + z)), Reach::Held, method};
    }
    case IntervalMethod::Studentized:
    case IntervalMethod::Symmetric:
    case IntervalMethod::Profile:
        break;  // above, or no interval of the replicates alone
    }
    return {estimate, estimate};
}

const char* reach_name(Reach reach)
{
    switch (reach) {
    case Reach::Held: return "held";
    case Reach::Edge: return "edge";
    case Reach::Whole: return "whole";
    case Reach::Undetermined: return "undetermined";
    }
    return "held";
}

Interval held_within(Interval raw, double lo, double hi, bool free_and_varying)
{
    if (free_and_varying && !(raw.hi > raw.lo))
        return {raw.lo, raw.hi, Reach::Undetermined, raw.method};
    const bool below = raw.lo < lo, above = raw.hi > hi;
    if (below)
        raw.lo = lo;
    if (above)
        raw.hi = hi;
    raw.reach = below && above ? Reach::Whole : below || above ? Reach::Edge : Reach::Held;
    return raw;
}

IntervalMethod chosen_method(Resampling resampling, bool break_point, double error, double spread,
                             double typical)
{
    const auto agree = [](double a, double b) { return a <= kAgreement * b && b <= kAgreement * a; };
    if (break_point)
        return resampling == Resampling::Ar1 && !agree(error, spread) ? IntervalMethod::Percentile
                                                                      : IntervalMethod::Symmetric;
    return agree(error, typical) ? IntervalMethod::Symmetric : IntervalMethod::Percentile;
}

std::optional<Interval> profile_interval(const FitCrop& crop, const RefinedFit& fit,
                                         const BootstrapSettings& settings, std::size_t j,
                                         double excess)
{
    const double left = fit.model.x[1], right = fit.model.x[6];
    std::vector<double> at{left, right};  // the positions of the profile
    for (std::size_t i = 0; i < static_cast<std::size_t>(crop.points()); ++i)
        if (const double t = crop.t(i); t > left && t < right)
            at.push_back(t);
    std::sort(at.begin(), at.end());
    at.erase(std::unique(at.begin(), at.end()), at.end());
    const RefineRequest request{settings.family, settings.constrained, fit.model, {},
                                settings.threads, settings.stop};
    const FamilyShape shape = family_shape(settings.family, crop.vertices);
    std::vector<double> held(at.size(), std::numeric_limits<double>::quiet_NaN());  // NaN: untold
    const auto tell = [&](const std::vector<std::size_t>& which) {
        std::vector<HeldAt> asked;
        for (const std::size_t i : which)
            asked.push_back({j, at[i]});
        const HeldSums sums = held_sq_dists(crop, request, asked);
        for (std::size_t k = 0; k < which.size(); ++k)
            held[which[k]] = sums.held[k];
        return sums.least;
    };
    // With two moved break points a held sum is one pass over the other's positions: told at
    // every point. With more it is a pass over pairs of them, so told at every stride-th point
    // and the fit's own, the hull's ends then sought point by point between the last told
    // within and the first told beyond (a dip narrower than the stride, beyond them, is missed).
    const std::size_t stride =
        shape.moved.size() <= 2 ? 1 : (at.size() + kProfileTold - 1) / kProfileTold;
    std::vector<std::size_t> coarse;
    for (std::size_t i = 0; i < at.size(); i += stride)
        coarse.push_back(i);
    coarse.push_back(at.size() - 1);
    const double own = fit.model.x[static_cast<std::size_t>(shape.moved[j])];
    const auto own_at = std::lower_bound(at.begin(), at.end(), own) - at.begin();
    coarse.push_back(std::min(static_cast<std::size_t>(own_at), at.size() - 1));
    std::sort(coarse.begin(), coarse.end());
    coarse.erase(std::unique(coarse.begin(), coarse.end()), coarse.end());
    const double threshold = tell(coarse) * (1.0 + excess);
    const auto within = [&](std::size_t i) { return held[i] <= threshold; };
    const auto first_told = std::find_if(coarse.begin(), coarse.end(), within);
    if (first_told == coarse.end())
        return std::nullopt;
    const auto last_told = std::find_if(coarse.rbegin(), coarse.rend(), within);
    // The points between each end and its told neighbour beyond, in one reading of the crop.
    std::vector<std::size_t> between;
    if (first_told != coarse.begin())
        for (std::size_t i = *std::prev(first_told) + 1; i < *first_told; ++i)
            between.push_back(i);
    if (last_told != coarse.rbegin())
        for (std::size_t i = *last_told + 1; i < *std::prev(last_told); ++i)
            between.push_back(i);
    if (!between.empty())
        tell(between);
    // The hull of every x within (the profile can dip twice), its ends halved towards the
    // points beyond, each a held optimum of its own.
    std::size_t first = 0, last = at.size();
    while (first < at.size() && !within(first))
        ++first;
    while (last > first && !within(last - 1))
        --last;
    const auto halve = [&](double inside, double outside) {
        for (int k = 0; k < 8; ++k) {
            const double mid = 0.5 * (inside + outside);
            const HeldAt one{j, mid};
            const bool in = held_sq_dists(crop, request, std::span(&one, 1)).held.front() <= threshold;
            (in ? inside : outside) = mid;
        }
        return 0.5 * (inside + outside);
    };
    // Where no model holds it beyond (a first segment of no length at the crop's edge), the
    // profile reaches the edge all the same.
    const auto none = [](double h) { return !std::isfinite(h); };  // untold too
    const bool left_edge = std::all_of(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(first), none);
    const bool right_edge = std::all_of(held.begin() + static_cast<std::ptrdiff_t>(last), held.end(), none);
    return Interval{left_edge ? -kUnbounded : halve(at[first], at[first - 1]),
                    right_edge ? kUnbounded : halve(at[last - 1], at[last]), Reach::Held,
                    IntervalMethod::Profile};
}

BootstrapResult bootstrap(const FitCrop& crop, const RefinedFit& fit,
                          const BootstrapSettings& settings, std::optional<IntervalMethod> method)
{
    BootstrapResult result;
    const auto n = static_cast<std::size_t>(crop.points());
    const Resampler resampler = resampler_of(crop, fit, settings, result);

    const auto count = static_cast<std::size_t>(std::max(settings.replicates, 0));
    result.replicates.resize(count);
    if (n > 0) {
        std::vector<char> finished(count, 0);  // replicate b made to the end
        parallel_for(count, settings.threads, [&](std::size_t b) {
            if (stopped(settings.stop))
                return;
            std::optional<Replicate> replicate;
            try {
                replicate = fit_replicate(crop, resampler, fit, settings,
                                          static_cast<std::int32_t>(b));
            } catch (const Fault&) {
                replicate.reset();
            }
            if (stopped(settings.stop))  // cut short: not one of the replicates done
                return;
            result.replicates[b] = std::move(replicate);
            finished[b] = 1;
            if (settings.done != nullptr)
                ++*settings.done;
        });
        result.done = static_cast<std::size_t>(std::count(finished.begin(), finished.end(), 1));
    }

    result.errors = resampler.errors(crop, settings.family, fit.model);
    // value_of gives a replicate's value and standard error; error is the estimate's.
    const auto interval_of = [&](auto value_of, double estimate, double error, bool break_point) {
        std::vector<double> values, errors;
        for (const auto& r : result.replicates)
            if (r)
                if (const auto v = value_of(*r)) {
                    values.push_back(v->first);
                    errors.push_back(v->second);
                }
        const IntervalMethod by = method ? *method
                                         : chosen_method(result.resampling, break_point, error,
                                                         spread_of(values), median_of(errors));
        return bootstrap_interval(std::move(values), estimate, settings.level, by, errors, error);
    };
    using Value = std::optional<std::pair<double, double>>;
    const auto error_of = [](const std::optional<StandardErrors>& e, auto pick) {
        return e ? static_cast<double>(pick(*e)) : 0.0;
    };
    for (std::size_t v = 1; v <= 6; ++v) {
        const auto x_error = [v](const StandardErrors& e) { return e.x[v]; };
        const auto y_error = [v](const StandardErrors& e) { return e.y[v]; };
        result.x[v] = interval_of(
            [&](const Replicate& r) {
                return Value({r.model.x[v], error_of(r.errors, x_error)});
            },
            fit.model.x[v], error_of(result.errors, x_error), true);
        result.y[v] = interval_of(
            [&](const Replicate& r) {
                return Value({r.model.y[v], error_of(r.errors, y_error)});
            },
            fit.model.y[v], error_of(result.errors, y_error), false);
    }
    if (fit.measure) {
        const auto m_error = [](const StandardErrors& e) { return e.measure.value_or(0.0f); };
        result.measure = interval_of(
            [&](const Replicate& r) {
                return r.measure ? Value({*r.measure, error_of(r.errors, m_error)}) : Value();
            },
            *fit.measure, error_of(result.errors, m_error), true);
    }
    const FamilyShape shape = family_shape(settings.family, crop.vertices);
    for (std::size_t j = 0; j < shape.moved.size() && !method && family_row(settings.family).profiled &&
                            !stopped(settings.stop);
         ++j) {
        std::vector<double> excess;
        for (const auto& r : result.replicates)
            if (r && j < r->held_excess.size())
                excess.push_back(r->held_excess[j]);
        if (excess.size() < 2)
            continue;
        std::sort(excess.begin(), excess.end());
        Interval& own = result.x[static_cast<std::size_t>(shape.moved[j])];
        if (const auto profile = profile_interval(crop, fit, settings, j, quantile(excess, settings.level));
            profile && (profile->lo < own.lo || profile->hi > own.hi))
            own = {std::min(own.lo, profile->lo), std::max(own.hi, profile->hi), Reach::Held,
                   IntervalMethod::Profile};
    }
    // Each interval within what the crop allows: break points between its first and last
    // vertex, a duration up to its width, a symmetry index from 0 to 1; levels unbounded.
    const bool varying = crop.max_y > crop.min_y;
    const double left = fit.model.x[1], right = fit.model.x[6];
    for (std::size_t v = 1; v <= 6; ++v) {
        const bool moved = std::find(shape.moved.begin(), shape.moved.end(), static_cast<int>(v)) !=
                               shape.moved.end() || (shape.midway && v == 3);
        if (moved)
            result.x[v] = held_within(result.x[v], left, right, varying);
        result.y[v] = held_within(result.y[v], -kUnbounded, kUnbounded, varying);
    }
    if (result.measure) {
        const FamilyMeasure kind = family_row(settings.family).measure;
        const double top = kind == FamilyMeasure::Duration        ? right - left
                           : kind == FamilyMeasure::SymmetryIndex ? 1.0
                                                                  : kUnbounded;
        *result.measure = held_within(*result.measure, kind == FamilyMeasure::None ? -kUnbounded : 0.0,
                                      top, varying);
    }
    return result;
}

namespace {

// The noise of several series made together: each one's resampler, the first series of its
// group (series on the same x whose noise is made alike), and its group's size. A group on even
// x draws blocks of the longest any member asks; `asked` keeps each one's own.
struct JointNoise {
    std::vector<Resampler> resamplers;
    std::vector<std::size_t> group, members, asked;

    explicit JointNoise(std::span<const JointSeries> series)
    {
        std::vector<double> origins;
        for (const JointSeries& s : series) {
            BootstrapResult how;
            resamplers.push_back(resampler_of(*s.crop, *s.fit, s.settings, how));
            asked.push_back(resamplers.back().block);
            origins.push_back(s.crop->origin);
        }
        members.assign(series.size(), 0);
        for (std::size_t s = 0; s < series.size(); ++s) {
            std::size_t g = 0;
            while (resamplers[g].t != resamplers[s].t || origins[g] != origins[s] ||
                   resamplers[g].method != resamplers[s].method)
                ++g;
            group.push_back(g);
            ++members[g];
        }
        for (std::size_t g = 0; g < series.size(); ++g) {
            if (members[g] < 2)
                continue;
            std::size_t block = 1;
            for (std::size_t s = 0; s < series.size(); ++s)
                if (group[s] == g)
                    block = std::max(block, resamplers[s].block);
            for (std::size_t s = 0; s < series.size(); ++s)
                if (group[s] == g) {
                    resamplers[s].block = block;
                    if (resamplers[s].method == Resampling::Ar1)
                        resamplers[s].take_innovations();
                }
        }
    }

    // Whether series s draws blocks of rows with the others of its group.
    bool shares_blocks(std::size_t s) const
    {
        return members[group[s]] > 1 && resamplers[s].method == Resampling::Blocks;
    }
};

}  // namespace

std::vector<std::size_t> shared_block_lengths(std::span<const JointSeries> series)
{
    const JointNoise noise(series);
    std::vector<std::size_t> blocks;
    for (std::size_t s = 0; s < series.size(); ++s)
        blocks.push_back(noise.shares_blocks(s) ? noise.resamplers[s].block : 0);
    return blocks;
}

JointReplicates joint_replicates(std::span<const JointSeries> series)
{
    JointReplicates out;
    if (series.empty())
        return out;
    const BootstrapSettings& first = series.front().settings;
    const JointNoise noise(series);
    const std::vector<Resampler>& resamplers = noise.resamplers;
    out.group = noise.group;
    const auto count = static_cast<std::size_t>(std::max(first.replicates, 0));
    // A series whose own bootstrap drew the blocks its group draws has made these replicates.
    std::vector<char> made(series.size(), 0);
    for (std::size_t s = 0; s < series.size(); ++s)
        made[s] = noise.shares_blocks(s) && series[s].own.size() == count &&
                  noise.asked[s] == resamplers[s].block;

    for (std::size_t s = 0; s < series.size(); ++s)
        out.errors.push_back(
            resamplers[s].errors(*series[s].crop, series[s].settings.family, series[s].fit->model));
    out.replicates.assign(series.size(), std::vector<std::optional<Replicate>>(count));
    std::vector<char> finished(count, 0);
    parallel_for(count, first.threads, [&](std::size_t b) {
        if (stopped(first.stop))
            return;
        // Blocks are drawn from the replicate's own stream, as each series' bootstrap draws them;
        // the other draws from streams of their own.
        const std::uint64_t key = stream_key(first.seed, static_cast<std::uint32_t>(b));
        std::vector<std::vector<std::size_t>> rows(series.size());  // each group's shared draw
        for (std::size_t s = 0; s < series.size(); ++s) {
            if (made[s]) {
                out.replicates[s][b] = series[s].own[b];
                continue;
            }
            const std::uint64_t own = noise.shares_blocks(s) ? key : stream_key(key, s);
            std::mt19937_64 random(own);
            std::vector<double> y;
            const Resampler& r = resamplers[s];
            const std::size_t g = out.group[s];
            if (noise.members[g] < 2) {
                y = r.draw(random);
            } else {
                const std::size_t n = r.t.size();
                const std::size_t block = r.method == Resampling::Ar1 ? 1 : r.block;
                if (rows[g].empty())  // its group's first member still to draw
                    for (std::size_t drawn = 0; drawn < n; drawn += block)
                        rows[g].push_back(static_cast<std::size_t>(random() % (n - block + 1)));
                y = r.draw_at(rows[g]);
            }
            try {
                out.replicates[s][b] =
                    fit_replicate_y(*series[s].crop, r, y, *series[s].fit, series[s].settings, own,
                                    false);  // differences take no profile
            } catch (const Fault&) {
                out.replicates[s][b].reset();
            }
        }
        if (stopped(first.stop)) {  // cut short: not one of the replicates done
            for (auto& replicates : out.replicates)
                replicates[b].reset();
            return;
        }
        finished[b] = 1;
        if (first.done != nullptr)
            ++*first.done;
    });
    out.done = static_cast<std::size_t>(std::count(finished.begin(), finished.end(), 1));
    return out;
}

}  // namespace tolvenar::refine
