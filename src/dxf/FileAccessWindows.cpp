// FileAccess.h on Windows: UTF-8 names in, wide Win32 calls out. What the
// POSIX version refuses by file type is refused here by name (CON, NUL,
// COM1 ... and \\.\ device paths, which must never be opened) and by the
// handle's type; a read-only file is one with FILE_ATTRIBUTE_READONLY.

#include "FileAccess.h"

#include <algorithm>
#include <cwctype>
#include <random>

#include <windows.h>

#include "WideText.h"

namespace tessik::dxf {

namespace {

// Save failures carry E_FAIL, as a CAD program reports a failed save.
constexpr std::int32_t kSaveFailed = -2147467259;

std::string why(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
    if (text != nullptr) ::LocalFree(text);
    while (!message.empty() && (std::iswspace(message.back()) || message.back() == L'.')) message.pop_back();
    if (message.empty()) return "Windows error " + std::to_string(error);
    return os::narrow(message);
}

Error readError(const std::string& path, const std::string& reason)
{
    return Error{errc::kFileNotFound, "无法打开文件“" + path + "”：" + reason, path};
}

Error saveError(const std::string& path, const std::string& reason)
{
    return Error{kSaveFailed, "无法保存“" + path + "”：" + reason, path};
}

const char* const kFolder = "这是一个文件夹";
const char* const kNotRegular = "这不是普通文件（设备、管道或套接字）";

std::size_t lastSeparator(const std::string& path) { return path.find_last_of("/\\"); }

std::string folderOf(const std::string& path)
{
    const std::size_t slash = lastSeparator(path);
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash);
}

// \\.\PhysicalDrive0, \\.\pipe\x, CON, nul.txt, COM1 ...: names Windows
// gives to devices in any folder, whatever the extension.
bool namesDevice(const std::string& path)
{
    std::string p = path;
    std::replace(p.begin(), p.end(), '/', '\\');
    if (p.starts_with("\\\\.\\") || p.starts_with("\\\\?\\GLOBALROOT")) return true;
    const std::size_t slash = lastSeparator(p);
    std::string base = slash == std::string::npos ? p : p.substr(slash + 1);
    if (slash == std::string::npos && base.size() >= 2 && base[1] == ':') base = base.substr(2);
    base = base.substr(0, base.find('.'));
    while (!base.empty() && (base.back() == ' ' || base.back() == ':')) base.pop_back();
    for (char& c : base) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$")
        return true;
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '1' &&
           base[3] <= '9';
}

struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~Handle()
    {
        if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }
    bool ok() const { return h != INVALID_HANDLE_VALUE; }
    bool close()
    {
        const bool closed = ::CloseHandle(h) != 0;
        h = INVALID_HANDLE_VALUE;
        return closed;
    }
};

bool writeAll(HANDLE h, std::string_view bytes, DWORD& error)
{
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 24));
        DWORD written = 0;
        if (!::WriteFile(h, bytes.data(), chunk, &written, nullptr)) {
            error = ::GetLastError();
            return false;
        }
        if (written == 0) {
            error = ERROR_DISK_FULL;
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

Result<std::string> readRegularFile(const std::string& path, std::size_t maxBytes)
{
    if (namesDevice(path)) return readError(path, kNotRegular);
    const std::wstring wide = os::widen(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return readError(path, kFolder);
    Handle file{::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!file.ok()) return readError(path, why(::GetLastError()));
    if (::GetFileType(file.h) != FILE_TYPE_DISK) return readError(path, kNotRegular);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.h, &size)) return readError(path, why(::GetLastError()));
    if (static_cast<unsigned long long>(size.QuadPart) > maxBytes)
        return readError(path, "文件太大（" + std::to_string(size.QuadPart) + " 字节）");
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t have = 0;
    for (;;) {
        if (have == bytes.size()) {
            // The file may have grown since its size was read; read on, within the limit.
            if (bytes.size() >= maxBytes) {
                char probe;
                DWORD n = 0;
                if (::ReadFile(file.h, &probe, 1, &n, nullptr) && n > 0) return readError(path, "文件太大");
                break;
            }
            bytes.resize(std::min(maxBytes, bytes.size() + 65536));
        }
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - have, 1u << 24));
        DWORD n = 0;
        if (!::ReadFile(file.h, bytes.data() + have, want, &n, nullptr)) return readError(path, why(::GetLastError()));
        if (n == 0) break;
        have += n;
    }
    bytes.resize(have);
    return bytes;
}

std::string resolveLinks(const std::string& path)
{
    const std::wstring wide = os::widen(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return path;
    // A link Windows can open names its final file; one it cannot (dangling,
    // a loop) is left to be replaced itself.
    Handle file{::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    if (!file.ok()) return path;
    std::wstring final(MAX_PATH, L'\0');
    DWORD n = ::GetFinalPathNameByHandleW(file.h, final.data(), static_cast<DWORD>(final.size()), VOLUME_NAME_DOS);
    if (n >= final.size()) {
        final.resize(n + 1);
        n = ::GetFinalPathNameByHandleW(file.h, final.data(), static_cast<DWORD>(final.size()), VOLUME_NAME_DOS);
    }
    if (n == 0 || n >= final.size()) return path;
    final.resize(n);
    if (final.starts_with(L"\\\\?\\UNC\\")) final = L"\\\\" + final.substr(8);
    else if (final.starts_with(L"\\\\?\\")) final = final.substr(4);
    return os::narrow(final);
}

Status replaceFile(const std::string& path, std::string_view bytes)
{
    if (namesDevice(path)) return saveError(path, kNotRegular);
    const std::string target = resolveLinks(path);
    const std::wstring wideTarget = os::widen(target);
    const DWORD attributes = ::GetFileAttributesW(wideTarget.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists) {
        // Only a missing file may be created.
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) return saveError(path, why(error));
    }
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return saveError(path, kFolder);
    if (exists && (attributes & FILE_ATTRIBUTE_DEVICE)) return saveError(path, kNotRegular);
    // A read-only file stays as it is, although the folder would allow the replacement.
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) return saveError(path, "文件是只读的");

    const std::size_t slash = lastSeparator(target);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::random_device random;
    std::wstring tempPath;
    Handle temp;
    for (int attempt = 0; attempt < 100 && !temp.ok(); ++attempt) {
        const std::string tag = std::to_string(random() % 1000000000u);
        tempPath = os::widen(folderOf(target) + "\\." + base + ".tessik-" + tag);
        temp.h = ::CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (!temp.ok() && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (!temp.ok()) return saveError(path, why(::GetLastError()));
    const auto fail = [&](DWORD e) {
        if (temp.ok()) temp.close();
        ::DeleteFileW(tempPath.c_str());
        return saveError(path, why(e));
    };
    DWORD error = 0;
    if (!writeAll(temp.h, bytes, error)) return fail(error);
    if (!::FlushFileBuffers(temp.h)) return fail(::GetLastError());
    if (!temp.close()) return fail(::GetLastError());
    // ReplaceFileW keeps the old file's attributes, security and creation
    // time, as the POSIX version keeps its mode; where it cannot (a file
    // system without them) the plain move still replaces the file in one step.
    if (exists && ::ReplaceFileW(wideTarget.c_str(), tempPath.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                 nullptr, nullptr))
        return success();
    if (!::MoveFileExW(tempPath.c_str(), wideTarget.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fail(::GetLastError());
    return success();
}

}  // namespace tessik::dxf
