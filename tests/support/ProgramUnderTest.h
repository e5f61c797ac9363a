// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "Controls.h"
#include "Isolation.h"
#include "ScriptedDialogs.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/SharedState.h"
#include "common/Utilities.h"
#include "controls/HelpWindow.h"
#include "panel/frmSide.h"

#include "controls/ARButton.h"

#include <QImage>
#include <QString>
#include <QTest>

// One test's program: its own settings, screen and scripted dialogs, a fresh shared state, and,
// at the end, whatever run the test started ended the way every run ends.
class ProgramUnderTest
{
public:
    explicit ProgramUnderTest(const QByteArray &screen = QByteArrayLiteral("1024x768@15"))
        : env(screen)
    {
        ResetProcessState();
    }

    ~ProgramUnderTest()
    {
        if (Forms::IsLoaded(Forms::Form::Side)) {
            State().ButtonRightClick = false;
            Forms::frmSide().cmdQuit_Click();
        }
        Forms::FlushUnloaded();
        ResetProcessState();
    }

    ProgramUnderTest(const ProgramUnderTest &) = delete;
    ProgramUnderTest &operator=(const ProgramUnderTest &) = delete;

    IsolatedEnvironment env;
    ScriptedDialogs dialogs;
};

// A plain JPEG of one colour.
inline bool WriteJpeg(const QString &path, int width, int height, const QColor &colour = QColor(30, 90, 160))
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image.save(path, "JPEG", 80);
}

// A click on the panel's Thumbnails button, then the wait until the page is complete (the panel
// takes commands again). False when it did not complete in time.
inline bool ClickThumbnails()
{
    QTest::mouseClick(Control<ARButton>(Forms::frmSide(), "cmdThumb"), Qt::LeftButton);
    return QTest::qWaitFor([] { return Forms::frmSide().isEnabled(); }, 20000);
}
