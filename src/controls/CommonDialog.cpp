// SPDX-License-Identifier: GPL-2.0-or-later
#include "controls/CommonDialog.h"

#include "common/StoredValues.h"
#include "common/platform/Dialogs.h"
#include "controls/HelpWindow.h"

bool CommonDialog::ShowColor()
{
    const auto chosen = ChooseColour(ColourFromValue(Color));
    if (!chosen) {
        return false;
    }
    Color = ValueFromColour(*chosen);
    return true;
}

bool CommonDialog::ShowPrinter(QPrinter &printer)
{
    return ChoosePrinter(printer);
}

void CommonDialog::ShowHelp()
{
    HelpWindow::showContents(HelpFile);
}
