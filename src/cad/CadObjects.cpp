#include "CadObjects.h"

#include "AutomationNumbers.h"

namespace tessik {
namespace {

// What a late-bound call answers for a member the object does not have.
Error noSuchMember(const char* member) { return Error{protocol::kUnknownName, "未知的名称", member}; }

}  // namespace

Status CadEntity::setLayer(const std::string&) { return noSuchMember("Layer"); }

Result<std::shared_ptr<CadLayers>> CadDocument::Layers() { return noSuchMember("Layers"); }

}  // namespace tessik
