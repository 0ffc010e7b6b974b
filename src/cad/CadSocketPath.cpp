#include "CadSocketPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include "CadErrors.h"

namespace tessik {

QString tessikCadSocketPath()
{
    const QString override = qEnvironmentVariable("TESSIK_CAD_SOCKET");
    if (!override.isEmpty()) return override;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) return runtime + QStringLiteral("/tessik/cad.sock");
    return QStringLiteral("/tmp/tessik-%1/cad.sock").arg(::getuid());
}

Status checkSocketOwner(const QString& path)
{
    struct stat st {};
    if (::stat(path.toLocal8Bit().constData(), &st) != 0)
        return caderr::cannotCreateObject(QStringLiteral("没有正在运行的 tessik-cad（%1 不存在）").arg(path));
    if (st.st_uid != ::getuid())
        return caderr::cannotCreateObject(QStringLiteral("%1 不属于当前用户，拒绝连接").arg(path));
    return success();
}

}  // namespace tessik
