// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QWidget>

// Covers the start of a screen-saver run, above every other window, while the viewer loads.
class frmLoading : public QWidget
{
    Q_OBJECT
public:
    explicit frmLoading(QWidget *parent = nullptr);

    void Form_Load();
    void Form_Unload();
    // Shown modeless, without owner, above all other windows.
    void showTopmost();

protected:
    void paintEvent(QPaintEvent *event) override;
};
