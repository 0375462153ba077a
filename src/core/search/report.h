// SPDX-License-Identifier: GPL-3.0-or-later
// The captions and enabled states of the " Best fitting " labels: the report written after each
// run, and the bare captions that Reset and a new crop write. The window applies the writes to
// Label2(i), Label3(i), Label5 and Label6; the command line applies them to a ResultLabels.
#pragma once

#include "core/data/x_form.h"
#include "core/model/model.h"
#include "core/model/family.h"
#include "core/runtime/fault.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvenar {

enum class ResultLabel : std::uint8_t {
    X,        // Label2(index), break point x
    Y,        // Label3(index), break point y
    R,        // Label5, correlation
    Measure,  // Label6, symmetry index or duration of change
};

// One label write: its caption and enabled state. index is 1..6 for X and Y, 0 otherwise.
struct LabelWrite {
    ResultLabel label = ResultLabel::R;
    std::int16_t index = 0;
    bool enabled = false;
    std::string caption;
};

// The report of one run, its writes in the order of its steps. A fault in a step (the symmetry
// index with X4 = X2, a duration beyond the single range) ends the writes there: the window
// applies the writes of the earlier steps, and the search takes its cleanup path.
struct ResultReport {
    std::vector<LabelWrite> writes;
    std::optional<Fault> fault;
};

// What a report shows: a model with its R, on a crop whose model x are measured from `origin`
// in data x, of a file whose x are written as `form` says; `vertices` is the drawn family's
// count of boxes.
struct ReportedModel {
    Model model;
    float r = 0.0f;
    double origin = 0.0;
    XForm form;
    std::int16_t vertices = 0;
    double y_origin = 0.0;  // data y of model y 0 (a refined fit's crop's)
};

// The report over the model (the best of best, or a refined fit in its place): break points with
// 2 decimals, R and the symmetry index with 4, the duration with 2 (half-even on the single
// values; an x far from zero on its data x origin + x in double), then the labels the family
// lacks disabled ("X5 =", "X6 =" without, "Xi = " of missing manual boxes with a trailing blank).
ResultReport result_report(const ReportedModel& shown, std::optional<ModelFamily> family);

// A break point's x as the report writes it: 2 decimals (half-even on the value as given) for
// plain numbers, the file's own date or date-time for dates (x in days from its first row).
std::string shown_x(float x, const XForm& form);
std::string shown_x(double x, const XForm& form);
// A level as the report writes it: 2 decimals, half-even on the single value, or on the data y
// y_origin + y in double about a y origin.
std::string shown_y(float y, double y_origin);
// The family's measure as the report writes it; for dates a duration in days, or in hours where
// it is shorter than a day.
std::string shown_measure(float value, FamilyMeasure measure, const XForm& form);
std::string shown_measure(double value, FamilyMeasure measure, const XForm& form);

// Label5 after a failed search: the best of best's R as plain number text, without "R = ".
std::string cleanup_r_caption(float best_r);

// Captions shared with Reset, the crop and start-up.
inline constexpr std::string_view kRCaption = "R = ";
inline constexpr std::string_view kStartupMeasureCaption = "Symmetry index = ";
std::string bare_x_caption(int i);  // "X" + i + " = "
std::string bare_y_caption(int i);  // "Y" + i + " = "
// Label6 after Reset or a crop: "Duration of change =" with a family that measures its duration
// (FamilyMeasure::Duration), else "Symmetry index =" (both without a trailing blank).
std::string_view reset_measure_caption(std::optional<ModelFamily> family);

// The writes of Reset and of a crop: all twelve break-point labels bare and disabled, Label5
// "R = " disabled, Label6 disabled with reset_measure_caption.
std::vector<LabelWrite> reset_label_writes(std::optional<ModelFamily> family);

struct LabelState {
    std::string caption;
    bool enabled = false;
};

// A mirror of the result labels, for the command line and tests. Starts with the design
// captions ("X1 =" .. "X6 =", "Y1 =" .. "Y3 =", "Y4=" .. "Y6="), all disabled.
struct ResultLabels {
    ResultLabels();

    std::array<LabelState, 7> x;  // Label2(1..6); element 0 unused
    std::array<LabelState, 7> y;  // Label3(1..6); element 0 unused
    LabelState r{std::string(kRCaption), false};
    LabelState measure{std::string(kStartupMeasureCaption), false};

    void apply(const LabelWrite& write);
    void apply(const std::vector<LabelWrite>& writes);
};

}  // namespace tolvenar
