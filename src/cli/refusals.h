// SPDX-License-Identifier: GPL-3.0-or-later
// Why tolvenar-fit stops: each refusal is an exit code and one line that names the input or
// the limit behind it, where the fault alone would not tell.
#pragma once

#include "cli/arguments.h"
#include "core/model/engine_state.h"
#include "core/runtime/fault.h"
#include "core/search/search.h"

#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tolvenar::cli {

// Ends the command before any output: the exit code and one line for stderr.
class Refused : public std::runtime_error {
public:
    Refused(int code, const std::string& message) : std::runtime_error(message), m_code(code) {}
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

Refused usage_error(const std::string& message);  // exit 2, pointing to --help
Refused refused(const std::string& message);      // exit 2

// `message` as one line on `err`, after the program's name; control characters blanked.
void say(std::ostream& err, std::string_view message);

// Why importing `path` raised `fault`: the file is read again to find the cell or the extent.
std::string import_fault_reason(const std::filesystem::path& path, const Fault& fault);

// The context a search fault lacks, or "" when nothing more is clear.
std::string search_fault_hint(const Fault& fault, const EngineState& state,
                              const SearchSettings& settings, const FitOptions& options);

// Exit 3 unless the search named `search` ("search", "constrained search") completed.
void check_search(const SearchOutcome& outcome, std::string_view search, const EngineState& state,
                  const SearchSettings& settings, const FitOptions& options);

// Exit 3 when the searches promoted no run: the sentinels stand where the break points belong.
void check_found(const EngineState& state, const SearchSettings& settings,
                 const FitOptions& options);

}  // namespace tolvenar::cli
