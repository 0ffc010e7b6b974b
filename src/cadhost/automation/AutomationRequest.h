#pragma once
// One request line of the automation protocol read into an Invocation, with
// no socket and no drawing involved: what the line asks for, or why it is
// refused and whether the refusal gets a reply (a request without an "id" is
// a notification and is never answered, unless its id could not be read at
// all).

#include <cstdint>
#include <string_view>
#include <optional>

#include <QByteArrayView>
#include <QJsonValue>
#include <QString>

#include "automation/AutomationDispatcher.h"

namespace tessik::cadhost {

struct AutomationRequest {
    enum class Outcome { Blank, Invoke, Refuse };
    Outcome outcome = Outcome::Blank;
    QJsonValue id;               // Null when absent or unusable
    bool wantsReply = false;     // false for notifications
    AutomationDispatcher::Invocation invocation;  // Invoke
    std::int32_t code = 0;       // Refuse
    QString message;             // Refuse
};

// line: without its '\n'; a trailing '\r' is ignored, and a blank line is
// Blank.
AutomationRequest parseRequest(QByteArrayView line);

// The two readers parseRequest chooses between, each on its own so one can
// be checked against the other: the fast reader of plain lines (nullopt for
// any line it leaves to the full parser), and Qt's JSON parser. Both take
// the line as parseRequest does, blank lines aside.
std::optional<AutomationRequest> parsePlainRequest(QByteArrayView line);
AutomationRequest parseJsonRequest(QByteArrayView line);

// The reply envelopes, each one line ending in '\n'. id must be a number, a
// string or Null.
QByteArray resultReply(const QJsonValue& id, const QJsonValue& result);
// The same line for a result {"handle": handle, "type": type}, written from
// the two values.
QByteArray handleReply(const QJsonValue& id, std::int64_t handle, std::string_view type);
QByteArray errorReply(const QJsonValue& id, std::int32_t code, const QString& message);

}  // namespace tessik::cadhost
