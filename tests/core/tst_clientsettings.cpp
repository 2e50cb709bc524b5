#include "ClientSettings.h"

#include "ClientDataSet.h"
#include "DataSetModel.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QFile>
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
const QString kGroup = QStringLiteral("Software/Corvane/Vexa/Client");

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
        store->beginGroup(kGroup);
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

        // A value of the wrong kind is left as it was; a missing one is written.
        auto key = rawClientKey();
        QCOMPARE(key->value(QStringLiteral("CGridDataRowHeight")).toString(), QStringLiteral("高"));
        QCOMPARE(key->value(QStringLiteral("CGridHeaderHeight")).toString(), QStringLiteral("23"));
    }

    // The font decides the font and the grid lines; platforms up to 5 have a taller footer.
    void fontAndPlatformDefaults()
    {
        const auto footer = [](bool font, int major) {
            return ClientSettings::Defaults(font, major).CGridFooterHeight;
        };
        QCOMPARE((QList<int>{footer(false, 6), footer(false, 5), footer(true, 6), footer(true, 5)}),
                 (QList<int>{24, 26, 25, 27}));
        QCOMPARE(ClientSettings::Defaults(false, 6).CBrowseGridLines, 0);
        QCOMPARE(ClientSettings::Defaults(true, 6).CBrowseGridLines, 3);
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
        QTest::newRow("backslashes") << kClientKey << kGroup;
        QTest::newRow("slashes, trailing") << "Software/Corvane/Vexa/Client/" << kGroup;
        QTest::newRow("leading, doubled") << "\\Software\\\\Corvane\\Vexa\\Client\\" << kGroup;
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
        if (group == kGroup)
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
        QCOMPARE(LocalDataFolder(),
                 expected.isEmpty() ? QCoreApplication::applicationDirPath() : expected);
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
        for (const char *f : {"PartCode", "ItDesc", "PartDesc", "Qty"})
            data.addField(QLatin1String(f), FieldType::String, 20);
        data.createDataSet();
        DataSetModel model(&data);

        QWidget form;
        auto *grid = new QTableView(&form);
        grid->setModel(&model);
        auto *single = new QLabel(QStringLiteral("科目编码"), &form);
        single->move(10, 40);
        auto *wrapped = new QLabel(QStringLiteral("说明"), &form);
        wrapped->setWordWrap(true);
        wrapped->move(200, 40);
        auto *edit = new QLineEdit(&form);
        ApplyLook(&form);

        QCOMPARE(grid->horizontalHeader()->height(), 31);
        QCOMPARE(grid->verticalHeader()->defaultSectionSize(), 17);
        QVERIFY(!grid->verticalHeader()->isHidden());
        QStringList captions;
        for (int c = 0; c < model.columnCount(); ++c)
            captions << model.headerData(c, Qt::Horizontal).toString();
        QCOMPARE(captions, (QStringList{"物料编码", "物料名称", "物料名称", "Qty"}));
        // One-line labels move up by the setting; wrapped ones stay.
        QCOMPARE(single->pos(), QPoint(10, 37));
        QCOMPARE(wrapped->pos(), QPoint(200, 40));
        QCOMPARE(single->font().family(), QStringLiteral("宋体"));
        QCOMPARE(edit->font().pointSize(), 11);
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

        // Without hints, without the row indicator and without a part caption source.
        Settings().CCellHints = hints;
        Settings().CGridIndicator = hints;
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
        QCOMPARE(grid->verticalHeader()->isHidden(), !hints);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("AcctName"));
    }

    // A layout puts a moved label back, so inside one the text moves within the label's
    // place through its margins, and the layout's rows stay where they were.
    void labelShiftInsideALayout_data()
    {
        QTest::addColumn<int>("shift");
        QTest::addColumn<int>("alignment");
        QTest::addColumn<QMargins>("margins");
        QTest::newRow("centred rises by half a bottom margin")
            << 3 << int(Qt::AlignVCenter) << QMargins(0, 0, 0, 6);
        QTest::newRow("bottom-aligned") << 3 << int(Qt::AlignBottom) << QMargins(0, 0, 0, 3);
        QTest::newRow("top-aligned has no room") << 3 << int(Qt::AlignTop) << QMargins();
        QTest::newRow("a negative shift moves it down")
            << -2 << int(Qt::AlignVCenter) << QMargins(0, 4, 0, 0);
    }

    void labelShiftInsideALayout()
    {
        QFETCH(int, shift);
        QFETCH(int, alignment);
        QFETCH(QMargins, margins);

        Settings().CTLabelPosSize = shift;
        QWidget form;
        auto *rows = new QVBoxLayout(&form);
        auto *inner = new QHBoxLayout;
        rows->addLayout(inner);
        auto *label = new QLabel(QStringLiteral("模块号"));
        label->setAlignment(Qt::AlignLeft | Qt::Alignment(alignment));
        inner->addWidget(label);
        form.resize(200, 80);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QRect place = label->geometry();

        ApplyLook(&form);
        rows->activate();
        QCOMPARE(label->contentsMargins(), margins);
        QCOMPARE(label->geometry(), place);
    }

    void applyLookToCurrencyEdits_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("alignment");
        QTest::newRow("centred") << 0 << int(Qt::AlignHCenter);
        QTest::newRow("left") << 1 << int(Qt::AlignLeft);
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
