#pragma once
// The main window's record of design parameters and the scratch variables its
// procedures share, with InputParameter, which derives the record from the
// four design fields, and the bindings the standard lookup and the weight
// take it through. Pure: no widgets, so the command-line companion and the
// tests use exactly what the window uses.

#include <cstdint>
#include <string>

#include "BookTable.h"
#include "ElbowGeometry.h"
#include "PendingError.h"
#include "StandardLookup.h"
#include "Weight.h"

namespace tessik {

struct DesignRecord : ElbowParameters {
    float SngCZ = 0;      // density, kg per cubic metre
    float SngBH = 0;      // wall thickness, mm
    float SngWeight = 0;  // weight, kg
    Point3 VntPoint{};    // last insertion point picked in the CAD application
    bool hasPoint = false;
    int IntJ = 0;             // scratch: list position / table column
    std::int16_t IntK = 0;    // scratch: table row
    std::string StrTemp;      // scratch text
    BookTable DblBook;        // the standard table

    // The variables the standard lookup reads and writes, bound to this record.
    LookupVariables lookupVariables() { return {DblD, DblAB, StrTemp, IntJ, IntK, DblBook}; }
    // What the weight reads, as InputParameter left it.
    WeightInputs weightInputs() const { return {DblD, DblC1, DblC2, IntN}; }
    // The variables the weight calculation writes, bound to this record.
    WeightVariables weightVariables() { return {SngCZ, SngBH, SngWeight}; }
};

// The current texts of the fields InputParameter reads.
struct DesignFieldTexts {
    std::string CmbHd;   // bend angle
    std::string TxtZJS;  // number of middle segments
    std::string CmbWJ;   // outer diameter, possibly with a leading "*"
    std::string TxtWJ;   // bend radius
};

// Updates the record step by step. Returns the pending error: clear when every
// value was derived; otherwise the record is partly updated exactly as the
// failing steps allow (see the .cpp) and the caller must not use it.
PendingError InputParameter(const DesignFieldTexts& fields, DesignRecord& record);

}  // namespace tessik
