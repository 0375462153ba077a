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
ResultLabels refined_labels(const EngineState& state, ModelFamily family,
                            const refine::RefinedFit& fit)
{
    ResultLabels labels;
    labels.apply(reset_label_writes(family == ModelFamily::SimpleRamp));
    labels.apply(refine::refined_report(state, family, fit).writes);
    return labels;
}

std::string percent_text(double level)
{
    return number_text(std::round(level * 1e6) / 1e4);
}

std::string range_text(double lo, double hi, int decimals)
{
    return rounded_text(lo, decimals) + " .. " + rounded_text(hi, decimals);
}

Intervals intervals_of(const refine::BootstrapResult& boot,
                       const refine::BootstrapSettings& settings)
{
    Intervals intervals;
    intervals.replicates = settings.replicates;
    for (const auto& replicate : boot.replicates)
        intervals.fitted += replicate.has_value();
    intervals.level = settings.level;
    intervals.seed = settings.seed;
    intervals.block_length = boot.block_length;
    for (std::size_t k = 1; k <= 6; ++k) {
        intervals.x[k] = {boot.x[k].lo, boot.x[k].hi};
        intervals.y[k] = {boot.y[k].lo, boot.y[k].hi};
    }
    if (boot.measure)
        intervals.measure = Range{boot.measure->lo, boot.measure->hi};
    return intervals;
}

std::vector<std::string> lines_of(const EngineState& state, ModelFamily family,
                                  const refine::RefinedFit& fit, const RefinedModel& refined)
{
    const ResultLabels labels = refined_labels(state, family, fit);
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
                    number_text(state.BestOfBestSqDist) + ")");
    if (!refined.intervals)
        return lines;

    const Intervals& in = *refined.intervals;
    lines.push_back("Bootstrap = " + std::to_string(in.replicates) + " replicates (" +
                    std::to_string(in.fitted) + " fitted), blocks of " +
                    std::to_string(in.block_length) + " points, seed " + std::to_string(in.seed));
    const std::string level = " " + percent_text(in.level) + " % interval = ";
    for (std::size_t i = 1; i <= 6; ++i) {
        if (labels.x[i].enabled)
            lines.push_back("X" + std::to_string(i) + level +
                            range_text(state.CropOrigin + in.x[i].lo,
                                       state.CropOrigin + in.x[i].hi, 2));
        if (labels.y[i].enabled)
            lines.push_back("Y" + std::to_string(i) + level +
                            range_text(in.y[i].lo, in.y[i].hi, 2));
    }
    if (labels.measure.enabled && in.measure) {
        const MeasureNames& names = measure_names(family_row(family).measure);
        lines.push_back(std::string(names.caption) + level +
                        range_text(in.measure->lo, in.measure->hi, names.decimals));
    }
    return lines;
}

}  // namespace

RefinedModel refined_model(const EngineState& state, const SearchSettings& settings,
                           const FitOptions& options, std::vector<refine::Model> run_bests,
                           int threads)
{
    const refine::RefinedFit fit = refine::refine_fit(
        state, {options.family, options.constrain, {state.BestOfBestX, state.BestOfBestY},
                std::move(run_bests), static_cast<unsigned>(threads)});
    RefinedModel refined{fit.model.x, fit.model.y, fit.r, fit.sq_dist, fit.measure, {}, {}};
    if (options.bootstrap > 0) {
        refine::BootstrapSettings b;
        b.family = options.family;
        b.constrained = options.constrain;
        b.runs = to_int16(settings.runs.value());  // both counts already read by the search
        b.trials = to_int32(settings.trials.value());
        b.scale_left = settings.scale_left;
        b.scale_width = settings.scale_width;
        b.replicates = options.bootstrap;
        b.level = options.level;
        b.seed = options.seed;
        b.threads = static_cast<unsigned>(threads);
        b.search = options.bootstrap_search;
        refined.intervals = intervals_of(refine::bootstrap(state, fit, b), b);
    }
    refined.lines = lines_of(state, options.family, fit, refined);
    return refined;
}

}  // namespace tolvenar::cli
