// SPDX-License-Identifier: GPL-3.0-or-later
// Replays the fuzzer's kept inputs through the fuzz target's own body.
#include "data_reader_entry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tolvenar {
namespace {

TEST(DataFuzzCorpus, EveryKeptInputPassesTheFuzzBody)
{
    const std::filesystem::path corpus =
        std::filesystem::path(TOLVENAR_SOURCE_DIR) / "tests" / "fuzz" / "corpus";
    ASSERT_TRUE(std::filesystem::is_directory(corpus)) << corpus;
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        SCOPED_TRACE(entry.path().filename().string());
        fuzz::exercise_data_reader(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size());
        ++replayed;
    }
    EXPECT_GT(replayed, 10);
}

}  // namespace
}  // namespace tolvenar
