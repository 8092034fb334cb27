// A test fixture that runs the built korve in a fresh temporary folder.
//
// KORVE_TEST_BINARY names another build to test (a Windows korve.exe, say),
// KORVE_TEST_LAUNCHER a command to start it with ("wine"), and
// KORVE_TEST_NEWLINE=crlf says that build writes text with CR LF line ends.
//
// Starts the program with POSIX calls (fork, exec, wait4 for its peak
// memory): these tests run on a POSIX host, whatever build they test.
#pragma once

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace korve::testing {

class ProgramRun : public ::testing::Test {
protected:
    struct Result {
        std::string console;
        int status = -1;
        long peak_memory_kib = 0;
    };

    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "korve-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }

    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    const std::filesystem::path& dir() const { return dir_; }

    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }

    std::string read(const std::string& name) const {
        std::ifstream file(dir_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    bool exists(const std::string& name) const { return std::filesystem::exists(dir_ / name); }

    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Runs korve with `args` from the temporary folder; the console text is
    // what it printed on both standard output and standard error.
    Result korve(const std::vector<std::string>& args) const {
        std::vector<std::string> words = launcher();
        words.push_back(std::filesystem::absolute(binary()).string());
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);

        Result result;
        std::array<int, 2> pipe_ends{};
        if (pipe(pipe_ends.data()) != 0) {
            ADD_FAILURE() << "cannot make a pipe";
            return result;
        }
        const pid_t child = fork();
        if (child == 0) {
            dup2(pipe_ends[1], STDOUT_FILENO);
            dup2(pipe_ends[1], STDERR_FILENO);
            close(pipe_ends[0]);
            close(pipe_ends[1]);
            if (chdir(dir_.c_str()) == 0) {
                execvp(argv[0], argv.data());
            }
            _exit(127);
        }
        close(pipe_ends[1]);
        std::array<char, 4096> chunk{};
        for (ssize_t got; (got = ::read(pipe_ends[0], chunk.data(), chunk.size())) > 0;) {
            result.console.append(chunk.data(), static_cast<std::size_t>(got));
        }
        close(pipe_ends[0]);
        int status = 0;
        rusage usage{};
        if (child < 0 || wait4(child, &status, 0, &usage) != child) {
            ADD_FAILURE() << "cannot run " << words.front();
            return result;
        }
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.peak_memory_kib = usage.ru_maxrss;
        return result;
    }

    static bool running_as_root() { return geteuid() == 0; }

    // Whether the tested build is a Windows one.
    static bool windows_build() { return binary().ends_with(".exe"); }

    // Text as the tested build writes it: with CR LF line ends on Windows.
    static std::string native(const std::string& text) {
        if (!crlf()) {
            return text;
        }
        std::string converted;
        for (const char c : text) {
            if (c == '\n') {
                converted += '\r';
            }
            converted += c;
        }
        return converted;
    }

private:
    static std::string environment(const char* name, const std::string& fallback) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0' ? value : fallback;
    }
    static std::string binary() { return environment("KORVE_TEST_BINARY", KORVE_BINARY); }
    static std::vector<std::string> launcher() {
        std::istringstream words(environment("KORVE_TEST_LAUNCHER", ""));
        return {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
    }
    static bool crlf() { return environment("KORVE_TEST_NEWLINE", "lf") == "crlf"; }

    std::filesystem::path dir_;
};

}  // namespace korve::testing
