// SPDX-License-Identifier: GPL-2.0-or-later
#include "controls/PictureImage.h"

#include "common/ScreenMetrics.h"
#include "controls/ARButton.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

PictureImage::PictureImage(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PictureImage::setPicture(const QImage &image)
{
    m_image = image;
    // A picture with no transparency covers the control whole: what lies behind it need not be
    // painted first, which is most of the cost of showing the next picture of a folder.
    setAttribute(Qt::WA_OpaquePaintEvent, !m_image.isNull() && !m_image.hasAlphaChannel());
    update();
}

void PictureImage::paintEvent(QPaintEvent *event)
{
    if (m_image.isNull()) {
        return;
    }
    QPainter p(this);
    if (m_image.size() == size()) {
        // At natural size only the exposed part is copied (a full-size picture may be huge).
        p.drawImage(event->rect(), m_image, event->rect());
        p.end();
        emit painted();
        return;
    }
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(rect(), m_image);
    p.end();
    emit painted();
}

void PictureImage::mousePressEvent(QMouseEvent *event)
{
    const float tx = ScreenTwipsPerPixelX();
    const float ty = ScreenTwipsPerPixelY();
    m_pressed = event->button() == Qt::LeftButton;
    if (m_clickOnAnyButton && event->button() != Qt::LeftButton && m_otherPressed == Qt::NoButton) {
        m_otherPressed = event->button();
    }
    m_pressedAt = event->position().toPoint();
    emit MouseDown(ARButton::buttonCode(event->button()), ARButton::shiftCode(event->modifiers()),
                   static_cast<float>(event->position().x()) * tx, static_cast<float>(event->position().y()) * ty);
}

void PictureImage::mouseReleaseEvent(QMouseEvent *event)
{
    emit MouseUp(ARButton::buttonCode(event->button()), ARButton::shiftCode(event->modifiers()),
                 static_cast<float>(event->position().x()) * ScreenTwipsPerPixelX(),
                 static_cast<float>(event->position().y()) * ScreenTwipsPerPixelY());
    const bool otherClick = event->button() != Qt::LeftButton && event->button() == m_otherPressed;
    if (otherClick) {
        m_otherPressed = Qt::NoButton;
    }
    const bool leftClick = m_pressed && event->button() == Qt::LeftButton;
    if ((leftClick || otherClick) && rect().contains(event->position().toPoint())) {
        emit Click();
    }
    m_pressed = false;
}

void PictureImage::mouseMoveEvent(QMouseEvent *event)
{
    // A hand that shakes a pixel while clicking is still clicking: the left button's moves count
    // once the pointer has gone the system's drag distance.
    if (m_pressed && (event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - m_pressedAt).manhattanLength() < QApplication::startDragDistance()) {
        return;
    }
    m_pressed = m_pressed && !(event->buttons() & Qt::LeftButton);
    emit MouseMove(ARButton::buttonCode(event->buttons()), ARButton::shiftCode(event->modifiers()),
                   static_cast<float>(event->position().x()) * ScreenTwipsPerPixelX(),
                   static_cast<float>(event->position().y()) * ScreenTwipsPerPixelY());
}

void PictureImage::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        emit DblClick();
        return;
    }
    mousePressEvent(event);
}
