#include "PluginLoader.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>

namespace vexa::host {

const QString PluginLoader::kLibraryFile = QStringLiteral("libvexagl.so");
const PluginLibrary PluginLoader::kConsole{QStringLiteral("VEXAGL"), kLibraryFile,
                                           QStringLiteral("VEXA_PLUGIN_PATH"),
                                           QStringLiteral("plugin")};
const PluginLibrary PluginLoader::kLedger{
    QStringLiteral("VEXALEDGER"), QStringLiteral("libvexaledger.so"),
    QStringLiteral("VEXA_LEDGER_PLUGIN_PATH"), QStringLiteral("ledger")};

QList<PluginLibrary> PluginLoader::libraries()
{
    return {kConsole, kLedger};
}

QStringList PluginLoader::searchList(const PluginLibrary &library, const QString &explicitPath,
                                     const QString &applicationDir)
{
    if (!explicitPath.isEmpty())
        return {explicitPath};
    QStringList list;
    const QString env = qEnvironmentVariable(library.environment.toLatin1().constData());
    if (!env.isEmpty())
        list.append(QFileInfo(env).isDir() ? QDir(env).filePath(library.file) : env);
    const QDir dir(applicationDir);
    list.append(QDir::cleanPath(
        dir.filePath(QStringLiteral("../%1/%2").arg(library.buildFolder, library.file))));
    list.append(dir.filePath(library.file));
    return list;
}

QString PluginLoader::find(const PluginLibrary &library, const QString &explicitPath,
                           const QString &applicationDir)
{
    for (const QString &candidate : searchList(library, explicitPath, applicationDir))
        if (QFileInfo(candidate).isFile())
            return QFileInfo(candidate).absoluteFilePath();
    return {};
}

void PluginLoader::open(const QString &path)
{
    unload();
    m_library.setFileName(path);
    if (!m_library.load())
        throw Error(QStringLiteral("无法装载插件库“%1”：%2")
                        .arg(QDir::toNativeSeparators(path), m_library.errorString()));
    auto create = reinterpret_cast<CreatePluginFunction>(m_library.resolve(kCreatePluginSymbol));
    if (!create) {
        m_library.unload();
        throw Error(QStringLiteral("插件库“%1”没有入口函数 %2。")
                        .arg(QDir::toNativeSeparators(path), QLatin1String(kCreatePluginSymbol)));
    }
    m_create = create;
    m_opened = path;
}

ILXPlugin *PluginLoader::load(const QString &path, IPluginHost *host)
{
    if (!m_create || m_plugin || m_opened != path)
        open(path);
    const CreatePluginFunction create = m_create;
    ILXPlugin *plugin = nullptr;
    // The exception object's code and a literal message's characters live in the library:
    // copy the characters out and let the exception end before the library goes.
    QString failure;
    bool failed = false;
    try {
        create(host, qobject_cast<QApplication *>(QCoreApplication::instance()),
               QGuiApplication::primaryScreen(), &plugin);
    } catch (const std::exception &e) {
        failed = true;
        const QString text = errorText(e);
        failure = QString(text.constData(), text.size()); // a deep copy: see above
    }
    if (failed) {
        unload();
        throw Error(failure.isEmpty() ? QStringLiteral("插件初始化失败。") : failure);
    }
    if (!plugin) {
        unload();
        throw Error(
            QStringLiteral("插件库“%1”没有交出插件对象。").arg(QDir::toNativeSeparators(path)));
    }
    m_plugin = plugin;
    return plugin;
}

void PluginLoader::unload()
{
    m_plugin = nullptr;
    m_create = nullptr;
    m_opened.clear();
    if (m_library.isLoaded())
        m_library.unload();
}

} // namespace vexa::host
