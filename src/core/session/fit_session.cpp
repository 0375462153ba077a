// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/fit_session.h"

#include "core/model/engine_state.h"
#include "core/runtime/numbers.h"
#include "core/window/crop.h"

#include <cmath>
#include <stdexcept>
#include <utility>

namespace tolvenar {

namespace {

// Hands every call on to the front end's observer and keeps each run's best on the way.
class RunBestKeeper final : public SearchObserver {
public:
    RunBestKeeper(SearchObserver& inner, std::vector<Model>& bests) : m_inner(inner), m_bests(bests)
    {
    }

    void manual_box_stretched(const SearchView& view) override
    {
        m_inner.manual_box_stretched(view);
    }
    void search_started(float runs) override { m_inner.search_started(runs); }
    void run_started(std::int16_t run, float trials) override { m_inner.run_started(run, trials); }
    void convergence_point_added(const SearchView& view, const ConvergenceScale& scale) override
    {
        m_inner.convergence_point_added(view, scale);
    }
    void candidate_evaluated(const SearchView& view, std::int64_t trial) override
    {
        m_inner.candidate_evaluated(view, trial);
    }
    bool confirm_heavy_task(const TimeEstimate& estimate) override
    {
        return m_inner.confirm_heavy_task(estimate);
    }
    void run_finished(const SearchView& view, std::int16_t run) override
    {
        if (view.run_best().x[1] != kUnsetVertex)
            m_bests.push_back(view.run_best());
        m_inner.run_finished(view, run);
    }
    void report_written(const ResultReport& report) override { m_inner.report_written(report); }
    void convergence_redrawn(const SearchView& view, const ConvergenceScale& scale) override
    {
        m_inner.convergence_redrawn(view, scale);
    }
    void search_finished(const SearchView& view) override { m_inner.search_finished(view); }
    void search_failed(const SearchView& view, const SearchOutcome& outcome) override
    {
        m_inner.search_failed(view, outcome);
    }
    bool stop_requested() override { return m_inner.stop_requested(); }

private:
    SearchObserver& m_inner;
    std::vector<Model>& m_bests;
};

}  // namespace

FitSession::FitSession(std::uint32_t seed) : m_random(seed)
{
    forget_results();
    clear_manual_boxes();
}

void FitSession::load(DataTable table, const XForm& form, std::span<const double> sigma)
{
    std::vector<double> weights;
    if (!sigma.empty()) {
        if (sigma.size() != static_cast<std::size_t>(table.DataCount) + 1)
            throw std::invalid_argument("sigma: one per data row, after an unused element 0");
        weights.assign(static_cast<std::size_t>(table.DataCount) + 2, 1.0);
        for (std::size_t row = 1; row < sigma.size(); ++row) {
            weights[row] = 1.0 / (sigma[row] * sigma[row]);
            if (!(weights[row] > 0.0 && std::isfinite(weights[row])))
                throw std::invalid_argument("sigma: 1 / sigma^2 finite and positive");
        }
    }
    m_state.data = std::move(table);
    m_state.DataXForm = form;
    m_state.DataWeight = std::move(weights);
    m_sigma.assign(sigma.begin(), sigma.end());
}

void FitSession::crop(const CropEdges& edges)
{
    extract_crop(m_state, crop_rows(m_state.data, edges));
}

void FitSession::crop_and_measure(const CropEdges& edges)
{
    // As the window crops and draws: the rows, the extent of their drawing, the results gone.
    extract_crop(m_state, crop_rows(m_state.data, edges));
    measure_crop(m_state.data, edges.left, edges.width, m_state.CropMinY, m_state.CropMaxY,
                 [](float, float, float, float) {}, edges.origin);
    forget_best_of_best(m_state);
    m_run_bests.clear();
    m_searches.clear();
}

CropInfo FitSession::crop_info() const
{
    return {m_state.CropStart, m_state.CropCount, m_state.CropOrigin, m_state.CropMinY,
            m_state.CropMaxY};
}

void FitSession::set_crop_extent(float min_y, float max_y)
{
    m_state.CropMinY = min_y;
    m_state.CropMaxY = max_y;
}

float FitSession::model_x(double data_x) const
{
    return model_x_of(m_state.CropOrigin, data_x);
}

double FitSession::data_x(float model_x) const
{
    return data_x_of(m_state.CropOrigin, model_x);
}

std::string FitSession::crop_refusal(const CropEdges& edges, const Fault& fault) const
{
    return tolvenar::crop_refusal(m_state.data, edges.left, edges.origin, fault);
}

BoxLimits FitSession::constraint_boxes() const
{
    return tolvenar::constraint_boxes(m_state);
}

void FitSession::set_constraint_boxes(const BoxLimits& boxes)
{
    tolvenar::set_constraint_boxes(m_state, boxes);
}

BoxLimits FitSession::manual_boxes() const
{
    return tolvenar::manual_boxes(m_state);
}

void FitSession::clear_manual_boxes()
{
    tolvenar::clear_manual_boxes(m_state);
}

EdgeHit FitSession::box_edge_at(float x, float y, float plot_width, float plot_height) const
{
    return tolvenar::box_edge_at(constraint_boxes(), m_state.NodeCount, x, y, plot_width,
                                 plot_height);
}

void FitSession::move_box_edge(std::optional<ModelFamily> family, std::int16_t box, BoxEdge edge,
                               float x, float y)
{
    BoxLimits boxes = constraint_boxes();
    tolvenar::move_box_edge(boxes, family, box, edge, x, y);
    set_constraint_boxes(boxes);
}

// A step of drawing manual box n, on the boxes as plain values; a fault keeps what it wrote.
void FitSession::edit_manual_box(const std::function<void(BoxLimits&)>& edit)
{
    BoxLimits boxes = manual_boxes();
    try {
        edit(boxes);
    } catch (...) {
        set_manual_boxes(m_state, boxes);
        throw;
    }
    set_manual_boxes(m_state, boxes);
}

void FitSession::start_manual_box(std::size_t n, float x, float y, float plot_left)
{
    edit_manual_box([&](BoxLimits& boxes) { start_box(boxes, n, x, y, plot_left); });
}

void FitSession::follow_manual_box(std::size_t n, float x, float y, float plot_left,
                                   float plot_width)
{
    edit_manual_box([&](BoxLimits& boxes) { follow_box(boxes, n, x, y, plot_left, plot_width); });
}

void FitSession::finish_manual_box(std::size_t n, float x, float y, float plot_left,
                                   float plot_width)
{
    edit_manual_box([&](BoxLimits& boxes) { finish_box(boxes, n, x, y, plot_left, plot_width); });
}

void FitSession::forget_results()
{
    forget_best_of_best(m_state);
    m_run_bests.clear();
    m_searches.clear();
}

void FitSession::reset_counters()
{
    m_state.TrialCount = 0;
    m_state.ConvergenceCount = 0;
}

std::span<const ConvergencePoint> FitSession::trace() const
{
    return SearchView(m_state).trace();
}

ResultReport FitSession::report(std::optional<ModelFamily> family) const
{
    return result_report(reported_best(m_state), family);
}

std::string FitSession::cleanup_r_caption() const
{
    return tolvenar::cleanup_r_caption(m_state.BestOfBestR);
}

void FitSession::set_clock(SearchEngine::Clock clock)
{
    const ConvergenceScale scale = m_engine.convergence_scale();
    const int threads = m_engine.threads();
    m_engine = SearchEngine(std::move(clock));
    m_engine.set_threads(threads);
    m_engine.convergence_scale() = scale;
}

SearchResult FitSession::search(const SearchRequest& request, SearchObserver& observer,
                                const SearchStep& step)
{
    if (m_searches.empty()) {
        m_first_draws = m_random.draws();
        m_trials_before = m_state.TrialCount;
    }
    m_searches.push_back(step);
    m_last = request;
    RunBestKeeper keeper(observer, m_run_bests);
    SearchResult result;
    result.outcome = m_engine.run(m_state, request, m_random, keeper);
    result.best = best();
    result.r = best_r();
    result.sq_dist = best_sq_dist();
    result.run_bests = m_run_bests;
    result.boxes = constraint_boxes();
    const std::span<const ConvergencePoint> points = trace();
    result.trace.assign(points.begin() + 1, points.end());
    result.trials_made = trials_made();
    return result;
}

std::string FitSession::stop_line(std::string_view search, const SearchOutcome& outcome,
                                  const SearchRequest& request, const CountNames& names) const
{
    return search_stop_line(search, outcome, m_state, request, names);
}

refine::RefinedFit FitSession::refine(ModelFamily family, const std::atomic<bool>* stop) const
{
    const FitCrop crop = fit_crop(m_state);
    refine::RefineRequest request{family, m_last.constrain == 1,
                                  about_y_origin(best(), crop.y_origin), m_run_bests};
    for (Model& start : request.restarts)
        start = about_y_origin(start, crop.y_origin);
    request.threads = static_cast<unsigned>(m_engine.threads());
    request.stop = stop;
    return refine::refine_fit(crop, request);
}

ResultReport FitSession::refined_report(ModelFamily family, const refine::RefinedFit& fit) const
{
    return result_report({fit.model, fit.r, m_state.CropOrigin, m_state.DataXForm,
                          m_state.NodeCount, fit.y_origin},
                         family);
}

refine::BootstrapResult FitSession::bootstrap(ModelFamily family, const refine::RefinedFit& fit,
                                              const IntervalRequest& request) const
{
    return refine::bootstrap(fit_crop(m_state), fit, bootstrap_settings(family, request));
}

FitCrop FitSession::crop_values() const
{
    return fit_crop(m_state);
}

refine::BootstrapSettings FitSession::bootstrap_settings(ModelFamily family,
                                                         const IntervalRequest& request) const
{
    refine::BootstrapSettings settings;
    settings.family = family;
    settings.constrained = m_last.constrain == 1;
    // Both counts were read by the search the fit came from.
    settings.runs = to_int16(m_last.runs.value());
    settings.trials = to_int32(m_last.trials.value());
    settings.scale_left = m_last.scale_left;
    settings.scale_width = m_last.scale_width;
    settings.replicates = request.replicates;
    settings.level = request.level;
    settings.seed = request.seed;
    settings.threads = request.threads;
    settings.stop = request.stop;
    settings.done = request.done;
    settings.search = request.search;
    settings.block_length = request.block_length;
    settings.resampling = request.resampling;
    return settings;
}

std::string reach_note(refine::Reach reach)
{
    switch (reach) {
    case refine::Reach::Held: return "";
    case refine::Reach::Edge: return "cut at its possible range: the data do not bound it there";
    case refine::Reach::Whole: return "its whole possible range: the data do not pin it";
    case refine::Reach::Undetermined: return "the replicates could not move it on data that vary";
    }
    return "";
}

std::vector<IntervalLine> FitSession::interval_lines(ModelFamily family,
                                                     const refine::RefinedFit& fit,
                                                     const refine::BootstrapResult& in) const
{
    ResultLabels labels;
    labels.apply(reset_label_writes(family));
    labels.apply(refined_report(family, fit).writes);
    // The estimates as the report writes them; the bounds in double, in data x.
    const double origin = m_state.CropOrigin;
    const XForm& form = m_state.DataXForm;
    const auto x_text = [&](double x) { return shown_x(origin + x, form); };
    const auto x_estimate = [&](float x) {
        return origin == 0.0 ? shown_x(x, form) : x_text(x);
    };
    std::vector<IntervalLine> lines;
    const auto add = [&](std::string name, std::string estimate, const refine::Interval& range,
                         const auto& text) {
        const bool shown = range.reach != refine::Reach::Undetermined;
        std::string note = reach_note(range.reach);
        if (shown && refine::by_percentiles(range.method, range.lo, range.hi))
            note += (note.empty() ? "" : "; ") + std::string(kPercentileNote);
        if (shown && range.method == refine::IntervalMethod::Profile)
            note += (note.empty() ? "" : "; ") + std::string(kProfileNote);
        lines.push_back({std::move(name), std::move(estimate), shown ? text(range.lo) : "",
                         shown ? text(range.hi) : "", std::move(note)});
    };
    const auto y_text = [&](double y) { return rounded_text(fit.y_origin + y, 2); };
    for (std::size_t i = 1; i <= 6; ++i) {
        const std::string k = std::to_string(i);
        if (labels.x[i].enabled)
            add("X" + k, x_estimate(fit.model.x[i]), in.x[i], x_text);
        if (labels.y[i].enabled)
            add("Y" + k, shown_y(fit.model.y[i], fit.y_origin), in.y[i], y_text);
    }
    if (labels.measure.enabled && in.measure && fit.measure) {
        const MeasureNames& names = measure_names(family_row(family).measure);
        const auto text = [&](auto value) {  // the estimate a single, the bounds doubles
            return shown_measure(value, family_row(family).measure, form);
        };
        add(std::string(names.caption), text(*fit.measure), *in.measure, text);
    }
    return lines;
}

}  // namespace tolvenar
