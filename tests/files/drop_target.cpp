// SPDX-License-Identifier: GPL-2.0-or-later
// A window of another program that takes drops as file managers do, reading the URI list, and
// says on its standard output what arrived: "ready", "enter", then "drop ACTION HEX" and exits.
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

void say(const QByteArray &line)
{
    std::fputs((line + '\n').constData(), stdout);
    std::fflush(stdout);
}

class Target : public QWidget
{
public:
    Target() { setAcceptDrops(true); }

protected:
    void showEvent(QShowEvent *) override
    {
        QTimer::singleShot(100, this, [] { say("ready"); });
    }
    void dragEnterEvent(QDragEnterEvent *event) override
    {
        if (!event->mimeData()->hasFormat(QStringLiteral("text/uri-list"))) {
            event->ignore();
            return;
        }
        event->acceptProposedAction();
        if (!m_entered) {
            m_entered = true;
            say("enter");
        }
    }
    void dragMoveEvent(QDragMoveEvent *event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent *event) override
    {
        const QByteArray list = event->mimeData()->data(QStringLiteral("text/uri-list"));
        event->acceptProposedAction();
        say("drop " + QByteArray::number(int(event->proposedAction())) + ' ' + list.toHex());
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }

private:
    bool m_entered = false;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Target target;
    target.setWindowTitle(QStringLiteral("drop target"));
    const QStringList args = app.arguments();
    target.setGeometry(args.value(1).toInt(), args.value(2).toInt(), 200, 200);
    target.show();
    return app.exec();
}
