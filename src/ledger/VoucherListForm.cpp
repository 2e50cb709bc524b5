#include "VoucherListForm.h"

#include "ClientDataSet.h"
#include "DataAccess.h"
#include "FormKit.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "Money.h"

#include <vexa/Error.h>
#include <vexa/PluginHost.h>

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

namespace vexa::ledger {

namespace {

QString quoted(const QString &text)
{
    return QLatin1Char('\'') + QString(text).replace(u'\'', QStringLiteral("''")) +
           QLatin1Char('\'');
}

QString joined(const QList<int> &values)
{
    QStringList parts;
    for (int v : values)
        parts << QString::number(v);
    return parts.join(QStringLiteral(", "));
}

const QStringList kColumns{QStringLiteral("期间"),     QStringLiteral("凭证字号"),
                           QStringLiteral("日期"),     QStringLiteral("摘要"),
                           QStringLiteral("借方合计"), QStringLiteral("制单"),
                           QStringLiteral("审核"),     QStringLiteral("出纳"),
                           QStringLiteral("记账"),     QStringLiteral("状态")};

QString statusText(int status, int reversedBy, int reverses)
{
    QString text = status == 2   ? QStringLiteral("已记账")
                   : status == 1 ? QStringLiteral("已审核")
                                 : QStringLiteral("未审核");
    if (reverses > 0)
        text += QStringLiteral("（红字）");
    if (reversedBy > 0)
        text += QStringLiteral("（已冲销）");
    return text;
}

} // namespace

QString VoucherFilter::headerCommand(const QList<int> &matching) const
{
    QStringList where{QStringLiteral("ObjType = %1").arg(kVoucherObjType)};
    if (fromPeriod > 0)
        where << QStringLiteral("PeriodID >= %1").arg(fromPeriod);
    if (toPeriod > 0)
        where << QStringLiteral("PeriodID <= %1").arg(toPeriod);
    if (!word.isEmpty())
        where << QStringLiteral("NumCa = ") + quoted(word);
    if (status >= 0)
        where << QStringLiteral("Status = %1").arg(status);
    if (!text.trimmed().isEmpty())
        // No voucher holds the text: a key no voucher has.
        where << (matching.isEmpty() ? QStringLiteral("DocEntry = 0")
                                     : QStringLiteral("DocEntry IN (%1)").arg(joined(matching)));
    return QStringLiteral("WHERE ") + where.join(QStringLiteral(" AND ")) +
           QStringLiteral(" ORDER BY PeriodID, NumCa, DocNum");
}

QString VoucherFilter::textCommand() const
{
    return QStringLiteral("WHERE Summary LIKE ") +
           quoted(QLatin1Char('%') + text.trimmed() + QLatin1Char('%'));
}

TVoucherListForm::TVoucherListForm(QWidget *parent) : gl::TLXChildForm(parent)
{
    setObjectName(QStringLiteral("TVoucherListForm"));
    setWindowTitle(QStringLiteral("凭证管理"));
    SetModuleCaption(QStringLiteral("凭证管理"));

    auto *bar = new QHBoxLayout(plModuleToolbar);
    bar->setContentsMargins(4, 2, 4, 2);
    const auto button = [this, bar](const char *text, const char *name,
                                    std::function<void()> action) {
        QPushButton *b = gl::MakeButton(QString::fromUtf8(text), QString::fromLatin1(name), this);
        bar->addWidget(b);
        connect(b, &QPushButton::clicked, this, [action] { gl::RunGuarded(action); });
        return b;
    };
    button("审核", "btnReview", [this] { Review(true); });
    button("取消审核", "btnUnreview", [this] { Review(false); });
    button("出纳签字", "btnSign", [this] { Sign(true); });
    button("取消签字", "btnUnsign", [this] { Sign(false); });
    button("记账", "btnPost", [this] { Post(); });
    button("冲销", "btnReverse", [this] { Reverse(); });
    button("删除", "btnDelete", [this] { Delete(); });
    button("修改/查看", "btnOpen", [this] { Open(); });
    button("刷新", "btnRefresh", [this] { Refresh(); });
    bar->addStretch(1);

    auto *client = new QVBoxLayout(plClient);
    auto *filter = new QHBoxLayout;
    const auto combo = [this](const char *name) {
        auto *c = new QComboBox(plClient);
        c->setObjectName(QString::fromLatin1(name));
        return c;
    };
    cbFromPeriod = combo("cbFromPeriod");
    cbToPeriod = combo("cbToPeriod");
    cbWord = combo("cbWord");
    cbStatus = combo("cbStatus");
    cbStatus->addItem(QStringLiteral("全部"), -1);
    cbStatus->addItem(QStringLiteral("未审核"), 0);
    cbStatus->addItem(QStringLiteral("已审核"), 1);
    cbStatus->addItem(QStringLiteral("已记账"), 2);
    edSearch = new QLineEdit(plClient);
    edSearch->setObjectName(QStringLiteral("edSearch"));
    edSearch->setPlaceholderText(QStringLiteral("摘要中的文字"));
    const auto add = [this, filter](const char *caption, QWidget *w) {
        filter->addWidget(new QLabel(QString::fromUtf8(caption), plClient));
        filter->addWidget(w);
    };
    add("期间", cbFromPeriod);
    add("至", cbToPeriod);
    add("凭证字", cbWord);
    add("状态", cbStatus);
    add("摘要", edSearch);
    QPushButton *query = gl::MakeButton(QStringLiteral("查询"), QStringLiteral("btnQuery"), this);
    filter->addWidget(query);
    filter->addStretch(1);
    connect(query, &QPushButton::clicked, this, [this] { gl::RunGuarded([this] { Refresh(); }); });
    connect(edSearch, &QLineEdit::returnPressed, this,
            [this] { gl::RunGuarded([this] { Refresh(); }); });
    client->addLayout(filter);

    m_model = new QStandardItemModel(0, int(kColumns.size()), this);
    m_model->setHorizontalHeaderLabels(kColumns);
    grdVouchers = new QTableView(plClient);
    grdVouchers->setObjectName(QStringLiteral("grdVouchers"));
    grdVouchers->setModel(m_model);
    grdVouchers->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdVouchers->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grdVouchers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdVouchers->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    grdVouchers->verticalHeader()->hide();
    connect(grdVouchers, &QTableView::doubleClicked, this,
            [this] { gl::RunGuarded([this] { Open(); }); });
    SetMainGridView(grdVouchers);
    client->addWidget(grdVouchers, 1);
    lbMessage = new QLabel(plClient);
    lbMessage->setObjectName(QStringLiteral("lbMessage"));
    client->addWidget(lbMessage);
}

void TVoucherListForm::readLists()
{
    m_periods = Periods();
    m_numberLength = VoucherNumberLength();
    for (QComboBox *c : {cbFromPeriod, cbToPeriod}) {
        const QVariant kept = c->currentData();
        c->clear();
        for (const LedgerPeriod &p : m_periods)
            c->addItem(p.code, p.periodId);
        const int at = c->findData(kept);
        c->setCurrentIndex(at >= 0 ? at : (c == cbFromPeriod ? 0 : c->count() - 1));
    }
    const QString word = cbWord->currentText();
    cbWord->clear();
    cbWord->addItem(QStringLiteral("全部"));
    cbWord->addItems(VoucherWords());
    cbWord->setCurrentIndex(qMax(0, cbWord->findText(word)));
    m_listsRead = true;
}

void TVoucherListForm::Execute(quint32, const QString &, QVariant &)
{
    readLists();
    Refresh();
}

VoucherFilter TVoucherListForm::Filter() const
{
    VoucherFilter f;
    f.fromPeriod = cbFromPeriod->currentData().toInt();
    f.toPeriod = cbToPeriod->currentData().toInt();
    f.word = cbWord->currentIndex() > 0 ? cbWord->currentText() : QString();
    f.status = cbStatus->currentData().toInt();
    f.text = edSearch->text().trimmed();
    return f;
}

void TVoucherListForm::Refresh()
{
    if (!m_listsRead)
        readLists();
    gl::BusyScope busy;
    const VoucherFilter f = Filter();
    if (f.fromPeriod > 0 && f.toPeriod > 0 && f.fromPeriod > f.toPeriod)
        throw Error(QStringLiteral("起始期间不能晚于截止期间。"));
    QList<int> matching;
    if (!f.text.isEmpty()) {
        auto lines = gl::ProviderDataSet(QStringLiteral("LX_FINDocVoucherLine"), f.textCommand());
        for (lines->first(); !lines->eof(); lines->next()) {
            const int e = lines->value(QStringLiteral("DocEntry")).toInt();
            if (!matching.contains(e))
                matching << e;
        }
    }
    auto heads = gl::ProviderDataSet(QStringLiteral("LX_FINDocVoucher"), f.headerCommand(matching));
    QList<int> entries;
    for (heads->first(); !heads->eof(); heads->next())
        entries << heads->value(QStringLiteral("DocEntry")).toInt();

    // The first line's 摘要 of each voucher listed.
    QHash<int, QPair<int, QString>> firstSummary;
    if (!entries.isEmpty()) {
        auto lines =
            gl::ProviderDataSet(QStringLiteral("LX_FINDocVoucherLine"),
                                QStringLiteral("WHERE DocEntry IN (%1)").arg(joined(entries)));
        for (lines->first(); !lines->eof(); lines->next()) {
            const int e = lines->value(QStringLiteral("DocEntry")).toInt();
            const int no = lines->value(QStringLiteral("LineNo")).toInt();
            if (!firstSummary.contains(e) || no < firstSummary[e].first)
                firstSummary[e] = {no, lines->asString(QStringLiteral("Summary"))};
        }
    }
    QHash<int, QString> periodCodes;
    for (const LedgerPeriod &p : m_periods)
        periodCodes.insert(p.periodId, p.code);

    // The rows a command just worked on stay selected for the next one.
    const QList<int> selected = SelectedEntries();
    m_model->removeRows(0, m_model->rowCount());
    for (heads->first(); !heads->eof(); heads->next()) {
        const int entry = heads->value(QStringLiteral("DocEntry")).toInt();
        const auto text = [&heads](const char *field) {
            return heads->asString(QString::fromLatin1(field)).trimmed();
        };
        QList<QStandardItem *> row;
        const auto cell = [&row](const QString &value) {
            auto *item = new QStandardItem(value);
            row << item;
            return item;
        };
        cell(periodCodes.value(heads->value(QStringLiteral("PeriodID")).toInt()))
            ->setData(entry, Qt::UserRole);
        cell(VoucherNumberText(text("NumCa"), heads->value(QStringLiteral("DocNum")).toInt(),
                               m_numberLength));
        cell(heads->value(QStringLiteral("DocDate")).toDate().toString(Qt::ISODate));
        cell(firstSummary.value(entry).second);
        const qint64 debit = heads->value(QStringLiteral("DebitTotal")).toLongLong();
        QStandardItem *amount = cell(Money::format(debit));
        amount->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (debit < 0)
            amount->setForeground(Qt::red);
        cell(text("Maker"));
        cell(text("Ratifier"));
        cell(text("Cashier"));
        cell(text("Poster"));
        cell(statusText(heads->value(QStringLiteral("Status")).toInt(),
                        heads->value(QStringLiteral("ReversedBy")).toInt(),
                        heads->value(QStringLiteral("ReversesEntry")).toInt()));
        m_model->appendRow(row);
        if (selected.contains(entry))
            grdVouchers->selectionModel()->select(m_model->index(m_model->rowCount() - 1, 0),
                                                  QItemSelectionModel::Select |
                                                      QItemSelectionModel::Rows);
    }
    lbMessage->setText(QStringLiteral("共 %1 张凭证").arg(m_model->rowCount()));
}

QList<int> TVoucherListForm::ListedEntries() const
{
    QList<int> entries;
    for (int r = 0; r < m_model->rowCount(); ++r)
        entries << m_model->item(r, 0)->data(Qt::UserRole).toInt();
    return entries;
}

QList<int> TVoucherListForm::SelectedEntries() const
{
    QList<int> rows;
    for (const QModelIndex &i : grdVouchers->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    QList<int> entries;
    for (int r : rows)
        entries << m_model->item(r, 0)->data(Qt::UserRole).toInt();
    return entries;
}

void TVoucherListForm::onSelection(const QString &done,
                                   const std::function<void(const QList<int> &)> &act)
{
    const QList<int> entries = SelectedEntries();
    if (entries.isEmpty()) {
        gl::ShowWarningMessage(QStringLiteral("请先选择凭证。"));
        return;
    }
    try {
        gl::BusyScope busy;
        act(entries);
    } catch (const Error &e) {
        gl::ShowErrorMessage(e.message());
        Refresh();
        return;
    }
    Refresh();
    lbMessage->setText(done.arg(entries.size()));
}

void TVoucherListForm::Review(bool on)
{
    onSelection(on ? QStringLiteral("已审核 %1 张凭证。")
                   : QStringLiteral("已取消审核 %1 张凭证。"),
                [on](const QList<int> &e) { ReviewVouchers(e, on); });
}

void TVoucherListForm::Sign(bool on)
{
    onSelection(on ? QStringLiteral("已出纳签字 %1 张凭证。")
                   : QStringLiteral("已取消出纳签字 %1 张凭证。"),
                [on](const QList<int> &e) { SignVouchers(e, on); });
}

void TVoucherListForm::Post()
{
    onSelection(QStringLiteral("已记账 %1 张凭证。"), [this](const QList<int> &e) {
        PostVouchers(cbToPeriod->currentData().toInt(), e);
    });
}

void TVoucherListForm::Delete()
{
    const QList<int> entries = SelectedEntries();
    if (entries.size() > 1) {
        gl::ShowWarningMessage(QStringLiteral("一次只能删除一张凭证。"));
        return;
    }
    if (entries.isEmpty()) {
        gl::ShowWarningMessage(QStringLiteral("请先选择凭证。"));
        return;
    }
    const int row = grdVouchers->selectionModel()->selectedRows().first().row();
    const QString label = m_model->item(row, 1)->text();
    if (gl::AskYesNo(
            QStringLiteral("删除凭证 %1 吗？同一凭证字其后的凭证号会依次前移。").arg(label)) !=
        gl::mrOk)
        return;
    onSelection(QStringLiteral("已删除凭证。"),
                [](const QList<int> &e) { DeleteVoucher(e.first()); });
}

void TVoucherListForm::Open()
{
    const QList<int> entries = SelectedEntries();
    if (entries.isEmpty()) {
        gl::ShowWarningMessage(QStringLiteral("请先选择凭证。"));
        return;
    }
    QVariant p3;
    gl::HostRef().OpenModule(QStringLiteral("GLPZLR"), 0, quint32(entries.first()),
                             QStringLiteral("DocEntry"), p3);
}

void TVoucherListForm::Reverse()
{
    const QList<int> entries = SelectedEntries();
    if (entries.isEmpty()) {
        gl::ShowWarningMessage(QStringLiteral("请先选择凭证。"));
        return;
    }
    QVariant p3;
    gl::HostRef().OpenModule(QStringLiteral("GLCXPZ"), 0, quint32(entries.first()),
                             QStringLiteral("DocEntry"), p3);
}

} // namespace vexa::ledger
