// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "controls/CommonDialog.h"

#include <QButtonGroup>
#include <QDialog>
#include <QImage>

#include <array>

class DirListBox;
class FileListOps;
class DriveListBox;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

// The gradient preview that doubles as the angle dial: reports the mouse in twips of its inner
// area (Button 1 left, 2 right, 4 middle) and draws the dial's needle while it is shown.
class AnglePicture : public QWidget
{
    Q_OBJECT
public:
    explicit AnglePicture(QWidget *parent = nullptr);

    // Border width in pixels around the inner (drawing) area.
    static constexpr int kBorder = 2;
    [[nodiscard]] QSize innerSize() const;
    // The inner area's size in twips (its scale).
    [[nodiscard]] double ScaleWidth() const;
    [[nodiscard]] double ScaleHeight() const;
    void setTwipsPerPixel(float x, float y);

    // The gradient on the inner area; colours 0x00BBGGRR, angle in degrees.
    void paintPreview(std::int32_t colour1, std::int32_t colour2, int angle);
    [[nodiscard]] const QImage &preview() const { return m_preview; }

    // The needle: from its designed start to an end in twips; shown only while the dial is turned.
    void setNeedle(QPointF startTwips, QPointF endTwips);
    void setNeedleVisible(bool visible);
    [[nodiscard]] bool needleVisible() const { return m_needleVisible; }

signals:
    void MouseDown(int Button, float X, float Y);
    void MouseMove(int Button, float X, float Y);
    void MouseUp(int Button, float X, float Y);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    [[nodiscard]] QPointF toTwips(QPointF pixels) const;
    [[nodiscard]] QPointF toPixels(QPointF twips) const;

    QImage m_preview;
    float m_twipsX = 15;
    float m_twipsY = 15;
    QPointF m_needleStart;
    QPointF m_needleEnd;
    bool m_needleVisible = false;
};

// Edits the registered folders, the slide show, the colours and the screen saver. Modal; OK and
// Cancel hide it and it stays loaded. Folder additions and removals are stored at once; the rest
// is stored by OK.
class frmSettings : public QDialog
{
    Q_OBJECT
public:
    // The folder box of `list` follows the folders added and removed here.
    explicit frmSettings(FileListOps &list, QWidget *parent = nullptr);

    void Form_Load();
    void Form_Unload();
    // Shows the dialog modally without a loop of its own; Closed follows OK or Cancel, with
    // SettingsChanged and GradientChanged set.
    void showModal();

    // Activation: the dialog's controls from the settings in memory.
    void Form_Activate();

    void Drive1_Change();
    void cmdAddFolder_Click();
    void cmdRemoveFolder_Click();
    void cmdCreate_Click();
    void cmdScreenSaver_Click();
    void cmdBackColor1_Click();
    void cmdBackColor2_Click();
    void cmdFontColor_Click();
    void Option1_Click(int Index);
    // Marks the preset of that angle, or none when it is not one of the eight.
    void markPreset(int angle);
    void picAngle_MouseDown(int Button, float X, float Y);
    void picAngle_MouseMove(int Button, float X, float Y);
    void picAngle_MouseUp(int Button, float X, float Y);
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();
    void UpdateAnglePreview();

    // What tests and the bench look at.
    [[nodiscard]] QString angleCaption() const;
    [[nodiscard]] QStringList folderNames() const;
    [[nodiscard]] QString browserPath() const;
    [[nodiscard]] bool browserBusy() const;
    [[nodiscard]] const AnglePicture *anglePicture() const { return picAngle; }

signals:
    void Closed();

public slots:
    void reject() override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void placeControls();
    // The list order as stored, in its two controls.
    void showStoredSortOrder();
    void setSample(QFrame *sample, std::int32_t colour);
    void turnDial(int Button, float X, float Y);
    void close(bool accepted);

    FileListOps &m_list;

    QGroupBox *Frame2;
    DriveListBox *Drive1;
    DirListBox *Dir1;
    QPushButton *cmdCreate;
    QPushButton *cmdAddFolder;
    QPushButton *cmdRemoveFolder;
    QListWidget *List1;
    QGroupBox *fraShowMode;
    QRadioButton *optNormal;
    QRadioButton *optRandom;
    QLabel *lblInterval;
    QLineEdit *txtInterval;
    QPushButton *cmdScreenSaver;
    QCheckBox *chkLogoShow;
    // The order of the file list.
    QLabel *lblSort;
    QComboBox *cmbSort;
    QCheckBox *chkDescending;
    QCheckBox *chkAllPictures;
    QPushButton *cmdFontColor;
    QFrame *shpColorFont;
    QLabel *Label1;
    AnglePicture *picAngle;
    std::array<QRadioButton *, 8> Option1{};
    // The presets are one choice of their own, apart from the show-order buttons.
    QButtonGroup *m_presets = nullptr;
    QPushButton *cmdBackColor1;
    QFrame *shpColor1;
    QPushButton *cmdBackColor2;
    QFrame *shpColor2;
    QLabel *Label2;
    QLabel *lblAngle;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;
    QPushButton *cmdHelp;
    CommonDialog CommonDialog1; // colour 1
    CommonDialog CommonDialog2; // text colour
    CommonDialog CommonDialog3; // colour 2
};
