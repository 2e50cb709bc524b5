// libvexa_fake_plugin.so: the fake plug-in behind the real entry point, for the loader
// and the program tests.

#include "FakePlugin.h"

#include <QSettings>
#include <memory>

namespace {
std::unique_ptr<vexa::test::FakePlugin> g_plugin;
}

extern "C" __attribute__((visibility("default"))) void
CreatePlugin(vexa::IPluginHost *host, QApplication *, QScreen *, vexa::ILXPlugin **plugin)
{
    if (host->CheckVersion(QStringLiteral("TARN"), QStringLiteral("2013")) != 0)
        throw vexa::Error(QStringLiteral("装载库文件失败，使用的库文件版本检查错误。"));
    if (qEnvironmentVariable("VEXA_FAKE_PLUGIN_FAIL") == QLatin1String("1"))
        throw vexa::Error(QStringLiteral("插件初始化失败：测试要求失败。"));
    if (qEnvironmentVariableIsSet("VEXA_FAKE_PLUGIN_SETTINGS")) {
        // As the real plug-in's client settings do: text of the library's own goes into
        // Qt's settings cache, which outlives the library once it is unloaded.
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvane"),
                  QStringLiteral("Vexa"))
            .setValue(QStringLiteral("Software/Corvane/Vexa/Client/FakePlugin"),
                      QStringLiteral("装载过"));
    }
    if (!g_plugin)
        g_plugin = std::make_unique<vexa::test::FakePlugin>();
    g_plugin->host = host;
    *plugin = g_plugin.get();
}
