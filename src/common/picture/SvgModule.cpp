// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/SvgModule.h"

#include <QPainter>
#include <QSvgRenderer>

namespace {

bool draw(const QByteArray &svg, QImage &image)
{
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        return false;
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(image.size())));
    return true;
}

} // namespace

extern "C" Q_DECL_EXPORT const SvgModule vantrel_svg_module = {kSvgModuleVersion, &draw};
