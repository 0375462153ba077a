// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/result_output.h"

#include "cli/fit_command.h"

#include <array>
#include <charconv>
#include <cmath>

namespace tolvenar::cli {

namespace {

// A whole count as typed ("+007", "40000") as a number; one beyond the 64-bit range as its text.
Json count_value(const std::string& text)
{
    std::int64_t value = 0;
    const char* first = text.data() + (text.starts_with('+') ? 1 : 0);
    const auto read = std::from_chars(first, text.data() + text.size(), value);
    if (read.ec == std::errc() && read.ptr == text.data() + text.size())
        return value;
    return text;
}

// Break point k (1..6) in data x: the single far from the origin, the double origin + x else.
Json data_x(const FoundModel& found, std::size_t k)
{
    return found.origin == 0.0 ? exact(found.x[k])
                               : exact(found.origin + static_cast<double>(found.x[k]));
}

Json optional_number(const std::optional<float>& value)
{
    return value ? exact(*value) : Json();
}

// A JSON scalar as CSV text: strings as they stand, null as nothing, numbers as in JSON.
std::string csv_text(const Json& value)
{
    if (value.is_null())
        return "";
    if (value.is_string())
        return value.get<std::string>();
    return value.dump();
}

}  // namespace

Json exact(double value)
{
    if (!std::isfinite(value))
        return nullptr;
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        return static_cast<std::int64_t>(value);
    return value;
}

Json exact(float value)
{
    if (!std::isfinite(value))
        return nullptr;
    std::array<char, 32> text{};
    const auto written = std::to_chars(text.data(), text.data() + text.size(), value);
    double shortest = 0.0;
    std::from_chars(text.data(), written.ptr, shortest);
    return exact(shortest);
}

std::string status_word(const FileResult& result)
{
    switch (result.code) {
    case kExitSuccess: return "fitted";
    case kExitInterrupted: return "interrupted";
    case kExitSearchFailed: return "failed";
    case kExitOutputFailed: return "not written";
    default: return "refused";
    }
}

Json json_object(const FileResult& result, const FitOptions& options)
{
    Json object{{"file", result.file},
                {"version", TOLVENAR_VERSION},
                {"model", family_caption(options.family)},
                {"from", result.from ? exact(*result.from) : Json()},
                {"to", result.to ? exact(*result.to) : Json()},
                {"runs", count_value(options.runs_text)},
                {"trials", count_value(options.trials_text)},
                {"seed", options.seed},
                {"constrain", options.constrain},
                {"status", status_word(result)}};
    if (!result.reason.empty())
        object["reason"] = result.reason;
    if (!result.found)
        return object;
    const FoundModel& found = *result.found;
    Json crop{{"start", found.crop_start}, {"count", found.points},
              {"min_y", exact(found.min_y)}, {"max_y", exact(found.max_y)}};
    if (found.origin != 0.0)
        crop["origin"] = exact(found.origin);
    Json x = Json::array(), y = Json::array();
    for (std::size_t k = 1; k <= 6; ++k) {
        x.push_back(data_x(found, k));
        y.push_back(exact(found.y[k]));
    }
    object["points"] = found.points;
    object["crop"] = std::move(crop);
    object["best"] = {{"x", std::move(x)}, {"y", std::move(y)}, {"r", exact(found.r)},
                      {"sq_dist", exact(found.sq_dist)}};
    object["duration"] = optional_number(found.duration);
    object["symmetry_index"] = optional_number(found.symmetry_index);
    object["trials_made"] = found.trials_made;
    object["report"] = found.report;
    return object;
}

std::vector<Column> csv_columns(const FitOptions& options)
{
    const Json provenance = json_object(FileResult{}, options);
    const auto setting = [&](const char* name) {
        return Column{name, [value = provenance[name]](const FileResult&) { return value; }};
    };
    std::vector<Column> columns{
        {"file", [](const FileResult& r) { return Json(r.file); }},
        setting("model"),
        {"from", [](const FileResult& r) { return r.from ? exact(*r.from) : Json(); }},
        {"to", [](const FileResult& r) { return r.to ? exact(*r.to) : Json(); }},
        {"points", [](const FileResult& r) { return r.found ? Json(r.found->points) : Json(); }},
        setting("runs"), setting("trials"), setting("seed"), setting("constrain"),
        setting("version")};
    // A family's break points beyond its own stay empty.
    const auto vertex = [](std::size_t k, bool is_x) {
        return [k, is_x](const FileResult& r) {
            if (!r.found || static_cast<std::size_t>(r.found->vertices) < k)
                return Json();
            return is_x ? data_x(*r.found, k) : exact(r.found->y[k]);
        };
    };
    for (const bool is_x : {true, false})
        for (std::size_t k = 1; k <= 6; ++k)
            columns.push_back({(is_x ? "x" : "y") + std::to_string(k), vertex(k, is_x)});
    const auto found = [](auto member) {
        return [member](const FileResult& r) { return r.found ? member(*r.found) : Json(); };
    };
    columns.push_back({"r", found([](const FoundModel& f) { return exact(f.r); })});
    columns.push_back({"sq_dist", found([](const FoundModel& f) { return exact(f.sq_dist); })});
    columns.push_back(
        {"duration", found([](const FoundModel& f) { return optional_number(f.duration); })});
    columns.push_back({"symmetry_index", found([](const FoundModel& f) {
                           return optional_number(f.symmetry_index);
                       })});
    // Option groups (a refined model, intervals) are appended here when their option is set.
    columns.push_back({"status", [](const FileResult& r) { return Json(status_word(r)); }});
    columns.push_back({"reason", [](const FileResult& r) { return Json(r.reason); }});
    return columns;
}

std::string csv_field(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + '"';
}

void write_csv_header(std::ostream& out, const std::vector<Column>& columns)
{
    for (std::size_t i = 0; i < columns.size(); ++i)
        out << (i == 0 ? "" : ",") << csv_field(columns[i].name);
    out << "\r\n";
}

void write_csv_row(std::ostream& out, const std::vector<Column>& columns,
                   const FileResult& result)
{
    for (std::size_t i = 0; i < columns.size(); ++i)
        out << (i == 0 ? "" : ",") << csv_field(csv_text(columns[i].value(result)));
    out << "\r\n";
}

void write_text(std::ostream& out, const FileResult& result, bool many, bool first)
{
    if (many)
        out << (first ? "" : "\n") << "==> " << result.file << " <==\n";
    if (result.found)
        for (const std::string& line : result.found->report)
            out << line << '\n';
    if (result.code == kExitInterrupted)
        out << result.reason << '\n';
}

}  // namespace tolvenar::cli
