#include "ClientDataSet.h"
#include "DataSetModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace vexa;

class TestDataSetModel : public QObject
{
    Q_OBJECT

    std::unique_ptr<ClientDataSet> makeAccounts()
    {
        auto ds = std::make_unique<ClientDataSet>();
        ds->addField(u"AcctCode"_s, FieldType::String, 8, true);
        ds->addField(u"AcctName"_s, FieldType::String, 20);
        ds->addField(u"AcctType"_s, FieldType::String, 1);
        ds->addField(u"Balance"_s, FieldType::Currency);
        ds->createDataSet();
        const char *rows[][3] = {{"1001", "库存现金", "1"},
                                 {"1002", "银行存款", "1"},
                                 {"2202", "应付账款", "2"},
                                 {"4001", "实收资本", "4"},
                                 {"1122", "应收账款", "1"}};
        for (auto &r : rows) {
            ds->append();
            ds->setValue(u"AcctCode"_s, QString::fromUtf8(r[0]));
            ds->setValue(u"AcctName"_s, QString::fromUtf8(r[1]));
            ds->setValue(u"AcctType"_s, QString::fromUtf8(r[2]));
            ds->post();
        }
        ds->mergeChangeLog();
        return ds;
    }

private slots:
    void followsFilterOrderAndCursor()
    {
        auto ds = makeAccounts();
        DataSetModel model(ds.get());
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setCaption(u"acctname"_s, u"科目名称"_s);
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.columnCount(), 4);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), u"科目名称"_s);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), u"AcctCode"_s);

        ds->setIndexFieldNames(u"AcctCode"_s);
        QCOMPARE(model.index(2, 0).data().toString(), u"1122"_s);

        ds->setFilter(u"AcctType = '1'"_s);
        ds->setFiltered(true);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.index(2, 1).data().toString(), u"应收账款"_s);

        QSignalSpy current(&model, &DataSetModel::currentRowChanged);
        model.setCurrentRow(2);
        QCOMPARE(ds->recNo(), 3);
        QCOMPARE(current.size(), 1);
        QCOMPARE(current.last().at(0).toInt(), 2);
        ds->first();
        QCOMPARE(model.currentRow(), 0);

        ds->setFiltered(false);
        ds->close();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 0);
    }

    void editsGoThroughEditAndPost()
    {
        auto ds = makeAccounts();
        DataSetModel model(ds.get());
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy failed(&model, &DataSetModel::editFailed);

        QVERIFY(model.setData(model.index(1, 3), 12.5));
        QCOMPARE(ds->changeCount(), 1);
        QCOMPARE(ds->recNo(), 2);
        QCOMPARE(ds->asFloat(u"Balance"_s), 12.5);
        QVERIFY(changed.size() >= 1);
        QCOMPARE(model.index(1, 3).data(Qt::EditRole).toDouble(), 12.5);

        // Too long for the field: refused, reported, the row as it was, no edit left open.
        QVERIFY(!model.setData(model.index(0, 0), u"100101001"_s));
        QCOMPARE(failed.size(), 1);
        QVERIFY(failed.last().at(0).toString().contains(u"AcctCode"_s));
        QCOMPARE(ds->state(), ClientDataSet::State::Browse);
        QCOMPARE(model.index(0, 0).data().toString(), u"1001"_s);
        QCOMPARE(ds->changeCount(), 1);

        // With an index on the edited column the row moves; the model resets and follows.
        ds->setIndexFieldNames(u"AcctCode"_s);
        QVERIFY(model.setData(model.index(0, 0), u"9999"_s));
        QCOMPARE(model.index(4, 0).data().toString(), u"9999"_s);
        QCOMPARE(model.currentRow(), 4);

        model.setReadOnly(true);
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
        QVERIFY(!model.setData(model.index(0, 0), u"1"_s));
    }
};

QTEST_GUILESS_MAIN(TestDataSetModel)
#include "tst_datasetmodel.moc"
