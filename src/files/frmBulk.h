#pragma once

#include <QDialog>

// Renames the selected files in one run. Modal.
class frmBulk : public QDialog
{
    Q_OBJECT
public:
    explicit frmBulk(QWidget *parent = nullptr);

    void Form_Load();
    void Form_Unload();
};
