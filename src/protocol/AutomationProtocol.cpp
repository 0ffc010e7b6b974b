#include "AutomationProtocol.h"

#include <unistd.h>

namespace tessik::protocol {

QString socketPath()
{
    const QString overridden = qEnvironmentVariable(kSocketOverrideVariable);
    if (!overridden.isEmpty()) return overridden;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) return runtime + QStringLiteral("/tessik/cad.sock");
    return QStringLiteral("/tmp/tessik-%1/cad.sock").arg(::getuid());
}

}  // namespace tessik::protocol
