#include "common/platform/Screen.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

ScreenSpec MeasureScreen()
{
    if (const auto overridden = ParseScreenSpec(qEnvironmentVariable("VANTREL_SCREEN"))) {
        return *overridden;
    }
    ScreenSpec spec;
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        spec.widthPx = 1024;
        spec.heightPx = 768;
        return spec;
    }
    spec.widthPx = screen->geometry().width();
    spec.heightPx = screen->geometry().height();
    const double dpi = screen->logicalDotsPerInchY();
    if (dpi >= 48 && dpi <= 480) {
        // Whole twips per pixel, as the display settings of the design offered (15, 12, ...).
        spec.twipsPerPixel = static_cast<float>(std::round(1440.0 / dpi));
    }
    return spec;
}
