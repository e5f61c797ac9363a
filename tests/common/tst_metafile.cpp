#include "common/picture/MetafileFormat.h"
#include "common/picture/MetafileToSvg.h"
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
