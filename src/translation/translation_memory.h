// The target's memory, where a source needs it as ALASM has it: an ORG that
// goes back below bytes already written, or {a}, a word read from bytes the
// source wrote. sjasmplus writes its raw output in order and reads no
// memory, but assembles into memory as ALASM does in device mode; there it
// keeps no raw output either, and the translation saves what was written:
//
//   ; sjasmplus assembles this ...        the build's command line, after
//   ; Build: sjasmplus NAME.H.asm           the heading
//   DEVICE NOSLOT64K                       64 KiB of RAM, zeros to start with
//   IF __INCLUDE_LEVEL__ == 0              in the file assembled (no other
//   @korve_origin = $                      includes it): nothing written yet
//   @korve_lowest = #10000
//   @korve_highest = 0
//   ENDIF
//   IF $ != @korve_origin                  before each ORG and at the end of
//   @korve_lowest = @korve_lowest <? @korve_origin     each file: the bytes
//   @korve_highest = @korve_highest >? $              since the last ORG
//   ENDIF
//   @korve_origin = a                      ORG a
//   ORG @korve_origin
//   IF __INCLUDE_LEVEL__ == 0 && @korve_highest > @korve_lowest
//   SAVEBIN "NAME.bin",@korve_lowest,@korve_highest-@korve_lowest
//   ENDIF                                  the end of the file assembled
//
// so that NAME.bin holds the bytes from the lowest address written to the
// highest, as pasmo --bin writes them. The '@' keeps the names global inside
// the modules that stand for LOCAL.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "alasm/dialect.h"

namespace korve {

// Addresses a source is known to have written, as spans.
class WrittenBytes {
public:
    void add(std::uint32_t address, std::uint32_t size);
    // Whether every address from `address` for `size` bytes was written.
    bool covers(std::uint32_t address, std::uint32_t size) const;

private:
    std::map<std::uint32_t, std::uint32_t> spans_;  // first address to one past the last
};

// The lines before a source's first line: how it is built, and the device.
// `file_name` is the source's file name, which its translation's name and
// the saved file's are made from.
std::vector<std::string> memory_prologue(const DialectSpelling& spelling,
                                         std::string_view file_name);

// The lines after a source's last line: the bytes since the last ORG, and,
// in the file assembled, the saving of them all.
std::vector<std::string> memory_epilogue(const DialectSpelling& spelling,
                                         std::string_view file_name);

// ORG `address` (the target's expression) in memory.
void memory_origin(const DialectSpelling& spelling, std::string_view address,
                   std::vector<std::string>& lines);

}  // namespace korve
