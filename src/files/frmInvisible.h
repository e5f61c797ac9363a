#pragma once

#include "controls/CommonDialog.h"

#include <QWidget>

// Never shown: it owns the file pop-up menu and the printer chooser.
class frmInvisible : public QWidget
{
    Q_OBJECT
public:
    explicit frmInvisible(QWidget *parent = nullptr);

    void Form_Load();
    void Form_Unload();

    CommonDialog CommonDialogPrint;
};
