#pragma once
// Layouts through automation: a document's Layouts collection (Count,
// Item(index or name)), a layout's Name, TabOrder and Block, and a block's
// Name beside the Count and Item every space answers. A layout's block is
// the space of its entities: model space, the active paper layout's
// (PaperSpace) or another layout's; its entities answer as any other.
//
// A layout is named by its place in DrawingDocument::layouts(), a block by
// its space.

#include <QHash>
#include <QString>

#include "automation/AutomationDispatcher.h"

namespace tessik::cadhost {

class AutomationLayouts {
public:
    static QHash<QString, AutomationDispatcher::Member> layoutsMembers();
    static QHash<QString, AutomationDispatcher::Member> layoutMembers();
    // The document's Layouts and a block's Name, added to their tables.
    static void addDocumentMembers(QHash<QString, AutomationDispatcher::Member>& document);
    static void addBlockMembers(QHash<QString, AutomationDispatcher::Member>& block);
};

}  // namespace tessik::cadhost
