#include "ElbowCli.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <ostream>
#include <sstream>

#include "DesignRecord.h"
#include "ElbowFabrication.h"
#include "ElbowGeometry.h"
#include "ElbowJson.h"
#include "ListFile.h"
#include "MitreCodeCheck.h"
#include "NumberText.h"
#include "Paths.h"
#include "PieceTemplate.h"
#include "StandardLookup.h"
#include "Weight.h"

namespace tessik {
namespace {

bool parsePoint(const std::string& text, Point3& point)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, ',')) parts.push_back(part);
    if (!text.empty() && text.back() == ',') return false;
    if (parts.size() != 2 && parts.size() != 3) return false;
    Point3 p{};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const auto v = textToDouble(parts[i]);
        if (!v) return false;
        p[i] = *v;
    }
    point = p;
    return true;
}

// A derived value that overflowed, named with the fields it is computed
// from: the end segment angle from the bend angle and the segment count, the
// inner and outer radii from the diameter and the bend radius, the chords
// from all four.
std::string derivedValueText(const std::string& source, const ElbowCliOptions& o)
{
    const std::string angle = "角度 --angle \"" + o.angle + "\"";
    const std::string segments =
        o.segments ? "中节数 --segments \"" + *o.segments + "\"" : std::string("标准表建议的中节数");
    const std::string diameter = "外径 --diameter \"" + o.diameter + "\"";
    const std::string radius =
        o.radius ? "曲率半径 --radius \"" + *o.radius + "\"" : std::string("标准表建议的曲率半径");
    std::string from;
    if (source == "DblA")
        from = angle + "、" + segments;
    else if (source == "DblR1" || source == "DblR2")
        from = diameter + "、" + radius;
    else if (source == "DblC1" || source == "DblC2")
        from = angle + "、" + segments + "、" + diameter + "、" + radius;
    if (from.empty()) return source + " 超出数值范围";
    return "由" + from + "算出的 " + source + " 超出数值范围";
}

// What each field or derived value is called for the user.
std::string describeSource(const std::string& source, const ElbowCliOptions& o)
{
    if (source == "CmbHd") return "角度 --angle \"" + o.angle + "\"";
    if (source == "TxtZJS")
        return o.segments ? "中节数 --segments \"" + *o.segments + "\""
                          : std::string("中节数：未给出 --segments，标准表也没有给出建议值");
    if (source == "CmbWJ") return "外径 --diameter \"" + o.diameter + "\"";
    if (source == "TxtWJ")
        return o.radius ? "曲率半径 --radius \"" + *o.radius + "\""
                        : std::string("曲率半径：未给出 --radius，标准表也没有给出建议值");
    return derivedValueText(source, o);
}

// The development of the designed elbow and its template files; 0 or the
// exit status of the failure, already reported on `err`.
int developForFabrication(const ElbowCliOptions& o, const DesignRecord& record,
                          std::optional<ElbowFabrication>& fabrication, std::string& codeCheck,
                          std::optional<std::string>& nesting, std::ostream& err)
{
    FabricationInput in;
    in.cutAngle = record.DblA;
    in.middlePieces = record.IntN;
    in.bendRadius = record.DblR;
    in.outerDiameter = record.DblD;
    if (o.wall)
        if (const auto wall = textToDouble(*o.wall)) in.wall = *wall;
    const auto density = textToDouble(o.density);
    in.density = density ? *density : std::nan("");
    in.templateDiameter = o.fabrication.templateDiameter;
    in.divisions = o.fabrication.divisions;
    Result<ElbowFabrication> developed = developElbow(in);
    if (!developed) {
        err << developed.error().description << "\n";
        return 2;
    }
    fabrication = std::move(developed).value();
    if (o.fabrication.json) {
        const Result<std::string> checked = codeCheckJson(
            o.fabrication.check, {record.DblA, record.IntN + 1, record.DblR, record.DblD}, in.wall, o.dataDir);
        if (!checked) {
            err << checked.error().description << "\n";
            return 2;
        }
        codeCheck = *checked;
    }
    // A template that cannot be drawn (one that would cross itself, say) is
    // refused before any file is touched.
    if (o.fabrication.svgFile || o.fabrication.pdfFile || o.fabrication.dxfFile)
        if (const Result<TemplateSheet> sheet = templateSheet(*fabrication, o.fabrication.templateOptions); !sheet) {
            err << sheet.error().description << "\n";
            return 2;
        }
    const Result<std::optional<MaterialNest>> nest = nestFor(o.fabrication, *fabrication);
    if (!nest) {
        err << nest.error().description << "\n";
        return 2;
    }
    if (*nest && o.fabrication.json) nesting = nestJson(**nest);
    // The PDF's first page carries the code checks as the JSON has them.
    std::vector<std::string> checkLines;
    if (o.fabrication.pdfFile) {
        const Result<std::vector<std::string>> lines = codeCheckLines(
            o.fabrication.check, {record.DblA, record.IntN + 1, record.DblR, record.DblD}, in.wall, o.dataDir);
        if (!lines) {
            err << lines.error().description << "\n";
            return 2;
        }
        checkLines = *lines;
    }
    ElbowIdentity identity;
    identity.outerDiameter = record.DblD;
    identity.bendAngle = record.DblAB;
    identity.bendRadius = record.DblR;
    identity.middlePieces = record.IntN;
    if (!writeTemplateFiles(o.fabrication, *fabrication, err, identity, checkLines)) return 3;
    return !*nest || writeNestFile(o.fabrication, **nest, err) ? 0 : 3;
}

}  // namespace

std::string elbowUsage()
{
    return R"usage(用法 / usage:
  tessik-elbow --angle TEXT --diameter TEXT [--segments TEXT] [--radius TEXT]
               [--wall TEXT] [--density TEXT] [--data DIR]
               [--view front|top|bottom|left|right|all] [--at X,Y[,Z]]

Computes the design parameters of a mitred elbow and the entities of one view,
exactly as the design window does, and prints them as one JSON object.

  --angle TEXT      bend angle in degrees (the text of the angle field)
  --segments TEXT   number of middle segments (rounded half to even: 2.5 -> 2)
  --diameter TEXT   outer diameter in mm; a leading "*" (basic series) is removed
  --radius TEXT     bend radius of the pipe axis in mm
                    Left out, the radius and the segments are proposed from
                    book.ini by the diameter's range and the angle, as the
                    window proposes them; a given value wins over the proposal.
                    A diameter outside every range prints the window's message
                    on standard error and the last range is used.
  --wall TEXT       wall thickness in mm: adds the weight
  --density TEXT    material density in kg per cubic metre (default 7850)
  --data DIR        folder holding book.ini (default: the working directory)
  --view NAME       view to compute (default front); top, bottom and all have no
                    entities
  --at X,Y[,Z]      picked insertion point, the centre of the inlet end face
                    (default 0,0,0); z is ignored, every entity lies in z = 0
  --help            this text

Options take their value as the next argument or after "=" (--at=-5,2); a value
may begin with a minus sign.

Output: {"parameters": {"DblAB": .., "DblA": .., "DblB": .., "DblD": .., "DblR": ..,
"DblR1": .., "DblR2": .., "DblC1": .., "DblC2": .., "IntN": ..}[, "proposal": {"radius":
"TEXT", "segments": "TEXT", "outOfRange": true|false, "codeRadius": {..}|null}][, "weight":
"TEXT"], "entities": [..]}
where the proposal's texts are those the window writes into its radius and segment
fields (codeRadius: whether the proposed radius meets the code's least mitre radius, see
below), and the weight is the text its weight field shows ("(空白)" when the wall or
density text is no number);
with lines {"type": "line", "start": [x,y,z], "end": [x,y,z]}, the arc {"type": "arc",
"center", "radius", "startAngle", "endAngle"} and ellipses {"type": "ellipse", "center",
"majorAxis", "ratio"[, "startAngle", "endAngle"]}; angles in radians.

Exit status: 0 success; 1 wrong usage; 2 a field could not be used ("参数输入出错。"
and the field on standard error, nothing on standard output).
)usage" + fabricationUsage();
}

ElbowCliParse parseElbowArguments(const std::vector<std::string>& allArgs)
{
    ElbowCliOptions o;
    std::vector<std::string> args = allArgs;
    if (const auto problem = takeFabricationArguments(args, o.fabrication)) return {std::nullopt, *problem};
    std::map<std::string, std::string*> texts{{"--angle", &o.angle}, {"--diameter", &o.diameter}};
    std::map<std::string, std::optional<std::string>*> optionalTexts{
        {"--segments", &o.segments}, {"--radius", &o.radius}, {"--wall", &o.wall}};
    std::map<std::string, std::string*> defaulted{{"--density", &o.density}, {"--data", &o.dataDir}};
    std::map<std::string, std::string> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        if (name == "--help" || name == "-h") {
            o.help = true;
            return {o, {}};
        }
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (!texts.count(name) && !optionalTexts.count(name) && !defaulted.count(name) && name != "--view" &&
            name != "--at")
            return {std::nullopt, "unknown argument: " + args[i]};
        if (given.count(name)) return {std::nullopt, name + " given twice"};
        if (!value) {
            if (i + 1 >= args.size()) return {std::nullopt, name + " needs a value"};
            value = args[++i];
        }
        given[name] = *value;
    }
    for (const auto& [name, target] : texts) {
        if (!given.count(name)) return {std::nullopt, name + " is required"};
        *target = given[name];
    }
    for (const auto& [name, target] : optionalTexts)
        if (given.count(name)) *target = given[name];
    for (const auto& [name, target] : defaulted)
        if (given.count(name)) *target = given[name];
    if (given.count("--view")) {
        const std::optional<ElbowView> view = elbowViewNamed(given["--view"]);
        if (!view) return {std::nullopt, "unknown view: " + given["--view"]};
        o.view = *view;
    }
    if (o.fabrication.templateDiameter != TemplateDiameterKind::outside && !given.count("--wall"))
        return {std::nullopt, "--template-diameter mean, inside and plate need --wall"};
    if (given.count("--at") && !parsePoint(given["--at"], o.at))
        return {std::nullopt, "--at needs X,Y or X,Y,Z as decimal numbers: " + given["--at"]};
    return {o, {}};
}

namespace {

// The radius and segment texts as the window would show them: a value left
// out keeps the field's design-time text until the lookup proposes one.
struct FieldsAfterLookup {
    std::string segments;
    std::string radius;
    std::optional<Proposal> proposal;
};

FieldsAfterLookup proposeMissingFields(const ElbowCliOptions& o, DesignRecord& record, std::ostream& err)
{
    FieldsAfterLookup f{o.segments.value_or(kBlankText), o.radius.value_or(kBlankText), std::nullopt};
    if (o.segments && o.radius) return f;
    f.proposal = standardLookup(o.diameter, o.angle, record.lookupVariables(),
                                os::pathFromUtf8(o.dataDir) / kBookFile,
                                [&] { err << kOutOfRangeMessage << "\n"; });
    if (f.proposal) {
        if (!f.proposal->book.problems.empty())
            err << "tessik-elbow: " << bookProblemMessage(f.proposal->book, f.proposal->book.problems) << "\n";
        if (!o.radius) f.radius = f.proposal->TxtWJ;
        if (!o.segments) f.segments = f.proposal->TxtZJS;
    }
    return f;
}

// The minimum-radius check of the standard proposal (its radius and segment
// count for the design's diameter and angle), with the given wall when it is
// a usable wall and A = 25, its least value, otherwise.
std::optional<std::string> proposalRadius(const std::optional<Proposal>& proposal, const DesignRecord& record,
                                          const ElbowCliOptions& o)
{
    if (!proposal) return std::nullopt;
    const auto radius = textToDouble(proposal->TxtWJ);
    const auto segments = textToDouble(proposal->TxtZJS);
    if (!radius || !segments || !(*segments >= 0) || *segments > 1e6 || !(record.DblAB > 0)) return std::nullopt;
    const int joints = static_cast<int>(std::nearbyint(*segments)) + 1;
    const double theta = record.DblAB / joints / 2;
    if (!(theta > 0 && theta < 90)) return std::nullopt;
    std::optional<double> wallLessAllowances;
    if (o.wall)
        if (const auto wall = textToDouble(*o.wall); wall && *wall > 0 && 2 * *wall < record.DblD)
            wallLessAllowances =
                *wall * (1 - o.fabrication.check.millTolerance / 100) - o.fabrication.check.allowance;
    return proposalRadiusJson(checkMinimumRadius({theta, joints, *radius, record.DblD}, wallLessAllowances));
}

// "参数输入出错。" and each field or derived value to blame, once.
void tellInputError(const PendingError& pending, const ElbowCliOptions& o, std::ostream& err)
{
    err << "参数输入出错。\n";
    std::vector<std::string> seen;
    for (const std::string& source : pending.sources()) {
        if (std::find(seen.begin(), seen.end(), source) != seen.end()) continue;
        seen.push_back(source);
        err << "  " << describeSource(source, o) << "\n";
    }
}

}  // namespace

int runElbowCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    const ElbowCliParse parsed = parseElbowArguments(args);
    if (!parsed.options) {
        err << "tessik-elbow: " << parsed.usageError << "\n\n" << elbowUsage();
        return 1;
    }
    const ElbowCliOptions& o = *parsed.options;
    if (o.help) {
        out << elbowUsage();
        return 0;
    }

    DesignRecord record;
    const FieldsAfterLookup fields = proposeMissingFields(o, record, err);
    PendingError pending = InputParameter({o.angle, fields.segments, o.diameter, fields.radius}, record);
    if (pending) {
        tellInputError(pending, o, err);
        return 2;
    }
    std::optional<std::string> weight;
    if (o.wall)
        weight = CalculateWeight(pending, record.weightInputs(), o.density, *o.wall, record.weightVariables());

    std::optional<ElbowFabrication> fabrication;
    std::string codeCheck;
    std::optional<std::string> nesting;
    if (o.fabrication.wanted()) {
        const int status = developForFabrication(o, record, fabrication, codeCheck, nesting, err);
        if (status != 0) return status;
    }

    const std::vector<ElbowEntity> entities = elbowView(record, o.at, o.view);
    std::optional<std::string> fabricationMember;
    if (fabrication && o.fabrication.json)
        fabricationMember = fabricationJson(*fabrication, o.wall.has_value(), codeCheck, nesting);
    writeElbowJson({record, fields.proposal, weight, entities, std::move(fabricationMember),
                    proposalRadius(fields.proposal, record, o)},
                   out);
    return 0;
}

}  // namespace tessik
