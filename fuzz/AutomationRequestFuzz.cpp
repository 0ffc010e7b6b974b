// libFuzzer target: any bytes as the request lines a client writes to
// tessik-cad's automation socket, split at '\n' as the server splits them.
// Every line that reads as JSON writes back as JSON that reads as the same
// value; every line gets the answer readJson's tree of it gives; every refusal carries a message, and every reply line written for
// a request reads back as JSON with the request's id (and, for a result,
// the value it carries). Aborts on any broken invariant; the sanitizers
// catch the rest.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "automation/AutomationRequest.h"
#include "automation/JsonValue.h"

using namespace tessik::cadhost;

namespace {

void require(bool condition)
{
    if (!condition) std::abort();
}

JsonValue readBack(const std::string& reply, const JsonValue& id)
{
    require(!reply.empty() && reply.back() == '\n' && reply.find('\n') == reply.size() - 1);
    JsonError e;
    const JsonValue doc = readJson(std::string_view(reply).substr(0, reply.size() - 1), e);
    require(doc.isObject());
    require(doc["id"] == id);
    require(doc["jsonrpc"] == JsonValue::string("2.0"));
    return doc;
}

void oneLine(std::string_view line)
{
    JsonError error;
    const JsonValue value = readJson(line, error);
    if (!value.isUndefined()) {
        std::string written;
        appendJson(written, value);
        JsonError again;
        require(readJson(written, again) == value);
    } else {
        require(!error.what.empty() && error.offset <= line.size());
    }

    const AutomationRequest r = parseRequest(line);
    // The direct reader of the usual request answers as the tree does, and
    // the args it holds in place read as the tree's, to the bit.
    const AutomationRequest tree = parseRequestByTree(line);
    require(r == tree);
    const AutomationArgs& args = r.invocation.args;
    for (std::ptrdiff_t i = -1; i <= args.size(); ++i) {
        const std::optional<double> a = args.finiteNumber(i), b = tree.invocation.args.finiteNumber(i);
        require(a.has_value() == b.has_value() && (!a || std::memcmp(&*a, &*b, sizeof(double)) == 0));
        for (const std::ptrdiff_t count : {2, 3}) {
            double x[3] = {}, y[3] = {};
            const bool read = args.finiteNumbers(i, x, count);
            require(read == tree.invocation.args.finiteNumbers(i, y, count));
            require(!read || std::memcmp(x, y, sizeof x) == 0);
        }
    }
    switch (r.outcome) {
    case AutomationRequest::Outcome::Blank:
        require(line.find_first_not_of(" \t\n\v\f\r") == std::string_view::npos);
        break;
    case AutomationRequest::Outcome::Refuse:
        require(!r.message.empty() && r.code != 0);
        require(r.id.isNull() || r.id.isNumber() || r.id.isString());
        readBack(errorReply(r.id, r.code, r.message), r.id);
        break;
    case AutomationRequest::Outcome::Invoke: {
        require(r.invocation.target >= 0 && !r.invocation.member.empty());
        // The reply echoes the id; a value from the request is a fair result.
        const JsonValue reply = readBack(resultReply(r.id, r.invocation.value), r.id);
        require(reply["result"] == (r.invocation.value.isUndefined() ? JsonValue::null() : r.invocation.value));
        for (std::ptrdiff_t i = 0; i <= r.invocation.args.size(); ++i) {
            double x[3] = {};
            if (r.invocation.args.finiteNumbers(i, x, 3)) require(r.invocation.args.value(i).items().size() == 3);
        }
        break;
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::size_t from = 0;
    while (from <= bytes.size()) {
        std::size_t end = bytes.find('\n', from);
        if (end == std::string_view::npos) end = bytes.size();
        oneLine(bytes.substr(from, end - from));
        from = end + 1;
    }
    return 0;
}
