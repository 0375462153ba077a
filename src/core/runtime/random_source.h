// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <random>

namespace tolvenar {

// The seed of stream `index` of `seed` (a bootstrap replicate's own generator): SplitMix64's
// finaliser applied to the seed, xor the index, then again, so nearby seeds and indices give
// unrelated streams.
constexpr std::uint64_t stream_key(std::uint64_t seed, std::uint64_t index)
{
    const auto mix = [](std::uint64_t z) {
        z += 0x9E3779B97F4A7C15ULL;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    };
    return mix(mix(seed) ^ index);
}

// The program's one uniform random source. It starts from the same fixed seed in every process
// and is never reseeded, so the same actions after start-up draw the same candidates in the
// window and in the command line. Create one per process and pass it by reference.
class RandomSource {
public:
    RandomSource() = default;  // std::mt19937's default seed, 5489
    // Another start, for a stream of its own (a bootstrap replicate, tolvenar-fit --seed).
    explicit RandomSource(std::uint32_t seed) : m_engine(seed) {}

    // U in [0, 1): the top 24 bits of the next 32-bit output, times 2^-24. Exact in a float.
    float next()
    {
        ++m_draws;
        return static_cast<float>(m_engine() >> 8) * 0x1p-24f;
    }

    // Steps over `count` draws, as that many next() calls would, without forming them.
    void skip(std::uint64_t count)
    {
        m_draws += count;
        m_engine.discard(count);
    }

    std::uint64_t draws() const noexcept { return m_draws; }  // draws since construction

private:
    std::mt19937 m_engine;
    std::uint64_t m_draws = 0;
};

}  // namespace tolvenar
