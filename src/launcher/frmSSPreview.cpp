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
    imgPreview->setPixmap(QPixmap(QStringLiteral(":/bitmaps/preview.png")));
    imgPreview->resize(150, 100);
    resize(150, 100);
}

void frmSSPreview::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    imgPreview->move((width() - imgPreview->width()) / 2, (height() - imgPreview->height()) / 2);
}
