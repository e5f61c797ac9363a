// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/FileNames.h"
#include "common/SharedState.h"
#include "files/DragPayload.h"
#include "files/FileDrag.h"

#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

namespace {

// A list row from which a drag starts, as the panel's list starts one.
class Source : public QWidget
{
public:
    int shift = 0;
    bool pressed = false;
    bool dragged = false;

protected:
    void mousePressEvent(QMouseEvent *) override { pressed = true; }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if ((event->buttons() & Qt::LeftButton) && !dragged) {
            dragged = true;
            StartFileDrag(this, shift);
        }
    }
};

bool Xdotool(const QStringList &args)
{
    return QProcess::execute(QStringLiteral("xdotool"), args) == 0;
}

} // namespace

class TestDragOut : public QObject
{
    Q_OBJECT

private slots:
    void uris_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("uri");
        QTest::addRow("plain") << QByteArray("/home/a/b.jpg") << QByteArray("file:///home/a/b.jpg");
        QTest::addRow("space") << QByteArray("/p/a b.jpg") << QByteArray("file:///p/a%20b.jpg");
        QTest::addRow("reserved") << QByteArray("/p/100%#1?.jpg") << QByteArray("file:///p/100%25%231%3F.jpg");
        QTest::addRow("utf-8") << QByteArray("/p/caf\xc3\xa9.jpg") << QByteArray("file:///p/caf%C3%A9.jpg");
        QTest::addRow("latin-1 byte") << QByteArray("/p/caf\xe9.jpg") << QByteArray("file:///p/caf%E9.jpg");
        QTest::addRow("root") << QByteArray("/x") << QByteArray("file:///x");
    }
    void uris()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, uri);
        const QString name = DecodeName(path);
        QCOMPARE(FileUri(name), uri);
        QCOMPARE(UriList({name, name}), uri + "\r\n" + uri + "\r\n");
        QCOMPARE(PathsOfUriList(UriList({name})), QStringList{name});
    }

    void readingLists()
    {
        QCOMPARE(PathsOfUriList("# comment\r\nfile:///a\nhttp://x/y\r\nfile://localhost/b%20c\r\n\r\n"),
                 (QStringList{"/a", "/b c"}));
        const std::unique_ptr<QMimeData> data(FileDragMimeData({"/a"}));
        QVERIFY(data->hasFormat(QString::fromLatin1(FileDragMimeType)));
        QCOMPARE(data->data("text/uri-list"), QByteArray("file:///a\r\n"));
    }

    // A real drag, by real pointer events, into another program's window: it reads the URI
    // list, names that are not UTF-8 included, and is offered the folder buttons' action.
    void dropIntoAnotherProgram_data()
    {
        QTest::addColumn<int>("shift");
        QTest::addColumn<int>("action");
        QTest::addRow("plain drag: move proposed") << 0 << int(Qt::MoveAction);
        QTest::addRow("Ctrl drag: copy proposed") << 2 << int(Qt::CopyAction);
    }
    void dropIntoAnotherProgram()
    {
        QFETCH(int, shift);
        QFETCH(int, action);
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            QSKIP("needs an X server (the test runs under on-xvfb.sh)");
        }
        QTemporaryDir dir;
        const QStringList paths{dir.filePath("a b.jpg"), dir.filePath(DecodeName(QByteArray("caf\xe9.jpg"))),
                                dir.filePath("100%.jpg")};
        SetDragPathsProvider([paths] { return paths; });

        QProcess target;
        target.start(QStringLiteral(VV_DROP_TARGET), {"300", "0"});
        QVERIFY(target.waitForStarted());
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT((said += target.readAllStandardOutput()).contains("ready"),
                                  target.readAllStandardError().constData(), 10000);

        Source source;
        source.shift = shift;
        source.setGeometry(0, 0, 200, 200);
        source.show();
        QVERIFY(QTest::qWaitForWindowExposed(&source));

        bool released = false;
        connect(&target, &QProcess::readyReadStandardOutput, this, [&] {
            said += target.readAllStandardOutput();
            // Over the other window: let go there.
            if (said.contains("enter") && !released) {
                released = true;
                QProcess::startDetached(QStringLiteral("xdotool"), {"mouseup", "1"});
            }
        });
        QVERIFY(Xdotool({"mousemove", "100", "100", "mousedown", "1"}));
        QTRY_VERIFY(source.pressed);
        // The drag starts at the first move; the moves after it go on while it runs.
        QProcess::startDetached(QStringLiteral("xdotool"), {"mousemove", "120", "120", "sleep", "0.2", "mousemove",
                                                            "380", "90", "sleep", "0.2", "mousemove", "400", "100"});
        QTRY_VERIFY_WITH_TIMEOUT(source.dragged, 10000);
        // The other program reads the list from this one after the drop: the events go on meanwhile.
        QTRY_VERIFY2_WITH_TIMEOUT(said.contains("drop") && said.endsWith('\n'), said.constData(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(target.state(), QProcess::NotRunning, 10000);
        const qsizetype at = said.indexOf("drop ");
        QVERIFY2(at >= 0, said.constData());
        const QList<QByteArray> parts = said.mid(at).trimmed().split(' ');
        QCOMPARE(parts.size(), 3);
        QCOMPARE(parts[1].toInt(), action);
        const QByteArray list = QByteArray::fromHex(parts[2]);
        QVERIFY(list.contains("caf%E9.jpg"));
        QCOMPARE(PathsOfUriList(list), paths);
    }
};

QTEST_MAIN(TestDragOut)
#include "tst_dragout.moc"
