#pragma once

#include <vexa/PluginHost.h>

#include <QLibrary>
#include <QString>
#include <QStringList>

namespace vexa::host {

// Finds the plug-in library, loads it and calls its CreatePlugin.
class PluginLoader
{
public:
    static const QString kLibraryFile; // libvexagl.so

    // Where the plug-in is looked for, in order: the --plugin path when given (then
    // nothing else), VEXA_PLUGIN_PATH, <dir of vexa>/../plugin/libvexagl.so,
    // <dir of vexa>/libvexagl.so.
    static QStringList searchList(const QString &explicitPath, const QString &applicationDir);
    // The first existing file of the search list; empty when there is none.
    static QString find(const QString &explicitPath, const QString &applicationDir);

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
