#pragma once
// The errors tessik-cad's automation interface answers with: the numbers of
// AutomationProtocol.h, the descriptions Chinese, as the user interface is.

#include <cstdint>

#include <QJsonArray>

#include "automation/AutomationArgs.h"
#include <QJsonValue>
#include <QString>

#include "AutomationProtocol.h"
#include "Error.h"

namespace tessik::cadhost::automation {

using namespace protocol;

inline Error error(std::int32_t number, const QString& description)
{
    return Error{number, description.toStdString(), {}};
}

inline Error invalid(const QString& why)
{
    return error(kInvalidArgument, QStringLiteral("参数无效：%1").arg(why));
}

inline Result<QString> text(const QJsonValue& v, const char* what)
{
    if (!v.isString()) return invalid(QStringLiteral("%1必须是字符串。").arg(QString::fromUtf8(what)));
    return v.toString();
}

inline Status argCount(const AutomationArgs& args, int min, int max)
{
    if (args.size() < min || args.size() > max) return error(kBadParamCount, QStringLiteral("参数个数不正确。"));
    return success();
}

}  // namespace tessik::cadhost::automation
