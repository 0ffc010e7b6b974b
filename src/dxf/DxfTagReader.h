#pragma once
// Splits the bytes of a DXF file into tags, ASCII or binary.
//
// ASCII: a code line, then a value line, each ended by LF or CR LF. The code
// must be an integer from kMinCode to kMaxCode; a value where the code wants
// a number must be one (blanks around it allowed), finite and within the
// integer's width. Anything else is an error that names the line, never a
// value made up. Binary DXF (the 22-byte sentinel, then little-endian codes
// and values) is turned into the same text tags as its ASCII form; a binary
// string may hold a line break, which no ASCII value can. A boolean (groups
// 290-299) is any byte, as programs write 2 for true.
//
// Every tag takes at least two bytes of input, so the list can never hold
// more tags than the file has bytes: nothing read from the file sizes an
// allocation.

#include <string>
#include <string_view>
#include <vector>

#include "DxfTag.h"
#include "DxfTagList.h"
#include "Error.h"

namespace tessik::dxf {

inline constexpr std::string_view kBinaryDxfSentinel("AutoCAD Binary DXF\r\n\x1a\0", 22);

// A large text file is read in parts (0: one per core, by size), each by a
// thread of its own from a code line on; the tags and any error are those
// of one reading from the start. The tags' texts are views into bytes (but
// a binary file's numbers): bytes must outlive them, so a temporary string
// is refused.
Result<DxfTagList> readDxfTags(std::string_view bytes, unsigned parts = 0);
Result<DxfTagList> readDxfTags(std::string&& bytes, unsigned parts = 0) = delete;

bool isBinaryDxf(std::string_view bytes);

// How a file spells its tags, so that a drawing is written back in the form
// it was read: binary or ASCII, and for ASCII its line ends and byte-order mark.
struct DxfFileForm {
    bool binary = false;
    bool wideCodes = true;  // binary: two-byte group codes (R13 and later)
    bool crlf = false;      // ASCII: lines end in CR LF (as the first line does)
    bool byteOrderMark = false;
};
DxfFileForm fileForm(std::string_view bytes);

// The reverse: what starts a file of this form (the binary sentinel, the
// byte-order mark), and one tag appended as that form spells it. False, with
// nothing appended, when the value cannot be written so (see writable).
std::string_view fileStart(const DxfFileForm& form);
bool appendTag(std::string& out, const DxfTag& tag, const DxfFileForm& form);
// Whether a tag can be written in this form: a valid code and value; a
// string without line breaks in ASCII, without NUL in binary; binary data
// of at most 255 bytes in binary.
bool writable(const DxfTag& tag, const DxfFileForm& form);

// Whether value is acceptable for code (used by the reader and by the writer
// for tags made in memory).
bool validValue(int code, std::string_view value);

}  // namespace tessik::dxf
