// The loader's verdicts: bytes in; kind, what is kept and the problems out.
#include "inputs/loader.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "alasm_writer.h"
#include "image_writer.h"

namespace korve {
namespace {

using testing::alasm_header;
using testing::alasm_record;
using testing::DiskFile;
using testing::scl_archive;
using testing::trd_image;

struct Said {
    Severity severity;
    std::string text;
    Status status;

    bool operator==(const Said&) const = default;
    friend void PrintTo(const Said& said, std::ostream* out) {
        *out << static_cast<int>(said.severity) << " " << said.text << " "
             << static_cast<int>(said.status);
    }
};

TEST(Loader, GradesEachInputOnce) {
    const std::string source = alasm_header("ONE") + alasm_record("{NOP}");
    const std::vector<DiskFile> files = {
        {.name = "ONE", .type = 'H', .data = source},
        {.name = "TWO", .type = 'H', .data = std::string(400, '\x01')},
    };
    const std::string trd = trd_image(files);
    const std::string scl = scl_archive(files);
    const std::string huge = scl + std::string(kLargestImage, '\0');
    const Status fine = Status::Converted;
    const Status not_all = Status::NotAllConverted;
    const struct {
        const char* what;
        std::string bytes;
        bool walked;
        InputKind kind;
        bool read;
        std::vector<Said> said;
    } cases[] = {
        {"bare ALASM data", source, false, InputKind::BareAlasm, true, {}},
        {"a .trd", trd, false, InputKind::TrdosImage, true, {}},
        {"an .scl", scl, true, InputKind::SclArchive, true, {}},
        {"text, named", "notes", false, InputKind::None, true, {}},
        {"an .scl cut inside its second file", scl.substr(0, 9 + 2 * 14 + 256 + 10), false,
         InputKind::SclArchive, true,
         {{Severity::Warning, "cut short; 1 of its 2 files lost", fine}}},
        {"an .scl cut inside its second entry", scl.substr(0, 9 + 14 + 5), false,
         InputKind::SclArchive, true,
         {{Severity::Error, "cut short; 2 of its 2 files lost, the names of 1 of them too", not_all}}},
        {"larger than any image, named", huge, false, InputKind::None, false,
         {{Severity::Error, "holds no ALASM data and no disk image", not_all}}},
        {"larger than any image, walked", huge, true, InputKind::None, false, {}},
    };
    for (const auto& c : cases) {
        const LoadedInput loaded =
            grade_input("in", std::vector<unsigned char>(c.bytes.begin(), c.bytes.end()), c.walked);
        EXPECT_EQ(loaded.kind, c.kind) << c.what;
        EXPECT_EQ(loaded.read, c.read) << c.what;
        EXPECT_EQ(loaded.bytes.size(), c.read ? c.bytes.size() : 0) << c.what;
        std::vector<Said> said;
        for (const Problem& problem : loaded.problems) {
            EXPECT_EQ(problem.where.input, "in") << c.what;
            said.push_back({problem.severity, problem.text, problem.status});
        }
        EXPECT_EQ(said, c.said) << c.what;
    }
}

}  // namespace
}  // namespace korve
