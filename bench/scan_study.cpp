// SPDX-License-Identifier: GPL-3.0-or-later
// How well the event scan finds known transitions, against a plain moving-window detector.
//
//   scan_study calibrate [--constant C] [--series S] [--points N]
//       The share of series of noise alone (white and AR(1), even and uneven x) in which the scan
//       finds an event, with penalty C ln n (1 + phi) / (1 - phi); what sets kPenaltyPerLogPoints.
//   scan_study compare [--series S] [--points N]
//       S records per case (white or AR(1) noise, even or uneven x, with or without a slow
//       drift), each with three transitions (two below 2,000 points) of random amplitude (2 to
//       6 noise sd), duration
//       (a step to 60 gaps) and direction: events found, spurious events and the onset error of
//       the scan and of the window detector, whose threshold gives a false alarm in 5 % of
//       series of noise alone. Prints Markdown tables.
#include "core/scan/scan.h"
#include "scan_records.h"
#include "study_options.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kUsage =
    "scan_study calibrate|compare [--constant C] [--series S] [--points N]\n";

using namespace tolvenar;

struct Options {
    std::string mode = "compare";
    double constant = scan::kPenaltyPerLogPoints;
    int series = 30;
    std::size_t points = 2000;
};

struct Noise {
    const char* name;
    double tau;
};
constexpr std::array<Noise, 4> kNoises{{{"white", 0.0}, {"AR(1) tau 1", 1.0},
                                        {"AR(1) tau 3", 3.0}, {"AR(1) tau 8", 8.0}}};

// Runs job(i) for i < count on both cores.
template <typename Job>
void parallel(int count, Job job)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&, t] {
            for (int i = t; i < count; i += 2)
                job(i);
        });
    for (auto& thread : threads)
        thread.join();
}

std::vector<scan::Event> scan_events(const bench::Record& r, double constant)
{
    scan::ScanSettings settings;
    const scan::NoiseEstimate noise = scan::estimate_noise(r.x, r.y);
    settings.penalty = constant / scan::kPenaltyPerLogPoints *
                       scan::default_penalty(r.x.size(), noise.phi);
    return scan::scan_series(r.x, r.y, settings).events;
}

// The moving-window detector: at each point the difference of the means of the `w` points after
// and before it, over its standard error under the AR(1) noise the scan estimates (the
// long-run variance of a mean of w points). Detections: the largest |T| above `threshold`, then
// the next largest at least w points away, and so on; each at the x where the windows meet.
constexpr std::size_t kWindow = 30;

struct WindowDetection {
    double x = 0.0, statistic = 0.0;
};

std::vector<double> window_statistic(const bench::Record& r)
{
    const std::size_t n = r.x.size(), w = kWindow;
    const scan::NoiseEstimate noise = scan::estimate_noise(r.x, r.y);
    const double long_run = noise.variance * (1.0 + noise.phi) / (1.0 - noise.phi);
    const double se = std::sqrt(2.0 * long_run / static_cast<double>(w));
    std::vector<double> prefix(n + 1, 0.0), t(n, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        prefix[i + 1] = prefix[i] + r.y[i];
    for (std::size_t i = w; i + w <= n; ++i)
        t[i] = ((prefix[i + w] - prefix[i]) - (prefix[i] - prefix[i - w])) /
               static_cast<double>(w) / se;
    return t;
}

std::vector<WindowDetection> window_detections(const bench::Record& r, double threshold)
{
    const std::vector<double> t = window_statistic(r);
    std::vector<std::size_t> order(t.size());
    for (std::size_t i = 0; i < t.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return std::abs(t[a]) > std::abs(t[b]); });
    std::vector<std::size_t> taken;
    std::vector<WindowDetection> found;
    for (std::size_t i : order) {
        if (std::abs(t[i]) < threshold)
            break;
        bool near = false;
        for (std::size_t j : taken)
            near = near || (i > j ? i - j : j - i) < kWindow;
        if (near)
            continue;
        taken.push_back(i);
        found.push_back({r.x[i], t[i]});
    }
    return found;
}

double max_window_statistic(const bench::Record& r)
{
    double most = 0.0;
    for (double v : window_statistic(r))
        most = std::max(most, std::abs(v));
    return most;
}

// `count` transitions at random places at least 360 gaps apart, 200 from the start and 260 from
// the end.
std::vector<bench::Transition> random_transitions(double span, std::size_t count,
                                                  std::mt19937_64& random)
{
    constexpr std::array<double, 4> amplitudes{2.0, 3.0, 4.0, 6.0};
    constexpr std::array<double, 4> durations{0.0, 5.0, 20.0, 60.0};
    std::uniform_int_distribution<int> pick(0, 3), sign(0, 1);
    std::uniform_real_distribution<double> place(200.0, span - 260.0);
    std::vector<bench::Transition> t;
    while (t.size() < count) {
        const double onset = place(random);
        bool clear = true;
        for (const auto& other : t)
            clear = clear && std::abs(other.onset - onset) > 360.0;
        if (!clear)
            continue;
        const double amplitude = amplitudes[pick(random)] * (sign(random) ? 1.0 : -1.0);
        t.push_back({onset, onset + durations[pick(random)], amplitude});
    }
    std::sort(t.begin(), t.end(), [](auto& a, auto& b) { return a.onset < b.onset; });
    return t;
}

// A found transition matches a true one of the same direction when it comes within 10 gaps of
// the true [onset, end]; each found one matches at most one true one.
constexpr double kTolerance = 10.0;

struct Tally {
    int events = 0, found = 0, spurious = 0;
    std::vector<double> onset_error;
    void add(const Tally& o)
    {
        events += o.events, found += o.found, spurious += o.spurious;
        onset_error.insert(onset_error.end(), o.onset_error.begin(), o.onset_error.end());
    }
};

// Found transitions as [from, to] with a direction and an onset estimate.
struct Found {
    double from, to, amplitude, onset;
};

Tally match(const std::vector<bench::Transition>& truth, const std::vector<Found>& found)
{
    Tally tally;
    std::vector<bool> used(found.size(), false);
    for (const auto& t : truth) {
        ++tally.events;
        int best = -1;
        for (std::size_t k = 0; k < found.size(); ++k) {
            const Found& f = found[k];
            if (used[k] || std::signbit(f.amplitude) != std::signbit(t.amplitude) ||
                f.to < t.onset - kTolerance || f.from > t.end + kTolerance)
                continue;
            if (best < 0 || std::abs(f.onset - t.onset) < std::abs(found[best].onset - t.onset))
                best = static_cast<int>(k);
        }
        if (best >= 0) {
            used[best] = true;
            ++tally.found;
            tally.onset_error.push_back(std::abs(found[best].onset - t.onset));
        }
    }
    for (bool u : used)
        tally.spurious += !u;
    return tally;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double quantile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())))];
}

void calibrate(const Options& o)
{
    std::printf("| noise | x | series | with an event | breaks per series |\n|---|---|---|---|---|\n");
    int all = 0, all_events = 0;
    for (const Noise& noise : kNoises)
        for (bool even : {true, false}) {
            std::vector<int> events(o.series), breaks(o.series);
            parallel(o.series, [&](int s) {
                std::mt19937_64 random(1000003ull * s + static_cast<std::uint64_t>(noise.tau * 7) + even);
                const auto r = bench::make_record({o.points, even, noise.tau, 0.0, {}}, random);
                scan::ScanSettings settings;
                // The default itself when asked for (on block means it is the means' own).
                if (o.constant != scan::kPenaltyPerLogPoints) {
                    const auto est = scan::estimate_noise(r.x, r.y);
                    settings.penalty = o.constant / scan::kPenaltyPerLogPoints *
                                       scan::default_penalty(r.x.size(), est.phi);
                }
                const auto result = scan::scan_series(r.x, r.y, settings);
                events[s] = !result.events.empty();
                breaks[s] = static_cast<int>(result.segmentation.knots.size()) - 2;
            });
            int with = 0, b = 0;
            for (int s = 0; s < o.series; ++s)
                with += events[s], b += breaks[s];
            all += o.series, all_events += with;
            std::printf("| %s | %s | %d | %.1f %% | %.2f |\n", noise.name, even ? "even" : "uneven",
                        o.series, 100.0 * with / o.series, static_cast<double>(b) / o.series);
        }
    std::printf("\nConstant %.2f, %zu points: an event in %.1f %% of all %d series.\n", o.constant,
                o.points, 100.0 * all_events / all, all);
}

void compare(const Options& o)
{
    // The window detector's threshold: the 95 % point of its largest |T| over noise alone (the
    // scan's own rate there is calibrate's table).
    const int null_series = 250;
    std::vector<double> maxima;
    for (const Noise& noise : {kNoises[0], kNoises[2]})
        for (bool even : {true, false})
            for (int s = 0; s < null_series; ++s) {
                std::mt19937_64 random(7000003ull * s + static_cast<std::uint64_t>(noise.tau) + even);
                maxima.push_back(
                    max_window_statistic(bench::make_record({o.points, even, noise.tau, 0.0, {}}, random)));
            }
    const double threshold = quantile(maxima, 0.95);
    std::printf("The window detector (w = %zu) is set to a false alarm in 5 %% of %zu series of "
                "noise alone (white and AR(1) tau 3, even and uneven x) by its threshold "
                "|T| >= %.2f.\n\n",
                kWindow, maxima.size(), threshold);

    std::printf("| noise | x | drift | records | events | scan: found | spurious | median onset "
                "error | window: found | spurious | median onset error |\n"
                "|---|---|---|---|---|---|---|---|---|---|---|\n");
    Tally scan_all, window_all;
    std::array<std::array<Tally, 4>, 2> by_amplitude;  // [scan/window][amplitude class]
    std::array<std::array<Tally, 4>, 2> by_duration;
    for (const Noise& noise : {kNoises[0], kNoises[2]})
        for (bool even : {true, false})
            for (double drift : {0.0, 3.0}) {
                std::vector<Tally> scans(o.series), windows(o.series);
                std::vector<std::array<std::array<Tally, 4>, 2>> amp(o.series), dur(o.series);
                parallel(o.series, [&](int s) {
                    std::mt19937_64 random(9000011ull * s + static_cast<std::uint64_t>(noise.tau) * 3 +
                                           even * 2 + (drift > 0));
                    bench::RecordPlan plan{o.points, even, noise.tau, drift, {}};
                    plan.transitions = random_transitions(static_cast<double>(o.points - 1),
                                                          o.points >= 2000 ? 3 : 2, random);
                    const auto r = bench::make_record(plan, random);
                    std::vector<Found> ours, theirs;
                    for (const auto& e : scan_events(r, o.constant))
                        ours.push_back({e.onset, e.end, e.amplitude, e.onset});
                    for (const auto& d : window_detections(r, threshold))
                        theirs.push_back({d.x, d.x, d.statistic, d.x});
                    scans[s] = match(r.transitions, ours);
                    windows[s] = match(r.transitions, theirs);
                    // Each transition alone, by its amplitude and duration class.
                    for (const auto& t : r.transitions) {
                        const int a = std::abs(t.amplitude) < 2.5 ? 0 : std::abs(t.amplitude) < 3.5 ? 1
                                      : std::abs(t.amplitude) < 5 ? 2 : 3;
                        const double d = t.end - t.onset;
                        const int k = d == 0 ? 0 : d < 10 ? 1 : d < 40 ? 2 : 3;
                        const Tally so = match({t}, ours), wo = match({t}, theirs);
                        amp[s][0][a].add({so.events, so.found, 0, so.onset_error});
                        amp[s][1][a].add({wo.events, wo.found, 0, wo.onset_error});
                        dur[s][0][k].add({so.events, so.found, 0, so.onset_error});
                        dur[s][1][k].add({wo.events, wo.found, 0, wo.onset_error});
                    }
                });
                Tally sc, wi;
                for (int s = 0; s < o.series; ++s) {
                    sc.add(scans[s]);
                    wi.add(windows[s]);
                    for (int m = 0; m < 2; ++m)
                        for (int c = 0; c < 4; ++c) {
                            by_amplitude[m][c].add(amp[s][m][c]);
                            by_duration[m][c].add(dur[s][m][c]);
                        }
                }
                scan_all.add(sc);
                window_all.add(wi);
                std::printf("| %s | %s | %s | %d | %d | %d | %d | %.1f | %d | %d | %.1f |\n",
                            noise.name, even ? "even" : "uneven", drift > 0 ? "3 sd" : "none",
                            o.series, sc.events, sc.found, sc.spurious, median(sc.onset_error),
                            wi.found, wi.spurious, median(wi.onset_error));
            }
    std::printf("| **all** | | | %d | %d | %d | %d | %.1f | %d | %d | %.1f |\n\n",
                o.series * 8, scan_all.events, scan_all.found, scan_all.spurious,
                median(scan_all.onset_error), window_all.found, window_all.spurious,
                median(window_all.onset_error));
    const char* amplitude_names[] = {"2 sd", "3 sd", "4 sd", "6 sd"};
    const char* duration_names[] = {"step", "5 gaps", "20 gaps", "60 gaps"};
    std::printf("| class | events | scan found | median onset error | window found | median "
                "onset error |\n|---|---|---|---|---|---|\n");
    for (int c = 0; c < 4; ++c)
        std::printf("| amplitude %s | %d | %d | %.1f | %d | %.1f |\n", amplitude_names[c],
                    by_amplitude[0][c].events, by_amplitude[0][c].found,
                    median(by_amplitude[0][c].onset_error), by_amplitude[1][c].found,
                    median(by_amplitude[1][c].onset_error));
    for (int c = 0; c < 4; ++c)
        std::printf("| duration %s | %d | %d | %.1f | %d | %.1f |\n", duration_names[c],
                    by_duration[0][c].events, by_duration[0][c].found,
                    median(by_duration[0][c].onset_error), by_duration[1][c].found,
                    median(by_duration[1][c].onset_error));
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    if (argc > 1)
        o.mode = argv[1];
    if (o.mode != "calibrate" && o.mode != "compare") {
        std::fputs(kUsage, o.mode == "--help" ? stdout : stderr);
        return o.mode == "--help" ? 0 : 2;
    }
    if (const auto stop = study::read_options(
            argc, argv, std::min(argc, 2), kUsage,
            {{"--constant", o.constant}, {"--series", o.series}, {"--points", o.points}}))
        return *stop;
    if (o.mode == "calibrate")
        calibrate(o);
    else
        compare(o);
    return 0;
}
