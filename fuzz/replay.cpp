// Runs the fuzz target once on every file named on the command line (or in
// a folder named there), so that any compiler can build it and a test can
// replay the seed corpus and past findings.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// Runs the target on one file; false when the file cannot be read, which is
// no input that passed.
bool replay_file(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                  std::istreambuf_iterator<char>()};
    if (!file.is_open() || file.bad()) {
        std::fprintf(stderr, "replay: %s: cannot read it\n", path.string().c_str());
        return false;
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path = argv[i];
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(path)) {
                inputs.push_back(entry.path());
            }
        } else {
            inputs.push_back(path);
        }
    }
    int replayed = 0;
    int unreadable = 0;
    for (const std::filesystem::path& input : inputs) {
        if (replay_file(input)) {
            ++replayed;
        } else {
            ++unreadable;
        }
    }
    std::printf("replayed %d inputs, %d unreadable\n", replayed, unreadable);
    return replayed > 0 && unreadable == 0 ? 0 : 1;
}
