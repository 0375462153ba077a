// SPDX-License-Identifier: GPL-3.0-or-later
// JSON texts of the command line's values, and the --json object.
#pragma once

#include "core/model/engine_state.h"
#include "core/model/family.h"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tolvenar {

// A quoted JSON string: quote, backslash and control characters escaped, other bytes (UTF-8)
// as they stand.
std::string json_string(std::string_view text);

// The shortest decimal text that reads back to the same float; null for an infinity or a NaN,
// which JSON cannot hold.
std::string json_number(float value);

// The shortest decimal text that reads back to the same double; null for an infinity or a NaN.
std::string json_number(double value);

// The --json object: the family, the crop, the best of best, the trial count and the report
// lines. Break points far from zero are data x in double (CropOrigin + x), and the crop names
// the origin; near zero they are the singles the search kept. `more` (members, each after a
// comma) follows the report.
void write_json(std::ostream& out, ModelFamily family, const EngineState& state,
                const std::vector<std::string>& lines, std::string_view more = {});

}  // namespace tolvenar
