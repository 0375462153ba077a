// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit's arguments, read into options; bad usage is refused (exit 2).
#pragma once

#include "core/model/family.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tolvenar::cli {

// A crop edge as typed or taken from the data, with the words naming it in messages.
struct Edge {
    double value = 0.0;
    std::string name;  // "--from 12" or "the first data x (0)"
};

struct FitOptions {
    ModelFamily family = ModelFamily::SimpleRamp;
    std::string runs_text = "10";      // as typed, a whole decimal number; read like Text6
    std::string trials_text = "1000";  // likewise, like Text3(0)
    std::optional<Edge> from;          // crop left edge; unset = the first data x
    std::optional<Edge> to;            // crop right edge; unset = the last data x
    int threads = 0;                   // threads of the search; 0 = one per core
    bool constrain = false;
    bool json = false;
    bool help = false;
    bool version = false;
    std::string file;  // "-": standard input
};

// Throws Refused for bad usage, an unknown or manual family, a bound that is no number, or a
// count that is no whole decimal number.
FitOptions parse_arguments(std::span<const std::string> args);

// True when `text` is an optional sign and decimal digits, nothing else: "12abc", "2.5", "1e3"
// and "" are no count.
bool is_whole_count(std::string_view text);

// True when `text`, blanks around it aside, is wholly one decimal number in the syntax of the
// leading-number parse. A command line refuses "12abc", where a typed field would read 12.
bool is_whole_number(std::string_view text);

}  // namespace tolvenar::cli
