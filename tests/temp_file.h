// A stream over given bytes, for feeding the decoders without touching disk
// paths: a temporary file that vanishes when closed.
#pragma once

#include <cstdio>
#include <string_view>

#include "base/file.h"

namespace korve::testing {

inline File temp_file(std::string_view bytes) {
    File file(std::tmpfile());
    if (file) {
        std::fwrite(bytes.data(), 1, bytes.size(), file.get());
        std::rewind(file.get());
    }
    return file;
}

}  // namespace korve::testing
