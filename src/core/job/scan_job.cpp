// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/job/scan_job.h"

#include "core/job/crop_window.h"
#include "core/job/refusal.h"
#include "core/runtime/numbers.h"
#include "core/runtime/pool.h"
#include "core/window/crop.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <new>

namespace tolvenar {

namespace {

// An x as a user types it: every digit of the double, or the file's own date text.
Edge typed_x(double x, const XForm& form, const std::string& which)
{
    if (form.is_date()) {
        const std::string text = x_text(x, form);
        return {x, which + " " + text, text, true};
    }
    std::array<char, 32> digits{};
    const auto written = std::to_chars(digits.data(), digits.data() + digits.size(), x);
    const std::string text(digits.data(), written.ptr);
    return {x, which + " " + text, text, false};
}

// The rows of `whole` with x within [from, to] as a series of their own, and how many rows
// precede them: a crop of [from, to] holds the same rows on it, `offset` rows lower, so its fit
// is the whole series' fit of that crop, at the cost of the crop and not of the record (whose
// table would otherwise be copied once an event).
struct Slice {
    CheckedImport imported;
    std::int32_t offset = 0;
};

Slice slice_of(const CheckedImport& whole, double from, double to)
{
    const ImportedSeries& series = whole.series;
    const DataTable& table = series.table;
    Slice slice;
    if (!table.x_ascending) {  // the reader's series always ascend; anything else whole
        slice.imported = whole;
        return slice;
    }
    // Rows first..last: those at or right of `from` and at or left of `to`.
    const auto row_where = [&](std::int32_t lo, auto left_of_it) {
        std::int32_t hi = table.DataCount + 1;
        while (lo < hi) {
            const std::int32_t mid = lo + (hi - lo) / 2;
            (left_of_it(cell_number(table.x_cell(mid))) ? lo = mid + 1 : hi = mid);
        }
        return lo;
    };
    const std::int32_t first = row_where(1, [&](double x) { return x < from; });
    const std::int32_t last = row_where(first, [&](double x) { return x <= to; }) - 1;

    slice.offset = first - 1;
    slice.imported.scale = whole.scale;
    ImportedSeries& part = slice.imported.series;
    part.smallest_y = series.smallest_y;
    part.largest_y = series.largest_y;
    part.x_form = series.x_form;
    part.reversed = series.reversed;
    part.x_title = series.x_title;
    part.y_title = series.y_title;
    part.sigma_title = series.sigma_title;
    part.layout = series.layout;
    part.comment_lines = series.comment_lines;
    DataTable& rows = part.table;
    rows.texts = table.texts;
    const auto begin = static_cast<std::ptrdiff_t>(first), end = static_cast<std::ptrdiff_t>(last) + 1;
    rows.DataX.assign(1, table.DataX.front());
    rows.DataX.insert(rows.DataX.end(), table.DataX.begin() + begin, table.DataX.begin() + end);
    rows.DataX.push_back(Cell::empty());  // the spare row
    rows.DataY.assign(1, table.DataY.front());
    rows.DataY.insert(rows.DataY.end(), table.DataY.begin() + begin, table.DataY.begin() + end);
    rows.DataY.push_back(Cell::empty());
    rows.DataCount = last - first + 1;
    note_x_order(rows);
    if (!series.sigma.empty()) {
        part.sigma.assign(1, series.sigma.front());
        part.sigma.insert(part.sigma.end(), series.sigma.begin() + begin,
                          series.sigma.begin() + end);
    }
    part.gap_x = series.gap_x;  // the record counts those within its crop, as the whole file's
    return slice;
}

}  // namespace

ScanPoints scan_points(const DataTable& table, double from, double to)
{
    ScanPoints points;
    std::size_t equal = 0;  // rows so far at the last point's x
    for (std::int32_t row = 1; row <= table.DataCount; ++row) {
        const double x = cell_number(table.x_cell(row));
        if (x < from || x > to)
            continue;
        const double y = cell_number(table.y_cell(row));
        if (!points.x.empty() && x == points.x.back()) {
            ++equal;
            points.y.back() += (y - points.y.back()) / static_cast<double>(equal);
            continue;
        }
        points.x.push_back(x);
        points.y.push_back(y);
        equal = 1;
    }
    return points;
}

FitRequest event_request(const ScanRequest& request, const scan::Event& e, const XForm& form)
{
    FitRequest fit = request.fit;
    fit.refine = true;
    fit.from = typed_x(e.crop_from, form, "the event's crop from");
    fit.to = typed_x(e.crop_to, form, "the event's crop to");
    return fit;
}

ScanRecord scan_events(const CheckedImport& imported, const ScanRequest& request,
                       const std::string& file, const JobControl& control,
                       JobProgress* progress)
{
    ScanRecord record;
    record.file = file;
    record.request = request;
    const ImportedSeries& series = imported.series;
    record.x_form = series.x_form;
    try {
        const CropEdges part =
            crop_window(series.table, request.fit.from, request.fit.to, series.x_form);
        record.from = part.from;
        record.to = part.to;
        const ScanPoints points = scan_points(series.table, part.from, part.to);
        record.points = points.x.size();
        if (points.x.empty())
            throw refused(empty_crop_refusal(part.left, part.width, part.origin));
        scan::ScanSettings settings;
        settings.min_size = request.min_size;
        settings.penalty = request.penalty;
        settings.max_events = request.max_events;
        settings.stop = control.stop;
        record.scan = scan::scan_series(points.x, points.y, settings);
        if (record.scan.stopped) {
            record.code = kExitInterrupted;
            record.reason = "interrupted during the scan, before any event was found";
            return record;
        }
    } catch (const Refusal& refusal) {
        record.code = refusal.code();
        record.reason = refusal.what();
        return record;
    } catch (const std::bad_alloc&) {
        record.code = kExitRefused;
        record.reason = "out of memory";
        return record;
    }

    // The events go to the cores one each; an event's own parallel work (its replicates) shares
    // the same cores, so those a short event leaves idle help a long one.
    const std::vector<scan::Event>& events = record.scan.events;
    if (progress != nullptr)
        progress->events_found = events.size();
    const std::size_t cores = static_cast<std::size_t>(std::max(control.threads, 1));
    record.events.resize(events.size());
    parallel_for(events.size(), cores, [&](std::size_t k) {
        FitRecord& fit = record.events[k];
        try {
            const FitRequest asked = event_request(request, events[k], series.x_form);
            const Slice slice = slice_of(imported, events[k].crop_from, events[k].crop_to);
            fit = fit_series(slice.imported, asked, file, control);
            if (fit.found)
                fit.found->crop_start += slice.offset;
        } catch (const std::exception& error) {  // whatever it was, the other events go on
            fit = FitRecord();
            fit.file = file;
            fit.request = event_request(request, events[k], series.x_form);
            fit.code = kExitSearchFailed;
            fit.reason = error.what();
        }
        if (progress != nullptr)
            ++progress->events_fitted;
    });
    for (const FitRecord& fit : record.events)
        record.code = std::max(record.code, fit.code);
    if (record.code == kExitInterrupted)
        record.reason = "interrupted while the events were fitted";
    return record;
}

CheckedImport imported_of(const FitSession& session, const SeriesNotes& notes)
{
    CheckedImport imported;
    ImportedSeries& series = imported.series;
    series.table = session.table();
    series.x_form = session.x_form();
    series.sigma = session.sigma();
    series.reversed = notes.reversed;
    series.sigma_title = notes.sigma_title;
    series.gap_x = notes.gap_x;
    series.layout.title_row = notes.title_row;
    series.comment_lines = notes.comment_lines;
    return imported;
}

}  // namespace tolvenar
