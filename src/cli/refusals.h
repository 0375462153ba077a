// SPDX-License-Identifier: GPL-3.0-or-later
// Why tolvenar-fit stops: each refusal is an exit code and one line that names the input or
// the limit behind it; the lines themselves come from the core, which the window shares.
#pragma once

#include "cli/arguments.h"
#include "core/session/fit_session.h"

#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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

// Refuses two of `files` that are one stream, which only one reader can read: "-" and
// "/dev/stdin", or one pipe, socket or device named twice. A regular file may come again.
void refuse_shared_streams(const std::vector<std::string>& files);

// The counts as the options name them: "--runs 10", "--trials 1000".
CountNames count_names(const FitOptions& options);

// Exit 3 unless the search named `search` ("search", "constrained search") completed.
void check_search(const SearchOutcome& outcome, std::string_view search,
                  const FitSession& session, const SearchRequest& request,
                  const FitOptions& options);

// Exit 3 when the searches promoted no run: the sentinels stand where the break points belong.
void check_found(const FitSession& session, const SearchRequest& request,
                 const FitOptions& options);

}  // namespace tolvenar::cli
