#pragma once
// The fabrication part of tessik-elbow: --fabrication adds the cut list,
// ordinates, weld length and exact weight to the JSON; --template-svg,
// --template-pdf and --template-dxf write the flat templates. The options are
// taken out of the argument list before the design options are read, so the
// two parsers stay apart.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ElbowFabrication.h"
#include "MaterialNesting.h"
#include "MitreCodeCheck.h"
#include "PieceTemplate.h"
#include "TemplatePdf.h"

namespace tessik {

// The pressure check's inputs as given; left out, the defaults below or the
// material table's value.
struct CodeCheckCliOptions {
    std::optional<double> pressure;     // --pressure, MPa
    std::optional<std::string> material;  // --material; default: the table's first
    double temperature = 20;            // --temperature, degrees Celsius
    bool temperatureGiven = false;      // with --stress, the temperature is known only when given
    std::optional<double> stress;       // --stress, MPa: wins over the table
    double jointFactor = 1;             // --joint-factor E
    double weldFactor = 1;              // --weld-factor W
    double allowance = 0;               // --corrosion c, mm
    double millTolerance = 12.5;        // --mill-tolerance, per cent
    FluidService service = FluidService::normal;  // --service
};

// --nest pipe|plate, --sheet WIDTHxHEIGHT, --nest-dxf FILE.
struct NestCliOptions {
    std::optional<NestKind> kind;
    double sheetWidth = 0, sheetHeight = 0;  // mm, plate only
    std::optional<std::string> dxfFile;
};

struct FabricationCliOptions {
    bool json = false;  // --fabrication
    TemplateDiameterKind templateDiameter = TemplateDiameterKind::outside;
    bool templateDiameterGiven = false;
    int divisions = kDefaultDivisions;
    TemplateOptions templateOptions;  // --seam, --kerf
    std::optional<std::string> dxfFile;
    std::optional<std::string> svgFile;
    std::optional<std::string> pdfFile;
    std::string paper = "A4";
    std::optional<double> printedBar;  // --printed-bar: what the last print's 100 mm bar measured
    std::optional<std::string> date;   // --date: printed on the PDF's pages instead of today's
    CodeCheckCliOptions check;
    NestCliOptions nest;

    // Whether the elbow is to be developed at all.
    bool wanted() const { return json || dxfFile || svgFile || pdfFile || nest.dxfFile; }
    bool templateFiles() const { return dxfFile || svgFile || pdfFile; }
};

// Removes the fabrication options from args into `options`; returns a usage
// error when one is malformed.
std::optional<std::string> takeFabricationArguments(std::vector<std::string>& args, FabricationCliOptions& options);

// The "fabrication" member's value: one JSON object; codeCheck is the
// "codeCheck" member's value.
std::string fabricationJson(const ElbowFabrication& fabrication, bool withWeight, const std::string& codeCheck,
                            const std::optional<std::string>& nesting = std::nullopt);

// The nesting the options ask for (none when they ask for none), or why it
// cannot be made ("无法排料：...").
Result<std::optional<MaterialNest>> nestFor(const FabricationCliOptions& options, const ElbowFabrication& fabrication);

// The "nesting" member's value.
std::string nestJson(const MaterialNest& nest);

// Writes --nest-dxf, whole or not at all; false (and `err` told) on failure.
bool writeNestFile(const FabricationCliOptions& options, const MaterialNest& nest, std::ostream& err);

// The "codeCheck" member for the elbow and the nominal wall (when one was
// given as a number), with S from the material table in dataDir unless
// --stress gives it; or why the check cannot be made ("无法校核：...").
Result<std::string> codeCheckJson(const CodeCheckCliOptions& options, const MitreGeometry& geometry,
                                  std::optional<double> nominalWall, const std::string& dataDir);

// The same checks in words, a line each, as the template PDF shows them.
Result<std::vector<std::string>> codeCheckLines(const CodeCheckCliOptions& options, const MitreGeometry& geometry,
                                                std::optional<double> nominalWall, const std::string& dataDir);

// The minimum-radius check of a standard proposal, for the "proposal" member:
// {"minimumRadius": .., "A": .., "pass": ..}.
std::string proposalRadiusJson(const MinimumRadiusCheck& check);

// Writes the template files the options ask for. Each file is written whole
// or not at all; on failure `err` says which and why and false is returned.
// `identity` names the elbow on every PDF page (its date is filled in here).
bool writeTemplateFiles(const FabricationCliOptions& options, const ElbowFabrication& fabrication,
                        std::ostream& err, std::optional<ElbowIdentity> identity = std::nullopt,
                        const std::vector<std::string>& codeCheck = {});

std::string fabricationUsage();

}  // namespace tessik
