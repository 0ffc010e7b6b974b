#pragma once
// The operating system's edge. Inside Tessik all text is UTF-8 in std::string,
// on every platform: file and folder names, program arguments, what is
// printed. The conversions happen here and nowhere else. On Windows they use
// the wide (UTF-16) Win32 calls, never the ANSI ones, whose code page would
// lose characters; on Linux a path and an argument are bytes and stay so.
//   TextCodec.h  text between UTF-8 and a Windows code page (GBK, Big5, 1252 ...)
//   Paths.h      std::filesystem::path from and to UTF-8
//   ProgramIo.h  the program's arguments as UTF-8; standard output without translation

#include "Paths.h"
#include "ProgramIo.h"
#include "TextCodec.h"
