#include "files/FileDrag.h"

#include "common/SharedState.h"
#include "common/Utilities.h"

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

void PlatformDrag(QWidget *source, const QString &dragIcon)
{
    auto *drag = new QDrag(source);
    auto *data = new QMimeData;
    data->setData(QString::fromLatin1(FileDragMimeType), QByteArray());
    drag->setMimeData(data);
    if (!dragIcon.isEmpty()) {
        const QPixmap pointer = LoadResCursor(dragIcon).pixmap();
        drag->setDragCursor(pointer, Qt::MoveAction);
        drag->setDragCursor(pointer, Qt::IgnoreAction);
    }
    drag->exec(Qt::MoveAction);
}

} // namespace

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
