#pragma once

#include "controls/CommonDialog.h"
#include "panel/PanelLayout.h"

#include <QWidget>

#include <array>

class ARButton;
class QComboBox;
class QLabel;
class QListWidget;
class QLineEdit;

// The browser panel: a 170-pixel column at the screen's top-left corner, owned by the viewer so it
// stays above it and leaves the screen with it.
class frmSide : public QWidget
{
    Q_OBJECT
public:
    explicit frmSide(QWidget *parent = nullptr);

    void Form_Load();
    void Form_Unload();

    // Command buttons, public because other windows and the screen-saver run call them.
    void cmdQuit_Click();
    void cmdMinimize_Click();
    void cmdHelp_Click();
    void cmdSlide_Click();

    // Places the panel at the screen's corner, owned by the viewer.
    void showOwnedBy(QWidget *owner);

    [[nodiscard]] const PanelLayout &layoutInUse() const { return m_layout; }

    ARButton *cmdQuit;
    ARButton *cmdSettings;
    ARButton *cmdThumb;
    ARButton *cmdHelp;
    ARButton *cmdMinimize;
    ARButton *cmdSlide;
    std::array<ARButton *, 6> cmdFolder{};
    QComboBox *cmbFolders;
    QListWidget *File1;
    QListWidget *lstFolders;
    QLineEdit *txtUnavailable;
    QLabel *imgLogo;
    QLabel *imgFileCounter;
    QLabel *lblFileCounter;
    QLabel *imgHand;
    QLabel *Label1;
    QLabel *lblKB;
    CommonDialog cdlHelp;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // A release with any mouse button but the left one cancels the click that follows.
    void commandButton_MouseUp(int Button);
    void applyLayout();

    PanelLayout m_layout;
};
