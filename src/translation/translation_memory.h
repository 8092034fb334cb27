// The target's memory, where a source needs it as ALASM has it: an ORG that
// goes back below bytes already written, or {a}, a word read from bytes the
// source wrote. sjasmplus writes its raw output in order and reads no
// memory, but assembles into memory as ALASM does in device mode; there it
// keeps no raw output either, and the translation saves what was written:
//
//   DEVICE NOSLOT64K                       before the first line: 64 KiB of
//   IF __INCLUDE_LEVEL__ == 0              RAM, zeros to start with; in the
//   @korve_origin = $                      file assembled (no other includes
//   @korve_lowest = #10000                 it), nothing written yet
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
//   ; sjasmplus assembles this ...         after the last line, how it is
//   ; Build: sjasmplus NAME.H.asm          built
//
// sjasmplus sets a name only at the start of a line: these names stay on
// lines of their own, and a stored line's number and its translation's
// differ (translation_layout.h). Where they need not, the lines keep their
// numbers: a source that includes none and that none includes, whose ORGs
// stand outside blocks, unlabelled, at values no later line changes, is
// followed by a label on each ORG instead, and its span worked out after
// its last line:
//
//   text; DEVICE NOSLOT64K                 the first line, then the device
//   @korve_org_1 ORG a                     ORG a: $ before it is the label's
//   @korve_end                             after the last line: each run,
//   @korve_lowest = #10000                 0 to @korve_org_1, (a) to the
//   @korve_highest = 0                     next label, and the last to
//   IF @korve_org_1 != 0 ... ENDIF         @korve_end, widens the span as
//                                          above; then SAVEBIN as above
// so that NAME.bin holds the bytes from the lowest address written to the
// highest, as pasmo --bin writes them. The '@' keeps the names global inside
// the modules that stand for LOCAL.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
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

// The lines before a source's first line: the device, and nothing written.
std::vector<std::string> memory_prologue(const DialectSpelling& spelling);

// The lines after a source's last line: the bytes since the last ORG (or,
// where its ORGs are `labelled`, those of every run, the ORGs' values given
// in order), and, in the file assembled, the saving of them all; then how
// it is built. `file_name` is the source's file name, which its
// translation's name and the saved file's are made from.
std::vector<std::string> memory_epilogue(const DialectSpelling& spelling, std::string_view file_name,
                                         const std::optional<std::vector<std::string>>& labelled);

// The label of a source's ORG `index` (from 0), where its ORGs are labelled.
std::string origin_label(std::size_t index);

// ORG `address` (the target's expression) in memory.
void memory_origin(const DialectSpelling& spelling, std::string_view address,
                   std::vector<std::string>& lines);

}  // namespace korve
