// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/compare_job.h"

#include "cli/crop_window.h"
#include "cli/data_options.h"
#include "cli/fit_command.h"
#include "cli/fit_job.h"
#include "cli/refusals.h"
#include "core/runtime/fault.h"

#include <cstdio>
#include <new>
#include <utility>

namespace tolvenar::cli {

namespace {

std::string formatted(const char* format, auto... values)
{
    char line[160];
    std::snprintf(line, sizeof line, format, values...);
    return line;
}

}  // namespace

FileResult compare_series(const FitOptions& options, CheckedImport imported,
                          const std::string& file, const std::string& picture_path, int threads,
                          Progress& progress, const std::atomic<bool>& stop)
{
    FileResult result;
    result.file = file;
    try {
        FitSession session(options.seed);
        // A copy: the chosen family's fit below reads the series again.
        session.load(imported.series.table, imported.series.x_form, imported.series.sigma);
        const CropWindow window = crop_window(session.table(), options, session.x_form());
        result.from = window.from;
        result.to = window.to;
        note_series(result, imported.series, window.from, window.to);
        take_crop(session, window);
        note_precision(result, session);

        ComparisonRequest request;
        request.left = session.model_x(window.left);
        request.right = request.left + static_cast<double>(window.width);
        request.replicates = options.test_replicates;
        request.alpha = options.alpha;
        request.seed = options.seed;
        request.threads = static_cast<unsigned>(std::max(threads, 1));
        request.stop = &stop;
        const FamilyComparison comparison = session.compare(request);
        result.comparison = comparison_record(comparison, options.test_replicates);
        if (comparison.stopped) {
            result.code = kExitInterrupted;
            result.reason = "interrupted during the comparison";
            return result;
        }
        if (!result.comparison->family)
            return result;  // no event: nothing to search
        FitOptions chosen = options;
        chosen.compare = false;
        chosen.family = *result.comparison->family;
        FileResult fitted = fit_series(chosen, std::move(imported), file, picture_path, threads,
                                       progress, stop);
        fitted.comparison = std::move(result.comparison);
        fitted.comparison->fitted = chosen.family;
        return fitted;
    } catch (const Refused& refusal) {
        result.code = std::max(result.code, refusal.code());
        result.reason = refusal.what();
    } catch (const Fault& fault) {
        result.code = kExitSearchFailed;
        result.reason = fault.what();
    } catch (const std::bad_alloc&) {
        result.code = kExitRefused;
        result.reason = "out of memory";
    }
    return result;
}

ComparisonRecord comparison_record(const FamilyComparison& comparison,
                                   std::size_t test_replicates)
{
    ComparisonRecord record;
    record.models = comparison.comparison.models;
    if (!record.models.empty())
        record.chosen = comparison.chosen().name;
    record.family = comparison.chosen_family();
    record.test_replicates = test_replicates;
    if (const auto& test = comparison.comparison.test) {
        record.p = test->p;
        record.replicates = test->replicates;
        record.null_name = test->null_name;
    }
    record.stopped = comparison.stopped;
    return record;
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

void add_comparison_columns(std::vector<Column>& columns)
{
    const auto of = [](auto pick) {
        return [pick](const FileResult& r) { return r.comparison ? pick(*r.comparison) : Json(); };
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

}  // namespace tolvenar::cli
