// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/report/scan_output.h"

#include "core/runtime/numbers.h"
#include "core/search/report.h"

#include <algorithm>
#include <cmath>

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

// Three significant digits of a positive scale such as the noise's sd.
std::string significant(double value)
{
    return significant_text(value, 3);
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

// The index of the found model's last vertex (at least 3: a ramp's).
std::size_t last_vertex(const FoundModel& found)
{
    return static_cast<std::size_t>(std::max<std::int16_t>(found.vertices, 3));
}

EventRow event_row(const FitRecord& fit)
{
    const FoundModel& found = *fit.found;
    const RefinedModel& m = *found.refined;
    const std::size_t last = last_vertex(found);
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
    const Json summary = scan_ran(record) ? scan_summary(record) : Json();
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

std::string scan_headline(const ScanRecord& record)
{
    if (record.events.empty())
        return "No event stands out in " + std::to_string(record.points) +
               " points: " + noise_words(record);
    return std::to_string(record.events.size()) +
           (record.events.size() == 1 ? " event" : " events") + " in " +
           std::to_string(record.points) + " points: " + noise_words(record);
}

std::vector<EventSpan> event_spans(const ScanRecord& record)
{
    std::vector<EventSpan> spans;
    for (std::size_t k = 0; k < record.events.size(); ++k) {
        const FitRecord& fit = record.events[k];
        if (fit.found && fit.found->refined) {
            const FoundModel& found = *fit.found;
            const std::size_t last = last_vertex(found);
            spans.push_back({found.origin + found.refined->x[2],
                             found.origin + found.refined->x[last - 1]});
        } else {
            spans.push_back({record.scan.events[k].onset, record.scan.events[k].end});
        }
    }
    return spans;
}

ScanTable scan_table(const ScanRecord& record)
{
    ScanTable table;
    table.titles = {"Event", "Onset", "End", "Level before", "Level after", "Amplitude"};
    const bool intervals = record.request.fit.bootstrap > 0;
    const std::string level = number_text(std::round(record.request.fit.level * 1e6) / 1e4) + " %";
    if (intervals) {
        table.titles.push_back("Onset " + level + " interval");
        table.titles.push_back("End " + level + " interval");
    }
    for (std::size_t k = 0; k < record.events.size(); ++k) {
        const FitRecord& fit = record.events[k];
        std::vector<std::string> line{std::to_string(k + 1)};
        if (!fit.found || !fit.found->refined) {
            table.notes.push_back("Event " + std::to_string(k + 1) + ": " + status_word(fit) +
                                  (fit.reason.empty() ? "" : ", " + fit.reason));
            line.resize(table.titles.size(), "-");
            table.rows.push_back(std::move(line));
            continue;
        }
        const EventRow row = event_row(fit);
        line.insert(line.end(), {row.onset, row.end, row.before, row.after, row.amplitude});
        if (intervals)
            line.insert(line.end(), {row.onset_interval.empty() ? "-" : row.onset_interval,
                                     row.end_interval.empty() ? "-" : row.end_interval});
        table.rows.push_back(std::move(line));
    }
    return table;
}

void write_scan_text(std::ostream& out, const ScanRecord& record, bool many, bool first)
{
    if (many)
        out << (first ? "" : "\n") << "==> " << record.file << " <==\n";
    if (!scan_ran(record)) {
        if (record.code == kExitInterrupted)
            out << record.reason << '\n';
        return;
    }
    out << scan_headline(record) << '\n';
    if (record.events.empty())
        return;
    const ScanTable table = scan_table(record);
    std::vector<std::size_t> width(table.titles.size(), 0);
    const auto widen = [&](const std::vector<std::string>& line) {
        for (std::size_t c = 0; c < line.size(); ++c)
            width[c] = std::max(width[c], line[c].size());
    };
    widen(table.titles);
    for (const auto& line : table.rows)
        widen(line);
    const auto write = [&](const std::vector<std::string>& line) {
        std::string text;
        for (std::size_t c = 0; c < line.size(); ++c) {
            text += c == 0 ? "" : "  ";
            text += std::string(width[c] - line[c].size(), ' ') + line[c];  // right-aligned
        }
        out << text << '\n';
    };
    write(table.titles);
    for (const auto& line : table.rows)
        write(line);
    for (const std::string& note : table.notes)
        out << note << '\n';
    if (record.code == kExitInterrupted)
        out << record.reason << '\n';
}

bool scan_ran(const ScanRecord& record)
{
    return record.from.has_value() && !record.scan.stopped && record.code != kExitRefused;
}

}  // namespace tolvenar
