#pragma once

#include <QString>

namespace vexa {
class IPluginHost;
class IRemoteConnection;
class IAppServer;
class DataModule;
} // namespace vexa

namespace vexa::gl {

class TLXPlugin;

// What the plug-in takes from its host, process-wide. The host owns the connection and
// the data module; the plug-in owns Plugin.
struct PluginGlobals
{
    IPluginHost *Host = nullptr;
    TLXPlugin *Plugin = nullptr;
    IRemoteConnection *Connection = nullptr;
    IAppServer *AppServer = nullptr;
    vexa::DataModule *DataModule = nullptr;
};
PluginGlobals &Globals();

// The session values read at CreatePlugin and again at Reload.
struct SessionGlobals
{
    QString CaptionPartCode;
    QString CaptionPartDesc;
    QString CaptionPartName;
    bool DesignModule = false;
    QString RegistryPath;
};
SessionGlobals &Session();

// The host, or an error when the plug-in has not been created by one.
IPluginHost &HostRef();

} // namespace vexa::gl
