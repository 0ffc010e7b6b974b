#pragma once
// tessik-elbow's JSON output: what one run computed (the design record, the
// standard proposal, the weight text, the entities of the view and the
// fabrication member) written as one JSON object. The run computes, this
// writes; another output (a DXF file, say) takes the same ElbowRunResult.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "DesignRecord.h"
#include "ElbowEntity.h"
#include "StandardLookup.h"

namespace tessik {

namespace json {
// Doubles so that they read back to the same value; JSON has no infinity or
// NaN, so those become null.
std::string number(double value);
// A UTF-8 text with the JSON escapes.
std::string string(const std::string& text);
std::string point(const Point3& p);
}  // namespace json

// What one run of tessik-elbow computed.
struct ElbowRunResult {
    const DesignRecord& record;
    const std::optional<Proposal>& proposal;  // when the lookup ran
    const std::optional<std::string>& weight;  // the weight field's text, when a wall was given
    const std::vector<ElbowEntity>& entities;
    std::optional<std::string> fabrication;    // the "fabrication" member's JSON
    std::optional<std::string> proposalRadius; // the proposal's minimum-radius check as JSON
};

void writeElbowJson(const ElbowRunResult& result, std::ostream& out);

}  // namespace tessik
