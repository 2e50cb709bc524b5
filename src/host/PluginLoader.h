#pragma once

#include <vexa/PluginHost.h>

#include <QLibrary>
#include <QString>
#include <QStringList>

namespace vexa::host {

// One plug-in library the host loads: the catalogue's name for it (SMModules.DllFile), its
// file, the environment variable that points at it and its folder in a build tree.
struct PluginLibrary
{
    QString name;        // VEXAGL
    QString file;        // libvexagl.so
    QString environment; // VEXA_PLUGIN_PATH
    QString buildFolder; // plugin: <build>/src/plugin beside <build>/src/host
};

// Finds a plug-in library, loads it and calls its CreatePlugin.
class PluginLoader
{
public:
    static const QString kLibraryFile;   // libvexagl.so
    static const PluginLibrary kConsole; // VEXAGL, libvexagl.so
    static const PluginLibrary kLedger;  // VEXALEDGER, libvexaledger.so
    // The libraries the host loads, the console's first.
    static QList<PluginLibrary> libraries();

    // Where a library is looked for, in order: the explicit path when given (then nothing
    // else), $<environment> (a file, or a folder holding the file), <dir of
    // vexa>/../<buildFolder>/<file>, <dir of vexa>/<file>.
    static QStringList searchList(const PluginLibrary &library, const QString &explicitPath,
                                  const QString &applicationDir);
    // The first existing file of the search list; empty when there is none.
    static QString find(const PluginLibrary &library, const QString &explicitPath,
                        const QString &applicationDir);
    // The console's library.
    static QStringList searchList(const QString &explicitPath, const QString &applicationDir)
    {
        return searchList(kConsole, explicitPath, applicationDir);
    }
    static QString find(const QString &explicitPath, const QString &applicationDir)
    {
        return find(kConsole, explicitPath, applicationDir);
    }

    PluginLoader() = default;
    // Leaves the library loaded: unloading is the owner's explicit last step.
    ~PluginLoader() = default;
    PluginLoader(const PluginLoader &) = delete;
    PluginLoader &operator=(const PluginLoader &) = delete;

    // Loads the library and calls CreatePlugin. Throws vexa::Error when the library does
    // not load or lacks the entry point, and passes CreatePlugin's own errors on.
    ILXPlugin *load(const QString &path, IPluginHost *host);
    // The first half of load(), which needs no login: loads the library and finds its entry
    // point. Throws as load() does; load() of the same path goes on from there.
    void open(const QString &path);
    ILXPlugin *plugin() const { return m_plugin; }
    QString path() const { return m_library.fileName(); }
    bool isLoaded() const { return m_library.isLoaded(); }

    // Unloads the library. The plug-in object belongs to the library and goes with it; the
    // caller first closes the pages and frees everything the plug-in may have put into
    // host objects (datasets in the data module, children of the main window).
    void unload();

private:
    QLibrary m_library;
    QString m_opened; // the path open() loaded, with its entry point
    CreatePluginFunction m_create = nullptr;
    ILXPlugin *m_plugin = nullptr;
};

} // namespace vexa::host
