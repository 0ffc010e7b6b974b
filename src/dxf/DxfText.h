#pragma once
// Text values between a drawing's bytes and UTF-8.
//
// Before AutoCAD 2007 (AC1021) a DXF file holds text in the Windows code page
// $DWGCODEPAGE names (ANSI_936 is GBK, ANSI_950 Big5, ANSI_1252 Western ...),
// with \U+XXXX for characters outside it; from AC1021 on it is UTF-8 and
// \U+XXXX may still appear, and so may \M+nXXXX, a double-byte character
// of the East Asian code page n (1 = 932, 2 = 950, 3 = 949, 4 = 1361,
// 5 = 936). Decoding undoes all three (either case of hex digits; bytes the
// code page does not map become U+FFFD). Encoding writes
// the code page where it can and \U+XXXX (upper-case) where it cannot, so
// any text survives in any drawing.

#include <string>
#include <string_view>

#include "Error.h"

namespace tessik::dxf {

// The Windows code page number of a $DWGCODEPAGE value; 1252 for one we do not know.
unsigned codePageOf(std::string_view codePage);

// unicode: the drawing is AC1021 or later.
std::string decodeDxfText(std::string_view raw, std::string_view codePage, bool unicode);
// Fails on bytes that are not UTF-8 and on line breaks, which no DXF text can hold.
Result<std::string> encodeDxfText(std::string_view utf8, std::string_view codePage, bool unicode);

}  // namespace tessik::dxf
