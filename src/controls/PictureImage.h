// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QImage>
#include <QWidget>

// A picture drawn stretched to the control's size with smooth scaling (the fitted view's Image1).
class PictureImage : public QWidget
{
    Q_OBJECT
public:
    explicit PictureImage(QWidget *parent = nullptr);
    void setPicture(const QImage &image);
    [[nodiscard]] const QImage &picture() const { return m_image; }

    // Click after a press and release of any mouse button (the panel's hand), not only the left.
    void setClickOnAnyButton(bool any) { m_clickOnAnyButton = any; }

    // What the owning window records about the control (a thumbnail's selection state).
    QString Tag;

signals:
    void MouseDown(int Button, int Shift, float X, float Y);
    void MouseUp(int Button, int Shift, float X, float Y);
    void MouseMove(int Button, int Shift, float X, float Y);
    void Click();
    void DblClick();
    // After each paint of the picture.
    void painted();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QImage m_image;
    bool m_pressed = false;
    bool m_clickOnAnyButton = false;
    Qt::MouseButton m_otherPressed = Qt::NoButton;
    QPoint m_pressedAt;
};
