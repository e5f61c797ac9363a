// SPDX-License-Identifier: GPL-2.0-or-later
#include "launcher/frmSSPreview.h"

#include <QLabel>
#include <QPalette>
#include <QPixmap>

frmSSPreview::frmSSPreview(QWidget *parent)
    : QWidget(parent, Qt::FramelessWindowHint)
    , imgPreview(new QLabel(this))
{
    setObjectName(QStringLiteral("frmSSPreview"));
    setWindowTitle(QStringLiteral("Preview"));
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    setAutoFillBackground(true);
    m_picture = QPixmap(QStringLiteral(":/bitmaps/preview.png"));
    imgPreview->setPixmap(m_picture);
    imgPreview->resize(m_picture.size());
    resize(m_picture.size());
}

QRect frmSSPreview::pictureRect() const
{
    return imgPreview->geometry();
}

void frmSSPreview::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The picture fills the preview window whatever its size, in its own proportions, on black.
    const QSize fitted = m_picture.size().scaled(size(), Qt::KeepAspectRatio);
    if (fitted.isEmpty()) {
        return;
    }
    if (fitted != imgPreview->size()) {
        imgPreview->setPixmap(fitted == m_picture.size()
                                  ? m_picture
                                  : m_picture.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        imgPreview->resize(fitted);
    }
    imgPreview->move((width() - fitted.width()) / 2, (height() - fitted.height()) / 2);
}
