#pragma once
// One group of a DXF file: a group code and its value, kept as the text the
// file holds (numbers included), so a tag that is read and written back is
// byte-for-byte the same. What a code's value must be (a string, an integer
// of some width, a real, a handle) is fixed by the code alone.

#include <optional>
#include <string>
#include <string_view>

namespace tessik::dxf {

struct DxfTag {
    int code = 0;
    std::string value;
    friend bool operator==(const DxfTag&, const DxfTag&) = default;
};

enum class ValueKind { String, Int16, Int32, Int64, Double, Bool, Binary };

// Group codes a file may hold; anything else is a damaged file.
inline constexpr int kMinCode = -5;
inline constexpr int kMaxCode = 1071;

ValueKind valueKind(int code);

// A value read as a finite number (blanks around it and a plus sign allowed);
// nothing for anything else.
std::optional<double> tagNumber(std::string_view value);

// The whole of text as std::from_chars reads a double (no blanks, no plus
// sign): false when it is not all one number. Plain decimals of up to 15
// digits, which is what DXF files are made of, are read without the library
// and give the same double (the correctly rounded one).
bool readReal(std::string_view text, double& out);

}  // namespace tessik::dxf
