// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "panel/FileListRules.h"
#include "panel/SortOrder.h"

#include <QFutureWatcher>
#include <QListView>

#include <optional>

class QStringListModel;

// The list of a folder's picture files: several entries can be selected (Shift and Ctrl with
// the mouse and the keys). Click is reported when the user selects with the mouse or the keys,
// and when code sets ListIndex or selects an entry, as the windows' handlers expect.
class FileListBox : public QListView
{
    Q_OBJECT
public:
    explicit FileListBox(QWidget *parent = nullptr);

    // Points the list at a folder and reads it; false, with the list as it was, when the folder
    // cannot be read.
    bool setPath(const QString &folder);
    [[nodiscard]] QString Path() const { return m_path; }
    // Pattern such as "*.bmp;*.jpg"; "*.zzz" lists nothing. Re-reads the folder.
    void setPattern(const QString &pattern);
    [[nodiscard]] QString Pattern() const { return m_pattern.text(); }
    // The order of the entries; the folder is read again in it.
    void setSortOrder(SortOrder order);
    [[nodiscard]] SortOrder sortOrder() const { return m_order; }
    // Every name the list holds, in its order.
    [[nodiscard]] QStringList names() const;

    // Reads the folder again; false when it can no longer be read (the list is then empty).
    bool Refresh();

    // A folder read ahead at start shows its first name before the rest is sorted: the list
    // holds that one name until then, and anything that needs another name (a key, a click,
    // any entry but the first) waits for the rest. Filled is emitted once it is in.
    [[nodiscard]] bool filling() const { return m_ahead.has_value(); }
    // Meanwhile, the names known already: the first and the few right after it, in order.
    [[nodiscard]] QStringList leadingNames() const { return m_ahead ? m_ahead->leading() : QStringList(); }

    // Counts the names still being sorted too.
    [[nodiscard]] int ListCount() const;
    // The name as read from the folder (see common/FileNames.h); the list shows its DisplayName.
    [[nodiscard]] QString List(int index) const;
    // The focused entry, or -1.
    [[nodiscard]] int ListIndex() const;
    void setListIndex(int index);
    [[nodiscard]] QString FileName() const { return List(ListIndex()); }
    // The first entry that is exactly `name`, or -1.
    [[nodiscard]] int IndexOf(const QString &name) const;
    [[nodiscard]] int TopIndex() const;
    [[nodiscard]] bool Selected(int index) const;
    void setSelected(int index, bool selected);
    [[nodiscard]] int rowHeight() const;
    [[nodiscard]] QRect itemRect(int index) const;

    // Twips per pixel of the coordinates that the mouse events report.
    void setTwipsPerPixel(float x, float y);

signals:
    void Click();
    void Filled();
    void PathChange();
    void MouseDown(int Button, int Shift, float X, float Y);
    void MouseMove(int Button, int Shift, float X, float Y);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool load(const QString &folder);
    // Puts in the names of a folder read ahead that were still being sorted.
    void fill() const;
    [[nodiscard]] float twipsX() const;
    [[nodiscard]] float twipsY() const;

    QStringListModel *m_model;
    mutable std::optional<FolderReadAhead> m_ahead;
    int m_aheadCount = 0;
    QFutureWatcher<void> *m_sortWatch;
    QString m_path;
    FilePattern m_pattern;
    SortOrder m_order;
    float m_twipsX = 0;
    float m_twipsY = 0;
};
