// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>

class ARButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// The launcher's configuration dialog: the four settings a screen-saver run reads (interval,
// order, folder, drifting logo). Modeless and above other windows; closing it ends the launcher.
class frmSSSettings : public QDialog
{
    Q_OBJECT
public:
    explicit frmSSSettings(QWidget *parent = nullptr);

    void Form_Load();

    // What the user sees, for tests and the launcher's checks.
    [[nodiscard]] QString intervalText() const;
    [[nodiscard]] bool randomChosen() const;
    [[nodiscard]] int folderIndex() const;
    [[nodiscard]] QString folderText() const;
    [[nodiscard]] bool logoChecked() const;

private:
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdOK_MouseUp(int Button, int Shift, float X, float Y);
    void cmdCancel_MouseUp(int Button, int Shift, float X, float Y);
    void Unload();

    QGroupBox *fraShowMode;
    QRadioButton *optNormal;
    QRadioButton *optRandom;
    QComboBox *cmbCurrentFolder;
    QCheckBox *chkLogoShow;
    QLabel *lblInterval;
    QLineEdit *txtInterval;
    ARButton *cmdOK;
    ARButton *cmdCancel;

    std::uint8_t SlideTime = 0;
    bool RandomShow = false;
    QString BaseName;
    std::int16_t LogoShow = 0;
    bool cancelClick = false;
};
