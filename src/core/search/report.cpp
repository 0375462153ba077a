// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/search/report.h"

#include "core/model/single_ops.h"
#include "core/runtime/numbers.h"

namespace tolvenar {

namespace {

std::string indexed(char letter, int i, std::string_view tail)
{
    std::string caption(1, letter);
    caption += std::to_string(i);
    caption += tail;
    return caption;
}

void write(std::vector<LabelWrite>& writes, ResultLabel label, int index, bool enabled,
           std::string caption)
{
    writes.push_back({label, static_cast<std::int16_t>(index), enabled, std::move(caption)});
}

// Steps 3 to 6 of the report; a Fault leaves the writes of the earlier steps.
void family_steps(std::vector<LabelWrite>& writes, const ReportedModel& shown,
                  std::optional<ModelFamily> family)
{
    constexpr const char* where = "report";
    const Vertices& x = shown.model.x;
    const FamilyMeasure measure = family ? family_row(*family).measure : FamilyMeasure::None;
    if (measure == FamilyMeasure::None) {
        write(writes, ResultLabel::Measure, 0, false, std::string(kStartupMeasureCaption));
    } else {
        // A zero span of the symmetry index faults here, as the report's division does.
        const float value = measure_value(measure, x, where);
        const MeasureNames& names = measure_names(measure);
        write(writes, ResultLabel::Measure, 0, true,
              std::string(names.caption) + " = " +
                  shown_measure(value, measure, shown.form));
    }

    // The labels past the family's last vertex, without a trailing blank.
    const int vertices = family ? family_row(*family).vertices : 0;
    for (int i = 5; i <= 6; ++i) {
        if (vertices != 0 && vertices < i) {
            write(writes, ResultLabel::X, i, false, indexed('X', i, " ="));
            write(writes, ResultLabel::Y, i, false, indexed('Y', i, " ="));
        }
    }
    if (!family) {  // no option selected: the labels of vertex 6 as for most families
        write(writes, ResultLabel::X, 6, false, "X6 =");
        write(writes, ResultLabel::Y, 6, false, "Y6 =");
    }
    if (drawn_family(family)) {
        for (int i = shown.vertices + 1; i <= 6; ++i) {
            if (i < 1)
                throw Fault(FaultKind::IndexOutOfRange, "Label2");
            write(writes, ResultLabel::X, i, false, bare_x_caption(i));
            write(writes, ResultLabel::Y, i, false, bare_y_caption(i));
        }
    }
}

// A break point's x with 2 decimals, or a date. Far from zero it is the data x CropOrigin + x,
// in double with every digit it needs ("2460012.47"); the unset -9999 stays as it is.
std::string x_caption_value(const ReportedModel& shown, float x)
{
    if (x == kUnsetVertex)
        return rounded_text(x, 2);
    if (shown.origin == 0.0)
        return shown_x(x, shown.form);
    return shown_x(shown.origin + static_cast<double>(x), shown.form);
}

}  // namespace

ResultReport result_report(const ReportedModel& shown, std::optional<ModelFamily> family)
{
    ResultReport report;
    report.writes.reserve(20);
    for (int i = 1; i <= 6; ++i) {
        write(report.writes, ResultLabel::X, i, true,
              indexed('X', i, " = ") + x_caption_value(shown, shown.model.x[i]));
        write(report.writes, ResultLabel::Y, i, true,
              indexed('Y', i, " = ") + shown_y(shown.model.y[i], shown.y_origin));
    }
    write(report.writes, ResultLabel::R, 0, true,
          std::string(kRCaption) + rounded_text(shown.r, 4));
    try {
        family_steps(report.writes, shown, family);
    } catch (const Fault& fault) {
        report.fault = fault;
    }
    return report;
}

std::string shown_x(float x, const XForm& form)
{
    return form.is_date() ? x_text(x, form) : rounded_text(x, 2);
}

std::string shown_x(double x, const XForm& form)
{
    return form.is_date() ? x_text(x, form) : rounded_text(x, 2);
}

std::string shown_y(float y, double y_origin)
{
    return y_origin == 0.0 ? rounded_text(y, 2) : rounded_text(y_origin + static_cast<double>(y), 2);
}

std::string shown_measure(float value, FamilyMeasure measure, const XForm& form)
{
    if (measure == FamilyMeasure::Duration && form.is_date())
        return duration_text(value, form);
    return rounded_text(value, measure_names(measure).decimals);
}

std::string shown_measure(double value, FamilyMeasure measure, const XForm& form)
{
    if (measure == FamilyMeasure::Duration && form.is_date())
        return duration_text(value, form);
    return rounded_text(value, measure_names(measure).decimals);
}

std::string cleanup_r_caption(float best_r)
{
    return number_text(best_r);
}

std::string bare_x_caption(int i)
{
    return indexed('X', i, " = ");
}

std::string bare_y_caption(int i)
{
    return indexed('Y', i, " = ");
}

std::string_view reset_measure_caption(std::optional<ModelFamily> family)
{
    const bool duration = family && family_row(*family).measure == FamilyMeasure::Duration;
    return duration ? "Duration of change =" : "Symmetry index =";
}

std::vector<LabelWrite> reset_label_writes(std::optional<ModelFamily> family)
{
    std::vector<LabelWrite> writes;
    writes.reserve(14);
    for (int i = 1; i <= 6; ++i) {
        write(writes, ResultLabel::X, i, false, bare_x_caption(i));
        write(writes, ResultLabel::Y, i, false, bare_y_caption(i));
    }
    write(writes, ResultLabel::R, 0, false, std::string(kRCaption));
    write(writes, ResultLabel::Measure, 0, false,
          std::string(reset_measure_caption(family)));
    return writes;
}

ResultLabels::ResultLabels()
{
    for (int i = 1; i <= 6; ++i) {
        x[static_cast<std::size_t>(i)].caption = indexed('X', i, " =");
        y[static_cast<std::size_t>(i)].caption = indexed('Y', i, i <= 3 ? " =" : "=");
    }
}

void ResultLabels::apply(const LabelWrite& w)
{
    LabelState* target = nullptr;
    switch (w.label) {
    case ResultLabel::X: target = &x.at(static_cast<std::size_t>(w.index)); break;
    case ResultLabel::Y: target = &y.at(static_cast<std::size_t>(w.index)); break;
    case ResultLabel::R: target = &r; break;
    case ResultLabel::Measure: target = &measure; break;
    }
    target->caption = w.caption;
    target->enabled = w.enabled;
}

void ResultLabels::apply(const std::vector<LabelWrite>& writes)
{
    for (const LabelWrite& w : writes)
        apply(w);
}

}  // namespace tolvenar
