#pragma once

#include <QDialog>
#include <QPalette>

class QTableView;

namespace vexa {
class ClientDataSet;
class IRemoteConnection;
} // namespace vexa

namespace vexa::gl {

// The base of every window of the plug-in: module pages (embedded in the host) and modal
// dialogs alike. It gives the edit-state rule for editors, the update bracket of the main
// grid, the key hook and the client-settings look applied when the form is first shown.
//
// Editors and components carry a "tag" (the dynamic property vexa::gl::kTag, an int): the
// edit-state rule reads it.
class TLXCustomForm : public QDialog
{
    Q_OBJECT

public:
    explicit TLXCustomForm(QWidget *parent = nullptr);
    ~TLXCustomForm() override;

    QTableView *MainGridView() const { return m_mainGridView; }
    virtual void SetMainGridView(QTableView *view);
    // The explicit dataset, or else the one behind MainGridView's model; may be null.
    ClientDataSet *MainDataSet() const;
    void SetMainDataSet(ClientDataSet *dataSet) { m_mainDataSet = dataSet; }

    // 0, 1: read-only; 2: change (editors tagged 1 editable); 3: new record (every editor
    // not tagged -1 editable).
    int EditState() const { return m_editState; }
    void SetEditState(int state);
    void ApplyEditState(int state);

    int UpdateCount() const { return m_updateCount; }
    virtual void BeginUpdate();
    virtual void EndUpdate(bool reset);
    bool MainGridLocked() const { return m_gridLocked; }

    int Mode() const { return m_mode; }
    void SetMode(int mode) { m_mode = mode; }
    bool Closing() const { return m_closing; }
    void SetClosing(bool closing) { m_closing = closing; }
    IRemoteConnection *Connection() const { return m_connection; }
    void SetConnection(IRemoteConnection *connection) { m_connection = connection; }

    // Component tag of the form itself (the module tag for pages).
    int Tag() const;
    void SetTag(int tag);

    // The editor styles of the edit-state rule, made on first use.
    const QPalette &WriteStyle();
    const QPalette &ReadStyle();

protected:
    // Called for every key the form sees before its children act on it; set key to 0
    // to swallow it.
    virtual void KeyHook(int &key);
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QTableView *m_mainGridView = nullptr;
    ClientDataSet *m_mainDataSet = nullptr;
    IRemoteConnection *m_connection = nullptr;
    int m_editState = 0;
    int m_updateCount = 0;
    int m_mode = 0;
    bool m_closing = false;
    bool m_gridLocked = false;
    bool m_lookApplied = false;
    bool m_stylesMade = false;
    QPalette m_writeStyle;
    QPalette m_readStyle;
};

// The name of the dynamic property that holds a component's tag.
inline constexpr char kTag[] = "tag";
int tagOf(const QObject *object);
void setTag(QObject *object, int tag);

} // namespace vexa::gl
