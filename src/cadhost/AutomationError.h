#pragma once
// The error numbers tessik-cad's automation interface answers with. They are
// the numbers a commercial CAD's automation (COM) returns in the same
// situations, so a client written against one reads the other alike; the
// descriptions are Chinese, as the user interface is.

#include <cstdint>

#include <QString>

#include "Error.h"

namespace tessik::cadhost::automation {

// Picks and drawings.
inline constexpr std::int32_t kPickCancelled = -2147352567;    // DISP_E_EXCEPTION
inline constexpr std::int32_t kNoDocument = -2145320900;       // no drawing is open
inline constexpr std::int32_t kInvalidArgument = -2145320939;  // argument refused
// Late binding.
inline constexpr std::int32_t kUnknownName = -2147352570;      // DISP_E_UNKNOWNNAME
inline constexpr std::int32_t kMemberNotFound = -2147352573;   // DISP_E_MEMBERNOTFOUND
inline constexpr std::int32_t kBadParamCount = -2147352562;    // DISP_E_BADPARAMCOUNT
inline constexpr std::int32_t kDisconnected = -2147417848;     // RPC_E_DISCONNECTED
inline constexpr std::int32_t kFailed = -2147467259;           // E_FAIL
// The JSON-RPC layer itself.
inline constexpr std::int32_t kParseError = -32700;
inline constexpr std::int32_t kInvalidRequest = -32600;
inline constexpr std::int32_t kMethodNotFound = -32601;
inline constexpr std::int32_t kInvalidParams = -32602;

inline Error error(std::int32_t number, const QString& description)
{
    return Error{number, description.toStdString(), {}};
}

}  // namespace tessik::cadhost::automation
