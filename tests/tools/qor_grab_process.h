// Running the built qor-grab on the simulator, for the end-to-end suites:
// a folder of the case's own, a board population of its own, and the
// program's exit status and output.
#ifndef QOR_TESTS_QOR_GRAB_PROCESS_H
#define QOR_TESTS_QOR_GRAB_PROCESS_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace qortest {

namespace fs = std::filesystem;

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::string camera(uint32_t width, uint32_t lines, uint32_t depth, uint32_t bytesPerPixel,
                   const std::string &extra = "")
{
    return "{\"width\":" + std::to_string(width) + ",\"lines\":" + std::to_string(lines) +
           ",\"bitDepth\":" + std::to_string(depth) +
           ",\"bytesPerPixel\":" + std::to_string(bytesPerPixel) + extra + "}";
}

inline std::string population(const std::string &cameras, const std::string &boardExtra = "")
{
    return "{\"boards\":[{\"type\":16" + boardExtra + ",\"cameras\":[" + cameras + "]}]}";
}

class QorGrabProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("qor_grab_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        if (!dir_.empty() && !HasFailure()) fs::remove_all(dir_);
    }

    // Runs qor-grab with `args` on the population `config` (empty: the
    // simulator's built-in one).
    Result run(const std::string &args, const std::string &config = "")
    {
        std::string environment = "env -u QOR_SIM_CONFIG";
        if (!config.empty()) {
            std::ofstream(dir_ / "boards.json") << config;
            environment += " QOR_SIM_CONFIG='" + (dir_ / "boards.json").string() + "'";
        }
        const std::string command = environment + " '" QOR_GRAB_PROGRAM "' " + args + " >'" +
                                    (dir_ / "out.txt").string() + "' 2>'" +
                                    (dir_ / "err.txt").string() + "' </dev/null";
        const int status = std::system(command.c_str());
        Result result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = readFile(dir_ / "out.txt");
        result.err = readFile(dir_ / "err.txt");
        return result;
    }

    std::vector<fs::path> frames(const fs::path &where) const
    {
        std::vector<fs::path> files;
        for (const auto &entry : fs::directory_iterator(where)) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }

    fs::path dir_;
};

}  // namespace qortest

#endif
