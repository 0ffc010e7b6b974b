#include "CadErrors.h"

namespace tessik::caderr {

namespace {
Error make(std::int32_t number, const QString& description, const QString& source)
{
    return Error{number, description.toStdString(), source.toStdString()};
}
}  // namespace

Error cannotCreateObject(const QString& why)
{
    return make(kCannotCreateObject, QStringLiteral("无法连接 CAD 程序：%1").arg(why), QString());
}

Error launchFailed(const QString& why)
{
    return make(kCannotCreateObject,
                QStringLiteral("CAD 程序 tessik-cad 未能启动（错误 %1）：%2").arg(kCannotCreateObject).arg(why), QString());
}

Error objectNotSet(const QString& member)
{
    return make(kObjectNotSet, QStringLiteral("对象变量未设置"), member);
}

Error serverUnavailable(const QString& why)
{
    return make(kServerUnavailable, QStringLiteral("与 CAD 程序的连接已断开：%1").arg(why), QString());
}

Error invalidArgument(const QString& member)
{
    return make(kInvalidArgument, QStringLiteral("无效的参数（%1）").arg(member), member);
}

Error objectChanged(const QString& member)
{
    return make(kObjectChanged, QStringLiteral("绘图过程中当前图形已改变，此图元未画入当前图形"), member);
}

Error activationFailed(const QString& title)
{
    return make(kActivationFailed, QStringLiteral("无法激活窗口“%1”").arg(title), title);
}

}  // namespace tessik::caderr
