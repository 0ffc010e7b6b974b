#pragma once
// The user's CAD program, kept per user in the registry:
// HKEY_CURRENT_USER\Software\Tessik, text value CadProgId.

#include <string>

#include "CadProgram.h"
#include "Error.h"

namespace tessik::win32 {

inline constexpr wchar_t kSettingsKey[] = L"Software\\Tessik";
inline constexpr wchar_t kCadProgIdValue[] = L"CadProgId";

// The kept program, or the default when none is kept. A value that is no
// well-formed program id (written by hand, say) is not used.
CadProgram loadCadProgram();

// Keeps a well-formed program id; the error names what Windows said.
Status saveCadProgram(const CadProgram& program);

}  // namespace tessik::win32
