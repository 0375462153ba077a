// SPDX-License-Identifier: GPL-3.0-or-later
// One fit of one series, as the window and the command line both drive it: the series, its
// crop, the family's vertices and boxes, searches that go on from each other, the refinement
// from every start the searches left, and the bootstrap of the refined fit. Plain values go in
// and come out; the engine's own records stay inside. One thread at a time: a front end that
// works on another thread leaves the session alone until the work has ended.
#pragma once

#include "core/data/data_table.h"
#include "core/job/fit_request.h"
#include "core/model/box_rules.h"
#include "core/model/engine_state.h"
#include "core/model/family.h"
#include "core/refine/bootstrap.h"
#include "core/refine/refine.h"
#include "core/runtime/random_source.h"
#include "core/search/report.h"
#include "core/search/search.h"
#include "core/session/family_comparison.h"
#include "core/window/crop_edges.h"

#include <atomic>
#include <functional>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvenar {

// The cropped segment: which rows the fits read and their vertical extent.
struct CropInfo {
    std::int32_t first_row = 0;  // 0-based row of the first cropped point
    std::int32_t points = 0;
    double origin = 0.0;         // data x of model x 0
    float min_y = kEmptyRangeLowest;   // the extent measured over the crop's segments
    float max_y = kEmptyRangeHighest;
};

// What a search found: the best of best over every search since the results were last
// forgotten, each run's best in order, the constraint boxes, the trace and the trials made.
struct SearchResult {
    SearchOutcome outcome;
    Model best;            // kUnsetVertex everywhere while no run found a model
    float r = 0.0f;
    float sq_dist = kUnsetBestOfBest;
    std::vector<Model> run_bests;
    BoxLimits boxes;
    std::vector<ConvergencePoint> trace;  // points 1..count
    std::int32_t trials_made = 0;         // since the counters were last reset
};

// How the intervals of a refined fit are made.
struct IntervalRequest {
    std::int32_t replicates = 200;
    double level = 0.9;
    std::uint32_t seed = std::mt19937::default_seed;
    unsigned threads = 0;                   // 0: every core; the result is the same for any
    // Each replicate searched as the last search was before its refinement, so the intervals
    // carry the search's own variability; false: each replicate's own optimum.
    bool search = false;
    std::size_t block_length = 0;  // rows a block, where blocks are drawn; 0: from the residuals
    refine::Resampling resampling = refine::Resampling::Automatic;
    const std::atomic<bool>* stop = nullptr;  // set: the replicates done so far make the intervals
    std::atomic<std::int32_t>* done = nullptr;  // counts finished replicates, for progress
};

// One reported value with its interval, as the report writes the value: "X2" with 2 decimals
// in data x, "Y3", "Duration of change", "Symmetry index".
struct IntervalLine {
    std::string name;
    std::string estimate;
    std::string lo;  // both empty: not determined (note says why)
    std::string hi;
    std::string note;  // why an interval is cut at its range or missing, and how it was made
};

// The note of an interval read off the replicates' percentiles rather than studentized.
inline constexpr const char* kPercentileNote = "the replicates' percentiles";
// The note of a break point's interval widened to span its calibrated profile interval.
inline constexpr const char* kProfileNote = "spans its profile";

// The note of an interval's reach: "" when held.
std::string reach_note(refine::Reach reach);

class FitSession {
public:
    explicit FitSession(std::uint32_t seed = std::mt19937::default_seed);

    // ---- The series
    // The series to fit, its x written as `form` says (numbers unless given), with the y
    // uncertainty sigma[row] of rows 1..DataCount as the reader gives it (ImportedSeries::sigma;
    // element 0 unused; empty: none): every sum of squares then weighs a point by 1 / sigma^2,
    // the crop taking each row's weight with it. A sigma of another size, or whose 1 / sigma^2 is
    // not finite and positive, is std::invalid_argument (the reader refuses such files). The crop
    // and the results stay until the front end crops anew and forgets them, as it does after
    // every import.
    void load(DataTable table, const XForm& form = {}, std::span<const double> sigma = {});
    const DataTable& table() const { return m_state.data; }
    const XForm& x_form() const { return m_state.DataXForm; }
    bool weighted() const { return !m_state.DataWeight.empty(); }
    const std::vector<double>& sigma() const { return m_sigma; }  // as loaded; empty: none

    // ---- The crop
    // Takes the rows under the crop window (see extract_crop); a Fault leaves the previous crop.
    // Measuring is the drawing's: set_crop_extent gives what it measured.
    void crop(const CropEdges& edges);
    // The crop, measured, with the results forgotten, as a front end without drawing takes it.
    void crop_and_measure(const CropEdges& edges);
    CropInfo crop_info() const;
    void set_crop_extent(float min_y, float max_y);
    float model_x(double data_x) const;    // relative to the crop's origin, in single
    double data_x(float model_x) const;
    // Why a crop at these edges was refused with `fault`, in one line.
    std::string crop_refusal(const CropEdges& edges, const Fault& fault) const;

    // ---- The family's vertices and boxes
    std::int16_t vertices() const { return m_state.NodeCount; }  // manual: boxes drawn
    void set_vertices(std::int16_t count) { m_state.NodeCount = count; }
    BoxLimits constraint_boxes() const;
    void set_constraint_boxes(const BoxLimits& boxes);
    BoxLimits manual_boxes() const;
    void clear_manual_boxes();
    EdgeHit box_edge_at(float x, float y, float plot_width, float plot_height) const;
    void move_box_edge(std::optional<ModelFamily> family, std::int16_t box, BoxEdge edge, float x,
                       float y);
    void start_manual_box(std::size_t n, float x, float y, float plot_left);
    void follow_manual_box(std::size_t n, float x, float y, float plot_left, float plot_width);
    void finish_manual_box(std::size_t n, float x, float y, float plot_left, float plot_width);

    // ---- Results
    // Forgets the best of best, the run bests and the constraint boxes (the best's R stays).
    void forget_results();
    void reset_counters();  // trials made and the trace back to none
    bool has_best() const { return m_state.BestOfBestSqDist != kUnsetBestOfBest; }
    Model best() const { return {m_state.BestOfBestX, m_state.BestOfBestY}; }
    float best_r() const { return m_state.BestOfBestR; }
    float best_sq_dist() const { return m_state.BestOfBestSqDist; }
    const std::vector<Model>& run_bests() const { return m_run_bests; }
    std::int32_t trials_made() const { return m_state.TrialCount; }
    std::span<const ConvergencePoint> trace() const;  // slot 0 (the origin) and points 1..count
    // The report of the best of best, and Label5's plain R after a failed search.
    ResultReport report(std::optional<ModelFamily> family) const;
    std::string cleanup_r_caption() const;

    // ---- Work
    // Threads that score candidates; all the processor's cores by default. Same results for any.
    void set_threads(int threads) { m_engine.set_threads(threads); }
    void set_clock(SearchEngine::Clock clock);
    // Restarts the random source: the candidates of a freshly started front end.
    void seed(std::uint32_t seed) { m_random = RandomSource(seed); }
    ConvergenceScale& convergence_scale() { return m_engine.convergence_scale(); }

    // One search that goes on from the session's results, counters, boxes and random stream;
    // `step` is the search as the front end asked it (its counts as typed), for the record.
    SearchResult search(const SearchRequest& request, SearchObserver& observer,
                        const SearchStep& step = {});
    // The searches made since the results were last forgotten, the draws of the random stream
    // before the first of them, and the trials made before it: what a record of the best of best
    // names so that the same searches from the same draw reproduce it.
    const std::vector<SearchStep>& searches() const { return m_searches; }
    std::uint64_t first_draws() const { return m_first_draws; }
    std::int32_t trials_before() const { return m_trials_before; }
    // Steps the random stream over `count` draws, as that many candidates' draws would.
    void skip_draws(std::uint64_t count) { m_random.skip(count); }
    // The one line that says why the last search stopped ("" when it completed).
    std::string stop_line(std::string_view search, const SearchOutcome& outcome,
                          const SearchRequest& request, const CountNames& names) const;

    // The family's least-squares optimum from the best of best and every run's best, held in
    // the boxes the last search drew in. Needs has_best().
    refine::RefinedFit refine(ModelFamily family,
                              const std::atomic<bool>* stop = nullptr) const;
    // The report's writes over a refined model.
    ResultReport refined_report(ModelFamily family, const refine::RefinedFit& fit) const;
    // The intervals of `fit` by bootstrap replicates of the crop.
    refine::BootstrapResult bootstrap(ModelFamily family, const refine::RefinedFit& fit,
                                      const IntervalRequest& request) const;
    // The crop and the settings that bootstrap takes them with, for replicates made elsewhere.
    FitCrop crop_values() const;
    refine::BootstrapSettings bootstrap_settings(ModelFamily family,
                                                 const IntervalRequest& request) const;

    // Every value the refined report shows (the family's break points and levels, then its
    // measure), with its interval from `intervals`.
    std::vector<IntervalLine> interval_lines(ModelFamily family, const refine::RefinedFit& fit,
                                             const refine::BootstrapResult& intervals) const;

    // ---- Comparison
    // The constant, the line and every event family at its least-squares optimum over the crop,
    // the event test and the choice (family_comparison.h); each optimum also as a refined fit
    // of its family, scored by the search's measures; weighted by the loaded sigma, if any.
    FamilyComparison compare(const ComparisonRequest& request) const;

private:
    void edit_manual_box(const std::function<void(BoxLimits&)>& edit);

    EngineState m_state;
    std::vector<double> m_sigma;  // as loaded, for a front end that fits the series anew
    RandomSource m_random;
    SearchEngine m_engine;
    std::vector<Model> m_run_bests;
    SearchRequest m_last;  // the last search's request, for the refinement and the bootstrap
    std::vector<SearchStep> m_searches;
    std::uint64_t m_first_draws = 0;
    std::int32_t m_trials_before = 0;
};

}  // namespace tolvenar
