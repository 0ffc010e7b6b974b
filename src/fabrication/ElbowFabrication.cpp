#include "ElbowFabrication.h"

#include <cmath>
#include <utility>
#include <numbers>

#include "NumberText.h"
#include "PortableMath.h"

namespace tessik {
namespace {

constexpr double kPiFull = std::numbers::pi;

double tanDegrees(double degrees) { return math::tan(degrees / 180 * kPiFull); }

Error cannotDevelop(const std::string& why)
{
    return Error{errc::kInvalidProcedureCall, "无法展开：" + why, "fabrication"};
}

// The diameter the template is drawn for, or why the wall cannot give one.
Result<double> templateDiameter(const FabricationInput& in)
{
    if (in.templateDiameter == TemplateDiameterKind::outside) return in.outerDiameter;
    if (!in.wall) return cannotDevelop("中径、内径或钢板样板需要壁厚的数值。");
    const double t = *in.wall;
    if (!(t >= 0) || !(2 * t < in.outerDiameter))
        return cannotDevelop("壁厚须不小于 0 且小于外径的一半，现为 " + doubleToText(t) + " mm。");
    return in.templateDiameter == TemplateDiameterKind::inside ? in.outerDiameter - 2 * t : in.outerDiameter - t;
}

Status checkInput(const FabricationInput& in)
{
    if (!(in.cutAngle > 0 && in.cutAngle < 90))
        return cannotDevelop("切角须大于 0 度且小于 90 度，现为 " + doubleToText(in.cutAngle) + " 度。");
    if (in.middlePieces < 0) return cannotDevelop("中节数不能为负。");
    if (!(in.outerDiameter > 0) || !std::isfinite(in.outerDiameter)) return cannotDevelop("外径须大于 0。");
    if (!(in.bendRadius >= 0) || !std::isfinite(in.bendRadius)) return cannotDevelop("曲率半径不能为负。");
    if (in.divisions < kMinDivisions || in.divisions > kMaxDivisions)
        return cannotDevelop("等分数须在 4 到 720 之间。");
    return success();
}

Ordinates ordinates(int n, double width, double radius, double rho, double tangent)
{
    Ordinates o;
    o.divisions = n;
    for (int k = 0; k <= n; ++k) {
        const int wrapped = k == n ? 0 : k;  // the last row repeats the first exactly
        const double end = (radius + rho * math::cos(2 * kPiFull * wrapped / n)) * tangent;
        o.x.push_back(width * k / n);
        o.end.push_back(end);
        o.middle.push_back(2 * end);
    }
    return o;
}

bool allFinite(const ElbowFabrication& f)
{
    for (const double v : {f.templateWidth, f.cutback, f.weldPerJoint, f.weldTotal, f.pipeLength})
        if (!std::isfinite(v)) return false;
    for (const PieceLengths& p : f.pieces)
        if (!std::isfinite(p.longSide) || !std::isfinite(p.shortSide)) return false;
    return !f.weight || std::isfinite(*f.weight);
}

}  // namespace

double ellipsePerimeter(double a, double b)
{
    a = std::fabs(a);
    b = std::fabs(b);
    if (a < b) std::swap(a, b);
    if (b == 0) return 4 * a;
    // C = 2 pi / M(a, b) * (a0^2 - sum 2^(k-1) c_k^2) with c_0^2 = a0^2 - b0^2
    // and c_(k+1) = (a_k - b_k) / 2; the mean converges quadratically.
    const double a0Squared = a * a;
    double sum = (a * a - b * b) / 2;
    double weight = 1;
    for (int round = 0; round < 64 && a - b > 1e-16 * a; ++round) {
        const double c = (a - b) / 2;
        const double mean = (a + b) / 2;
        b = std::sqrt(a * b);
        a = mean;
        sum += weight * c * c;
        weight *= 2;
    }
    return 2 * kPiFull / a * (a0Squared - sum);
}

Result<ElbowFabrication> developElbow(const FabricationInput& in)
{
    if (const Status ok = checkInput(in); !ok) return ok.error();
    const Result<double> dt = templateDiameter(in);
    if (!dt) return dt.error();

    ElbowFabrication f;
    f.cutAngle = in.cutAngle;
    f.joints = in.middlePieces + 1;
    f.bendRadius = in.bendRadius;
    f.outerDiameter = in.outerDiameter;
    f.templateDiameter = *dt;
    f.templateKind = in.templateDiameter;
    if (in.wall && *in.wall >= 0 && 2 * *in.wall < in.outerDiameter) f.wall = in.wall;
    const double rho = *dt / 2;
    const double R = in.bendRadius;
    const double tangent = tanDegrees(in.cutAngle);
    f.templateWidth = kPiFull * *dt;
    f.cutback = rho * tangent;

    f.pieces.push_back({PieceKind::end, 2, R * tangent, (R + rho) * tangent, (R - rho) * tangent});
    if (in.middlePieces > 0)
        f.pieces.push_back({PieceKind::middle, in.middlePieces, 2 * R * tangent, 2 * (R + rho) * tangent,
                            2 * (R - rho) * tangent});
    f.ordinates = ordinates(in.divisions, f.templateWidth, R, rho, tangent);

    // The cut on the outside surface is an ellipse whatever the template.
    const double outerRadius = in.outerDiameter / 2;
    f.weldPerJoint = ellipsePerimeter(outerRadius / math::cos(in.cutAngle / 180 * kPiFull), outerRadius);
    f.weldTotal = f.joints * f.weldPerJoint;
    f.pipeLength = 2.0 * f.joints * R * tangent;

    if (in.wall && *in.wall > 0 && 2 * *in.wall <= in.outerDiameter && std::isfinite(in.density)) {
        const double D = in.outerDiameter;
        const double bore = D - 2 * *in.wall;
        f.weight = in.density * kPiFull / 4 * (D * D - bore * bore) * f.pipeLength / 1e9;
    }

    if (in.cutAngle > 22.5) f.warnings.emplace_back(kWarnCutAngleOver22_5);
    if (R < rho) f.warnings.emplace_back(kWarnInnerSideNegative);
    if (!allFinite(f)) return cannotDevelop("数值超出范围。");
    return f;
}

std::string warningText(const std::string& code)
{
    if (code == kWarnCutAngleOver22_5) return "切角大于 22.5 度，超出多节斜接弯头的常用规范限值。";
    if (code == kWarnInnerSideNegative) return "曲率半径小于样板半径，内侧长度为负，内侧会折叠。";
    return code;
}

std::string pieceName(PieceKind kind) { return kind == PieceKind::end ? "端节" : "中节"; }

}  // namespace tessik
