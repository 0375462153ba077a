// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit: the headless command over the core. For each data file it imports, crops,
// resets the results as a model choice does, runs the Monte Carlo search (and, with
// --constrain, a second one inside the constraint boxes) and prints the result labels the
// window would show, or a JSON object or a CSV row of them.
#pragma once

#include "core/job/fit_record.h"

#include <istream>
#include <ostream>
#include <span>
#include <string>

namespace tolvenar {

// Runs the command with `args` (without the program name); the file "-" is read from `in`. Each
// file's report, JSON object or CSV row goes to `out` in file order; every refusal is one line
// on `err`, and so is the progress line when `terminal`. Each file is fitted from a fresh random
// source, so it draws the candidates a freshly started window would draw.
int run_fit_command(std::span<const std::string> args, std::istream& in, std::ostream& out,
                    std::ostream& err, bool terminal = false);
// The same with the process's standard input, Ctrl-C stopping the searches, and the progress
// line when standard error is a terminal.
int run_fit_command(std::span<const std::string> args, std::ostream& out, std::ostream& err);

// The text of --help.
std::string fit_usage();

}  // namespace tolvenar
