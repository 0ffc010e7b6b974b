#include "FabricationCli.h"

#include <cmath>
#include <map>
#include <set>

#include "ElbowJson.h"
#include "FileAccess.h"
#include "NumberText.h"
#include "PieceTemplate.h"
#include "TemplateDxf.h"
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
  --template-diameter outside|mean|inside
                    diameter the templates are drawn for (default outside: wrapped
                    round pipe; mean: plate rolled to a pipe; mean and inside need --wall)
  --divisions N     rows of the ordinate table, 4 to 720 (default 16)
  --template-svg FILE   the templates as one SVG sheet at true size
  --template-pdf FILE   the templates tiled at true size over pages of --paper, with
                    the cut list and ordinate table on the first page; more than
                    100 pages: written with a warning giving the count; more than
                    2000: refused (exit status 3, no template file written)
  --template-dxf FILE   the templates as DXF R2000 in mm (layers CUT, MARK, TEXT)
  --paper A4|A3|A2|A1|A0|letter   paper of the PDF (default A4)
A cut angle (DblA) outside 0 < angle < 90, or any other elbow that cannot be
developed: exit status 2, the reason ("无法展开：...") on standard error.
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
        static const std::set<std::string> ours{"--template-diameter", "--divisions", "--template-dxf",
                                                "--template-svg",      "--template-pdf", "--paper"};
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

// Checks the collected values and writes them into `o`.
std::optional<std::string> applyFabricationValues(std::map<std::string, std::string>& given,
                                                  FabricationCliOptions& o)
{
    bool modifiers = false;
    if (given.count("--template-diameter")) {
        static const std::map<std::string, TemplateDiameterKind> kinds{{"outside", TemplateDiameterKind::outside},
                                                                       {"mean", TemplateDiameterKind::mean},
                                                                       {"inside", TemplateDiameterKind::inside}};
        const auto it = kinds.find(given["--template-diameter"]);
        if (it == kinds.end()) return "--template-diameter needs outside, mean or inside: " + given["--template-diameter"];
        o.templateDiameter = it->second;
        o.templateDiameterGiven = modifiers = true;
    }
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
    for (const auto& [name, target] : {std::pair{"--template-dxf", &o.dxfFile}, std::pair{"--template-svg", &o.svgFile},
                                       std::pair{"--template-pdf", &o.pdfFile}}) {
        if (!given.count(name)) continue;
        if (given[name].empty()) return std::string(name) + " needs a file name";
        *target = given[name];
    }
    if (modifiers && !o.wanted()) return "--template-diameter, --divisions and --paper need --fabrication or a template file";
    if (given.count("--paper") && !o.pdfFile) return "--paper needs --template-pdf";
    return std::nullopt;
}

}  // namespace

std::optional<std::string> takeFabricationArguments(std::vector<std::string>& args, FabricationCliOptions& o)
{
    std::map<std::string, std::string> given;
    if (auto problem = collectFabricationArguments(args, o, given)) return problem;
    return applyFabricationValues(given, o);
}

std::string fabricationJson(const ElbowFabrication& f, bool withWeight)
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
    return s + "]}";
}

bool writeTemplateFiles(const FabricationCliOptions& o, const ElbowFabrication& f, std::ostream& err)
{
    if (!o.svgFile && !o.pdfFile && !o.dxfFile) return true;
    const Result<TemplateSheet> sheet = templateSheet(f);
    if (!sheet) {
        err << sheet.error().description << "\n";
        return false;
    }
    if (o.pdfFile) {
        // Told before any file is written: a refused PDF leaves the others unwritten too.
        const PaperSize paper = *paperSize(o.paper);
        const long long pages = templatePdfPages(f, *sheet, paper);
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
        if (const Status written = writeTemplatePdf(*o.pdfFile, f, *sheet, *paperSize(o.paper)); !written) {
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
