// SPDX-License-Identifier: GPL-2.0-or-later
#include "panel/FlatComboBox.h"

#include <QApplication>
#include <QPainter>
#include <QPolygon>
#include <qdrawutil.h>

#include <algorithm>

namespace {
constexpr int kFrame = 2;       // pixels of the sunken frame
constexpr int kArrowWidth = 16; // the width of a vertical scroll bar's arrow
} // namespace

FlatComboBox::FlatComboBox(QWidget *parent)
    : QComboBox(parent)
{}

QRect FlatComboBox::arrowRect() const
{
    const QRect inside = rect().adjusted(kFrame, kFrame, -kFrame, -kFrame);
    const int width = std::min(kArrowWidth, std::max(0, inside.width()));
    return QRect(inside.right() - width + 1, inside.top(), width, inside.height());
}

QRect FlatComboBox::fieldRect() const
{
    const QRect inside = rect().adjusted(kFrame, kFrame, -kFrame, -kFrame);
    return inside.adjusted(0, 0, -arrowRect().width(), 0);
}

void FlatComboBox::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QPalette own = palette();
    const QPalette system = QApplication::palette();
    qDrawWinPanel(&p, rect(), system, true);
    const QRect field = fieldRect();
    p.fillRect(field, own.color(QPalette::Base));

    const QRect arrow = arrowRect();
    const QBrush face = system.brush(QPalette::Button);
    qDrawWinButton(&p, arrow, system, false, &face);
    const QPoint c = arrow.center() + QPoint(arrow.width() % 2 == 0 ? 1 : 0, 1);
    const QPolygon triangle({c + QPoint(-3, -2), c + QPoint(3, -2), c + QPoint(0, 1)});
    p.setPen(isEnabled() ? system.color(QPalette::ButtonText) : system.color(QPalette::Dark));
    p.setBrush(p.pen().color());
    p.drawPolygon(triangle);

    const QRect textArea = field.adjusted(2, 0, -1, 0);
    p.setPen(own.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    p.setFont(font());
    p.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter,
               fontMetrics().elidedText(currentText(), Qt::ElideRight, textArea.width()));
    if (hasFocus()) {
        QPen dotted(own.color(QPalette::Text), 1, Qt::DotLine);
        p.setPen(dotted);
        p.setBrush(Qt::NoBrush);
        p.drawRect(field.adjusted(1, 1, -2, -2));
    }
}
