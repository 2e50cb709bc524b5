// The four control-centre pages on the demo account set, driven by their component names:
// availability by the user's rights, launching and binding controls, object menus, the
// fixed set-up controls and the layout's margins by width.
#include "DataAccess.h"
#include "DataModule.h"
#include "DocFindForm.h"
#include "MessageDialogs.h"
#include "NavigationPages.h"
#include "StartGLForm.h"
#include "support/PluginSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TempSettings.h"

#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSet>
#include <QSettings>
#include <QSqlQuery>
#include <QTest>
#include <QToolButton>

using namespace vexa;
using namespace vexa::gl;

namespace {

const QString kOpenPZLR = QStringLiteral("OpenModule:GLPZLR:0:78:DataProvider:ObjType=2101");

QStringList launched(const QString &openModule)
{
    return {"BeginBusy", "BeginLaunch", openModule, "EndBusy:0", "EndLaunch:0"};
}

void editServerRow(const QString &provider, const QString &where,
                   const std::function<void(ClientDataSet &)> &edit)
{
    auto ds = ProviderDataSet(provider, where);
    ds->first();
    ds->edit();
    edit(*ds);
    ds->post();
    ApplyChanges(*ds, true);
}
void bindOnServer(const QString &module, const QString &faceControl)
{
    editServerRow(
        QStringLiteral("SYS_SMModules"), QStringLiteral("WHERE MCode = '%1'").arg(module),
        [&](ClientDataSet &ds) { ds.setValue(QStringLiteral("FaceControl"), faceControl); });
}
void addFaceRow(const QString &faceControl, const QString &module)
{
    auto ds = ProviderDataSet(QStringLiteral("SYS_SMFaceControl"), QStringLiteral("WHERE 1=0"));
    ds->append();
    ds->setValue(QStringLiteral("FaceControl"), faceControl);
    ds->setValue(QStringLiteral("MCode"), module);
    ApplyChanges(*ds, true);
}
void deleteServerRows(const QString &provider, const QString &where)
{
    auto ds = ProviderDataSet(provider, where);
    while (!ds->isEmpty())
        ds->deleteRecord();
    ApplyChanges(*ds, true);
}
QString serverBindings()
{
    QStringList rows;
    auto ds = ProviderDataSet(
        QStringLiteral("SYS_SMModules"),
        QStringLiteral("WHERE MCode IN ('GLKMB', 'GLMXFLZ', 'GLPZLR') ORDER BY MCode"));
    for (ds->first(); !ds->eof(); ds->next())
        rows << ds->asString(QStringLiteral("MCode")) + QLatin1Char('>') +
                    ds->asString(QStringLiteral("FaceControl"));
    ds = ProviderDataSet(QStringLiteral("SYS_SMFaceControl"), QString());
    for (ds->first(); !ds->eof(); ds->next())
        rows << ds->asString(QStringLiteral("MCode")) + QLatin1Char('+') +
                    ds->asString(QStringLiteral("FaceControl"));
    return rows.join(QLatin1Char(' '));
}

// Answers the module picker with module's row (cancels when module is empty).
ScriptedDialogs::Answer pick(const QString &module, QString *search = nullptr)
{
    return [=](QDialog &d) {
        if (search)
            *search = d.findChild<QLineEdit *>(QStringLiteral("edValue"))->text();
        auto *data = d.findChild<ClientDataSet *>(QStringLiteral("cdsData"));
        const bool chosen = !module.isEmpty() && data->locate(QStringLiteral("MCode"), module);
        d.findChild<QPushButton *>(chosen ? QStringLiteral("btnOk") : QStringLiteral("btnCancel"))
            ->click();
        return d.result();
    };
}

} // namespace

class TestNavigationPages : public QObject
{
    Q_OBJECT

    vexa::test::TemporarySettings m_settings;
    std::unique_ptr<test::PluginSession<>> m_session;
    std::unique_ptr<TNavigationForm> m_page;

    test::TestHost &host() { return *m_session->host; }
    // The pages as they were before the seed bound every control, for the binding rules.
    void clearSeedBindings()
    {
        QSqlQuery q(host().connection->database());
        QVERIFY(q.exec(QStringLiteral("UPDATE SMModules SET FaceControl = NULL")));
        QVERIFY(q.exec(QStringLiteral("DELETE FROM SMFaceControl")));
    }
    void useHost(const char *user)
    {
        m_page.reset();
        m_session.reset();
        m_session =
            std::make_unique<test::PluginSession<>>(user, QByteArray(user).toLower().constData());
    }
    void openPage(const QString &kind, int width = 1200)
    {
        QWidget *window = &host().mainWindow;
        if (kind == QLatin1String("Professional"))
            m_page = std::make_unique<TProfessionalForm>(window);
        else if (kind == QLatin1String("Normal"))
            m_page = std::make_unique<TNormalForm>(window);
        else if (kind == QLatin1String("JXC"))
            m_page = std::make_unique<TNormalJXCForm>(window);
        else
            m_page = std::make_unique<TSpreadForm>(window);
        m_page->setGeometry(0, 0, width, 760);
        bool ok = false;
        m_page->BeforeExecute(ok);
        QVERIFY(ok);
        m_page->AfterExecute(ok);
        host().mainWindow.show();
        m_page->show();
        QVERIFY(QTest::qWaitForWindowExposed(&host().mainWindow));
        host().calls.clear();
    }
    template <typename T = QWidget> T *child(const QString &name) const
    {
        return m_page->findChild<T *>(name);
    }
    void click(const QString &name)
    {
        QWidget *control = child(name);
        QVERIFY2(control, qPrintable(name));
        if (auto *button = qobject_cast<QAbstractButton *>(control))
            return button->click();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(
                type, QPointF(2, 2), control->mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(control, &event);
        }
    }
    QStringList opened() const
    {
        return m_session->host->calls.filter(QStringLiteral("OpenModule:"));
    }
    QColor colour(const char *name) const { return NavTextColour(child(QLatin1String(name))); }
    QAction *menuEntry(const QString &menu, int pmCode) const
    {
        for (QAction *action : m_page->ObjectMenu(menu)->actions())
            if (tagOf(action) == pmCode)
                return action;
        return nullptr;
    }

private slots:
    void cleanup()
    {
        m_page.reset();
        m_session.reset();
    }

    // Each page kind at widths around where the side margins appear.
    void pages_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("margins");
        QTest::newRow("Normal 1024") << "Normal" << 1024 << false;
        QTest::newRow("Professional 1124") << "Professional" << 1124 << false;
        QTest::newRow("Professional 1200") << "Professional" << 1200 << true;
        QTest::newRow("JXC 1201") << "JXC" << 1201 << true;
        QTest::newRow("Spread") << "Spread" << 1200 << false;
    }

    void pages()
    {
        QFETCH(QString, kind);
        QFETCH(int, width);
        QFETCH(bool, margins);
        useHost("Manager");
        openPage(kind, width);
        // The purchase-sales-inventory page has no object menus at all.
        QCOMPARE(m_page->findChild<QMenu *>(QStringLiteral("pmCustomer")) != nullptr,
                 kind != "JXC");
        if (auto *page = dynamic_cast<TTabbedNavigationForm *>(m_page.get())) {
            QCOMPARE(child("plLeftMargin")->isVisible(), margins);
            int hidden = 0; // the professional edition hides its expense and CRM tabs
            for (int i = 0; i < page->TabCount(); ++i)
                hidden += page->TabHidden(i);
            QCOMPARE(hidden, kind == "Professional" ? 2 : 0);
            page->ClickTab(2);
            QCOMPARE(page->CurrentTab(), 2);
            QCOMPARE(host().mainWindow.captions.filter(QStringLiteral("控制中心")).last(),
                     "控制中心:" + page->TabCaption(2).trimmed());
            return;
        }
        auto *page = static_cast<TSpreadForm *>(m_page.get());
        const QList<std::pair<const char *, bool>> sections = {
            {"paCNGL", true}, {"paReport", false}, {"paXTWH", true}, {"paZWCL", true}};
        for (const auto &[area, right] : sections) {
            QTest::mousePress(child(QLatin1String(area)), Qt::LeftButton);
            QVERIFY(child(QLatin1String(area) + "Centre")->isVisible());
            QCOMPARE(child("plRight")->isVisible(), right);
        }
        QCOMPARE(page->SelectedSection(), 0);
        page->HoverSection(1);
        QVERIFY(child("shpHover")->isVisible());
        page->HoverSection(0);
        QVERIFY(!child("shpHover")->isVisible());
        click(QStringLiteral("lbDept"));
        QVERIFY(m_page->ObjectMenu(QStringLiteral("pmDept"))->isVisible());
    }

    // Sales divisions are shown once the sales options say so.
    void salesDivisionFollowsOption()
    {
        useHost("Manager");
        m_page = std::make_unique<TProfessionalForm>();
        QVERIFY(child("lbDYXSSYB")->isHidden());
        auto *sales = new ClientDataSet;
        sales->setObjectName(QStringLiteral("CDS_InitSalValue"));
        sales->addField(QStringLiteral("OGTag"), FieldType::Boolean);
        sales->createDataSet();
        sales->append();
        sales->setValue(QStringLiteral("OGTag"), true);
        sales->post();
        host().dataModule.addDataSet(sales);
        m_page = std::make_unique<TProfessionalForm>();
        QVERIFY(!child("lbDYXSSYB")->isHidden());
    }

    void availabilityByRights()
    {
        useHost("clerk");
        clearSeedBindings();
        bindOnServer(QStringLiteral("GLPZLR"), QStringLiteral("sbPZLR")); // clerk: 2101 granted
        bindOnServer(QStringLiteral("GLPZDZ"), QStringLiteral("sbPZDZ")); // 2107 not granted
        addFaceRow(QStringLiteral("lbZFLZ"), QStringLiteral("GLQMTH"));   // 2201 not granted
        openPage(QStringLiteral("Normal"));
        QCOMPARE(colour("sbPZLR"), TNavigationForm::kNormal);
        QCOMPARE(colour("sbPZDZ"), TNavigationForm::kUnavailable);
        QCOMPARE(colour("lbZFLZ"), TNavigationForm::kUnavailable);
        QCOMPARE(colour("sbQMJZ"), TNavigationForm::kNormal); // unbound
        QCOMPARE(colour("asb10206"), TNavigationForm::kUnavailable);
        QVERIFY(menuEntry(QStringLiteral("pmCustomer"), 101000)->isEnabled()); // 2501 granted
        QVERIFY(!menuEntry(QStringLiteral("pmPart"), 151000)->isEnabled());    // 2506 not
        auto *link = child<TNavLinkLabel>("lbWLDZD");
        emit link->hovered(true);
        QVERIFY(NavTextColour(link) != TNavigationForm::kNormal);
        emit link->hovered(false);
        QCOMPARE(NavTextColour(link), TNavigationForm::kNormal);
        emit child<TNavLinkLabel>("lbZFLZ")->hovered(true);
        emit child<TNavLinkLabel>("lbZFLZ")->hovered(false);
        QCOMPARE(colour("lbZFLZ"), TNavigationForm::kUnavailable);
        // Not granted: an object entry tells so.
        ScriptedDialogs dialogs;
        dialogs.answer(mrOk);
        SetAccountSet(host(), true, 1, 1);
        m_page->LaunchObject(151000);
        QCOMPARE(dialogs.shown.value(0).text, QStringLiteral("系统操作权限限制！"));
        click(QStringLiteral("sbPZDZ")); // bound, not granted: nothing starts, nothing is said
        QCOMPARE(dialogs.shown.size(), 1);

        // A binding made on the server meanwhile counts after a new login; the rights follow
        // the new login's group.
        bindOnServer(QStringLiteral("GLQMJZ"), QStringLiteral("sbQMJZ")); // 2205 not granted
        host().values.insert(QStringLiteral("HASRELOGIN"), true);
        QVariant p3;
        m_page->Execute(0, QString(), p3);
        QCOMPARE(colour("sbQMJZ"), TNavigationForm::kUnavailable);
        host().values.insert(QStringLiteral("USERGROUP"), 1);
        m_page->Execute(0, QString(), p3);
        QCOMPARE(colour("sbPZDZ"), TNavigationForm::kNormal);
        QCOMPARE(opened(), QStringList());
    }

    void managerObjectRows()
    {
        useHost("Manager");
        deleteServerRows(QStringLiteral("SYS_SMPMDefine"), QStringLiteral("WHERE PMCode = 102001"));
        openPage(QStringLiteral("Professional"));
        QCOMPARE(colour("sbQXZ"), QColor(53, 53, 53));
        QStringList disabled;
        for (const NavObjectMenu &menu : NavObjectMenus())
            for (QAction *action : m_page->ObjectMenu(QLatin1String(menu.name))->actions())
                if (!action->isEnabled())
                    disabled << QString::number(tagOf(action));
        QCOMPARE(disabled, QStringList{QStringLiteral("102001")});
        SetAccountSet(host(), true, 1, 1);
        menuEntry(QStringLiteral("pmCustomer"), 101000)->trigger();
        QCOMPARE(host().calls, launched("OpenModule:GLFZZZ:0:82:DataProvider:ACheck=Customer"));
        ScriptedDialogs dialogs;
        dialogs.answer(mrOk);
        m_page->LaunchObject(12);
        QCOMPARE(dialogs.shown.value(0).text, QStringLiteral("系统未对模块对象 12 进行配置。"));
    }

    // Bound controls start their module; an unbound one asks for its module first, and the
    // binding goes into the module's column or, when the module's first control is on the
    // page, a further row.
    void launchAndBind()
    {
        useHost("Manager");
        clearSeedBindings();
        SetAccountSet(host(), true, 1, 1);
        bindOnServer(QStringLiteral("GLKMB"), QStringLiteral("lbKMB"));
        bindOnServer(QStringLiteral("GLMXFLZ"), QStringLiteral("sbGone"));
        addFaceRow(QStringLiteral("lbDLSMXZ"), QStringLiteral("GLZFLZ"));
        openPage(QStringLiteral("Normal"));
        // The page's catalogue copy may lack a module the server still binds.
        auto *modules = child<ClientDataSet>("cdsModules");
        QVERIFY(modules->locate(QStringLiteral("MCode"), QStringLiteral("GLZFLZ")));
        modules->deleteRecord();
        ScriptedDialogs dialogs;
        click(QStringLiteral("lbDLSMXZ"));
        QCOMPARE(host().calls, QStringList());

        QString search;
        dialogs.answerWith(pick(QString())); // cancelled: nothing bound, nothing started
        click(QStringLiteral("sbPZLR"));
        dialogs.answerWith(pick(QStringLiteral("GLPZLR"), &search));
        click(QStringLiteral("sbPZLR"));
        QCOMPARE(search, QStringLiteral("凭证录入"));
        click(QStringLiteral("sbPZLR")); // bound now: at once
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(opened(), (QStringList{kOpenPZLR, kOpenPZLR}));
        dialogs.answerWith(pick(QStringLiteral("GLKMB"))); // its first control is on the page
        click(QStringLiteral("lbCNKMB"));
        QCOMPARE(opened().size(), 3);

        // Another workstation moved a binding meanwhile: the save fails, the module starts.
        bindOnServer(QStringLiteral("GLMXFLZ"), QStringLiteral("sbElse"));
        dialogs.answerWith(pick(QStringLiteral("GLMXFLZ")));
        dialogs.answer(QMessageBox::Ok);
        click(QStringLiteral("lbMXFLZ"));
        QCOMPARE(dialogs.shown.constLast().className, QStringLiteral("QMessageBox"));
        QCOMPARE(opened().size(), 4);
        QCOMPARE(child<ClientDataSet>("cdsModules")->changeCount(), 0);
        QCOMPARE(serverBindings(),
                 QStringLiteral("GLKMB>lbKMB GLMXFLZ>sbElse GLPZLR>sbPZLR GLKMB+lbCNKMB"));
    }

    // A module the account set is not ready for is refused from a control and from an
    // object-menu entry, in the page's wording.
    void refusals()
    {
        ScriptedDialogs dialogs;
        for (const char *kind : {"Normal", "Spread"}) {
            useHost("Manager");
            SetAccountSet(host(), false, 0, 1);
            bindOnServer(QStringLiteral("SAXSDD"), QStringLiteral("sbXSDD"));
            openPage(QLatin1String(kind));
            dialogs.answer(mrOk);
            if (kind == QLatin1String("Normal"))
                click(QStringLiteral("sbXSDD"));
            else
                m_page->LaunchObject(101000);
            QVERIFY(!dialogs.shown.constLast().text.isEmpty());
            QCOMPARE(opened(), QStringList());
        }
        QCOMPARE(dialogs.shown.size(), 2);
    }

    void fixedControls_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("withoutRight"); // a right of the clerk's group taken away first
        QTest::addColumn<QString>("shown");    // the dialog class shown, or the module opened
        const auto row = [](const char *user, const char *kind, const char *control,
                            int withoutRight, const char *shown) {
            QTest::newRow(qPrintable(
                QStringLiteral("%1 %2 %3 %4").arg(user, kind, control).arg(withoutRight)))
                << user << kind << control << withoutRight << shown;
        };
        row("clerk", "Normal", "asb10202", 0, "TStartGLForm");
        row("clerk", "JXC", "asb10202", 0, "TStartGLForm+"); // with the business start
        row("clerk", "Professional", "asb10202", 1006, "");
        row("clerk", "Spread", "asb10202", 0, "TStartGLForm");
        row("clerk", "JXC", "sbZZQR", 0, "TFinGLAccountingConfigureMForm");
        row("clerk", "Normal", "sbZZQR", 2002, "");
        row("clerk", "Normal", "asb10206", 0, "");
        row("Manager", "Spread", "asb10206", 0, "TWarningInfoFrom");
        row("clerk", "Normal", "sbQXZ", 0, "");
        row("Manager", "Normal", "sbQXZ", 0, "OpenModule:SMSG:0:66::");
        row("Manager", "JXC", "sbYH", 0, "OpenModule:SMSU:0:66::");
        row("Manager", "Spread", "lbXTYH", 0, "OpenModule:SMSU:0:66:DataProvider:"); // the gate
    }

    void fixedControls()
    {
        QFETCH(QString, user);
        QFETCH(QString, kind);
        QFETCH(QString, control);
        QFETCH(int, withoutRight);
        QFETCH(QString, shown);
        useHost(user.toLatin1().constData());
        if (withoutRight) // the administrator's doing, not the clerk's
            QVERIFY(QSqlQuery(host().connection->database())
                        .exec(QStringLiteral("DELETE FROM SysCheckRight WHERE UserGroup = 2 AND "
                                             "ObjType = %1")
                                  .arg(withoutRight)));
        openPage(kind);
        ScriptedDialogs dialogs;
        QString seen;
        dialogs.answerWith([&](QDialog &d) {
            seen = QString::fromLatin1(d.metaObject()->className()).remove("vexa::gl::");
            if (auto *config = qobject_cast<TStartGLForm *>(&d);
                config && config->BusinessPanelShown())
                seen += QLatin1Char('+');
            d.done(QDialog::Rejected);
            return int(QDialog::Rejected);
        });
        click(control);
        QCOMPARE(seen.isEmpty() ? opened().value(0) : seen, shown);
    }

    void objectMenuToggleAndTimer()
    {
        useHost("Manager");
        openPage(QStringLiteral("Professional"), 1200);
        QMenu *menu = m_page->ObjectMenu(QStringLiteral("pmCustomer"));
        click(QStringLiteral("lbCustomer"));
        QVERIFY(menu->isVisible());
        click(QStringLiteral("lbCustomer"));
        QVERIFY(!menu->isVisible());
        click(QStringLiteral("lbCustomer"));
        click(QStringLiteral("lbFinReport")); // another menu's label closes the open one
        QVERIFY(!menu->isVisible());
        QCOMPARE(m_page->OpenMenuName(), QStringLiteral("pmFinReport"));

        // Leaving the label starts the timer: moves over the background close the menu only
        // once it has run out.
        QWidget *surface = child("tsLedger");
        auto moveOverBackground = [surface] {
            QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), surface->mapToGlobal(QPointF(5, 5)),
                             Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(surface, &move);
        };
        emit child<TNavLinkLabel>("lbFinReport")->hovered(false);
        moveOverBackground();
        QCOMPARE(m_page->OpenMenuName(), QStringLiteral("pmFinReport"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->MenuTimer().isActive(), 1000);
        moveOverBackground();
        QCOMPARE(m_page->OpenMenuName(), QString());
        // Just opened, the first background move only starts the timer.
        click(QStringLiteral("lbCustomer"));
        moveOverBackground();
        QVERIFY(menu->isVisible());
        // A launcher closes the open menu before it runs.
        ScriptedDialogs dialogs;
        dialogs.answerWith([](QDialog &d) {
            d.done(QDialog::Rejected);
            return int(QDialog::Rejected);
        });
        click(QStringLiteral("sbQMJZ"));
        QVERIFY(!menu->isVisible());
    }

    // A new set binds every button and link of the four pages, so nobody is asked which
    // module a control stands for; where one is unbound, only an administrator may bind it.
    void everyControlBoundAndOnlyAdministratorsBind()
    {
        useHost("clerk");
        auto modules = ProviderDataSet(QStringLiteral("SYS_SMModules"), QString());
        auto faces = ProviderDataSet(QStringLiteral("SYS_SMFaceControl"), QString());
        auto objects = ProviderDataSet(QStringLiteral("SYS_SMPMDefine"), QString());
        auto rights = ProviderDataSet(QStringLiteral("LX_SysCheckRight"), QString());
        const NavigationCatalogue catalogue(*modules, *faces, *objects, *rights);
        QStringList unbound;
        const auto check = [&](const QList<NavControl> &controls) {
            for (const NavControl &c : controls)
                if (c.kind != NavKind::MenuLink &&
                    catalogue.ModuleOfControl(QLatin1String(c.name)).binding != FaceBinding::Bound)
                    unbound << QLatin1String(c.name);
        };
        for (const TabbedPageLayout *layout :
             {&ProfessionalLayout(), &NormalLayout(), &NormalJXCLayout()})
            for (const NavTab &tab : layout->tabs)
                check(tab.controls);
        for (const SpreadSection &section : SpreadLayout()) {
            check(section.centre);
            check(section.right);
        }
        QCOMPARE(unbound, QStringList());

        clearSeedBindings();
        openPage(QStringLiteral("Normal"));
        ScriptedDialogs dialogs;
        dialogs.answer(mrOk);
        click(QStringLiteral("sbPZLR"));
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY2(dialogs.shown[0].text.contains(QStringLiteral("只有系统管理员可以设置")),
                 qPrintable(dialogs.shown[0].text));
        QCOMPARE(host().calls.filter(QStringLiteral("OpenModule")), QStringList());
    }
};

QTEST_MAIN(TestNavigationPages)
#include "tst_navigationpages.moc"
