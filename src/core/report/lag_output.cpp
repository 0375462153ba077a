// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/report/lag_output.h"

#include "core/runtime/numbers.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tolvenar {

namespace {

Json range_value(const std::optional<Range>& range)
{
    if (!range)
        return nullptr;
    return Json::array({exact(range->lo), exact(range->hi)});
}

// The record of the file alone: what the series share (the request, the crop edges as the
// reference took them) and how the job ended, without any one series' model.
FitRecord file_record(const LagRecord& record)
{
    FitRecord head;
    head.file = record.file;
    head.request = record.request;
    head.code = record.code;
    head.reason = record.reason;
    const auto ref = std::find(record.titles.begin(), record.titles.end(), record.reference);
    const auto i = static_cast<std::size_t>(ref - record.titles.begin());
    if (i < record.series.size()) {
        head.from = record.series[i].from;
        head.to = record.series[i].to;
        head.x_form = record.series[i].x_form;
    }
    return head;
}

std::string lag_text(double value)
{
    return rounded_text(value, 2);
}

std::string interval_text(const std::optional<Range>& range)
{
    return range ? lag_text(range->lo) + " .. " + lag_text(range->hi) : "-";
}

std::string level_text(double level)
{
    return number_text(std::round(level * 1e6) / 1e4) + " %";
}

// `rows` as columns padded to their widest cell, two spaces apart.
void write_table(std::ostream& out, const std::vector<std::vector<std::string>>& rows)
{
    std::vector<std::size_t> width;
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) {
            width.resize(std::max(width.size(), row.size()), 0);
            width[c] = std::max(width[c], row[c].size());
        }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row[c] + std::string(width[c] - row[c].size() + 2, ' ')
                                       : row[c];
        out << line << '\n';
    }
}

// How the replicates were drawn: jointly with the series on the reference's x, apart for others.
std::string drawn_text(const std::vector<Lag>& lags)
{
    std::vector<std::string> joint, apart;
    for (const Lag& lag : lags) {
        std::vector<std::string>& names = lag.joint ? joint : apart;
        if (std::find(names.begin(), names.end(), lag.series) == names.end())
            names.push_back(lag.series);
    }
    const auto listed = [](const std::vector<std::string>& names) {
        std::string text;
        for (const std::string& name : names)
            text += (text.empty() ? "" : ", ") + name;
        return text;
    };
    if (apart.empty())
        return "drawn jointly";
    if (joint.empty())
        return "drawn independently (the series do not share x)";
    return "drawn jointly with " + listed(joint) + ", independently for " + listed(apart) +
           " (other x)";
}

std::string vertex_name(int vertex)
{
    return "X" + std::to_string(vertex);
}

}  // namespace

Json lag_json_object(const LagRecord& record)
{
    Json object = json_object(file_record(record));
    Json series = Json::object();
    for (std::size_t s = 0; s < record.series.size(); ++s)
        series[record.titles[s]] = json_object(record.series[s]);
    object["reference"] = record.reference;
    object["series"] = std::move(series);
    Json lags = Json::array();
    for (const Lag& lag : record.lags)
        lags.push_back({{"series", lag.series},
                        {"to", lag.to},
                        {"vertex", lag.vertex},
                        {"lag", exact(lag.lag)},
                        {"interval", range_value(lag.interval)},
                        {"joint", lag.joint}});
    object["lags"] = std::move(lags);
    return object;
}

std::string lag_json_line(const LagRecord& record)
{
    return lag_json_object(record).dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json combined_json_object(std::span<const CombinedRow> rows)
{
    Json combined = Json::array();
    for (const CombinedRow& row : rows)
        combined.push_back({{"series", row.series},
                            {"to", row.to},
                            {"vertex", row.vertex},
                            {"lag", exact(row.combined.lag)},
                            {"interval", range_value(row.combined.interval)},
                            {"spread_interval", range_value(row.combined.spread_interval)},
                            {"events", row.combined.events}});
    return Json{{"combined", std::move(combined)}};
}

void write_lag_csv_header(std::ostream& out)
{
    out << "file,series,to,vertex,lag,lo,hi,level,joint,status,reason\r\n";
}

void write_lag_csv_rows(std::ostream& out, const LagRecord& record)
{
    const std::string status = status_word(file_record(record));
    const auto row = [&](const std::vector<Json>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i)
            out << (i == 0 ? "" : ",") << csv_field(csv_text(fields[i]));
        out << "\r\n";
    };
    const Json reason = record.reason.empty() ? Json() : Json(record.reason);
    if (record.lags.empty())
        row({record.file, nullptr, record.reference, nullptr, nullptr, nullptr, nullptr,
             exact(record.request.level), nullptr, status, reason});
    for (const Lag& lag : record.lags)
        row({record.file, lag.series, lag.to, lag.vertex, exact(lag.lag),
             lag.interval ? exact(lag.interval->lo) : Json(),
             lag.interval ? exact(lag.interval->hi) : Json(), exact(record.request.level),
             lag.joint, status, reason});
}

std::string lag_headline(const LagRecord& record)
{
    return "Lags to " + record.reference + ", " + level_text(record.request.level) +
           " intervals from " + std::to_string(record.request.bootstrap) + " replicates, " +
           drawn_text(record.lags);
}

std::vector<std::vector<std::string>> lag_rows(const LagRecord& record)
{
    std::vector<std::vector<std::string>> rows{
        {"Series", "To", "Vertex", "Lag", "Interval", "Joint"}};
    for (const Lag& lag : record.lags)
        rows.push_back({lag.series, lag.to, vertex_name(lag.vertex), lag_text(lag.lag),
                        interval_text(lag.interval), lag.joint ? "yes" : "no"});
    return rows;
}

void write_lag_text(std::ostream& out, const LagRecord& record, bool many, bool first)
{
    if (many)
        out << (first ? "" : "\n") << "==> " << record.file << " <==\n";
    if (!record.lags.empty()) {
        out << lag_headline(record) << '\n';
        std::vector<std::vector<std::string>> rows{{"Series", "Vertex", "Lag", "Interval"}};
        for (const Lag& lag : record.lags)
            rows.push_back({lag.series, vertex_name(lag.vertex), lag_text(lag.lag),
                            interval_text(lag.interval)});
        write_table(out, rows);
    }
    if (record.code == kExitInterrupted)
        out << record.reason << '\n';
}

void write_combined_text(std::ostream& out, std::span<const CombinedRow> rows, double level)
{
    out << "\nCombined over events, " << level_text(level) << " intervals\n";
    std::vector<std::vector<std::string>> table{
        {"Series", "To", "Vertex", "Lag", "Interval", "Spread interval", "Events"}};
    for (const CombinedRow& row : rows)
        table.push_back({row.series, row.to, vertex_name(row.vertex), lag_text(row.combined.lag),
                         interval_text(row.combined.interval),
                         interval_text(row.combined.spread_interval),
                         std::to_string(row.combined.events)});
    write_table(out, table);
}

}  // namespace tolvenar
