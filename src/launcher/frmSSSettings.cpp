// SPDX-License-Identifier: GPL-2.0-or-later
#include "launcher/frmSSSettings.h"

#include "common/FolderNames.h"
#include "common/ScreenMetrics.h"
#include "common/SettingsStore.h"
#include "common/StoredValues.h"
#include "common/platform/Dialogs.h"
#include "controls/ARButton.h"
#include "settings/SettingsRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <optional>

namespace {
// Client area in twips.
constexpr double kWidthTwips = 4680;
constexpr double kHeightTwips = 1770;

} // namespace

frmSSSettings::frmSSSettings(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint)
    , fraShowMode(new QGroupBox(QStringLiteral("Show Mode"), this))
    , optNormal(new QRadioButton(QStringLiteral("Normal"), fraShowMode))
    , optRandom(new QRadioButton(QStringLiteral("Random"), fraShowMode))
    , cmbCurrentFolder(new QComboBox(this))
    , chkLogoShow(new QCheckBox(QStringLiteral("Drifting Logo"), this))
    , lblInterval(new QLabel(QStringLiteral("Slide Interval:"), this))
    , txtInterval(new QLineEdit(QStringLiteral("4"), this))
    , cmdOK(new ARButton(this))
    , cmdCancel(new ARButton(this))
{
    setObjectName(QStringLiteral("frmSSSettings"));
    setWindowTitle(QStringLiteral("Vantrel Viewer Configuration"));
    setModal(false);
    // The measures are those of the small system font the dialog was laid out in.
    QFont small(QStringLiteral("Liberation Sans"));
    small.setPointSizeF(8.25);
    setFont(small);
    setAttribute(Qt::WA_DeleteOnClose, false);
    cmbCurrentFolder->setEditable(true);
    cmbCurrentFolder->setInsertPolicy(QComboBox::NoInsert);
    QPalette white = txtInterval->palette();
    white.setColor(QPalette::Base, Qt::white);
    txtInterval->setPalette(white);
    cmdOK->setCaption(QStringLiteral("OK"));
    cmdCancel->setCaption(QStringLiteral("Cancel"));
    fraShowMode->setObjectName(QStringLiteral("fraShowMode"));
    optNormal->setObjectName(QStringLiteral("optNormal"));
    optRandom->setObjectName(QStringLiteral("optRandom"));
    cmbCurrentFolder->setObjectName(QStringLiteral("cmbCurrentFolder"));
    chkLogoShow->setObjectName(QStringLiteral("chkLogoShow"));
    lblInterval->setObjectName(QStringLiteral("lblInterval"));
    txtInterval->setObjectName(QStringLiteral("txtInterval"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    const float tx = ScreenTwipsPerPixelX();
    const float ty = ScreenTwipsPerPixelY();
    auto place = [&](QWidget *w, double left, double top, double width, double height) {
        w->setGeometry(TwipsRect(left, top, width, height, tx, ty));
    };
    place(fraShowMode, 240, 120, 1455, 1095);
    place(optNormal, 360, 360, 1215, 375);
    place(optRandom, 360, 720, 1215, 375);
    place(cmbCurrentFolder, 2160, 240, 2295, 315);
    place(chkLogoShow, 3000, 600, 1455, 375);
    place(lblInterval, 240, 1320, 1545, 225);
    place(txtInterval, 1320, 1320, 435, 270);
    place(cmdOK, 2520, 1320, 975, 375);
    place(cmdCancel, 3600, 1320, 975, 375);
    setFixedSize(TwipsToPixels(kWidthTwips, tx), TwipsToPixels(kHeightTwips, ty));
    // The label lies under the interval box where they overlap.
    lblInterval->lower();

    // Tab order: interval, OK, Cancel, the two options, then the folder and the logo box.
    setTabOrder(txtInterval, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, optNormal);
    setTabOrder(optNormal, optRandom);
    setTabOrder(optRandom, cmbCurrentFolder);
    setTabOrder(cmbCurrentFolder, chkLogoShow);

    connect(cmdOK, &ARButton::Click, this, &frmSSSettings::cmdOK_Click);
    connect(cmdCancel, &ARButton::Click, this, &frmSSSettings::cmdCancel_Click);
    connect(cmdOK, &ARButton::MouseUp, this, &frmSSSettings::cmdOK_MouseUp);
    connect(cmdCancel, &ARButton::MouseUp, this, &frmSSSettings::cmdCancel_MouseUp);
}

void frmSSSettings::Form_Load()
{
    // A missing or unconvertible value reads as what the dialog shows for it: 4 seconds, Normal,
    // no folder, no logo.
    const QString settings = QStringLiteral("Settings");
    SlideTime = SlideTimeFromStored(GetSetting(AppName, settings, QStringLiteral("SlideTime")));
    RandomShow = ToTruth(GetSetting(AppName, settings, QStringLiteral("RandomShow"))).value_or(false);
    BaseName = GetSetting(AppName, settings, QStringLiteral("Basename"));
    LogoShow = ToInt16(GetSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("LogoShow"))).value_or(0);

    txtInterval->setText(QString::number(SlideTime));
    // The two options are a group: false chooses Normal.
    (RandomShow ? optRandom : optNormal)->setChecked(true);

    cmbCurrentFolder->clear();
    LoadFolderNames(*cmbCurrentFolder);
    // No entry unless the stored name is one of the list's (an empty name selects none).
    const int found = BaseName.isEmpty() ? -1 : cmbCurrentFolder->findText(BaseName, Qt::MatchExactly);
    cmbCurrentFolder->setCurrentIndex(found);
    if (found < 0) {
        cmbCurrentFolder->setEditText(QString());
    }

    chkLogoShow->setChecked(LogoShow == 1);

    txtInterval->setFocus();
    txtInterval->selectAll();
}

QString frmSSSettings::intervalText() const
{
    return txtInterval->text();
}

bool frmSSSettings::randomChosen() const
{
    return optRandom->isChecked();
}

int frmSSSettings::folderIndex() const
{
    return cmbCurrentFolder->currentIndex();
}

QString frmSSSettings::folderText() const
{
    return cmbCurrentFolder->currentText();
}

bool frmSSSettings::logoChecked() const
{
    return chkLogoShow->isChecked();
}

void frmSSSettings::cmdOK_MouseUp(int Button, int, float, float)
{
    if (Button != 1) {
        cancelClick = true;
    }
}

void frmSSSettings::cmdCancel_MouseUp(int Button, int, float, float)
{
    if (Button != 1) {
        cancelClick = true;
    }
}

void frmSSSettings::cmdOK_Click()
{
    if (cancelClick) {
        cancelClick = false;
        return;
    }
    // The setting is a byte of seconds and the run needs at least one: refuse anything else here
    // rather than store a value the run would misread.
    const std::optional<int> seconds = ParseSlideInterval(txtInterval->text());
    if (!seconds) {
        MsgBox(SlideIntervalMessage(), vbExclamation);
        txtInterval->setFocus();
        txtInterval->selectAll();
        return;
    }
    SlideTime = static_cast<std::uint8_t>(*seconds);
    RandomShow = optRandom->isChecked();
    BaseName = cmbCurrentFolder->currentText();
    LogoShow = chkLogoShow->isChecked() ? 1 : 0;

    const QString settings = QStringLiteral("Settings");
    SaveSettings(AppName, {{settings, QStringLiteral("SlideTime"), QString::number(SlideTime)},
                           {settings, QStringLiteral("RandomShow"), TruthText(RandomShow)},
                           {settings, QStringLiteral("Basename"), BaseName},
                           {QStringLiteral("ScreenSaver"), QStringLiteral("LogoShow"), QString::number(LogoShow)}});
    Unload();
    cancelClick = false;
}

void frmSSSettings::cmdCancel_Click()
{
    if (cancelClick) {
        cancelClick = false;
        return;
    }
    Unload();
    cancelClick = false;
}

void frmSSSettings::Unload()
{
    // The last window of the launcher: closing it ends the program.
    close();
}
