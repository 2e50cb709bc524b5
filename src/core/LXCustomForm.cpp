#include "LXCustomForm.h"

#include "ClientSettings.h"
#include "DataSetModel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTableView>
#include <QTextEdit>

namespace vexa::gl {

int tagOf(const QObject *object)
{
    return object ? object->property(kTag).toInt() : 0;
}

void setTag(QObject *object, int tag)
{
    object->setProperty(kTag, tag);
}

TLXCustomForm::TLXCustomForm(QWidget *parent) : QDialog(parent)
{
    // Keys reach KeyHook before the focused child acts on them (the form's key preview).
    qApp->installEventFilter(this);
}

TLXCustomForm::~TLXCustomForm()
{
    qApp->removeEventFilter(this);
}

void TLXCustomForm::SetMainGridView(QTableView *view)
{
    m_mainGridView = view;
}

ClientDataSet *TLXCustomForm::MainDataSet() const
{
    if (m_mainDataSet)
        return m_mainDataSet;
    if (m_mainGridView)
        if (auto *model = qobject_cast<DataSetModel *>(m_mainGridView->model()))
            return model->dataSet();
    return nullptr;
}

int TLXCustomForm::Tag() const
{
    return tagOf(this);
}

void TLXCustomForm::SetTag(int tag)
{
    setTag(this, tag);
}

const QPalette &TLXCustomForm::WriteStyle()
{
    if (!m_stylesMade) {
        const QPalette base = palette();
        m_writeStyle = base;
        m_writeStyle.setColor(QPalette::Base, base.color(QPalette::Base));
        m_readStyle = base;
        m_readStyle.setColor(QPalette::Base, base.color(QPalette::Button));
        m_stylesMade = true;
    }
    return m_writeStyle;
}

const QPalette &TLXCustomForm::ReadStyle()
{
    WriteStyle();
    return m_readStyle;
}

void TLXCustomForm::SetEditState(int state)
{
    if (state != m_editState)
        ApplyEditState(state);
}

void TLXCustomForm::ApplyEditState(int state)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_editState = state;
    const QFont font(Settings().CFontName, Settings().CFontSize);
    auto editable = [state](const QWidget *w) {
        const int tag = tagOf(w);
        return (state == 2 && tag == 1) || (state == 3 && tag != -1);
    };
    for (QWidget *w : findChildren<QWidget *>()) {
        const bool isEditor = qobject_cast<QLineEdit *>(w) || qobject_cast<QComboBox *>(w) ||
                              qobject_cast<QAbstractSpinBox *>(w) || qobject_cast<QCheckBox *>(w) ||
                              qobject_cast<QTextEdit *>(w) || qobject_cast<QPlainTextEdit *>(w);
        // A line edit inside a combo box or spin box belongs to that editor.
        if (!isEditor || qobject_cast<QComboBox *>(w->parentWidget()) ||
            qobject_cast<QAbstractSpinBox *>(w->parentWidget()))
            continue;
        const bool on = editable(w);
        w->setPalette(on ? WriteStyle() : ReadStyle());
        w->setFont(font);
        if (auto *e = qobject_cast<QLineEdit *>(w))
            e->setReadOnly(!on);
        else if (auto *s = qobject_cast<QAbstractSpinBox *>(w)) {
            s->setReadOnly(!on);
            s->setButtonSymbols(on ? QAbstractSpinBox::UpDownArrows : QAbstractSpinBox::NoButtons);
            if (auto *d = qobject_cast<QDateTimeEdit *>(w)) {
                // Dates show no calendar button and no time part.
                d->setCalendarPopup(false);
                if (d->displayFormat().contains(QLatin1Char('H')) && qobject_cast<QDateEdit *>(w))
                    d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
            }
        } else if (auto *t = qobject_cast<QTextEdit *>(w))
            t->setReadOnly(!on);
        else if (auto *p = qobject_cast<QPlainTextEdit *>(w))
            p->setReadOnly(!on);
        else if (auto *c = qobject_cast<QComboBox *>(w))
            c->setEnabled(on);
        else if (auto *b = qobject_cast<QCheckBox *>(w))
            b->setEnabled(on);
    }
    QApplication::restoreOverrideCursor();
}

void TLXCustomForm::BeginUpdate()
{
    if (m_updateCount == 0 && m_mainGridView && !m_gridLocked) {
        m_mainGridView->setUpdatesEnabled(false);
        m_gridLocked = true;
    }
    ++m_updateCount;
}

void TLXCustomForm::EndUpdate(bool reset)
{
    if (m_updateCount == 0)
        return;
    m_updateCount = reset ? 0 : m_updateCount - 1;
    if (m_updateCount == 0 && m_gridLocked) {
        if (m_mainGridView)
            m_mainGridView->setUpdatesEnabled(true);
        m_gridLocked = false;
    }
}

void TLXCustomForm::KeyHook(int &) {}

bool TLXCustomForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto *w = static_cast<QWidget *>(watched);
        if (w != this && w->window() == this) {
            auto *key = static_cast<QKeyEvent *>(event);
            int code = key->key();
            KeyHook(code);
            if (code == 0)
                return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TLXCustomForm::keyPressEvent(QKeyEvent *event)
{
    int code = event->key();
    KeyHook(code);
    if (code == 0) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TLXCustomForm::showEvent(QShowEvent *event)
{
    if (!m_lookApplied) {
        m_lookApplied = true;
        ApplyLook(this);
    }
    QDialog::showEvent(event);
}

} // namespace vexa::gl
