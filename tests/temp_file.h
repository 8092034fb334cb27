// A stream over given bytes, for feeding the decoders without touching disk
// paths: a temporary file that vanishes when closed.
#pragma once

#include <cstdio>
#include <memory>
#include <string_view>

namespace korve::testing {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using TempFile = std::unique_ptr<std::FILE, FileCloser>;

inline TempFile temp_file(std::string_view bytes) {
    TempFile file(std::tmpfile());
    if (file) {
        std::fwrite(bytes.data(), 1, bytes.size(), file.get());
        std::rewind(file.get());
    }
    return file;
}

}  // namespace korve::testing
