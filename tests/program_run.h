// A test fixture that runs the built korve in a fresh temporary folder.
//
// KORVE_TEST_BINARY names another build to test (a Windows korve.exe, say),
// KORVE_TEST_LAUNCHER a command to start it with ("wine"), and
// KORVE_TEST_NEWLINE=crlf says that build writes text with CR LF line ends.
//
// Starts the program with POSIX calls (fork, exec, wait4 for its peak
// memory, pipes and FIFOs for its input): these tests run on a POSIX host,
// whatever build they test.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
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

    // Bytes for korve to read through a pipe: its standard input, or a named
    // pipe (FIFO) made in the temporary folder, which korve must open.
    struct Piped {
        std::string bytes;
        std::string fifo;  // empty: standard input
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

    // Runs korve with `args` from the temporary folder, feeding it `piped`
    // when given; the console text is what it printed on both standard
    // output and standard error.
    Result korve(const std::vector<std::string>& args, const Piped* piped = nullptr) const {
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
        std::array<int, 2> input_ends{-1, -1};
        const bool made_pipes =
            pipe(pipe_ends.data()) == 0 &&
            (piped == nullptr ||
             (piped->fifo.empty() ? pipe(input_ends.data()) == 0
                                  : mkfifo((dir_ / piped->fifo).c_str(), S_IRUSR | S_IWUSR) == 0));
        if (!made_pipes) {
            ADD_FAILURE() << "cannot make the pipes";
            return result;
        }
        const pid_t child = fork();
        if (child == 0) {
            if (input_ends[0] >= 0) {
                dup2(input_ends[0], STDIN_FILENO);
                close(input_ends[0]);
                close(input_ends[1]);
            }
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
        if (piped != nullptr) {
            feed(*piped, input_ends);
        }
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
    // Writes the piped bytes, and closes the pipe so that korve sees its end.
    // korve may stop reading early (input that is not ALASM data): what it
    // leaves unread is dropped, without a SIGPIPE.
    void feed(const Piped& piped, const std::array<int, 2>& input_ends) const {
        std::signal(SIGPIPE, SIG_IGN);
        int fd = input_ends[1];
        if (piped.fifo.empty()) {
            close(input_ends[0]);
        } else {
            fd = open((dir_ / piped.fifo).c_str(), O_WRONLY);  // waits for korve to open it
        }
        for (std::size_t fed = 0; fd >= 0 && fed < piped.bytes.size();) {
            const ssize_t put = ::write(fd, piped.bytes.data() + fed, piped.bytes.size() - fed);
            if (put <= 0) {
                break;
            }
            fed += static_cast<std::size_t>(put);
        }
        if (fd >= 0) {
            close(fd);
        }
    }

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
