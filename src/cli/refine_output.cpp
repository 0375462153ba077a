// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/refine_output.h"

#include "core/refine/bootstrap.h"
#include "core/runtime/numbers.h"
#include "core/search/report.h"

#include <cmath>
#include <string>

namespace tolvenar::cli {

namespace {

// The report's own writes over the refined model: same captions, same decimals.
ResultLabels refined_labels(const FitSession& session, ModelFamily family,
                            const refine::RefinedFit& fit)
{
    ResultLabels labels;
    labels.apply(reset_label_writes(family));
    labels.apply(session.refined_report(family, fit).writes);
    return labels;
}

std::string percent_text(double level)
{
    return number_text(std::round(level * 1e6) / 1e4);
}

Intervals intervals_of(const refine::BootstrapResult& boot, const IntervalRequest& request)
{
    Intervals intervals;
    intervals.replicates = request.replicates;
    intervals.done = static_cast<std::int32_t>(boot.done);
    for (const auto& replicate : boot.replicates)
        intervals.fitted += replicate.has_value();
    intervals.level = request.level;
    intervals.seed = request.seed;
    intervals.block_length = boot.block_length;
    for (std::size_t k = 1; k <= 6; ++k) {
        intervals.x[k] = {boot.x[k].lo, boot.x[k].hi};
        intervals.y[k] = {boot.y[k].lo, boot.y[k].hi};
    }
    if (boot.measure)
        intervals.measure = Range{boot.measure->lo, boot.measure->hi};
    return intervals;
}

std::vector<std::string> lines_of(const FitSession& session, ModelFamily family,
                                  const refine::RefinedFit& fit, const RefinedModel& refined,
                                  const std::optional<refine::BootstrapResult>& boot)
{
    const ResultLabels labels = refined_labels(session, family, fit);
    std::vector<std::string> lines;
    for (std::size_t i = 1; i <= 6; ++i) {
        if (labels.x[i].enabled)
            lines.push_back("Refined " + labels.x[i].caption);
        if (labels.y[i].enabled)
            lines.push_back("Refined " + labels.y[i].caption);
    }
    lines.push_back("Refined " + labels.r.caption);
    if (labels.measure.enabled)
        lines.push_back("Refined " + labels.measure.caption);
    lines.push_back("Refined sum of squares = " + number_text(fit.sq_dist) + " (search: " +
                    number_text(session.best_sq_dist()) + ")");
    if (!refined.intervals || !boot)
        return lines;

    const Intervals& in = *refined.intervals;
    const std::string done = in.done < in.replicates ? std::to_string(in.done) + " of " : "";
    lines.push_back("Bootstrap = " + done + std::to_string(in.replicates) + " replicates (" +
                    std::to_string(in.fitted) + " fitted), " + refine::resampling_text(*boot) +
                    ", seed " + std::to_string(in.seed));
    const std::string level = " " + percent_text(in.level) + " % interval = ";
    for (const IntervalLine& line : session.interval_lines(family, fit, *boot))
        lines.push_back(line.name + level + line.lo + " .. " + line.hi);
    return lines;
}

}  // namespace

RefinedModel refined_record(const FitSession& session, ModelFamily family,
                            const refine::RefinedFit& fit,
                            const std::optional<refine::BootstrapResult>& boot,
                            const IntervalRequest& request)
{
    RefinedModel refined{fit.model.x, fit.model.y, fit.r, fit.sq_dist, fit.measure, {}, {}};
    if (boot) {
        refined.intervals = intervals_of(*boot, request);
        refined.intervals->band =  // over the crop, from the first vertex to the last
            refine::curve_band(*boot, request.level, fit.model.x[1], fit.model.x[6], 400);
    }
    refined.lines = lines_of(session, family, fit, refined, boot);
    return refined;
}

RefinedModel refined_model(const FitSession& session, const FitOptions& options, int threads,
                           const std::atomic<bool>& stop)
{
    const refine::RefinedFit fit = session.refine(options.family, &stop);
    IntervalRequest request;
    std::optional<refine::BootstrapResult> boot;
    if (options.bootstrap > 0) {
        request.replicates = options.bootstrap;
        request.level = options.level;
        request.seed = options.seed;
        request.threads = static_cast<unsigned>(threads);
        request.stop = &stop;
        request.search = options.bootstrap_search;
        boot = session.bootstrap(options.family, fit, request);
    }
    return refined_record(session, options.family, fit, boot, request);
}

}  // namespace tolvenar::cli
