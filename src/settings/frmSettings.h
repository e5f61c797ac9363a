#pragma once

#include <QDialog>

// Edits the registered folders, the slide show, the colours and the screen saver. Modal.
class frmSettings : public QDialog
{
    Q_OBJECT
public:
    explicit frmSettings(QWidget *parent = nullptr);

    void Form_Load();
    void Form_Unload();
};
