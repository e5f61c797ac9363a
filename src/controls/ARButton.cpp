// SPDX-License-Identifier: GPL-2.0-or-later
#include "controls/ARButton.h"

#include "common/ScreenMetrics.h"
#include "common/StoredValues.h"

#include <QMouseEvent>
#include <QPainter>

ARButton::ARButton(QWidget *parent)
    : QAbstractButton(parent)
{
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAcceptDrops(true);
    // Click is emitted by hand on a left release; the keyboard (Space) still clicks through clicked().
    connect(this, &QAbstractButton::clicked, this, &ARButton::Click);
}

void ARButton::setCaption(const QString &caption)
{
    m_caption = caption;
    setAccessibleName(caption);
    update();
}

QString ARButton::displayText() const
{
    QString shown;
    for (qsizetype i = 0; i < m_caption.size(); ++i) {
        if (m_caption.at(i) == QLatin1Char('&') && i + 1 < m_caption.size()) {
            ++i;
        } else if (m_caption.at(i) == QLatin1Char('&')) {
            continue;
        }
        shown += m_caption.at(i);
    }
    return shown;
}

void ARButton::setForeColor(std::int32_t colour)
{
    m_foreColor = colour;
    update();
}

void ARButton::setForeColorOnMouse(std::int32_t colour)
{
    m_foreColorOnMouse = colour;
    update();
}

void ARButton::setForeColorOnFocus(std::int32_t colour)
{
    m_foreColorOnFocus = colour;
    update();
}

void ARButton::setBackColor(std::int32_t colour)
{
    m_backColor = colour;
    update();
}

void ARButton::setBackColorOnMouse(std::int32_t colour)
{
    m_backColorOnMouse = colour;
    update();
}

void ARButton::setBorderColor(std::int32_t colour)
{
    m_borderColor = colour;
    update();
}

void ARButton::setFontBold(bool bold)
{
    QFont f = font();
    f.setBold(bold);
    setFont(f);
    update();
}

void ARButton::setDisplayState(int state)
{
    m_displayState = state;
    update();
}

void ARButton::setPictures(const QPixmap &normal, const QPixmap &down, const QPixmap &on)
{
    m_picture = normal;
    m_pictureDown = down;
    m_pictureOn = on;
    update();
}

void ARButton::setTwipsPerPixel(float x, float y)
{
    m_twipsX = x;
    m_twipsY = y;
}

float ARButton::twipsX(qreal px) const
{
    const float tpp = m_twipsX > 0 ? m_twipsX : ScreenTwipsPerPixelX();
    return static_cast<float>(px) * tpp;
}

float ARButton::twipsY(qreal px) const
{
    const float tpp = m_twipsY > 0 ? m_twipsY : ScreenTwipsPerPixelY();
    return static_cast<float>(px) * tpp;
}

int ARButton::buttonCode(Qt::MouseButtons buttons)
{
    int code = 0;
    if (buttons & Qt::LeftButton) {
        code |= 1;
    }
    if (buttons & Qt::RightButton) {
        code |= 2;
    }
    if (buttons & Qt::MiddleButton) {
        code |= 4;
    }
    return code;
}

int ARButton::shiftCode(Qt::KeyboardModifiers modifiers)
{
    int code = 0;
    if (modifiers & Qt::ShiftModifier) {
        code |= 1;
    }
    if (modifiers & Qt::ControlModifier) {
        code |= 2;
    }
    if (modifiers & Qt::AltModifier) {
        code |= 4;
    }
    return code;
}

void ARButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QPalette &pal = palette();
    const bool pressed = isDown();
    const bool over = m_hovered || m_displayState == 2;
    p.fillRect(rect(), ColourFromValue(over ? m_backColorOnMouse : m_backColor, pal));

    const QPixmap &art = pressed && !m_pictureDown.isNull() ? m_pictureDown
                         : over && !m_pictureOn.isNull()    ? m_pictureOn
                                                            : m_picture;
    if (!art.isNull()) {
        p.drawPixmap(rect(), art);
    } else {
        // Raised edge, sunken while pressed or highlighted.
        const bool sunken = pressed || m_displayState == 2;
        p.setPen(sunken ? pal.color(QPalette::Dark) : QColor(Qt::white));
        p.drawLine(0, 0, width() - 1, 0);
        p.drawLine(0, 0, 0, height() - 1);
        p.setPen(sunken ? QColor(Qt::white) : ColourFromValue(m_borderColor, pal));
        p.drawLine(0, height() - 1, width() - 1, height() - 1);
        p.drawLine(width() - 1, 0, width() - 1, height() - 1);
    }

    std::int32_t text = m_foreColor;
    if (hasFocus()) {
        text = m_foreColorOnFocus;
    }
    if (m_hovered) {
        text = m_foreColorOnMouse;
    }
    p.setPen(ColourFromValue(text, pal));
    p.setFont(font());
    QRect textRect = rect();
    if (pressed) {
        textRect.translate(1, 1);
    }
    // A skin carries its own glyph where the caption would not fit the button.
    if (!art.isNull() && p.fontMetrics().horizontalAdvance(displayText()) > width()) {
        return;
    }
    // Captions mark an access key with "&" and show a literal one as "&&" (folder names).
    p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, m_caption);
    if (m_showFocus && hasFocus()) {
        p.setPen(QPen(ColourFromValue(m_foreColorOnFocus, pal), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

void ARButton::mousePressEvent(QMouseEvent *event)
{
    emit MouseDown(buttonCode(event->button()), shiftCode(event->modifiers()), twipsX(event->position().x()),
                   twipsY(event->position().y()));
    if (m_clickButton == Qt::NoButton) {
        m_clickButton = event->button();
    }
    if (event->button() == Qt::LeftButton) {
        setDown(true);
        if (focusPolicy() & Qt::ClickFocus) {
            setFocus(Qt::MouseFocusReason);
        }
    }
    event->accept();
}

void ARButton::mouseReleaseEvent(QMouseEvent *event)
{
    const bool leftRelease = event->button() == Qt::LeftButton;
    const bool wasDown = isDown();
    if (leftRelease) {
        setDown(false);
    }
    const bool clickButton = event->button() == m_clickButton;
    if (clickButton) {
        m_clickButton = Qt::NoButton;
    }
    emit MouseUp(buttonCode(event->button()), shiftCode(event->modifiers()), twipsX(event->position().x()),
                 twipsY(event->position().y()));
    // Whichever button made the press: the windows' MouseUp handlers mark a release that is not
    // the left button's, and the Click that follows only clears that mark.
    if (clickButton && (wasDown || !leftRelease) && rect().contains(event->position().toPoint())) {
        emit Click();
    }
    event->accept();
}

void ARButton::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton) {
        setDown(rect().contains(event->position().toPoint()));
    }
    emit MouseMove(buttonCode(event->buttons()), shiftCode(event->modifiers()), twipsX(event->position().x()),
                   twipsY(event->position().y()));
    event->accept();
}

void ARButton::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void ARButton::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void ARButton::dragEnterEvent(QDragEnterEvent *event)
{
    // Only the program's own drags: files dragged in from elsewhere are not filed.
    if (event->source() == nullptr) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit DragOver(event->source(), twipsX(event->position().x()), twipsY(event->position().y()), 0);
}

void ARButton::dragMoveEvent(QDragMoveEvent *event)
{
    event->acceptProposedAction();
    emit DragOver(event->source(), twipsX(event->position().x()), twipsY(event->position().y()), 2);
}

void ARButton::dragLeaveEvent(QDragLeaveEvent *)
{
    emit DragOver(nullptr, 0, 0, 1);
}

void ARButton::dropEvent(QDropEvent *event)
{
    event->acceptProposedAction();
    emit DragDrop(event->source(), twipsX(event->position().x()), twipsY(event->position().y()));
}
