// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "files/RenameRules.h"

#include "files/Renaming.h"
#include "files/UndoJournal.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QTimer>

#include <array>
#include <vector>

class ARButton;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QRadioButton;
class FileListOps;
class QTreeWidget;

// Renames the files selected in the file list in one run, by one of four rules, with the old and
// new names shown side by side before anything is renamed. Modal; unloads itself when done or
// dismissed (Escape, the close button), so every opening starts afresh.
class frmBulk : public QDialog
{
    Q_OBJECT
public:
    // Renames the entries selected in `list`.
    explicit frmBulk(FileListOps &list, QWidget *parent = nullptr);

    void Form_Load();
    void Form_Unload();

    void optReplace_Click();
    void optAddFront_Click();
    void optAddEnd_Click();
    void optComplete_Click();
    void cmdRename_Click();
    void cmdCancel_Click();

    // The chosen rule and the texts as they stand.
    [[nodiscard]] BulkRule rule() const;
    [[nodiscard]] BulkTexts texts() const;

    void reject() override;

signals:
    // The renames done, as one step that can be taken back.
    void undoStepDone(const UndoStep &step);

private:
    FileListOps &m_list;
    QLabel *Label1;
    QLineEdit *txtOldString;
    QLabel *Label2;
    QLineEdit *txtNewString;
    QLabel *Label3;
    QLineEdit *txtAppend;
    QLabel *Label5;
    QLineEdit *txtComplete;
    QLabel *Label4;
    QComboBox *cmbComplete;
    QRadioButton *optReplace;
    QRadioButton *optAddFront;
    QRadioButton *optAddEnd;
    QRadioButton *optComplete;
    ARButton *cmdRename;
    ARButton *cmdCancel;
    QTreeWidget *lstPreview;

    void setActive(QWidget *input, bool active);
    void applyOption(QWidget *focus, std::initializer_list<QWidget *> activeInputs);
    void schedulePreview();
    void updatePreview();
    void showPreview();
    void unload();

    bool BulkFormReady = false;
    std::array<QFrame *, 2> m_separators{};
    QTimer *m_previewDelay;
    QFutureWatcher<std::vector<BatchRename>> m_previewPlan;
};
