#pragma once
// The errors tessik-cad's automation interface answers with: the numbers of
// AutomationProtocol.h, the descriptions Chinese, as the user interface is.

#include <cstdint>

#include <QString>

#include "AutomationProtocol.h"
#include "Error.h"

namespace tessik::cadhost::automation {

using namespace protocol;

inline Error error(std::int32_t number, const QString& description)
{
    return Error{number, description.toStdString(), {}};
}

}  // namespace tessik::cadhost::automation
