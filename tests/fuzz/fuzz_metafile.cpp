// SPDX-License-Identifier: GPL-2.0-or-later
// Metafiles (WMF or EMF, as VV_FUZZ_KIND says) through the converter the helper process runs,
// then the SVG it makes through the renderer the viewer uses.
#include "common/picture/MetafileFormat.h"
#include "common/picture/MetafileToSvg.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    // Fonts are loaded and cached once per process; render text once so that cache is not taken
    // for a leak of the first input.
    QSvgRenderer renderer(QByteArrayLiteral("<svg xmlns='http://www.w3.org/2000/svg' width='8' height='8'>"
                                            "<text x='0' y='8' font-family='Liberation Sans'>Aa</text></svg>"));
    QImage image(8, 8, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    renderer.render(&painter);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    (void)ParseMetafileHeader(data, size);
    const auto svg = MetafileToSvg(MetafileKind::VV_FUZZ_KIND, data, size);
    if (!svg || svg->size() > (4u << 20)) {
        return 0;
    }
    QSvgRenderer renderer(QByteArray::fromStdString(*svg));
    if (renderer.isValid()) {
        QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
    }
    return 0;
}
