#pragma once
// The error numbers a reply of tessik-cad's automation socket carries. They
// are those a commercial CAD's automation (COM) returns in the same
// situations, so a client written against one reads the other alike; the
// JSON-RPC layer's own errors keep JSON-RPC's numbers. No Qt: the CAD link's
// interfaces number their errors with them.

#include <cstdint>

namespace tessik::protocol {

// Picks and drawings.
inline constexpr std::int32_t kPickCancelled = -2147352567;    // DISP_E_EXCEPTION
inline constexpr std::int32_t kNoDocument = -2145320900;       // no drawing is open
inline constexpr std::int32_t kInvalidArgument = -2145320939;  // argument refused
inline constexpr std::int32_t kObjectErased = -2145386420;     // the entity was erased
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

}  // namespace tessik::protocol
