// SPDX-License-Identifier: GPL-3.0-or-later
// What fitting one series gave, as plain values: the request it answers, what the file said of
// its data, the best model the searches found, its refinement and intervals, the comparison of
// the families and the fit's picture. The JSON object, the CSV row, the text report and the
// picture are all made from it (core/report), in the window, tolvenar-fit and Python alike.
#pragma once

#include "core/compare/criteria.h"
#include "core/compare/null_fit.h"
#include "core/data/x_form.h"
#include "core/job/fit_request.h"
#include "core/model/model.h"
#include "core/refine/bootstrap.h"
#include "core/report/fit_picture.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvenar {

// How a fit ended, as tolvenar-fit exits with it for a file alone.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitOutputFailed = 1;  // the output (or the picture) could not be written
inline constexpr int kExitRefused = 2;       // bad input: the data, the crop, an option
inline constexpr int kExitSearchFailed = 3;  // the search stopped on a fault or found no model
inline constexpr int kExitInterrupted = 130; // a stop (a signal) cut the work short

// An interval of a reported value, x in model x like the vertices, y in data y.
struct Range {
    double lo = 0.0;
    double hi = 0.0;
    refine::Reach reach = refine::Reach::Held;
    refine::IntervalMethod method = refine::IntervalMethod::Symmetric;
};

// The bootstrap's intervals of the refined model's values.
struct Intervals {
    std::int32_t replicates = 0;
    std::int32_t done = 0;    // replicates made to the end: fewer than asked when interrupted
    std::int32_t fitted = 0;  // replicates done whose search found a model
    double level = 0.9;
    std::uint32_t seed = 0;
    std::size_t block_length = 1;
    std::optional<double> persistence;  // of the replicates' AR(1) noise on x, in x units (days)
    bool drifting = false;  // that noise outlasts the crop (refine::BootstrapResult::drifting)
    std::array<Range, 7> x{};  // vertices 1..6; element 0 unused
    std::array<Range, 7> y{};
    std::optional<Range> measure;  // duration of change or symmetry index
    refine::Band band;  // the band the replicates' curves span at the level, model x, data y
};

// The family's least-squares optimum near the search's best, in model x and model y.
struct RefinedModel {
    Vertices x{};
    Vertices y{};
    double y_origin = 0.0;  // data y = y_origin + y (the crop's, see fit_y_origin)
    float r = 0.0f;
    float sq_dist = 0.0f;
    std::optional<float> measure;        // duration of change or symmetry index
    std::vector<std::string> lines;      // the text lines after the search's report
    std::optional<Intervals> intervals;  // the bootstrap's

    double data_y(std::size_t k) const { return y_origin + static_cast<double>(y[k]); }
};

// The best model the searches found, as the engine left it.
struct FoundModel {
    std::int32_t crop_start = 0;
    std::int32_t points = 0;  // CropCount
    float min_y = 0.0f;
    float max_y = 0.0f;
    double origin = 0.0;        // CropOrigin: x below are model x, data x = origin + x
    std::int16_t vertices = 0;  // the family's break points
    Vertices x{};
    Vertices y{};
    float r = 0.0f;
    float sq_dist = 0.0f;
    std::int64_t trials_made = 0;  // TrialCount, every search together
    std::optional<float> duration;        // of a family that measures its duration
    std::optional<float> symmetry_index;  // of a family that measures its symmetry
    std::vector<std::string> report;      // the enabled result labels, in reading order
    std::optional<RefinedModel> refined;
    XForm x_form;  // the file's x: for dates every x above is days from its first data row
};

// The comparison of the models on the crop, sorted by BIC, and the event test.
struct ComparisonRecord {
    std::vector<compare::ModelRecord> models;  // the chosen one marked
    std::string chosen;         // short name: ramp, symmetric, ..., or constant or line
    std::optional<ModelFamily> family;  // the chosen event family; none: no event
    std::optional<ModelFamily> fitted;  // the family of the record's model: tolvenar-fit fits
                                        // the chosen one, the window the one selected
    std::size_t test_replicates = 0;    // asked for; 0: no test
    std::optional<double> p;            // the event test's, when it ran
    std::size_t replicates = 0;         // replicates done whose refit found an optimum
    std::string null_name;              // the test's model without an event
    std::optional<compare::NullFit> null_fit;  // the chosen model when it has no event, data x
    bool stopped = false;               // a stop cut the comparison short
};

struct FitRecord {
    std::string file;    // as given; "" for arrays
    FitRequest request;  // what was asked: the record's provenance
    int code = kExitSuccess;  // how it ended (kExit...)
    std::string reason;  // one line: why it failed or was interrupted; "" when fitted
    std::optional<double> from, to;  // the crop's edges, once known
    // What the file said of its data, once the crop is known: the form of its x, a downward
    // axis, the missing y within the crop (unset when the file has none), the sigma column.
    XForm x_form;
    bool reversed = false;
    std::optional<std::size_t> gaps;
    std::string sigma_title;
    std::string x_title, y_title;                  // the x and y columns' titles, for a picture
    bool title_row = true;                         // false: the file's first line is data
    std::size_t comment_lines = 0;                 // lines the reader skipped as comments
    std::optional<std::string> precision_warning;  // the crop is too fine for single precision
    std::optional<FoundModel> found;  // set when fitted, and when interrupted after a model
    std::optional<ComparisonRecord> comparison;  // the chosen family's fit is `found`
    // The fit's picture (request.picture), and where a front end writes it; the path stays once
    // the picture is written and freed.
    std::optional<plot::FitPicture> picture;
    std::string picture_path;
};

// The family whose search the record reports: with a comparison the one fitted after it (none:
// no event, or no comparison made).
std::optional<ModelFamily> fitted_family(const FitRecord& record);

}  // namespace tolvenar
