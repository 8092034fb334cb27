// A test fixture that runs the built korve in a fresh temporary folder.
//
// KORVE_TEST_BINARY names another build to test (a Windows korve.exe, say),
// KORVE_TEST_LAUNCHER a command to start it with ("wine"), and
// KORVE_TEST_NEWLINE=crlf says that build writes text with CR LF line ends.
//
// Runs the program through the POSIX shell: these tests run on a POSIX host.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace korve::testing {

class ProgramRun : public ::testing::Test {
protected:
    struct Result {
        std::string console;
        int status = -1;
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
        std::string command = "cd ";
        command += quoted(dir_.string());
        command += " && ";
        command += launcher();
        command += quoted(binary());
        for (const auto& arg : args) {
            command += ' ';
            command += quoted(arg);
        }
        command += " 2>&1";
        Result result;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            ADD_FAILURE() << "cannot run " << command;
            return result;
        }
        std::array<char, 4096> chunk{};
        for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) {
            result.console.append(chunk.data(), got);
        }
        const int status = pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    }

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
    static std::string launcher() {
        const std::string name = environment("KORVE_TEST_LAUNCHER", "");
        return name.empty() ? "" : name + " ";
    }
    static bool crlf() { return environment("KORVE_TEST_NEWLINE", "lf") == "crlf"; }

    static std::string quoted(const std::string& text) {
        std::string result = "'";
        for (const char c : text) {
            if (c == '\'') {
                result += "'\\''";
            } else {
                result += c;
            }
        }
        result += '\'';
        return result;
    }

    std::filesystem::path dir_;
};

}  // namespace korve::testing
