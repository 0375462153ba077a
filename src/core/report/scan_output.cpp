// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/report/scan_output.h"

#include "core/runtime/numbers.h"
#include "core/search/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tolvenar {

namespace {

Json x_of(const ScanRecord& record, double x)
{
    return x_value(x, record.x_form, exact(x));
}

// The record of the scan itself: its provenance, status and reason, as a fit record's object
// says them.
FitRecord scan_provenance(const ScanRecord& record)
{
    FitRecord base;
    base.file = record.file;
    base.request = record.request.fit;
    base.code = record.code;
    base.reason = record.reason;
    base.from = record.from;
    base.to = record.to;
    base.x_form = record.x_form;
    return base;
}

bool scanned(const ScanRecord& record)
{
    return record.from.has_value() && !record.scan.stopped && record.code != kExitRefused;
}

// "%.3g" of a positive scale such as the noise's sd.
std::string significant(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}

// "noise sd = 0.88, persistence = 35.2, penalty = 45.8 per break (on means of 3 points)"
std::string noise_words(const ScanRecord& record)
{
    const scan::ScanResult& s = record.scan;
    std::string words = "noise sd = " + significant(std::sqrt(s.noise.variance)) +
                        ", persistence = " + significant(s.noise.tau) +
                        (record.x_form.is_date() ? " days" : "") + " (AR(1) " +
                        rounded_text(s.noise.phi, 2) + " at the mean gap), penalty = " +
                        significant(s.penalty) + " per break";
    if (s.block > 1)
        words += " on means of " + std::to_string(s.block) + " points";
    return words;
}

// What the table shows of an event's refined fit: onset and end (its second and its last but
// one vertex), the levels at its first and last vertex, and the amplitude: the largest
// departure of a vertex from the level before (a peak's height for the event families).
struct EventRow {
    std::string onset, end, before, after, amplitude, onset_interval, end_interval;
};

EventRow event_row(const FitRecord& fit)
{
    const FoundModel& found = *fit.found;
    const RefinedModel& m = *found.refined;
    const std::size_t last = static_cast<std::size_t>(std::max<std::int16_t>(found.vertices, 3));
    const auto x = [&](double model_x) { return shown_x(found.origin + model_x, found.x_form); };
    float amplitude = 0.0f;
    for (std::size_t k = 2; k <= last; ++k)
        if (std::fabs(m.y[k] - m.y[1]) > std::fabs(amplitude))
            amplitude = m.y[k] - m.y[1];
    EventRow row{x(m.x[2]),
                 x(m.x[last - 1]),
                 shown_y(m.y[1], m.y_origin),
                 shown_y(m.y[last], m.y_origin),
                 rounded_text(amplitude, 2),
                 {},
                 {}};
    if (m.intervals) {
        const auto range = [&](const Range& r) {
            return r.reach == refine::Reach::Undetermined ? std::string("not determined")
                                                          : x(r.lo) + " .. " + x(r.hi);
        };
        row.onset_interval = range(m.intervals->x[2]);
        row.end_interval = range(m.intervals->x[last - 1]);
    }
    return row;
}

}  // namespace

Json scan_summary(const ScanRecord& record)
{
    const scan::ScanResult& s = record.scan;
    return Json{{"points", record.points},
                {"noise_sd", exact(std::sqrt(s.noise.variance))},
                {"persistence", exact(s.noise.tau)},
                {"phi", exact(s.noise.phi)},
                {"penalty", exact(s.penalty)},
                {"block", s.block}};
}

std::vector<Json> scan_objects(const ScanRecord& record)
{
    std::vector<Json> objects;
    const Json summary = scanned(record) ? scan_summary(record) : Json();
    for (std::size_t k = 0; k < record.events.size(); ++k) {
        const scan::Event& e = record.scan.events[k];
        Json object{{"event", k + 1}};
        object.update(json_object(record.events[k]));
        Json seen{{"onset", x_of(record, e.onset)},
                  {"end", x_of(record, e.end)},
                  {"level_before", exact(e.level_before)},
                  {"level_after", exact(e.level_after)},
                  {"amplitude", exact(e.amplitude)}};
        seen.update(summary);
        object["scan"] = std::move(seen);
        objects.push_back(std::move(object));
    }
    if (!objects.empty())
        return objects;
    Json object = json_object(scan_provenance(record));
    if (record.code == kExitSuccess)
        object["status"] = "no event";
    if (!summary.is_null())
        object["scan"] = summary;
    objects.push_back(std::move(object));
    return objects;
}

std::vector<std::string> scan_json_lines(const ScanRecord& record)
{
    std::vector<std::string> lines;
    for (const Json& object : scan_objects(record))
        lines.push_back(object.dump(-1, ' ', false, Json::error_handler_t::replace));
    return lines;
}

std::vector<ScanColumn> scan_csv_columns(const ScanRequest& request)
{
    FitRequest fit = request.fit;
    fit.refine = true;
    std::vector<ScanColumn> columns{
        {"event", [](const ScanRecord&, std::size_t k) { return Json(k + 1); }}};
    for (Column& column : csv_columns(fit))
        columns.push_back({column.name, [value = std::move(column.value)](
                                            const ScanRecord& r, std::size_t k) {
                               return value(r.events[k]);
                           }});
    const auto seen = [](auto pick) {
        return [pick](const ScanRecord& r, std::size_t k) { return pick(r, r.scan.events[k]); };
    };
    columns.push_back({"scan_onset", seen([](const ScanRecord& r, const scan::Event& e) {
                           return x_of(r, e.onset);
                       })});
    columns.push_back({"scan_end", seen([](const ScanRecord& r, const scan::Event& e) {
                           return x_of(r, e.end);
                       })});
    columns.push_back({"scan_amplitude", seen([](const ScanRecord&, const scan::Event& e) {
                           return exact(e.amplitude);
                       })});
    columns.push_back({"noise_sd", [](const ScanRecord& r, std::size_t) {
                           return exact(std::sqrt(r.scan.noise.variance));
                       }});
    columns.push_back(
        {"penalty", [](const ScanRecord& r, std::size_t) { return exact(r.scan.penalty); }});
    return columns;
}

void write_scan_csv_header(std::ostream& out, const std::vector<ScanColumn>& columns)
{
    for (std::size_t i = 0; i < columns.size(); ++i)
        out << (i == 0 ? "" : ",") << csv_field(columns[i].name);
    out << "\r\n";
}

void write_scan_csv_rows(std::ostream& out, const std::vector<ScanColumn>& columns,
                         const ScanRecord& record)
{
    // A fit's row as record_output writes it, so that texts are quoted and guarded alike.
    for (std::size_t k = 0; k < record.events.size(); ++k) {
        std::vector<Column> row;
        for (const ScanColumn& column : columns)
            row.push_back({column.name, [&, k](const FitRecord&) {
                               return column.value(record, k);
                           }});
        write_csv_row(out, row, record.events[k]);
    }
}

void write_scan_text(std::ostream& out, const ScanRecord& record, bool many, bool first)
{
    if (many)
        out << (first ? "" : "\n") << "==> " << record.file << " <==\n";
    if (!scanned(record)) {
        if (record.code == kExitInterrupted)
            out << record.reason << '\n';
        return;
    }
    if (record.events.empty()) {
        out << "No event stands out in " << record.points << " points: " << noise_words(record)
            << '\n';
        return;
    }
    out << record.events.size() << (record.events.size() == 1 ? " event" : " events") << " in "
        << record.points << " points: " << noise_words(record) << '\n';

    const bool intervals = record.request.fit.bootstrap > 0;
    const std::string level = number_text(std::round(record.request.fit.level * 1e6) / 1e4) + " %";
    std::vector<std::vector<std::string>> cells{
        {"Event", "Onset", "End", "Level before", "Level after", "Amplitude"}};
    if (intervals) {
        cells[0].push_back("Onset " + level + " interval");
        cells[0].push_back("End " + level + " interval");
    }
    std::vector<std::string> notes;  // the events without a refined fit, and why
    for (std::size_t k = 0; k < record.events.size(); ++k) {
        const FitRecord& fit = record.events[k];
        std::vector<std::string> line{std::to_string(k + 1)};
        if (!fit.found || !fit.found->refined) {
            notes.push_back("Event " + std::to_string(k + 1) + ": " + status_word(fit) +
                            (fit.reason.empty() ? "" : ", " + fit.reason));
            line.resize(cells[0].size(), "-");
            cells.push_back(std::move(line));
            continue;
        }
        const EventRow row = event_row(fit);
        line.insert(line.end(), {row.onset, row.end, row.before, row.after, row.amplitude});
        if (intervals)
            line.insert(line.end(), {row.onset_interval.empty() ? "-" : row.onset_interval,
                                     row.end_interval.empty() ? "-" : row.end_interval});
        cells.push_back(std::move(line));
    }
    std::vector<std::size_t> width(cells[0].size(), 0);
    for (const auto& line : cells)
        for (std::size_t c = 0; c < line.size(); ++c)
            width[c] = std::max(width[c], line[c].size());
    for (const auto& line : cells) {
        std::string text;
        for (std::size_t c = 0; c < line.size(); ++c) {
            text += c == 0 ? "" : "  ";
            text += std::string(width[c] - line[c].size(), ' ') + line[c];  // right-aligned
        }
        out << text << '\n';
    }
    for (const std::string& note : notes)
        out << note << '\n';
    if (record.code == kExitInterrupted)
        out << record.reason << '\n';
}

}  // namespace tolvenar
