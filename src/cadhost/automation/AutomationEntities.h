#pragma once
// What every entity answers through automation, whatever its kind: its
// class name and type number, its handle, colour (ACI and true colour),
// line type and lineweight as its file has them (a new entity: "by layer"
// until saved, when it gets its handle), Move(from, to) as one undo step,
// and the insertion point and text of the kinds held as shapes that have them.

#include <QHash>
#include <QString>

#include "automation/AutomationDispatcher.h"

namespace tessik::cadhost {

class AutomationEntities {
public:
    static void addEntityMembers(QHash<QString, AutomationDispatcher::Member>& entity);
};

}  // namespace tessik::cadhost
