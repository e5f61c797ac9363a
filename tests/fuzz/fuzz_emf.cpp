// EMF files through the converter the helper process runs, then the SVG it makes through the
// renderer the viewer uses.
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
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    (void)ParseMetafileHeader(data, size);
    const auto svg = MetafileToSvg(MetafileKind::Emf, data, size);
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
