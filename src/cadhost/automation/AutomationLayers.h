#pragma once
// Layers through automation: a document's Layers collection with Add(name),
// a layer's Color (a colour index, 1 to 255) and every new entity's Layer.
// A layer added here is written into the file's layer table when the drawing
// is saved; a layer the file already has is answered by Add but keeps its
// own colour, and an entity read from the file keeps its own layer.

#include <QHash>
#include <QString>

#include "automation/AutomationDispatcher.h"

namespace tessik::cadhost {

class AutomationLayers {
public:
    static QHash<QString, AutomationDispatcher::Member> layersMembers();
    static QHash<QString, AutomationDispatcher::Member> layerMembers();
    // The document's Layers and the entity's Layer, added to their tables.
    static void addDocumentMembers(QHash<QString, AutomationDispatcher::Member>& document);
    static void addEntityMembers(QHash<QString, AutomationDispatcher::Member>& entity);
};

}  // namespace tessik::cadhost
