#include "automation/AutomationDocuments.h"

#include <cmath>

#include <QFileInfo>

#include "automation/AutomationMemberTypes.h"
#include "model/DxfFile.h"

namespace tessik::cadhost {

using namespace members;

namespace {

QJsonValue documentHandle(Context& c)
{
    return c.handle(ObjectRef{Kind::Document, c.session.document()->serial(), 0, 0});
}

// Replacing a drawing with unsaved changes would lose them.
Status mayReplace(const CadSession& session)
{
    const DrawingDocument* open = session.document();
    if (!open || !open->modified()) return success();
    return error(kFailed, QStringLiteral("图形“%1”有未保存的修改：请先保存，或用 Close(true/false) 说明是否保存。")
                              .arg(open->name()));
}

Result<QJsonValue> add(Context& c, const AutomationArgs& args)
{
    // Add([templateName]): a template is not supported; null or "" means none.
    if (Status s = argCount(args, 0, 1); !s) return s.error();
    if (!args.isEmpty() && !args[0].isNull() && !(args[0].isString() && args[0].toString().isEmpty()))
        return invalid(QStringLiteral("不支持样板图形，请不带参数调用 Add()。"));
    if (Status s = mayReplace(c.session); !s) return s.error();
    c.session.newDocument();
    return documentHandle(c);
}

Result<QJsonValue> open(Context& c, const AutomationArgs& args)
{
    // Open(path[, readOnly]): readOnly is taken for the sake of callers
    // written for other CAD programs; tessik-cad has no read-only drawings.
    if (Status s = argCount(args, 1, 2); !s) return s.error();
    auto path = text(args[0], "文件名");
    if (!path) return path.error();
    if (path->trimmed().isEmpty()) return invalid(QStringLiteral("文件名为空。"));
    if (args.size() > 1 && !args[1].isNull() && !args[1].isBool())
        return invalid(QStringLiteral("ReadOnly 必须是布尔值。"));
    const QString absolute = QFileInfo(*path).absoluteFilePath();
    if (QFileInfo(absolute).isDir()) return invalid(QStringLiteral("“%1”是文件夹。").arg(*path));
    if (Status s = mayReplace(c.session); !s) return s.error();
    auto read = c.session.openDocument(absolute);
    // The open drawing stays when the file cannot be read.
    if (!read) return error(kFailed, QString::fromStdString(read.error().description));
    emit c.session.message(QStringLiteral("已打开“%1”：%2 个对象。").arg(absolute).arg(read->read));
    return documentHandle(c);
}

}  // namespace

QHash<QString, Member> AutomationDocuments::members()
{
    QHash<QString, Member> m;
    m[memberKey(member::kCount)].get = [](Context& c) -> Result<QJsonValue> { return QJsonValue(c.session.document() ? 1 : 0); };
    m[memberKey(member::kItem)].call = [](Context& c, const AutomationArgs& args) -> Result<QJsonValue> {
        if (Status s = argCount(args, 1, 1); !s) return s.error();
        const int count = c.session.document() ? 1 : 0;
        const QJsonValue v = args[0];
        if (!v.isDouble() || v.toDouble() != std::floor(v.toDouble()) || v.toDouble() < 0 || v.toDouble() >= count)
            return invalid(count == 0 ? QStringLiteral("没有打开的图形。")
                                      : QStringLiteral("索引超出范围（0 到 %1）。").arg(count - 1));
        return documentHandle(c);
    };
    m[memberKey(member::kAdd)].call = add;
    m[memberKey(member::kOpen)].call = open;
    return m;
}

}  // namespace tessik::cadhost
