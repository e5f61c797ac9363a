// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QAbstractButton>
#include <QPixmap>

#include <cstdint>

// The program's push button: its own colours for the normal, pointer-over and focused states,
// three pictures, a highlighted display state, and events that report the mouse the way every
// window's handlers expect it: Button 1 left, 2 right, 4 middle; Shift mask 1 Shift, 2 Ctrl,
// 4 Alt; X and Y in twips from the button's top-left corner. Click follows MouseUp when the button
// that pressed is released over the control, whichever mouse button it is (the windows cancel the
// command of a right or middle click in their MouseUp handlers).
class ARButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit ARButton(QWidget *parent = nullptr);

    // Colours are 0x00BBGGRR values (system colours from 0x80000000).
    void setCaption(const QString &caption);
    [[nodiscard]] QString caption() const { return m_caption; }
    // The caption as shown: "&&" is one "&", a single "&" marks the access key and is not shown.
    [[nodiscard]] QString displayText() const;
    void setForeColor(std::int32_t colour);
    void setForeColorOnMouse(std::int32_t colour);
    void setForeColorOnFocus(std::int32_t colour);
    void setBackColor(std::int32_t colour);
    void setBackColorOnMouse(std::int32_t colour);
    void setBorderColor(std::int32_t colour);
    [[nodiscard]] std::int32_t foreColor() const { return m_foreColor; }
    void setFontBold(bool bold);
    [[nodiscard]] bool fontBold() const { return font().bold(); }
    // 0 normal, 2 highlighted (a folder button being dragged over).
    void setDisplayState(int state);
    [[nodiscard]] int displayState() const { return m_displayState; }
    void setPictures(const QPixmap &normal, const QPixmap &down, const QPixmap &on);
    void setShowFocus(bool show) { m_showFocus = show; }

    // Twips per pixel used for X and Y; the program's screen metrics unless set.
    void setTwipsPerPixel(float x, float y);

    [[nodiscard]] static int buttonCode(Qt::MouseButtons buttons);
    [[nodiscard]] static int shiftCode(Qt::KeyboardModifiers modifiers);

signals:
    void Click();
    void MouseDown(int Button, int Shift, float X, float Y);
    void MouseUp(int Button, int Shift, float X, float Y);
    void MouseMove(int Button, int Shift, float X, float Y);
    // State: 0 entering, 1 leaving, 2 moving over.
    void DragOver(QObject *Source, float X, float Y, int State);
    void DragDrop(QObject *Source, float X, float Y);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    [[nodiscard]] float twipsX(qreal px) const;
    [[nodiscard]] float twipsY(qreal px) const;

    QString m_caption;
    std::int32_t m_foreColor = 0;
    std::int32_t m_foreColorOnMouse = 0;
    std::int32_t m_foreColorOnFocus = 0;
    std::int32_t m_backColor = 0xC0C0C0;
    std::int32_t m_backColorOnMouse = 0xC0C0C0;
    std::int32_t m_borderColor = 0x808080;
    int m_displayState = 0;
    QPixmap m_picture;
    QPixmap m_pictureDown;
    QPixmap m_pictureOn;
    bool m_showFocus = true;
    bool m_hovered = false;
    Qt::MouseButton m_clickButton = Qt::NoButton;
    float m_twipsX = 0;
    float m_twipsY = 0;
};
