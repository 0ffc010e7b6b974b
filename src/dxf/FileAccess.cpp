#include "FileAccess.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessik::dxf {

namespace {

// Save failures carry E_FAIL, as a CAD program reports a failed save.
constexpr std::int32_t kSaveFailed = -2147467259;

std::string why(int error) { return std::strerror(error); }

Error readError(const std::string& path, const std::string& reason)
{
    return Error{errc::kFileNotFound, "无法打开文件“" + path + "”：" + reason, path};
}

Error saveError(const std::string& path, const std::string& reason)
{
    return Error{kSaveFailed, "无法保存“" + path + "”：" + reason, path};
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0) ::close(fd);
    }
    int release()
    {
        const int f = fd;
        fd = -1;
        return f;
    }
};

bool writeAll(int fd, std::string_view bytes, int& error)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        if (n == 0) {
            error = ENOSPC;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

Result<std::string> readRegularFile(const std::string& path, std::size_t maxBytes)
{
    // O_NONBLOCK: opening a FIFO with no writer must not wait for one.
    Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    if (file.fd < 0) return readError(path, why(errno));
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) return readError(path, why(errno));
    if (S_ISDIR(st.st_mode)) return readError(path, "这是一个文件夹");
    if (!S_ISREG(st.st_mode)) return readError(path, "这不是普通文件（设备、管道或套接字）");
    if (static_cast<unsigned long long>(st.st_size) > maxBytes)
        return readError(path, "文件太大（" + std::to_string(st.st_size) + " 字节）");
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t have = 0;
    for (;;) {
        if (have == bytes.size()) {
            // The file may have grown since fstat; read on, within the limit.
            if (bytes.size() >= maxBytes) {
                char probe;
                const ssize_t n = ::read(file.fd, &probe, 1);
                if (n > 0) return readError(path, "文件太大");
                break;
            }
            bytes.resize(std::min(maxBytes, bytes.size() + 65536));
        }
        const ssize_t n = ::read(file.fd, bytes.data() + have, bytes.size() - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            return readError(path, why(errno));
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    bytes.resize(have);
    return bytes;
}

std::string resolveLinks(const std::string& path)
{
    std::string current = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n <= 0) return current;
        target.resize(static_cast<std::size_t>(n));
        current = target.front() == '/' ? target : folderOf(current) + "/" + target;
    }
    return current;
}

Status replaceFile(const std::string& path, std::string_view bytes)
{
    const std::string target = resolveLinks(path);
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    // Only a missing file may be created; a link loop or an unreadable folder
    // on the way must not be renamed over.
    if (!exists && errno != ENOENT) return saveError(path, why(errno));
    if (exists && S_ISDIR(old.st_mode)) return saveError(path, "这是一个文件夹");
    if (exists && !S_ISREG(old.st_mode)) return saveError(path, "这不是普通文件（设备、管道或套接字）");
    // A read-only file stays as it is, although the folder would allow the
    // rename. The mode bits decide as well as access(): root passes access()
    // for a file nobody may write.
    if (exists && ((old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0))
        return saveError(path, "文件是只读的");

    const std::string folder = folderOf(target);
    const std::size_t slash = target.rfind('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string tempPath = folder + "/." + base + ".tessik-XXXXXX";
    Descriptor temp{::mkstemp(tempPath.data())};
    if (temp.fd < 0) return saveError(path, why(errno));
    int error = 0;
    const auto fail = [&](int e) {
        ::unlink(tempPath.c_str());
        return saveError(path, why(e));
    };
    // The new file keeps the old one's mode; a new file gets the mode the
    // user's umask gives.
    mode_t mode = 0;
    if (exists) {
        mode = old.st_mode & 07777;
        if (::fchown(temp.fd, old.st_uid, old.st_gid) != 0) {
            // Not ours to give away; the mode is what matters.
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(temp.fd, mode) != 0) return fail(errno);
    if (!writeAll(temp.fd, bytes, error)) return fail(error);
    if (::fsync(temp.fd) != 0) return fail(errno);
    if (::close(temp.release()) != 0) return fail(errno);
    if (::rename(tempPath.c_str(), target.c_str()) != 0) return fail(errno);
    // The rename itself reaches the disk with the folder.
    Descriptor dir{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd >= 0) ::fsync(dir.fd);
    return success();
}

}  // namespace tessik::dxf
