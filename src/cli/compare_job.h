// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit --compare: the families compared on the crop of the options, the event tested,
// then the chosen family fitted as --model would fit it; and the comparison's part of the text,
// JSON and CSV outputs, which the window's "Save" writes too.
#pragma once

#include "cli/arguments.h"
#include "cli/batch.h"
#include "cli/file_result.h"
#include "cli/result_output.h"
#include "core/data/data_reader.h"
#include "core/session/family_comparison.h"

#include <atomic>
#include <string>
#include <vector>

namespace tolvenar::cli {

// The comparison on the crop, then, when an event family is chosen, fit_series with that family
// (its search, and --refine and --bootstrap); when a model without an event is chosen, no
// search: the result holds the comparison alone. A signal during the comparison ends the file
// as interrupted with the comparison so far.
FileResult compare_series(const FitOptions& options, CheckedImport imported,
                          const std::string& file, const std::string& picture_path, int threads,
                          Progress& progress, const std::atomic<bool>& stop);

// The record of a comparison whose test was asked `test_replicates` replicates.
ComparisonRecord comparison_record(const FamilyComparison& comparison,
                                   std::size_t test_replicates);

// The table sorted by BIC (one line a model, the chosen one marked with *), the event test's
// line and the choice.
std::vector<std::string> comparison_lines(const ComparisonRecord& record);

// "comparison" (one object a model), "chosen" and "event_test" ({"p", "replicates", "null"};
// null without a test).
void add_comparison(Json& object, const ComparisonRecord& record);

// chosen, chosen_bic_weight, event_p.
void add_comparison_columns(std::vector<Column>& columns);

}  // namespace tolvenar::cli
