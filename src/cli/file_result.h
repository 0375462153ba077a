// SPDX-License-Identifier: GPL-3.0-or-later
// What fitting one file gave: plain values from which the text, JSON and CSV outputs are made.
#pragma once

#include "cli/plot/fit_picture.h"
#include "core/compare/criteria.h"
#include "core/data/x_form.h"
#include "core/refine/bootstrap.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvenar::cli {

// A signal cut the file's work short (the call exits 130 for SIGINT, 143 for SIGTERM).
inline constexpr int kExitInterrupted = 130;

// An interval of a reported value, x in model x like the vertices.
struct Range {
    double lo = 0.0;
    double hi = 0.0;
};

// The bootstrap's intervals of the refined model's values.
struct Intervals {
    std::int32_t replicates = 0;
    std::int32_t done = 0;    // replicates made to the end: fewer than asked when interrupted
    std::int32_t fitted = 0;  // replicates done whose search found a model
    double level = 0.9;
    std::uint32_t seed = 0;
    std::size_t block_length = 1;
    std::array<Range, 7> x{};  // vertices 1..6; element 0 unused
    std::array<Range, 7> y{};
    std::optional<Range> measure;  // duration of change or symmetry index
    refine::Band band;  // the band the replicates' curves span at the level, model x
};

// The family's least-squares optimum near the search's best (--refine), in model x.
struct RefinedModel {
    Vertices x{};
    Vertices y{};
    float r = 0.0f;
    float sq_dist = 0.0f;
    std::optional<float> measure;        // duration of change or symmetry index
    std::vector<std::string> lines;      // the text lines after the search's report
    std::optional<Intervals> intervals;  // --bootstrap
};

// The best model a search found, as the engine left it.
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
    std::int64_t trials_made = 0;  // TrialCount, both searches together
    std::optional<float> duration;        // "Simple ramp" alone
    std::optional<float> symmetry_index;  // "Asymmetric event" alone
    std::vector<std::string> report;      // the enabled result labels, in reading order
    std::optional<RefinedModel> refined;  // --refine
    XForm x_form;  // the file's x: for dates every x above is days from its first data row
};

// --compare: the models on the crop, sorted by BIC, and the event test.
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
    bool stopped = false;               // a signal cut the comparison short
};

struct FileResult {
    std::string file;   // as given
    int code = 0;       // the exit status a call with this file alone gives
    std::string reason;  // one line: why it failed or was interrupted; "" when fitted
    std::optional<double> from, to;  // the crop's edges, once known
    // What the file said of its data, once the crop is known: the form of its x, a downward
    // axis, the missing y within the crop (unset when the file has none), the sigma column.
    XForm x_form;
    bool reversed = false;
    std::optional<std::size_t> gaps;
    std::string sigma_title;
    bool title_row = true;                         // false: the file's first line is data
    std::size_t comment_lines = 0;                 // lines the reader skipped as comments
    std::optional<std::string> precision_warning;  // the crop is too fine for single precision
    std::optional<FoundModel> found;  // set when fitted, and when interrupted after a model
    std::optional<ComparisonRecord> comparison;  // --compare; found is then the chosen family's
    // The fit's picture and where it goes, written on the main thread: Qt's painting without an
    // application object is not made for other threads. The path stays once the picture is freed.
    std::string picture_path;
    std::optional<plot::FitPicture> picture;
};

}  // namespace tolvenar::cli
