// SPDX-License-Identifier: GPL-3.0-or-later
// How sure a refined fit is: replicates of the crop made of the refined curve plus noise like its
// residuals', each fitted again to its own global optimum (or searched and refined, as the
// original fit was), and intervals from the spread of their break points, levels and measure.
// The noise is made of the residuals over their sigma, put back at each point's own sigma:
// resampled in moving blocks of rows on evenly spaced x (so that correlated noise keeps its
// correlation), drawn from their AR(1) fitted on x on uneven x, where a block of rows would
// carry the persistence of one stretch of the series to another spaced differently. Replicates
// run on every core; the result depends on the seed alone.
#pragma once

#include "core/model/fit_crop.h"
#include "core/model/family.h"
#include "core/refine/refine.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvenar::refine {

// How the replicates' noise is made.
enum class Resampling {
    // Ar1 on any x: on even x too its replicates hold persistent noise's spread, which moving
    // blocks of a few rows keep only part of
    Automatic,
    // Blocks on evenly spaced x (compare::evenly_spaced), Ar1 on any other: for series drawn
    // together, whose blocks of the same rows keep the noise they share
    RowsOnEvenX,
    Blocks,     // moving blocks of rows of the standardised residuals
    // Gaussian noise from the continuous-time AR(1) of the standardised residuals fitted on
    // their x (persistence tau in x units; on even x the AR(1) in steps), the studentizing
    // standard errors from that noise's covariance (ar1_standard_errors)
    Ar1,
};

struct BootstrapSettings {
    ModelFamily family = ModelFamily::SimpleRamp;
    bool constrained = false;  // the original fit ended with a constrained search: so do replicates
    std::int32_t runs = 10;    // search settings of every replicate, as of the original fit
    std::int32_t trials = 1000;
    float scale_left = 0.0f;   // the crop window in model x (working plot ScaleLeft, ScaleWidth)
    float scale_width = 0.0f;
    std::int32_t replicates = 200;
    double level = 0.9;
    std::uint32_t seed = 5489;
    unsigned threads = 0;  // 0: every core; the result is the same for any number
    std::size_t block_length = 0;  // 0: block_length_of the residuals
    // Each replicate searched by runs x trials (and once more inside its boxes when
    // constrained) before its refinement, so the intervals carry the search's own variability;
    // false: each replicate's global optimum straight from the original fit's.
    bool search = false;
    // Polled between replicates and in each replicate's search and refinement: once true, the
    // replicates done so far make the intervals (BootstrapResult::done). nullptr: never stopped.
    const std::atomic<bool>* stop = nullptr;
    std::atomic<std::int32_t>* done = nullptr;  // counts finished replicates, for progress
    Resampling resampling = Resampling::Automatic;
};

// Studentized: quantiles of the replicates' (value - estimate) / standard error; Symmetric:
// the same with |value - estimate|, an interval centred on the estimate. Profile: a break
// point's own interval (chosen_method's) spanned with its calibrated profile interval, where
// that reaches further (profile_interval).
enum class IntervalMethod { Percentile, Basic, BiasCorrected, Studentized, Symmetric, Profile };

// The method of a value's interval unless one is asked, from the estimate's standard error
// `error`, the replicates' standard deviation `spread` and the median of their own standard
// errors `typical`. Symmetric studentized, except for a break point (or the measure) of
// replicates drawn from an AR(1) whose error and spread differ by more than kAgreement times:
// then the replicates' percentiles. Such replicates spread as the estimates do, while the
// curvature of a break point the data place loosely is no scale they share; blocks of rows keep
// only part of persistent noise's spread, which the studentizing restores. Levels are linear in
// the data, so their errors are a scale the replicates share, unless the noise refitted to each
// replicate is another (a family that misses the data's shape leaves residuals that wander as a
// random walk): then, where the estimate's error and the replicates' typical one differ by more
// than kAgreement times, the percentiles.
inline constexpr double kAgreement = 1.5;
IntervalMethod chosen_method(Resampling resampling, bool break_point, double error, double spread,
                             double typical);

// How far the data hold an interval. A break point cannot lie outside the crop, nor a duration
// beyond its width: an interval that would reach past them is cut at them and says so.
enum class Reach {
    Held,          // inside its possible range
    Edge,          // cut at one end of its possible range: the data do not bound it there
    Whole,         // its whole possible range: the data do not pin it
    Undetermined,  // of zero width on data that vary (the replicates could not move it): no interval
};

struct Interval {
    double lo = 0.0;
    double hi = 0.0;
    Reach reach = Reach::Held;
    IntervalMethod method = IntervalMethod::Symmetric;  // the one it was made by
};

// "held", "edge", "whole" or "undetermined", as the record writes a reach.
const char* reach_name(Reach reach);

// Whether an interval lo..hi made by `method` is read off the replicates' percentiles, as the
// report and the record name it: a fixed vertex's, of no width, is not.
inline bool by_percentiles(IntervalMethod method, double lo, double hi)
{
    return method == IntervalMethod::Percentile && hi > lo;
}

// `raw` cut to its possible range lo..hi, and its reach; Undetermined when it has no width
// although the value is free and the data vary.
Interval held_within(Interval raw, double lo, double hi, bool free_and_varying);

// One fitted replicate.
struct Replicate {
    Model model;
    std::optional<float> measure;
    float search_sq_dist = 0.0f;  // the replicate search's best (without one: = sq_dist)
    float sq_dist = 0.0f;         // refined
    std::optional<StandardErrors> errors;  // of the refined model, for studentized intervals
    // A family whose break points are profiled (FamilyRow::profiled): per moved break point,
    // the replicate's least sum of squares with that break point held at the fit's, over its
    // own least, less one (how far the fit's break point lies from its optimum in its profile).
    std::vector<double> held_excess;
};

struct BootstrapResult {
    std::array<Interval, 7> x{};  // vertices 1..6, model x; element 0 unused
    std::array<Interval, 7> y{};
    std::optional<Interval> measure;  // duration of change or symmetry index
    Resampling resampling = Resampling::Blocks;  // the one used: Blocks or Ar1
    std::size_t block_length = 1;                // Blocks: rows a block; Ar1: 1
    std::optional<double> persistence;           // Ar1 on uneven x: tau in model x units
    // Ar1 whose persistence outlasts the crop: the residuals drift over all of it, as where the
    // family misses the data's shape, and the replicates draw such drifts.
    bool drifting = false;
    std::optional<StandardErrors> errors;  // of the estimate
    std::vector<std::optional<Replicate>> replicates;  // in replicate order; none: no model found
    std::size_t done = 0;  // replicates made to the end: all of them unless settings.stop came
};

// The profile interval of moved break point `j` (an index into the family's moved vertices) of
// `fit`: every x whose least sum of squares with the break point held there (held_sq_dists)
// stays within 1 + `excess` times the least, hulled over the crop's points and its edges (with
// three or more moved break points told at every stride-th point and the fit's own, the ends
// then point by point) and its ends halved towards the points beyond. Its lo (hi) is minus
// (plus) infinity where it reaches the crop's left (right) edge, or every point beyond holds no
// model: the data do not bound it there. nullopt where no point lies within.
std::optional<Interval> profile_interval(const FitCrop& crop, const RefinedFit& fit,
                                         const BootstrapSettings& settings, std::size_t j,
                                         double excess);

// The bootstrap of `fit` over `crop` (its vertices and manual boxes as the original search had
// them). Intervals by `method` (none: each by chosen_method) at settings.level from the
// replicates that found a model; with fewer than two, every interval is the estimate itself.
// Without a method, the break points of a profiled family (FamilyRow::profiled) span their
// profile interval too, its reach the level's quantile of the replicates' held_excess: where
// the data place a slight kink loosely, replicates drawn about the fit's sharper kink spread
// less than the estimates do, while the profile calibrated by them holds the truth.
BootstrapResult bootstrap(const FitCrop& crop, const RefinedFit& fit,
                          const BootstrapSettings& settings,
                          std::optional<IntervalMethod> method = std::nullopt);

// Replicates of several refined fits made together, for differences between their values: each
// series' settings as its own bootstrap takes them (the replicate count, seed, threads and stop
// of the first). Series on the same x whose noise is made alike form a group that shares its
// draws, so that the replicates keep the correlation between their noise: on even x the same
// blocks of rows, of the longest block any of them asks, drawn from replicate b's own stream
// stream_key(seed, b) as each one's bootstrap draws them; on uneven x the same rows' AR(1)
// innovations. A series alone in its group draws its bootstrap's own noise. The other draws of
// replicate b of series s come from stream_key(stream_key(seed, b), s), whatever the threads.
struct JointSeries {
    const FitCrop* crop = nullptr;
    const RefinedFit* fit = nullptr;
    BootstrapSettings settings;
    // The replicates of its own bootstrap: where they drew its group's blocks (settings asked
    // its shared_block_lengths), they are its share of the joint ones, not made again.
    std::span<const std::optional<Replicate>> own;
};
struct JointReplicates {
    std::vector<std::size_t> group;  // of each series: the first series of its group
    std::vector<std::vector<std::optional<Replicate>>> replicates;  // [series][replicate]
    // Of each series' fit, as its replicates' are made (for studentizing their differences).
    std::vector<std::optional<StandardErrors>> errors;
    std::size_t done = 0;  // replicates made to the end for every series
};
JointReplicates joint_replicates(std::span<const JointSeries> series);

// Of each series, the block length its group draws together on even x (0: none shared): asked
// of its own bootstrap, its replicates are its share of joint_replicates.
std::vector<std::size_t> shared_block_lengths(std::span<const JointSeries> series);

// The band the replicates' curves span at `level`: at each of `samples` x spread evenly from
// `left` to `right` (model x), the (1 - level) / 2 and (1 + level) / 2 quantiles of the values
// of the replicates that found a model. Empty with fewer than two such replicates.
struct Band {
    std::vector<double> x;
    std::vector<double> lo;
    std::vector<double> hi;
};
Band curve_band(const BootstrapResult& result, double level, double left, double right,
                int samples);

// The interval of `values` (replicates of a statistic) around `estimate` at `level`.
// Studentized: `errors` are the replicates' standard errors (pairs with one of 0 are left out)
// and `error` the estimate's; the others ignore them. Its method says how it was made: the
// percentiles where there was nothing to studentize with.
Interval bootstrap_interval(std::vector<double> values, double estimate, double level,
                            IntervalMethod method, const std::vector<double>& errors = {},
                            double error = 0.0);

// How the replicates' noise was made, for a report: "blocks of 9 points", or "AR(1) noise on x,
// persistence 2.13" (tau in x units, 3 significant digits, then `unit`, " days" for dates;
// "AR(1) noise" without one), a drifting noise named as such.
std::string resampling_text(const BootstrapResult& result, std::string_view unit = {});

// Block length of the moving-block resampling of `residuals` (see the definition).
std::size_t block_length_of(std::span<const double> residuals);

}  // namespace tolvenar::refine
