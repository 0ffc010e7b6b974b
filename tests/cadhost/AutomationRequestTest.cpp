// Request lines read without a socket, the reply lines read back by Qt's
// own JSON parser, and the JSON reader against Python's json module.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <utility>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "AutomationProtocol.h"
#include "automation/AutomationJsonQt.h"
#include "automation/AutomationRequest.h"

using namespace tessik::cadhost;
using namespace tessik::protocol;
using Outcome = AutomationRequest::Outcome;
using Verb = AutomationVerb;

TEST(AutomationRequest, ReadsWhatEachVerbAsksFor)
{
    const AutomationRequest call = parseRequest(
        R"({"jsonrpc":"2.0","id":7,"method":"CALL","params":{"target":5,"member":"AddLine","args":[[0,0,0],[1,2,0]]}})"
        "\r");
    ASSERT_EQ(call.outcome, Outcome::Invoke);
    EXPECT_TRUE(call.wantsReply);
    EXPECT_EQ(call.id, JsonValue::integer(7));
    EXPECT_EQ(call.invocation.verb, Verb::Call);
    EXPECT_EQ(call.invocation.target, 5);
    EXPECT_EQ(call.invocation.member, "AddLine");
    EXPECT_EQ(call.invocation.args.size(), 2);
    EXPECT_EQ(call.invocation.args.at(1).toArray().at(1).toDouble(), 2);

    const AutomationRequest set =
        parseRequest(R"({"jsonrpc":"2.0","id":"a","method":"set","params":{"target":0,"member":"Visible","value":false}})");
    ASSERT_EQ(set.outcome, Outcome::Invoke);
    EXPECT_EQ(set.invocation.verb, Verb::Set);
    EXPECT_EQ(set.id, JsonValue::string("a"));
    EXPECT_EQ(set.invocation.value, JsonValue::boolean(false));

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
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"\xff\xfe\"}", kParseError, true},
        {R"({"jsonrpc":"2.0","id":1,"method":"get","params":{"target":1e400,"member":"Caption"}})", kParseError, true},
        {R"(5)", kInvalidRequest, true},
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
        EXPECT_FALSE(r.message.empty());
        // An id that was read is echoed; an unusable one becomes null.
        EXPECT_TRUE(r.id.isNull() || r.id == JsonValue::integer(1));
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
            const QJsonObject reply = read(QByteArray::fromStdString(resultReply(fromQJsonValue(id), result)));
            EXPECT_EQ(reply.value(QLatin1String("id")), id);
            EXPECT_EQ(reply.value(QLatin1String("result")), result);
        }
        // A handle written from its two values is the line its object gives.
        for (const auto& [handle, type] : {std::pair<std::int64_t, std::string_view>{12, "AcDbLine"},
                                           {0, "AcadApplication"},
                                           {7, "x\"y\\z"}}) {
            const QJsonObject object{{QStringLiteral("handle"), qint64(handle)},
                                     {QStringLiteral("type"), QString::fromUtf8(type.data(), qsizetype(type.size()))}};
            const std::string line = handleReply(fromQJsonValue(id), handle, type);
            EXPECT_EQ(line, resultReply(fromQJsonValue(id), object));
            EXPECT_EQ(read(QByteArray::fromStdString(line)).value(QLatin1String("result")), QJsonValue(object));
        }
        const QJsonObject error = read(QByteArray::fromStdString(errorReply(fromQJsonValue(id), kDisconnected, "对象 \"3\" 不存在。")))
                                      .value(QLatin1String("error"))
                                      .toObject();
        EXPECT_EQ(error.value(QLatin1String("code")).toInt(), kDisconnected);
        EXPECT_EQ(error.value(QLatin1String("message")).toString(), QStringLiteral("对象 \"3\" 不存在。"));
    }
    // Integer ids and handles of every length, to the ends of 64 bits.
    std::mt19937_64 random(30);
    for (int n = 0; n < 2000; ++n) {
        const int digits = n % 19;
        std::int64_t id = std::int64_t(random() >> (63 - digits * 7 / 2)), handle = std::int64_t(random() >> 1);
        if (n % 2 && id != INT64_MIN) id = -id;
        if (n == 0) id = INT64_MIN, handle = INT64_MAX;
        if (n == 1) id = 0, handle = 0;
        EXPECT_EQ(handleReply(JsonValue::integer(id), handle, "AcDbLine"),
                  "{\"jsonrpc\":\"2.0\",\"id\":" + std::to_string(id) + ",\"result\":{\"handle\":" +
                      std::to_string(handle) + ",\"type\":\"AcDbLine\"}}\n");
    }
}

namespace {

// Lines near valid JSON: seeds with bytes inserted, dropped, replaced and
// repeated, the inserts drawn from what JSON readers disagree on.
const std::vector<std::string> kJsonSeeds = {
    R"({"jsonrpc":"2.0","id":7,"method":"call","params":{"target":5,"member":"AddLine","args":[[0,0,0],[1.5,-2e3,0]]}})",
    R"({"a":[1,{"b":null,"c":[true,false]},"x\n\u00e9\ud83d\ude00"],"a":-0.25E+2,"k":"\"\\\/"})",
    R"([ 1 , 2.0 , -0 , 1e-5 , "图" , { } , [ ] ])",
};

std::vector<std::string> jsonLikeLines(int count, const std::vector<std::string>& seeds = kJsonSeeds)
{
    const char* inserts[] = {"\"", "\\", "\\u", "d800", "dc00", "{", "}", "[", "]", ",", ":", "0", "-", ".",
                             "e", "E", "+", "1e400", "1e-400", "0.000000000000000000000000000000000000001e-300",
                             "true", "nul", "\x01", "\xc3\xa9", "\xe5\x9b\xbe", "\xf0\x9f\x98\x80", "\xc0\xaf",
                             "\xed\xa0\x80", "\xff", " ", "\t", "NaN", "Infinity", "12345678901234567890",
                             "-9223372036854775808", "9223372036854775808", "0.1", "1E+2", "\"\\ud83d\\ude00\""};
    std::mt19937 random(20261211);
    std::vector<std::string> lines;
    for (int n = 0; n < count; ++n) {
        std::string line = seeds[random() % seeds.size()];
        for (int m = int(random() % 4); m >= 0; --m) {
            const std::size_t at = random() % (line.size() + 1);
            switch (random() % 4) {
            case 0: line.insert(at, inserts[random() % std::size(inserts)]); break;
            case 1: line.erase(at, random() % 4); break;
            case 2:
                if (at < line.size()) line[at] = inserts[random() % std::size(inserts)][0];
                break;
            default: line.insert(at, line.substr(at, random() % 12));
            }
        }
        lines.push_back(std::move(line));
    }
    // Nesting around the reader's limit.
    for (const int depth : {kMaxJsonDepth - 1, kMaxJsonDepth, kMaxJsonDepth + 1})
        lines.push_back(std::string(std::size_t(depth), '[') + std::string(std::size_t(depth), ']'));
    return lines;
}

std::string hex(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out.empty() ? std::string("-") : out;
}

// Python's json (strict: no NaN or Infinity, no control characters in
// strings) reads each line; where it takes what a strict reader must refuse
// (a number past a double's range, a lone surrogate, nesting past our limit)
// the line counts as refused, even in a value a repeated key replaces.
// Prints a line for each disagreement.
constexpr char kPythonJudge[] = R"PY(
import json, math, sys
ERR = object()
def norm(v):
    if isinstance(v, bool): return v
    if isinstance(v, int): return float(v) if abs(v) >= 2**63 else v
    if isinstance(v, list): return [norm(x) for x in v]
    if isinstance(v, dict): return {k: norm(x) for k, x in v.items()}
    return v
def refused(v, depth=0):
    if isinstance(v, float): return not math.isfinite(v)
    if isinstance(v, str): return any(0xd800 <= ord(c) <= 0xdfff for c in v)
    if isinstance(v, (list, dict)):
        if depth >= 128: return True
        items = list(v.items()) if isinstance(v, dict) else [(None, x) for x in v]
        return any((k is not None and refused(k)) or refused(x, depth + 1) for k, x in items)
    return False
def pairs(items):
    # A value a later key replaces is read all the same.
    if any(refused(k) or refused(x) for k, x in items): raise ValueError('refused')
    return dict(items)
def read(data):
    try:
        v = json.loads(data.decode('utf-8'), object_pairs_hook=pairs,
                       parse_constant=lambda name: (_ for _ in ()).throw(ValueError(name)))
    except (ValueError, RecursionError):
        return ERR
    return ERR if refused(v) else norm(v)
bad = 0
for record in open(sys.argv[1]):
    line, mine = record.split()
    src = b'' if line == '-' else bytes.fromhex(line)
    theirs = read(src)
    ours = ERR if mine == 'E' else read(bytes.fromhex(mine))
    if (theirs is ERR) != (ours is ERR) or (theirs is not ERR and theirs != ours):
        bad += 1
        print('disagree:', repr(src), 'python' , 'refuses' if theirs is ERR else 'reads', file=sys.stdout)
print('checked', sum(1 for _ in open(sys.argv[1])), 'disagreements', bad)
)PY";

}  // namespace

// The JSON reader against an independent one, on lines near valid JSON:
// the same lines refused, and the others read as the same values (what the
// reader read, written back, reads in Python as what Python read).
TEST(JsonReader, AgreesWithPythonsJsonModule)
{
    const std::string folder = ::testing::TempDir();
    const std::string records = folder + "/json_judge_records.txt", script = folder + "/json_judge.py";
    {
        std::FILE* f = std::fopen(script.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(kPythonJudge, f);
        std::fclose(f);
    }
    std::FILE* f = std::fopen(records.c_str(), "w");
    ASSERT_NE(f, nullptr);
    int read = 0;
    for (const std::string& line : jsonLikeLines(6000)) {
        JsonError error;
        const JsonValue value = readJson(line, error);
        std::string written;
        if (!value.isUndefined()) {
            appendJson(written, value);
            ++read;
        } else {
            EXPECT_LE(error.offset, line.size());
            EXPECT_FALSE(error.what.empty());
        }
        std::fprintf(f, "%s %s\n", hex(line).c_str(), value.isUndefined() ? "E" : hex(written).c_str());
    }
    std::fclose(f);
    // Enough of both kinds that the comparison means something.
    EXPECT_GT(read, 600);
    EXPECT_LT(read, 5400);

    std::FILE* judge = ::popen(("python3 '" + script + "' '" + records + "' 2>&1").c_str(), "r");
    ASSERT_NE(judge, nullptr);
    std::string said;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, judge)) said += buffer;
    EXPECT_EQ(::pclose(judge), 0) << said;
    EXPECT_NE(said.find("disagreements 0"), std::string::npos) << said;
}

// Numbers read exactly: integers that fit 64 bits as themselves, every other
// number as the nearest double (what strtod in the C locale gives), one past
// a double's range refused and one below it read as zero.
TEST(JsonReader, ReadsNumbersExactly)
{
    const auto read = [](const char* text) {
        JsonError e;
        return readJson(text, e);
    };
    EXPECT_EQ(read("9223372036854775807").toInteger(), INT64_MAX);
    EXPECT_EQ(read("-9223372036854775808").toInteger(), INT64_MIN);
    EXPECT_FALSE(read("9223372036854775808").isInteger());
    EXPECT_EQ(read("9223372036854775808").toDouble(), 9223372036854775808.0);
    for (const char* text : {"0.1", "2.2250738585072011e-308", "4.9e-324", "1.7976931348623157e308", "-123.456e-7",
                             "9007199254740993", "0.30000000000000004"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(read(text).toDouble(), std::strtod(text, nullptr));
    }
    EXPECT_TRUE(read("1e309").isUndefined());
    EXPECT_EQ(read("1e-400").toDouble(), 0.0);
    EXPECT_EQ(read("1.5e-400").toDouble(), 0.0);
    EXPECT_TRUE(std::signbit(read("-1e-400").toDouble()));
}

namespace {

// The finite-number readers of one request's args give what they give on
// the tree's args of the same line, to the bit (-0 is not 0).
void expectSameNumbers(const AutomationArgs& direct, const AutomationArgs& tree, const std::string& line)
{
    for (std::ptrdiff_t i = -1; i <= tree.size(); ++i) {
        const std::optional<double> x = direct.finiteNumber(i), y = tree.finiteNumber(i);
        ASSERT_EQ(x.has_value(), y.has_value()) << line;
        if (x) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(*x), std::bit_cast<std::uint64_t>(*y)) << line;
        }
        for (const std::ptrdiff_t count : {0, 2, 3}) {
            double a[3] = {}, b[3] = {};
            const bool read = direct.finiteNumbers(i, a, count);
            ASSERT_EQ(read, tree.finiteNumbers(i, b, count)) << line;
            if (read) {
                EXPECT_EQ(std::memcmp(a, b, sizeof a), 0) << line;
            }
        }
    }
}

}  // namespace

// parseRequest reads the usual request without a tree of the line, and
// args of the usual shapes without JsonValues: on requests of every verb
// and key order, and on lines near them (keys repeated, escaped, unknown;
// values of the wrong kind; args of every shape, too many of them, numbers
// at the edges of what a double holds), it answers exactly as the tree's
// reader does, and its args read as the tree's do.
TEST(AutomationRequest, DirectReaderAnswersAsTheTree)
{
    const std::vector<std::string> seeds = {
        R"({"jsonrpc":"2.0","id":7,"method":"call","params":{"target":5,"member":"AddLine","args":[[0,0,0],[1.5,-2e3,0]]}})",
        R"( { "params" : { "args" : null , "member" : "Item" , "target" : 3.0 } , "method" : "CALL" , "jsonrpc" : "2.0" } )",
        R"({"jsonrpc":"2.0","id":"a\"b","method":"set","params":{"target":9,"member":"Color","value":{"r":[1,2],"r":3}}})" "\r",
        R"({"jsonrpc":"2.0","id":null,"method":"get","params":{"member":"Name","target":0,"args":7,"value":[]}})",
        R"({"id":-1,"jsonrpc":"2.0","method":"call","params":{"target":1e3,"member":"\u0041dd","args":[]},"x":1})",
        R"({"jsonrpc":"2.0","id":8,"method":"call","params":{"target":2,"member":"AddText","args":["a b",[1,-0,2.5e-3],0.5,true,null,[]]}})",
        R"({"jsonrpc":"2.0","id":9,"method":"call","params":{"args":[ [ 9007199254740992 , -9007199254740993 ] , 1E300 , "\u00e9" , false , [1,2,3,4] , [[1]] , -7 ],"target":2,"member":"X"}})",
        R"({"jsonrpc":"2.0","id":10,"method":"call","params":{"target":2,"member":"AddArc","args":[[0.1,-1e-310,4.9e-324],1.7976931348623157e308,0,-0.0]}})",
    };
    std::size_t invoked = 0, refused = 0;
    for (const std::string& line : jsonLikeLines(30000, seeds)) {
        const AutomationRequest direct = parseRequest(line);
        const AutomationRequest tree = parseRequestByTree(line);
        ASSERT_EQ(direct, tree) << line;
        expectSameNumbers(direct.invocation.args, tree.invocation.args, line);
        // Args copied keep what they hold.
        const AutomationArgs copy = direct.invocation.args;
        ASSERT_EQ(copy, tree.invocation.args) << line;
        expectSameNumbers(copy, tree.invocation.args, line);
        (direct.outcome == AutomationRequest::Outcome::Invoke ? invoked : refused) += 1;
    }
    // The lines reach both sides of every check.
    EXPECT_GT(invoked, 800u);
    EXPECT_GT(refused, 7000u);
}
