// SPDX-License-Identifier: GPL-3.0-or-later
// Why a fit cannot go on: a status (kExitRefused for bad input, kExitSearchFailed for a search
// that stopped or found nothing) and one line that names the input or the limit behind it. The
// job puts it into the record; tolvenar-fit also ends a call with it for bad usage.
#pragma once

#include <stdexcept>
#include <string>

namespace tolvenar {

class Refusal : public std::runtime_error {
public:
    Refusal(int code, const std::string& message) : std::runtime_error(message), m_code(code) {}
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

Refusal refused(const std::string& message);  // kExitRefused
Refusal failed(const std::string& message);   // kExitSearchFailed

}  // namespace tolvenar
