#include "viewer/ViewerRules.h"

#include "common/Rounding.h"

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
