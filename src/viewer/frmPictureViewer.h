#pragma once

#include <QWidget>

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

protected:
    void changeEvent(QEvent *event) override;
};
