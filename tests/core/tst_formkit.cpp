#include "FormKit.h"

#include "ClientDataSet.h"
#include "DataSetModel.h"
#include "Globals.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;

Q_DECLARE_METATYPE(QList<vexa::gl::DesignedColumn>)

class TestFormKit : public QObject
{
    Q_OBJECT

    ClientDataSet m_data;
    DataSetModel m_model;

    // The visible columns from the left, as "field:caption:width".
    QStringList shown(const QTableView &view)
    {
        QStringList out;
        const QHeaderView *header = view.horizontalHeader();
        for (int v = 0; v < header->count(); ++v) {
            const int c = header->logicalIndex(v);
            if (!view.isColumnHidden(c))
                out << QStringLiteral("%1:%2:%3")
                           .arg(m_data.fieldDefs()[c].name, ColumnCaption(&view, c))
                           .arg(view.columnWidth(c));
        }
        return out;
    }

private slots:
    void initTestCase()
    {
        for (const char *f : {"Code", "Name", "Side", "Remark"})
            m_data.addField(QLatin1String(f), FieldType::String, 20);
        m_data.createDataSet();
        m_data.append();
        m_data.setValue(QStringLiteral("Side"), QStringLiteral("D"));
        m_data.post();
        m_model.setDataSet(&m_data);
    }

    void showColumns_data()
    {
        QTest::addColumn<QList<DesignedColumn>>("columns");
        QTest::addColumn<QStringList>("expected");
        // Shown with the model's caption (the field name) and the default width, 100.
        QTest::newRow("reordered, rest hidden")
            << QList<DesignedColumn>{{"Side", "方向", 40}, {"Code", "代码", 60}}
            << QStringList{"Side:方向:40", "Code:代码:60"};
        QTest::newRow("letter case, missing field skipped")
            << QList<DesignedColumn>{{"remark", "备注", 80}, {"Nope", "无", 50}, {"NAME", "", 0}}
            << QStringList{"Remark:备注:80", "Name:Name:100"};
        QTest::newRow("none") << QList<DesignedColumn>{} << QStringList{};
    }
    void showColumns()
    {
        QFETCH(QList<DesignedColumn>, columns);
        QFETCH(QStringList, expected);
        DataSetModel model(&m_data);
        QTableView view;
        view.horizontalHeader()->setDefaultSectionSize(100);
        view.setModel(&model);
        ShowColumns(&view, columns);
        QCOMPARE(shown(view), expected);
        QCOMPARE(ColumnOf(&view, QStringLiteral("nope")), -1);
    }

    // Enter in an editor of the dialog does not press the button.
    void enterPressesNoButton()
    {
        QDialog dialog;
        QPushButton *ok = MakeButton(QStringLiteral("确认"), QStringLiteral("btnOk"), &dialog);
        int pressed = 0;
        connect(ok, &QPushButton::clicked, [&pressed] { ++pressed; });
        dialog.show();
        QVERIFY(!ok->autoDefault());
        QTest::keyClick(&dialog, Qt::Key_Return);
        QCOMPARE(pressed, 0);
    }

    void comboCellEditor()
    {
        QTableView view;
        view.setModel(&m_model);
        SetUpEditableGrid(&view);
        QVERIFY(view.editTriggers().testFlag(QAbstractItemView::AnyKeyPressed));
        QCOMPARE(view.selectionBehavior(), QAbstractItemView::SelectItems);
        int listed = 0;
        ComboListDelegate delegate(
            QStringLiteral("cbDC"),
            [&listed] {
                ++listed;
                return QList<std::pair<QString, QVariant>>{{QStringLiteral("借"), "D"},
                                                           {QStringLiteral("贷"), "C"}};
            },
            &view, 1, 120);
        const QModelIndex side = m_model.index(0, 2);
        std::unique_ptr<QWidget> editor(delegate.createEditor(&view, {}, side));
        auto *box = qobject_cast<QComboBox *>(editor.get());
        QVERIFY(box);
        QCOMPARE(box->objectName(), QStringLiteral("cbDC"));
        QCOMPARE(box->maxVisibleItems(), 1);
        QCOMPARE(listed, 1);
        delegate.setEditorData(box, side);
        QCOMPARE(box->currentText(), QStringLiteral("借"));

        // A choice is written at once, and only a change is written.
        connect(&delegate, &QAbstractItemDelegate::commitData,
                [&](QWidget *w) { delegate.setModelData(w, &m_model, side); });
        QSignalSpy written(&m_model, &QAbstractItemModel::dataChanged);
        emit box->activated(0);
        QCOMPARE(written.size(), 0);
        box->setCurrentIndex(1);
        emit box->activated(1);
        QCOMPARE(m_data.asString(QStringLiteral("Side")), QStringLiteral("C"));
        QVERIFY(!written.isEmpty());
    }

    void busyScope()
    {
        test::TestHost host;
        host.calls.clear();
        Globals().Host = &host;
        {
            const BusyScope begun;
            const BusyScope adopted(BusyScope::AlreadyBegun);
            QCOMPARE(host.calls, QStringList{QStringLiteral("BeginBusy")});
        }
        QCOMPARE(host.calls, (QStringList{"BeginBusy", "EndBusy:0", "EndBusy:0"}));
        Globals().Host = nullptr;
        const BusyScope none; // no host, no bracket
        QCOMPARE(errorOf([] { const BusyScope needed(HostRef()); }).isEmpty(), false);
    }
};

QTEST_MAIN(TestFormKit)
#include "tst_formkit.moc"
