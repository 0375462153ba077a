// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit in process, as every suite of the command line runs it.
#pragma once

#include "cli/fit_command.h"

#include <sstream>
#include <string>
#include <vector>

namespace tolvenar::test {

struct Outcome {
    int code = -1;
    std::string out, err;
};

// The exit status and both streams of tolvenar-fit `args`, `in` its standard input.
inline Outcome fit(const std::vector<std::string>& args, const std::string& in = "")
{
    std::istringstream input(in);
    std::ostringstream out, err;
    const int code = run_fit_command(args, input, out, err);
    return {code, out.str(), err.str()};
}

}  // namespace tolvenar::test
