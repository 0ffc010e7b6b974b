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

namespace tessik {

struct FabricationCliOptions {
    bool json = false;  // --fabrication
    TemplateDiameterKind templateDiameter = TemplateDiameterKind::outside;
    bool templateDiameterGiven = false;
    int divisions = kDefaultDivisions;
    std::optional<std::string> dxfFile;
    std::optional<std::string> svgFile;
    std::optional<std::string> pdfFile;
    std::string paper = "A4";

    // Whether the elbow is to be developed at all.
    bool wanted() const { return json || dxfFile || svgFile || pdfFile; }
};

// Removes the fabrication options from args into `options`; returns a usage
// error when one is malformed.
std::optional<std::string> takeFabricationArguments(std::vector<std::string>& args, FabricationCliOptions& options);

// The "fabrication" member's value: one JSON object.
std::string fabricationJson(const ElbowFabrication& fabrication, bool withWeight);

// Writes the template files the options ask for. Each file is written whole
// or not at all; on failure `err` says which and why and false is returned.
bool writeTemplateFiles(const FabricationCliOptions& options, const ElbowFabrication& fabrication,
                        std::ostream& err);

std::string fabricationUsage();

}  // namespace tessik
