// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/fit_job.h"

#include "cli/compare_job.h"
#include "cli/crop_window.h"
#include "cli/data_options.h"
#include "cli/fit_command.h"
#include "cli/refine_output.h"
#include "cli/refusals.h"
#include "cli/result_output.h"
#include "core/model/family.h"
#include "core/runtime/fault.h"
#include "core/search/report.h"
#include "core/window/crop.h"

#include <new>
#include <utility>

namespace tolvenar::cli {

namespace {

// What choosing the family in the window does to the session: the results, the counters and
// the manual boxes forgotten, the family's vertices.
void reset_for(FitSession& session, ModelFamily family)
{
    session.forget_results();
    session.reset_counters();
    session.clear_manual_boxes();
    session.set_vertices(node_count_of(family));
}

// Keeps the result labels as the window shows them, counts trials for the progress line, and
// stops the search on the stop flag (a signal).
class FitObserver final : public SearchObserver {
public:
    FitObserver(ModelFamily family, Progress& progress, const std::atomic<bool>& stop)
        : m_progress(progress), m_stop(stop)
    {
        labels.apply(reset_label_writes(family));
    }
    ~FitObserver() override { publish(); }

    void report_written(const ResultReport& report) override { labels.apply(report.writes); }
    void candidate_evaluated(const SearchView&, std::int64_t) override
    {
        if (++m_unpublished == 1024)
            publish();
    }
    bool stop_requested() override
    {
        stopped = stopped || m_stop.load(std::memory_order_relaxed);
        return stopped;
    }

    ResultLabels labels;
    bool stopped = false;

private:
    void publish()
    {
        m_progress.trials.fetch_add(m_unpublished, std::memory_order_relaxed);
        m_unpublished = 0;
    }

    Progress& m_progress;
    const std::atomic<bool>& m_stop;
    std::int64_t m_unpublished = 0;
};

}  // namespace

// The enabled labels in the window's reading order: X1, Y1, ..., X6, Y6, R, the measure.
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

FoundModel found_model(const FitSession& session, ModelFamily family, const ResultLabels& labels)
{
    const CropInfo crop = session.crop_info();
    const Model best = session.best();
    FoundModel found{crop.first_row, crop.points, crop.min_y, crop.max_y,
                     crop.origin, node_count_of(family), best.x,
                     best.y, session.best_r(), session.best_sq_dist(),
                     session.trials_made(), std::nullopt, std::nullopt, report_lines(labels),
                     std::nullopt, session.x_form()};
    // The measure as the report computes it, before its rounding.
    const std::optional<float> measure = family_measure(family, best.x);
    if (family_row(family).measure == FamilyMeasure::Duration)
        found.duration = measure;
    if (family_row(family).measure == FamilyMeasure::SymmetryIndex)
        found.symmetry_index = measure;
    return found;
}

plot::FitPicture fit_picture(const FitSession& session, double top, double bottom,
                             const CropEdges& window, const FoundModel& found,
                             const std::vector<double>& gap_x)
{
    const double left = window.left;
    const double right = window.origin == 0.0
                             ? static_cast<double>(static_cast<float>(window.left + window.width))
                             : window.left + static_cast<double>(window.width);
    plot::FitPicture picture{right - left, top, bottom, {}, {}};
    plot::Polyline data{{}, plot::kDataBlue, 1.0};
    const DataTable& table = session.table();
    for (std::int32_t i = 1; i < table.DataCount; ++i) {
        const double x1 = cell_number(table.x_cell(i)), x2 = cell_number(table.x_cell(i + 1));
        if (x2 <= left || x1 >= right)
            continue;
        if (gaps_within(gap_x, x1, x2) > 0) {  // the line breaks where a y is missing
            if (!data.points.empty())
                picture.lines.push_back(std::exchange(data, {{}, plot::kDataBlue, 1.0}));
            continue;
        }
        if (data.points.empty())
            data.points.emplace_back(x1 - left, cell_number(table.y_cell(i)));
        data.points.emplace_back(x2 - left, cell_number(table.y_cell(i + 1)));
    }
    plot::Polyline best{{}, plot::kBestOfBestRed, 2.0};
    for (std::size_t k = 1; k <= static_cast<std::size_t>(found.vertices); ++k)
        best.points.emplace_back(found.origin + found.x[k] - left, found.y[k]);
    picture.lines.push_back(std::move(data));
    picture.lines.push_back(std::move(best));
    if (found.refined) {
        plot::Polyline refined{{}, plot::kRefinedBlack, 2.0};
        for (std::size_t k = 1; k <= static_cast<std::size_t>(found.vertices); ++k)
            refined.points.emplace_back(found.origin + found.refined->x[k] - left,
                                        found.refined->y[k]);
        picture.lines.push_back(std::move(refined));
    }
    const refine::Band* band = found.refined && found.refined->intervals
                                   ? &found.refined->intervals->band
                                   : nullptr;
    if (band != nullptr && !band->x.empty()) {
        plot::Shade shade{{}, plot::kBandShade};
        for (std::size_t i = 0; i < band->x.size(); ++i)
            shade.outline.emplace_back(found.origin + band->x[i] - left, band->hi[i]);
        for (std::size_t i = band->x.size(); i-- > 0;)
            shade.outline.emplace_back(found.origin + band->x[i] - left, band->lo[i]);
        picture.shades.push_back(std::move(shade));
    }
    return picture;
}

FileResult fit_series(const FitOptions& options, CheckedImport imported, const std::string& file,
                      const std::string& picture_path, int threads, Progress& progress,
                      const std::atomic<bool>& stop)
{
    if (options.compare)
        return compare_series(options, std::move(imported), file, picture_path, threads, progress,
                              stop);
    FileResult result;
    result.file = file;
    try {
        // Drawn from by the search alone: with the default seed, as in a freshly started window.
        FitSession session(options.seed);
        session.load(std::move(imported.series.table), imported.series.x_form, imported.series.sigma);
        const CropWindow window = crop_window(session.table(), options, session.x_form());
        result.from = window.from;
        result.to = window.to;
        note_series(result, imported.series, window.from, window.to);
        take_crop(session, window);
        note_precision(result, session);
        reset_for(session, options.family);

        SearchRequest request;
        request.family = options.family;
        request.constrain = 0;
        request.runs = FieldNumber::of_text(options.runs_text);
        request.trials = FieldNumber::of_text(options.trials_text);
        request.scale_left = session.model_x(window.left);
        request.scale_width = window.width;

        // Both searches in one session: the convergence scale lives on like the window's plot.
        session.set_threads(threads);
        FitObserver observer(options.family, progress, stop);
        check_search(session.search(request, observer).outcome, "search", session, request,
                     options);
        if (options.constrain && !observer.stopped) {
            request.constrain = 1;
            check_search(session.search(request, observer).outcome, "constrained search",
                         session, request, options);
        }
        if (observer.stopped) {
            result.code = kExitInterrupted;
            result.reason =
                "interrupted after " + std::to_string(session.trials_made()) + " trials";
            if (!session.has_best()) {
                result.reason += ", before a model was found";
                return result;
            }
        } else {
            check_found(session, request, options);
        }
        result.found = found_model(session, options.family, observer.labels);
        if (options.refine && result.code == kExitSuccess) {
            result.found->refined = refined_model(session, options, threads, stop);
            if (stop.load()) {
                result.code = kExitInterrupted;
                result.reason = refine_interruption(*result.found->refined);
            }
        }
        if (!picture_path.empty()) {
            result.picture_path = picture_path;
            result.picture = fit_picture(
                session, imported.scale.ScaleTop,
                static_cast<double>(imported.scale.ScaleTop) + imported.scale.ScaleHeight,
                {window.left, window.width, window.origin, window.from, window.to},
                *result.found, imported.series.gap_x);
        }
    } catch (const Refused& refusal) {
        result.code = std::max(result.code, refusal.code());
        result.reason = refusal.what();
        result.found.reset();
    } catch (const Fault& fault) {  // a fault outside the searches, which explain their own
        result.code = kExitSearchFailed;
        result.reason = fault.what();
        result.found.reset();
    } catch (const std::bad_alloc&) {
        result.code = kExitRefused;
        result.reason = "out of memory";
        result.found.reset();
    }
    return result;
}


}  // namespace tolvenar::cli
