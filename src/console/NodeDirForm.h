#pragma once

#include "ChildDialogForm.h"

#include <QString>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace vexa {
class ClientDataSet;
}

namespace vexa::gl {

class TSelModulesForm;

// The console's node editor: a node's name and, optionally, the system module it starts
// (an empty module number makes a directory). The console reads the name, the module
// number and the module's catalogue row (CatalogueRow) after OK.
//
// Components: lbDirName "节点项名称" and edDirName; lbModuleNo "系统模块号", edModuleNo and
// its picker button btnModuleNo; edModuleDesc (the module's SearchOne, read-only);
// btnOk "确认" (re-captioned by the console), btnCancel "取消"; the dataset cdsModules on
// SYS_SMModules. A typed module number is checked when its editor is left or Enter is
// pressed in it.
class TNodeDirForm : public TChildDialogForm
{
    Q_OBJECT

public:
    explicit TNodeDirForm(QWidget *parent = nullptr);
    ~TNodeDirForm() override;

    // What the console pre-fills and reads back.
    void SetOkCaption(const QString &caption);
    void SetDirName(const QString &name);
    void SetModuleNo(const QString &moduleNo);
    QString DirName() const;  // trimmed
    QString ModuleNo() const; // trimmed, upper case
    // The catalogue row(s) of the module number last looked up; the current row is the
    // module the node starts (no row for a directory).
    ClientDataSet &CatalogueRow() const { return *cdsModules; }

    // Checks a typed module number: refuses (raises) one that is not in the catalogue or
    // is for internal use; fills an empty name with the module's description.
    void ValidateModuleNo();
    // The picker button: a module chosen in the module picker.
    void PickModule();
    // The OK button; answers whether the dialog closed.
    bool ConfirmOk();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void OpenModules(const QString &command);
    void UpdateOkEnabled();
    void UpdateModuleDesc();

    ClientDataSet *cdsModules;
    QLabel *lbDirName;
    QLineEdit *edDirName = nullptr; // read by eventFilter while the form is built
    QLabel *lbModuleNo;
    QLineEdit *edModuleNo;
    QToolButton *btnModuleNo;
    QLineEdit *edModuleDesc;
    QPushButton *btnOk;
    QPushButton *btnCancel;
    TSelModulesForm *m_picker = nullptr; // made on first use, kept with the editor
    bool m_moduleNoTyped = false;        // edModuleNo edited since its last check
};

} // namespace vexa::gl
