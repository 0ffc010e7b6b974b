#include "model/InstanceLock.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include "AutomationProtocol.h"

namespace tessik::cadhost {

// Why a file operation failed, in the words a user acts on.
QString fileErrorReason(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT: return QStringLiteral("磁盘已满（%1）").arg(QString::fromLocal8Bit(std::strerror(error)));
    case EACCES:
    case EPERM: return QStringLiteral("没有权限（%1）").arg(QString::fromLocal8Bit(std::strerror(error)));
    case EROFS: return QStringLiteral("文件系统只读（%1）").arg(QString::fromLocal8Bit(std::strerror(error)));
    default: return QString::fromLocal8Bit(std::strerror(error));
    }
}

InstanceLock::InstanceLock(const QString& socketPath)
    : socketPath_(socketPath), lockPath_(socketPath + QStringLiteral(".lock"))
{
}

InstanceLock::~InstanceLock()
{
    // Closing releases the lock. The file stays: removing it would let a
    // starting instance lock a file that is no longer the one at the path.
    if (fd_ >= 0) ::close(fd_);
}

InstanceLock::Outcome InstanceLock::fail(const QString& what, int error)
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    blocked_ = error == EACCES || error == EPERM || error == ENOTEMPTY || error == EEXIST;
    failure_ = QStringLiteral("%1“%2”：%3").arg(what, lockPath_, fileErrorReason(error));
    return Outcome::Failed;
}

InstanceLock::Outcome InstanceLock::tryLock()
{
    const QByteArray path = QFile::encodeName(lockPath_);
    blocked_ = false;
    holderPid_ = 0;
    // Nothing but a regular file can carry a live lock: anything else in its
    // place is cleared once and the open tried again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            const int error = errno;
            const bool cleared = error == EISDIR ? ::rmdir(path.constData()) == 0
                               : error == ELOOP  ? ::unlink(path.constData()) == 0
                               // Our own file made unreadable: the same file, so a live holder still counts.
                               : error == EACCES ? ::chmod(path.constData(), 0600) == 0
                                                 : false;
            if (!cleared) {
                if (error == EACCES && heldByOther(path)) return Outcome::Held;
                return fail(QStringLiteral("无法打开锁文件"), error == EISDIR ? errno : error);
            }
            continue;
        }
        struct stat st{};
        if (::fstat(fd_, &st) != 0) return fail(QStringLiteral("无法读取锁文件"), errno);
        if (!S_ISREG(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            if (::unlink(path.constData()) != 0) return fail(QStringLiteral("无法替换锁文件"), errno);
            continue;
        }
        break;
    }
    if (fd_ < 0) return fail(QStringLiteral("无法替换锁文件"), EEXIST);

    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error != EWOULDBLOCK) return fail(QStringLiteral("无法锁定锁文件"), error);
        char text[24] = {};
        const ssize_t n = ::pread(fd_, text, sizeof text - 1, 0);
        bool ok = false;
        const qint64 pid = n > 0 ? QByteArray(text, int(n)).trimmed().toLongLong(&ok) : 0;
        holderPid_ = ok && pid > 0 ? pid : 0;
        ::close(fd_);
        fd_ = -1;
        return Outcome::Held;
    }
    // The process id is for people; the lock itself is the flock.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd_, 0) != 0) return fail(QStringLiteral("无法写入锁文件"), errno);
    const ssize_t written = ::pwrite(fd_, pid.constData(), size_t(pid.size()), 0);
    if (written != pid.size()) return fail(QStringLiteral("无法写入锁文件"), written < 0 ? errno : ENOSPC);
    if (::fsync(fd_) != 0) return fail(QStringLiteral("无法写入锁文件"), errno);
    return Outcome::Taken;
}

bool InstanceLock::heldByOther(const QByteArray& path)
{
    // Another user's lock file may still be readable: a shared lock taken
    // and let go at once tells whether anyone holds it.
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

Result<QString> setAside(const QString& path, const QString& tag)
{
    const QFileInfo info(path);
    const QString base = info.completeBaseName().isEmpty() ? info.fileName() : info.completeBaseName();
    const QString suffix = info.completeBaseName().isEmpty() || info.suffix().isEmpty() ? QString()
                                                                                       : u'.' + info.suffix();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QByteArray from = QFile::encodeName(path);
    for (int n = 1; n <= 100; ++n) {
        const QString name = QStringLiteral("%1/%2-%3-%4%5%6")
                                 .arg(info.absolutePath(), base, tag, stamp,
                                      n == 1 ? QString() : QStringLiteral("-%1").arg(n), suffix);
        const QByteArray to = QFile::encodeName(name);
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) return name;
        if (errno != EEXIST)
            return Error{protocol::kFailed,
                         QStringLiteral("无法把“%1”移到“%2”：%3").arg(path, name, fileErrorReason(errno)).toStdString(),
                         path.toStdString()};
    }
    return Error{protocol::kFailed, QStringLiteral("无法移开“%1”：同名文件太多。").arg(path).toStdString(),
                 path.toStdString()};
}

}  // namespace tessik::cadhost
