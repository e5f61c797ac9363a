// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "common/platform/Dialogs.h"

#include <QColor>
#include <QList>
#include <QPrinter>
#include <QString>

#include <optional>

// Answers every message box, input box and chooser from a script and records what was asked.
class ScriptedDialogs : public DialogProvider
{
public:
    struct Asked
    {
        QString kind; // "msg", "input", "colour", "printer"
        QString prompt;
        int style = 0;
        QString title;
    };

    ScriptedDialogs() { SetDialogProvider(this); }
    ~ScriptedDialogs() override { SetDialogProvider(nullptr); }
    ScriptedDialogs(const ScriptedDialogs &) = delete;
    ScriptedDialogs &operator=(const ScriptedDialogs &) = delete;

    QList<int> msgAnswers;                      // default vbOK once exhausted
    QList<std::optional<QString>> inputAnswers; // default cancel
    QList<std::optional<QColor>> colourAnswers; // default cancel
    QList<bool> printerAnswers;                 // default cancel
    // What an accepted printer chooser selects: a PDF file, or else the named printer queue.
    QString printerOutputFile;
    QString printerName;
    QList<Asked> asked;

    int messageBox(const QString &prompt, int style, const QString &title) override
    {
        asked.append({QStringLiteral("msg"), prompt, style, title});
        return msgAnswers.isEmpty() ? vbOK : msgAnswers.takeFirst();
    }
    std::optional<QString> inputBox(const QString &prompt, const QString &title, const QString &defaultText) override
    {
        asked.append({QStringLiteral("input"), prompt, 0, title});
        Q_UNUSED(defaultText);
        return inputAnswers.isEmpty() ? std::nullopt : inputAnswers.takeFirst();
    }
    std::optional<QColor> chooseColour(const QColor &initial) override
    {
        asked.append({QStringLiteral("colour"), initial.name(), 0, QString()});
        return colourAnswers.isEmpty() ? std::nullopt : colourAnswers.takeFirst();
    }
    bool choosePrinter(QPrinter &printer) override
    {
        asked.append({QStringLiteral("printer"), QString(), 0, QString()});
        const bool accepted = printerAnswers.isEmpty() ? false : printerAnswers.takeFirst();
        if (accepted && !printerOutputFile.isEmpty()) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(printerOutputFile);
        } else if (accepted && !printerName.isEmpty()) {
            printer.setPrinterName(printerName);
        }
        return accepted;
    }
};
