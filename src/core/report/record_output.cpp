// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/report/record_output.h"

#include "core/runtime/numbers.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

namespace tolvenar {

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

// Level k (1..6) of a refined model in data y: as its single value about a y origin of 0.
Json data_y(const RefinedModel& refined, std::size_t k)
{
    return refined.y_origin == 0.0 ? exact(refined.y[k]) : exact(refined.data_y(k));
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

std::string formatted(const char* format, auto... values)
{
    char line[160];
    std::snprintf(line, sizeof line, format, values...);
    return line;
}

// Searches that no --runs, --trials and --constrain give: each one's counts and box choice.
Json searches_value(const std::vector<SearchStep>& searches)
{
    Json list = Json::array();
    for (const SearchStep& search : searches)
        list.push_back({{"runs", count_value(search.runs)},
                        {"trials", count_value(search.trials)},
                        {"constrain", search.constrain}});
    return list;
}

// `text` under `name`; bytes that are not UTF-8 read as U+FFFD there, and `name`_bytes holds
// them all as numbers, so that the name can be matched back to its file.
void add_text(Json& object, const std::string& name, const std::string& text)
{
    object[name] = text;
    if (valid_utf8(text) != text)
        object[name + "_bytes"] = std::vector<unsigned char>(text.begin(), text.end());
}

// An interval's ends; nulls for one the data could not determine.
Json range_of(const Range& range, double origin = 0.0, const XForm& form = {})
{
    if (range.reach == refine::Reach::Undetermined)
        return Json::array({nullptr, nullptr});
    const double lo = origin + range.lo, hi = origin + range.hi;
    return Json::array({x_value(lo, form, exact(lo)), x_value(hi, form, exact(hi))});
}

// The intervals `said` has a word for, each named with it: "x2 edge, y3 undetermined"; "" for
// none.
template <typename Said>
std::string intervals_text(const Intervals& in, Said said)
{
    std::string text;
    const auto add = [&](const std::string& name, const Range& range) {
        if (const std::optional<std::string> word = said(range))
            text += (text.empty() ? "" : ", ") + name + *word;
    };
    for (std::size_t k = 1; k <= 6; ++k) {
        add("x" + std::to_string(k), in.x[k]);
        add("y" + std::to_string(k), in.y[k]);
    }
    if (in.measure)
        add("measure", *in.measure);
    return text;
}

// "x2 edge, y3 undetermined": the intervals that are not held inside their range.
std::string reach_text(const Intervals& in)
{
    return intervals_text(in, [](const Range& range) -> std::optional<std::string> {
        if (range.reach == refine::Reach::Held)
            return std::nullopt;
        return " " + std::string(refine::reach_name(range.reach));
    });
}

// "x2, x4": the intervals read off the replicates' percentiles (the others are symmetric
// studentized; a fixed vertex's, of no width, is neither).
std::string percentile_text(const Intervals& in)
{
    return intervals_text(in, [](const Range& range) -> std::optional<std::string> {
        if (!refine::by_percentiles(range.method, range.lo, range.hi))
            return std::nullopt;
        return "";
    });
}

// "x2, x3": the break points' intervals widened to span their calibrated profile intervals.
std::string profile_text(const Intervals& in)
{
    return intervals_text(in, [](const Range& range) -> std::optional<std::string> {
        if (range.method != refine::IntervalMethod::Profile)
            return std::nullopt;
        return "";
    });
}

// "refined" and "bootstrap": the measure under its own name, x in data x.
void add_refined(Json& object, const FoundModel& found, ModelFamily family)
{
    const RefinedModel& refined = *found.refined;
    const std::string measure(measure_names(family_row(family).measure).key);
    Json x = Json::array(), y = Json::array();
    for (std::size_t k = 1; k <= 6; ++k) {
        x.push_back(data_x(found, refined.x[k]));
        y.push_back(data_y(refined, k));
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
    if (in.persistence)
        boot["persistence"] = exact(*in.persistence);
    if (in.drifting)
        boot["drifting"] = true;
    if (in.measure)
        boot[measure] = range_of(*in.measure);
    if (const std::string percentile = percentile_text(in); !percentile.empty())
        boot["percentile"] = percentile;
    if (const std::string profile = profile_text(in); !profile.empty())
        boot["profile"] = profile;
    if (const std::string reach = reach_text(in); !reach.empty())
        boot["reach"] = reach;
    object["bootstrap"] = std::move(boot);
}

// A crop edge in data x, null while unknown.
Json edge_value(const FitRecord& record, const std::optional<double>& edge)
{
    return edge ? x_value(*edge, record.x_form, exact(*edge)) : Json();
}

// What the file said of its data, each only where it applies, so that a file of plain numbers
// without gaps keeps its object: "x_form" ("date" or "date-time": x are written as the file
// writes them, durations in days), "reversed", "sigma" (the column's title), "gaps", "titles"
// (false: no title row), "comment_lines" and "precision_warning".
void add_series_members(Json& object, const FitRecord& record)
{
    if (record.x_form.is_date())
        object["x_form"] = record.x_form.kind == XKind::Date ? "date" : "date-time";
    if (record.reversed)
        object["reversed"] = true;
    if (!record.sigma_title.empty())
        add_text(object, "sigma", record.sigma_title);
    if (record.gaps)
        object["gaps"] = *record.gaps;
    if (!record.title_row)
        object["titles"] = false;
    if (record.comment_lines > 0)
        object["comment_lines"] = record.comment_lines;
    if (record.precision_warning)
        add_text(object, "precision_warning", *record.precision_warning);
}


// "comparison" (the models by BIC), "chosen" and "event_test".
void add_comparison(Json& object, const ComparisonRecord& record)
{
    Json models = Json::array();
    for (const compare::ModelRecord& m : record.models) {
        Json model{{"model", m.name}, {"k", m.k}, {"sum_of_squares", exact(m.sum_of_squares)},
                   {"phi", exact(m.phi)}};
        if (m.tau)
            model["tau"] = exact(*m.tau);
        model.update(Json{{"log_likelihood", exact(m.log_likelihood)}, {"aic", exact(m.aic)},
                          {"aic_weight", exact(m.aic_weight)}, {"bic", exact(m.bic)},
                          {"bic_weight", exact(m.bic_weight)}, {"chosen", m.chosen}});
        models.push_back(std::move(model));
    }
    object["comparison"] = std::move(models);
    object["chosen"] = record.chosen.empty() ? Json() : Json(record.chosen);
    object["event_test"] = record.p ? Json{{"p", exact(*record.p)},
                                           {"replicates", record.replicates},
                                           {"null", record.null_name}}
                                    : Json();
}

// chosen, chosen_bic_weight, event_p.
void add_comparison_columns(std::vector<Column>& columns)
{
    const auto of = [](auto pick) {
        return [pick](const FitRecord& r) { return r.comparison ? pick(*r.comparison) : Json(); };
    };
    columns.push_back({"chosen", of([](const ComparisonRecord& c) {
                           return c.chosen.empty() ? Json() : Json(c.chosen);
                       })});
    columns.push_back({"chosen_bic_weight", of([](const ComparisonRecord& c) {
                           for (const compare::ModelRecord& m : c.models)
                               if (m.chosen)
                                   return exact(m.bic_weight);
                           return Json();
                       })});
    columns.push_back({"event_p", of([](const ComparisonRecord& c) {
                           return c.p ? exact(*c.p) : Json();
                       })});
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

std::string status_word(const FitRecord& record)
{
    switch (record.code) {
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

Json json_object(const FitRecord& record)
{
    const FitRequest& request = record.request;
    const std::optional<ModelFamily> family = fitted_family(record);
    Json object = Json::object();
    add_text(object, "file", record.file);
    object.update(Json{{"version", TOLVENAR_VERSION},
                       {"model", family ? Json(family_caption(*family)) : Json()},
                       {"from", edge_value(record, record.from)},
                       {"to", edge_value(record, record.to)},
                       {"runs", count_value(request.first_search().runs)},
                       {"trials", count_value(request.first_search().trials)},
                       {"seed", request.seed}});
    if (request.draws != 0)
        object["draws"] = request.draws;
    object["constrain"] = request.constrained();
    if (!request.plain_searches())
        object["searches"] = searches_value(request.searches);
    object["status"] = status_word(record);
    if (!record.reason.empty())
        object["reason"] = record.reason;
    if (!record.picture_path.empty())
        add_text(object, "picture", record.picture_path);
    add_series_members(object, record);
    if (record.comparison)
        add_comparison(object, *record.comparison);
    if (!record.found)
        return object;
    const FoundModel& found = *record.found;
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
        add_refined(object, found, family.value_or(request.family));
    return object;
}

std::string json_line(const FitRecord& record)
{
    return json_object(record).dump(-1, ' ', false, Json::error_handler_t::replace);
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
// .., symmetry_index_hi, intervals_reach and intervals_drifting. A family's vertices beyond its
// own, and measures it has none of, stay empty.
void add_refined_columns(std::vector<Column>& columns, bool intervals)
{
    using Pick = std::function<Json(const FoundModel&, const RefinedModel&)>;
    const auto refined = [](std::string name, Pick pick) {
        return Column{std::move(name), [pick](const FitRecord& r) {
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
                                     return data_y(m, k);
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
        if (!in || range(*in).reach == refine::Reach::Undetermined)
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
                    return m.intervals && m.intervals->measure &&
                                   m.intervals->measure->reach != refine::Reach::Undetermined
                               ? exact(hi ? m.intervals->measure->hi : m.intervals->measure->lo)
                               : Json();
                }));
    columns.push_back(refined("intervals_reach", [](const FoundModel&, const RefinedModel& m) {
        return m.intervals ? Json(reach_text(*m.intervals)) : Json();
    }));
    columns.push_back(refined("intervals_drifting", [](const FoundModel&, const RefinedModel& m) {
        return m.intervals ? Json(m.intervals->drifting) : Json();
    }));
}

std::vector<Column> csv_columns(const FitRequest& request, bool pictures)
{
    FitRecord blank;
    blank.request = request;
    const Json provenance = json_object(blank);
    const auto setting = [&](const char* name) {
        return Column{name, [value = provenance[name]](const FitRecord&) { return value; }};
    };
    std::vector<Column> columns{
        {"file", [](const FitRecord& r) { return Json(r.file); }},
        {"model", [](const FitRecord& r) {
             const std::optional<ModelFamily> family = fitted_family(r);
             return family ? Json(family_caption(*family)) : Json();
         }},
        {"from", [](const FitRecord& r) { return edge_value(r, r.from); }},
        {"to", [](const FitRecord& r) { return edge_value(r, r.to); }},
        {"points", [](const FitRecord& r) { return r.found ? Json(r.found->points) : Json(); }},
        // Missing y within the crop, once the crop is known.
        {"gaps", [](const FitRecord& r) { return r.from ? Json(r.gaps.value_or(0)) : Json(); }},
        setting("runs"), setting("trials"), setting("seed")};
    if (request.draws != 0)
        columns.push_back(setting("draws"));
    columns.push_back(setting("constrain"));
    columns.push_back(setting("version"));
    // A family's break points beyond its own stay empty.
    const auto vertex = [](std::size_t k, bool is_x) {
        return [k, is_x](const FitRecord& r) {
            if (!r.found || static_cast<std::size_t>(r.found->vertices) < k)
                return Json();
            return is_x ? data_x(*r.found, k) : exact(r.found->y[k]);
        };
    };
    for (const bool is_x : {true, false})
        for (std::size_t k = 1; k <= 6; ++k)
            columns.push_back({(is_x ? "x" : "y") + std::to_string(k), vertex(k, is_x)});
    const auto found = [](auto member) {
        return [member](const FitRecord& r) { return r.found ? member(*r.found) : Json(); };
    };
    columns.push_back({"r", found([](const FoundModel& f) { return exact(f.r); })});
    columns.push_back({"sq_dist", found([](const FoundModel& f) { return exact(f.sq_dist); })});
    columns.push_back(
        {"duration", found([](const FoundModel& f) { return optional_number(f.duration); })});
    columns.push_back({"symmetry_index", found([](const FoundModel& f) {
                           return optional_number(f.symmetry_index);
                       })});
    if (request.refine || request.bootstrap > 0)
        add_refined_columns(columns, request.bootstrap > 0);
    if (request.compare)
        add_comparison_columns(columns);
    if (pictures)
        columns.push_back({"picture", [](const FitRecord& r) { return Json(r.picture_path); }});
    columns.push_back({"status", [](const FitRecord& r) { return Json(status_word(r)); }});
    columns.push_back({"reason", [](const FitRecord& r) { return Json(r.reason); }});
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

void write_csv_row(std::ostream& out, const std::vector<Column>& columns,
                   const FitRecord& record)
{
    for (std::size_t i = 0; i < columns.size(); ++i)
        out << (i == 0 ? "" : ",") << csv_field(csv_text(columns[i].value(record)));
    out << "\r\n";
}

void write_text(std::ostream& out, const FitRecord& record, bool many, bool first)
{
    if (many)
        out << (first ? "" : "\n") << "==> " << record.file << " <==\n";
    if (record.comparison)
        for (const std::string& line : comparison_lines(*record.comparison))
            out << line << '\n';
    if (record.found) {
        for (const std::string& line : series_lines(record))
            out << line << '\n';
        for (const std::string& line : record.found->report)
            out << line << '\n';
        if (record.found->refined)
            for (const std::string& line : record.found->refined->lines)
                out << line << '\n';
    }
    if (record.code == kExitInterrupted)
        out << record.reason << '\n';
}


Json x_value(double x, const XForm& form, Json number)
{
    if (!form.is_date() || !std::isfinite(x))
        return number;
    return x_text(x, form);
}

std::vector<std::string> series_lines(const FitRecord& record)
{
    std::vector<std::string> lines;
    if (record.reversed)
        lines.emplace_back("Read in reverse order (x runs downwards in the file)");
    if (record.gaps)
        lines.push_back("Gaps in the crop = " + std::to_string(*record.gaps) +
                        " (rows without y, left out)");
    if (!record.title_row)
        lines.emplace_back("No title row (the first line is data; columns go by number)");
    if (record.comment_lines > 0)
        lines.push_back("Comment lines skipped = " + std::to_string(record.comment_lines));
    if (record.precision_warning)
        lines.push_back("Precision warning: " + *record.precision_warning);
    return lines;
}

std::vector<std::string> comparison_lines(const ComparisonRecord& record)
{
    std::vector<std::string> lines{
        "Model        k  Sum of squares   AR(1)  Log-likelihood          AIC  AIC weight"
        "          BIC  BIC weight"};
    for (const compare::ModelRecord& m : record.models)
        lines.push_back(formatted("%-10s %c %2zu %15.7g %7.3f %15.3f %12.3f %11.4f %12.3f %11.4f",
                                  m.name.c_str(), m.chosen ? '*' : ' ', m.k, m.sum_of_squares,
                                  m.phi, m.log_likelihood, m.aic, m.aic_weight, m.bic,
                                  m.bic_weight));
    if (record.p)
        lines.push_back(formatted("Event test: p = %.4g against the %s (%zu of %zu replicates)",
                                  *record.p, record.null_name.c_str(), record.replicates,
                                  record.test_replicates));
    if (record.family)
        lines.push_back("Chosen: " + std::string(family_caption(*record.family)) + " (" +
                        record.chosen + ")");
    else if (!record.chosen.empty())
        lines.push_back("Chosen: no event (" + record.chosen + ")");
    return lines;
}

}  // namespace tolvenar
