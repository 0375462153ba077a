// SPDX-License-Identifier: GPL-3.0-or-later
// The fit job: one series, a request in, a record out. The window runs its steps one click at a
// time on its session (run_steps), tolvenar-fit and Python run them all at once (fit_series);
// either way the record is made here (make_record), so that the same fit gives the same record
// from every front end.
#pragma once

#include "core/data/data_reader.h"
#include "core/job/crop_window.h"
#include "core/job/fit_record.h"
#include "core/job/fit_request.h"
#include "core/job/lag_record.h"
#include "core/job/scan_record.h"
#include "core/search/report.h"
#include "core/session/fit_session.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvenar {

// What the reader said of a series that a record reports, beside its table.
struct SeriesNotes {
    XForm x_form;
    bool reversed = false;
    std::string sigma_title;
    std::string x_title, y_title;
    std::vector<double> gap_x;  // x of the rows without y, ascending
    bool title_row = true;      // false: the file's first line is data
    std::size_t comment_lines = 0;
};

// What the steps of a job made beside the session's own search results.
struct JobResults {
    std::optional<refine::RefinedFit> refined;
    std::optional<refine::BootstrapResult> intervals;
    IntervalRequest interval_request;  // what the intervals were asked with
    std::optional<FamilyComparison> comparison;
    CropInfo compared_crop;            // the crop the comparison was made on
    ComparisonRequest comparison_request;
    std::optional<ScanRecord> scan;    // the series' events, each fitted on its crop
    std::optional<LagRecord> lags;     // several series fitted on one crop, and their lags
};

// The scan of the session's series for its events, each fitted on its crop as fit_series fits
// a crop alone; the session's own crop and results stay as they are.
struct ScanStep {
    ScanRequest request;
    SeriesNotes notes;  // what the reader said of the series
    std::string file;   // as the records name it
    int threads = 1;    // cores for the events' fits
};

// Several series of the session's file fitted on one crop, each as fit_series fits it alone,
// and their lags against the reference (fit_lags); the session's own results stay as they are.
struct LagStep {
    std::vector<LagSeries> series;
    std::string reference;  // the title of one of them
    FitRequest request;
    std::string file;  // as the records name it
    int threads = 1;
};

// The work a front end asks of a session, each part in this order: the scan for events or the
// lags of several series (each alone), the comparison of the families, the searches (each going
// on from the last), the refinement of the best of best (kept when made already), and its
// intervals.
struct JobSteps {
    std::optional<ScanStep> scan;
    std::optional<LagStep> lags;
    std::optional<ComparisonRequest> compare;
    std::vector<SearchRequest> searches;
    std::vector<SearchStep> search_steps;  // the searches as asked, one each, for the record
    std::optional<ModelFamily> family;     // the family the refinement and intervals are of
    bool refine = false;
    std::optional<IntervalRequest> bootstrap;
};

// Where the steps ended.
struct JobOutcome {
    SearchOutcome search;  // of the last search; Completed when none ran
    std::size_t searches_done = 0;
    bool stopped = false;  // the stop flag cut a step short
};

// Progress a front end may show while the steps run: replicates, comparison steps and events.
struct JobProgress {
    std::atomic<std::int32_t> replicates{0};
    std::atomic<std::size_t> compared{0};
    std::atomic<std::size_t> events_found{0};   // once the scan has ended
    std::atomic<std::size_t> events_fitted{0};
    std::atomic<std::int64_t> trials{0};        // the lags' searches, every series together
};

// Runs the steps on `session` with `results` (the refined fit and the rest that earlier steps
// made), hearing the searches through `observer`; `stop` ends any step where it is, with the
// best so far. A search that ends otherwise than completed stops the steps after it.
JobOutcome run_steps(FitSession& session, const JobSteps& steps, JobResults& results,
                     SearchObserver& observer, const std::atomic<bool>* stop,
                     JobProgress* progress = nullptr);

// The comparison held when it was made on the session's crop now; nullptr else.
const FamilyComparison* current_comparison(const FitSession& session, const JobResults& results);

SeriesNotes notes_of(const ImportedSeries& series);

// The record of what `session` and `results` hold, as `request` asked it, for `file`, on the
// crop [from, to] (the edges as given, in data x); `labels` are the result labels the session's
// last search left. The comparison goes in when it was made on the crop now taken; with no
// search, a refined fit asked for stands as the best found.
FitRecord make_record(const FitSession& session, const JobResults& results,
                      const FitRequest& request, const std::string& file, double from, double to,
                      const SeriesNotes& notes, const ResultLabels& labels);

// The request a record of the window's session states: the searches made since the results were
// last forgotten and where the random stream stood before them, the refinement, the intervals
// and the comparison held in `results`, the family and the crop edges given.
FitRequest session_request(const FitSession& session, const JobResults& results,
                           ModelFamily family, const CropEdges& edges);

// What a refined fit leaves beside its record for work over several series (the lags): its
// crop, its refined fit and the settings its bootstrap took.
struct KeptFit {
    FitCrop crop;
    refine::RefinedFit refined;
    refine::BootstrapSettings settings;
    std::vector<std::optional<refine::Replicate>> replicates;  // of its bootstrap, when made
};

// Counts for tolvenar-fit's progress line, and the stop flag of a signal.
struct JobControl {
    const std::atomic<bool>* stop = nullptr;
    std::atomic<std::int64_t>* trials = nullptr;  // trials made, added to as the searches go
    int threads = 1;                              // cores for this series' work
    std::optional<KeptFit>* kept = nullptr;       // set: takes the refined fit, when made
};

// Fits the imported series as tolvenar-fit fits a file alone: the crop, the comparison (when
// asked; the chosen family then searched), the searches, the refinement, the intervals and the
// picture, from a fresh random source at request.seed after request.draws draws. Every
// refusal, fault and interruption ends up in the record, whose file is `file`.
FitRecord fit_series(const CheckedImport& imported, const FitRequest& request,
                     const std::string& file, const JobControl& control);

// The enabled labels in the window's reading order: X1, Y1, ..., X6, Y6, R, the measure.
std::vector<std::string> report_lines(const ResultLabels& labels);

}  // namespace tolvenar
