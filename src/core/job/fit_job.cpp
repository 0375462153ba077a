// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/job/fit_job.h"

#include "core/job/refusal.h"
#include "core/job/lag_job.h"
#include "core/job/scan_job.h"
#include "core/model/family.h"
#include "core/report/record_output.h"
#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"
#include "core/window/crop.h"
#include "core/window/precision.h"

#include <cmath>
#include <new>
#include <utility>

namespace tolvenar {

namespace {

bool stopped(const std::atomic<bool>* stop)
{
    return stop != nullptr && stop->load();
}

// What choosing the family in the window does to the session: the results, the counters and
// the manual boxes forgotten, the family's vertices.
void reset_for(FitSession& session, ModelFamily family)
{
    session.forget_results();
    session.reset_counters();
    session.clear_manual_boxes();
    session.set_vertices(node_count_of(family));
}

// Keeps the result labels as the window shows them, counts trials for a progress line, and
// stops the search on the stop flag (a signal).
class JobObserver final : public SearchObserver {
public:
    JobObserver(ModelFamily family, const JobControl& control) : m_control(control)
    {
        labels.apply(reset_label_writes(family));
    }
    ~JobObserver() override { publish(); }

    void report_written(const ResultReport& report) override { labels.apply(report.writes); }
    void candidate_evaluated(const SearchView&, std::int64_t) override
    {
        if (++m_unpublished == 1024)
            publish();
    }
    bool stop_requested() override
    {
        stopped = stopped || tolvenar::stopped(m_control.stop);
        return stopped;
    }

    ResultLabels labels;
    bool stopped = false;

private:
    void publish()
    {
        if (m_control.trials != nullptr)
            m_control.trials->fetch_add(m_unpublished, std::memory_order_relaxed);
        m_unpublished = 0;
    }

    const JobControl& m_control;
    std::int64_t m_unpublished = 0;
};

// The counts as the request names them: "--runs 10", "runs=10".
CountNames count_names(const FitRequest& request, const SearchStep& step)
{
    return {request.names.runs + step.runs, request.names.trials + step.trials};
}

// A failure unless the search named after `step` completed.
void check_search(const FitSession& session, const SearchOutcome& outcome,
                  const SearchRequest& search, const FitRequest& request, const SearchStep& step)
{
    if (outcome.end == SearchEnd::Completed)
        return;
    throw failed(session.stop_line(step.constrain ? "constrained search" : "search", outcome,
                                   search, count_names(request, step)));
}

// A failure when the searches promoted no run: the sentinels stand where the break points belong.
void check_found(const FitSession& session, const SearchRequest& search,
                 const FitRequest& request)
{
    if (session.has_best())
        return;
    double runs = 0.0;
    try {
        runs = static_cast<double>(to_int16(search.runs.value()));
    } catch (const Fault&) {
    }
    if (runs < 1.0)
        throw failed("no run made: " + request.names.runs + request.first_search().runs +
                     " reads as no run");
    throw failed("search found no model: every candidate's break points coincided where it "
                 "divides by their distance");
}

// The session's best of best as the record holds it, with the report `labels` show.
FoundModel found_model(const FitSession& session, ModelFamily family, const ResultLabels& labels)
{
    const CropInfo crop = session.crop_info();
    const Model best = session.best();
    FoundModel found{crop.first_row, crop.points, crop.min_y, crop.max_y,
                     crop.origin, node_count_of(family), best.x,
                     best.y, session.best_r(), session.best_sq_dist(),
                     session.trials_made() - session.trials_before(), std::nullopt, std::nullopt, report_lines(labels),
                     std::nullopt, session.x_form()};
    // The measure as the report computes it, before its rounding.
    const std::optional<float> measure = family_measure(family, best.x);
    if (family_row(family).measure == FamilyMeasure::Duration)
        found.duration = measure;
    if (family_row(family).measure == FamilyMeasure::SymmetryIndex)
        found.symmetry_index = measure;
    return found;
}

// The values of `fit` in place of the best of best's, in data y as the search's are.
void take_fit(FoundModel& found, ModelFamily family, const refine::RefinedFit& fit)
{
    found.x = fit.model.x;
    found.y = about_y_origin(fit.model, -fit.y_origin).y;
    found.r = fit.r;
    found.sq_dist = fit.sq_dist;
    const FamilyMeasure measure = family_row(family).measure;
    found.duration = measure == FamilyMeasure::Duration ? fit.measure : std::nullopt;
    found.symmetry_index = measure == FamilyMeasure::SymmetryIndex ? fit.measure : std::nullopt;
}

std::string percent_text(double level)
{
    return number_text(std::round(level * 1e6) / 1e4);
}

// The bootstrap's intervals, y in data y (the replicates' are about the crop's y origin).
Intervals intervals_of(const refine::BootstrapResult& boot, const IntervalRequest& request,
                       double y_origin)
{
    Intervals intervals;
    intervals.replicates = request.replicates;
    intervals.done = static_cast<std::int32_t>(boot.done);
    for (const auto& replicate : boot.replicates)
        intervals.fitted += replicate.has_value();
    intervals.level = request.level;
    intervals.seed = request.seed;
    intervals.block_length = boot.block_length;
    intervals.persistence = boot.persistence;
    intervals.drifting = boot.drifting;
    for (std::size_t k = 1; k <= 6; ++k) {
        intervals.x[k] = {boot.x[k].lo, boot.x[k].hi, boot.x[k].reach, boot.x[k].method};
        intervals.y[k] = {y_origin + boot.y[k].lo, y_origin + boot.y[k].hi, boot.y[k].reach,
                          boot.y[k].method};
    }
    if (boot.measure)
        intervals.measure =
            Range{boot.measure->lo, boot.measure->hi, boot.measure->reach, boot.measure->method};
    return intervals;
}

// "Refined X1 = ..", the sums of squares, then one line on the bootstrap ("37 of 2000
// replicates" when a stop cut it short) and "X2 90 % interval = lo .. hi" per reported value.
std::vector<std::string> refined_lines(const FitSession& session, ModelFamily family,
                                       const refine::RefinedFit& fit, const RefinedModel& refined,
                                       const std::optional<refine::BootstrapResult>& boot)
{
    ResultLabels labels;
    labels.apply(reset_label_writes(family));
    labels.apply(session.refined_report(family, fit).writes);
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
    const std::string unit = session.x_form().is_date() ? " days" : "";
    lines.push_back("Bootstrap = " + done + std::to_string(in.replicates) + " replicates (" +
                    std::to_string(in.fitted) + " fitted), " + refine::resampling_text(*boot, unit) +
                    ", seed " + std::to_string(in.seed));
    const std::string level = " " + percent_text(in.level) + " % interval = ";
    for (const IntervalLine& line : session.interval_lines(family, fit, *boot))
        lines.push_back(line.name + level +
                        (line.lo.empty() ? "not determined" : line.lo + " .. " + line.hi) +
                        (line.note.empty() ? "" : " (" + line.note + ")"));
    return lines;
}

// The record of a refined fit (and of its intervals, made with `request`).
RefinedModel refined_record(const FitSession& session, ModelFamily family,
                            const refine::RefinedFit& fit,
                            const std::optional<refine::BootstrapResult>& boot,
                            const IntervalRequest& request)
{
    RefinedModel refined{fit.model.x, fit.model.y, fit.y_origin, fit.r, fit.sq_dist,
                         fit.measure, {}, {}};
    if (boot) {
        refined.intervals = intervals_of(*boot, request, fit.y_origin);
        refine::Band& band = refined.intervals->band;
        band = refine::curve_band(*boot, request.level, fit.model.x[1], fit.model.x[6], 400);
        for (std::size_t i = 0; i < band.x.size(); ++i) {
            band.lo[i] += fit.y_origin;
            band.hi[i] += fit.y_origin;
        }
    }
    refined.lines = refined_lines(session, family, fit, refined, boot);
    return refined;
}

ComparisonRecord comparison_record(const FamilyComparison& comparison,
                                   std::size_t test_replicates, double origin)
{
    ComparisonRecord record;
    record.models = comparison.comparison.models;
    if (!record.models.empty())
        record.chosen = comparison.chosen().name;
    record.family = comparison.chosen_family();
    record.test_replicates = test_replicates;
    if (const auto& test = comparison.comparison.test) {
        record.p = test->p;
        record.replicates = test->replicates;
        record.null_name = test->null_name;
    }
    for (const compare::NullFit& fitted : comparison.comparison.nulls)
        if (fitted.name == record.chosen) {
            record.null_fit = fitted;
            record.null_fit->x0 += origin;
        }
    record.stopped = comparison.stopped;
    return record;
}

// What the file and the crop say of the series, into the record: the form of its x, a downward
// axis, the gaps within [from, to], the sigma column, the title row, the comment lines, and
// whether single precision holds the crop finely enough for the search.
void note_series(FitRecord& record, const SeriesNotes& notes, const FitSession& session,
                 double from, double to)
{
    record.from = from;
    record.to = to;
    record.x_form = notes.x_form;
    record.reversed = notes.reversed;
    record.sigma_title = notes.sigma_title;
    record.x_title = notes.x_title;
    record.y_title = notes.y_title;
    if (!notes.gap_x.empty())
        record.gaps = gaps_within(notes.gap_x, from, to);
    record.title_row = notes.title_row;
    record.comment_lines = notes.comment_lines;
    const CropInfo crop = session.crop_info();
    if (crop.points > 0)
        record.precision_warning =
            crop_precision_warning(session.table(), crop.first_row, crop.points, crop.origin);
}

// The search of one step: the family's candidates over the crop window's width.
SearchRequest search_request(const FitSession& session, ModelFamily family,
                             const CropEdges& window, const SearchStep& step)
{
    SearchRequest search;
    search.family = family;
    search.constrain = step.constrain ? 1 : 0;
    search.runs = FieldNumber::of_text(step.runs);
    search.trials = FieldNumber::of_text(step.trials);
    search.scale_left = session.model_x(window.left);
    search.scale_width = window.width;
    return search;
}

// The comparison of the crop as the request asks it.
ComparisonRequest comparison_request(const FitSession& session, const CropEdges& window,
                                     const FitRequest& request, const JobControl& control)
{
    ComparisonRequest compare;
    compare.left = session.model_x(window.left);
    compare.right = compare.left + static_cast<double>(window.width);
    compare.replicates = request.test_replicates;
    compare.alpha = request.alpha;
    compare.seed = request.seed;
    compare.threads = static_cast<unsigned>(std::max(control.threads, 1));
    compare.stop = control.stop;
    return compare;
}

}  // namespace

std::optional<ModelFamily> fitted_family(const FitRecord& record)
{
    if (!record.request.compare)
        return record.request.family;
    return record.comparison ? record.comparison->fitted : std::nullopt;
}

std::vector<std::string> report_lines(const ResultLabels& labels)
{
    std::vector<std::string> lines;
    for (std::size_t i = 1; i <= 6; ++i) {
        if (labels.x[i].enabled)
            lines.push_back(labels.x[i].caption);
        if (labels.y[i].enabled)
            lines.push_back(labels.y[i].caption);
    }
    if (labels.r.enabled)
        lines.push_back(labels.r.caption);
    if (labels.measure.enabled)
        lines.push_back(labels.measure.caption);
    return lines;
}

JobOutcome run_steps(FitSession& session, const JobSteps& steps, JobResults& results,
                     SearchObserver& observer, const std::atomic<bool>* stop,
                     JobProgress* progress)
{
    JobOutcome outcome;
    if (steps.scan) {
        JobControl control;
        control.stop = stop;
        control.threads = steps.scan->threads;
        results.scan = scan_events(imported_of(session, steps.scan->notes), steps.scan->request,
                                   steps.scan->file, control, progress);
        outcome.stopped = stopped(stop);
        return outcome;
    }
    if (steps.lags) {
        JobControl control;
        control.stop = stop;
        control.threads = steps.lags->threads;
        control.trials = progress ? &progress->trials : nullptr;
        results.lags = fit_lags(steps.lags->series, steps.lags->reference, steps.lags->request,
                                steps.lags->file, control);
        outcome.stopped = stopped(stop);
        return outcome;
    }
    if (steps.compare) {
        ComparisonRequest request = *steps.compare;
        request.stop = stop;
        request.done = progress ? &progress->compared : nullptr;
        results.comparison = session.compare(request);
        results.compared_crop = session.crop_info();
        results.comparison_request = *steps.compare;
        outcome.stopped = results.comparison->stopped;
        if (outcome.stopped)
            return outcome;
    }
    for (std::size_t i = 0; i < steps.searches.size(); ++i) {
        if (i > 0 && observer.stop_requested())
            break;
        // A new search leaves the refined fit and its intervals behind.
        results.refined.reset();
        results.intervals.reset();
        const SearchStep step = i < steps.search_steps.size() ? steps.search_steps[i]
                                                               : SearchStep{};
        outcome.search = session.search(steps.searches[i], observer, step).outcome;
        ++outcome.searches_done;
        if (outcome.search.end != SearchEnd::Completed)
            return outcome;
    }
    if (!steps.family || !(steps.refine || steps.bootstrap) || stopped(stop) ||
        !session.has_best()) {
        outcome.stopped = outcome.stopped || stopped(stop);
        return outcome;
    }
    if (!results.refined)
        results.refined = session.refine(*steps.family, stop);
    if (steps.bootstrap && !stopped(stop)) {
        IntervalRequest request = *steps.bootstrap;
        request.stop = stop;
        request.done = progress ? &progress->replicates : nullptr;
        results.intervals = session.bootstrap(*steps.family, *results.refined, request);
        results.interval_request = *steps.bootstrap;
    }
    outcome.stopped = stopped(stop);
    return outcome;
}

const FamilyComparison* current_comparison(const FitSession& session, const JobResults& results)
{
    const CropInfo crop = session.crop_info();
    const CropInfo& compared = results.compared_crop;
    const bool same = crop.first_row == compared.first_row && crop.points == compared.points &&
                      crop.origin == compared.origin;
    return results.comparison && same ? &*results.comparison : nullptr;
}

SeriesNotes notes_of(const ImportedSeries& series)
{
    return {series.x_form,  series.reversed,        series.sigma_title,
            series.x_title, series.y_title,         series.gap_x,
            series.layout.title_row, series.comment_lines};
}

FitRecord make_record(const FitSession& session, const JobResults& results,
                      const FitRequest& request, const std::string& file, double from, double to,
                      const SeriesNotes& notes, const ResultLabels& labels)
{
    FitRecord record;
    record.file = file;
    record.request = request;
    note_series(record, notes, session, from, to);
    if (const FamilyComparison* comparison = current_comparison(session, results))
        record.comparison = comparison_record(*comparison, request.test_replicates,
                                              results.compared_crop.origin);
    const ModelFamily family = request.family;
    // Without a search, a refined fit asked for (a comparison's optimum shown in the window)
    // stands as the best found, with no trial made.
    const bool shown = !session.has_best() && request.refine && results.refined;
    if (!session.has_best() && !shown)
        return record;
    record.found = found_model(session, family, labels);
    if (shown)
        take_fit(*record.found, family, *results.refined);
    if (record.comparison)
        record.comparison->fitted = family;
    if (results.refined && request.refine)
        record.found->refined = refined_record(session, family, *results.refined,
                                               results.intervals, results.interval_request);
    return record;
}

FitRequest session_request(const FitSession& session, const JobResults& results,
                           ModelFamily family, const CropEdges& edges)
{
    FitRequest request;
    request.family = family;
    request.from = Edge{edges.from, "", "", false};
    request.to = Edge{edges.to, "", "", false};
    if (!session.searches().empty())
        request.searches = session.searches();
    request.draws = session.first_draws();
    request.refine = results.refined.has_value();
    if (results.intervals) {
        request.bootstrap = static_cast<std::int32_t>(results.intervals->replicates.size());
        request.level = results.interval_request.level;
        request.bootstrap_search = results.interval_request.search;
        if (results.interval_request.seed != request.seed)
            request.bootstrap_seed = results.interval_request.seed;
    }
    if (current_comparison(session, results) != nullptr) {
        request.compare = true;
        request.test_replicates = results.comparison_request.replicates;
        request.alpha = results.comparison_request.alpha;
    }
    return request;
}

FitRecord fit_series(const CheckedImport& imported, const FitRequest& request,
                     const std::string& file, const JobControl& control)
{
    FitRecord record;
    record.file = file;
    record.request = request;
    const SeriesNotes notes = notes_of(imported.series);
    try {
        FitSession session(request.seed);
        session.load(imported.series.table, imported.series.x_form, imported.series.sigma);
        const CropEdges window =
            crop_window(session.table(), request.from, request.to, session.x_form());
        record.from = window.from;
        record.to = window.to;
        take_crop(session, window);
        note_series(record, notes, session, window.from, window.to);
        session.set_threads(control.threads);

        JobResults results;
        ModelFamily family = request.family;
        if (request.compare) {
            // Compare, then fit the chosen family, if any.
            JobSteps compare;
            compare.compare = comparison_request(session, window, request, control);
            SearchObserver none;
            const JobOutcome compared = run_steps(session, compare, results, none, control.stop);
            record.comparison = comparison_record(*results.comparison, request.test_replicates,
                                                  session.crop_info().origin);
            if (compared.stopped) {
                record.code = kExitInterrupted;
                record.reason = "interrupted during the comparison";
                return record;
            }
            if (!record.comparison->family)
                return record;  // no event: nothing to search
            family = *record.comparison->family;
            record.comparison->fitted = family;
        }

        reset_for(session, family);
        session.skip_draws(request.draws);
        JobSteps steps;
        steps.family = family;
        for (const SearchStep& step : request.searches) {
            steps.searches.push_back(search_request(session, family, window, step));
            steps.search_steps.push_back(step);
        }
        JobObserver observer(family, control);
        JobOutcome outcome = run_steps(session, steps, results, observer, control.stop);
        if (outcome.search.end != SearchEnd::Completed) {
            const std::size_t last = outcome.searches_done - 1;
            check_search(session, outcome.search, steps.searches[last], request,
                         request.searches[last]);
        }
        if (observer.stopped) {
            record.code = kExitInterrupted;
            record.reason =
                "interrupted after " + std::to_string(session.trials_made()) + " trials";
            if (!session.has_best()) {
                record.reason += ", before a model was found";
                return record;
            }
        } else {
            check_found(session, steps.searches.front(), request);
        }
        record.found = found_model(session, family, observer.labels);
        if ((request.refine || request.bootstrap > 0) && record.code == kExitSuccess) {
            steps.searches.clear();
            steps.refine = true;
            IntervalRequest intervals;
            if (request.shared_rows)
                intervals.resampling = refine::Resampling::RowsOnEvenX;
            if (request.bootstrap > 0) {
                intervals.replicates = request.bootstrap;
                intervals.level = request.level;
                intervals.seed = request.replicates_seed();
                intervals.threads = static_cast<unsigned>(control.threads);
                intervals.search = request.bootstrap_search;
                intervals.block_length = request.block_length;
                steps.bootstrap = intervals;
            }
            outcome = run_steps(session, steps, results, observer, control.stop);
            record.found->refined = refined_record(session, family, *results.refined,
                                                   results.intervals, intervals);
            if (control.kept != nullptr && !outcome.stopped)
                *control.kept = KeptFit{
                    session.crop_values(), *results.refined,
                    session.bootstrap_settings(family, intervals),
                    results.intervals ? results.intervals->replicates
                                      : std::vector<std::optional<refine::Replicate>>{}};
            if (outcome.stopped) {
                record.code = kExitInterrupted;
                record.reason = refine_interruption(*record.found->refined);
            }
        }
        if (request.picture) {
            record.picture = plot::fit_picture(
                record, session.table(), notes.gap_x, imported.scale.ScaleTop,
                static_cast<double>(imported.scale.ScaleTop) + imported.scale.ScaleHeight,
                plot::picture_window(window));
        }
    } catch (const Refusal& refusal) {
        record.code = std::max(record.code, refusal.code());
        record.reason = refusal.what();
        record.found.reset();
    } catch (const Fault& fault) {  // a fault outside the searches, which explain their own
        record.code = kExitSearchFailed;
        record.reason = fault.what();
        record.found.reset();
    } catch (const std::bad_alloc&) {
        record.code = kExitRefused;
        record.reason = "out of memory";
        record.found.reset();
    }
    return record;
}

}  // namespace tolvenar
