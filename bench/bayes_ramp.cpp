// SPDX-License-Identifier: GPL-3.0-or-later
// The onset's interval of a ramp beside the field's Bayesian ramp on the same series: how often
// each holds the true onset, how wide each is, and how long each takes.
//
// Each series: N points on uneven x (gaps of 0.5-1.5, mean spacing 1), a ramp from level 0 up
// to the onset at a third of the span to level A at the onset plus D; noise a continuous-time
// AR(1) of sd S and persistence TAU in x units, as ice-core proxies around a warming onset carry
// it. Ours: tolvenar-fit --model ramp --refine --bootstrap B on the series, the onset X2's
// interval at 90 %. The Bayesian ramp: the same ramp with a start level, a height, an onset and
// a duration, AR(1) noise with its sd and persistence on uneven x, flat priors on the onset and
// duration within the span and on the levels, log-flat on the sd and persistence; sampled by a
// random-walk Metropolis chain adapted through its burn-in, from the least-squares ramp; the
// onset's 5-95 % credible interval.
//
//   bayes_ramp [options]  (kUsage below)
//
// Prints for each method: coverage of the true onset at 90 % (and its standard error), the
// median and mean width, and the seconds per series.
#include "core/data/data_reader.h"
#include "core/job/fit_job.h"
#include "study_options.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "bayes_ramp [--series S] [--points N] [--sd S] [--tau T] [--amplitude A] [--duration D]\n"
    "           [--replicates B] [--steps K] [--seed K]\n";

using namespace tolvenar;

struct Options {
    int series = 200, points = 200, replicates = 200, steps = 40000;
    double sd = 0.3, tau = 3.0, amplitude = 1.0, duration = 20.0;
    std::uint64_t seed = 1;
};

struct Series {
    std::vector<double> x, y;
    double onset = 0.0;
};

double ramp_at(double x, double onset, double duration, double low, double high)
{
    if (x <= onset)
        return low;
    if (x >= onset + duration)
        return high;
    return low + (high - low) * (x - onset) / duration;
}

Series make_series(const Options& o, std::mt19937_64& random)
{
    std::uniform_real_distribution<double> gap(0.5, 1.5);
    std::normal_distribution<double> normal;
    Series s;
    double x = 0.0;
    for (int i = 0; i < o.points; ++i, x += gap(random))
        s.x.push_back(x);
    s.onset = s.x.back() / 3.0 + std::uniform_real_distribution<double>(-5.0, 5.0)(random);
    double e = normal(random);
    for (std::size_t i = 0; i < s.x.size(); ++i) {
        if (i > 0) {
            const double phi = std::exp(-(s.x[i] - s.x[i - 1]) / o.tau);
            e = phi * e + std::sqrt(1.0 - phi * phi) * normal(random);
        }
        s.y.push_back(ramp_at(s.x[i], s.onset, o.duration, 0.0, o.amplitude) + o.sd * e);
    }
    return s;
}

// The Bayesian ramp's parameters: onset, duration, start level, end level, log sd, log tau.
using Theta = std::array<double, 6>;

// The log posterior of theta on the series (flat priors; -inf outside their support).
double log_posterior(const Theta& t, const Series& s)
{
    const double span = s.x.back() - s.x.front();
    const double duration = t[1], sd = std::exp(t[4]), tau = std::exp(t[5]);
    if (t[0] < s.x.front() || t[0] + duration > s.x.back() || duration <= 0.0 ||
        tau < 0.01 || tau > span)
        return -INFINITY;
    double sum = 0.0, previous = 0.0;
    for (std::size_t i = 0; i < s.x.size(); ++i) {
        const double r = s.y[i] - ramp_at(s.x[i], t[0], duration, t[2], t[3]);
        double variance = sd * sd, e = r;
        if (i > 0) {
            const double phi = std::exp(-(s.x[i] - s.x[i - 1]) / tau);
            variance *= 1.0 - phi * phi;
            e = r - phi * previous;
        }
        sum -= 0.5 * (std::log(variance) + e * e / variance);
        previous = r;
    }
    return sum;
}

double quantile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const double at = p * static_cast<double>(v.size() - 1);
    const auto i = static_cast<std::size_t>(at);
    return i + 1 < v.size() ? v[i] + (at - static_cast<double>(i)) * (v[i + 1] - v[i]) : v[i];
}

// The onset's 5-95 % credible interval, the chain started at `start`.
std::pair<double, double> credible_onset(const Series& s, Theta start, const Options& o,
                                         std::mt19937_64& random)
{
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> uniform;
    Theta scale{2.0, 2.0, 0.05, 0.05, 0.05, 0.1};
    std::array<int, 6> accepted{};
    double current = log_posterior(start, s);
    const int burn = o.steps / 2;
    std::vector<double> onsets;
    for (int step = 0; step < o.steps; ++step) {
        for (std::size_t k = 0; k < 6; ++k) {  // one parameter at a time
            Theta next = start;
            next[k] += scale[k] * normal(random);
            const double proposed = log_posterior(next, s);
            if (std::log(uniform(random)) < proposed - current) {
                start = next;
                current = proposed;
                ++accepted[k];
            }
        }
        if (step < burn && (step + 1) % 200 == 0)  // towards about 40 % accepted
            for (std::size_t k = 0; k < 6; ++k) {
                scale[k] *= std::exp(static_cast<double>(accepted[k]) / 200.0 - 0.4);
                accepted[k] = 0;
            }
        if (step >= burn)
            onsets.push_back(start[0]);
    }
    return {quantile(onsets, 0.05), quantile(onsets, 0.95)};
}

struct Tally {
    int covered = 0, counted = 0;
    std::vector<double> widths;
    double seconds = 0.0;

    void add(double lo, double hi, double truth)
    {
        ++counted;
        covered += lo <= truth && truth <= hi;
        widths.push_back(hi - lo);
    }
    void print(const char* name) const
    {
        const double p = counted ? static_cast<double>(covered) / counted : 0.0;
        double mean = 0.0;
        for (double w : widths)
            mean += w / static_cast<double>(widths.size());
        std::printf("%-16s %6.1f%% (se %.1f) %9.2f %9.2f %9.3f\n", name, 100.0 * p,
                    100.0 * std::sqrt(p * (1.0 - p) / std::max(counted, 1)),
                    widths.empty() ? 0.0 : quantile(widths, 0.5), mean,
                    seconds / std::max(counted, 1));
    }
};

double since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    if (const auto stop = study::read_options(
            argc, argv, 1, kUsage,
            {{"--series", o.series}, {"--points", o.points}, {"--sd", o.sd}, {"--tau", o.tau},
             {"--amplitude", o.amplitude}, {"--duration", o.duration},
             {"--replicates", o.replicates}, {"--steps", o.steps}, {"--seed", o.seed}}))
        return *stop;
    std::printf("%d series, %d points, sd %.3g, tau %.3g, amplitude %.3g, duration %.3g, "
                "%d replicates, %d steps\n",
                o.series, o.points, o.sd, o.tau, o.amplitude, o.duration, o.replicates, o.steps);
    std::mt19937_64 random(o.seed);
    Tally ours, bayes;
    for (int k = 0; k < o.series; ++k) {
        const Series s = make_series(o, random);
        auto start = std::chrono::steady_clock::now();
        FitRequest request;
        request.refine = true;
        request.bootstrap = o.replicates;
        request.seed = static_cast<std::uint32_t>(k + 1);
        const FitRecord record =
            fit_series(import_data_arrays(s.x, s.y), request, "", JobControl{});
        ours.seconds += since(start);
        if (!record.found || !record.found->refined || !record.found->refined->intervals)
            continue;
        const FoundModel& found = *record.found;
        const RefinedModel& fit = *found.refined;
        const Range& onset = fit.intervals->x[2];
        ours.add(found.origin + onset.lo, found.origin + onset.hi, s.onset);

        start = std::chrono::steady_clock::now();
        double differences = 0.0;  // the noise's sd as successive differences show it
        for (std::size_t i = 1; i < s.y.size(); ++i)
            differences += (s.y[i] - s.y[i - 1]) * (s.y[i] - s.y[i - 1]);
        const double sd = std::sqrt(differences / (2.0 * static_cast<double>(s.y.size() - 1)));
        const Theta from{found.origin + fit.x[2], std::max(fit.x[3] - fit.x[2], 1.0f),
                         fit.data_y(1), fit.data_y(4), std::log(sd), 0.0};
        const auto [lo, hi] = credible_onset(s, from, o, random);
        bayes.seconds += since(start);
        bayes.add(lo, hi, s.onset);
    }
    std::printf("%-16s %17s %9s %9s %9s\n", "method", "coverage at 90%", "median w", "mean w",
                "s/series");
    ours.print("bootstrap");
    bayes.print("Bayesian ramp");
    return 0;
}
