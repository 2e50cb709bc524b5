// vexa-packetview: shows a data packet in a grid, with the client filter and index boxes
// of the client dataset. Without a file it shows a small generated chart of accounts.
#include "ClientDataSet.h"
#include "DataSetModel.h"
#include "Process.h"

#include <vexa/Error.h>

#include <QApplication>
#include <QFile>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableView>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>

using namespace vexa;

namespace {

void fillSample(ClientDataSet &ds)
{
    ds.addField(QStringLiteral("AcctCode"), FieldType::String, 40, true);
    ds.addField(QStringLiteral("AcctName"), FieldType::String, 60);
    ds.addField(QStringLiteral("AcctType"), FieldType::String, 1);
    ds.addField(QStringLiteral("LevelCode"), FieldType::SmallInt);
    ds.addField(QStringLiteral("Balance"), FieldType::Currency);
    ds.createDataSet();
    const struct
    {
        const char *code, *name, *type;
        int level;
        double balance;
    } rows[] = {
        {"1001", "库存现金", "1", 1, 1520.5},   {"1002", "银行存款", "1", 1, 380000},
        {"100201", "工商银行", "1", 2, 300000}, {"100202", "建设银行", "1", 2, 80000},
        {"1122", "应收账款", "1", 1, 45200},    {"1403", "原材料", "1", 1, 98000},
        {"2202", "应付账款", "2", 1, 61000},    {"2221", "应交税费", "2", 1, 12800},
        {"4001", "实收资本", "4", 1, 500000},   {"5001", "生产成本", "5", 1, 0},
        {"6001", "主营业务收入", "6", 1, 0},    {"6602", "管理费用", "6", 1, 0},
    };
    for (const auto &r : rows) {
        ds.append();
        ds.setValue(QStringLiteral("AcctCode"), QString::fromUtf8(r.code));
        ds.setValue(QStringLiteral("AcctName"), QString::fromUtf8(r.name));
        ds.setValue(QStringLiteral("AcctType"), QString::fromUtf8(r.type));
        ds.setValue(QStringLiteral("LevelCode"), r.level);
        ds.setValue(QStringLiteral("Balance"), r.balance);
        ds.post();
    }
    ds.mergeChangeLog();
}

} // namespace

int main(int argc, char **argv)
{
    vexa::prepareProcess();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            // Printed before any window system is needed.
            std::fputs("用法：vexa-packetview [文件]\n"
                       "在表格中显示一个数据包文件，可按客户端数据集的筛选条件和排序字段查看。\n"
                       "不给文件时显示一个生成的科目表样例。\n",
                       stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    vexa::installChineseTranslations();
    ClientDataSet ds;
    try {
        if (argc > 1) {
            QFile f(QString::fromLocal8Bit(argv[1]));
            if (!f.open(QIODevice::ReadOnly))
                throw Error(
                    QStringLiteral("无法读取文件“%1”：%2").arg(f.fileName(), f.errorString()));
            ds.loadFromText(QString::fromUtf8(f.readAll()));
        } else {
            fillSample(ds);
        }
    } catch (const Error &e) {
        QMessageBox::critical(nullptr, QStringLiteral("数据包"), e.message());
        return 1;
    }

    QWidget window;
    window.setWindowTitle(QStringLiteral("数据包查看 - Vexa"));
    auto *layout = new QVBoxLayout(&window);
    auto *form = new QFormLayout;
    auto *filter = new QLineEdit;
    filter->setPlaceholderText(QStringLiteral("例如 AcctType = '1' AND AcctName LIKE '%存%'"));
    auto *index = new QLineEdit;
    index->setPlaceholderText(QStringLiteral("例如 AcctType;AcctCode"));
    form->addRow(QStringLiteral("筛选条件："), filter);
    form->addRow(QStringLiteral("排序字段："), index);
    layout->addLayout(form);
    auto *view = new QTableView;
    auto *model = new DataSetModel(&ds, view);
    view->setModel(model);
    view->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(view);
    auto *status = new QLabel;
    layout->addWidget(status);

    auto showCount = [&] {
        status->setText(QStringLiteral("共 %1 条记录，未保存的更改 %2 处")
                            .arg(ds.recordCount())
                            .arg(ds.changeCount()));
    };
    auto apply = [&](auto &&action) {
        try {
            action();
            status->setStyleSheet(QString());
            showCount();
        } catch (const Error &e) {
            status->setStyleSheet(QStringLiteral("color: #b00020"));
            status->setText(e.message());
        }
    };
    QObject::connect(filter, &QLineEdit::returnPressed, [&] {
        apply([&] {
            ds.setFilter(filter->text());
            ds.setFiltered(!filter->text().trimmed().isEmpty());
        });
    });
    QObject::connect(index, &QLineEdit::returnPressed,
                     [&] { apply([&] { ds.setIndexFieldNames(index->text()); }); });
    QObject::connect(model, &DataSetModel::editFailed, [&](const QString &message) {
        QMessageBox::warning(&window, QStringLiteral("数据包"), message);
    });
    QObject::connect(model, &QAbstractItemModel::dataChanged, showCount);
    showCount();
    window.resize(760, 480);
    window.show();
    return app.exec();
}
