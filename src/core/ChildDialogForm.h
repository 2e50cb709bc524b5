#pragma once

#include "LXCustomForm.h"

#include <QString>
#include <memory>

namespace vexa {
class ClientDataSet;
}

namespace vexa::gl {

// A modal dialog whose datasets use the host connection: at creation (Init) every
// client dataset the dialog owns gets the connection, and those tagged 1 are opened.
class TChildDialogForm : public TLXCustomForm
{
    Q_OBJECT

public:
    explicit TChildDialogForm(QWidget *parent = nullptr);
    ~TChildDialogForm() override;

    void SetMainGridView(QTableView *view) override;

    // The first active account of that code (a node), as the pickers check a typed code:
    // "Top 1 WHERE AcctCode = '<code>' AND IsNode = 1 [AND <extra>] ORDER BY AcctCode".
    ClientDataSet &FindAccount(const QString &code, const QString &extra);

    static QString FindAccountCommand(const QString &code, const QString &extra);

protected:
    // Call at the end of a descendant's constructor, once its datasets exist.
    void InitDataSets();

private:
    std::unique_ptr<ClientDataSet> m_accountLookup;
};

// A list-definition dialog: the query of its dataset composed from fixed and linked
// conditions and an order, and the save of its changes with new keys where needed.
class TDefDialogForm : public TChildDialogForm
{
    Q_OBJECT

public:
    explicit TDefDialogForm(QWidget *parent = nullptr);

    ClientDataSet *DataSet = nullptr;
    QString OrderText;
    QString FixedWhere;
    QString LinkWhere;
    bool AutoKey = true;
    QString KeyField;
    QWidget *GridSite = nullptr; // the widget around the main grid, for the sizing rule

    // The command text RefreshData sends for these conditions and order.
    static QString ComposeCommandText(const QString &fixedWhere, const QString &linkWhere,
                                      const QString &orderText);

    void RefreshData();
    void SaveData();

    // Width and height for a host window of that size: four fifths and three fifths,
    // at least 660 and 348, only grown when below the host window.
    static QSize DialogSize(const QSize &current, const QSize &hostWindow);

protected:
    void showEvent(QShowEvent *event) override;
};

// A record edit dialog that opens in the new-record state.
class TEditDialogForm : public TChildDialogForm
{
    Q_OBJECT

public:
    explicit TEditDialogForm(QWidget *parent = nullptr);

protected:
    // Call at the end of a descendant's constructor, once its editors exist.
    void InitEditState();
};

// Whole grid rows: how much higher a form must grow so that a grid site of that height
// holds a whole number of data rows.
int WholeRowsGrowth(int siteHeight, int chromeHeight, int rowHeight);

} // namespace vexa::gl
