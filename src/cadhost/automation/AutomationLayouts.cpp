#include "automation/AutomationLayouts.h"

#include <cmath>

#include "automation/AutomationMemberTypes.h"

namespace tessik::cadhost {

using namespace members;

namespace {

QString qtext(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

QHash<QString, Member> AutomationLayouts::layoutsMembers()
{
    QHash<QString, Member> m;
    m[memberKey(member::kCount)].get = [](Context& c) -> Result<QJsonValue> {
        return QJsonValue(static_cast<int>(c.document->layouts().size()));
    };
    m[memberKey(member::kItem)].call = [](Context& c, const AutomationArgs& args) -> Result<QJsonValue> {
        if (Status s = argCount(args, 1, 1); !s) return s.error();
        const auto layouts = c.document->layouts();
        const QJsonValue v = args[0];
        if (v.isString()) {
            for (std::size_t i = 0; i < layouts.size(); ++i)
                if (qtext(layouts[i].name).compare(v.toString(), Qt::CaseInsensitive) == 0)
                    return c.handle(c.child(Kind::Layout, 0, static_cast<int>(i)));
            return invalid(QStringLiteral("图形中没有布局“%1”。").arg(v.toString()));
        }
        const int count = static_cast<int>(layouts.size());
        if (!v.isDouble() || v.toDouble() != std::floor(v.toDouble()) || v.toDouble() < 0 || v.toDouble() >= count)
            return invalid(QStringLiteral("索引超出范围（0 到 %1），或应是布局名。").arg(count - 1));
        return c.handle(c.child(Kind::Layout, 0, v.toInt()));
    };
    return m;
}

QHash<QString, Member> AutomationLayouts::layoutMembers()
{
    // The layout list is the file's, fixed while the drawing is open.
    const auto layout = [](const Context& c) { return c.document->layouts()[static_cast<std::size_t>(c.ref.index)]; };
    QHash<QString, Member> m;
    m[memberKey(member::kName)].get = [layout](Context& c) -> Result<QJsonValue> {
        return QJsonValue(qtext(layout(c).name));
    };
    m[memberKey(member::kTabOrder)].get = [layout](Context& c) -> Result<QJsonValue> {
        return QJsonValue(layout(c).tabOrder);
    };
    m[memberKey(member::kBlock)].get = [layout](Context& c) -> Result<QJsonValue> {
        return c.handle(c.child(Kind::Block, static_cast<int>(layout(c).space)));
    };
    return m;
}

void AutomationLayouts::addDocumentMembers(QHash<QString, Member>& m)
{
    m[memberKey(member::kLayouts)].get = [](Context& c) {
        return Result<QJsonValue>(c.handle(c.child(Kind::Layouts)));
    };
}

void AutomationLayouts::addBlockMembers(QHash<QString, Member>& m)
{
    m[memberKey(member::kName)].get = [](Context& c) -> Result<QJsonValue> {
        for (const DrawingDocument::LayoutEntry& l : c.document->layouts())
            if (l.space == c.space()) return QJsonValue(qtext(l.block));
        return QJsonValue(c.space() == SpaceKind::Model ? QStringLiteral("*Model_Space") : QStringLiteral("*Paper_Space"));
    };
}

}  // namespace tessik::cadhost
