// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/result_output.h"

#include "cli/compare_job.h"
#include "cli/data_options.h"
#include "cli/fit_command.h"
#include "core/runtime/numbers.h"

#include <algorithm>
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

// A model x in data x: the single near zero, the double origin + x far from it; for dates the
// file's own text.
Json data_x(const FoundModel& found, float x)
{
    const double data = found.origin + static_cast<double>(x);
    return x_value(data, found.x_form, found.origin == 0.0 ? exact(x) : exact(data));
}

// Break point k (1..6) in data x.
Json data_x(const FoundModel& found, std::size_t k)
{
    return data_x(found, found.x[k]);
}

Json optional_number(const std::optional<float>& value)
{
    return value ? exact(*value) : Json();
}

// A JSON scalar as CSV text: null as nothing, numbers as in JSON, strings as valid UTF-8 and
// with a single quote before what a spreadsheet would take for a formula.
std::string csv_text(const Json& value)
{
    if (value.is_null())
        return "";
    if (!value.is_string())
        return value.dump();
    std::string text = valid_utf8(value.get<std::string>());
    if (!text.empty() && std::string_view("=+-@\t\r'").find(text.front()) != std::string::npos &&
        !is_number_text(text))
        text.insert(0, 1, '\'');
    return text;
}

// `text` under `name`; bytes that are not UTF-8 read as U+FFFD there, and `name`_bytes holds
// them all as numbers, so that the name can be matched back to its file.
void add_text(Json& object, const std::string& name, const std::string& text)
{
    object[name] = text;
    if (valid_utf8(text) != text)
        object[name + "_bytes"] = std::vector<unsigned char>(text.begin(), text.end());
}

Json range_of(const Range& range, double origin = 0.0, const XForm& form = {})
{
    const double lo = origin + range.lo, hi = origin + range.hi;
    return Json::array({x_value(lo, form, exact(lo)), x_value(hi, form, exact(hi))});
}

// "refined" and "bootstrap": the measure under its own name, x in data x.
void add_refined(Json& object, const FoundModel& found, ModelFamily family)
{
    const RefinedModel& refined = *found.refined;
    const std::string measure(measure_names(family_row(family).measure).key);
    Json x = Json::array(), y = Json::array();
    for (std::size_t k = 1; k <= 6; ++k) {
        x.push_back(data_x(found, refined.x[k]));
        y.push_back(exact(refined.y[k]));
    }
    Json member{{"x", std::move(x)}, {"y", std::move(y)}, {"r", exact(refined.r)},
                {"sq_dist", exact(refined.sq_dist)}};
    if (refined.measure)
        member[measure] = exact(*refined.measure);
    object["refined"] = std::move(member);
    if (!refined.intervals)
        return;
    const Intervals& in = *refined.intervals;
    Json xs = Json::array(), ys = Json::array();
    for (std::size_t k = 1; k <= 6; ++k) {
        xs.push_back(range_of(in.x[k], found.origin, found.x_form));
        ys.push_back(range_of(in.y[k]));
    }
    Json boot{{"replicates", in.replicates}, {"replicates_done", in.done}, {"level", in.level},
              {"seed", in.seed}, {"block_length", in.block_length}, {"x", std::move(xs)},
              {"y", std::move(ys)}};
    if (in.measure)
        boot[measure] = range_of(*in.measure);
    object["bootstrap"] = std::move(boot);
}

// A crop edge in data x, null while unknown.
Json edge_value(const FileResult& result, const std::optional<double>& edge)
{
    return edge ? x_value(*edge, result.x_form, exact(*edge)) : Json();
}

// What the file said of its data, each only where it applies, so that a file of plain numbers
// without gaps keeps its object: "x_form" ("date" or "date-time": x are written as the file
// writes them, durations in days), "reversed", "sigma" (the column's title), "gaps", "titles"
// (false: no title row), "comment_lines" and "precision_warning".
void add_series_members(Json& object, const FileResult& result)
{
    if (result.x_form.is_date())
        object["x_form"] = result.x_form.kind == XKind::Date ? "date" : "date-time";
    if (result.reversed)
        object["reversed"] = true;
    if (!result.sigma_title.empty())
        add_text(object, "sigma", result.sigma_title);
    if (result.gaps)
        object["gaps"] = *result.gaps;
    if (!result.title_row)
        object["titles"] = false;
    if (result.comment_lines > 0)
        object["comment_lines"] = result.comment_lines;
    if (result.precision_warning)
        add_text(object, "precision_warning", *result.precision_warning);
}

// The family whose search the result reports: with --compare the one fitted after the
// comparison (none: no event, or no comparison made).
std::optional<ModelFamily> fitted_family(const FileResult& result, const FitOptions& options)
{
    if (!options.compare)
        return options.family;
    return result.comparison ? result.comparison->fitted : std::nullopt;
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

std::string valid_utf8(const std::string& text)
{
    if (std::all_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x80; }))
        return text;
    // nlohmann's own decoder, so that the JSON and the CSV texts replace alike.
    return Json::parse(Json(text).dump(-1, ' ', false, Json::error_handler_t::replace))
        .get<std::string>();
}

Json json_object(const FileResult& result, const FitOptions& options)
{
    const std::optional<ModelFamily> family = fitted_family(result, options);
    Json object = Json::object();
    add_text(object, "file", result.file);
    object.update(Json{{"version", TOLVENAR_VERSION},
                       {"model", family ? Json(family_caption(*family)) : Json()},
                       {"from", edge_value(result, result.from)},
                       {"to", edge_value(result, result.to)},
                       {"runs", count_value(options.runs_text)},
                       {"trials", count_value(options.trials_text)},
                       {"seed", options.seed},
                       {"constrain", options.constrain},
                       {"status", status_word(result)}});
    if (!result.reason.empty())
        object["reason"] = result.reason;
    if (!result.picture_path.empty())
        add_text(object, "picture", result.picture_path);
    add_series_members(object, result);
    if (result.comparison)
        add_comparison(object, *result.comparison);
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
    if (found.refined)
        add_refined(object, found, family.value_or(options.family));
    return object;
}

std::string json_line(const FileResult& result, const FitOptions& options)
{
    return json_object(result, options).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string refine_interruption(const RefinedModel& refined)
{
    const std::optional<Intervals>& in = refined.intervals;
    if (!in)
        return "interrupted during the refinement, which gives its best so far";
    return "interrupted after " + std::to_string(in->done) + " of " +
           std::to_string(in->replicates) + " bootstrap replicates";
}

// refined_x1..refined_y6, refined_r, refined_sq_dist, refined_duration and
// refined_symmetry_index; with intervals replicates_done, x1_lo, x1_hi, .., y6_hi, duration_lo,
// .., symmetry_index_hi. A family's vertices beyond its own, and measures it has none of, stay
// empty.
void add_refined_columns(std::vector<Column>& columns, bool intervals)
{
    using Pick = std::function<Json(const FoundModel&, const RefinedModel&)>;
    const auto refined = [](std::string name, Pick pick) {
        return Column{std::move(name), [pick](const FileResult& r) {
                          return r.found && r.found->refined ? pick(*r.found, *r.found->refined)
                                                             : Json();
                      }};
    };
    // Vertex k of the family, else empty.
    const auto vertex = [&](std::string name, std::size_t k, Pick pick) {
        return refined(std::move(name), [k, pick](const FoundModel& f, const RefinedModel& m) {
            return static_cast<std::size_t>(f.vertices) < k ? Json() : pick(f, m);
        });
    };
    // The measure under the family's own name, the other column empty.
    const auto measure = [&](std::string name, bool duration, Pick pick) {
        return refined(std::move(name), [duration, pick](const FoundModel& f,
                                                         const RefinedModel& m) {
            const bool own = duration ? f.duration.has_value() : f.symmetry_index.has_value();
            return own ? pick(f, m) : Json();
        });
    };
    for (std::size_t k = 1; k <= 6; ++k)
        columns.push_back(vertex("refined_x" + std::to_string(k), k,
                                 [k](const FoundModel& f, const RefinedModel& m) {
                                     return data_x(f, m.x[k]);
                                 }));
    for (std::size_t k = 1; k <= 6; ++k)
        columns.push_back(vertex("refined_y" + std::to_string(k), k,
                                 [k](const FoundModel&, const RefinedModel& m) {
                                     return exact(m.y[k]);
                                 }));
    columns.push_back(refined("refined_r", [](const FoundModel&, const RefinedModel& m) {
        return exact(m.r);
    }));
    columns.push_back(refined("refined_sq_dist", [](const FoundModel&, const RefinedModel& m) {
        return exact(m.sq_dist);
    }));
    for (const bool duration : {true, false})
        columns.push_back(measure(duration ? "refined_duration" : "refined_symmetry_index",
                                  duration, [](const FoundModel&, const RefinedModel& m) {
                                      return m.measure ? exact(*m.measure) : Json();
                                  }));
    if (!intervals)
        return;
    columns.push_back(refined("replicates_done", [](const FoundModel&, const RefinedModel& m) {
        return m.intervals ? Json(m.intervals->done) : Json();
    }));
    const auto end = [](const std::optional<Intervals>& in, auto range, bool hi, double origin,
                        const XForm& form) {
        if (!in)
            return Json();
        const double value = origin + (hi ? range(*in).hi : range(*in).lo);
        return x_value(value, form, exact(value));
    };
    for (const bool is_x : {true, false})
        for (std::size_t k = 1; k <= 6; ++k)
            for (const bool hi : {false, true})
                columns.push_back(vertex(
                    (is_x ? "x" : "y") + std::to_string(k) + (hi ? "_hi" : "_lo"), k,
                    [=](const FoundModel& f, const RefinedModel& m) {
                        return end(m.intervals,
                                   [&](const Intervals& in) { return is_x ? in.x[k] : in.y[k]; },
                                   hi, is_x ? f.origin : 0.0, is_x ? f.x_form : XForm{});
                    }));
    for (const bool duration : {true, false})
        for (const bool hi : {false, true})
            columns.push_back(measure(
                std::string(duration ? "duration" : "symmetry_index") + (hi ? "_hi" : "_lo"),
                duration, [=](const FoundModel&, const RefinedModel& m) {
                    return m.intervals && m.intervals->measure
                               ? exact(hi ? m.intervals->measure->hi : m.intervals->measure->lo)
                               : Json();
                }));
}

std::vector<Column> csv_columns(const FitOptions& options)
{
    const Json provenance = json_object(FileResult{}, options);
    const auto setting = [&](const char* name) {
        return Column{name, [value = provenance[name]](const FileResult&) { return value; }};
    };
    std::vector<Column> columns{
        {"file", [](const FileResult& r) { return Json(r.file); }},
        {"model", [options](const FileResult& r) {
             const std::optional<ModelFamily> family = fitted_family(r, options);
             return family ? Json(family_caption(*family)) : Json();
         }},
        {"from", [](const FileResult& r) { return edge_value(r, r.from); }},
        {"to", [](const FileResult& r) { return edge_value(r, r.to); }},
        {"points", [](const FileResult& r) { return r.found ? Json(r.found->points) : Json(); }},
        // Missing y within the crop, once the crop is known.
        {"gaps", [](const FileResult& r) { return r.from ? Json(r.gaps.value_or(0)) : Json(); }},
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
    if (options.refine)
        add_refined_columns(columns, options.bootstrap > 0);
    if (options.compare)
        add_comparison_columns(columns);
    if (!options.plot.empty())
        columns.push_back({"picture", [](const FileResult& r) { return Json(r.picture_path); }});
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
    if (result.comparison)
        for (const std::string& line : comparison_lines(*result.comparison))
            out << line << '\n';
    if (result.found) {
        for (const std::string& line : series_lines(result))
            out << line << '\n';
        for (const std::string& line : result.found->report)
            out << line << '\n';
        if (result.found->refined)
            for (const std::string& line : result.found->refined->lines)
                out << line << '\n';
    }
    if (result.code == kExitInterrupted)
        out << result.reason << '\n';
}

}  // namespace tolvenar::cli
