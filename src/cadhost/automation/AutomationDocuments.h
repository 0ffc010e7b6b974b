#pragma once
// The application's Documents collection: Count, Item(index), Add() and
// Open(path). tessik-cad holds one drawing at a time, so the collection holds
// the open drawing or nothing, and Add or Open replace it. Neither drops
// unsaved changes: with the open drawing modified they fail, as Close()
// without its argument does, and the caller closes it first, saying whether
// to save.

#include <QHash>
#include <QString>

#include "automation/AutomationDispatcher.h"

namespace tessik::cadhost {

class AutomationDocuments {
public:
    static QHash<QString, AutomationDispatcher::Member> members();
};

}  // namespace tessik::cadhost
