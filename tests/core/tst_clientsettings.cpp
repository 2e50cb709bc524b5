#include "ClientSettings.h"

#include "ClientDataSet.h"
#include "DataSetModel.h"

#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFontDatabase>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include <memory>

using namespace vexa;
using namespace vexa::gl;

namespace {

const QString kClientKey = QStringLiteral("Software\\Corvane\\Vexa\\Client");

} // namespace

class TestClientSettings : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;

    // The store as the platform keeps it: one INI file per user.
    std::unique_ptr<QSettings> rawStore()
    {
        return std::make_unique<QSettings>(m_home->filePath(QStringLiteral("Corvane/Vexa.conf")),
                                           QSettings::IniFormat);
    }

    std::unique_ptr<QSettings> rawClientKey()
    {
        auto store = rawStore();
        store->beginGroup(QStringLiteral("Software/Corvane/Vexa/Client"));
        return store;
    }

private slots:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home->path());
        Settings() = ClientSettings();
        SetPartCaptionsSource(nullptr);
    }

    void freshProfileGetsEveryDefault()
    {
        const bool font = QFontDatabase::families().contains(QStringLiteral("华文细黑"));
        const QList<QPair<QString, QString>> expected{
            {"CAcctShowType", "4"},
            {"CFormMinWidth", "1024"},
            {"CFormMaxWidth", "1300"},
            {"CAcctEnterOption", "100000000000000000000110000100"},
            {"CUPDATASVR", "0000"},
            {"CGridDataAutoRefresh", "true"},
            {"CGridIndicator", "false"},
            {"CGUIStyle", font ? "华文细黑" : "默认样式"},
            {"CFontName", font ? "华文细黑" : "Tahoma"},
            {"CFontSize", font ? "10" : "8"},
            {"CTLabelPosSize", "0"},
            {"CGridHeaderHeight", "23"},
            {"CGridFooterHeight", font ? "25" : "24"},
            {"CGridDataRowHeight", "20"},
            {"CGridLineWidth", "2"},
            {"CBrowseGridLines", font ? "3" : "0"},
            {"CFindGridLines", "3"},
            {"CCellHints", "true"},
            {"CBrowseLineHeight", "8"},
            {"CFindTopCount", "2000"},
            {"CBtnFadeVale", "6"},
            {"CSpeedFadeVale", "5"},
            {"CPanelFadeVale", "5"},
            {"CBtnBorderWidth", "3"},
            {"CCurrencyHorzStyle", "2"},
            {"CEditNativeStyle", "true"},
            {"CPURImmStocks", "false"},
            {"CSALImmStocks", "false"},
            {"CPRGURL", ""},
        };

        LoadClientSettings(kClientKey);

        QVERIFY(QFile::exists(m_home->filePath(QStringLiteral("Corvane/Vexa.conf"))));
        auto key = rawClientKey();
        QCOMPARE(key->childKeys().size(), expected.size());
        for (const auto &[name, text] : expected) {
            QVERIFY2(key->contains(name), qPrintable(name));
            QCOMPARE(key->value(name).toString(), text);
        }
        QCOMPARE(Settings().CFindTopCount, 2000);
        QCOMPARE(Settings().CGridFooterHeight, font ? 25 : 24);
        QCOMPARE(Settings().CFontName,
                 font ? QStringLiteral("华文细黑") : QStringLiteral("Tahoma"));
        QVERIFY(Settings().ScrollBarHeight > 0);
    }

    void storedValuesAreRead()
    {
        {
            auto key = rawClientKey();
            key->setValue(QStringLiteral("CFindTopCount"), 500);
            key->setValue(QStringLiteral("CGridIndicator"), true);
            key->setValue(QStringLiteral("CFontName"), QStringLiteral("宋体"));
            key->setValue(QStringLiteral("CEditNativeStyle"), false);
            key->setValue(QStringLiteral("CPRGURL"), QStringLiteral("http://upd.example.com/a,b"));
            // Values of the wrong kind keep their defaults and stay as they are.
            key->setValue(QStringLiteral("CGridDataRowHeight"), QStringLiteral("高"));
            key->setValue(QStringLiteral("CFindGridLines"), 7);
            key->setValue(QStringLiteral("CCellHints"), QStringLiteral("maybe"));
        }

        LoadClientSettings(kClientKey);

        const ClientSettings &s = Settings();
        QCOMPARE(s.CFindTopCount, 500);
        QCOMPARE(s.CGridIndicator, true);
        QCOMPARE(s.CFontName, QStringLiteral("宋体"));
        QCOMPARE(s.CPRGURL, QStringLiteral("http://upd.example.com/a,b"));
        QCOMPARE(s.CEditNativeStyle, true);
        QCOMPARE(s.CGridDataRowHeight, 20);
        QCOMPARE(s.CFindGridLines, 3);
        QCOMPARE(s.CCellHints, true);

        auto key = rawClientKey();
        QCOMPARE(key->value(QStringLiteral("CEditNativeStyle")).toString(),
                 QStringLiteral("false"));
        QCOMPARE(key->value(QStringLiteral("CGridDataRowHeight")).toString(), QStringLiteral("高"));
        QCOMPARE(key->value(QStringLiteral("CFindTopCount")).toString(), QStringLiteral("500"));
        QCOMPARE(key->value(QStringLiteral("CGridHeaderHeight")).toString(), QStringLiteral("23"));
    }

    void fontAndPlatformDefaults_data()
    {
        QTest::addColumn<bool>("fontInstalled");
        QTest::addColumn<int>("majorVersion");
        QTest::addColumn<int>("footer");
        QTest::addColumn<QString>("fontName");
        QTest::addColumn<int>("fontSize");
        QTest::addColumn<QString>("guiStyle");
        QTest::addColumn<int>("browseGridLines");
        QTest::newRow("without the font") << false << 10 << 24 << "Tahoma" << 8 << "默认样式" << 0;
        QTest::newRow("with the font") << true << 10 << 25 << "华文细黑" << 10 << "华文细黑" << 3;
        QTest::newRow("without, old platform")
            << false << 5 << 26 << "Tahoma" << 8 << "默认样式" << 0;
        QTest::newRow("with, old platform")
            << true << 4 << 27 << "华文细黑" << 10 << "华文细黑" << 3;
        QTest::newRow("platform 6") << false << 6 << 24 << "Tahoma" << 8 << "默认样式" << 0;
    }

    void fontAndPlatformDefaults()
    {
        QFETCH(bool, fontInstalled);
        QFETCH(int, majorVersion);
        QFETCH(int, footer);
        QFETCH(QString, fontName);
        QFETCH(int, fontSize);
        QFETCH(QString, guiStyle);
        QFETCH(int, browseGridLines);

        const ClientSettings s = ClientSettings::Defaults(fontInstalled, majorVersion);
        QCOMPARE(s.CGridFooterHeight, footer);
        QCOMPARE(s.CFontName, fontName);
        QCOMPARE(s.CFontSize, fontSize);
        QCOMPARE(s.CGUIStyle, guiStyle);
        QCOMPARE(s.CBrowseGridLines, browseGridLines);
        QCOMPARE(s.CFindGridLines, 3);
    }

    void unopenableKeyKeepsDefaults()
    {
        rawClientKey()->setValue(QStringLiteral("CFindTopCount"), 500);
        LoadClientSettings(kClientKey);
        QCOMPARE(Settings().CFindTopCount, 500);

        // A store whose folder cannot be made: a plain file stands where it should be.
        const QString blocked = m_home->filePath(QStringLiteral("blocked"));
        {
            QFile file(blocked);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocked);
        QVERIFY(!OpenRegistryKey(kClientKey));
        LoadClientSettings(kClientKey);
        QCOMPARE(Settings().CFindTopCount, 2000);
        QCOMPARE(Settings().CEditNativeStyle, true);
    }

    void registryPaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("group");
        QTest::newRow("backslashes") << kClientKey << "Software/Corvane/Vexa/Client";
        QTest::newRow("slashes, trailing") << "Software/Corvane/Vexa/Client/"
                                           << "Software/Corvane/Vexa/Client";
        QTest::newRow("leading, doubled") << "\\Software\\\\Corvane\\Vexa\\Client\\"
                                          << "Software/Corvane/Vexa/Client";
        QTest::newRow("one level") << "SHKEYCONFIG"
                                   << "SHKEYCONFIG";
    }

    void registryPaths()
    {
        QFETCH(QString, path);
        QFETCH(QString, group);
        QCOMPARE(RegistryGroup(path), group);

        // Every spelling of a key reaches the same values.
        OpenRegistryKey(kClientKey)->setValue(QStringLiteral("ShowAllAcct"), true);
        auto key = OpenRegistryKey(path);
        QVERIFY(key);
        QCOMPARE(key->group(), group);
        if (group == u"Software/Corvane/Vexa/Client")
            QCOMPARE(key->value(QStringLiteral("ShowAllAcct")).toBool(), true);
    }

    void localDataFolder_data()
    {
        QTest::addColumn<bool>("keyExists");
        QTest::addColumn<QString>("localAppData");
        QTest::addColumn<QString>("installPath");
        QTest::addColumn<QString>("expected"); // empty: the executable's folder
        QTest::newRow("local app data") << true << "/data/vexa"
                                        << "/opt/vexa"
                                        << "/data/vexa";
        QTest::newRow("install path") << true << ""
                                      << "/opt/vexa"
                                      << "/opt/vexa";
        QTest::newRow("both empty") << true << ""
                                    << ""
                                    << "";
        QTest::newRow("no key") << false << ""
                                << ""
                                << "";
    }

    void localDataFolder()
    {
        QFETCH(bool, keyExists);
        QFETCH(QString, localAppData);
        QFETCH(QString, installPath);
        QFETCH(QString, expected);

        if (keyExists) {
            auto store = rawStore();
            store->beginGroup(QStringLiteral("SHKEYCONFIG"));
            store->setValue(QStringLiteral("LocalAppData"), localAppData);
            store->setValue(QStringLiteral("InstallPath"), installPath);
        }
        const QString folder = LocalDataFolder();
        if (expected.isEmpty()) {
            QCOMPARE(folder, QCoreApplication::applicationDirPath());
            QVERIFY(!folder.endsWith(u'/'));
        } else {
            QCOMPARE(folder, expected);
        }
    }

    void applyLookToGridsLabelsAndEdits()
    {
        ClientSettings &s = Settings();
        s.CGridHeaderHeight = 31;
        s.CGridDataRowHeight = 17;
        s.CGridIndicator = true;
        s.CTLabelPosSize = 3;
        s.CFontName = QStringLiteral("宋体");
        s.CFontSize = 11;
        SetPartCaptionsSource([] {
            return PartCaptions{QStringLiteral("物料编码"), QStringLiteral("物料名称")};
        });

        ClientDataSet data;
        data.addField(QStringLiteral("PartCode"), FieldType::String, 20);
        data.addField(QStringLiteral("ItDesc"), FieldType::String, 40);
        data.addField(QStringLiteral("PartDesc"), FieldType::String, 40);
        data.addField(QStringLiteral("Qty"), FieldType::Float);
        data.createDataSet();
        for (int i = 0; i < 3; ++i) {
            data.append();
            data.setValue(QStringLiteral("PartCode"), QStringLiteral("P%1").arg(i));
            data.post();
        }
        DataSetModel model(&data);

        QWidget form;
        form.resize(500, 300);
        auto *grid = new QTableView(&form);
        grid->setModel(&model);
        grid->setGeometry(0, 60, 500, 240);
        auto *single = new QLabel(QStringLiteral("科目编码"), &form);
        single->move(10, 40);
        auto *wrapped = new QLabel(QStringLiteral("说明"), &form);
        wrapped->setWordWrap(true);
        wrapped->move(200, 40);
        auto *edit = new QLineEdit(&form);

        ApplyLook(&form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        QCOMPARE(grid->horizontalHeader()->height(), 31);
        QCOMPARE(grid->verticalHeader()->defaultSectionSize(), 17);
        QCOMPARE(grid->rowHeight(0), 17);
        QVERIFY(grid->verticalHeader()->isVisible());
        QCOMPARE(grid->textElideMode(), Qt::ElideRight);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("物料编码"));
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("物料名称"));
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("物料名称"));
        QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), QStringLiteral("Qty"));

        QCOMPARE(single->pos(), QPoint(10, 37));
        QCOMPARE(wrapped->pos(), QPoint(200, 40));
        QCOMPARE(single->font().family(), QStringLiteral("宋体"));
        QCOMPARE(single->font().pointSize(), 11);
        QCOMPARE(edit->font().family(), QStringLiteral("宋体"));
        QCOMPARE(edit->font().pointSize(), 11);
    }

    void gridsWithoutIndicatorOrCaptions()
    {
        Settings().CGridIndicator = false;
        ClientDataSet data;
        data.addField(QStringLiteral("PartCode"), FieldType::String, 20);
        data.createDataSet();
        DataSetModel model(&data);
        QWidget form;
        auto *grid = new QTableView(&form);
        grid->setModel(&model);
        ApplyLook(&form); // no caption source installed
        QVERIFY(grid->verticalHeader()->isHidden());
        QCOMPARE(grid->verticalHeader()->defaultSectionSize(), 20);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("PartCode"));
    }

    void cellHintsForClippedCells_data()
    {
        QTest::addColumn<bool>("hints");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("shown");
        const QString longText = QStringLiteral("应收账款——华东区域客户往来明细（含已核销）");
        QTest::newRow("clipped") << true << longText << true;
        QTest::newRow("fits") << true << QStringLiteral("现金") << false;
        QTest::newRow("hints off") << false << longText << false;
    }

    void cellHintsForClippedCells()
    {
        QFETCH(bool, hints);
        QFETCH(QString, text);
        QFETCH(bool, shown);

        Settings().CCellHints = hints;
        ClientDataSet data;
        data.addField(QStringLiteral("AcctName"), FieldType::String, 80);
        data.createDataSet();
        data.append();
        data.setValue(QStringLiteral("AcctName"), text);
        data.post();
        DataSetModel model(&data);
        QWidget form;
        form.resize(300, 200);
        auto *grid = new QTableView(&form);
        grid->setGeometry(0, 0, 300, 200);
        grid->setModel(&model);
        grid->setColumnWidth(0, 80);
        ApplyLook(&form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        QToolTip::hideText();
        const QPoint at = grid->visualRect(model.index(0, 0)).center();
        QHelpEvent help(QEvent::ToolTip, at, grid->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(grid->viewport(), &help);
        QCOMPARE(QToolTip::isVisible() && QToolTip::text() == text, shown);
    }

    void applyLookToCurrencyEdits_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("alignment");
        QTest::newRow("centred") << 0 << int(Qt::AlignHCenter);
        QTest::newRow("left") << 1 << int(Qt::AlignLeft);
        QTest::newRow("right") << 2 << int(Qt::AlignRight);
        QTest::newRow("other is right") << 9 << int(Qt::AlignRight);
    }

    void applyLookToCurrencyEdits()
    {
        QFETCH(int, style);
        QFETCH(int, alignment);

        Settings().CCurrencyHorzStyle = style;
        QWidget form;
        auto *yuan = new QDoubleSpinBox(&form);
        yuan->setProperty(kDisplayFormat, QStringLiteral("￥,0.00;-￥,0.00"));
        auto *rate = new QDoubleSpinBox(&form);
        rate->setDecimals(4);
        rate->setProperty(kDisplayFormat, QStringLiteral("0.0000"));

        ApplyLook(&form);
        QCOMPARE(int(yuan->alignment() & Qt::AlignHorizontal_Mask), alignment);
        QVERIFY(yuan->isGroupSeparatorShown());
        QCOMPARE(yuan->decimals(), 6);
        QCOMPARE(yuan->property(kDisplayFormat).toString(), QStringLiteral(",#.00####;-,#.00####"));
        QCOMPARE(rate->decimals(), 4);
        QCOMPARE(rate->property(kDisplayFormat).toString(), QStringLiteral("0.0000"));
    }
};

QTEST_MAIN(TestClientSettings)
#include "tst_clientsettings.moc"
