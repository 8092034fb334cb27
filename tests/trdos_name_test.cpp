#include "formats/trdos_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korve {
namespace {

using namespace std::string_literals;

// Each rendering of a name, as every verb spells it.
TEST(TrdosName, RendersANameShownAndAsAHostFileName) {
    const struct {
        std::string bytes;
        unsigned char type;
        std::string shown;
        std::string host;
    } cases[] = {
        {"PGMFLASH", 'H', "PGMFLASH.H", "PGMFLASH.H"},
        {"SAVEBAS/", 'H', "SAVEBAS/.H", "SAVEBAS_.H"},
        {"I2C_06  ", 'H', "I2C_06.H", "I2C_06.H"},
        {"a\\b\x01", 'C', "a\\x5Cb\\x01.C", "a_b_.C"},
        {"\x8F\xE0\xA8", 'H', "При.H", "При.H"},
        {"", '.', "..", "__"},
        {"CON", 'H', "CON.H", "_CON.H"},
    };
    for (const auto& c : cases) {
        const TrdosName name = trdos_name(c.bytes, c.type);
        EXPECT_EQ(shown_name(name), c.shown) << c.bytes;
        EXPECT_EQ(host_name(name), c.host) << c.bytes;
        // The key: padding spaces do not count.
        EXPECT_EQ(name, trdos_name(c.bytes + "  ", c.type)) << c.bytes;
    }
}

// A typed name names the file it fits whole, else the one file it fits by
// its name alone; several it could mean are all named.
TEST(TrdosName, MatchesATypedNameByEitherSpelling) {
    const std::vector<NameCandidate> files = {
        name_candidate(trdos_name("SAVEBAS/", 'H')), name_candidate(trdos_name("GAME", 'H')),
        name_candidate(trdos_name("GAME", 'C')), name_candidate(trdos_name("LOADER", 'B'))};
    const struct {
        const char* typed;
        std::vector<std::size_t> named;
    } cases[] = {
        {"SAVEBAS/.H", {0}}, {"SAVEBAS_.H", {0}}, {"SAVEBAS_", {0}}, {"SAVEBAS", {}},
        {"GAME.C", {2}},     {"GAME", {1, 2}},    {"LOADER", {3}},   {"LOADER.H", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(files_named(c.typed, files), c.named) << c.typed;
    }
    const std::vector<std::size_t> both = {1, 2};
    EXPECT_EQ(ambiguous_name_text("GAME", files, both), "GAME is GAME.H or GAME.C: give its type");
}

}  // namespace
}  // namespace korve
