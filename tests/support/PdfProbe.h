// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QImage>
#include <QList>
#include <QProcess>
#include <QRect>
#include <QSize>
#include <QStandardPaths>
#include <QString>

// Reads a PDF back with poppler's tools: the pixel size of each embedded image, the page count,
// and where ink lies on a page rendered at 72 dots per inch (one pixel per point).
namespace PdfProbe {

inline bool available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

inline QByteArray output(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        return {};
    }
    return p.readAllStandardOutput();
}

// Images (not their soft masks) in the order the PDF lists them.
inline QList<QSize> imageSizes(const QString &pdf)
{
    QList<QSize> sizes;
    const QByteArray listing = output(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    if (listing.isEmpty()) {
        return {QSize(-1, -1)}; // unreadable: never equal to what a test expects
    }
    const QList<QByteArray> lines = listing.split('\n');
    for (qsizetype i = 2; i < lines.size(); ++i) { // two lines of column headings
        const QList<QByteArray> f = lines[i].simplified().split(' ');
        if (f.size() > 4 && f[2] == "image") {
            sizes << QSize(f[3].toInt(), f[4].toInt());
        }
    }
    return sizes;
}

// A field of pdfinfo's report ("Title", "Page size"), trimmed; empty when there is none.
inline QByteArray infoField(const QString &pdf, const QByteArray &field)
{
    for (const QByteArray &line : output(QStringLiteral("pdfinfo"), {pdf}).split('\n')) {
        if (line.startsWith(field + ':')) {
            return line.mid(field.size() + 1).trimmed();
        }
    }
    return {};
}

inline int pageCount(const QString &pdf)
{
    for (const QByteArray &line : output(QStringLiteral("pdfinfo"), {pdf}).split('\n')) {
        if (line.startsWith("Pages:")) {
            return line.mid(6).trimmed().toInt();
        }
    }
    return 0;
}

inline QImage page(const QString &pdf, const QString &pngBase)
{
    output(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-png"),
                                        QStringLiteral("-singlefile"), pdf, pngBase});
    return QImage(pngBase + QStringLiteral(".png"));
}

// The bounding box of every pixel that is not white.
inline QRect inkBox(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (qRed(c) < 235 || qGreen(c) < 235 || qBlue(c) < 235) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

} // namespace PdfProbe
