// korve's text of given bytes, from the same driver the program runs, with
// LF line ends: what packing must give back.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "base/file.h"
#include "korve/driver.h"
#include "temp_file.h"

namespace korve::testing {

struct KorveText {
    Outcome outcome = Outcome::NotAlasm;
    std::string text;
};

inline KorveText korve_text(std::string_view input) {
    const File in = temp_file(input);
    const File out(std::tmpfile());
    const File console(std::tmpfile());
    KorveText result;
    if (!in || !out || !console) {
        return result;
    }
    result.outcome = convert(in.get(), [&] { return out.get(); }, console.get());
    std::rewind(out.get());
    char block[4096];
    for (std::size_t size; (size = std::fread(block, 1, sizeof block, out.get())) > 0;) {
        result.text.append(block, size);
    }
    return result;
}

}  // namespace korve::testing
