// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit as a process: the exit codes and streams a shell script sees.
#include "cli/fit_command.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace tolvenar {
namespace {

struct Process {
    int status = -1;  // exit status, -1 when it did not exit normally
    std::string out;
    std::string err;
};

std::string contents(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the executable with stdout and stderr sent to files of the test's temporary directory.
Process run_executable(const std::vector<std::string>& args, const std::string& stdout_path = "")
{
    // CTest runs the tests side by side: each process writes files of its own.
    const std::filesystem::path dir = ::testing::TempDir();
    const std::string stem = "tolvenar_fit_" + std::to_string(getpid());
    const std::string out_path =
        stdout_path.empty() ? (dir / (stem + "_stdout.txt")).string() : stdout_path;
    const std::string err_path = (dir / (stem + "_stderr.txt")).string();

    std::vector<std::string> words{TOLVENAR_FIT_EXECUTABLE};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    Process process;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << argv[0];
        return process;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    process.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (stdout_path.empty()) {
        process.out = contents(out_path);
        std::filesystem::remove(out_path);
    }
    process.err = contents(err_path);
    std::filesystem::remove(err_path);
    return process;
}

const std::string kStep = std::string(TOLVENAR_SOURCE_DIR) + "/examples/step_ramp.csv";

TEST(FitExecutable, PrintsTheReportOfTheInProcessCommand)
{
    const std::vector<std::string> args{"--model", "free3", "--runs", "2", "--trials", "100",
                                        kStep};
    const Process process = run_executable(args);
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(run_fit_command(args, out, err), kExitSuccess);
    EXPECT_EQ(process.status, kExitSuccess);
    EXPECT_EQ(process.out, out.str());
    EXPECT_EQ(process.err, "");
}

TEST(FitExecutable, ExitCodesTellRefusalsFromSearchFaults)
{
    const Process missing = run_executable({"no_such_file.csv"});
    EXPECT_EQ(missing.status, kExitRefused);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err,
              "tolvenar-fit: cannot open no_such_file.csv: No such file or directory\n");

    const Process fault = run_executable({"--runs", "1", "--trials", "0", kStep});
    EXPECT_EQ(fault.status, kExitSearchFailed);
    EXPECT_EQ(fault.out, "");
    EXPECT_TRUE(fault.err.starts_with("tolvenar-fit: search stopped: ")) << fault.err;

    const Process help = run_executable({"--help"});
    EXPECT_EQ(help.status, kExitSuccess);
    EXPECT_EQ(help.out, fit_usage());
}

TEST(FitExecutable, FullDiskIsNoSuccess)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    const Process process = run_executable({"--runs", "1", "--trials", "5", kStep}, "/dev/full");
    EXPECT_EQ(process.status, kExitOutputFailed);
    EXPECT_EQ(process.err, "tolvenar-fit: cannot write the output\n");
}

}  // namespace
}  // namespace tolvenar
