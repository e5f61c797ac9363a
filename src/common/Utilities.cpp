// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/Utilities.h"

#include "common/FileNames.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QImageReader>
#include <QPixmap>
#include <QPoint>

#include <sys/stat.h>

namespace {

struct CursorArt
{
    const char *file;
    QPoint hotSpot;
};

const QHash<QString, CursorArt> &cursorTable()
{
    static const QHash<QString, CursorArt> table = {
        {QStringLiteral("NORMAL"), {":/cursors/normal.png", {0, 0}}},
        {QStringLiteral("WAIT"), {":/cursors/wait.png", {16, 15}}},
        {QStringLiteral("MAGNIFIER"), {":/cursors/magnifier.png", {0, 0}}},
        {QStringLiteral("MOVE"), {":/cursors/move.png", {16, 8}}},
        {QStringLiteral("COPY"), {":/cursors/copy.png", {16, 8}}},
    };
    return table;
}

// The pointer state of the whole program: one override cursor that holds either the chosen
// custom cursor or the blank one while the pointer is hidden.
struct PointerState
{
    bool overrideActive = false;
    bool custom = false;
    QCursor cursor;
    int hideCount = 0;
    QString mouseIcon;
};

PointerState &pointer()
{
    static PointerState state;
    return state;
}

void applyPointer()
{
    PointerState &p = pointer();
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) == nullptr) {
        return;
    }
    const bool wantOverride = p.custom || p.hideCount > 0;
    const QCursor shown = p.hideCount > 0 ? QCursor(Qt::BlankCursor) : p.cursor;
    if (wantOverride && !p.overrideActive) {
        QGuiApplication::setOverrideCursor(shown);
        p.overrideActive = true;
    } else if (wantOverride) {
        QGuiApplication::changeOverrideCursor(shown);
    } else if (p.overrideActive) {
        QGuiApplication::restoreOverrideCursor();
        p.overrideActive = false;
    }
}

// The program's own PNGs, read as PNG: a reader left to find the format itself asks every image
// plugin installed first, loading each (and its libraries) before the first window shows.
QPixmap loadPng(const QString &path)
{
    QImageReader reader(path, QByteArrayLiteral("png"));
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

} // namespace

QCursor LoadResCursor(const QString &name)
{
    const auto it = cursorTable().constFind(name);
    if (it == cursorTable().constEnd()) {
        return QCursor(Qt::ArrowCursor);
    }
    const QPixmap art = loadPng(QString::fromLatin1(it->file));
    if (art.isNull()) {
        return QCursor(Qt::ArrowCursor);
    }
    return QCursor(art, it->hotSpot.x(), it->hotSpot.y());
}

QPixmap LoadResPicture(const QString &name)
{
    static const QHash<QString, QString> files = {
        {QStringLiteral("HANDUP"), QStringLiteral(":/bitmaps/handup.png")},
        {QStringLiteral("HANDDOWN"), QStringLiteral(":/bitmaps/handdown.png")},
        {QStringLiteral("101"), QStringLiteral(":/bitmaps/invalid.png")},
        {QStringLiteral("LOGO"), QStringLiteral(":/bitmaps/logo.png")},
        {QStringLiteral("SPLASH"), QStringLiteral(":/bitmaps/splash.png")},
        {QStringLiteral("LOADING"), QStringLiteral(":/bitmaps/loading.png")},
        {QStringLiteral("SCREENSAVER"), QStringLiteral(":/bitmaps/screensaver-logo.png")},
        {QStringLiteral("QUIT"), QStringLiteral(":/bitmaps/quit.png")},
        {QStringLiteral("QUITDOWN"), QStringLiteral(":/bitmaps/quit-down.png")},
        {QStringLiteral("QUITON"), QStringLiteral(":/bitmaps/quit-on.png")},
        {QStringLiteral("HELP"), QStringLiteral(":/bitmaps/help.png")},
        {QStringLiteral("HELPDOWN"), QStringLiteral(":/bitmaps/help-down.png")},
        {QStringLiteral("HELPON"), QStringLiteral(":/bitmaps/help-on.png")},
    };
    const auto it = files.constFind(name);
    if (it == files.constEnd()) {
        return {};
    }
    return loadPng(*it);
}

void SetMouseCursor(const QString &name)
{
    PointerState &p = pointer();
    p.cursor = LoadResCursor(name);
    p.custom = true;
    applyPointer();
}

void SetDefaultMouseCursor()
{
    PointerState &p = pointer();
    p.custom = false;
    p.cursor = QCursor(Qt::ArrowCursor);
    applyPointer();
}

void ShowMouseCursor(bool show)
{
    PointerState &p = pointer();
    p.hideCount += show ? -1 : 1;
    if (p.hideCount < 0) {
        p.hideCount = 0;
    }
    applyPointer();
}

void ResetMouseCursor()
{
    PointerState &p = pointer();
    p.custom = false;
    p.hideCount = 0;
    applyPointer();
}

void SetProgramMouseIcon(const QString &name)
{
    pointer().mouseIcon = name;
}

QString ProgramMouseIcon()
{
    return pointer().mouseIcon;
}

bool FileExistsExact(const QString &path)
{
    if (path.isEmpty()) {
        return false;
    }
    struct stat st
    {};
    const QByteArray native = EncodeName(path);
    return ::lstat(native.constData(), &st) == 0;
}
