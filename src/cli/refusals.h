// SPDX-License-Identifier: GPL-3.0-or-later
// Why tolvenar-fit stops: each refusal is an exit code and one line that names the input or
// the limit behind it; the fit job's lines come from the core, which the window shares.
#pragma once

#include "core/job/refusal.h"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tolvenar::cli {

using Refused = Refusal;
using tolvenar::refused;

Refused usage_error(const std::string& message);  // exit 2, pointing to --help

// `message` as one line on `err`, after the program's name; control characters blanked.
void say(std::ostream& err, std::string_view message);

// Refuses two of `files` that are one stream, which only one reader can read: "-" and
// "/dev/stdin", or one pipe, socket or device named twice. A regular file may come again.
void refuse_shared_streams(const std::vector<std::string>& files);

}  // namespace tolvenar::cli
