#pragma once

#include <QSize>
#include <QWidget>

class PictureImage;
class QLabel;

// The main window: borderless, covering the whole screen, behind the browser panel. Its load
// reads the stored settings into the shared state and shows the panel; its unload saves the
// current folder and the six folder-button captions.
class frmPictureViewer : public QWidget
{
    Q_OBJECT
public:
    explicit frmPictureViewer(QWidget *parent = nullptr);

    void Form_Load();
    void Form_Unload();

    // Shown maximised, raised and active (a second start of the program asks for this).
    void showActivated();

    // The fitted view of CurrentFile. False when it cannot be loaded; the caller decides what
    // that means (not a picture, or gone).
    bool showCurrentPicture(QSize *naturalSize = nullptr);
    // The notice that the file at CurrentFile is not a picture, named as the list shows it.
    void showUnreadable(const QString &displayName);
    void hideError();
    void hidePicture();

    // The viewer's keys (the panel passes its keys here too). KeyCode is a virtual-key code,
    // Shift the modifier mask.
    void Form_KeyDown(int KeyCode, int Shift);

    void Image1_Click();

    PictureImage *Image1;
    QLabel *lblError;

protected:
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};
