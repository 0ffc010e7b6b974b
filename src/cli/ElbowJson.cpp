#include "ElbowJson.h"

#include <cmath>
#include <cstdio>
#include <ostream>

#include "NumberText.h"

namespace tessik {

namespace json {

std::string number(double v) { return std::isfinite(v) ? doubleToRoundTripText(v) : "null"; }

// Field texts are UTF-8 ("(空白)") and need only the JSON escapes.
std::string string(const std::string& text)
{
    std::string s = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            s += '\\';
            s += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
            s += buf;
        } else {
            s += c;
        }
    }
    return s + "\"";
}

std::string point(const Point3& p) { return "[" + number(p[0]) + ", " + number(p[1]) + ", " + number(p[2]) + "]"; }

}  // namespace json

namespace {

using json::number;
using json::point;

struct EntityJson {
    std::string operator()(const LineEntity& e) const
    {
        return R"({"type": "line", "start": )" + point(e.start) + R"(, "end": )" + point(e.end) + "}";
    }
    std::string operator()(const ArcEntity& e) const
    {
        return R"({"type": "arc", "center": )" + point(e.center) + R"(, "radius": )" + number(e.radius) +
               R"(, "startAngle": )" + number(e.startAngle) + R"(, "endAngle": )" + number(e.endAngle) + "}";
    }
    std::string operator()(const EllipseEntity& e) const
    {
        std::string s = R"({"type": "ellipse", "center": )" + point(e.center) + R"(, "majorAxis": )" +
                        point(e.majorAxis) + R"(, "ratio": )" + number(e.ratio);
        if (e.angles)
            s += R"(, "startAngle": )" + number(e.angles->start) + R"(, "endAngle": )" + number(e.angles->end);
        return s + "}";
    }
};

void writeParameters(const DesignRecord& r, std::ostream& out)
{
    out << "{\"parameters\": {\"DblAB\": " << number(r.DblAB) << ", \"DblA\": " << number(r.DblA)
        << ", \"DblB\": " << number(r.DblB) << ", \"DblD\": " << number(r.DblD) << ", \"DblR\": " << number(r.DblR)
        << ", \"DblR1\": " << number(r.DblR1) << ", \"DblR2\": " << number(r.DblR2)
        << ", \"DblC1\": " << number(r.DblC1) << ", \"DblC2\": " << number(r.DblC2) << ", \"IntN\": " << r.IntN
        << "},\n";
}

}  // namespace

void writeElbowJson(const ElbowRunResult& result, std::ostream& out)
{
    writeParameters(result.record, out);
    if (const std::optional<Proposal>& p = result.proposal)
        out << " \"proposal\": {\"radius\": " << json::string(p->TxtWJ) << ", \"segments\": "
            << json::string(p->TxtZJS) << ", \"outOfRange\": " << (p->outOfRange ? "true" : "false")
            << ", \"codeRadius\": " << result.proposalRadius.value_or("null") << "},\n";
    if (result.weight) out << " \"weight\": " << json::string(*result.weight) << ",\n";
    out << " \"entities\": [";
    for (std::size_t i = 0; i < result.entities.size(); ++i)
        out << (i ? ",\n  " : "\n  ") << std::visit(EntityJson{}, result.entities[i]);
    out << "\n ]";
    if (result.fabrication) out << ",\n \"fabrication\": " << *result.fabrication;
    out << "}\n";
}

}  // namespace tessik
