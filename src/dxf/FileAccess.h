#pragma once
// Reading and replacing whole files, the careful way.
//
// readRegularFile refuses anything that is not a regular file (a directory,
// a FIFO, a device, a socket) before reading a byte, so a named pipe or a
// link to /dev/zero can never hang or flood the reader.
//
// replaceFile writes a temporary file in the target's folder, flushes it to
// the disk (fsync), gives it the old file's mode, and renames it over the
// target; a symbolic link is followed and its target replaced. Only a regular
// file is replaced: a folder, a device, a FIFO or a socket at the path (or
// at the end of its links) is refused before anything is written, and so is
// a read-only file (no write bit in its mode, even for root). Any failure
// (no space, no permission) removes the temporary file and leaves the old
// file as it was. Every file Tessik writes goes through it.

#include <cstddef>
#include <string>
#include <string_view>

#include "Error.h"

namespace tessik::dxf {

inline constexpr std::size_t kMaxFileBytes = std::size_t{1} << 31;

Result<std::string> readRegularFile(const std::string& path, std::size_t maxBytes = kMaxFileBytes);

Status replaceFile(const std::string& path, std::string_view bytes);

// The file a path names once every symbolic link is followed (the path
// itself when it names no link); a dangling link gives the file it would create.
std::string resolveLinks(const std::string& path);

}  // namespace tessik::dxf
