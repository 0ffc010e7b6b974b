// libFuzzer target: any bytes as the request lines a client writes to
// tessik-cad's automation socket, split at '\n' as the server splits them.
// Whatever the plain-line reader accepts must read as the same request
// through Qt's JSON parser; every refusal carries a message, and every
// reply line written for a request reads back as JSON with the request's
// id. Aborts on any broken invariant; the sanitizers catch the rest.

#include <cstdint>
#include <cstdlib>

#include <QByteArrayView>
#include <QJsonDocument>
#include <QJsonObject>

#include "automation/AutomationRequest.h"

using namespace tessik::cadhost;

namespace {

void require(bool condition)
{
    if (!condition) std::abort();
}

void sameRequest(const AutomationRequest& a, const AutomationRequest& b)
{
    require(a.outcome == b.outcome);
    require(a.code == b.code);
    require(a.id == b.id);
    require(a.wantsReply == b.wantsReply);
    require(a.message == b.message);
    require(a.invocation.verb == b.invocation.verb);
    require(a.invocation.target == b.invocation.target);
    require(a.invocation.member == b.invocation.member);
    require(a.invocation.value == b.invocation.value);
    require(a.invocation.args == b.invocation.args);
    for (qsizetype i = 0; i <= a.invocation.args.size(); ++i) {
        require(a.invocation.args.finiteNumber(i) == b.invocation.args.finiteNumber(i));
        double x[3] = {}, y[3] = {};
        const bool read = a.invocation.args.finiteNumbers(i, x, 3);
        require(read == b.invocation.args.finiteNumbers(i, y, 3));
        require(!read || (x[0] == y[0] && x[1] == y[1] && x[2] == y[2]));
    }
}

void replyReadsBack(const QByteArray& reply, const QJsonValue& id)
{
    require(reply.endsWith('\n') && reply.count('\n') == 1);
    QJsonParseError e{};
    const QJsonDocument doc = QJsonDocument::fromJson(reply, &e);
    require(e.error == QJsonParseError::NoError && doc.isObject());
    require(doc.object().value(QLatin1String("id")) == id);
}

void oneLine(QByteArrayView line)
{
    const AutomationRequest r = parseRequest(line);
    if (const std::optional<AutomationRequest> plain = parsePlainRequest(line)) {
        sameRequest(*plain, parseJsonRequest(line));
        sameRequest(*plain, r);
    }
    switch (r.outcome) {
    case AutomationRequest::Outcome::Blank: require(line.trimmed().isEmpty()); break;
    case AutomationRequest::Outcome::Refuse:
        require(!r.message.isEmpty() && r.code != 0);
        replyReadsBack(errorReply(r.id, r.code, r.message), r.id);
        break;
    case AutomationRequest::Outcome::Invoke:
        require(r.invocation.target >= 0 && !r.invocation.member.isEmpty());
        // The reply echoes the id; a value from the request is a fair result.
        replyReadsBack(resultReply(r.id, r.invocation.value), r.id);
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    qsizetype from = 0;
    while (from <= bytes.size()) {
        qsizetype end = bytes.indexOf('\n', from);
        if (end < 0) end = bytes.size();
        oneLine(bytes.sliced(from, end - from));
        from = end + 1;
    }
    return 0;
}
