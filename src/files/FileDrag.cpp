// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/FileDrag.h"

#include "common/SharedState.h"
#include "common/Utilities.h"
#include "files/DragPayload.h"

#include <QDrag>
#include <QHash>
#include <QMimeData>
#include <QPixmap>
#include <QWidget>

namespace {

FileDragHandler &Handler()
{
    static FileDragHandler handler;
    return handler;
}

// Each source keeps its drag pointer until a drag with Ctrl or with no key sets another.
QHash<const QWidget *, QString> &DragIcons()
{
    static QHash<const QWidget *, QString> icons;
    return icons;
}

DragPathsProvider &PathsProvider()
{
    static DragPathsProvider provider;
    return provider;
}

void PlatformDrag(QWidget *source, const QString &dragIcon)
{
    auto *drag = new QDrag(source);
    drag->setMimeData(FileDragMimeData(PathsProvider() ? PathsProvider()() : QStringList()));
    // The pointer says what the window under it will do: the folder buttons take the action
    // proposed, another program may choose the other one.
    drag->setDragCursor(LoadResCursor(QStringLiteral("MOVE")).pixmap(), Qt::MoveAction);
    drag->setDragCursor(LoadResCursor(QStringLiteral("COPY")).pixmap(), Qt::CopyAction);
    if (!dragIcon.isEmpty()) {
        drag->setDragCursor(LoadResCursor(dragIcon).pixmap(), Qt::IgnoreAction);
    }
    const Qt::DropAction proposed = State().DropAction == QLatin1String("COPY") ? Qt::CopyAction : Qt::MoveAction;
    drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, proposed);
}

} // namespace

void SetDragPathsProvider(DragPathsProvider provider)
{
    PathsProvider() = std::move(provider);
}

QMimeData *FileDragMimeData(const QStringList &paths)
{
    auto *data = new QMimeData;
    data->setData(QString::fromLatin1(FileDragMimeType), QByteArray());
    if (!paths.isEmpty()) {
        // Set as bytes: Qt's own URL list would turn a name that is not UTF-8 into another name.
        data->setData(QStringLiteral("text/uri-list"), UriList(paths));
    }
    return data;
}

void SetFileDragHandler(FileDragHandler handler)
{
    Handler() = std::move(handler);
}

void StartFileDrag(QWidget *source, int Shift)
{
    SharedState &s = State();
    if (!DragIcons().contains(source)) {
        QObject::connect(source, &QObject::destroyed, [source] { DragIcons().remove(source); });
    }
    QString &icon = DragIcons()[source];
    if (Shift == 0) {
        icon = QStringLiteral("MOVE");
        s.DropAction = QStringLiteral("MOVE");
    } else if (Shift == 2) {
        icon = QStringLiteral("COPY");
        s.DropAction = QStringLiteral("COPY");
    }
    if (Handler()) {
        Handler()(source, icon);
        return;
    }
    PlatformDrag(source, icon);
}
