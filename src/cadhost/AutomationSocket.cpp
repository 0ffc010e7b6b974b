#include "AutomationSocket.h"

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLockFile>

namespace tessik::cadhost {

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
        if (!QDir().mkpath(folder)) return fail(QStringLiteral("无法创建"));
        ::chmod(native.constData(), 0700);
    }
    struct stat st{};
    if (::lstat(native.constData(), &st) != 0) return fail(QStringLiteral("无法读取属性"));
    if (!S_ISDIR(st.st_mode)) return fail(QStringLiteral("不是文件夹"));
    if (st.st_uid != ::getuid()) return fail(QStringLiteral("属于其他用户"));
    // Only the private folders we create must be closed to others; a folder
    // named through TESSIK_CAD_SOCKET is the caller's choice.
    if (!protocol::socketPathOverridden() && (st.st_mode & 077) != 0)
        return fail(QStringLiteral("其他用户可以访问（权限应为 0700）"));
    return success();
}

InstanceLock::InstanceLock(const QString& socketPath)
    : socketPath_(socketPath), lock_(std::make_unique<QLockFile>(socketPath + QStringLiteral(".lock")))
{
    // Never time a live holder out: only a dead process's lock is stale.
    lock_->setStaleLockTime(0);
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::tryLock() { return lock_->tryLock(0); }

qint64 InstanceLock::holderPid() const
{
    qint64 pid = 0;
    QString host, app;
    lock_->getLockInfo(&pid, &host, &app);
    return pid;
}

void InstanceLock::removeStaleSocket() const { QLocalServer::removeServer(socketPath_); }

}  // namespace tessik::cadhost
