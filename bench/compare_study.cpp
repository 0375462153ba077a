// SPDX-License-Identifier: GPL-3.0-or-later
// How often the comparison names the family that made a series, and how often it calls an
// event where there is none: with AR(1) likelihoods and the event test (what --compare does),
// and with plain BIC under independent errors, on the same series. Each series: --points points
// at x = 0, 1, ..., a family's curve of height --height (in the noise's standard deviations,
// its break points shifted together by up to 3 % of the span, so that a symmetric event stays
// symmetric), or a constant or a line of slope --height over the span, plus noise of unit
// marginal sd, white or AR(1) with phi 0.6.
//
//   compare_study [options]  (kUsage below)
//
// S series per curve and noise kind. Prints the confusion tables (generating curve against the
// chosen model) as Markdown, then the CPU seconds per comparison.
#include "core/compare/noise.h"
#include "core/session/family_comparison.h"
#include "study_options.h"

#include <array>
#include <atomic>
#include <ctime>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kUsage =
    "compare_study [--series S] [--points N] [--height H] [--replicates B] [--seed K]\n";

using namespace tolvenar;

struct Options {
    int series = 10, points = 300;
    double height = 5.0;
    std::size_t replicates = 199;
    std::uint64_t seed = 1;
};

using Vertices = std::vector<std::pair<double, double>>;  // (share of the span, share of height)

// The curves, by the model that should be chosen for them.
const std::vector<std::pair<std::string, Vertices>>& curves()
{
    static const std::vector<std::pair<std::string, Vertices>> all{
        {"ramp", {{0.35, 0}, {0.55, 1}}},
        {"symmetric", {{0.3, 0}, {0.5, 1}, {0.7, 0}}},
        {"asymmetric", {{0.3, 0}, {0.4, 1}, {0.75, 0}}},
        {"duration", {{0.2, 0}, {0.3, 1}, {0.65, 0.7}, {0.75, 0}}},
        {"free3", {{0, 0}, {0.35, 1}, {0.7, 0.2}, {1, 0.8}}},
        {"free4", {{0, 0}, {0.25, 1}, {0.5, 0}, {0.75, 1}, {1, 0.3}}},
        {"constant", {{0, 0}, {1, 0}}},
        {"line", {{0, 0}, {1, 1}}},
    };
    return all;
}

// CPU time of the calling thread: the figure of a comparison on one core, whatever else runs.
double thread_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

double polyline(const Vertices& v, double s)
{
    if (s <= v.front().first)
        return v.front().second;
    for (std::size_t k = 1; k < v.size(); ++k)
        if (s <= v[k].first)
            return v[k - 1].second +
                   (s - v[k - 1].first) / (v[k].first - v[k - 1].first) *
                       (v[k].second - v[k - 1].second);
    return v.back().second;
}

struct Job {
    std::size_t curve = 0;
    bool red = false;
    std::uint64_t seed = 0;
    std::string chosen, plain;  // by the comparison with its test; by plain BIC
    double seconds = 0.0;
};

void run(Job& job, const Options& o)
{
    std::mt19937_64 random(job.seed);
    Vertices v = curves()[job.curve].second;
    const double shift = std::uniform_real_distribution<double>(-0.03, 0.03)(random);
    for (std::size_t k = 0; k < v.size(); ++k)
        if (v[k].first > 0.0 && v[k].first < 1.0)
            v[k].first += shift;
    const double phi = job.red ? 0.6 : 0.0;
    std::vector<double> x(static_cast<std::size_t>(o.points));
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<double>(i);
    compare::NoiseFit noise{0.0, 1.0 - phi * phi, phi, std::nullopt, 2};  // unit marginal sd
    std::vector<double> y = compare::simulate_noise(x, noise, {}, random);
    for (std::size_t i = 0; i < x.size(); ++i)
        y[i] += o.height * polyline(v, x[i] / x.back());

    ComparisonRequest request;
    request.right = x.back();
    request.replicates = o.replicates;
    request.seed = job.seed;
    request.threads = 1;  // the series share the cores
    const auto start = thread_seconds();
    job.chosen = compare_crop(x, y, {}, request).chosen().name;
    job.seconds = thread_seconds() - start;
    request.noise = compare::NoiseModel::Independent;
    request.replicates = 0;
    job.plain = compare_crop(x, y, {}, request).chosen().name;
}

std::string outcome(const std::string& chosen)
{
    return chosen == "constant" || chosen == "line" ? "no event" : chosen;
}

void print_tables(const std::vector<Job>& jobs, bool plain)
{
    const std::vector<std::string> columns{"ramp", "symmetric", "asymmetric", "duration",
                                           "free3", "free4", "no event"};
    std::printf("\n%s: generating curve (noise) against the chosen model\n\n| |",
                plain ? "Plain BIC, independent errors" : "AR(1) likelihoods and the event test");
    for (const std::string& c : columns)
        std::printf(" %s |", c.c_str());
    std::printf(" right |\n|---|");
    for (std::size_t i = 0; i <= columns.size(); ++i)
        std::printf("---|");
    std::printf("\n");
    for (std::size_t curve = 0; curve < curves().size(); ++curve)
        for (const bool red : {false, true}) {
            std::map<std::string, int> count;
            int total = 0;
            for (const Job& j : jobs)
                if (j.curve == curve && j.red == red) {
                    ++count[outcome(plain ? j.plain : j.chosen)];
                    ++total;
                }
            const std::string& name = curves()[curve].first;
            const std::string right = name == "constant" || name == "line" ? "no event" : name;
            std::printf("| %s (%s) |", name.c_str(), red ? "AR(1) 0.6" : "white");
            for (const std::string& c : columns)
                std::printf(" %d |", count[c]);
            std::printf(" %d of %d |\n", count[right], total);
        }
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    if (const auto stop = study::read_options(
            argc, argv, 1, kUsage,
            {{"--series", o.series}, {"--points", o.points}, {"--height", o.height},
             {"--replicates", o.replicates}, {"--seed", o.seed}}))
        return *stop;
    std::vector<Job> jobs;
    for (std::size_t curve = 0; curve < curves().size(); ++curve)
        for (const bool red : {false, true})
            for (int s = 0; s < o.series; ++s)
                jobs.push_back({curve, red, o.seed * 1000003 + jobs.size(), {}, {}, 0.0});
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t j; (j = next.fetch_add(1)) < jobs.size();)
            run(jobs[j], o);
    };
    {
        std::vector<std::jthread> pool;
        for (unsigned t = 1; t < std::max(1u, std::thread::hardware_concurrency()); ++t)
            pool.emplace_back(work);
        work();
    }
    std::printf("%d series per curve and noise, %d points, height %g sd, %zu test replicates\n",
                o.series, o.points, o.height, o.replicates);
    print_tables(jobs, false);
    print_tables(jobs, true);
    double seconds = 0.0;
    for (const Job& j : jobs)
        seconds += j.seconds;
    std::printf("\n%.2f s of CPU per comparison with its test, on one thread\n",
                seconds / static_cast<double>(jobs.size()));
    return 0;
}
