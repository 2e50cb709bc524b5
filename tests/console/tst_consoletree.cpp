// The console tree's rows on the demo account set: what each edit leaves on the server,
// the places numbered again after a delete, and a refused save that is read again.
#include "ClientDataSet.h"
#include "ConsoleTree.h"
#include "DataAccess.h"
#include "Globals.h"
#include "MainForm.h"
#include "support/ModuleTreeRows.h"
#include "support/PluginSession.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"

#include <QSettings>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;

namespace {
const QString kPersonal = QString::fromLatin1(kPersonalFolderID);
const QString kLocked = QString::fromLatin1(kLockedFolderID);
} // namespace

class TestConsoleTree : public QObject
{
    Q_OBJECT

    vexa::test::TemporarySettings m_settings;
    std::unique_ptr<test::PluginSession<>> m_session;
    std::unique_ptr<ClientDataSet> m_rows;
    std::unique_ptr<ConsoleTree> m_tree;
    QList<int> m_rightsAsked;

    QString userID() const
    {
        return (*m_session)->values.value(QStringLiteral("UserID")).toString();
    }
    QString insert(const QString &parent, const QString &name, int sort, bool owned)
    {
        return test::InsertTreeRow(parent, name, sort, owned ? userID() : QString());
    }
    // The node of id as the tree reads it.
    TNodeData node(const QString &id)
    {
        m_tree->ShowLevel(test::TreeRow(id)->asString(QStringLiteral("ParentID")));
        m_rows->locate(QStringLiteral("NodeID"), id);
        return m_tree->Node();
    }

private slots:
    void init()
    {
        m_session = std::make_unique<test::PluginSession<>>();
        m_rows = std::make_unique<ClientDataSet>();
        m_rows->setRemoteConnection(Globals().Connection);
        m_rows->setProviderName(QStringLiteral("SYS_SMModuleTree"));
        m_rightsAsked.clear();
        m_tree = std::make_unique<ConsoleTree>(*m_rows, [this](int type) {
            m_rightsAsked << type;
            return type != 2107;
        });
    }

    void cleanup()
    {
        m_tree.reset();
        m_rows.reset();
        m_session.reset();
    }

    void create_data()
    {
        QTest::addColumn<QString>("parent"); // personal, shared or owned
        QTest::addColumn<QString>("module"); // typed module number, "" for a directory
        QTest::addColumn<bool>("owned");
        QTest::addColumn<bool>("permitted");
        const auto row = [](const char *tag, const char *parent, const char *module, bool owned,
                            bool permitted) {
            QTest::newRow(tag) << parent << module << owned << permitted;
        };
        row("personal folder", "personal", "", true, true);
        row("shared directory", "shared", "", false, true);
        row("owned directory", "owned", "", true, true);
        row("module without right", "personal", "GLPZDZ", true, false);
        row("module with right", "shared", "GLPZLR", false, true);
        row("number not in catalogue", "personal", "ZZZZ", true, true);
    }

    void create()
    {
        QFETCH(QString, parent);
        QFETCH(QString, module);
        QFETCH(bool, owned);
        QFETCH(bool, permitted);
        QString parentID = kPersonal;
        if (parent != QLatin1String("personal"))
            parentID =
                insert(kLocked, QStringLiteral("目录"), 12, parent == QLatin1String("owned"));
        m_tree->Read(userID());
        const TNodeData parentNode = node(parentID);
        const auto catalogue = ProviderDataSet(QStringLiteral("SYS_SMModules"),
                                               QStringLiteral("WHERE MCode = '%1'").arg(module));
        const TNodeData made = m_tree->Create(
            parentNode, 7,
            {QStringLiteral("新节点"), module, module.isEmpty() ? nullptr : &*catalogue}, userID());

        const auto saved = test::TreeRow(made.NodeID);
        QCOMPARE(saved->recordCount(), 1);
        QCOMPARE(made.NodeID, made.NodeID.toUpper());
        QCOMPARE(saved->asString(QStringLiteral("ParentID")), parentID);
        QCOMPARE(saved->asString(QStringLiteral("NodeDesc")), QStringLiteral("新节点"));
        QCOMPARE(saved->value(QStringLiteral("UserID")), owned ? QVariant(userID()) : QVariant());
        QCOMPARE(saved->asInteger(QStringLiteral("Sort")), 7);
        QCOMPARE(saved->value(QStringLiteral("MCode")),
                 module.isEmpty() ? QVariant() : QVariant(module));
        for (const char *column :
             {"UICommand", "ObjType", "DType", "PackNo", "CommandData", "InnerUse"})
            QCOMPARE(saved->value(QLatin1String(column)).toString(),
                     catalogue->value(QLatin1String(column)).toString());
        QCOMPARE(made.IsShared, !owned);
        QCOMPARE(made.Sort, 7);
        QVERIFY(made.ChildrenLoaded);
        QCOMPARE(made.Permitted, permitted);
        QCOMPARE(m_rows->changeCount(), 0);
    }

    void modify()
    {
        const QString dir = insert(kLocked, QStringLiteral("公共"), 12, false);
        const QString id = insert(dir, QStringLiteral("旧名"), 3, false);
        m_tree->Read(userID());
        TNodeData n = node(id);
        const auto catalogue = ProviderDataSet(QStringLiteral("SYS_SMModules"),
                                               QStringLiteral("WHERE MCode = 'GLPZDZ'"));
        m_tree->Modify(n, 1, {QStringLiteral("登帐"), QStringLiteral("GLPZDZ"), &*catalogue},
                       QStringLiteral("旧名"));
        QCOMPARE(test::TreeChildren(dir), QStringList{"登帐:1"});
        QCOMPARE(test::TreeRow(id)->asString(QStringLiteral("MCode")), QStringLiteral("GLPZDZ"));
        QCOMPARE(test::TreeRow(id)->value(QStringLiteral("UserID")), QVariant());
        QCOMPARE(n.MCode, QStringLiteral("GLPZDZ"));
        QCOMPARE(n.ObjType, 2107);
        QCOMPARE(n.Sort, 1);
        QVERIFY(n.IsShared);
        QVERIFY(!n.Permitted);

        // Back to a directory: the module columns are emptied.
        m_tree->Modify(n, 1, {QStringLiteral("目录"), QString(), &*catalogue}, QString());
        QVERIFY(test::TreeRow(id)->isNull(QStringLiteral("ObjType")));
        QCOMPARE(n.ObjType, 0);
        QVERIFY(n.Permitted);

        TNodeData gone = n;
        gone.NodeID = QStringLiteral("{00000000-0000-0000-0000-000000000000}");
        QCOMPARE(errorOf([&] {
                     m_tree->Modify(gone, 1, {QStringLiteral("x"), QString(), nullptr},
                                    QStringLiteral("甲"));
                 }),
                 QStringLiteral("节点“甲”已不在服务器上，请重新打开主控台。"));
    }

    // The level left after a delete is A, an item without a record, B, C in tree order;
    // from is where the numbering starts.
    void deleteRenumbers_data()
    {
        QTest::addColumn<QList<int>>("sorts"); // of A, B, C before
        QTest::addColumn<int>("from");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("below a node")
            << QList<int>{1, 3, 9} << 0 << QStringList{"A:1", "B:3", "C:4"};
        QTest::newRow("at the root, from the gap")
            << QList<int>{5, 1, 9} << 2 << QStringList{"B:3", "C:4", "A:5"};
        QTest::newRow("in order") << QList<int>{1, 3, 4} << 0 << QStringList{"A:1", "B:3", "C:4"};
    }

    void deleteRenumbers()
    {
        QFETCH(QList<int>, sorts);
        QFETCH(int, from);
        QFETCH(QStringList, after);
        const QString dir = insert(kPersonal, QStringLiteral("目录"), 5, true);
        QStringList ids;
        for (int i = 0; i < sorts.size(); ++i)
            ids << insert(dir, QString(QChar(u'A' + i)), sorts[i], true);
        const QString gone = insert(dir, QStringLiteral("去"), 2, true);
        const QString below = insert(gone, QStringLiteral("下"), 1, true);
        m_tree->Read(userID());
        TNodeData a = node(ids[0]), b = node(ids[1]), c = node(ids[2]);

        m_tree->Delete({below, gone}, {&a, nullptr, &b, &c}, from);
        QCOMPARE(test::TreeChildren(dir), after);
        QCOMPARE(test::TreeRow(gone)->recordCount(), 0);
        QCOMPARE(test::TreeRow(below)->recordCount(), 0);
        QCOMPARE(c.Sort, 4);
        QCOMPARE(m_rows->changeCount(), 0);
    }

    // The refused change stays in the rows until they are read again; then the rows show
    // what the server holds and nothing is left to send.
    void refusedSaveIsReadAgain()
    {
        const QString dir = insert(kPersonal, QStringLiteral("目录"), 5, true);
        const QString a = insert(dir, QStringLiteral("甲"), 1, true);
        m_tree->Read(userID());
        for (bool wholeTree : {false, true}) {
            const QString b = insert(dir, QStringLiteral("乙"), 2, true);
            m_tree->ReadAgain();
            TNodeData first = node(a), second = node(b);
            test::ChangeTreeRowElsewhere(*(*m_session)->server, b, QString());
            QVERIFY(!errorOf([&] { m_tree->Swap(first, 2, second, 1); }).isEmpty());
            QVERIFY(m_rows->changeCount() > 0);
            if (wholeTree)
                m_tree->Read(userID());
            else
                m_tree->ReadAgain();
            QCOMPARE(m_rows->changeCount(), 0);
            QVERIFY(!m_rows->locate(QStringLiteral("NodeID"), b));
            QCOMPARE(node(a).Sort, 1);
        }
        QCOMPARE(test::TreeChildren(dir), QStringList{"甲:1"});
    }

    // The toolbar buttons a selected node allows; the console's own picture (the others
    // are checked on the page).
    void nodePictureAndButtons()
    {
        TNodeData n;
        n.MCode = QStringLiteral("SFMF");
        QCOMPARE(NodeImageIndex(n, false), int(imgConsole));
        struct Case
        {
            bool design;
            const char *id;
            bool shared, deleteMove;
            int createModify; // -1: left as they are
        };
        for (const Case &c :
             {Case{true, "{X}", true, true, 1}, Case{false, "{X}", true, false, 0},
              Case{false, "{X}", false, true, 1}, Case{false, kPersonalFolderID, true, false, 1},
              Case{false, kLockedFolderID, true, false, 0},
              Case{true, kLockedFolderID, true, false, -1}}) {
            n.NodeID = QLatin1String(c.id);
            n.IsShared = c.shared;
            const NodeButtonState state = NodeButtons(n, c.design);
            QCOMPARE(state.deleteAndMove, c.deleteMove);
            QCOMPARE(state.createAndModify.value_or(false), c.createModify == 1);
            QCOMPARE(state.createAndModify.has_value(), c.createModify >= 0);
        }
    }

    // Object types below 1 are never asked about.
    void permittedByRight()
    {
        m_tree->Read(userID());
        m_tree->ShowLevel(QString());
        QCOMPARE(m_tree->Node().ObjType, 0);
        QVERIFY(m_tree->Node().Permitted);
        QCOMPARE(m_rightsAsked, QList<int>());
    }
};

QTEST_MAIN(TestConsoleTree)
#include "tst_consoletree.moc"
