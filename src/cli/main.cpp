// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit: the Monte Carlo fit of data files, headless (see fit_command.h).
#include "cli/fit_command.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return tolvenar::run_fit_command(args, std::cout, std::cerr);
}
