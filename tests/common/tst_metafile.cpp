// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/MetafileFormat.h"
#include "common/picture/MetafileToSvg.h"
#include "common/picture/SeamOutlines.h"
#include "common/picture/WmfToEmf.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QtEndian>

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const unsigned char *bytes(const QByteArray &b)
{
    return reinterpret_cast<const unsigned char *>(b.constData());
}

std::size_t size(const QByteArray &b)
{
    return static_cast<std::size_t>(b.size());
}

// EMF record types in order, as the converter wrote them.
QList<quint32> recordTypes(const std::vector<std::uint8_t> &emf)
{
    QList<quint32> types;
    std::size_t offset = 0;
    while (offset + 8 <= emf.size()) {
        types << qFromLittleEndian<quint32>(emf.data() + offset);
        const auto recordSize = qFromLittleEndian<quint32>(emf.data() + offset + 4);
        if (recordSize < 8) {
            break;
        }
        offset += recordSize;
    }
    return types;
}

} // namespace

class MetafileTest : public QObject
{
    Q_OBJECT

private slots:
    void conversionOfLibreOfficeDrawings_data()
    {
        QTest::addColumn<QString>("path");
        for (const char *name : {"scene-a.wmf", "scene-b.wmf", "scene-a.emf", "scene-b.emf"}) {
            QTest::newRow(name) << QStringLiteral(VV_TEST_DATA "/metafiles/") + QLatin1String(name);
        }
        QTest::newRow("sample wmf") << QStringLiteral(VV_SAMPLES "/shapes.wmf");
        QTest::newRow("sample emf") << QStringLiteral(VV_SAMPLES "/shapes.emf");
    }

    void conversionOfLibreOfficeDrawings()
    {
        QFETCH(QString, path);
        const QByteArray data = readFile(path);
        const auto header = ParseMetafileHeader(bytes(data), size(data));
        QVERIFY(header);
        const auto svg = MetafileToSvg(header->kind, bytes(data), size(data));
        QVERIFY(svg);
        QVERIFY(svg->find("<svg") != std::string::npos);
        if (header->kind == MetafileKind::Wmf) {
            const auto emf = WmfToEmf(bytes(data), size(data));
            QVERIFY(emf);
            QVERIFY(EmfRecordChainIsSound(emf->data(), emf->size()));
            // The EMF keeps the WMF's natural size.
            const auto emfHeader = ParseMetafileHeader(emf->data(), emf->size());
            QCOMPARE(emfHeader->himetricWidth, header->himetricWidth);
            QCOMPARE(emfHeader->himetricHeight, header->himetricHeight);
        }
    }

    void wmfObjectsReuseTheLowestFreeSlot()
    {
        // Three brushes, the second deleted, a fourth created: it takes the second's slot, so a
        // later SelectObject(1) selects it.
        QByteArray body;
        auto record = [&body](quint16 function, std::initializer_list<quint16> params) {
            const quint32 words = 3 + static_cast<quint32>(params.size());
            body.append(reinterpret_cast<const char *>(&words), 4);
            body.append(reinterpret_cast<const char *>(&function), 2);
            for (const quint16 p : params) {
                body.append(reinterpret_cast<const char *>(&p), 2);
            }
        };
        for (int i = 0; i < 3; ++i) {
            record(0x02FC, {0, static_cast<quint16>(0x10 * i), 0, 0});
        }
        record(0x01F0, {1});
        record(0x02FC, {0, 0xFF, 0, 0});
        record(0x012D, {1});
        record(0x012D, {7}); // never created: dropped
        record(0x0000, {});
        QByteArray wmf(22, '\0');
        qToLittleEndian<quint32>(0x9AC6CDD7, wmf.data());
        qToLittleEndian<quint16>(100, wmf.data() + 10);
        qToLittleEndian<quint16>(100, wmf.data() + 12);
        qToLittleEndian<quint16>(96, wmf.data() + 14);
        QByteArray standard(18, '\0');
        qToLittleEndian<quint16>(1, standard.data());
        qToLittleEndian<quint16>(9, standard.data() + 2);
        wmf += standard + body;
        const auto emf = WmfToEmf(bytes(wmf), size(wmf));
        QVERIFY(emf);
        const QList<quint32> types = recordTypes(*emf);
        // header, map mode, window org/ext, viewport org/ext, 3 brushes, delete, brush, select, EOF
        QCOMPARE(types, (QList<quint32>{1, 17, 10, 9, 12, 11, 39, 39, 39, 40, 39, 37, 14}));
        // The fourth brush was created in handle 2 (slot 1), and that is what is selected.
        std::size_t offset = 0;
        QList<quint32> handles;
        while (offset + 12 <= emf->size()) {
            const auto type = qFromLittleEndian<quint32>(emf->data() + offset);
            if (type == 39 || type == 37) {
                handles << qFromLittleEndian<quint32>(emf->data() + offset + 8);
            }
            offset += qFromLittleEndian<quint32>(emf->data() + offset + 4);
        }
        QCOMPARE(handles, (QList<quint32>{1, 2, 3, 2, 2}));
    }

    // A pen-less polygon comes from the converter filled and outlined in its own colour; folded,
    // it is the polygon grown by half the outline, filled, and covers the same pixels.
    void seamOutlinesFoldIntoGrownFills_data()
    {
        QTest::addColumn<QString>("element");
        QTest::addColumn<QString>("expected");
        // Written with ' for " to stay readable.
        const auto svg = [](const char *text) {
            return QString::fromLatin1(text).replace(QLatin1Char('\''), QLatin1Char('"'));
        };
        const QString band = svg("<path d='M 0.0000,0.0000 L 10.0000,0.0000 L 10.0000,3.0000 L 0.0000,3.0000 Z'");
        const QString outline = svg(" stroke-width='1px' stroke='#0B2E6B'  fill='#0B2E6B' />");
        const QString grownBand =
            svg("<path d='M -0.5000,-0.5000 L 10.5000,-0.5000 L 10.5000,3.5000 L -0.5000,3.5000 Z' fill='#0B2E6B' />");
        QTest::newRow("band") << band + outline << grownBand;
        QTest::newRow("band the other way round")
            << svg("<path d='M 0.0000,0.0000 L 0.0000,3.0000 L 10.0000,3.0000 L 10.0000,0.0000 Z'") + outline
            << svg("<path d='M -0.5000,-0.5000 L -0.5000,3.5000 L 10.5000,3.5000 L 10.5000,-0.5000 Z' fill='#0B2E6B' "
                   "/>");
        QTest::newRow("clipped band") << svg("<path  clip-path='url(#clip-7)' d='M 0.0000,0.0000 L 10.0000,0.0000 L "
                                             "10.0000,3.0000 L 0.0000,3.0000 Z'") +
                                             outline
                                      << svg("<path clip-path='url(#clip-7)' d='M -0.5000,-0.5000 L 10.5000,-0.5000 L "
                                             "10.5000,3.5000 L -0.5000,3.5000 Z' fill='#0B2E6B' />");
        QTest::newRow("closing corner repeated, a corner on a straight edge")
            << svg("<path d='M 0.0000,0.0000 L 5.0000,0.0000 L 10.0000,0.0000 L 10.0000,3.0000 L 0.0000,3.0000 L "
                   "0.0000,0.0000 Z'") +
                   outline
            << grownBand;

        // Everything else stays exactly as written.
        const auto kept = [&](const char *name, const QString &element) { QTest::newRow(name) << element << element; };
        kept("pen of another colour", band + svg(" stroke-width='1px' stroke='#000000'  fill='#0B2E6B' />"));
        kept("wider outline", band + svg(" stroke-width='2px' stroke='#0B2E6B'  fill='#0B2E6B' />"));
        kept("round joins",
             band + svg(" stroke-linejoin='round' stroke-width='1px' stroke='#0B2E6B' fill='#0B2E6B' />"));
        kept("open outline", svg("<path d='M 0.0000,0.0000 L 10.0000,0.0000 L 10.0000,3.0000'") + outline);
        kept("curve", svg("<path d='M 0.0000,0.0000 C 1,1 2,2 3,0 L 0.0000,3.0000 Z'") + outline);
        kept("not convex",
             svg("<path d='M 0.0000,0.0000 L 10.0000,0.0000 L 10.0000,3.0000 L 5.0000,1.0000 L 0.0000,3.0000 Z'") +
                 outline);
        kept(
            "five-pointed star in one outline",
            svg("<path d='M 50.0000,0.0000 L 79.0000,90.0000 L 2.0000,35.0000 L 98.0000,35.0000 L 21.0000,90.0000 Z'") +
                outline);
        kept("corner too sharp for a miter",
             svg("<path d='M 0.0000,0.0000 L 100.0000,0.0000 L 0.0000,10.0000 Z'") + outline);
        kept("all in a line", svg("<path d='M 0.0000,0.0000 L 5.0000,0.0000 L 10.0000,0.0000 Z'") + outline);
        kept("not a number", svg("<path d='M 0.0000,0.0000 L nan,0.0000 L 10.0000,3.0000 Z'") + outline);
        kept("garbled", svg("<path d='M 0.0000,0.0000 L 1") + outline);
        kept("unterminated", band + svg(" stroke-width='1px' stroke='#0B2E6B'"));
    }

    void seamOutlinesFoldIntoGrownFills()
    {
        QFETCH(QString, element);
        QFETCH(QString, expected);
        const std::string head = "<svg>\n<text x=\"1\">kept</text>\n";
        const std::string tail = "\n<path d=\"M 1,1 L 2,2\" stroke=\"#000000\" />\n</svg>\n";
        std::string svg = head + element.toStdString() + tail;
        FoldSeamOutlines(svg);
        QCOMPARE(QString::fromStdString(svg), QString::fromStdString(head + expected.toStdString() + tail));
    }

    void damagedHeadersAreRefused()
    {
        QVERIFY(!ParseMetafileHeader(nullptr, 0));
        const QByteArray text("not a metafile at all, just words and more words ......................");
        QVERIFY(!ParseMetafileHeader(bytes(text), size(text)));
        QVERIFY(!WmfToEmf(bytes(text), size(text)));
        QVERIFY(!MetafileToSvg(MetafileKind::Emf, bytes(text), size(text)));
    }

    void foundByFuzzingStaysFixed()
    {
        const QDir dir(QStringLiteral(VV_TEST_DATA "/fuzz-regressions"));
        const QStringList inputs = dir.entryList(QDir::Files | QDir::NoDotAndDotDot);
        QVERIFY(!inputs.isEmpty());
        for (const QString &name : inputs) {
            if (name.startsWith(QLatin1Char('.'))) {
                continue;
            }
            const QByteArray data = readFile(dir.filePath(name));
            // Each runs through the converter in this process: a regression shows as a crash
            // or a sanitizer report, not as a failed comparison.
            (void)MetafileToSvg(MetafileKind::Emf, bytes(data), size(data));
            (void)MetafileToSvg(MetafileKind::Wmf, bytes(data), size(data));
            (void)ParseMetafileHeader(bytes(data), size(data));
        }
    }
};

QTEST_GUILESS_MAIN(MetafileTest)
#include "tst_metafile.moc"
