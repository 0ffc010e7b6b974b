#include "CadSocketPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include "CadErrors.h"

namespace tessik {

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
