#include "files/output_names.h"

#include <gtest/gtest.h>

#include <string>

namespace korve {
namespace {

// An image's entries in order, named in one folder: safe, and distinct
// where case does not count.
TEST(OutputNames, NamesEachFileSafelyAndDistinctly) {
    using namespace std::string_literals;
    const struct {
        std::string name;
        char type;
        std::string file;
    } cases[] = {
        {"GREET", 'H', "GREET.H"},
        {"greet", 'H', "greet.H (2)"},
        {"Greet", 'H', "Greet.H (3)"},
        {"G/R:E*T", 'H', "G_R_E_T.H"},
        {"a\\b|c?d", '"', "a_b_c_d._"},
        {"\x8F\xE0\xA8\xA2\xA5\xE2", 'H', "Привет.H"},
        {"\x8F\x90\x88\x82\x85\x92", 'H', "ПРИВЕТ.H (2)"},  // Cyrillic case, too
        {"tab\tnul\0"s, 'H', "tab_nul_.H"},
        {"del\x7F", '\0', "del_._"},
        {"", '.', "__"},
        {"", 'H', ".H"},
        // Windows keeps these names for devices, whatever follows a dot.
        {"CON", 'H', "_CON.H"},
        {"nul", 'C', "_nul.C"},
        {"Lpt1", 'H', "_Lpt1.H"},
        {"COM9", 'H', "_COM9.H"},
        {"COM0", 'H', "COM0.H"},
        {"CONSOLE", 'H', "CONSOLE.H"},
    };
    ClaimedNames claimed;
    for (const auto& c : cases) {
        EXPECT_EQ(claim_name(claimed, host_name(trdos_name(c.name, static_cast<unsigned char>(c.type)))), c.file) << c.name;
    }
}

// A text's file name gives back the TR-DOS name and the Hobeta file name
// it is stored under.
TEST(OutputNames, GivesTheNamesATextGoesBackUnder) {
    const struct {
        std::string text;
        std::string trdos;
        std::string hobeta;
    } cases[] = {
        {"PGMFLASH.H.asm", "PGMFLASH", "PGMFLASH.$h"},
        {"GAME.$h.asm", "GAME", "GAME.$h"},
        {"notes.txt", "notes", "notes.$h"},
        {"\xD0\x9F\xD1\x80\xD0\xB8.h.ASM", "\x8F\xE0\xA8", "\xD0\x9F\xD1\x80\xD0\xB8.$h"},
        {"plain", "plain", "plain.$h"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trdos_name_of(c.text), c.trdos) << c.text;
        EXPECT_EQ(hobeta_file_name(c.text), c.hobeta) << c.text;
    }
}

}  // namespace
}  // namespace korve
