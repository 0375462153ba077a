// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/runtime/clock.h"

#include <chrono>
#include <ctime>

namespace tolvenar {

double time_of_day()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const int seconds = (local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec;
    return seconds / 86400.0;
}

double monotonic_seconds()
{
    const auto since_epoch = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(since_epoch).count();
}

}  // namespace tolvenar
