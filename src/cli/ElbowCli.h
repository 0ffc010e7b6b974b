#pragma once
// tessik-elbow, the command-line companion of the design window: the same
// design record, the same InputParameter and the same view geometry, printed
// as one JSON object for scripts and batch work. A radius or segment count left
// out is proposed by the standard lookup from book.ini, as choosing the diameter
// and the angle in the window does; a given wall thickness adds the weight.
//
// parseElbowArguments turns argv into ElbowCliOptions (or a usage error);
// runElbowCli does the whole run and returns the exit status:
//   0  the JSON object on `out`;
//   1  wrong usage: a message on `err`, nothing on `out`;
//   2  the design fields could not be used: "参数输入出错。" and the fields on
//      `err`, nothing on `out`; or the elbow cannot be developed for
//      fabrication: "无法展开：..." on `err`, nothing on `out`;
//   3  a template file could not be written: why on `err`, nothing on `out`.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "ElbowEntity.h"
#include "ElbowGeometry.h"
#include "FabricationCli.h"

namespace tessik {

struct ElbowCliOptions {
    std::string angle;     // text of the bend-angle field
    std::optional<std::string> segments;  // text of the middle-segment field; left out: proposed
    std::string diameter;  // text of the outer-diameter field, "*" allowed
    std::optional<std::string> radius;    // text of the bend-radius field; left out: proposed
    std::optional<std::string> wall;      // text of the wall-thickness field; given: the weight
    std::string density = "7850";         // text of the density field
    std::string dataDir = ".";            // folder of book.ini
    ElbowView view = ElbowView::Front;
    Point3 at{};           // picked point
    bool help = false;
    FabricationCliOptions fabrication;  // --fabrication and the template files
};

struct ElbowCliParse {
    std::optional<ElbowCliOptions> options;
    std::string usageError;  // set when options is empty
};

ElbowCliParse parseElbowArguments(const std::vector<std::string>& args);

int runElbowCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

std::string elbowUsage();

}  // namespace tessik
