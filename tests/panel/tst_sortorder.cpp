// SPDX-License-Identifier: GPL-2.0-or-later
#include "ExifWriter.h"
#include "Isolation.h"
#include "common/FileNames.h"
#include "common/picture/PictureDetails.h"
#include "panel/FileListRules.h"
#include "panel/SortOrder.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray SmallJpeg()
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImage(8, 8, QImage::Format_RGB32).save(&buffer, "JPEG");
    return jpeg;
}

QByteArray TakenAt(const QByteArray &when)
{
    ExifWriter exif;
    exif.ascii0(0x010F, "Camera");
    exif.asciiExif(0x9003, when); // DateTimeOriginal
    return exif.into(SmallJpeg());
}

// A file of `bytes` (by the bytes of its name) last modified at `modifiedSeconds` after 1970.
void Make(const QString &path, const QByteArray &bytes, qint64 modifiedSeconds)
{
    const int fd = ::open(EncodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())), ssize_t(bytes.size()));
    ::close(fd);
    const struct timespec times[2] = {{modifiedSeconds, 0}, {modifiedSeconds, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, EncodeName(path).constData(), times, 0), 0);
}

SortFacts Facts(const QString &name, qint64 modified, qint64 size, const char *taken = nullptr)
{
    SortFacts f;
    f.name = name;
    f.modifiedNs = modified * 1000000000;
    f.size = size;
    if (taken != nullptr) {
        f.taken = QDateTime::fromString(QString::fromLatin1(taken), Qt::ISODate);
    }
    return f;
}

QStringList NamesOf(const std::vector<SortFacts> &facts)
{
    QStringList names;
    for (const SortFacts &f : facts) {
        names << f.name;
    }
    return names;
}

} // namespace

class TestSortOrder : public QObject
{
    Q_OBJECT

private slots:
    void fromStore_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("descending");
        QTest::addColumn<int>("expectedKey");
        QTest::addColumn<bool>("expectedDescending");
        QTest::addRow("fresh profile") << ""
                                       << "" << int(SortKey::Name) << false;
        QTest::addRow("date taken") << "DateTaken"
                                    << "False" << int(SortKey::DateTaken) << false;
        QTest::addRow("modified, descending") << "DateModified"
                                              << "True" << int(SortKey::DateModified) << true;
        QTest::addRow("size") << "Size"
                              << "" << int(SortKey::Size) << false;
        QTest::addRow("unknown key") << "Colour"
                                     << "True" << int(SortKey::Name) << true;
        QTest::addRow("not a truth value") << "Size"
                                           << "yes" << int(SortKey::Size) << false;
        QTest::addRow("case counts") << "size"
                                     << "true" << int(SortKey::Name) << false;
    }
    void fromStore()
    {
        QFETCH(QString, key);
        QFETCH(QString, descending);
        QFETCH(int, expectedKey);
        QFETCH(bool, expectedDescending);
        const SortOrder order = SortOrderFromStore(key, descending);
        QCOMPARE(int(order.key), expectedKey);
        QCOMPARE(order.descending, expectedDescending);
        QCOMPARE(SortOrderFromStore(SortKeyText(order.key), "False").key, order.key);
    }

    void sorting_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QStringList>("expected");
        QTest::addRow("name") << int(SortKey::Name) << false << QStringList{"IMG_2", "img_3", "IMG_10", "z"};
        QTest::addRow("name descending") << int(SortKey::Name) << true << QStringList{"z", "IMG_10", "img_3", "IMG_2"};
        // z has no date taken: it counts as taken when modified (2001).
        QTest::addRow("taken") << int(SortKey::DateTaken) << false << QStringList{"img_3", "z", "IMG_10", "IMG_2"};
        QTest::addRow("taken descending")
            << int(SortKey::DateTaken) << true << QStringList{"IMG_2", "IMG_10", "z", "img_3"};
        QTest::addRow("modified") << int(SortKey::DateModified) << false
                                  << QStringList{"IMG_10", "z", "IMG_2", "img_3"};
        // Equal sizes keep the names' order, whatever the direction.
        QTest::addRow("size") << int(SortKey::Size) << false << QStringList{"img_3", "IMG_2", "IMG_10", "z"};
        QTest::addRow("size descending") << int(SortKey::Size) << true << QStringList{"IMG_10", "z", "IMG_2", "img_3"};
    }
    void sorting()
    {
        QFETCH(int, key);
        QFETCH(bool, descending);
        QFETCH(QStringList, expected);
        const qint64 y2000 = 946684800;
        std::vector<SortFacts> files{
            Facts("z", y2000 + 365 * 86400, 500),
            Facts("IMG_10", y2000, 500, "2010-01-01T00:00:00"),
            Facts("img_3", y2000 + 400 * 86400, 10, "1999-05-05T10:00:00"),
            Facts("IMG_2", y2000 + 399 * 86400, 20, "2020-01-01T00:00:00"),
        };
        SortFiles(files, SortOrder{static_cast<SortKey>(key), descending});
        QCOMPARE(NamesOf(files), expected);
    }

    // Real files: sizes, times and dates taken read from the folder, names that are not UTF-8 too.
    void readFromTheFolder()
    {
        IsolatedEnvironment env;
        const QString latin1 = DecodeName(QByteArray("caf\xe9.jpg"));
        Make(env.path("a.jpg"), TakenAt("2021:06:01 12:00:00"), 3000);
        Make(env.path("b.jpg"), TakenAt("2019:06:01 12:00:00"), 1000);
        Make(env.path(latin1), SmallJpeg() + QByteArray(5000, '\0'), 2000);
        const QStringList names{"a.jpg", "b.jpg", latin1};
        QCOMPARE(SortedNames(env.dir(), names, {SortKey::DateModified, false}),
                 (QStringList{"b.jpg", latin1, "a.jpg"}));
        QCOMPARE(SortedNames(env.dir(), names, {SortKey::Size, true}).first(), latin1);
        // The latin-1 file has no date taken: its 1970 modification comes first.
        QCOMPARE(SortedNames(env.dir(), names, {SortKey::DateTaken, false}), (QStringList{latin1, "b.jpg", "a.jpg"}));
        QCOMPARE(SortedNames(env.dir(), {"b.jpg", "a.jpg"}, {}), (QStringList{"a.jpg", "b.jpg"}));
        QCOMPARE(DateTaken(env.path("a.jpg")), std::optional<QDateTime>(QDateTime(QDate(2021, 6, 1), QTime(12, 0))));

        // The first picture a start shows, found in one pass, is the list's first in every order;
        // a file the pattern leaves out never is, whatever its facts. The same pass names the
        // ones right after it (decoded next while the rest is sorted), in the list's order.
        Make(env.path("0-notes.txt"), QByteArray(9000, 'x'), 500);
        Make(env.path("d.jpg"), TakenAt("2020:06:01 12:00:00") + QByteArray(100, '\0'), 4000);
        const FilePattern pattern(QStringLiteral("*.jpg"));
        for (const SortKey key : {SortKey::Name, SortKey::DateTaken, SortKey::DateModified, SortKey::Size}) {
            for (const bool descending : {false, true}) {
                const SortOrder order{key, descending};
                const QStringList listed = SortedNames(env.dir(), *ReadFolder(env.dir(), pattern), order);
                QCOMPARE(FirstInFolder(env.dir(), pattern, order), std::optional<QString>(listed.first()));
                (void)ReadFolderAhead(env.dir(), pattern, order);
                const auto ahead = TakeFolderReadAhead(env.dir(), pattern, order);
                QVERIFY(ahead);
                QCOMPARE(ahead->leading(), listed.first(PicturesAhead));
            }
        }
        QCOMPARE(FirstInFolder(env.path("missing"), pattern, {}), std::nullopt);
        QCOMPARE(FirstInFolder(env.dir(), FilePattern(QStringLiteral("*.zzz")), {}), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestSortOrder)
#include "tst_sortorder.moc"
