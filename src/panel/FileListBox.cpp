// SPDX-License-Identifier: GPL-2.0-or-later
#include "panel/FileListBox.h"

#include "common/FileNames.h"
#include "common/ScreenMetrics.h"
#include "controls/ARButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStringListModel>

namespace {

// Holds each name as read from the folder and shows it readably; the list's operations use the
// names it holds, never the text shown.
class FileNameModel : public QStringListModel
{
public:
    using QStringListModel::QStringListModel;
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::DisplayRole) {
            return DisplayName(QStringListModel::data(index, Qt::EditRole).toString());
        }
        return QStringListModel::data(index, role);
    }
};

} // namespace

FileListBox::FileListBox(QWidget *parent)
    : QListView(parent)
    , m_model(new FileNameModel(this))
    , m_sortWatch(new QFutureWatcher<void>(this))
{
    connect(m_sortWatch, &QFutureWatcherBase::finished, this, [this] { fill(); });
    setModel(m_model);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true); // 50,000 names lay out at once
    setMouseTracking(true);
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Pressing on a selected entry keeps the selection until release, so several files can be
    // dragged; the drag itself is the panel's (a left move emits MouseMove and goes no further).
    setDragEnabled(true);
}

bool FileListBox::load(const QString &folder)
{
    // Whatever this reads replaces a fill still to come.
    m_ahead.reset();
    m_sortWatch->setFuture(QFuture<void>());
    if (auto ahead = TakeFolderReadAhead(folder, m_pattern, m_order)) {
        const std::optional<QString> first = ahead->first();
        if (ahead->sorted() || !first) {
            if (auto names = ahead->names()) {
                m_model->setStringList(*names);
                return true;
            }
        } else {
            // The first name goes on screen at once; the rest comes in once sorted.
            m_aheadCount = static_cast<int>(ahead->count());
            m_ahead = std::move(ahead);
            m_model->setStringList({*first});
            m_sortWatch->setFuture(m_ahead->sorting());
            return true;
        }
    }
    auto names = ReadFolder(folder, m_pattern);
    if (!names) {
        return false;
    }
    m_model->setStringList(m_order == SortOrder{} ? *names : SortedNames(folder, *names, m_order));
    return true;
}

// Const: the accessors call it, as the names still being sorted are part of what the list holds.
void FileListBox::fill() const
{
    if (!m_ahead) {
        return;
    }
    const FolderReadAhead ahead = *std::exchange(m_ahead, std::nullopt);
    m_sortWatch->setFuture(QFuture<void>());
    std::optional<QStringList> names = ahead.names();
    if (!names) {
        // Changed while it was sorted: read as any folder is.
        names = ReadFolder(m_path, m_pattern);
        if (names && !(m_order == SortOrder{})) {
            names = SortedNames(m_path, *names, m_order);
        }
    }
    // The first entry, the only one until now, stays focused and selected as it was.
    const QModelIndex current = currentIndex();
    const QString focused = current.isValid() ? m_model->stringList().value(current.row()) : QString();
    const bool selected = current.isValid() && selectionModel()->isSelected(current);
    m_model->setStringList(names.value_or(QStringList()));
    const qsizetype at = focused.isEmpty() ? -1 : m_model->stringList().indexOf(focused);
    if (at >= 0) {
        selectionModel()->setCurrentIndex(m_model->index(static_cast<int>(at)),
                                          selected ? QItemSelectionModel::ClearAndSelect
                                                   : QItemSelectionModel::NoUpdate);
    }
    auto *self = const_cast<FileListBox *>(this);
    emit self->Filled();
    if (!focused.isEmpty() && at < 0) {
        // The name shown is gone: the list shows its first picture, as a folder opened does.
        self->setListIndex(0);
    }
}

void FileListBox::setSortOrder(SortOrder order)
{
    if (order == m_order) {
        return;
    }
    m_order = order;
    if (!m_path.isEmpty()) {
        Refresh();
    }
}

QStringList FileListBox::names() const
{
    fill();
    return m_model->stringList();
}

bool FileListBox::setPath(const QString &folder)
{
    if (!load(folder)) {
        return false;
    }
    m_path = folder;
    emit PathChange();
    return true;
}

void FileListBox::setPattern(const QString &pattern)
{
    m_pattern = FilePattern(pattern);
    if (!m_path.isEmpty() && !load(m_path)) {
        m_model->setStringList({});
    }
}

bool FileListBox::Refresh()
{
    // Reading the folder again drops the selection but keeps the list where it was scrolled.
    const int scrolled = verticalScrollBar()->value();
    if (load(m_path)) {
        doItemsLayout();
        verticalScrollBar()->setValue(scrolled);
        return true;
    }
    m_model->setStringList({});
    return false;
}

int FileListBox::ListCount() const
{
    return m_ahead ? m_aheadCount : m_model->rowCount();
}

QString FileListBox::List(int index) const
{
    if (index != 0) {
        fill();
    }
    if (index < 0 || index >= ListCount()) {
        return {};
    }
    return m_model->stringList().at(index);
}

int FileListBox::IndexOf(const QString &name) const
{
    fill();
    const QStringList &names = m_model->stringList();
    const auto at = names.indexOf(name);
    return at < 0 ? -1 : static_cast<int>(at);
}

int FileListBox::ListIndex() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void FileListBox::setListIndex(int index)
{
    if (index != 0) {
        fill();
    }
    if (index < 0 || index >= ListCount()) {
        selectionModel()->clearSelection();
        setCurrentIndex(QModelIndex());
        return;
    }
    const QModelIndex item = m_model->index(index);
    selectionModel()->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect);
    scrollTo(item);
    emit Click();
}

int FileListBox::TopIndex() const
{
    const QModelIndex top = indexAt(QPoint(2, 2));
    return top.isValid() ? top.row() : 0;
}

bool FileListBox::Selected(int index) const
{
    if (index != 0) {
        fill();
    }
    return index >= 0 && index < ListCount() && selectionModel()->isSelected(m_model->index(index));
}

void FileListBox::setSelected(int index, bool selected)
{
    fill();
    if (index < 0 || index >= ListCount()) {
        return;
    }
    const QModelIndex item = m_model->index(index);
    if (selected) {
        selectionModel()->setCurrentIndex(item, QItemSelectionModel::Select);
        scrollTo(item);
        emit Click();
    } else {
        selectionModel()->select(item, QItemSelectionModel::Deselect);
    }
}

int FileListBox::rowHeight() const
{
    const int h = sizeHintForRow(0);
    return h > 0 ? h : fontMetrics().height();
}

QRect FileListBox::itemRect(int index) const
{
    fill();
    if (index >= 0 && index < ListCount()) {
        return visualRect(m_model->index(index)).translated(viewport()->pos());
    }
    // Rows past the last entry continue at the same pitch.
    const int pitch = rowHeight();
    return QRect(0, viewport()->y() + (index - TopIndex()) * pitch, viewport()->width(), pitch);
}

void FileListBox::setTwipsPerPixel(float x, float y)
{
    m_twipsX = x;
    m_twipsY = y;
}

float FileListBox::twipsX() const
{
    return m_twipsX > 0 ? m_twipsX : ScreenTwipsPerPixelX();
}

float FileListBox::twipsY() const
{
    return m_twipsY > 0 ? m_twipsY : ScreenTwipsPerPixelY();
}

void FileListBox::mousePressEvent(QMouseEvent *event)
{
    fill();
    // Positions are measured inside the list's frame, where its rows start.
    const QPointF inList = event->position();
    const int button = ARButton::buttonCode(event->button());
    const int shift = ARButton::shiftCode(event->modifiers());
    if (event->button() == Qt::LeftButton) {
        QListView::mousePressEvent(event);
        if (indexAt(event->position().toPoint()).isValid()) {
            emit Click();
        }
    } else {
        // A right press leaves the selection as it is, so several files reach the menu.
        event->accept();
    }
    emit MouseDown(button, shift, static_cast<float>(inList.x()) * twipsX(), static_cast<float>(inList.y()) * twipsY());
}

void FileListBox::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF inList = event->position();
    emit MouseMove(ARButton::buttonCode(event->buttons()), ARButton::shiftCode(event->modifiers()),
                   static_cast<float>(inList.x()) * twipsX(), static_cast<float>(inList.y()) * twipsY());
    // No rubber-band selection: a left drag starts moving files instead.
    if (!(event->buttons() & Qt::LeftButton)) {
        QListView::mouseMoveEvent(event);
    }
}

void FileListBox::keyPressEvent(QKeyEvent *event)
{
    fill();
    const int before = ListIndex();
    const QItemSelection selectedBefore = selectionModel()->selection();
    QListView::keyPressEvent(event);
    if (ListIndex() != before || selectionModel()->selection() != selectedBefore) {
        emit Click();
    }
}
