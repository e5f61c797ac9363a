// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QPixmap>
#include <QWidget>

class QLabel;

// The picture a screen-saver chooser shows in its small preview window: black, borderless, our
// 150 x 100 preview picture in the middle, made as large as the window allows.
class frmSSPreview : public QWidget
{
    Q_OBJECT
public:
    explicit frmSSPreview(QWidget *parent = nullptr);

    // Where the picture is drawn, in the window's pixels.
    [[nodiscard]] QRect pictureRect() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QLabel *imgPreview;
    QPixmap m_picture;
};
