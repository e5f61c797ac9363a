// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

#include <cstdint>

class QPrinter;
class QWidget;

// The standard dialogs that windows open: the colour chooser, the printer chooser and help.
class CommonDialog
{
public:
    // Colour being edited, 0x00BBGGRR; ShowColor keeps it when the chooser is cancelled.
    std::int32_t Color = 0;
    // Printer chooser: with CancelError set, a cancel makes ShowPrinter return false.
    bool CancelError = false;
    std::int32_t Flags = 0;
    // Help: the file to show and the command (11: its contents).
    QString HelpFile;
    int HelpCommand = 0;

    // True when a colour was chosen.
    bool ShowColor();
    // True when the user chose to print; false (print nothing) when cancelled.
    bool ShowPrinter(QPrinter &printer);
    // Opens the help window beside the program at the contents of HelpFile.
    void ShowHelp();
};
