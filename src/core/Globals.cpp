#include "Globals.h"

#include <vexa/Error.h>

namespace vexa::gl {

PluginGlobals &Globals()
{
    static PluginGlobals globals;
    return globals;
}

SessionGlobals &Session()
{
    static SessionGlobals session;
    return session;
}

IPluginHost &HostRef()
{
    if (!Globals().Host)
        throw Error(QStringLiteral("插件尚未由宿主程序装载。"));
    return *Globals().Host;
}

} // namespace vexa::gl
