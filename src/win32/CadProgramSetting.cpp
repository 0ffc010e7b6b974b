#include "CadProgramSetting.h"

#include <windows.h>

#include "WideText.h"

namespace tessik::win32 {

namespace {

constexpr DWORD kLongestValueBytes = 256;

std::string systemMessage(LONG code)
{
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, DWORD(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : L"Windows error " + std::to_wstring(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return os::narrow(message);
}

}  // namespace

CadProgram loadCadProgram()
{
    wchar_t buffer[kLongestValueBytes / sizeof(wchar_t) + 1] = {};
    DWORD bytes = kLongestValueBytes;
    DWORD type = 0;
    const LONG result = RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, kCadProgIdValue, RRF_RT_REG_SZ, &type, buffer, &bytes);
    if (result != ERROR_SUCCESS) return defaultCadProgram();
    const std::string id = os::narrow(buffer);
    return isWellFormedProgramId(id) ? cadProgramFor(id) : defaultCadProgram();
}

Status saveCadProgram(const CadProgram& program)
{
    if (!isWellFormedProgramId(program.programId))
        return Error{0, "“" + program.programId + "”不是合格的程序标识。", "CadProgId"};
    HKEY key = nullptr;
    LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        const std::wstring id = os::widen(program.programId);
        result = RegSetValueExW(key, kCadProgIdValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(id.c_str()),
                                DWORD((id.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS) return Error{int(result), systemMessage(result), "CadProgId"};
    return success();
}

}  // namespace tessik::win32
