// A test fixture that runs the built korve or korvex in a fresh temporary
// folder.
//
// KORVE_TEST_BINARY and KORVEX_TEST_BINARY name other builds to test (a
// Windows korve.exe and korvex.exe, say), KORVE_TEST_LAUNCHER a command to
// start them with ("wine"), and KORVE_TEST_NEWLINE=crlf says those builds
// write text with CR LF line ends.
//
// Starts the program with POSIX calls (fork, exec, wait4 for its peak
// memory, pipes and FIFOs for its input, poll to feed and drain it at
// once): these tests run on a POSIX host, whatever build they test.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace korve::testing {

class ProgramRun : public ::testing::Test {
protected:
    // korve prints on standard output alone: `console` is what it printed
    // on both streams, in order. korvex's streams are kept apart, in `out`
    // and `err`.
    struct Result {
        std::string console;
        std::string out;
        std::string err;
        int status = -1;
        long peak_memory_kib = 0;
    };

    enum class Program { Korve, Korvex };

    // Bytes for korve to read through a pipe: its standard input, or a named
    // pipe (FIFO) made in the temporary folder, which korve must open.
    struct Piped {
        std::string bytes;
        std::string fifo;  // empty: standard input
        // Done once the program has opened the FIFO, before a byte is fed:
        // what it read before that, it has read.
        std::function<void()> opened = {};
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
        return run(Program::Korve, args, piped);
    }

    // Runs korvex so, its standard output and standard error apart;
    // `stdout_path` (in the folder, or a device) takes its standard output
    // instead, when given.
    Result korvex(const std::vector<std::string>& args, const Piped* piped = nullptr,
                  const std::string& stdout_path = "") const {
        return run(Program::Korvex, args, piped, stdout_path);
    }

    Result run(Program program, const std::vector<std::string>& args, const Piped* piped,
               const std::string& stdout_path = "") const {
        std::vector<std::string> words = launcher();
        words.push_back(std::filesystem::absolute(binary(program)).string());
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);

        Result result;
        const bool apart = program == Program::Korvex;
        std::array<int, 2> out_ends{-1, -1};
        std::array<int, 2> err_ends{-1, -1};
        std::array<int, 2> input_ends{-1, -1};
        const bool made_pipes =
            pipe(out_ends.data()) == 0 && (!apart || pipe(err_ends.data()) == 0) &&
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
            dup2(out_ends[1], STDOUT_FILENO);
            dup2(apart ? err_ends[1] : out_ends[1], STDERR_FILENO);
            for (const int end : {out_ends[0], out_ends[1], err_ends[0], err_ends[1]}) {
                if (end >= 0) {
                    close(end);
                }
            }
            if (chdir(dir_.c_str()) == 0) {
                if (!stdout_path.empty()) {
                    const int file =
                        open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, S_IRUSR | S_IWUSR);
                    dup2(file, STDOUT_FILENO);
                }
                execvp(argv[0], argv.data());
            }
            _exit(127);
        }
        close(out_ends[1]);
        if (err_ends[1] >= 0) {
            close(err_ends[1]);
        }
        drain(piped, input_ends, out_ends[0], err_ends[0], result);
        int status = 0;
        rusage usage{};
        if (child < 0 || wait4(child, &status, 0, &usage) != child) {
            ADD_FAILURE() << "cannot run " << words.front();
            return result;
        }
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.peak_memory_kib = usage.ru_maxrss;
        if (apart) {
            result.console = result.out + result.err;
        } else {
            result.console = std::move(result.out);
            result.out.clear();
        }
        return result;
    }

    // Starts korvex with `args` in the temporary folder, its streams shut,
    // and leaves it running: the caller waits for it (waitpid).
    pid_t start_korvex(const std::vector<std::string>& args) const {
        std::vector<std::string> words = launcher();
        words.push_back(std::filesystem::absolute(binary(Program::Korvex)).string());
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            const int nothing = open("/dev/null", O_RDWR);
            for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
                dup2(nothing, stream);
            }
            if (chdir(dir_.c_str()) == 0) {
                execvp(argv[0], argv.data());
            }
            _exit(127);
        }
        return child;
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

    // Under Wine each start of a program takes a second or more, and the
    // tests that run every real file would take most of an hour: the
    // Windows check sets KORVE_TEST_SAMPLE=N, and those tests then run every
    // Nth real file, counted from the first in the order of their paths, and
    // every file that is a case of its own (a disk image, an archive, a name
    // in lower case, a file cut short). Unset, or 1: every file.
    static bool in_sample(std::size_t index, bool own_case) {
        const long step = std::strtol(environment("KORVE_TEST_SAMPLE", "1").c_str(), nullptr, 10);
        return own_case || step <= 1 || index % static_cast<std::size_t>(step) == 0;
    }

private:
    // Feeds the piped bytes while reading what the program prints, so that
    // neither waits for the other; closes the input so that the program sees
    // its end. The program may stop reading early (input that is not ALASM
    // data): what it leaves unread is dropped, without a SIGPIPE.
    void drain(const Piped* piped, const std::array<int, 2>& input_ends, int out, int err,
               Result& result) const {
        std::signal(SIGPIPE, SIG_IGN);
        int input = -1;
        if (piped != nullptr) {
            input = input_ends[1];
            if (piped->fifo.empty()) {
                close(input_ends[0]);
            } else {
                // Waits for the program to open it.
                input = open((dir_ / piped->fifo).c_str(), O_WRONLY);
                if (input >= 0 && piped->opened) {
                    piped->opened();
                }
            }
            if (input >= 0) {
                fcntl(input, F_SETFL, fcntl(input, F_GETFL) | O_NONBLOCK);
            }
        }
        std::size_t fed = 0;
        if (input >= 0 && piped->bytes.empty()) {
            close(input);
            input = -1;
        }
        std::array<char, 4096> chunk{};
        while (out >= 0 || err >= 0 || input >= 0) {
            std::array<pollfd, 3> watched{
                {{out, POLLIN, 0}, {err, POLLIN, 0}, {input, POLLOUT, 0}}};
            if (poll(watched.data(), watched.size(), -1) < 0) {
                break;
            }
            for (int* reading : {&out, &err}) {
                const pollfd& watch = watched[reading == &out ? 0 : 1];
                if (*reading < 0 || (watch.revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                    continue;
                }
                const ssize_t got = ::read(*reading, chunk.data(), chunk.size());
                if (got <= 0) {
                    close(*reading);
                    *reading = -1;
                } else {
                    std::string& kept = reading == &out ? result.out : result.err;
                    kept.append(chunk.data(), static_cast<std::size_t>(got));
                }
            }
            if (input >= 0 && (watched[2].revents & (POLLOUT | POLLHUP | POLLERR)) != 0) {
                const ssize_t put =
                    ::write(input, piped->bytes.data() + fed, piped->bytes.size() - fed);
                fed += put > 0 ? static_cast<std::size_t>(put) : 0;
                if ((put < 0 && errno != EAGAIN) || fed == piped->bytes.size()) {
                    close(input);
                    input = -1;
                }
            }
        }
    }

    static std::string environment(const char* name, const std::string& fallback) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0' ? value : fallback;
    }
    static std::string binary(Program program = Program::Korve) {
        return program == Program::Korve ? environment("KORVE_TEST_BINARY", KORVE_BINARY)
                                         : environment("KORVEX_TEST_BINARY", KORVEX_BINARY);
    }
    static std::vector<std::string> launcher() {
        std::istringstream words(environment("KORVE_TEST_LAUNCHER", ""));
        return {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
    }
    static bool crlf() { return environment("KORVE_TEST_NEWLINE", "lf") == "crlf"; }

    std::filesystem::path dir_;
};

}  // namespace korve::testing
