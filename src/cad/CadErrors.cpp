#include "CadErrors.h"

namespace tessik::caderr {

Error cannotCreateObject(const std::string& why)
{
    return Error{kCannotCreateObject, "无法连接 CAD 程序：" + why, {}};
}

Error launchFailed(const std::string& why)
{
    return Error{kCannotCreateObject,
                 "CAD 程序 tessik-cad 未能启动（错误 " + std::to_string(kCannotCreateObject) + "）：" + why, {}};
}

Error objectNotSet(const std::string& member) { return Error{kObjectNotSet, "对象变量未设置", member}; }

Error serverUnavailable(const std::string& why)
{
    return Error{kServerUnavailable, "与 CAD 程序的连接已断开：" + why, {}};
}

Error invalidArgument(const std::string& member)
{
    return Error{kInvalidArgument, "无效的参数（" + member + "）", member};
}

Error objectChanged(const std::string& member)
{
    return Error{kObjectChanged, "绘图过程中当前图形已改变，此图元未画入当前图形", member};
}

Error activationFailed(const std::string& title)
{
    return Error{kActivationFailed, "无法激活窗口“" + title + "”", title};
}

}  // namespace tessik::caderr
