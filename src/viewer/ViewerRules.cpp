// SPDX-License-Identifier: GPL-2.0-or-later
#include "viewer/ViewerRules.h"

#include "common/KeyCodes.h"
#include "common/Rounding.h"

#include <algorithm>

FittedPicture FitPicture(QSize picture, float screenW, float screenH, bool slideShow)
{
    const double picW = picture.width();
    const double picH = picture.height();
    const double maxW = slideShow ? screenW : screenW - 190.0;
    const double base = slideShow ? 0.0 : 180.0;
    double w = picW;
    double h = picH;
    if (picW > maxW && picW > 0) {
        w = maxW;
        h = maxW / picW * picH;
    }
    const double w1 = RoundHalfEven(w);
    const double h1 = RoundHalfEven(h);
    if (h1 > screenH && h1 > 0) {
        h = screenH;
        w = screenH / h1 * w1;
    }
    FittedPicture fit;
    fit.rect =
        QRect(static_cast<int>(RoundToInt((maxW - w) / 2 + base)), static_cast<int>(RoundToInt((screenH - h) / 2)),
              static_cast<int>(RoundToInt(w)), static_cast<int>(RoundToInt(h)));
    // The test uses 170 while the fit uses 190: a picture a few pixels too wide for the margins
    // is reduced slightly but is not worth magnifying.
    const bool magnifies = picH > screenH || picW > screenW || picW > screenW - 170.0;
    fit.shownFullSize = !magnifies;
    fit.cursor = magnifies ? QStringLiteral("MAGNIFIER") : QStringLiteral("NORMAL");
    return fit;
}

QString UnreadableText(const QString &fileName, qint64 bytes)
{
    return QStringLiteral("'") + fileName + QStringLiteral("' is not in a recognised picture format. (") +
           QString::number(bytes) + QStringLiteral(" bytes)");
}

int UnreadableLeft(int labelWidth, float screenW, bool slideShow)
{
    const double left = (screenW - labelWidth) / 2.0 + (slideShow ? 0.0 : 85.0);
    return static_cast<int>(RoundToInt(left));
}

namespace {

int range(double overhang)
{
    const auto r = static_cast<int>(RoundToInt(overhang));
    return r < 4 ? 4 : r;
}

int pageOf(int range)
{
    return static_cast<int>(RoundToInt(range / 4.0));
}

} // namespace

MagnifiedPicture MagnifyPicture(QSize natural, QSize fitted, QPointF clickPx, float screenW, float screenH, int VW,
                                int HH)
{
    const double SW = screenW;
    const double SH = screenH;
    const double NW = natural.width();
    const double NH = natural.height();
    const double W0 = fitted.width() > 0 ? fitted.width() : 1;
    const double H0 = fitted.height() > 0 ? fitted.height() : 1;
    double left = (85 + SW / 2) - (clickPx.x() / W0) * NW;
    double top = SH / 2 - (clickPx.y() / H0) * NH;
    const double availW = SW - 170;

    if (NW <= availW) {
        left = NH > SH ? 170 + (availW - VW - NW) / 2 : 170 + (availW - NW) / 2;
    } else if (left > 170) {
        left = 170;
    } else if (left < 170 && left + NW < SW) {
        left = SW - NW;
    }
    if (NH <= SH) {
        top = NW > availW ? (SH - HH - NH) / 2 : (SH - NH) / 2;
    } else if (top > 0) {
        top = 0;
    } else if (top < 0 && top + NH < SH) {
        top = SH - NH;
    }

    MagnifiedPicture m;
    m.picture =
        QRect(static_cast<int>(RoundToInt(left)), static_cast<int>(RoundToInt(top)), natural.width(), natural.height());
    const int sw = static_cast<int>(RoundToInt(SW));
    const int sh = static_cast<int>(RoundToInt(SH));
    const int aw = static_cast<int>(RoundToInt(availW));
    if (NW < availW - VW && NH > SH) {
        m.vertical = true;
        m.vMax = range(NH - SH);
        m.vScroll = QRect(m.picture.left() + natural.width(), 0, VW, sh);
    } else if (NH < SH - HH && NW > availW) {
        m.horizontal = true;
        m.hMax = range(NW - availW);
        m.hScroll = QRect(170, m.picture.top() + natural.height(), aw, HH);
    } else {
        m.vertical = m.horizontal = m.corner = true;
        m.vMax = range(NH - SH + HH);
        m.hMax = range(NW - availW + VW);
        m.vScroll = QRect(sw - VW, 0, VW, sh - HH);
        m.hScroll = QRect(170, sh - HH, aw - VW, HH);
        m.cornerRect = QRect(sw - VW, sh - HH, VW, HH);
    }
    m.vPage = pageOf(m.vMax);
    m.hPage = pageOf(m.hMax);
    m.vValue = std::clamp(-m.picture.top(), 0, m.vMax);
    m.hValue = std::clamp(170 - m.picture.left(), 0, m.hMax);
    return m;
}

QPoint PannedPosition(int hValue, int vValue, const MagnifiedPicture &view)
{
    return QPoint(view.horizontal ? 170 - hValue : view.picture.left(), view.vertical ? -vValue : view.picture.top());
}

ViewerKeyAction ViewerKeyActionOf(int keyCode, int shift, bool slideShowOn, bool manualShow, bool screenSaverRun)
{
    if (!slideShowOn) {
        // The logo of a screen-saver run: no key may touch a file from behind the screen saver.
        if (screenSaverRun) {
            return {};
        }
        if (keyCode == vbKeyF1) {
            return {ViewerKey::Help};
        }
        if (keyCode == vbKeyDelete) {
            return {ViewerKey::Delete};
        }
        if (keyCode == vbKeyP && shift == vbAltMask) {
            return {ViewerKey::Print};
        }
        if (keyCode == vbKeyR && shift == vbAltMask) {
            return {ViewerKey::Refresh};
        }
        if (keyCode == vbKeyZ && shift == vbCtrlMask) {
            return {ViewerKey::Undo};
        }
        if (keyCode == vbKeyR && shift == vbCtrlMask) {
            return {ViewerKey::RotateRight};
        }
        if (keyCode == vbKeyL && shift == vbCtrlMask) {
            return {ViewerKey::RotateLeft};
        }
        if (keyCode == vbKeyI && shift == vbCtrlMask) {
            return {ViewerKey::Information};
        }
        // + on the keypad or the main keys (with or without Shift).
        if ((keyCode == vbKeyAdd || keyCode == vbKeyPlus) && (shift & ~vbShiftMask) == 0) {
            return {ViewerKey::ZoomIn};
        }
        if ((keyCode == vbKeySubtract || keyCode == vbKeyMinus) && shift == 0) {
            return {ViewerKey::ZoomOut};
        }
        // Alt+1 to Alt+6 file the selection into folder button 1 to 6; with Ctrl too, a copy.
        if (keyCode >= vbKey1 && keyCode <= vbKey6 && (shift == vbAltMask || shift == (vbAltMask | vbCtrlMask))) {
            return {shift == vbAltMask ? ViewerKey::FileToFolder : ViewerKey::CopyToFolder, keyCode - vbKey1};
        }
        return {};
    }
    if (manualShow && (keyCode == vbKeyLeft || keyCode == vbKeyRight)) {
        return {ViewerKey::SlideByHand, keyCode};
    }
    if (screenSaverRun) {
        return {ViewerKey::EndScreenSaver};
    }
    // An event that carries no key (text from an input method) is no key press.
    if (keyCode == 0) {
        return {};
    }
    return {ViewerKey::StopShow};
}
