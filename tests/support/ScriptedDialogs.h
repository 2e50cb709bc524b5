#pragma once

#include "DialogService.h"

#include <QAbstractButton>
#include <QDebug>
#include <QDialog>
#include <QLabel>
#include <QList>
#include <QSize>
#include <QString>

#include <deque>
#include <functional>

// A dialog service for tests: answers every modal dialog from a script and records what
// was shown, without a person and without blocking. Installed for its lifetime:
//
//     ScriptedDialogs dialogs;
//     dialogs.answer(vexa::gl::mrYes);                // the next dialog answers 6
//     dialogs.click(QStringLiteral("btNo"));          // the one after: its button is clicked
//     dialogs.answerWith([](QDialog &d) { ...; return d.result(); });
//     ... code under test ...
//     QCOMPARE(dialogs.shown.size(), 3);
//     QCOMPARE(dialogs.shown[0].text, QStringLiteral("..."));
//
// Each dialog is shown (show(), never exec()), so its show-time code runs (look, sizing),
// then recorded, then answered; it is hidden again before exec returns. A dialog that the
// script does not cover answers unscriptedAnswer and a warning is printed.
class ScriptedDialogs : public vexa::gl::DialogService
{
public:
    struct Shown
    {
        QString className; // metaObject()->className()
        QString title;     // window title
        QString text;      // text of the label lbInfo, empty without one
        QSize size;        // size once shown
        int result = 0;    // what exec answered
    };

    using Answer = std::function<int(QDialog &)>;

    ScriptedDialogs() : m_previous(install(this)) {}
    ~ScriptedDialogs() override { install(m_previous); }
    ScriptedDialogs(const ScriptedDialogs &) = delete;
    ScriptedDialogs &operator=(const ScriptedDialogs &) = delete;

    // The next dialog closes with result (through done, as its buttons would).
    void answer(int result)
    {
        m_script.push_back([result](QDialog &dialog) {
            dialog.done(result);
            return result;
        });
    }
    // The next dialog is handed to answer, which may fill fields, click buttons or send
    // keys; its return value is what exec answers.
    void answerWith(Answer answer) { m_script.push_back(std::move(answer)); }
    // The next dialog's button (or other clickable) named objectName is clicked; exec
    // answers the dialog's result afterwards.
    void click(const QString &objectName)
    {
        m_script.push_back([objectName](QDialog &dialog) {
            auto *button = dialog.findChild<QAbstractButton *>(objectName);
            if (button)
                button->click();
            else
                qWarning() << "ScriptedDialogs: no button" << objectName << "in"
                           << dialog.metaObject()->className();
            return dialog.result();
        });
    }
    // Answers for the file choosers, in order; an empty list stands for cancelling.
    void answerFiles(const QStringList &files) { m_files.push_back(files); }

    int pending() const { return int(m_script.size()); }

    QList<Shown> shown;
    // Captions and filters of the file choosers asked (open and save), in order.
    QStringList fileCaptions;
    QStringList fileFilters;
    int unscriptedAnswer = QDialog::Rejected;

    int exec(QDialog &dialog) override
    {
        dialog.setResult(0);
        dialog.show();
        Shown record;
        record.className = QString::fromLatin1(dialog.metaObject()->className());
        record.title = dialog.windowTitle();
        if (auto *info = dialog.findChild<QLabel *>(QStringLiteral("lbInfo")))
            record.text = info->text();
        record.size = dialog.size();
        // Recorded before answering, so dialogs shown while answering come after it.
        const qsizetype index = shown.size();
        shown << record;
        int result = unscriptedAnswer;
        if (m_script.empty()) {
            qWarning() << "ScriptedDialogs: unscripted dialog" << record.className << record.title
                       << record.text;
        } else {
            Answer next = std::move(m_script.front());
            m_script.pop_front();
            result = next(dialog);
        }
        dialog.hide();
        shown[index].result = result;
        return result;
    }

    QStringList openFileNames(QWidget *, const QString &caption, const QString &filter,
                              bool multiple) override
    {
        fileFilters << filter;
        QStringList files = nextFiles(caption);
        if (!multiple && files.size() > 1)
            files = files.mid(0, 1);
        return files;
    }
    QString saveFileName(QWidget *, const QString &caption, const QString &,
                         const QString &filter) override
    {
        fileFilters << filter;
        return nextFiles(caption).value(0);
    }
    QString openImageFile(QWidget *, const QString &caption, const QString &) override
    {
        return nextFiles(caption).value(0);
    }
    // Files opened with the workstation's program, in order; nothing is started.
    QStringList openedDocuments;
    bool openDocument(const QString &path) override
    {
        openedDocuments << path;
        return true;
    }

private:
    QStringList nextFiles(const QString &caption)
    {
        fileCaptions << caption;
        if (m_files.empty()) {
            qWarning() << "ScriptedDialogs: unscripted file chooser" << caption;
            return {};
        }
        QStringList files = m_files.front();
        m_files.pop_front();
        return files;
    }

    vexa::gl::DialogService *m_previous;
    std::deque<Answer> m_script;
    std::deque<QStringList> m_files;
};
