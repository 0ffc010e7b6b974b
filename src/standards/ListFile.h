#pragma once
// The list files zjxl.ini (outer diameters) and gbhd.ini (wall thicknesses):
// one list entry per field, in file order, exactly as written (a leading "*"
// included); entries are not checked here, a non-number only fails when used.
//
// The list holds exactly the entries the file really has: a file that is
// missing or cannot be opened gives an empty list, a read that fails part-way
// keeps the entries read before it, and each case comes with one message
// naming the file and the folder it was looked for in. A file with more than
// kMaxEntries fields lists the first kMaxEntries, so that a huge or garbage
// file cannot flood a drop-down list.

#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace tessik {

inline constexpr std::string_view kDiameterSeriesFile = "zjxl.ini";
inline constexpr std::string_view kWallThicknessFile = "gbhd.ini";
inline constexpr std::string_view kBookFile = "book.ini";

// After loading, each list selects this entry (the 41st) when it exists.
inline constexpr int kPreselectedEntry = 40;

struct ListFile {
    static constexpr std::size_t kMaxEntries = 10000;

    enum class Status { Read, Missing, CannotOpen, ReadFailed, TooManyEntries };

    std::vector<std::string> entries;  // UTF-8 texts
    Status status = Status::Read;
    std::string problem;   // a message for the user; empty when Status::Read
};

// Reads `fileName` in `folder`. Never blocks: anything but a regular file
// (a directory, a pipe, a device) counts as a file that cannot be opened.
ListFile loadListFile(const std::filesystem::path& folder, std::string_view fileName);

// The entries of an opened list file; `name` and `folder` only serve the
// messages.
ListFile readListFile(std::istream& in, std::string_view name, std::string_view folder);

// The folder a bare file name is looked for in, as shown to the user.
std::string folderText(const std::filesystem::path& folder);

// Opens a data file for sequential input if it is a readable regular file;
// otherwise `problem` receives the user's message naming the file and the
// folder it was looked for in.
enum class OpenOutcome { Opened, Missing, CannotOpen };
OpenOutcome openDataFile(const std::filesystem::path& file, std::ifstream& stream, std::string& problem);

}  // namespace tessik
