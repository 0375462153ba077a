// SPDX-License-Identifier: GPL-3.0-or-later
// The "--name value" options of a study run by hand. A lone word (--help among them), a name the
// study does not know or a value that does not read whole stops it with its usage: a study of an
// hour never runs on a typo.
#pragma once

#include <charconv>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace study {

// Reads `text` whole into `to` (a number of its type, or the text); false when it does not.
template <class T>
bool read_value(std::string_view text, T& to)
{
    if constexpr (std::is_same_v<T, std::string>) {
        to = std::string(text);
        return true;
    } else {
        T value{};
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size())
            return false;
        to = value;
        return true;
    }
}

// One option: its name and what takes its value (false: the value is refused).
struct Option {
    template <class T>
        requires std::is_arithmetic_v<T> || std::is_same_v<T, std::string>
    Option(std::string_view name, T& field)
        : name(name), take([&field](std::string_view text) { return read_value(text, field); })
    {
    }
    Option(std::string_view name, std::function<bool(std::string_view)> take)
        : name(name), take(std::move(take))
    {
    }
    std::string_view name;
    std::function<bool(std::string_view)> take;
};

// The options from argv[first] on; nullopt to run the study, else its exit code.
inline std::optional<int> read_options(int argc, char** argv, int first, const char* usage,
                                       std::initializer_list<Option> options)
{
    if ((argc - first) % 2 != 0) {
        const bool help = std::string_view(argv[argc - 1]) == "--help";
        std::fputs(usage, help ? stdout : stderr);
        return help ? 0 : 2;
    }
    for (int i = first; i + 1 < argc; i += 2) {
        const std::string_view name = argv[i], value = argv[i + 1];
        bool taken = false;
        for (const Option& option : options)
            if (option.name == name)
                taken = option.take(value);
        if (!taken) {
            std::fprintf(stderr, "%s %s: no such option or value\n%s", argv[i], argv[i + 1], usage);
            return 2;
        }
    }
    return std::nullopt;
}

}  // namespace study
