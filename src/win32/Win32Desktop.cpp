#include "Win32Desktop.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "WideText.h"

namespace tessik::win32 {

using os::narrow;
using os::widen;

namespace {

// Registry values longer than this are not paths the program could start.
constexpr DWORD kLongestRegistryValue = 64 * 1024;

HKEY predefinedRoot(std::uint32_t root)
{
    switch (root) {
    case registry::kCurrentUser: return HKEY_CURRENT_USER;
    case registry::kLocalMachine: return HKEY_LOCAL_MACHINE;
    default: return nullptr;
    }
}

std::wstring expanded(const std::wstring& text)
{
    const std::wstring terminated = text.c_str();
    const DWORD n = ExpandEnvironmentStringsW(terminated.c_str(), nullptr, 0);
    if (n == 0 || n > kLongestRegistryValue) return text;
    std::wstring out(n, L'\0');
    if (ExpandEnvironmentStringsW(terminated.c_str(), out.data(), n) != n) return text;
    return out;  // NUL-terminated, as the value was
}

// The owner of a box: this thread's active window, if it is shown.
HWND boxOwner()
{
    HWND active = GetActiveWindow();
    return active && IsWindowVisible(active) ? active : nullptr;
}

}  // namespace

int Win32Desktop::messageBox(const std::string& text, int style, const std::string& title)
{
    HWND owner = boxOwner();
    const UINT flags = UINT(style) | (owner ? MB_APPLMODAL : MB_TASKMODAL) | MB_SETFOREGROUND;
    const int answer = MessageBoxW(owner, widen(text).c_str(), widen(title).c_str(), flags);
    return answer == IDOK ? msgbox::kAnswerOk : msgbox::kAnswerCancel;
}

bool Win32Desktop::activateWindow(const std::string& title)
{
    HWND window = FindWindowW(nullptr, widen(title).c_str());
    if (!window) return false;
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
    return true;
}

void Win32Desktop::beep() { MessageBeep(MB_OK); }

CivilDate Win32Desktop::todayDate() const
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay};
}

bool Win32Desktop::startProgram(const std::string& path)
{
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", widen(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

bool Win32Desktop::openLink(const std::string& address)
{
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", widen(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

void Win32Desktop::endProgram() { ExitProcess(0); }

std::optional<RegistryValue> Win32Desktop::queryRegistryValue(std::uint32_t root, const std::string& keyName,
                                                              const std::string& valueName)
{
    HKEY rootKey = predefinedRoot(root);
    if (!rootKey) return std::nullopt;
    // Read access only: a standard user may not open these keys for writing.
    HKEY key = nullptr;
    if (RegOpenKeyExW(rootKey, widen(keyName).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
    const std::wstring name = widen(valueName);
    std::optional<RegistryValue> out;
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
        bytes <= kLongestRegistryValue) {
        std::string data(bytes, '\0');
        if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes) ==
            ERROR_SUCCESS) {
            data.resize(bytes);
            if (type == REG_SZ || type == REG_EXPAND_SZ) {
                // UTF-16 as stored, terminating NULs included, to UTF-8.
                std::wstring wide(data.size() / sizeof(wchar_t), L'\0');
                if (!wide.empty()) std::memcpy(wide.data(), data.data(), wide.size() * sizeof(wchar_t));
                // A path with %SystemRoot% and the like is given as the text it stands for.
                if (type == REG_EXPAND_SZ) wide = expanded(wide);
                data = narrow(wide);
            }
            out = RegistryValue{type == REG_EXPAND_SZ ? registry::kText : std::uint32_t(type), std::move(data)};
        }
    }
    RegCloseKey(key);
    return out;
}

bool Win32Desktop::fileExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string Win32Desktop::findProgram(const std::string& name, const std::vector<std::string>& folders)
{
    wchar_t found[MAX_PATH * 4];
    const std::wstring wideName = widen(name);
    if (folders.empty()) {
        const DWORD n = SearchPathW(nullptr, wideName.c_str(), L".exe", DWORD(std::size(found)), found, nullptr);
        return n > 0 && n < std::size(found) ? narrow(found) : std::string();
    }
    for (const std::string& folder : folders) {
        const DWORD n = SearchPathW(widen(folder).c_str(), wideName.c_str(), L".exe", DWORD(std::size(found)), found, nullptr);
        if (n > 0 && n < std::size(found)) return narrow(found);
    }
    return {};
}

}  // namespace tessik::win32
