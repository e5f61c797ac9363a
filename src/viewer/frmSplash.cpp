// SPDX-License-Identifier: GPL-2.0-or-later
#include "viewer/frmSplash.h"

#include "common/ScreenMetrics.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/Utilities.h"

#include <QPainter>

namespace {
// Design client size in twips (320 x 180 pixels at 15 twips per pixel).
constexpr double kWidthTwips = 4800;
constexpr double kHeightTwips = 2700;
} // namespace

frmSplash::frmSplash(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(AppName);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    setPalette(pal);
    setAutoFillBackground(true);
    Timer1.setInterval(10);
    Timer1.setSingleShot(false);
    connect(&Timer1, &QTimer::timeout, this, &frmSplash::Timer1_Timer);
}

void frmSplash::Form_Load()
{
    const QRect where = CentredDesignRect(kWidthTwips, kHeightTwips, State());
    setFixedSize(where.size());
    move(where.topLeft());
    show();
    Timer1.start();
}

void frmSplash::Form_Unload()
{
    Timer1.stop();
}

void frmSplash::Timer1_Timer()
{
    Timer1.stop();
    emit timeUp();
}

void frmSplash::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawPixmap(rect(), LoadResPicture(QStringLiteral("SPLASH")));
}
