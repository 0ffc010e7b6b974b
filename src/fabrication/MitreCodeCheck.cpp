#include "MitreCodeCheck.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <sstream>

#include "NumberText.h"
#include "Paths.h"
#include "PortableMath.h"

namespace tessik {
namespace {

double tanDegrees(double degrees) { return math::tan(degrees / 180 * std::numbers::pi); }

Error cannotCheck(const std::string& why) { return Error{errc::kInvalidProcedureCall, "无法校核：" + why, "codecheck"}; }

std::string text(double v) { return doubleToText(v); }

// The equations that give the pressure of this elbow, and why none or why
// they may not be used in the service.
struct Applicable {
    bool eq4a = false, eq4b = false, eq4c = false, straight = false;
    std::vector<std::string> notCovered;
};

// Why the design is no Category D service although the user says it is.
std::optional<std::string> notCategoryD(const PressureInput& in)
{
    if (in.pressure > kCategoryDMaxPressure)
        return "D 类流体的设计压力不超过 " + text(kCategoryDMaxPressure) + " MPa，现为 " + text(in.pressure) + " MPa";
    if (in.temperature && !(*in.temperature >= kCategoryDMinTemperature && *in.temperature <= kCategoryDMaxTemperature))
        return "D 类流体的设计温度在 " + text(kCategoryDMinTemperature) + " 至 " + text(kCategoryDMaxTemperature) +
               " °C 之间，现为 " + text(*in.temperature) + " °C";
    return std::nullopt;
}

Applicable applicable(const MitreGeometry& g, const PressureInput& in)
{
    const FluidService service = in.service;
    Applicable a;
    const double theta = g.cutAngle;
    const bool single = g.joints == 1;
    if (theta <= kStraightPipeMaxTheta) {
        a.straight = true;
    } else if (!single) {
        if (theta <= kMultipleMitreMaxTheta)
            a.eq4a = a.eq4b = true;
        else
            a.notCovered.push_back("多节斜接弯头的切角 θ = " + text(theta) + " 度大于 22.5 度，式 (4a)(4b) 不适用。");
    } else if (theta <= kMultipleMitreMaxTheta) {
        a.eq4a = true;
    } else if (theta <= kSingleMitreMaxTheta) {
        a.eq4c = true;
        const std::string turn = "单节斜接的转角 2θ = " + text(2 * theta) + " 度大于 45 度，只可用于 D 类流体";
        if (service != FluidService::categoryD)
            a.notCovered.push_back(turn + "。");
        else if (const auto why = notCategoryD(in))
            a.notCovered.push_back(turn + "；" + *why + "，不是 D 类流体。");
    } else {
        a.notCovered.push_back("单节斜接的切角 θ = " + text(theta) + " 度大于 45 度，式 (4c) 不适用。");
    }
    if (service == FluidService::severeCyclic && theta > kSevereCyclicMaxTheta)
        a.notCovered.push_back("剧烈循环工况下每道焊口转角 2θ = " + text(2 * theta) + " 度不得大于 22.5 度。");
    return a;
}

bool anyEquation(const Applicable& a) { return a.eq4a || a.eq4b || a.eq4c || a.straight; }

MitrePressures pressuresAt(const MitreGeometry& g, const PressureInput& in, const Applicable& a, double wall)
{
    MitrePressures p;
    p.T = wall * (1 - in.millTolerance / 100);
    p.r2 = (g.outerDiameter - wall) / 2;
    const double tc = p.T - in.allowance;
    const double tangent = tanDegrees(g.cutAngle);
    const double R1 = g.bendRadius;
    // A corroded wall of nothing carries nothing; the square root needs r2 T >= 0.
    const bool carries = tc > 0 && p.r2 > 0;
    const double hoop = carries ? in.stress * in.jointFactor * in.weldFactor * tc / p.r2 : 0;
    const auto mitre = [&](double k) { return carries ? hoop * tc / (tc + k * tangent * std::sqrt(p.r2 * tc)) : 0; };
    if (a.eq4a) p.pm4a = mitre(0.643);
    // (R1 - r2) / (R1 - r2 / 2) stands for a bend wider than the pipe; at
    // R1 <= r2 it is no longer a pressure.
    if (a.eq4b) p.pm4b = carries && R1 > p.r2 ? hoop * (R1 - p.r2) / (R1 - p.r2 / 2) : 0;
    if (a.eq4c) p.pm4c = mitre(1.25);
    if (a.straight) {
        const double D = g.outerDiameter;
        p.pm3a = tc > 0 && D > 2 * kStraightPipeY * tc
                     ? 2 * in.stress * in.jointFactor * in.weldFactor * tc / (D - 2 * kStraightPipeY * tc)
                     : 0;
    }
    for (const auto& [value, equation] :
         {std::pair{p.pm4a, MitreEquation::eq4a}, std::pair{p.pm4b, MitreEquation::eq4b},
          std::pair{p.pm4c, MitreEquation::eq4c}, std::pair{p.pm3a, MitreEquation::straight3a}}) {
        if (!value) continue;
        if (!p.pm || *value < *p.pm) {
            p.pm = value;
            p.governing = equation;
        }
    }
    if (!a.straight) p.lengthM = std::max(2.5 * std::sqrt(std::max(0.0, p.r2 * p.T)), tangent * (R1 - p.r2));
    return p;
}

Status checkInput(const MitreGeometry& g, const PressureInput& in)
{
    const auto finite = [](double v) { return std::isfinite(v); };
    if (!(g.cutAngle > 0 && g.cutAngle < 90)) return cannotCheck("切角须大于 0 度且小于 90 度。");
    if (g.joints < 1) return cannotCheck("焊口数须至少为 1。");
    if (!(g.outerDiameter > 0) || !finite(g.outerDiameter)) return cannotCheck("外径须大于 0。");
    if (!(g.bendRadius >= 0) || !finite(g.bendRadius)) return cannotCheck("曲率半径不能为负。");
    if (!(in.pressure > 0) || !finite(in.pressure)) return cannotCheck("设计压力须大于 0，现为 " + text(in.pressure) + " MPa。");
    if (!(in.stress > 0) || !finite(in.stress)) return cannotCheck("许用应力须大于 0，现为 " + text(in.stress) + " MPa。");
    if (!(in.jointFactor > 0 && in.jointFactor <= 1)) return cannotCheck("焊接接头系数 E 须在 0 到 1 之间（不含 0）。");
    if (!(in.weldFactor > 0 && in.weldFactor <= 1)) return cannotCheck("焊缝强度降低系数 W 须在 0 到 1 之间（不含 0）。");
    if (!(in.allowance >= 0) || !finite(in.allowance)) return cannotCheck("附加裕量 c 不能为负。");
    if (!(in.millTolerance >= 0 && in.millTolerance < 100)) return cannotCheck("壁厚负偏差须在 0 到 100% 之间（不含 100%）。");
    if (in.temperature && !(*in.temperature >= -273.15 && finite(*in.temperature)))
        return cannotCheck("设计温度须是不低于 -273.15 °C 的数。");
    if (in.nominalWall && !(*in.nominalWall > 0 && 2 * *in.nominalWall < g.outerDiameter))
        return cannotCheck("壁厚须大于 0 且小于外径的一半，现为 " + text(*in.nominalWall) + " mm。");
    return success();
}

// The least nominal wall whose pressure reaches P: the pressure grows with
// the wall (T up, r2 down), so the wall is bisected.
void solveWall(const MitreGeometry& g, const PressureInput& in, const Applicable& a, PressureCheck& check)
{
    const auto pm = [&](double wall) { return *pressuresAt(g, in, a, wall).pm; };
    double low = in.allowance / (1 - in.millTolerance / 100);  // T - c = 0: nothing carried
    double high = g.outerDiameter / 2;
    if (!(low < high) || pm(high) < in.pressure) return;  // no wall carries P
    for (int round = 0; round < 200 && high - low > 1e-13 * g.outerDiameter; ++round) {
        const double middle = (low + high) / 2;
        (pm(middle) >= in.pressure ? high : low) = middle;
    }
    check.requiredT = high * (1 - in.millTolerance / 100);
    // Up to the next 0.01 mm; a step more where rounding left it just short.
    double rounded = std::ceil(high * 100 - 1e-6) / 100;
    for (int step = 0; step < 3 && pm(rounded) < in.pressure; ++step) rounded = (std::round(rounded * 100) + 1) / 100;
    check.requiredWall = pm(rounded) >= in.pressure ? rounded : high;
}

std::string lower(std::string s)
{
    for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> fields(const std::string& line)
{
    std::vector<std::string> out;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ',')) out.push_back(trimmed(field));
    if (!line.empty() && line.back() == ',') out.emplace_back();
    return out;
}

Error badTable(int line, const std::string& why)
{
    return Error{errc::kTypeMismatch, std::string(kMaterialFile) + " 第 " + std::to_string(line) + " 行：" + why,
                 "codecheck"};
}

}  // namespace

double mitreRadiusConstant(double wallLessAllowances)
{
    if (wallLessAllowances <= 13) return 25;
    if (wallLessAllowances < 22) return 2 * wallLessAllowances;
    return 2 * wallLessAllowances / 3 + 30;
}

MinimumRadiusCheck checkMinimumRadius(const MitreGeometry& g, std::optional<double> wallLessAllowances)
{
    MinimumRadiusCheck c;
    c.theta = g.cutAngle;
    c.radius = g.bendRadius;
    c.wallLessAllowances = wallLessAllowances;
    c.constantA = wallLessAllowances ? mitreRadiusConstant(*wallLessAllowances) : 25;
    c.minimum = c.constantA / tanDegrees(g.cutAngle) + g.outerDiameter / 2;
    c.applies = g.cutAngle > kStraightPipeMaxTheta;
    c.pass = !c.applies || c.radius >= c.minimum;
    return c;
}

std::string equationName(MitreEquation equation)
{
    switch (equation) {
    case MitreEquation::eq4a: return "4a";
    case MitreEquation::eq4b: return "4b";
    case MitreEquation::eq4c: return "4c";
    case MitreEquation::straight3a: return "3a";
    }
    return {};
}

Result<PressureCheck> checkPressure(const MitreGeometry& g, const PressureInput& in)
{
    if (const Status ok = checkInput(g, in); !ok) return ok.error();
    const Applicable a = applicable(g, in);
    PressureCheck check;
    check.single = g.joints == 1;
    check.notCovered = a.notCovered;
    if (!anyEquation(a)) {
        if (in.nominalWall) check.pass = false;
        return check;
    }
    if (in.nominalWall) {
        check.atWall = pressuresAt(g, in, a, *in.nominalWall);
        check.pass = check.notCovered.empty() && *check.atWall->pm >= in.pressure;
    }
    solveWall(g, in, a, check);
    return check;
}

namespace {

std::string fixed(double v, int decimals)
{
    std::ostringstream out;
    out.setf(std::ios::fixed);
    out.precision(decimals);
    out << v;
    return out.str();
}

std::string verdict(bool pass) { return pass ? "满足" : "不满足"; }

void describePressure(const PressureCheck& p, const PressureInput& in, CodeCheckReport& report)
{
    auto& lines = report.lines;
    const std::string at = in.temperature ? "（" + text(*in.temperature) + " °C）" : std::string();
    lines.push_back("设计压力 P = " + text(in.pressure) + " MPa，许用应力 S = " + fixed(in.stress, 1) + " MPa" + at + "，E = " +
                    text(in.jointFactor) + "，W = " + text(in.weldFactor) + "，c = " + text(in.allowance) +
                    " mm，壁厚负偏差 " + text(in.millTolerance) + "%");
    if (p.atWall) {
        const MitrePressures& m = *p.atWall;
        std::string each;
        for (const auto& [value, name] : {std::pair{m.pm4a, "4a"}, std::pair{m.pm4b, "4b"}, std::pair{m.pm4c, "4c"},
                                          std::pair{m.pm3a, "3a"}})
            if (value) each += std::string(each.empty() ? "" : "，") + "式 (" + name + ") " + fixed(*value, 3) + " MPa";
        lines.push_back("壁厚 " + text(*in.nominalWall) + " mm：T = " + fixed(m.T, 2) + " mm，r2 = " + fixed(m.r2, 2) +
                        " mm；" + each);
        lines.push_back("最大允许内压 Pm = " + fixed(*m.pm, 3) + " MPa（式 (" + equationName(*m.governing) + ") 起控）" +
                        (*m.pm >= in.pressure ? " ≥ " : " < ") + "P = " + text(in.pressure) + " MPa");
        if (m.pm3a)
            lines.push_back("每道焊口转角不大于 3 度：按直管（式 3a，Y = 0.4）计算");
        else
            lines.push_back("T 自端部焊口内侧起至少延伸 M = " + fixed(m.lengthM, 1) + " mm");
    }
    for (const std::string& why : p.notCovered) lines.push_back(why);
    if (p.requiredWall)
        lines.push_back("承受 P 所需壁厚：" + fixed(*p.requiredWall, 2) + " mm（T = " + fixed(*p.requiredT, 2) + " mm）");
    else if (p.notCovered.empty() || p.atWall)
        lines.push_back("外径一半以内的壁厚都承受不了 P。");
}

}  // namespace

CodeCheckReport describeCodeCheck(const MinimumRadiusCheck& r, const PressureCheck* pressure, const PressureInput* input)
{
    CodeCheckReport report;
    if (!r.applies)
        report.lines.push_back("最小斜接半径（式 5）：每道焊口转角 2θ = " + text(2 * r.theta) +
                               " 度，不大于 3 度，不按斜接弯头考虑，无需校核");
    else
        report.lines.push_back("最小斜接半径（式 5）：A = " + fixed(r.constantA, 2) + " mm" +
                           (r.wallLessAllowances ? "" : "（未给壁厚，取最小值）") + "，A/tanθ + D/2 = " +
                           fixed(r.minimum, 1) + " mm，R1 = " + fixed(r.radius, 1) + " mm：" + verdict(r.pass));
    report.pass = r.pass;
    if (pressure && input) {
        describePressure(*pressure, *input, report);
        if (r.pass) report.pass = pressure->pass;
    }
    report.lines.push_back(report.pass ? "结论：" + verdict(*report.pass) : std::string("结论：半径满足，给出壁厚后校核压力"));
    return report;
}

void addListedWall(CodeCheckReport& report, double required, const std::vector<double>& listedWalls)
{
    std::optional<double> next;
    for (const double wall : listedWalls)
        if (wall >= required && (!next || wall < *next)) next = wall;
    const std::string line = next ? "选用壁厚表中不小于所需壁厚的 " + text(*next) + " mm"
                                  : "壁厚表中没有不小于 " + fixed(required, 2) + " mm 的壁厚";
    report.lines.insert(report.lines.empty() ? report.lines.end() : report.lines.end() - 1, line);
}

const MaterialStresses* MaterialTable::find(const std::string& name) const
{
    const std::string wanted = lower(trimmed(name));
    for (const MaterialStresses& m : materials)
        if (lower(m.name) == wanted) return &m;
    return nullptr;
}

Result<MaterialTable> parseMaterialTable(const std::string& content)
{
    std::string text = content;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    MaterialTable table;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (trimmed(line).empty()) continue;
        const std::vector<std::string> parts = fields(line);
        std::vector<double> values;
        const std::size_t firstValue = table.temperatures.empty() ? 0 : 1;
        for (std::size_t i = firstValue; i < parts.size(); ++i) {
            const auto v = textToDouble(parts[i]);
            if (!v || !std::isfinite(*v)) return badTable(number, "“" + parts[i] + "”不是数。");
            values.push_back(*v);
        }
        if (table.temperatures.empty()) {
            if (values.empty()) return badTable(number, "没有温度。");
            // Absolute zero to far beyond any steel's use: keeps every
            // interval between two temperatures a finite, positive number.
            if (std::any_of(values.begin(), values.end(), [](double v) { return v < -273.15 || v > 5000; }))
                return badTable(number, "温度须在 -273.15 至 5000 °C 之间。");
            if (!std::is_sorted(values.begin(), values.end(), std::less_equal<>()))
                return badTable(number, "温度须从低到高排列。");
            table.temperatures = values;
            continue;
        }
        if (parts[0].empty()) return badTable(number, "缺少材料名称。");
        if (values.size() != table.temperatures.size())
            return badTable(number, "应有 " + std::to_string(table.temperatures.size()) + " 个许用应力，现有 " +
                                        std::to_string(values.size()) + " 个。");
        if (std::any_of(values.begin(), values.end(), [](double v) { return !(v > 0); }))
            return badTable(number, "许用应力须大于 0。");
        if (table.find(parts[0])) return badTable(number, "材料“" + parts[0] + "”重复。");
        table.materials.push_back({parts[0], values});
    }
    if (table.materials.empty()) return badTable(number, "没有材料。");
    return table;
}

Result<MaterialTable> readMaterialTable(const std::string& path)
{
    constexpr std::streamoff kMaxBytes = 1 << 20;  // the shipped table is well under 1 KB
    // Only a regular file: a FIFO or a device would block the read.
    std::error_code code;
    const std::filesystem::path file = os::pathFromUtf8(path);
    if (!std::filesystem::is_regular_file(file, code))
        return Error{errc::kFileNotFound, "找不到材料表 " + path + "（或不是普通文件）。", "codecheck"};
    std::ifstream in(file, std::ios::binary);
    if (!in) return Error{errc::kFileNotFound, "无法读取材料表 " + path + "。", "codecheck"};
    std::string content;
    content.resize(kMaxBytes + 1);
    in.read(content.data(), kMaxBytes + 1);
    content.resize(static_cast<std::size_t>(in.gcount()));
    if (static_cast<std::streamoff>(content.size()) > kMaxBytes)
        return Error{errc::kTypeMismatch, "材料表 " + path + " 大于 1 MB，不是材料表。", "codecheck"};
    return parseMaterialTable(content);
}

std::optional<double> allowableStress(const MaterialTable& table, const MaterialStresses& m, double temperature)
{
    const std::vector<double>& t = table.temperatures;
    if (t.empty() || m.stress.size() != t.size() || !(temperature >= t.front() && temperature <= t.back()))
        return std::nullopt;
    for (std::size_t i = 0; i + 1 < t.size(); ++i) {
        if (temperature > t[i + 1]) continue;
        const double share = (temperature - t[i]) / (t[i + 1] - t[i]);
        // Weighted so that the table's own temperatures give its own stresses exactly.
        return (1 - share) * m.stress[i] + share * m.stress[i + 1];
    }
    return m.stress.back();
}

}  // namespace tessik
