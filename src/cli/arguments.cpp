// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/arguments.h"

#include "cli/fit_command.h"
#include "cli/refusals.h"
#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"

#include <algorithm>
#include <vector>

namespace tolvenar {

namespace cli {

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

Edge typed_edge(const std::string& option, const std::string& text)
{
    if (!is_whole_number(text))
        throw usage_error(option + " needs a number, not \"" + text + "\"");
    try {
        return {parse_leading_number(text), option + " " + text};
    } catch (const Fault&) {
        throw refused(option + " " + text + " lies beyond the double-precision range");
    }
}

std::string count_text(const std::string& option, const std::string& text)
{
    if (!is_whole_count(text))
        throw usage_error(option + " needs a whole number, not \"" + text + "\"");
    return text;
}

constexpr int kMostThreads = 1024;

int thread_count(const std::string& text)
{
    const bool digits = !text.empty() && std::all_of(text.begin(), text.end(), is_digit);
    const int count = digits && text.size() <= 4 ? std::stoi(text) : 0;
    if (count < 1 || count > kMostThreads)
        throw usage_error("--threads needs a whole number from 1 to " +
                          std::to_string(kMostThreads) + ", not \"" + text + "\"");
    return count;
}

ModelFamily model_named(const std::string& name)
{
    const std::optional<ModelFamily> family = family_from_name(name);
    if (!family)
        throw usage_error("unknown model \"" + name + "\"");
    if (*family == ModelFamily::ManualConstraint)
        throw refused("\"Manual constraint\" needs its boxes drawn with the mouse: use the window");
    return *family;
}

}  // namespace

bool is_whole_count(std::string_view text)
{
    if (!text.empty() && (text.front() == '+' || text.front() == '-'))
        text.remove_prefix(1);
    return !text.empty() && std::all_of(text.begin(), text.end(), is_digit);
}

bool is_whole_number(std::string_view text)
{
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && is_digit(text[i]))
            ++i;
        return i - start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == text.size();
}

FitOptions parse_arguments(std::span<const std::string> args)
{
    FitOptions options;
    std::vector<std::string> files;
    bool options_ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_ended || arg.size() < 2 || arg.front() != '-') {
            files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        if (arg == "-h") {
            options.help = true;
            continue;
        }
        if (!arg.starts_with("--"))
            throw usage_error("unknown option " + arg);

        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const std::optional<std::string> attached =
            equals == std::string::npos ? std::nullopt
                                        : std::optional<std::string>(arg.substr(equals + 1));
        // An option's value is attached (--runs=5) or the next argument, whatever it looks like.
        const auto value = [&]() -> std::string {
            if (attached)
                return *attached;
            if (i + 1 >= args.size())
                throw usage_error("option " + name + " needs a value");
            return args[++i];
        };
        const auto flag = [&](bool& target) {
            if (attached)
                throw usage_error("option " + name + " takes no value");
            target = true;
        };

        if (name == "--help")
            flag(options.help);
        else if (name == "--version")
            flag(options.version);
        else if (name == "--constrain")
            flag(options.constrain);
        else if (name == "--json")
            flag(options.json);
        else if (name == "--model")
            options.family = model_named(value());
        else if (name == "--runs")
            options.runs_text = count_text("--runs", value());
        else if (name == "--trials")
            options.trials_text = count_text("--trials", value());
        else if (name == "--threads")
            options.threads = thread_count(value());
        else if (name == "--from")
            options.from = typed_edge("--from", value());
        else if (name == "--to")
            options.to = typed_edge("--to", value());
        else
            throw usage_error("unknown option " + name);
    }
    if (options.help || options.version)
        return options;
    if (files.empty())
        throw usage_error("no data file given");
    if (files.size() > 1)
        throw usage_error("more than one data file given (" + files[0] + ", " + files[1] + ")");
    options.file = files.front();
    return options;
}

}  // namespace cli

std::string fit_usage()
{
    return R"(Usage: tolvenar-fit [OPTION]... FILE.csv
Fit a piecewise-linear model to a cropped window of a data series by Monte Carlo search and
print the best model's break points, its correlation R and, for two families, the symmetry
index or the duration of change, as the window reports them.

  --model NAME   model family (default "Simple ramp"):
                   "Simple ramp" or ramp          "Free 4 segments" or free4
                   "Symmetric event" or symmetric "Free 3 segments" or free3
                   "Asymmetric event" or asymmetric
                   "Event with duration" or duration
  --runs R       runs per search, a whole number (default 10)
  --trials N     random candidates per run, a whole number (default 1000)
  --from X       left edge of the crop window in data x (default: the first data x)
  --to X         right edge of the crop window (default: the last data x)
  --constrain    search a second time, inside the boxes around the break points found
  --threads N    threads that score candidates (default: one per core); the results are the
                 same for every number
  --json         print one JSON object instead of the report lines
  -h, --help     print this help and exit
  --version      print the version and exit

Options take their value as "--runs 5" or "--runs=5". FILE "-" reads the data from standard
input. "Manual constraint" needs boxes drawn with the mouse and is the window's alone.

Exit status: 0 done; 1 the output could not be written; 2 bad usage, or a data file that
cannot be read, imported or cropped (a crop window without a data point included); 3 the
search stopped on a fault or found no model.
)";
}

}  // namespace tolvenar
