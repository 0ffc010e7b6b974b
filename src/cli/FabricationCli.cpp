#include "FabricationCli.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <set>

#include "ElbowJson.h"
#include "FileAccess.h"
#include "ListFile.h"
#include "NumberText.h"
#include "Paths.h"
#include "PieceTemplate.h"
#include "TemplateDxf.h"
#include "TemplateEntities.h"
#include "TemplatePdf.h"
#include "TemplateSvg.h"

namespace tessik {
namespace {

// The design options that take a value: their value is never one of ours.
const std::set<std::string>& designOptionsWithValue()
{
    static const std::set<std::string> names{"--angle", "--segments", "--diameter", "--radius", "--wall",
                                             "--density", "--data",     "--view",     "--at"};
    return names;
}

using json::number;

std::string numbers(const std::vector<double>& values)
{
    std::string s = "[";
    for (std::size_t i = 0; i < values.size(); ++i) s += (i ? ", " : "") + number(values[i]);
    return s + "]";
}

// The templates are written as tessik-cad saves a drawing: whole or not at
// all, through links, never over anything but a writable regular file.
bool writeWhole(const std::string& path, const std::string& bytes, std::ostream& err)
{
    const Status written = dxf::replaceFile(path, bytes);
    if (!written) err << "tessik-elbow: " << written.error().description << "\n";
    return written.ok();
}

}  // namespace

std::string fabricationUsage()
{
    return R"usage(
Fabrication (cut templates, cut list and weld length):
  --fabrication     add "fabrication" to the JSON: cutAngle, joints, templateDiameter,
                    templateWidth, cutback, pieces [{"kind": "end"|"middle", "count",
                    "centerline", "long", "short"}], ordinates {"divisions", "x", "end",
                    "middle"}, weldPerJoint, weldTotal, pipeLength, weight (with --wall;
                    null when the wall or density is no usable number), warnings
                    ["cut-angle-over-22.5", "inner-side-negative"]; lengths in mm
  --template-diameter outside|mean|inside|plate
                    diameter the templates are drawn for (default outside: wrapped
                    round pipe; mean: plate rolled to a pipe; plate: the mean diameter
                    with the outside and inside surface lines on layer BEVEL, between
                    which the edge is bevelled); all but outside need --wall
  --seam extrados|side|intrados
                    where the template's two side edges meet round the pipe: on the
                    outer, long side of the bend (default), half-way round, or on the
                    inner side; the quarter lines and the ordinate table's station
                    lines (numbered k as in the table) stand where they fall
  --kerf MM         kerf allowance, 0 to 20 mm (default 0): every cut line moves out
                    by half the kerf square to the cut, so a piece keeps its size
                    when the saw runs down the line; stated in each piece's label
  --divisions N     rows of the ordinate table, 4 to 720 (default 16)
  --template-svg FILE   the templates as one SVG sheet at true size
  --template-pdf FILE   the templates tiled at true size over pages of --paper, with
                    the cut list, the code checks (as in "codeCheck": the verdict,
                    the governing equation and the numbers put in; the pressure with
                    --pressure) and the ordinate table on the first page; more than
                    100 pages: written with a warning giving the count; more than
                    2000: refused (exit status 3, no template file written)
  --template-dxf FILE   the templates as DXF R2000 in mm: closed outlines on CUT, quarter,
                    station and centre lines on MARK (clear of the cut edges), surface
                    lines on BEVEL, names and labels on TEXT; $EXTMIN/$EXTMAX the sheet's
  --paper A4|A3|A2|A1|A0|letter   paper of the PDF (default A4)
                    Only tiles a template lies on are printed; a tile map page after
                    the cut list shows them with their names (row-column), numbers
                    and the order to lay them out in
  --printed-bar MM  what the 100 mm scale bar of the last print measured (80 to 125):
                    the PDF is drawn larger or smaller by 100 / MM so that this printer
                    prints it true to size
  --date YYYY-MM-DD date in the elbow's name on every PDF page (default today)
Material use (nesting):
  --nest pipe       all pieces along one straight pipe, each cut shared by two
                    neighbours (every piece turned 180 degrees from the one before)
  --nest plate      the developed pieces on sheets of --sheet, in lanes, turned 90
                    degrees on the sheet where that needs fewer sheets
  --sheet WxH       plate size in mm, e.g. 3000x1500
  --nest-dxf FILE   the layout as DXF: stock outlines on STOCK, pieces closed on CUT,
                    names on TEXT; --kerf keeps pieces a kerf apart (along the pipe
                    kerf / cos(cut angle)) and from the sheet's edges
                    With --fabrication, "nesting": {"kind", "kerf", "stockWidth",
                    "stockHeight", "stocks", "lanesAlongWidth", "piecesArea",
                    "utilisation" (per cent), pipe: "pipeLength", "piecesLength", "waste"
                    (mm of pipe the cuts take); "pieces" [{"kind", "number", "turned",
                    "stock", "area"}], "summary"}. A layout that cannot be made (a sheet
                    too small for a piece): exit status 2, "无法排料：..." on standard error.
Code checks (ASME B31.3 304.2.3), in "fabrication" as "codeCheck": {"theta", "alpha",
"joints", "mitre": "single"|"multiple", "minimumRadius": {"R1", "A", "wallLessAllowances",
"minimum", "applies", "pass"}, "pressure": null | {"P", "S", "stressFrom": "table"|"given",
"material", "temperature", "E", "W", "c", "millTolerance", "service", "nominalWall", "T", "r2",
"pm4a", "pm4b", "pm4c", "pm3a", "pm", "governing": "4a"|"4b"|"4c"|"3a"|null, "M", "requiredT",
"requiredWall", "nextListedWall", "notCovered": [TEXT], "pass"}, "pass"}; pass is null where
the wall is unknown. A joint turning 3 degrees or less (theta <= 1.5) is no mitre to the
code: the radius check does not apply and the pressure is that of straight pipe, eq. (3a)
with Y = 0.4 (pm3a; M null). theta is the cut angle, R1 the bend radius, T = wall x (1 - mill tolerance),
r2 = (D - wall) / 2, M the length T must reach from the inside crotch of the end joints;
requiredWall is the nominal wall carrying P, rounded up to 0.01 mm; nextListedWall the
next wall of gbhd.ini. A proposal gains "codeRadius": {"minimum", "A", "pass"}.
  --pressure P      design pressure in MPa: adds the pressure check
  --material NAME   material in xyyl.ini (in --data DIR; default its first, A106 Grade B)
  --temperature T   design temperature in degrees Celsius (default 20); S is interpolated
  --stress S        allowable stress in MPa at the design temperature, instead of the table
  --joint-factor E  weld joint factor (default 1)
  --weld-factor W   weld strength reduction factor (default 1)
  --corrosion c     corrosion and other allowances in mm (default 0)
  --mill-tolerance PERCENT   mill under-tolerance of the wall (default 12.5)
  --service normal|category-d|severe-cyclic   fluid service (default normal); a single
                    mitre turning more than 45 degrees is allowed in Category D only,
                    which ends above 1.035 MPa and outside -29 to 186 degrees Celsius
                    (the temperature known from --temperature or the table's default)
No S in the table for the material and temperature: exit status 2, "无法校核：..." on
standard error.
A cut angle (DblA) outside 0 < angle < 90, or any other elbow that cannot be
developed: exit status 2, the reason ("无法展开：...") on standard error. So is a
template file asked for an elbow whose radius is below half the outer diameter (its
cuts would run through the opposite wall and the template cross itself): no file is
written. --fabrication alone still gives the cut list, with "inner-side-negative".
A template file that cannot be written: exit status 3, nothing on standard output.
Template files are replaced whole (a temporary file beside them, then renamed),
through symbolic links and keeping their mode; a folder, device, FIFO, socket or
read-only file at FILE is refused and left as it is.
)usage";
}

namespace {

// Moves the fabrication options and their values out of args into `given`
// (--fabrication straight into `o`); the design options stay in args.
std::optional<std::string> collectFabricationArguments(std::vector<std::string>& args, FabricationCliOptions& o,
                                                       std::map<std::string, std::string>& given)
{
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        if (designOptionsWithValue().count(name)) {
            rest.push_back(args[i]);
            if (i + 1 < args.size()) rest.push_back(args[++i]);
            continue;
        }
        if (name == "--fabrication") {
            if (o.json) return "--fabrication given twice";
            o.json = true;
            continue;
        }
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        static const std::set<std::string> ours{
            "--template-diameter", "--divisions",    "--template-dxf", "--template-svg", "--template-pdf",
            "--paper",             "--pressure",     "--material",     "--temperature",  "--stress",
            "--joint-factor",      "--weld-factor",  "--corrosion",    "--mill-tolerance", "--service",
            "--seam",              "--kerf",         "--printed-bar",  "--date",         "--nest",
            "--sheet",             "--nest-dxf"};
        if (!ours.count(name)) {
            rest.push_back(args[i]);
            continue;
        }
        if (given.count(name)) return name + " given twice";
        if (!value) {
            if (i + 1 >= args.size()) return name + " needs a value";
            value = args[++i];
        }
        given[name] = *value;
    }
    args = rest;
    return std::nullopt;
}

// The value of an option that names one of a few choices, or why not:
// "--seam needs extrados, side or intrados: up".
template <class T>
std::optional<std::string> chooseOption(std::map<std::string, std::string>& given, const char* name,
                                        std::initializer_list<std::pair<const char*, T>> choices, T& target)
{
    if (!given.count(name)) return std::nullopt;
    const std::string& value = given[name];
    std::string names;
    std::size_t i = 0;
    for (const auto& [word, choice] : choices) {
        if (value == word) {
            target = choice;
            return std::nullopt;
        }
        names += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + std::string(word);
        ++i;
    }
    return std::string(name) + " needs " + names + ": " + value;
}

// The code-check options: numbers in their ranges, and the pressure inputs
// only with a pressure.
std::optional<std::string> applyCodeCheckValues(std::map<std::string, std::string>& given, CodeCheckCliOptions& c)
{
    struct Number {
        const char* name;
        double* target;
        double low, high;
        bool lowIncluded, highIncluded;
        const char* range;
    };
    double pressure = 0, stress = 0;
    const Number numbers[] = {
        {"--pressure", &pressure, 0, INFINITY, false, false, "a number above 0 (MPa)"},
        {"--stress", &stress, 0, INFINITY, false, false, "a number above 0 (MPa)"},
        {"--temperature", &c.temperature, -273.15, INFINITY, true, false, "a temperature in degrees Celsius"},
        {"--joint-factor", &c.jointFactor, 0, 1, false, true, "a number above 0 and at most 1"},
        {"--weld-factor", &c.weldFactor, 0, 1, false, true, "a number above 0 and at most 1"},
        {"--corrosion", &c.allowance, 0, INFINITY, true, false, "a number of 0 or more (mm)"},
        {"--mill-tolerance", &c.millTolerance, 0, 100, true, false, "a per cent from 0 to below 100"},
    };
    for (const Number& n : numbers) {
        if (!given.count(n.name)) continue;
        const auto value = textToDouble(given[n.name]);
        const bool inRange = value && std::isfinite(*value) && (n.lowIncluded ? *value >= n.low : *value > n.low) &&
                             (n.highIncluded ? *value <= n.high : *value < n.high);
        if (!inRange) return std::string(n.name) + " needs " + n.range + ": " + given[n.name];
        *n.target = *value;
    }
    c.temperatureGiven = given.count("--temperature") > 0;
    if (given.count("--pressure")) c.pressure = pressure;
    if (given.count("--stress")) c.stress = stress;
    if (given.count("--material")) {
        if (given["--material"].empty()) return std::string("--material needs a material name");
        c.material = given["--material"];
    }
    if (auto problem = chooseOption(given, "--service",
                                    {std::pair{"normal", FluidService::normal}, {"category-d", FluidService::categoryD},
                                     {"severe-cyclic", FluidService::severeCyclic}},
                                    c.service))
        return problem;
    if (!c.pressure)
        for (const char* name : {"--material", "--temperature", "--stress", "--joint-factor", "--weld-factor", "--service"})
            if (given.count(name)) return std::string(name) + " needs --pressure";
    return std::nullopt;
}

// --nest, --sheet and --nest-dxf.
std::optional<std::string> applyNestValues(std::map<std::string, std::string>& given, FabricationCliOptions& o)
{
    NestCliOptions& n = o.nest;
    if (given.count("--nest")) {
        NestKind kind = NestKind::pipe;
        if (auto problem = chooseOption(given, "--nest", {std::pair{"pipe", NestKind::pipe}, {"plate", NestKind::plate}}, kind))
            return problem;
        n.kind = kind;
    }
    if (given.count("--sheet")) {
        const std::string& text = given["--sheet"];
        const auto by = text.find_first_of("xX*");
        std::optional<double> w, h;
        if (by != std::string::npos)
            if (const auto a = textToDouble(text.substr(0, by)), b = textToDouble(text.substr(by + 1)); a && b) w = *a, h = *b;
        constexpr double kLargestSheet = 100000;  // mm
        if (!w || !h || !(*w > 0 && *w <= kLargestSheet && *h > 0 && *h <= kLargestSheet))
            return "--sheet needs WIDTHxHEIGHT in mm, each above 0 and at most 100000: " + text;
        n.sheetWidth = *w;
        n.sheetHeight = *h;
        if (n.kind != NestKind::plate) return std::string("--sheet needs --nest plate");
    }
    if (n.kind == NestKind::plate && !given.count("--sheet")) return std::string("--nest plate needs --sheet WIDTHxHEIGHT");
    if (given.count("--nest-dxf")) {
        if (given["--nest-dxf"].empty()) return std::string("--nest-dxf needs a file name");
        n.dxfFile = given["--nest-dxf"];
    }
    if (n.dxfFile && !n.kind) return std::string("--nest-dxf needs --nest pipe or --nest plate");
    if (n.kind && !o.json && !n.dxfFile) return std::string("--nest needs --fabrication or --nest-dxf");
    return std::nullopt;
}

// --printed-bar and --date, which only the PDF uses.
std::optional<std::string> applyPrintValues(std::map<std::string, std::string>& given, FabricationCliOptions& o)
{
    if (given.count("--printed-bar")) {
        const auto value = textToDouble(given["--printed-bar"]);
        if (!value || measuredBarProblem(*value))
            return "--printed-bar needs the measured length of the 100 mm bar, 80 to 125 (mm): " + given["--printed-bar"];
        o.printedBar = *value;
    }
    if (given.count("--date")) {
        const std::string& d = given["--date"];
        const bool shaped = d.size() == 10 && d[4] == '-' && d[7] == '-' &&
                            std::all_of(d.begin(), d.end(), [](char c) { return c == '-' || (c >= '0' && c <= '9'); });
        const int month = shaped ? std::stoi(d.substr(5, 2)) : 0, day = shaped ? std::stoi(d.substr(8, 2)) : 0;
        if (!shaped || month < 1 || month > 12 || day < 1 || day > 31) return "--date needs YYYY-MM-DD: " + d;
        o.date = d;
    }
    for (const char* name : {"--printed-bar", "--date"})
        if (given.count(name) && !given.count("--template-pdf")) return std::string(name) + " needs --template-pdf";
    return std::nullopt;
}

// Checks the collected values and writes them into `o`.
std::optional<std::string> applyFabricationValues(std::map<std::string, std::string>& given,
                                                  FabricationCliOptions& o)
{
    bool modifiers = false;
    if (auto problem = chooseOption(given, "--template-diameter",
                                    {std::pair{"outside", TemplateDiameterKind::outside},
                                     {"mean", TemplateDiameterKind::mean}, {"inside", TemplateDiameterKind::inside},
                                     {"plate", TemplateDiameterKind::plate}},
                                    o.templateDiameter))
        return problem;
    if (given.count("--template-diameter")) o.templateDiameterGiven = modifiers = true;
    if (given.count("--divisions")) {
        const std::string& text = given["--divisions"];
        const auto value = textToDouble(text);
        if (!value || *value != std::floor(*value) || *value < kMinDivisions || *value > kMaxDivisions)
            return "--divisions needs a whole number from 4 to 720: " + text;
        o.divisions = static_cast<int>(*value);
        modifiers = true;
    }
    if (given.count("--paper")) {
        if (!paperSize(given["--paper"])) return "--paper needs A4, A3, A2, A1, A0 or letter: " + given["--paper"];
        o.paper = given["--paper"];
        modifiers = true;
    }
    if (auto problem = applyPrintValues(given, o)) return problem;
    if (auto problem = applyNestValues(given, o)) return problem;
    if (auto problem = chooseOption(given, "--seam",
                                    {std::pair{"extrados", SeamPosition::extrados}, {"side", SeamPosition::side},
                                     {"intrados", SeamPosition::intrados}},
                                    o.templateOptions.seam))
        return problem;
    if (given.count("--kerf")) {
        const auto value = textToDouble(given["--kerf"]);
        if (!value || !(*value >= 0 && *value <= kMaxKerf)) return "--kerf needs a number from 0 to 20 (mm): " + given["--kerf"];
        o.templateOptions.kerf = *value;
    }
    for (const auto& [name, target] : {std::pair{"--template-dxf", &o.dxfFile}, std::pair{"--template-svg", &o.svgFile},
                                       std::pair{"--template-pdf", &o.pdfFile}}) {
        if (!given.count(name)) continue;
        if (given[name].empty()) return std::string(name) + " needs a file name";
        *target = given[name];
    }
    if (auto problem = applyCodeCheckValues(given, o.check)) return problem;
    for (const char* name : {"--pressure", "--corrosion", "--mill-tolerance"})
        if (given.count(name) && !o.json) return std::string(name) + " needs --fabrication";
    if (modifiers && !o.wanted()) return "--template-diameter, --divisions and --paper need --fabrication or a template file";
    if (given.count("--paper") && !o.pdfFile) return "--paper needs --template-pdf";
    if (given.count("--seam") && !o.templateFiles()) return std::string("--seam needs a template file");
    // The kerf parts the nested pieces too.
    if (given.count("--kerf") && !o.templateFiles() && !o.nest.kind)
        return std::string("--kerf needs a template file or --nest");
    return std::nullopt;
}

}  // namespace

std::optional<std::string> takeFabricationArguments(std::vector<std::string>& args, FabricationCliOptions& o)
{
    std::map<std::string, std::string> given;
    if (auto problem = collectFabricationArguments(args, o, given)) return problem;
    return applyFabricationValues(given, o);
}

Result<std::optional<MaterialNest>> nestFor(const FabricationCliOptions& o, const ElbowFabrication& f)
{
    if (!o.nest.kind) return std::optional<MaterialNest>();
    Result<MaterialNest> nest = *o.nest.kind == NestKind::pipe
                                    ? pipeNest(f, o.templateOptions.kerf)
                                    : plateNest(f, o.templateOptions.kerf, o.nest.sheetWidth, o.nest.sheetHeight);
    if (!nest) return nest.error();
    return std::optional<MaterialNest>(std::move(nest).value());
}

std::string nestJson(const MaterialNest& n)
{
    std::string s = std::string("{\"kind\": \"") + (n.kind == NestKind::pipe ? "pipe" : "plate") +
                    "\", \"kerf\": " + number(n.kerf) + ", \"stockWidth\": " + number(n.stockWidth) +
                    ", \"stockHeight\": " + number(n.stockHeight) + ", \"stocks\": " + std::to_string(n.stocks) +
                    ", \"lanesAlongWidth\": " + (n.lanesAlongWidth ? "true" : "false") +
                    ", \"piecesArea\": " + number(n.piecesArea) + ", \"utilisation\": " + number(n.utilisation);
    if (n.kind == NestKind::pipe)
        s += ", \"pipeLength\": " + number(n.pipeLength) + ", \"piecesLength\": " + number(n.piecesLength) +
             ", \"waste\": " + number(n.waste);
    s += ",\n   \"pieces\": [";
    for (std::size_t i = 0; i < n.pieces.size(); ++i) {
        const NestedPiece& p = n.pieces[i];
        s += std::string(i ? ", " : "") + "{\"kind\": \"" + (p.kind == PieceKind::end ? "end" : "middle") +
             "\", \"number\": " + std::to_string(p.number) + ", \"turned\": " + (p.turned ? "true" : "false") +
             ", \"stock\": " + std::to_string(p.stock) + ", \"area\": " + number(p.area) + "}";
    }
    return s + "],\n   \"summary\": " + json::string(nestSummary(n)) + "}";
}

bool writeNestFile(const FabricationCliOptions& o, const MaterialNest& nest, std::ostream& err)
{
    if (!o.nest.dxfFile) return true;
    const Result<std::string> bytes = layeredDxf(nestEntities(nest));
    if (!bytes) {
        err << "tessik-elbow: " << *o.nest.dxfFile << ": " << bytes.error().description << "\n";
        return false;
    }
    return writeWhole(*o.nest.dxfFile, *bytes, err);
}

std::string fabricationJson(const ElbowFabrication& f, bool withWeight, const std::string& codeCheck,
                            const std::optional<std::string>& nesting)
{
    std::string s = "{\"cutAngle\": " + number(f.cutAngle) + ", \"joints\": " + std::to_string(f.joints) +
                    ", \"templateDiameter\": " + number(f.templateDiameter) +
                    ", \"templateWidth\": " + number(f.templateWidth) + ", \"cutback\": " + number(f.cutback) +
                    ",\n  \"pieces\": [";
    for (std::size_t i = 0; i < f.pieces.size(); ++i) {
        const PieceLengths& p = f.pieces[i];
        s += std::string(i ? ", " : "") + "{\"kind\": \"" + (p.kind == PieceKind::end ? "end" : "middle") +
             "\", \"count\": " + std::to_string(p.count) + ", \"centerline\": " + number(p.centerline) +
             ", \"long\": " + number(p.longSide) + ", \"short\": " + number(p.shortSide) + "}";
    }
    s += "],\n  \"ordinates\": {\"divisions\": " + std::to_string(f.ordinates.divisions) +
         ", \"x\": " + numbers(f.ordinates.x) + ",\n   \"end\": " + numbers(f.ordinates.end) +
         ",\n   \"middle\": " + numbers(f.ordinates.middle) + "},\n  \"weldPerJoint\": " + number(f.weldPerJoint) +
         ", \"weldTotal\": " + number(f.weldTotal) + ", \"pipeLength\": " + number(f.pipeLength);
    if (withWeight) s += ", \"weight\": " + (f.weight ? number(*f.weight) : std::string("null"));
    s += ", \"warnings\": [";
    for (std::size_t i = 0; i < f.warnings.size(); ++i) s += std::string(i ? ", " : "") + "\"" + f.warnings[i] + "\"";
    s += "],\n  \"codeCheck\": " + codeCheck;
    if (nesting) s += ",\n  \"nesting\": " + *nesting;
    return s + "}";
}

namespace {

std::string optionalNumber(const std::optional<double>& v) { return v ? number(*v) : std::string("null"); }
std::string optionalBool(const std::optional<bool>& v) { return v ? (*v ? "true" : "false") : std::string("null"); }

const char* serviceName(FluidService service)
{
    switch (service) {
    case FluidService::normal: return "normal";
    case FluidService::categoryD: return "category-d";
    case FluidService::severeCyclic: return "severe-cyclic";
    }
    return "";
}

// The walls of gbhd.ini that read as numbers.
std::vector<double> listedWalls(const std::string& dataDir)
{
    std::vector<double> walls;
    for (const std::string& entry : loadListFile(os::pathFromUtf8(dataDir), kWallThicknessFile).entries)
        if (const auto value = textToDouble(entry)) walls.push_back(*value);
    return walls;
}

// The least wall of gbhd.ini that is at least `wall`, when the list has one.
std::optional<double> nextListedWall(const std::string& dataDir, double wall)
{
    std::optional<double> best;
    for (const double value : listedWalls(dataDir))
        if (value >= wall && (!best || value < *best)) best = value;
    return best;
}

// S from --stress, or from the material table at the temperature.
struct Stress {
    double value = 0;
    std::optional<std::string> material;
};

Result<Stress> designStress(const CodeCheckCliOptions& o, const std::string& dataDir)
{
    if (o.stress) return Stress{*o.stress, o.material};
    const std::string path = os::utf8FromPath(os::pathFromUtf8(dataDir) / kMaterialFile);
    const Result<MaterialTable> table = readMaterialTable(path);
    if (!table) return Error{table.error().number, "无法校核：" + table.error().description + "请用 --stress 给出许用应力。", "codecheck"};
    const MaterialStresses* m = o.material ? table->find(*o.material) : &table->materials.front();
    if (!m) return Error{errc::kInvalidProcedureCall, "无法校核：材料表 " + path + " 中没有材料“" + *o.material + "”。", "codecheck"};
    const std::optional<double> s = allowableStress(*table, *m, o.temperature);
    if (!s)
        return Error{errc::kInvalidProcedureCall,
                     "无法校核：材料表中 " + m->name + " 在 " + doubleToText(o.temperature) + " °C 没有许用应力（表列 " +
                         doubleToText(table->temperatures.front()) + " 到 " + doubleToText(table->temperatures.back()) +
                         " °C），请用 --stress 给出。",
                     "codecheck"};
    return Stress{*s, m->name};
}

std::string pressureJson(const CodeCheckCliOptions& o, const Stress& stress, const PressureCheck& p,
                         std::optional<double> nominalWall, std::optional<double> nextWall)
{
    const MitrePressures* at = p.atWall ? &*p.atWall : nullptr;
    std::string s = "{\"P\": " + number(*o.pressure) + ", \"S\": " + number(stress.value) +
                    ", \"stressFrom\": \"" + (o.stress ? "given" : "table") + "\", \"material\": " +
                    (stress.material ? json::string(*stress.material) : std::string("null")) +
                    ", \"temperature\": " + (o.stress ? std::string("null") : number(o.temperature)) +
                    ", \"E\": " + number(o.jointFactor) + ", \"W\": " + number(o.weldFactor) +
                    ", \"c\": " + number(o.allowance) + ", \"millTolerance\": " + number(o.millTolerance) +
                    ", \"service\": \"" + serviceName(o.service) + "\",\n    \"nominalWall\": " +
                    optionalNumber(nominalWall) + ", \"T\": " + (at ? number(at->T) : "null") +
                    ", \"r2\": " + (at ? number(at->r2) : "null") +
                    ", \"pm4a\": " + (at ? optionalNumber(at->pm4a) : "null") +
                    ", \"pm4b\": " + (at ? optionalNumber(at->pm4b) : "null") +
                    ", \"pm4c\": " + (at ? optionalNumber(at->pm4c) : "null") +
                    ", \"pm3a\": " + (at ? optionalNumber(at->pm3a) : "null") +
                    ", \"pm\": " + (at ? optionalNumber(at->pm) : "null") + ", \"governing\": " +
                    (at && at->governing ? "\"" + equationName(*at->governing) + "\"" : std::string("null")) +
                    ", \"M\": " + (at && !at->pm3a ? number(at->lengthM) : "null") +
                    ",\n    \"requiredT\": " + optionalNumber(p.requiredT) +
                    ", \"requiredWall\": " + optionalNumber(p.requiredWall) +
                    ", \"nextListedWall\": " + optionalNumber(nextWall) + ", \"notCovered\": [";
    for (std::size_t i = 0; i < p.notCovered.size(); ++i) s += (i ? ", " : "") + json::string(p.notCovered[i]);
    return s + "], \"pass\": " + optionalBool(p.pass) + "}";
}

std::string radiusJson(const MinimumRadiusCheck& r)
{
    return "{\"R1\": " + number(r.radius) + ", \"A\": " + number(r.constantA) +
           ", \"wallLessAllowances\": " + optionalNumber(r.wallLessAllowances) + ", \"minimum\": " + number(r.minimum) +
           ", \"applies\": " + (r.applies ? "true" : "false") + ", \"pass\": " + (r.pass ? "true" : "false") + "}";
}

}  // namespace

std::string proposalRadiusJson(const MinimumRadiusCheck& r)
{
    return "{\"minimum\": " + number(r.minimum) + ", \"A\": " + number(r.constantA) +
           ", \"pass\": " + (r.pass ? "true" : "false") + "}";
}

namespace {

MinimumRadiusCheck radiusCheck(const CodeCheckCliOptions& o, const MitreGeometry& g, std::optional<double> nominalWall)
{
    std::optional<double> wallLessAllowances;  // a wall that is no pipe wall leaves A at its least
    if (nominalWall && *nominalWall > 0 && 2 * *nominalWall < g.outerDiameter) wallLessAllowances = *nominalWall * (1 - o.millTolerance / 100) - o.allowance;
    return checkMinimumRadius(g, wallLessAllowances);
}

PressureInput pressureInput(const CodeCheckCliOptions& o, double stress, std::optional<double> nominalWall)
{
    PressureInput in;
    in.pressure = *o.pressure;
    in.stress = stress;
    in.jointFactor = o.jointFactor;
    in.weldFactor = o.weldFactor;
    in.allowance = o.allowance;
    in.millTolerance = o.millTolerance;
    in.nominalWall = nominalWall;
    in.service = o.service;
    if (!o.stress || o.temperatureGiven) in.temperature = o.temperature;
    return in;
}

}  // namespace

Result<std::vector<std::string>> codeCheckLines(const CodeCheckCliOptions& o, const MitreGeometry& g,
                                                std::optional<double> nominalWall, const std::string& dataDir)
{
    const MinimumRadiusCheck radius = radiusCheck(o, g, nominalWall);
    if (!o.pressure) return describeCodeCheck(radius, nullptr, nullptr).lines;
    const Result<Stress> stress = designStress(o, dataDir);
    if (!stress) return stress.error();
    const PressureInput in = pressureInput(o, stress->value, nominalWall);
    const Result<PressureCheck> checked = checkPressure(g, in);
    if (!checked) return checked.error();
    CodeCheckReport report = describeCodeCheck(radius, &*checked, &in);
    if (checked->requiredWall) addListedWall(report, *checked->requiredWall, listedWalls(dataDir));
    return report.lines;
}

Result<std::string> codeCheckJson(const CodeCheckCliOptions& o, const MitreGeometry& g,
                                  std::optional<double> nominalWall, const std::string& dataDir)
{
    const MinimumRadiusCheck radius = radiusCheck(o, g, nominalWall);
    std::string pressure = "null";
    std::optional<bool> pass = radius.pass;
    if (o.pressure) {
        const Result<Stress> stress = designStress(o, dataDir);
        if (!stress) return stress.error();
        const PressureInput in = pressureInput(o, stress->value, nominalWall);
        const Result<PressureCheck> checked = checkPressure(g, in);
        if (!checked) return checked.error();
        const std::optional<double> next =
            checked->requiredWall ? nextListedWall(dataDir, *checked->requiredWall) : std::nullopt;
        pressure = pressureJson(o, *stress, *checked, nominalWall, next);
        // Failing either check fails the elbow; without a wall the pressure side is open.
        if (radius.pass) pass = checked->pass;
    }
    return "{\"theta\": " + number(g.cutAngle) + ", \"alpha\": " + number(2 * g.cutAngle) +
           ", \"joints\": " + std::to_string(g.joints) + ", \"mitre\": \"" + (g.joints == 1 ? "single" : "multiple") +
           "\",\n   \"minimumRadius\": " + radiusJson(radius) + ",\n   \"pressure\": " + pressure +
           ",\n   \"pass\": " + optionalBool(pass) + "}";
}

namespace {

// Today in the local calendar, "2026-12-10".
std::string today()
{
    const std::time_t now = std::time(nullptr);
    const std::tm* at = std::localtime(&now);  // one thread: the shared result is read at once
    if (!at) return "";
    const std::tm local = *at;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", (local.tm_year + 1900) % 10000, (local.tm_mon + 1) % 100,
                  local.tm_mday % 100);
    return buf;
}

}  // namespace

bool writeTemplateFiles(const FabricationCliOptions& o, const ElbowFabrication& f, std::ostream& err,
                        std::optional<ElbowIdentity> identity, const std::vector<std::string>& codeCheck)
{
    PrintSettings print;
    print.measuredBar = o.printedBar;
    print.codeCheck = codeCheck;
    if (identity) {
        identity->date = o.date ? *o.date : today();
        print.identity = identity;
    }
    if (!o.svgFile && !o.pdfFile && !o.dxfFile) return true;
    const Result<TemplateSheet> sheet = templateSheet(f, o.templateOptions);
    if (!sheet) {
        err << sheet.error().description << "\n";
        return false;
    }
    if (o.pdfFile) {
        // Told before any file is written: a refused PDF leaves the others unwritten too.
        const PaperSize paper = *paperSize(o.paper);
        const long long pages = templatePdfPages(f, *sheet, paper, print);
        if (const auto refused = templatePdfRefusal(*o.pdfFile, pages, paper)) {
            err << "tessik-elbow: " << refused->description << "\n";
            return false;
        }
        if (pages > kPdfPagesToAsk)
            err << "tessik-elbow: 注意：样板 PDF 共 " << templatePdfPagesText(pages, paper)
                << "，打印前请核对页数（换用更大的纸张可减少页数）。\n";
    }
    if (o.svgFile && !writeWhole(*o.svgFile, templateSvg(*sheet), err)) return false;
    if (o.pdfFile) {
        if (const Status written = writeTemplatePdf(*o.pdfFile, f, *sheet, *paperSize(o.paper), print); !written) {
            err << "tessik-elbow: " << written.error().description << "\n";
            return false;
        }
    }
    if (o.dxfFile) {
        const Result<std::string> bytes = templateDxf(*sheet);
        if (!bytes) {
            err << "tessik-elbow: " << *o.dxfFile << ": " << bytes.error().description << "\n";
            return false;
        }
        if (!writeWhole(*o.dxfFile, *bytes, err)) return false;
    }
    return true;
}

}  // namespace tessik
