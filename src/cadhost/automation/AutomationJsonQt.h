#pragma once
// Where the request reader's plain JSON meets Qt's: the dispatcher's members
// take and answer QJsonValues, the reader and the reply writer work on
// JsonValues and bytes. Conversions both ways, and the reply line for a
// result held as a QJsonValue.

#include <string>

#include <QJsonValue>

#include "automation/JsonValue.h"

namespace tessik::cadhost {

QJsonValue toQJsonValue(const JsonValue& value);
JsonValue fromQJsonValue(const QJsonValue& value);

// resultReply (AutomationRequest.h) for a result the dispatcher gave.
std::string resultReply(const JsonValue& id, const QJsonValue& result);

}  // namespace tessik::cadhost
