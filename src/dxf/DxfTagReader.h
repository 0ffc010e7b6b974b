#pragma once
// Splits the bytes of a DXF file into tags, ASCII or binary.
//
// ASCII: a code line, then a value line, each ended by LF or CR LF. The code
// must be an integer from kMinCode to kMaxCode; a value where the code wants
// a number must be one (blanks around it allowed), finite and within the
// integer's width. Anything else is an error that names the line, never a
// value made up. Binary DXF (the 22-byte sentinel, then little-endian codes
// and values) is turned into the same text tags as its ASCII form.
//
// Every tag takes at least two bytes of input, so the list can never hold
// more tags than the file has bytes: nothing read from the file sizes an
// allocation.

#include <string_view>
#include <vector>

#include "DxfTag.h"
#include "Error.h"

namespace tessik::dxf {

Result<std::vector<DxfTag>> readDxfTags(std::string_view bytes);

bool isBinaryDxf(std::string_view bytes);

// Whether value is acceptable for code (used by the reader and by the writer
// for tags made in memory).
bool validValue(int code, std::string_view value);

}  // namespace tessik::dxf
