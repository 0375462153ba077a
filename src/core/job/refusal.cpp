// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/job/refusal.h"

#include "core/job/fit_record.h"

namespace tolvenar {

Refusal refused(const std::string& message)
{
    return Refusal(kExitRefused, message);
}

Refusal failed(const std::string& message)
{
    return Refusal(kExitSearchFailed, message);
}

}  // namespace tolvenar
