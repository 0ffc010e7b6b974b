#include "CadSocketPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include "CadErrors.h"

namespace tessik {

Status checkSocketOwner(const QString& path)
{
    // The folder first: one that another user owns or can write lets him
    // swap the socket for his own at any moment, whoever owns it now.
    const QString folder = QFileInfo(path).absolutePath();
    struct stat st {};
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0)
        return caderr::cannotCreateObject(QStringLiteral("没有正在运行的 tessik-cad（%1 不存在）").arg(folder).toStdString());
    if (!S_ISDIR(st.st_mode))
        return caderr::cannotCreateObject(QStringLiteral("套接字文件夹 %1 不是文件夹（或是符号链接），拒绝连接").arg(folder).toStdString());
    if (st.st_uid != ::getuid())
        return caderr::cannotCreateObject(
            QStringLiteral("套接字文件夹 %1 属于 uid %2，不属于当前用户，拒绝连接").arg(folder).arg(st.st_uid).toStdString());
    if ((st.st_mode & 022) != 0)
        return caderr::cannotCreateObject(
            QStringLiteral("套接字文件夹 %1 其他用户可以写入（权限 %2），拒绝连接；请执行 chmod 700 \"%1\"")
                .arg(folder, QString::number(st.st_mode & 0777, 8).rightJustified(4, u'0')).toStdString());
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return caderr::cannotCreateObject(QStringLiteral("没有正在运行的 tessik-cad（%1 不存在）").arg(path).toStdString());
    if (!S_ISSOCK(st.st_mode))
        return caderr::cannotCreateObject(QStringLiteral("%1 不是套接字，拒绝连接").arg(path).toStdString());
    if (st.st_uid != ::getuid())
        return caderr::cannotCreateObject(
            QStringLiteral("%1 属于 uid %2，不属于当前用户，拒绝连接").arg(path).arg(st.st_uid).toStdString());
    return success();
}

}  // namespace tessik
