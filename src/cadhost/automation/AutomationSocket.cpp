#include "automation/AutomationSocket.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace tessik::cadhost {

namespace {

QString userName(uid_t uid)
{
    const passwd* pw = ::getpwuid(uid);
    return pw ? QStringLiteral("%1（uid %2）").arg(QString::fromLocal8Bit(pw->pw_name)).arg(uid)
              : QStringLiteral("uid %1").arg(uid);
}

}  // namespace

Status prepareSocketFolder(const QString& socketPath)
{
    const QString folder = QFileInfo(socketPath).absolutePath();
    const QByteArray native = QFile::encodeName(folder);
    const auto fail = [&](const QString& why) {
        return Error{protocol::kFailed, QStringLiteral("套接字文件夹“%1”不可用：%2").arg(folder, why).toStdString(),
                     folder.toStdString()};
    };
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        // The parent may be missing (an overridden path): make it, then ours.
        if (!QDir().mkpath(folder))
            return fail(QStringLiteral("无法创建：%1。请检查上级文件夹的权限和剩余空间。").arg(fileErrorReason(errno)));
        ::chmod(native.constData(), 0700);
    }
    struct stat st{};
    if (::lstat(native.constData(), &st) != 0) return fail(QStringLiteral("无法读取属性：%1").arg(fileErrorReason(errno)));
    if (S_ISLNK(st.st_mode))
        return fail(QStringLiteral("它是一个符号链接，可能是别人放置的。请删除它（rm \"%1\"）后重新启动。").arg(folder));
    if (!S_ISDIR(st.st_mode))
        return fail(QStringLiteral("它不是文件夹。请删除或改名（rm \"%1\"）后重新启动。").arg(folder));
    if (st.st_uid != ::getuid())
        return fail(QStringLiteral("它属于用户 %1，不属于当前用户 %2，可能是别人放置的。"
                                   "请让该用户或管理员删除它，或让 XDG_RUNTIME_DIR 指向只属于你的文件夹。")
                        .arg(userName(st.st_uid), userName(::getuid())));
    // Others who can enter the folder could replace the socket with theirs.
    if ((st.st_mode & 077) != 0)
        return fail(QStringLiteral("其他用户可以访问（权限为 %1，应为 0700）。请执行 chmod 700 \"%2\" 后重新启动。")
                        .arg(QString::number(st.st_mode & 0777, 8).rightJustified(4, u'0'), folder));
    return success();
}

SocketProbe probeSocket(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st{};
    if (::lstat(native.constData(), &st) != 0) return errno == ENOENT ? SocketProbe::Absent : SocketProbe::Unknown;
    if (!S_ISSOCK(st.st_mode)) return SocketProbe::NotSocket;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::size_t(native.size()) >= sizeof address.sun_path) return SocketProbe::Unknown;
    std::memcpy(address.sun_path, native.constData(), std::size_t(native.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return SocketProbe::Unknown;
    const int connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int error = errno;
    ::close(fd);
    if (connected == 0 || error == EAGAIN || error == EINPROGRESS) return SocketProbe::Live;
    return error == ECONNREFUSED ? SocketProbe::Stale : SocketProbe::Unknown;
}

}  // namespace tessik::cadhost
