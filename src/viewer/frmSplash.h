// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QTimer>
#include <QWidget>

// Covers a normal start: shown at once, then its timer loads the viewer behind it.
class frmSplash : public QWidget
{
    Q_OBJECT
public:
    explicit frmSplash(QWidget *parent = nullptr);

    void Form_Load();
    void Form_Unload();
    void Timer1_Timer();

    QTimer Timer1;

signals:
    // The splash has covered the start long enough: the viewer loads and shows, then the splash
    // goes.
    void timeUp();

protected:
    void paintEvent(QPaintEvent *event) override;
};
