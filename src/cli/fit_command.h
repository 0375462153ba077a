// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit: the headless command over the core. It imports one data file, crops it, resets
// the results as a model choice does, runs the Monte Carlo search (and, with --constrain, a
// second one inside the constraint boxes) and prints the result labels the window would show.
#pragma once

#include <istream>
#include <ostream>
#include <span>
#include <string>

namespace tolvenar {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitOutputFailed = 1;  // stdout could not be written
inline constexpr int kExitRefused = 2;       // bad usage, or a file the import or the crop refuses
inline constexpr int kExitSearchFailed = 3;  // the search stopped on a fault or found no model

// Runs the command with `args` (without the program name); the file "-" is read from `in`. The
// report or the JSON object goes to `out` only on success; every refusal is one line on `err`.
// Creates the process's random source itself from --seed, so each call without it draws the
// candidates a freshly started window would draw.
int run_fit_command(std::span<const std::string> args, std::istream& in, std::ostream& out,
                    std::ostream& err);
// The same with the process's standard input.
int run_fit_command(std::span<const std::string> args, std::ostream& out, std::ostream& err);

// The text of --help.
std::string fit_usage();

}  // namespace tolvenar
