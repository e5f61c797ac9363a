// SPDX-License-Identifier: GPL-2.0-or-later
#include "viewer/frmLoading.h"

#include "common/ScreenMetrics.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/Utilities.h"

#include <QPainter>

namespace {
// Design client size in twips (200 x 50 pixels at 15 twips per pixel).
constexpr double kWidthTwips = 3000;
constexpr double kHeightTwips = 750;
} // namespace

frmLoading::frmLoading(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmLoading"));
    setWindowTitle(AppName);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
}

void frmLoading::Form_Load()
{
    const QRect where = CentredDesignRect(kWidthTwips, kHeightTwips, State());
    setFixedSize(where.size());
    move(where.topLeft());
}

void frmLoading::Form_Unload() {}

void frmLoading::showTopmost()
{
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    show();
    raise();
}

void frmLoading::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawPixmap(rect(), LoadResPicture(QStringLiteral("LOADING")));
}
