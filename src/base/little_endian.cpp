#include "base/little_endian.h"

#include <cassert>

namespace korve {
namespace {
constexpr std::uint32_t kLowByte = 0xFFU;
[[maybe_unused]] constexpr std::size_t kLongestField = sizeof(std::uint32_t);  // checked by assert
}  // namespace

std::uint32_t read_little_endian(std::span<const unsigned char> bytes, std::size_t offset,
                                 std::size_t size) {
    assert(size <= kLongestField && offset + size <= bytes.size());
    std::uint32_t value = 0;
    for (std::size_t i = size; i-- > 0;) {
        value = value << kBitsPerByte | bytes[offset + i];
    }
    return value;
}

void write_little_endian(std::span<unsigned char> bytes, std::size_t offset, std::size_t size,
                         std::uint32_t value) {
    assert(size <= kLongestField && offset + size <= bytes.size());
    for (std::size_t i = 0; i < size; ++i) {
        bytes[offset + i] = static_cast<unsigned char>(value & kLowByte);
        value >>= kBitsPerByte;
    }
}

std::span<const unsigned char> byte_span(std::string_view bytes) {
    return {reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()};
}

std::span<unsigned char> writable_bytes(std::string& bytes) {
    return {reinterpret_cast<unsigned char*>(bytes.data()), bytes.size()};
}

}  // namespace korve
