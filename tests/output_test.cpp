#include "files/output.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "alasm_writer.h"
#include "base/little_endian.h"
#include "korvex_run.h"

namespace korve {
namespace {

namespace fs = std::filesystem;

// A file replaced in place: its temporary file has its mode and (as root)
// its owner before a byte is written, so nothing else ever stands under its
// name; it is replaced only while it holds what was read, and one with
// other names only with leave, which leaves them the old bytes.
TEST(OutputFile, ReplacesAFileInPlaceOnlyWhileItHoldsWhatWasRead) {
    const struct {
        const char* what;
        bool linked;             // the file has a second name
        bool split_links;        // leave to replace it under one name
        bool written_meanwhile;  // another program writes it before the rename
        std::optional<WriteFailure::Kind> failure;
    } cases[] = {
        {"replaced, its mode and owner kept", false, false, false, std::nullopt},
        {"written meanwhile: that program's bytes stay", false, false, true, WriteFailure::Kind::Changed},
        {"other names, unasked", true, false, false, WriteFailure::Kind::HasLinks},
        {"other names, asked: they keep the old bytes", true, true, false, std::nullopt},
    };
    std::string pattern = (fs::temp_directory_path() / "korve-output-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path folder = pattern;
    const Place disk = place_named((folder / "disk.trd").string());
    const std::string old = "old bytes";
    const bool root = geteuid() == 0;
    const auto temporary = [&folder] {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().filename().string().starts_with(".korvex-")) {
                return entry.path();
            }
        }
        return fs::path();
    };
    const auto mode_and_owner = [](const fs::path& path) {
        struct stat status{};
        EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
        return std::make_pair(status.st_mode & 07777U, std::make_pair(status.st_uid, status.st_gid));
    };
    for (const auto& c : cases) {
        fs::remove_all(folder / "disk.trd");
        fs::remove_all(folder / "alias.trd");
        ASSERT_TRUE(testing::write_file(disk.path, old));
        fs::permissions(disk.path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        if (root) {
            ASSERT_EQ(chown(disk.path.c_str(), 4321, 4322), 0);
        }
        if (c.linked) {
            fs::create_hard_link(disk.path, folder / "alias.trd");
        }
        const auto before = mode_and_owner(disk.path);
        WritePolicy policy;
        policy.in_place = WritePolicy::InPlace{byte_span(old), c.split_links};
        std::optional<WriteFailure> failure;
        OutputFile file = OutputFile::open(disk, policy, failure);
        if (!failure) {
            ASSERT_FALSE(temporary().empty()) << c.what;
            EXPECT_EQ(mode_and_owner(temporary()), before) << c.what;
            EXPECT_GE(std::fputs("new bytes", file.stream()), 0) << c.what;
            if (c.written_meanwhile) {
                ASSERT_TRUE(testing::write_file(disk.path, "their bytes"));
            }
            failure = file.commit();
        }
        EXPECT_EQ(failure ? std::optional(failure->kind) : std::nullopt, c.failure) << c.what;
        const std::string now = testing::file_bytes(disk.path);
        EXPECT_EQ(now, c.written_meanwhile ? "their bytes" : c.failure ? old : "new bytes") << c.what;
        if (c.linked) {
            EXPECT_EQ(testing::file_bytes(folder / "alias.trd"), old) << c.what;
        }
        EXPECT_EQ(mode_and_owner(disk.path), before) << c.what;
        EXPECT_EQ(temporary(), fs::path()) << c.what;
    }
    fs::remove_all(folder);
}

}  // namespace
}  // namespace korve
