// The fuzz target's checks of the floppy images' readers and writers
// (korve_fuzz.cpp): each gives what failed, or nothing.
#pragma once

#include <span>

namespace korve_fuzz {

// The bytes read as an FDI image (where they carry its mark):
//  - no sector's data reaches outside the bytes, a sector cut says so, and
//    an image with a cut sector says it is cut;
//  - reading the image, and the TR-DOS disk on it, twice gives the same;
//    the disk is its sectors' 256 bytes each, each found on a listed sector;
//  - the sectors read whole, written back with their own bytes, give the
//    same image (or are refused, where one lies on the headers);
//  - a change to one sector read (the last byte picks which; not the disk
//    information sector, whose CRC tells the sides) is refused, or written
//    so that the image reads back as the edited disk, the image's bytes
//    changed only in that sector's data and one flag byte.
const char* check_fdi(std::span<const unsigned char> bytes);

}  // namespace korve_fuzz
