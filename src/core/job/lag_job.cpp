// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/job/lag_job.h"

#include "core/job/refusal.h"
#include "core/model/family.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

namespace tolvenar {

namespace {

// The record of a lag job that could not start, with the reason for each series too.
LagRecord refused_record(LagRecord record, const std::string& reason)
{
    record.code = kExitRefused;
    record.reason = reason;
    return record;
}

std::string check_series(std::span<const LagSeries> series, const std::string& reference,
                         const FitRequest& request)
{
    if (series.size() < 2)
        return "lags need two series or more";
    std::set<std::string> titles;
    for (const LagSeries& s : series)
        if (!titles.insert(s.title).second)
            return "the series \"" + s.title + "\" is given twice";
    if (!titles.contains(reference))
        return "the reference \"" + reference + "\" is not one of the series fitted";
    if (request.compare)
        return "lags need one family for every series: --compare could choose another for each";
    return {};
}

// The kept fits as the lags' replicates take them, each with its own bootstrap's replicates.
std::vector<refine::JointSeries> joint_series(const std::vector<std::optional<KeptFit>>& kept)
{
    std::vector<refine::JointSeries> joint;
    for (const auto& fit : kept)
        joint.push_back({&fit->crop, &fit->refined, fit->settings, fit->replicates});
    return joint;
}

}  // namespace

Lag lag_of(const LagSide& series, const LagSide& reference, int vertex, double level)
{
    const auto v = static_cast<std::size_t>(vertex);
    // In data x: the origins apart, then the model x apart, so that far from zero the
    // difference keeps the digits the model x hold.
    const double apart = series.origin - reference.origin;
    const auto lag_between = [&](float x, float to) {
        return apart + (static_cast<double>(x) - static_cast<double>(to));
    };
    // The lag's standard error as if the sides were apart: a scale for studentizing, which
    // needs to follow the replicates' spread only, not to match it.
    const auto error_of = [v](const std::optional<refine::StandardErrors>& a,
                              const std::optional<refine::StandardErrors>& b) {
        return a && b ? std::hypot(static_cast<double>(a->x[v]), static_cast<double>(b->x[v]))
                      : 0.0;
    };
    Lag lag;
    lag.vertex = vertex;
    lag.lag = lag_between(series.fit->model.x[v], reference.fit->model.x[v]);
    std::vector<double> values, errors;
    const std::size_t count = std::min(series.replicates.size(), reference.replicates.size());
    for (std::size_t b = 0; b < count; ++b) {
        const auto& mine = series.replicates[b];
        const auto& theirs = reference.replicates[b];
        if (mine && theirs) {
            values.push_back(lag_between(mine->model.x[v], theirs->model.x[v]));
            errors.push_back(error_of(mine->errors, theirs->errors));
        }
    }
    lag.pairs = values.size();
    if (count > 0) {
        const refine::Interval in = refine::bootstrap_interval(
            std::move(values), lag.lag, level, refine::IntervalMethod::Symmetric, errors,
            error_of(series.errors, reference.errors));
        lag.interval = Range{in.lo, in.hi};
    }
    return lag;
}

LagRecord fit_lags(std::span<const LagSeries> series, const std::string& reference,
                   const FitRequest& request, const std::string& file, const JobControl& control)
{
    LagRecord record;
    record.file = file;
    record.request = request;
    record.request.refine = true;
    record.request.shared_rows = true;
    record.reference = reference;
    for (const LagSeries& s : series)
        record.titles.push_back(s.title);
    if (const std::string reason = check_series(series, reference, request); !reason.empty())
        return refused_record(std::move(record), reason);

    // Series on the same even x draw the same blocks of rows in the lags' replicates. Fitted
    // first without their intervals, so that each one's own bootstrap draws its group's blocks:
    // its replicates are then its share of the lags' too, not made a second time.
    std::vector<std::size_t> blocks(series.size(), 0);
    std::vector<std::optional<KeptFit>> kept(series.size());
    if (request.bootstrap > 0) {
        FitRequest refined = record.request;
        refined.bootstrap = 0;
        refined.picture = false;
        JobControl quiet = control;
        quiet.trials = nullptr;  // counted once, when fitted with the intervals
        for (std::size_t s = 0; s < series.size(); ++s) {
            quiet.kept = &kept[s];
            fit_series(series[s].imported, refined, file, quiet);
        }
        if (std::all_of(kept.begin(), kept.end(), [](const auto& fit) { return fit.has_value(); }))
            blocks = refine::shared_block_lengths(joint_series(kept));
    }
    for (std::size_t s = 0; s < series.size(); ++s) {
        FitRequest asked = record.request;
        asked.block_length = blocks[s];
        JobControl own = control;
        own.kept = &kept[s];
        kept[s].reset();
        record.series.push_back(fit_series(series[s].imported, asked, file, own));
        const FitRecord& fitted = record.series.back();
        if (fitted.code > record.code) {
            record.code = fitted.code;
            record.reason = series[s].title + ": " + fitted.reason;
        }
    }
    if (record.code != kExitSuccess)
        return record;
    if (std::any_of(kept.begin(), kept.end(), [](const auto& fit) { return !fit; })) {
        record.code = kExitSearchFailed;  // fitted without a refined fit: no lag to take
        record.reason = "a series was fitted without its refined fit";
        return record;
    }

    refine::JointReplicates replicates;
    if (request.bootstrap > 0) {
        std::vector<refine::JointSeries> joint = joint_series(kept);
        for (auto& s : joint)
            s.settings.stop = control.stop;
        replicates = refine::joint_replicates(joint);
        if (replicates.done < static_cast<std::size_t>(request.bootstrap) &&
            control.stop != nullptr && control.stop->load()) {
            record.code = kExitInterrupted;
            record.reason = "interrupted during the lags' replicates";
            return record;
        }
    } else {
        replicates.replicates.resize(series.size());  // no intervals, no draws to share
    }

    const auto side = [&](std::size_t s) {
        return LagSide{&kept[s]->refined, kept[s]->crop.origin, replicates.replicates[s],
                       replicates.errors.empty() ? std::nullopt : replicates.errors[s]};
    };
    const auto ref = static_cast<std::size_t>(
        std::find(record.titles.begin(), record.titles.end(), reference) - record.titles.begin());
    const FamilyShape shape = family_shape(request.family, kept[ref]->crop.vertices);
    for (std::size_t s = 0; s < series.size(); ++s) {
        if (s == ref)
            continue;
        // Every break point between the crop's edges moves with the fit, x3 of a midway
        // family with x2 and x4.
        for (int v = 2; v < shape.last; ++v) {
            Lag lag = lag_of(side(s), side(ref), v, request.level);
            lag.series = record.titles[s];
            lag.to = reference;
            lag.joint = !replicates.group.empty() && replicates.group[s] == replicates.group[ref];
            record.lags.push_back(std::move(lag));
        }
    }
    return record;
}

}  // namespace tolvenar
