#pragma once
// What every entity answers through automation, whatever its kind: its
// class name and type number, its handle, colour (ACI and true colour),
// line type and lineweight as its file has them or as set since (each set
// one undo step, checked as the commercial CAD checks it; a new entity has
// its handle from the moment it is made), Move(from, to) as one undo step,
// and the insertion point and text of the kinds held as shapes that have them.

#include <functional>

#include <QHash>
#include <QString>

#include "automation/AutomationDispatcher.h"
#include "model/ModelNames.h"

namespace tessik::cadhost {

class AutomationEntities {
public:
    static void addEntityMembers(QHash<QString, AutomationDispatcher::Member>& entity);
    // Changes the entity's common groups as one undo step; refused for a
    // record whose groups sit where they cannot be written over in place.
    static Status restyle(AutomationDispatcher::Context& c, const std::function<void(CommonGroups&)>& change);
};

}  // namespace tessik::cadhost
