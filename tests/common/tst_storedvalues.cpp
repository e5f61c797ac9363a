// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/Rounding.h"
#include "common/ScreenMetrics.h"
#include "common/SettingsLoad.h"
#include "common/StoredValues.h"
#include "common/Utilities.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(std::optional<int>)

namespace {

SettingReader readerOf(const QHash<QString, QString> &values)
{
    return
        [values](const QString &section, const QString &key) { return values.value(section + QLatin1Char('/') + key); };
}

std::optional<int> widen(auto v)
{
    if (!v) {
        return std::nullopt;
    }
    return static_cast<int>(*v);
}

} // namespace

class StoredValuesTest : public QObject
{
    Q_OBJECT

private slots:
    void numbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<int>>("byte");
        QTest::addColumn<std::optional<int>>("int16");
        QTest::newRow("plain") << "4" << std::optional<int>(4) << std::optional<int>(4);
        QTest::newRow("top of a byte") << "255" << std::optional<int>(255) << std::optional<int>(255);
        QTest::newRow("above a byte") << "256" << std::optional<int>() << std::optional<int>(256);
        QTest::newRow("negative") << "-1" << std::optional<int>() << std::optional<int>(-1);
        QTest::newRow("word") << "fast" << std::optional<int>() << std::optional<int>();
        QTest::newRow("empty") << "" << std::optional<int>() << std::optional<int>();
        QTest::newRow("spaces") << " 12 " << std::optional<int>(12) << std::optional<int>(12);
        QTest::newRow("half to even down") << "12.5" << std::optional<int>(12) << std::optional<int>(12);
        QTest::newRow("half to even up") << "13.5" << std::optional<int>(14) << std::optional<int>(14);
        QTest::newRow("int16 top") << "32767" << std::optional<int>() << std::optional<int>(32767);
        QTest::newRow("int16 overflow") << "32768" << std::optional<int>() << std::optional<int>();
        QTest::newRow("hex") << "&H10" << std::optional<int>(16) << std::optional<int>(16);
        QTest::newRow("trailing junk") << "12abc" << std::optional<int>() << std::optional<int>();
        QTest::newRow("infinity") << "inf" << std::optional<int>() << std::optional<int>();
        QTest::newRow("huge") << "1e300" << std::optional<int>() << std::optional<int>();
        QTest::newRow("arabic digits") << QString::fromUtf8("٣") << std::optional<int>() << std::optional<int>();
    }

    void numbers()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<int>, byte);
        QFETCH(std::optional<int>, int16);
        QCOMPARE(widen(ToUnsigned8(text)), byte);
        QCOMPARE(widen(ToInt16(text)), int16);
    }

    void truthValues()
    {
        QCOMPARE(ToTruth("True"), std::optional<bool>(true));
        QCOMPARE(ToTruth("False"), std::optional<bool>(false));
        for (const char *other : {"yes", "", "1", "-1", "TRUE ", "Truee"}) {
            QVERIFY2(!ToTruth(QString::fromLatin1(other)).has_value(), other);
        }
        QCOMPARE(TruthText(true), QStringLiteral("True"));
        QCOMPARE(TruthText(false), QStringLiteral("False"));
    }

    void colours()
    {
        // 0x00BBGGRR: red in the low byte.
        QCOMPARE(ColourFromValue(16744448), QColor(0x00, 0x80, 0xFF));
        QCOMPARE(ColourFromValue(65535), QColor(0xFF, 0xFF, 0x00));
        QCOMPARE(ValueFromColour(QColor(0x00, 0x80, 0xFF)), 16744448);
        QCOMPARE(ColourText(16744448), QStringLiteral("16744448"));
        // Text and number give the same colour.
        QCOMPARE(ColourOf(QStringLiteral("16744448"), 0), ColourFromValue(16744448));
        // A malformed stored colour falls back to the key's default when used.
        QCOMPARE(ColourOf(QStringLiteral("orange"), 65535), ColourFromValue(65535));
        // System colours (high bit) come from the palette.
        QPalette pal;
        pal.setColor(QPalette::ButtonText, QColor(1, 2, 3));
        QCOMPARE(ColourFromValue(static_cast<std::int32_t>(0x80000012u), pal), QColor(1, 2, 3));
        QCOMPARE(ToColourValue(QStringLiteral("&H8000000F")),
                 std::optional<std::int32_t>(static_cast<std::int32_t>(0x8000000Fu)));
        QCOMPARE(ToColourValue(QStringLiteral("4294967295")), std::optional<std::int32_t>(-1));
        QVERIFY(!ToColourValue(QStringLiteral("4294967296")).has_value());
    }

    void ampersandCaptions()
    {
        QCOMPARE(CaptionFromFolderName("Tom & Jerry"), QStringLiteral("Tom && Jerry"));
        QCOMPARE(FolderNameFromCaption("Tom && Jerry"), QStringLiteral("Tom & Jerry"));
        QCOMPARE(FolderNameFromCaption(CaptionFromFolderName("&&&a&")), QStringLiteral("&&&a&"));
        QCOMPARE(CaptionFromFolderName(""), QString());
    }

    void emptyStoreGivesTheFirstStartDefaults()
    {
        SharedState s;
        ReadStoredSettings(s, readerOf({}));
        ApplyColourDefaults(s);
        QCOMPARE(s.SlideColor, QStringLiteral("16744448"));
        QCOMPARE(s.SlideColor2, QStringLiteral("16777215"));
        QCOMPARE(s.FontColor, QStringLiteral("65535"));
        QCOMPARE(s.GradientAngle, std::int16_t(270));
        // What both settings dialogs show for a missing interval, so a first show advances by itself.
        QCOMPARE(s.SlideTime, std::uint8_t(4));
        QCOMPARE(SlideIntervalMs(s.SlideTime), 4000);
        QCOMPARE(s.RandomShow, false);
        QCOMPARE(s.ManualShow, false);
        QCOMPARE(s.LogoShow, std::int16_t(0));
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(s.Caption(i), QString());
        }
        QCOMPARE(s.Basename, QString());
        QCOMPARE(s.BasePath, QString());
    }

    void storedValuesAreRead()
    {
        SharedState s;
        ReadStoredSettings(s, readerOf({{"Settings/SlideTime", "255"},
                                        {"ScreenSaver/LogoShow", "1"},
                                        {"Settings/SlideColor", "255"},
                                        {"Settings/GradientAngle", "-45"},
                                        {"Settings/RandomShow", "True"},
                                        {"Settings/ManualShow", "False"},
                                        {"Settings/Caption3", "Tom && Jerry"},
                                        {"Settings/Basename", "Tom & Jerry"},
                                        {"Directories/Tom & Jerry", "/pics/tj"}}));
        ApplyColourDefaults(s);
        QCOMPARE(s.SlideTime, std::uint8_t(255));
        QCOMPARE(SlideIntervalMs(s.SlideTime), 255000);
        QCOMPARE(s.LogoShow, std::int16_t(1));
        QCOMPARE(s.SlideColor, QStringLiteral("255"));
        QCOMPARE(s.GradientAngle, std::int16_t(-45)); // the first colour was stored: no 270
        QCOMPARE(s.SlideColor2, QStringLiteral("16777215"));
        QCOMPARE(s.RandomShow, true);
        QCOMPARE(s.Caption3, QStringLiteral("Tom && Jerry"));
        QCOMPARE(s.BasePath, QStringLiteral("/pics/tj"));
    }

    void valuesThatDoNotConvertLeaveTheVariable()
    {
        SharedState s;
        s.SlideTime = 7;
        s.LogoShow = 1;
        s.GradientAngle = 90;
        s.RandomShow = true;
        s.ManualShow = true;
        ReadStoredSettings(s, readerOf({{"Settings/SlideTime", "256"},
                                        {"ScreenSaver/LogoShow", "on"},
                                        {"Settings/GradientAngle", "ninety"},
                                        {"Settings/RandomShow", "yes"},
                                        {"Settings/ManualShow", ""},
                                        {"Settings/SlideColor", "12"}}));
        QCOMPARE(s.SlideTime, std::uint8_t(4)); // the dialogs' 4, like a missing value
        QCOMPARE(s.LogoShow, std::int16_t(1));
        QCOMPARE(s.GradientAngle, std::int16_t(90));
        QCOMPARE(s.RandomShow, true);
        QCOMPARE(s.ManualShow, true);
    }

    void anIntervalTheDialogsWouldNotStoreReadsAsTheirFour()
    {
        for (const char *text : {"", "0", "-3", "256", "four", "0.4"}) {
            QCOMPARE(SlideTimeFromStored(QString::fromLatin1(text)), std::uint8_t(4));
        }
        QCOMPARE(SlideTimeFromStored(QStringLiteral("1")), std::uint8_t(1));
        QCOMPARE(SlideTimeFromStored(QStringLiteral("255")), std::uint8_t(255));
    }

    void secondColourAloneDefaultsWithoutTouchingTheAngle()
    {
        SharedState s;
        ReadStoredSettings(s, readerOf({{"Settings/SlideColor", "8421504"}, {"Settings/GradientAngle", "45"}}));
        ApplyColourDefaults(s);
        QCOMPARE(s.SlideColor2, QStringLiteral("16777215"));
        QCOMPARE(s.GradientAngle, std::int16_t(45));
        QCOMPARE(s.FontColor, QStringLiteral("65535"));
    }

    void basenameOfARemovedFolderHasNoPath()
    {
        SharedState s;
        ReadStoredSettings(s, readerOf({{"Settings/Basename", "Gone"}, {"Directories/Other", "/o"}}));
        QCOMPARE(s.Basename, QStringLiteral("Gone"));
        QCOMPARE(s.BasePath, QString());
    }

    void screenSpecs_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<float>("tpp");
        QTest::newRow("plain") << "1024x768" << true << 1024 << 768 << 15.0f;
        QTest::newRow("twips") << "800x600@12" << true << 800 << 600 << 12.0f;
        QTest::newRow("spaces") << " 640 x 480 @ 15 " << true << 640 << 480 << 15.0f;
        QTest::newRow("zero") << "0x480" << false << 0 << 0 << 0.0f;
        QTest::newRow("zero twips") << "640x480@0" << false << 0 << 0 << 0.0f;
        QTest::newRow("words") << "large" << false << 0 << 0 << 0.0f;
        QTest::newRow("empty") << "" << false << 0 << 0 << 0.0f;
        QTest::newRow("negative") << "-640x480" << false << 0 << 0 << 0.0f;
    }

    void screenSpecs()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto spec = ParseScreenSpec(text);
        QCOMPARE(spec.has_value(), valid);
        if (valid) {
            QFETCH(int, w);
            QFETCH(int, h);
            QFETCH(float, tpp);
            QCOMPARE(spec->widthPx, w);
            QCOMPARE(spec->heightPx, h);
            QCOMPARE(spec->twipsPerPixel, tpp);
        }
    }

    void screenMetrics()
    {
        SharedState s;
        ApplyScreenMetrics(s, {1024, 768, 12});
        QCOMPARE(s.PixelScaleX, 0.8);
        QCOMPARE(s.PixelScaleY, 0.8);
        QCOMPARE(s.ScreenWidthPx, 1024.0f);
        QCOMPARE(s.ScreenHeightPx, 768.0f);
        ApplyScreenMetrics(s, {640, 480, 15});
        QCOMPARE(s.PixelScaleX, 1.0);
        QCOMPARE(s.TwipsPerPixelY, 15.0f);
        // Design sizes keep their pixels at any resolution; plain twips do not.
        QCOMPARE(ScaledDesignPixels(4800, 0.8, 12), 320);
        QCOMPARE(ScaledDesignPixels(4800, 1.0, 15), 320);
        QCOMPARE(TwipsToPixels(4800, 12), 400);
        QCOMPARE(ScaledDesignPixels(4800, 0, 0), 320); // not measured yet: no division by zero
    }

    void roundingHalvesToEven()
    {
        QCOMPARE(RoundToInt(0.5), std::int64_t(0));
        QCOMPARE(RoundToInt(1.5), std::int64_t(2));
        QCOMPARE(RoundToInt(2.5), std::int64_t(2));
        QCOMPARE(RoundToInt(-2.5), std::int64_t(-2));
        QCOMPARE(RoundToInt(2.5000001), std::int64_t(3));
    }

    void fileExistsExact()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("holiday1.jpg");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(FileExistsExact(file));
        QVERIFY(!FileExistsExact(dir.filePath("HOLIDAY1.JPG"))); // another name on Linux
        QVERIFY(!FileExistsExact(dir.filePath("HOLIDA~1.JPG")));
        QVERIFY(!FileExistsExact(dir.filePath("nothing.jpg")));
        QVERIFY(FileExistsExact(dir.path())); // folders count
        QVERIFY(!FileExistsExact(QString()));
        // A dangling link still occupies its name.
        QVERIFY(QFile::link(dir.filePath("gone.jpg"), dir.filePath("link.jpg")));
        QVERIFY(FileExistsExact(dir.filePath("link.jpg")));
        QVERIFY(!FileExistsExact(dir.filePath("holiday1.jpg/inside")));
    }
};

QTEST_GUILESS_MAIN(StoredValuesTest)
#include "tst_storedvalues.moc"
