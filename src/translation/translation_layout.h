// A stored line's translation laid out as the target's text. sjasmplus
// separates instructions on a line with a colon, so that stored line N is
// line N of its translation: the line's parts joined, the name the line sets
// (its label, NAME = e) leading, and what the translator says of the line
// (a comment of its own, the reason a line is kept as a comment) before the
// line's comment:
//
//   stored                     sjasmplus
//   PUSH AF,BC ;save           \tPUSH\tAF : PUSH\tBC ;save
//   L1 DS 2,"ab"               L1\tDUP\t2 : DB\t"ab" : EDUP
//   RUN #C000                  ;! cannot translate: RUN ... ;!\tRUN\t#C000
//
// A name can only be set at the start of a line of sjasmplus: where a line's
// translation sets two (a label and a name the translator keeps, as the
// bookkeeping of memory does at an ORG), or one after a statement, its parts
// stay lines of their own. pasmo takes one instruction a line: its lines
// stay as they are, the comment on the last.
#pragma once

#include <string>
#include <string_view>
#include <span>

#include "alasm/dialect.h"

namespace korve {

// The text for a stored line's translated `lines` (several joined by '\n')
// and its `comment` (the blank space before it included).
std::string laid_out(const DialectSpelling& spelling, std::span<const std::string> lines,
                     std::string_view comment);
// The same, into `text`, whose room it reuses.
void lay_out(const DialectSpelling& spelling, std::span<const std::string> lines,
             std::string_view comment, std::string& text);

// Whether the line stands on a line of its own: it sets a name (its first
// character starts one, as a label does), and is no comment.
bool sets_name(std::string_view line);

}  // namespace korve
