// Request lines read without a socket, and the reply lines read back by
// Qt's own JSON parser.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "AutomationProtocol.h"
#include "automation/AutomationRequest.h"

using namespace tessik::cadhost;
using namespace tessik::protocol;
using Outcome = AutomationRequest::Outcome;
using Verb = AutomationDispatcher::Verb;

TEST(AutomationRequest, ReadsWhatEachVerbAsksFor)
{
    const AutomationRequest call = parseRequest(
        R"({"jsonrpc":"2.0","id":7,"method":"CALL","params":{"target":5,"member":"AddLine","args":[[0,0,0],[1,2,0]]}})"
        "\r");
    ASSERT_EQ(call.outcome, Outcome::Invoke);
    EXPECT_TRUE(call.wantsReply);
    EXPECT_EQ(call.id, QJsonValue(7));
    EXPECT_EQ(call.invocation.verb, Verb::Call);
    EXPECT_EQ(call.invocation.target, 5);
    EXPECT_EQ(call.invocation.member, QStringLiteral("AddLine"));
    EXPECT_EQ(call.invocation.args.size(), 2);
    EXPECT_EQ(call.invocation.args.at(1).toArray().at(1).toDouble(), 2);

    const AutomationRequest set =
        parseRequest(R"({"jsonrpc":"2.0","id":"a","method":"set","params":{"target":0,"member":"Visible","value":false}})");
    ASSERT_EQ(set.outcome, Outcome::Invoke);
    EXPECT_EQ(set.invocation.verb, Verb::Set);
    EXPECT_EQ(set.id, QJsonValue(QStringLiteral("a")));
    EXPECT_EQ(set.invocation.value, QJsonValue(false));

    // No id: a notification, carried out and never answered; no args: none.
    const AutomationRequest note =
        parseRequest(R"({"jsonrpc":"2.0","method":"call","params":{"target":0,"member":"Quit"}})");
    ASSERT_EQ(note.outcome, Outcome::Invoke);
    EXPECT_FALSE(note.wantsReply);
    EXPECT_TRUE(note.invocation.args.isEmpty());

    EXPECT_EQ(parseRequest(" \t\r").outcome, Outcome::Blank);
    EXPECT_EQ(parseRequest("").outcome, Outcome::Blank);
}

TEST(AutomationRequest, RefusesBadLinesWithTheRightNumberAndOnlyAnswersRequests)
{
    struct Row {
        const char* line;
        std::int32_t code;
        bool wantsReply;
    };
    const Row rows[] = {
        {R"({"jsonrpc":"2.0","id":1,"method":)", kParseError, true},
        {R"([1,2])", kInvalidRequest, true},
        {R"({"jsonrpc":"2.0","id":[1],"method":"get","params":{"target":0,"member":"Caption"}})", kInvalidRequest, true},
        {R"({"jsonrpc":"1.0","id":1,"method":"get","params":{"target":0,"member":"Caption"}})", kInvalidRequest, true},
        {R"({"jsonrpc":"2.0","id":1,"params":{"target":0,"member":"Caption"}})", kInvalidRequest, true},
        {R"({"jsonrpc":"2.0","id":1,"method":"put","params":{"target":0,"member":"Caption"}})", kMethodNotFound, true},
        {R"({"jsonrpc":"2.0","method":"put","params":{"target":0,"member":"Caption"}})", kMethodNotFound, false},
        {R"({"jsonrpc":"2.0","id":1,"method":"get","params":[0]})", kInvalidParams, true},
        {R"({"jsonrpc":"2.0","id":1,"method":"get","params":{"target":-1,"member":"Caption"}})", kInvalidParams, true},
        {R"({"jsonrpc":"2.0","id":1,"method":"get","params":{"target":1.5,"member":"Caption"}})", kInvalidParams, true},
        {R"({"jsonrpc":"2.0","id":1,"method":"get","params":{"target":1e300,"member":"Caption"}})", kInvalidParams, true},
        {R"({"jsonrpc":"2.0","id":1,"method":"get","params":{"target":0,"member":""}})", kInvalidParams, true},
        {R"({"jsonrpc":"2.0","id":1,"method":"set","params":{"target":0,"member":"Visible"}})", kInvalidParams, true},
        {R"({"jsonrpc":"2.0","id":1,"method":"call","params":{"target":0,"member":"Quit","args":{}}})", kInvalidParams, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        const AutomationRequest r = parseRequest(row.line);
        ASSERT_EQ(r.outcome, Outcome::Refuse);
        EXPECT_EQ(r.code, row.code);
        EXPECT_EQ(r.wantsReply, row.wantsReply);
        EXPECT_FALSE(r.message.isEmpty());
        // An id that was read is echoed; an unusable one becomes null.
        EXPECT_TRUE(r.id.isNull() || r.id == QJsonValue(1));
    }
}

TEST(AutomationRequest, ReplyLinesReadBackAsTheValuesTheyCarry)
{
    const QJsonValue ids[] = {QJsonValue(), QJsonValue(0), QJsonValue(-42), QJsonValue(9007199254740991.0),
                              QJsonValue(2.5), QJsonValue(1e20), QJsonValue(QStringLiteral("x\"y\\z\n\t图"))};
    const QJsonValue results[] = {QJsonValue(), QJsonValue(true), QJsonValue(123456), QJsonValue(-0.125),
                                  QJsonValue(QStringLiteral("标题 \u0001")),
                                  QJsonObject{{QStringLiteral("handle"), 12}, {QStringLiteral("type"), QStringLiteral("Line")}},
                                  QJsonArray{1.5, QStringLiteral("a"), QJsonValue()}};
    const auto read = [](const QByteArray& line) {
        EXPECT_TRUE(line.endsWith('\n'));
        EXPECT_EQ(line.count('\n'), 1);
        QJsonParseError e{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &e);
        EXPECT_EQ(e.error, QJsonParseError::NoError) << line.constData();
        EXPECT_EQ(doc.object().value(QLatin1String("jsonrpc")), QJsonValue(QStringLiteral("2.0")));
        return doc.object();
    };
    for (const QJsonValue& id : ids) {
        for (const QJsonValue& result : results) {
            const QJsonObject reply = read(resultReply(id, result));
            EXPECT_EQ(reply.value(QLatin1String("id")), id);
            EXPECT_EQ(reply.value(QLatin1String("result")), result);
        }
        // A handle written from its two values is the line its object gives.
        for (const auto& [handle, type] : {std::pair<std::int64_t, std::string_view>{12, "AcDbLine"},
                                           {0, "AcadApplication"},
                                           {7, "x\"y\\z"}}) {
            const QJsonObject object{{QStringLiteral("handle"), qint64(handle)},
                                     {QStringLiteral("type"), QString::fromUtf8(type.data(), qsizetype(type.size()))}};
            EXPECT_EQ(handleReply(id, handle, type), resultReply(id, object));
            EXPECT_EQ(read(handleReply(id, handle, type)).value(QLatin1String("result")), QJsonValue(object));
        }
        const QJsonObject error = read(errorReply(id, kDisconnected, QStringLiteral("对象 \"3\" 不存在。")))
                                      .value(QLatin1String("error"))
                                      .toObject();
        EXPECT_EQ(error.value(QLatin1String("code")).toInt(), kDisconnected);
        EXPECT_EQ(error.value(QLatin1String("message")).toString(), QStringLiteral("对象 \"3\" 不存在。"));
    }
}

// Lines in every shape a client may write them (number spellings, spacing,
// key order, extra keys, nesting, escapes) read into what the same line reads
// as through Qt's own parser, which an escaped extra key forces.
TEST(AutomationRequest, ReadsEveryLineAsQtsParserDoes)
{
    const char* numbers[] = {"0", "-0", "7", "-12", "1.5", "-0.25", "1e3", "2E-2", "1.5e+2", "123456789012345678",
                             "9007199254740993", "99999999999999999999", "1e400", "01", ".5", "1.", "-", "+1"};
    const char* ids[] = {"3", "\"a b\"", "\"\\u56fe\"", "null", "1.5", "[1]"};
    const char* args[] = {"[[N,0,0],[1,N,0]]", "[ N , [ ] , true , false , null ]", "[\"x\\ny\",\"图\"]",
                          "[{\"k\":N}]", "[[[[[[[[[[N]]]]]]]]]]", "[N,]", "N", "tru"};
    for (const char* number : numbers) {
        for (const char* id : ids) {
            for (const char* a : args) {
                const QByteArray arg = QByteArray(a).replace("N", number);
                for (const QByteArray& line :
                     {"{\"jsonrpc\":\"2.0\",\"id\":" + QByteArray(id) + ",\"method\":\"call\",\"params\":{\"target\":" +
                          number + ",\"member\":\"M\",\"args\":" + arg + "}}",
                      " { \"params\" : { \"value\" : " + arg + " , \"x\":{\"y\":[1]}, \"member\" : \"M\" , \"target\" : 5 } ,"
                          "\"method\":\"set\", \"id\" : " + id + ", \"jsonrpc\" : \"2.0\" }",
                      "{\"jsonrpc\":\"2.0\",\"id\":1,\"id\":" + QByteArray(id) + ",\"method\":\"get\",\"params\":{\"target\":"
                          "1,\"member\":\"A\",\"target\":" + number + "}}"}) {
                    SCOPED_TRACE(line.constData());
                    const AutomationRequest mine = parseRequest(line);
                    const qsizetype brace = line.lastIndexOf('}');
                    const AutomationRequest judge =
                        parseRequest(line.left(brace) + ",\"z\":\"\\u0041\"" + line.mid(brace));
                    ASSERT_EQ(mine.outcome, judge.outcome);
                    EXPECT_EQ(mine.code, judge.code);
                    EXPECT_EQ(mine.id, judge.id);
                    EXPECT_EQ(mine.wantsReply, judge.wantsReply);
                    EXPECT_EQ(mine.invocation.verb, judge.invocation.verb);
                    EXPECT_EQ(mine.invocation.target, judge.invocation.target);
                    EXPECT_EQ(mine.invocation.member, judge.invocation.member);
                    EXPECT_EQ(mine.invocation.value, judge.invocation.value);
                    EXPECT_EQ(mine.invocation.args, judge.invocation.args);
                    // The members' readings of each argument, from the plain
                    // reader's values and from Qt's array.
                    for (qsizetype i = 0; i <= judge.invocation.args.size(); ++i) {
                        EXPECT_EQ(mine.invocation.args.finiteNumber(i), judge.invocation.args.finiteNumber(i));
                        double a[3] = {}, b[3] = {};
                        const bool readA = mine.invocation.args.finiteNumbers(i, a, 3);
                        ASSERT_EQ(readA, judge.invocation.args.finiteNumbers(i, b, 3));
                        if (readA) {
                            EXPECT_TRUE(std::equal(a, a + 3, b));
                        }
                    }
                }
            }
        }
    }
}
