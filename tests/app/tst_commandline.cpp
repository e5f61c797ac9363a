// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/CommandLine.h"

#include <QTest>

using Kind = CommandLineRequest::Kind;

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void paths_data()
    {
        QTest::addColumn<QList<QByteArray>>("arguments");
        QTest::addColumn<QList<QByteArray>>("paths");
        QTest::addColumn<int>("messages");
        QTest::addColumn<QList<QByteArray>>("toolkit");

        QTest::newRow("none") << QList<QByteArray>{} << QList<QByteArray>{} << 0 << QList<QByteArray>{};
        QTest::newRow("absolute") << QList<QByteArray>{"/pics/a.jpg"} << QList<QByteArray>{"/pics/a.jpg"} << 0
                                  << QList<QByteArray>{};
        QTest::newRow("relative") << QList<QByteArray>{"a.jpg"} << QList<QByteArray>{"/home/u/a.jpg"} << 0
                                  << QList<QByteArray>{};
        QTest::newRow("dot dot") << QList<QByteArray>{"../x/./b.gif"} << QList<QByteArray>{"/home/x/b.gif"} << 0
                                 << QList<QByteArray>{};
        QTest::newRow("folder with slash")
            << QList<QByteArray>{"/pics//trip/"} << QList<QByteArray>{"/pics/trip"} << 0 << QList<QByteArray>{};
        QTest::newRow("root") << QList<QByteArray>{"/"} << QList<QByteArray>{"/"} << 0 << QList<QByteArray>{};
        QTest::newRow("above root") << QList<QByteArray>{"/../a"} << QList<QByteArray>{"/a"} << 0
                                    << QList<QByteArray>{};
        QTest::newRow("uri") << QList<QByteArray>{"file:///pics/My%20Trip/a%25b.jpg"}
                             << QList<QByteArray>{"/pics/My Trip/a%b.jpg"} << 0 << QList<QByteArray>{};
        QTest::newRow("uri localhost") << QList<QByteArray>{"file://localhost/pics/a.jpg"}
                                       << QList<QByteArray>{"/pics/a.jpg"} << 0 << QList<QByteArray>{};
        QTest::newRow("uri one slash") << QList<QByteArray>{"FILE:/pics/a.jpg"} << QList<QByteArray>{"/pics/a.jpg"} << 0
                                       << QList<QByteArray>{};
        // A Latin-1 name: its byte 0xE9 is not UTF-8 and must come through as that byte.
        QTest::newRow("uri not utf-8") << QList<QByteArray>{"file:///pics/caf%E9.jpg"}
                                       << QList<QByteArray>{QByteArray("/pics/caf\xe9.jpg")} << 0
                                       << QList<QByteArray>{};
        QTest::newRow("path not utf-8") << QList<QByteArray>{QByteArray("caf\xe9\xff.bmp")}
                                        << QList<QByteArray>{QByteArray("/home/u/caf\xe9\xff.bmp")} << 0
                                        << QList<QByteArray>{};
        QTest::newRow("uri utf-8") << QList<QByteArray>{"file:///pics/%C3%A9t%C3%A9.jpg"}
                                   << QList<QByteArray>{"/pics/\xc3\xa9t\xc3\xa9.jpg"} << 0 << QList<QByteArray>{};
        QTest::newRow("colon in a name") << QList<QByteArray>{"a:b.jpg"} << QList<QByteArray>{"/home/u/a:b.jpg"} << 0
                                         << QList<QByteArray>{};
        QTest::newRow("other host") << QList<QByteArray>{"file://server/pics/a.jpg", "/b.jpg"}
                                    << QList<QByteArray>{"/b.jpg"} << 1 << QList<QByteArray>{};
        QTest::newRow("other scheme") << QList<QByteArray>{"https://example.com/a.jpg"} << QList<QByteArray>{} << 1
                                      << QList<QByteArray>{};
        QTest::newRow("escaped slash") << QList<QByteArray>{"file:///pics/a%2Fb.jpg"} << QList<QByteArray>{} << 1
                                       << QList<QByteArray>{};
        QTest::newRow("escaped nul") << QList<QByteArray>{"file:///pics/a%00.jpg"} << QList<QByteArray>{} << 1
                                     << QList<QByteArray>{};
        QTest::newRow("several, in order") << QList<QByteArray>{"b.jpg", "/a.jpg"}
                                           << QList<QByteArray>{"/home/u/b.jpg", "/a.jpg"} << 0 << QList<QByteArray>{};
        QTest::newRow("after --") << QList<QByteArray>{"--", "-x.jpg", "--help"}
                                  << QList<QByteArray>{"/home/u/-x.jpg", "/home/u/--help"} << 0 << QList<QByteArray>{};
        // What follows "--" is a path even when it reads like the toolkit's option.
        QTest::newRow("toolkit's names after --")
            << QList<QByteArray>{"-style", "Fusion", "--", "-display", ":0"}
            << QList<QByteArray>{"/home/u/-display", "/home/u/:0"} << 0 << QList<QByteArray>{"-style", "Fusion"};
        QTest::newRow("lone dash") << QList<QByteArray>{"-"} << QList<QByteArray>{"/home/u/-"} << 0
                                   << QList<QByteArray>{};
        QTest::newRow("toolkit options") << QList<QByteArray>{"-platform", "offscreen", "--style=Fusion", "-reverse",
                                                              "-display",  ":3",        "p.jpg"}
                                         << QList<QByteArray>{"/home/u/p.jpg"} << 0
                                         << QList<QByteArray>{"-platform", "offscreen", "--style=Fusion",
                                                              "-reverse",  "-display",  ":3"};
    }

    void paths()
    {
        QFETCH(QList<QByteArray>, arguments);
        QFETCH(QList<QByteArray>, paths);
        QFETCH(int, messages);
        QFETCH(QList<QByteArray>, toolkit);
        const CommandLineRequest r = ParseCommandLine(arguments, "/home/u");
        QCOMPARE(r.kind, Kind::Open);
        QCOMPARE(r.paths, paths);
        QCOMPARE(r.toolkitArguments, toolkit);
        QCOMPARE(r.messages.size(), messages);
        QCOMPARE(ExitStatusOf(r.kind), 0);
    }

    void options_data()
    {
        QTest::addColumn<QList<QByteArray>>("arguments");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("status");
        QTest::newRow("help") << QList<QByteArray>{"--help"} << int(Kind::Help) << 0;
        QTest::newRow("-h after a path") << QList<QByteArray>{"a.jpg", "-h"} << int(Kind::Help) << 0;
        QTest::newRow("version") << QList<QByteArray>{"--version", "a.jpg"} << int(Kind::Version) << 0;
        QTest::newRow("unknown") << QList<QByteArray>{"--frobnicate"} << int(Kind::Error) << 2;
        QTest::newRow("unknown short") << QList<QByteArray>{"a.jpg", "-x"} << int(Kind::Error) << 2;
        QTest::newRow("toolkit switch with a value") << QList<QByteArray>{"-reverse=1"} << int(Kind::Error) << 2;
        QTest::newRow("unknown before help") << QList<QByteArray>{"--nope", "--help"} << int(Kind::Error) << 2;
    }

    void options()
    {
        QFETCH(QList<QByteArray>, arguments);
        QFETCH(int, kind);
        QFETCH(int, status);
        const CommandLineRequest r = ParseCommandLine(arguments, "/home/u");
        QCOMPARE(int(r.kind), kind);
        QCOMPARE(ExitStatusOf(r.kind), status);
        QVERIFY(r.paths.isEmpty());
        if (r.kind == Kind::Error) {
            QCOMPARE(r.messages.size(), 1);
            QVERIFY(!r.messages.first().contains(QLatin1Char('\n')));
            QVERIFY(r.messages.first().contains(
                QString::fromLatin1(arguments.first().startsWith('-') ? arguments.first() : arguments.last())));
        }
    }

    void helpAndVersionTexts()
    {
        QVERIFY(UsageText().startsWith(QLatin1String("Usage: vantrel-viewer")));
        QVERIFY(UsageText().endsWith(QLatin1Char('\n')));
        QVERIFY(VersionText().startsWith(QLatin1String("vantrel-viewer ")));
        QVERIFY(VersionText().contains(QRegularExpression(QStringLiteral("\\d+\\.\\d+\\.\\d+\\n$"))));
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
