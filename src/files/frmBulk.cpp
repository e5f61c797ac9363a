// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/frmBulk.h"

#include "common/FileNames.h"
#include "common/ScreenMetrics.h"
#include "common/SharedState.h"
#include "common/Utilities.h"
#include "common/platform/AppPaths.h"
#include "common/platform/Dialogs.h"
#include "controls/ARButton.h"
#include "controls/WindowLife.h"
#include "files/CommandTargets.h"
#include "files/FileListOps.h"
#include "files/Renaming.h"
#include "panel/FileListRules.h"

#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <vector>

namespace {
// Design client size in twips; the preview of the names goes below it.
constexpr double kWidthTwips = 5610;
constexpr double kHeightTwips = 3090;
constexpr int kPreviewHeight = 150;

// The selected entries of the file list in list order, each with its new name.
std::vector<BatchRename> SelectedWithNewNames(const FileListOps &files, BulkRule rule, const BulkTexts &texts)
{
    std::vector<BatchRename> plan;
    if (!files.listPresent()) {
        return plan;
    }
    const ListSnapshot list = files.listSnapshot();
    int k = 0;
    for (int i = 0; i < list.names.size(); ++i) {
        if (list.selected.at(i)) {
            BatchRename r;
            r.oldName = list.names.at(i);
            r.newName = BulkNewName(rule, r.oldName, texts, ++k);
            plan.push_back(r);
        }
    }
    return plan;
}
} // namespace

frmBulk::frmBulk(FileListOps &list, QWidget *parent)
    : QDialog(parent)
    , m_list(list)
    , Label1(new QLabel(QStringLiteral("Replace"), this))
    , txtOldString(new QLineEdit(this))
    , Label2(new QLabel(QStringLiteral("with"), this))
    , txtNewString(new QLineEdit(this))
    , Label3(new QLabel(QStringLiteral("Append"), this))
    , txtAppend(new QLineEdit(this))
    , Label5(new QLabel(QStringLiteral("New Name"), this))
    , txtComplete(new QLineEdit(this))
    , Label4(new QLabel(QStringLiteral("-"), this))
    , cmbComplete(new QComboBox(this))
    , optReplace(new QRadioButton(QStringLiteral("Replace string"), this))
    , optAddFront(new QRadioButton(QStringLiteral("Append to Front"), this))
    , optAddEnd(new QRadioButton(QStringLiteral("Append to End"), this))
    , optComplete(new QRadioButton(QStringLiteral("Complete Rename"), this))
    , cmdRename(new ARButton(this))
    , cmdCancel(new ARButton(this))
    , lstPreview(new QTreeWidget(this))
    , m_previewDelay(new QTimer(this))
{
    const std::pair<QWidget *, const char *> names[] = {
        {txtOldString, "txtOldString"}, {txtNewString, "txtNewString"}, {txtAppend, "txtAppend"},
        {txtComplete, "txtComplete"},   {cmbComplete, "cmbComplete"},   {optReplace, "optReplace"},
        {optAddFront, "optAddFront"},   {optAddEnd, "optAddEnd"},       {optComplete, "optComplete"},
        {cmdRename, "cmdRename"},       {cmdCancel, "cmdCancel"},       {lstPreview, "lstPreview"}};
    for (const auto &[control, name] : names) {
        control->setObjectName(QLatin1String(name));
    }
    setObjectName(QStringLiteral("frmBulk"));
    setWindowTitle(QStringLiteral("Vantrel Viewer Multiple File Renaming"));
    setModal(true);
    // The dialog's measures are those of the small system font it was laid out in.
    QFont small(QStringLiteral("Liberation Sans"));
    small.setPointSizeF(8.25);
    setFont(small);
    cmbComplete->setEditable(true);
    optReplace->setChecked(true);
    for (QLabel *label : {Label1, Label2, Label3, Label5}) {
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    Label4->setAlignment(Qt::AlignCenter);
    lstPreview->setColumnCount(2);
    lstPreview->setHeaderLabels({QStringLiteral("Old name"), QStringLiteral("New name")});
    lstPreview->setRootIsDecorated(false);
    lstPreview->setSelectionMode(QAbstractItemView::NoSelection);
    lstPreview->setFocusPolicy(Qt::NoFocus);
    // Plain push buttons in the system's button colours; neither is a default button, so Return
    // in a text box renames nothing.
    cmdRename->setCaption(QStringLiteral("Rename"));
    cmdCancel->setCaption(QStringLiteral("Cancel"));
    for (ARButton *button : {cmdRename, cmdCancel}) {
        constexpr auto face = static_cast<std::int32_t>(0x8000000Fu);
        constexpr auto text = static_cast<std::int32_t>(0x80000012u);
        button->setBackColor(face);
        button->setBackColorOnMouse(face);
        button->setForeColor(text);
        button->setForeColorOnMouse(text);
        button->setForeColorOnFocus(text);
    }
    // The two etched lines across the dialog.
    for (QFrame *&line : m_separators) {
        line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
    }
    setTabOrder(txtOldString, txtNewString);
    setTabOrder(txtNewString, txtAppend);
    setTabOrder(txtAppend, txtComplete);
    setTabOrder(txtComplete, cmbComplete);

    connect(optReplace, &QRadioButton::clicked, this, &frmBulk::optReplace_Click);
    connect(optAddFront, &QRadioButton::clicked, this, &frmBulk::optAddFront_Click);
    connect(optAddEnd, &QRadioButton::clicked, this, &frmBulk::optAddEnd_Click);
    connect(optComplete, &QRadioButton::clicked, this, &frmBulk::optComplete_Click);
    connect(cmdRename, &ARButton::Click, this, &frmBulk::cmdRename_Click);
    connect(cmdCancel, &ARButton::Click, this, &frmBulk::cmdCancel_Click);
    for (ARButton *button : {cmdRename, cmdCancel}) {
        connect(button, &ARButton::MouseUp, this, [](int Button, int, float, float) {
            if (Button != 1) {
                State().ButtonRightClick = true;
            }
        });
    }
    for (QLineEdit *edit : {txtOldString, txtNewString, txtAppend, txtComplete}) {
        connect(edit, &QLineEdit::textChanged, this, &frmBulk::schedulePreview);
    }
    connect(cmbComplete, &QComboBox::currentTextChanged, this, &frmBulk::schedulePreview);
    // The preview follows typing once it pauses; its checks of the folder run off the interface
    // thread, so a large selection never holds a keystroke up.
    m_previewDelay->setSingleShot(true);
    m_previewDelay->setInterval(120);
    connect(m_previewDelay, &QTimer::timeout, this, &frmBulk::updatePreview);
    connect(&m_previewPlan, &QFutureWatcherBase::finished, this, &frmBulk::showPreview);
}

void frmBulk::Form_Load()
{
    const auto tx = ScreenTwipsPerPixelX();
    const auto ty = ScreenTwipsPerPixelY();
    auto place = [&](QWidget *w, double left, double top, double width, double height) {
        w->setGeometry(TwipsRect(left, top, width, height, tx, ty));
    };
    place(Label1, 120, 165, 855, 255);
    place(txtOldString, 1080, 120, 1335, 285);
    place(Label2, 360, 525, 615, 255);
    place(txtNewString, 1080, 480, 1335, 285);
    place(Label3, 240, 1005, 735, 255);
    place(txtAppend, 1080, 960, 1335, 285);
    place(Label5, 120, 1845, 855, 255);
    place(txtComplete, 1080, 1800, 1335, 315);
    place(Label4, 2400, 1845, 255, 255);
    place(cmbComplete, 2640, 1800, 735, 315);
    place(optReplace, 3600, 120, 1815, 255);
    place(optAddFront, 3600, 960, 1815, 255);
    place(optAddEnd, 3600, 1320, 1815, 255);
    place(optComplete, 3600, 1800, 1815, 255);
    place(cmdRename, 4560, 2280, 975, 315);
    place(cmdCancel, 4560, 2640, 975, 315);
    m_separators[0]->setGeometry(0, TwipsToPixels(840, ty), TwipsToPixels(6000, tx), 2);
    m_separators[1]->setGeometry(0, TwipsToPixels(1680, ty), TwipsToPixels(6000, tx), 2);
    const int width = TwipsToPixels(kWidthTwips, tx);
    const int height = TwipsToPixels(kHeightTwips, ty);
    lstPreview->setGeometry(8, height, width - 16, kPreviewHeight - 8);
    lstPreview->header()->resizeSection(0, (width - 16) / 2);
    setFixedSize(width, height + kPreviewHeight);

    BulkFormReady = false;
    cmbComplete->clear();
    cmbComplete->addItems({QStringLiteral("1"), QStringLiteral("01"), QStringLiteral("001"), QStringLiteral("0001")});
    if (optAddFront->isChecked()) {
        optAddFront_Click();
    } else if (optAddEnd->isChecked()) {
        optAddEnd_Click();
    } else if (optReplace->isChecked()) {
        optReplace_Click();
    } else if (optComplete->isChecked()) {
        optComplete_Click();
    }
    BulkFormReady = true;
    updatePreview();
}

void frmBulk::Form_Unload() {}

void frmBulk::reject()
{
    QDialog::reject();
    unload();
}

void frmBulk::setActive(QWidget *input, bool active)
{
    input->setEnabled(active);
    if (auto *edit = qobject_cast<QLineEdit *>(input)) {
        edit->setReadOnly(!active);
    }
    QPalette pal = input->palette();
    pal.setColor(QPalette::Base, palette().color(active ? QPalette::Base : QPalette::Button));
    input->setPalette(pal);
}

void frmBulk::applyOption(QWidget *focus, std::initializer_list<QWidget *> activeInputs)
{
    for (QWidget *input :
         {static_cast<QWidget *>(txtOldString), static_cast<QWidget *>(txtNewString), static_cast<QWidget *>(txtAppend),
          static_cast<QWidget *>(txtComplete), static_cast<QWidget *>(cmbComplete)}) {
        setActive(input, std::find(activeInputs.begin(), activeInputs.end(), input) != activeInputs.end());
    }
    cmbComplete->setEditText(QStringLiteral("01"));
    if (BulkFormReady) {
        focus->setFocus();
    }
    updatePreview();
}

void frmBulk::optReplace_Click()
{
    applyOption(txtOldString, {txtOldString, txtNewString});
}

void frmBulk::optAddFront_Click()
{
    applyOption(txtAppend, {txtAppend});
}

void frmBulk::optAddEnd_Click()
{
    applyOption(txtAppend, {txtAppend});
}

void frmBulk::optComplete_Click()
{
    applyOption(txtComplete, {txtComplete, cmbComplete});
}

BulkRule frmBulk::rule() const
{
    if (optAddFront->isChecked()) {
        return BulkRule::AddFront;
    }
    if (optAddEnd->isChecked()) {
        return BulkRule::AddEnd;
    }
    if (optComplete->isChecked()) {
        return BulkRule::Complete;
    }
    return BulkRule::Replace;
}

BulkTexts frmBulk::texts() const
{
    return BulkTexts{txtOldString->text(), txtNewString->text(), txtAppend->text(), txtComplete->text(),
                     cmbComplete->currentText()};
}

void frmBulk::schedulePreview()
{
    m_previewDelay->start();
}

void frmBulk::updatePreview()
{
    if (!BulkFormReady || !m_list.listPresent()) {
        lstPreview->clear();
        return;
    }
    if (m_previewPlan.isRunning()) {
        // The plan under way is for texts already changed: plan again once it is done.
        m_previewDelay->start();
        return;
    }
    const QString folder = m_list.currentFolder();
    m_previewPlan.setFuture(QtConcurrent::run(
        [folder, plan = SelectedWithNewNames(m_list, rule(), texts())] { return PlanRenameBatch(folder, plan); }));
}

void frmBulk::showPreview()
{
    lstPreview->clear();
    if (!BulkFormReady) {
        return;
    }
    for (const BatchRename &r : m_previewPlan.result()) {
        QString shown = DisplayName(r.newName);
        switch (r.outcome) {
        case BatchRename::Outcome::Unchanged:
            shown = QStringLiteral("(unchanged)");
            break;
        case BatchRename::Outcome::Exists:
            shown += QStringLiteral("  (name taken: stays)");
            break;
        case BatchRename::Outcome::Invalid:
            shown += QStringLiteral("  (not a file name: stays)");
            break;
        default:
            break;
        }
        auto *item = new QTreeWidgetItem(lstPreview, {DisplayName(r.oldName), shown});
        item->setToolTip(1, r.problem);
    }
}

void frmBulk::cmdRename_Click()
{
    SharedState &s = State();
    if (TakeButtonRightClick()) {
        return;
    }
    SetMouseCursor(QStringLiteral("WAIT"));
    FileListOps &side = m_list;
    side.CountSelected();
    const QString folder = side.currentFolder();
    const std::vector<BatchRename> done = RenameBatch(folder, SelectedWithNewNames(m_list, rule(), texts()));
    for (const BatchRename &r : done) {
        const QString head = QStringLiteral("Cannot rename '") + DisplayName(r.oldName) + QStringLiteral("' as '") +
                             DisplayName(r.newName) + QStringLiteral("'. ");
        if (r.outcome == BatchRename::Outcome::Exists) {
            MsgBox(head + QStringLiteral("File name already exists."), vbCritical);
        } else if (r.outcome == BatchRename::Outcome::Failed) {
            MsgBox(head + QStringLiteral("Another file has this as it's MS-DOS name."), vbCritical);
        } else if (r.outcome == BatchRename::Outcome::Invalid) {
            MsgBox(head + r.problem, vbCritical);
        }
    }
    unload();
    int kept = 0;
    QStringList renamed;
    QList<QPair<QString, QString>> names;
    for (const BatchRename &r : done) {
        if (r.outcome != BatchRename::Outcome::Renamed) {
            ++kept;
            continue;
        }
        renamed << r.newName;
        names.append({r.oldName, r.newName});
    }
    emit undoStepDone(RenameStep(UndoStep::Kind::BatchRename, folder, names));
    side.refreshList();
    side.selectNamesQuietly(renamed);
    SetDefaultMouseCursor();
    if (kept == 0) {
        MsgBox(QStringLiteral("Batch renaming successfully completed"), vbInformation);
    } else if (kept == 1) {
        MsgBox(QStringLiteral("Batch renaming completed. However, one  file could not be renamed because it did not "
                              "contain the specified text string."),
               vbExclamation);
    } else {
        MsgBox(QStringLiteral("Batch renaming completed. However, ") + QString::number(kept) +
                   QStringLiteral(" files could not be renamed because they did not contain the specified text "
                                  "string."),
               vbExclamation);
    }
    s.ButtonRightClick = false;
}

void frmBulk::cmdCancel_Click()
{
    if (TakeButtonRightClick()) {
        return;
    }
    unload();
}

void frmBulk::unload()
{
    if (!IsUnloaded(this)) {
        Form_Unload();
        MarkUnloaded(this);
    }
}
