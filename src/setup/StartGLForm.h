#pragma once

#include "AccountSetConfig.h"
#include "ChildDialogForm.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <functional>
#include <memory>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableView;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace vexa {
class ClientDataSet;
class DataSetModel;
} // namespace vexa

namespace vexa::gl {

class TSelPeriodsForm;
class TSelAccountingForm;

// Ties editors to fields of the current row of a dataset: a change the user makes is
// written into the field at once (the row is put into edit when it was browsing), and a
// change of the row from code (a picker, the period dialog, a save) shows in the editors.
// Datasets are resolved when attach() runs, so editors can be bound before they exist.
class FieldBinder : public QObject
{
    Q_OBJECT

public:
    using Source = std::function<ClientDataSet &()>;

    explicit FieldBinder(QObject *parent = nullptr) : QObject(parent) {}

    // writes false: the editor only shows the field; its owner checks and writes entries.
    void bind(QLineEdit *editor, Source source, const QString &field, bool writes = true);
    // Items carry their code as user data.
    void bind(QComboBox *editor, Source source, const QString &field);
    void bind(QCheckBox *editor, Source source, const QString &field);
    void bind(QSpinBox *editor, Source source, const QString &field);
    // The editor shows the field but the change goes to write instead of the field.
    void bindRead(QSpinBox *editor, Source source, const QString &field,
                  std::function<void(int)> write);

    // Connects to the datasets and shows their values.
    void attach();
    void refresh();
    // While held, editor changes are not written (loading, code filling the editors).
    bool quiet() const { return m_quiet > 0; }
    struct Quiet
    {
        FieldBinder &binder;
        explicit Quiet(FieldBinder &b) : binder(b) { ++binder.m_quiet; }
        ~Quiet() { --binder.m_quiet; }
    };

    // The editor of a field, for putting the focus on it ("UseOrg" ...; first bound wins).
    QWidget *editorOf(const QString &field) const { return m_editors.value(field); }

    // Writes value into field of the dataset's current row.
    static void write(ClientDataSet &ds, const QString &field, const QVariant &value);

private:
    struct Binding
    {
        QPointer<QWidget> editor;
        Source source;
        QString field;
        std::function<void(const QVariant &)> show;
    };
    void add(QWidget *editor, Source source, const QString &field,
             std::function<void(const QVariant &)> show);
    void changed(const Binding &binding, const QVariant &value);
    void refresh(const ClientDataSet *ds);

    QList<Binding> m_bindings;
    QHash<QString, QWidget *> m_editors;
    QList<QMetaObject::Connection> m_connections;
    int m_quiet = 0;
};

// The account-set configuration: company, base currency, industry type, periods, start
// periods, the options of every system and the number display, saved in one server
// transaction that may also enable the account set. The rules live in AccountSetConfig;
// this window binds editors to its records and asks the user.
//
// Components: lbTitle, pcMain with the pages tsOverview, tsPeriods, tsFinance, tsCashier,
// tsSales, tsPurchase, tsInventory, tsDisplay; btnOk "确认", btnCancel "取消". Editors bound
// to a field are named "ed"/"cb"/"chk" + the field (edUseOrg, cbAcctTempDesc,
// chkStopAutoPost ...); finance flags chkFlag1 ... chkFlag52; buttons btnBrowseTemplate
// "科目查阅", btnAcctTypes "指定科目类别", btnSetPeriods "设置会计期间", btnGLStart,
// btnBusinessStart, btnCashierStart; the overview's business panel pnlBusiness with
// edPanelKBPeriodName and btnPanelBusinessStart; the period year tree tvYears and grid
// grdPeriods.
class TStartGLForm : public TChildDialogForm
{
    Q_OBJECT

public:
    explicit TStartGLForm(QWidget *parent = nullptr);
    ~TStartGLForm() override;

    // Fixed settings changed by the last completed save: the caller asks for a new login.
    bool SettingsChanged() const { return m_settingsChanged; }
    bool ReadOnly() const { return m_readOnly; }
    AccountSetConfig &Config() { return *m_config; }
    // For the edition without the general ledger, set before showing: the overview shows
    // the business start (pnlBusiness), which is the general-ledger start too, and the
    // finance page is left out.
    void ShowBusinessPanel(bool on);
    bool BusinessPanelShown() const { return m_businessPanel; }

    // The buttons' actions.
    void OkClick();
    void SetPeriodsClick();
    void ChooseGLStart();
    void ChooseBusinessStart();
    void ChooseCashierStart();
    void BrowseTemplate();
    void ChooseAccountTypes();
    void EditPropertyValues(PropertyKind kind);

    // "取消", Escape and closing the window: with unsaved changes the user is asked
    // first, and a No keeps the dialog open with them. Closes with Cancel (2).
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Pages (StartGLFormPages.cpp).
    QWidget *buildOverview();
    QWidget *buildPeriods();
    QWidget *buildFinance();
    QWidget *buildCashier();
    QWidget *buildSales();
    QWidget *buildPurchase();
    QWidget *buildInventory();
    QWidget *buildDisplay();
    // A default-account row: code box (typed codes are looked up), picker button, name.
    QWidget *accountRow(const FieldBinder::Source &source, const QString &prefix,
                        const QString &name, const QString &caption);
    QWidget *propertyCountRow(PropertyKind kind, const QString &caption, const QString &field);

    FieldBinder::Source source(ClientDataSet &(AccountSetConfig::*get)() const);
    void load();
    void layOutGrids();
    void applyEditability();
    void showPickers();
    void showIndustryButtons();
    void layOutPanels();
    void rebuildTree(int selectYear);
    void yearSelected(QTreeWidgetItem *item);
    void showPhone(int which);
    void phoneEdited(const QString &text);
    void currencyPlacementChosen(bool codeOnRight, bool on);
    void industryChosen();
    void propertyCountEntered(PropertyKind kind, int count);
    void voucherFillEntered();
    void accountCodeEntered(const FieldBinder::Source &source, const QString &prefix,
                            QLineEdit *box);
    void pickAccount(const FieldBinder::Source &source, const QString &prefix);
    // The period picker over the periods being edited; false when nothing was chosen.
    bool pickPeriod(const QString &filter, int &periodId, QString &periodName);
    void showProblem(const ConfigProblem &problem);

    std::unique_ptr<AccountSetConfig> m_config;
    FieldBinder *m_binder;
    bool m_readOnly = false;
    bool m_loaded = false;
    bool m_loading = false;
    bool m_settingsChanged = false;
    bool m_businessPanel = false;
    QString m_phoneField = QStringLiteral("AddPhone");
    QPointer<TSelPeriodsForm> m_periodPicker;
    QPointer<TSelAccountingForm> m_accountPicker;

    QTabWidget *pcMain = nullptr;
    QLabel *lbHint = nullptr;
    QLabel *lbHint2 = nullptr;
    QLineEdit *edPhone = nullptr;
    QList<QAbstractButton *> m_phoneButtons;
    QComboBox *cbAcctTempDesc = nullptr;
    QPushButton *btnBrowseTemplate = nullptr;
    QPushButton *btnAcctTypes = nullptr;
    QTreeWidget *tvYears = nullptr;
    QTreeWidgetItem *m_yearRoot = nullptr;
    QTableView *grdPeriods = nullptr;
    DataSetModel *m_periodModel = nullptr;
    QPushButton *btnSetPeriods = nullptr;
    QPushButton *btnGLStart = nullptr;
    QPushButton *btnBusinessStart = nullptr;
    QWidget *pnlBusiness = nullptr;
    QPushButton *btnPanelBusinessStart = nullptr;
    QPushButton *btnCashierStart = nullptr;
    QLineEdit *edPZNumCaLen = nullptr;
    QHash<int, QCheckBox *> m_flagBoxes;
    QHash<int, QSpinBox *> m_countBoxes; // by PropertyKind
    QList<QWidget *> m_panels[3];        // by PropertyKind
    QTableView *grdObjTypes = nullptr;
    DataSetModel *m_objTypeModel = nullptr;
    QList<QComboBox *> m_checkListBoxes;
    QPushButton *btnOk = nullptr;
    QPushButton *btnCancel = nullptr;
};

} // namespace vexa::gl
