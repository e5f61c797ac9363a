// SPDX-License-Identifier: GPL-2.0-or-later
#include "panel/frmSide.h"

#include "common/CommandQueue.h"
#include "common/FileNames.h"
#include "common/FolderNames.h"
#include "common/KeyCodes.h"
#include "common/ScreenMetrics.h"
#include "common/SettingsLoad.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/StoredValues.h"
#include "common/Utilities.h"
#include "common/picture/Picture.h"
#include "common/platform/AppPaths.h"
#include "common/platform/Dialogs.h"
#include "common/platform/ScreenSaver.h"
#include "common/platform/WindowStacking.h"
#include "controls/ARButton.h"
#include "controls/PictureImage.h"
#include "files/FileDrag.h"
#include "files/FileMenuRules.h"
#include "files/FileOperations.h"
#include "files/FileTransfer.h"
#include "files/UndoJournal.h"
#include "panel/FileListBox.h"
#include "panel/FileListRules.h"
#include "show/ScreenSaverRun.h"
#include "show/SlideShow.h"
#include "viewer/PictureViewOps.h"
#include "viewer/ThumbnailRules.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFutureWatcher>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <functional>
#include <memory>
#include <utility>

namespace {

constexpr std::int32_t kBlack = 0x000000;
constexpr std::int32_t kWhite = 0xFFFFFF;
constexpr std::int32_t kRed = 0x0000FF;
constexpr std::int32_t kDarkRed = 0x0000C0;
constexpr std::int32_t kGrey = 0xC0C0C0;
constexpr std::int32_t kPanel = 0xF0F0F0;
constexpr std::int32_t kFolderButton = 0xD0D0D0;
constexpr std::int32_t kButtonText = static_cast<std::int32_t>(0x80000012u);

void styleButton(ARButton *b, std::int32_t back, std::int32_t backOver, std::int32_t text, std::int32_t textOver,
                 std::int32_t textFocus)
{
    b->setBackColor(back);
    b->setBackColorOnMouse(backOver);
    b->setForeColor(text);
    b->setForeColorOnMouse(textOver);
    b->setForeColorOnFocus(textFocus);
}

QFont panelFont(bool bold = false)
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPointSizeF(8.25);
    f.setBold(bold);
    return f;
}

// Both windows take no command while a page is made, with the busy pointer. The page's end may
// never come (a second start or the end of the program drops the page), so the windows are given
// back when the hold goes, however that happens; only the newest hold gives them back, so a page
// that replaces another keeps them held.
class WindowsHold
{
public:
    WindowsHold(std::initializer_list<QWidget *> windows, std::function<void()> afterwards)
        : m_generation(++generation())
        , m_afterwards(std::move(afterwards))
    {
        SetMouseCursor(QStringLiteral("WAIT"));
        for (QWidget *window : windows) {
            m_windows.append(window);
            window->setEnabled(false);
        }
    }
    ~WindowsHold()
    {
        if (m_generation != generation()) {
            return;
        }
        SetDefaultMouseCursor();
        for (const QPointer<QWidget> &window : std::as_const(m_windows)) {
            if (!window.isNull()) {
                window->setEnabled(true);
            }
        }
        m_afterwards();
    }
    WindowsHold(const WindowsHold &) = delete;
    WindowsHold &operator=(const WindowsHold &) = delete;

private:
    static int &generation()
    {
        static int newest = 0;
        return newest;
    }
    int m_generation;
    QList<QPointer<QWidget>> m_windows;
    std::function<void()> m_afterwards;
};

} // namespace

frmSide::frmSide(PictureViewOps &view, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
    , m_view(view)
    , cmdQuit(new ARButton(this))
    , cmdSettings(new ARButton(this))
    , cmdThumb(new ARButton(this))
    , cmdHelp(new ARButton(this))
    , cmdMinimize(new ARButton(this))
    , cmdSlide(new ARButton(this))
    , cmbFolders(new FlatComboBox(this))
    , File1(new FileListBox(this))
    , lstFolders(new QListWidget(this))
    , txtUnavailable(new QLineEdit(this))
    , imgLogo(new QLabel(this))
    , imgFileCounter(new QLabel(this))
    , lblFileCounter(new QLabel(this))
    , imgHand(new PictureImage(this))
    , Label1(new QLabel(this))
    , lblKB(new QLabel(this))
    , tmrList(new QTimer(this))
    , m_show(new SlideShow(RandomUnit, this))
    , m_tip(new QLabel(this, Qt::ToolTip | Qt::FramelessWindowHint))
    , m_notice(new QLabel(this))
    , m_noticeTimer(new QTimer(this))
    , m_firstStartHint(new QLabel(this))
    , m_watcher(new FolderWatcher(this))
    , m_watchRetry(new QTimer(this))
{
    setObjectName(QStringLiteral("frmSide"));
    setWindowTitle(AppName);
    setFont(panelFont());
    setMouseTracking(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ColourFromValue(kPanel));
    setPalette(pal);
    setAutoFillBackground(true);

    for (auto &button : cmdFolder) {
        button = new ARButton(this);
    }
    // Named so tests and accessibility tools find each control.
    const std::pair<QWidget *, const char *> names[] = {{cmdQuit, "cmdQuit"},
                                                        {cmdSettings, "cmdSettings"},
                                                        {cmdThumb, "cmdThumb"},
                                                        {cmdHelp, "cmdHelp"},
                                                        {cmdMinimize, "cmdMinimize"},
                                                        {cmdSlide, "cmdSlide"},
                                                        {cmbFolders, "cmbFolders"},
                                                        {File1, "File1"},
                                                        {lstFolders, "lstFolders"},
                                                        {imgLogo, "imgLogo"},
                                                        {txtUnavailable, "txtUnavailable"},
                                                        {imgFileCounter, "imgFileCounter"},
                                                        {imgHand, "imgHand"},
                                                        {lblFileCounter, "lblFileCounter"},
                                                        {Label1, "Label1"},
                                                        {lblKB, "lblKB"}};
    tmrList->setObjectName(QStringLiteral("tmrList"));
    for (const auto &[control, name] : names) {
        control->setObjectName(QLatin1String(name));
    }
    for (std::size_t i = 0; i < cmdFolder.size(); ++i) {
        cmdFolder.at(i)->setObjectName(QStringLiteral("cmdFolder_%1").arg(i));
    }
    m_tip->setObjectName(QStringLiteral("TitleTip"));
    m_firstStartHint->setObjectName(QStringLiteral("FirstStartHint"));
    m_firstStartHint->setText(QStringLiteral("No picture folder yet.\n\nPress Settings, find a folder of pictures "
                                             "in the folder browser and press the green plus."));
    m_firstStartHint->setWordWrap(true);
    m_firstStartHint->setAlignment(Qt::AlignCenter);
    m_firstStartHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_firstStartHint->hide();
    m_notice->setObjectName(QStringLiteral("FilingNotice"));
    m_notice->setAutoFillBackground(true);
    m_notice->hide();
    m_noticeTimer->setSingleShot(true);
    m_noticeTimer->setInterval(2000);
    connect(m_noticeTimer, &QTimer::timeout, m_notice, &QWidget::hide);
    m_watchRetry->setSingleShot(true);
    m_watchRetry->setInterval(250);

    cmdQuit->setCaption(QStringLiteral("Quit"));
    cmdQuit->setToolTip(QStringLiteral("Quit"));
    cmdQuit->setProperty(kEndsProgram, true); // honoured even in the middle of a move or copy
    styleButton(cmdQuit, kGrey, kRed, kBlack, kWhite, kWhite);
    cmdSettings->setCaption(QStringLiteral("Settings"));
    styleButton(cmdSettings, kGrey, kGrey, kBlack, kRed, kBlack);
    cmdThumb->setCaption(QStringLiteral("Thumbnails"));
    styleButton(cmdThumb, kGrey, kGrey, kBlack, kRed, kBlack);
    cmdHelp->setCaption(QStringLiteral("help"));
    cmdHelp->setToolTip(QStringLiteral("Help"));
    styleButton(cmdHelp, kPanel, kPanel, kButtonText, kButtonText, kButtonText);
    cmdMinimize->setCaption(QStringLiteral("-"));
    cmdMinimize->setToolTip(QStringLiteral("Minimize"));
    {
        QFont f = panelFont(true);
        f.setPointSizeF(13.5);
        cmdMinimize->setFont(f);
    }
    styleButton(cmdMinimize, kGrey, kGrey, kButtonText, kRed, kButtonText);
    cmdSlide->setCaption(QStringLiteral("Slide Show"));
    styleButton(cmdSlide, kGrey, kGrey, kBlack, kRed, kBlack);
    for (ARButton *b : {cmdQuit, cmdSettings, cmdThumb, cmdHelp, cmdMinimize, cmdSlide}) {
        b->setShowFocus(false);
    }
    cmdQuit->setPictures(LoadResPicture(QStringLiteral("QUIT")), LoadResPicture(QStringLiteral("QUITDOWN")),
                         LoadResPicture(QStringLiteral("QUITON")));
    cmdHelp->setPictures(LoadResPicture(QStringLiteral("HELP")), LoadResPicture(QStringLiteral("HELPDOWN")),
                         LoadResPicture(QStringLiteral("HELPON")));
    for (ARButton *b : cmdFolder) {
        styleButton(b, kFolderButton, kFolderButton, kBlack, kDarkRed, kDarkRed);
    }

    txtUnavailable->setText(QStringLiteral("Folder Unavailable"));
    txtUnavailable->setAlignment(Qt::AlignCenter);
    txtUnavailable->setReadOnly(true);
    txtUnavailable->setAutoFillBackground(true);
    txtUnavailable->hide();
    lstFolders->hide();
    cmbFolders->setEditable(false);
    imgLogo->setPixmap(LoadResPicture(QStringLiteral("LOGO")));
    lblFileCounter->setText(QStringLiteral("0 Files"));
    lblKB->setText(QStringLiteral("0 Kb"));
    imgHand->setToolTip(QStringLiteral("Manual Slide Advance"));
    imgHand->setClickOnAnyButton(true);
    Label1->setFont(panelFont(true));
    m_tip->setAttribute(Qt::WA_ShowWithoutActivating);
    m_tip->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_tip->setAutoFillBackground(true);
    {
        QPalette tipPalette = m_tip->palette();
        tipPalette.setColor(QPalette::Window, tipPalette.color(QPalette::ToolTipBase));
        tipPalette.setColor(QPalette::WindowText, tipPalette.color(QPalette::ToolTipText));
        m_tip->setPalette(tipPalette);
    }
    m_tip->hide();
    tmrList->setInterval(100);
    tmrList->setSingleShot(true);

    connect(cmdQuit, &ARButton::Click, this, &frmSide::cmdQuit_Click);
    connect(cmdMinimize, &ARButton::Click, this, &frmSide::cmdMinimize_Click);
    connect(cmdHelp, &ARButton::Click, this, &frmSide::cmdHelp_Click);
    connect(cmdSlide, &ARButton::Click, this, &frmSide::cmdSlide_Click);
    connect(cmdThumb, &ARButton::Click, this, &frmSide::cmdThumb_click);
    connect(cmdSettings, &ARButton::Click, this, &frmSide::cmdSettings_Click);
    for (ARButton *b : {cmdQuit, cmdSettings, cmdThumb, cmdHelp, cmdMinimize, cmdSlide}) {
        connect(b, &ARButton::MouseUp, this, [this](int Button, int, float, float) { commandButton_MouseUp(Button); });
    }
    for (int i = 0; i < 6; ++i) {
        ARButton *b = cmdFolder.at(static_cast<std::size_t>(i));
        connect(b, &ARButton::Click, this, [this, i] { cmdFolder_Click(i); });
        connect(b, &ARButton::MouseDown, this,
                [this, i](int Button, int Shift, float X, float Y) { cmdFolder_MouseDown(i, Button, Shift, X, Y); });
        connect(b, &ARButton::MouseUp, this,
                [this, i](int Button, int Shift, float X, float Y) { cmdFolder_MouseUp(i, Button, Shift, X, Y); });
        connect(b, &ARButton::MouseMove, this,
                [this, i](int Button, int Shift, float X, float Y) { cmdFolder_MouseMove(i, Button, Shift, X, Y); });
        connect(b, &ARButton::DragOver, this,
                [this, i](QObject *, float, float, int State) { cmdFolder_DragOver(i, State); });
        // The drop is carried out once the drag has finished, not inside it: it may ask questions.
        connect(
            b, &ARButton::DragDrop, this, [this, i](QObject *, float, float) { cmdFolder_DragDrop(i); },
            Qt::QueuedConnection);
    }
    connect(cmbFolders, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) {
            cmbFolders_Click();
        }
    });
    connect(lstFolders, &QListWidget::itemDoubleClicked, this, [this] { lstFolders_DblClick(); });
    connect(tmrList, &QTimer::timeout, lstFolders, &QWidget::hide);
    connect(m_show, &SlideShow::due, this, &frmSide::tmrSlide_Timer);
    connect(m_show, &SlideShow::slideWanted, this, [this](int index) { File1->setListIndex(index - 1); });
    connect(m_show, &SlideShow::aheadWanted, this,
            [this](int index) { m_view.prefetch({JoinPath(File1->Path(), File1->List(index - 1))}); });
    connect(imgHand, &PictureImage::MouseDown, this,
            [this](int Button, int, float, float) { imgHand_MouseDown(Button); });
    connect(imgHand, &PictureImage::MouseUp, this, [this](int Button, int, float, float) { imgHand_MouseUp(Button); });
    connect(imgHand, &PictureImage::Click, this, &frmSide::imgHand_Click);
    connect(File1, &FileListBox::Click, this, &frmSide::File1_Click);
    connect(File1, &FileListBox::PathChange, this, &frmSide::File1_PathChange);
    connect(File1, &FileListBox::Filled, this, [this] {
        updateFileCounter();
        // The picture the list chose is shown already, or still decoding for the start; its
        // neighbours are known only now.
        if (m_view.viewPresent() && File1->ListIndex() >= 0 &&
            JoinPath(File1->Path(), File1->FileName()) == State().CurrentFile) {
            prefetchNeighbours();
        }
    });
    connect(File1, &FileListBox::MouseDown, this, &frmSide::File1_MouseDown);
    connect(File1, &FileListBox::MouseMove, this, &frmSide::File1_MouseMove);
    connect(m_watcher, &FolderWatcher::changed, this, &frmSide::folderChanged);
    connect(m_watchRetry, &QTimer::timeout, this, [this] { folderChanged(FolderChanges()); });
}

void frmSide::Form_Load()
{
    m_layout = ComputePanelLayout(State().ScreenHeightPx);
    applyLayout();
    Label1->setText(QStringLiteral("Dimensions:\nFile Size:"));
    // Every key pressed anywhere in the panel also reaches the viewer's key handler.
    for (QWidget *child : findChildren<QWidget *>()) {
        child->installEventFilter(this);
    }
}

void frmSide::Form_Unload()
{
    m_show->stop();
    m_tip->hide();
}

void frmSide::applyLayout()
{
    const PanelLayout &l = m_layout;
    setFixedSize(l.width, l.height);
    cmdQuit->setGeometry(l.cmdQuit);
    cmdSettings->setGeometry(l.cmdSettings);
    cmdThumb->setGeometry(l.cmdThumb);
    cmdHelp->setGeometry(l.cmdHelp);
    cmdMinimize->setGeometry(l.cmdMinimize);
    cmbFolders->setGeometry(l.cmbFolders);
    File1->setGeometry(l.File1);
    m_firstStartHint->setGeometry(l.File1.adjusted(6, 0, -6, 0));
    txtUnavailable->setGeometry(l.txtUnavailable);
    imgLogo->setGeometry(l.imgLogo);
    imgFileCounter->setGeometry(l.imgFileCounter);
    lblFileCounter->setGeometry(l.lblFileCounter);
    cmdSlide->setGeometry(l.cmdSlide);
    imgHand->setGeometry(l.imgHand);
    for (std::size_t i = 0; i < cmdFolder.size(); ++i) {
        cmdFolder.at(i)->setGeometry(l.cmdFolder.at(i));
    }
    lstFolders->setGeometry(l.lstFolders);
    // Two lines of text: the labels grow downwards from their designed top.
    Label1->setGeometry(l.Label1.adjusted(0, 0, 0, 13));
    // "6000 x 4000" is wider than the designed 30 pixels: the label ends where it was designed to.
    lblKB->setGeometry(
        QRect(QPoint(l.Label1.right() + 4, l.lblKB.top()), QPoint(l.lblKB.right(), l.lblKB.bottom() + 13)));
    lblKB->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lstFolders->raise();
}

void frmSide::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(ColourFromValue(0x808080));
    p.drawLine(m_layout.Line4);
    p.setPen(Qt::white);
    p.drawLine(m_layout.Line3White);
    p.drawLine(m_layout.ButtonLine);
    p.setPen(ColourFromValue(0x404040));
    p.drawLine(m_layout.Line3Dark);
}

void frmSide::applyListColours()
{
    const SharedState &s = State();
    const QColor back = ColourOf(s.SlideColor, DefaultSlideColor);
    const QColor text = ColourOf(s.FontColor, DefaultFontColor);
    QPalette list = File1->palette();
    list.setColor(QPalette::Base, back);
    list.setColor(QPalette::Text, text);
    // Selected rows in the two colours swapped, so they stand out whatever colours are chosen.
    list.setColor(QPalette::Highlight, text);
    list.setColor(QPalette::HighlightedText, back);
    list.setColor(QPalette::Inactive, QPalette::Highlight, text);
    list.setColor(QPalette::Inactive, QPalette::HighlightedText, back);
    File1->setPalette(list);
    QPalette combo = cmbFolders->palette();
    combo.setColor(QPalette::Base, text);
    combo.setColor(QPalette::Button, text);
    combo.setColor(QPalette::Text, back);
    combo.setColor(QPalette::ButtonText, back);
    cmbFolders->setPalette(combo);
}

QString frmSide::currentFolderName() const
{
    return cmbFolders->currentText();
}

void frmSide::insertFolderName(int index, const QString &name)
{
    const int current = cmbFolders->currentIndex();
    {
        // Inserting moves or sets the combo box's choice; that opens nothing.
        const QSignalBlocker quiet(cmbFolders);
        cmbFolders->insertItem(index, name);
        cmbFolders->setCurrentIndex(current < 0 ? -1 : (current >= index ? current + 1 : current));
    }
    lstFolders->insertItem(index + 1, name); // after "(blank button)"
    updateFirstStartHint();
}

void frmSide::removeFolderName(int index)
{
    {
        const QSignalBlocker quiet(cmbFolders);
        cmbFolders->removeItem(index);
    }
    delete lstFolders->takeItem(index + 1);
    updateFirstStartHint();
}

void frmSide::selectFolder(int index)
{
    if (cmbFolders->currentIndex() == index) {
        cmbFolders_Click();
    } else {
        cmbFolders->setCurrentIndex(index); // opens it
    }
}

void frmSide::showNoFolder()
{
    {
        const QSignalBlocker quiet(cmbFolders);
        cmbFolders->setCurrentIndex(-1);
    }
    File1->setPattern(QStringLiteral("*.zzz"));
    File1->setPath(AppPath());
    File1->show();
    txtUnavailable->hide();
    State().FolderUnavailable = false;
    updateFileCounter();
    lblKB->clear();
    m_view.hidePicture();
    m_view.hideError();
    updateFirstStartHint();
}

void frmSide::cmdSettings_Click()
{
    SharedState &s = State();
    if (TakeButtonRightClick()) {
        return;
    }
    // The dialog starts from the colours the list shows.
    const QPalette list = File1->palette();
    s.SlideColor = ColourText(ValueFromColour(list.color(QPalette::Base)));
    s.FontColor = ColourText(ValueFromColour(list.color(QPalette::Text)));
    // The launcher's dialog may have changed these three meanwhile.
    s.SlideTime = SlideTimeFromStored(GetSetting(AppName, QStringLiteral("Settings"), QStringLiteral("SlideTime")));
    if (const auto v = ToInt16(GetSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("LogoShow")))) {
        s.LogoShow = *v;
    }
    if (const auto v = ToTruth(GetSetting(AppName, QStringLiteral("Settings"), QStringLiteral("RandomShow")))) {
        s.RandomShow = *v;
    }
    SetMouseCursor(QStringLiteral("NORMAL"));
    // Modal without a loop of its own: settingsClosed runs when the dialog says it is closed.
    emit settingsRequested();
}

void frmSide::settingsClosed()
{
    SharedState &s = State();
    if (s.SettingsChanged) {
        applySortOrder();
        applyPictureSet();
        m_show->setInterval(SlideIntervalMs(s.SlideTime));
        applyListColours();
        m_view.setBorderColour(ColourOf(s.FontColor, DefaultFontColor));
        if (s.GradientChanged) {
            GradientShow();
        }
    }
    SetDefaultMouseCursor();
    s.ButtonRightClick = false;
}

void frmSide::showOwnedBy(QWidget *owner)
{
    if (parentWidget() != owner) {
        // The owner's X window first: the panel names it as the window it belongs to (transient
        // for it), which keeps it directly above the owner under every window manager.
        owner->winId();
        setParent(owner, Qt::Tool | Qt::FramelessWindowHint);
    }
    move(0, 0);
    m_showWithOwner = true;
    if (owner->isVisible()) {
        showAboveOwner();
    }
}

void frmSide::showAboveOwner()
{
    if (!m_showWithOwner || parentWidget() == nullptr || !parentWidget()->isVisible()) {
        return;
    }
    m_showWithOwner = false;
    show();
    raise();
}

void frmSide::returnWithOwner()
{
    // Some window managers minimise an owned window along with its owner; shown still minimised,
    // it would stay off the screen.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    focusList();
}

void frmSide::ownerMinimised()
{
    m_leftWithOwner = m_leftWithOwner || isVisible();
    hide();
}

void frmSide::ownerRestored()
{
    if (m_leftWithOwner) {
        m_leftWithOwner = false;
        returnWithOwner();
    }
}

void frmSide::thumbnailSelected(const QString &name, QSize bitmapSize, bool added)
{
    if (!added) {
        refreshList();
    }
    selectNamesQuietly({name});
    const QString file = JoinPath(currentFolder(), name);
    setSizeLabel(SizeLabel(bitmapSize, std::max<qint64>(0, FileSizeOf(file))));
}

void frmSide::focusList()
{
    if (isVisible()) {
        activateWindow();
    }
    File1->setFocus();
}

void frmSide::hidePopups()
{
    lstFolders->hide();
    m_tip->hide();
}

void frmSide::applyStoredSettings()
{
    const SharedState &s = State();
    // Before a folder opens, so it is read once, in its order.
    File1->setSortOrder(StoredSortOrder(StoreReader()));
    lstFolders->addItem(QStringLiteral("(blank button)"));
    LoadFolderNames(*lstFolders);
    LoadFolderNames(*cmbFolders);
    // Colours first, so the folder that the selection below opens shows in them.
    applyListColours();
    const int current = s.Basename.isEmpty() ? -1 : cmbFolders->findText(s.Basename, Qt::MatchExactly);
    if (!s.StartPath.isEmpty()) {
        // A picture or folder given at start is shown instead of the stored folder.
        showTarget(ResolveOpenTarget(s.StartPath));
        State().StartPath.clear();
    } else if (current >= 0) {
        cmbFolders->setCurrentIndex(current); // opens the folder
    } else if (s.Basename.isEmpty()) {
        // No current folder: an empty list. A stored name that no longer names a registered
        // folder leaves the list as it is.
        File1->setPattern(QStringLiteral("*.zzz"));
        File1->setPath(AppPath());
        cmbFolders->setCurrentIndex(-1);
    }
    updateFirstStartHint();
    imgHand->setPicture(LoadResPicture(s.ManualShow ? QStringLiteral("HANDDOWN") : QStringLiteral("HANDUP")).toImage());
    for (int i = 0; i < 6; ++i) {
        cmdFolder.at(static_cast<std::size_t>(i))->setCaption(s.Caption(i));
    }
    m_show->setInterval(SlideIntervalMs(s.SlideTime));
}

ListSnapshot frmSide::listSnapshot() const
{
    ListSnapshot list;
    list.folder = File1->Path();
    const int count = File1->ListCount();
    list.names.reserve(count);
    list.selected.reserve(count);
    for (int i = 0; i < count; ++i) {
        list.names << File1->List(i);
        list.selected << File1->Selected(i);
    }
    list.focused = File1->ListIndex();
    return list;
}

QString frmSide::currentFolder() const
{
    return File1->Path();
}

QString frmSide::focusedName() const
{
    return File1->FileName();
}

int frmSide::focusedIndex() const
{
    return File1->ListIndex();
}

int frmSide::listCount() const
{
    return File1->ListCount();
}

void frmSide::refreshList()
{
    File1->Refresh();
    updateFileCounter();
}

void frmSide::selectEntry(int index)
{
    File1->setListIndex(index);
}

void frmSide::openEntryNamed(const QString &name)
{
    File1->Refresh();
    const int entry = File1->IndexOf(name);
    if (entry >= 0) {
        File1->setSelected(entry, true);
    }
    focusList();
}

void frmSide::selectNamesQuietly(const QStringList &names)
{
    SharedState &s = State();
    s.SelectionFromCode = true;
    for (const QString &name : names) {
        File1->setSelected(File1->IndexOf(name), true); // none when the list does not show it
    }
    s.SelectionFromCode = false;
}

void frmSide::showAfterRemoval(const CommandTargets &targets, const QList<bool> &gone)
{
    File1->Refresh();
    updateFileCounter();
    if (const auto follower = FollowerAfterRemoval(targets, gone, File1->ListCount())) {
        File1->setListIndex(*follower);
    }
    if (File1->ListCount() == 0) {
        m_view.hidePicture();
        lblKB->clear();
    }
}

void frmSide::setSizeLabel(const QString &text)
{
    lblKB->setText(text);
}

bool frmSide::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape &&
        lstFolders->isVisible()) {
        lstFolders->hide(); // Escape closes the folder-button list, and does nothing else
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        emit keyPressed(VirtualKeyCode(key->key(), key->modifiers().testFlag(Qt::KeypadModifier)),
                        ARButton::shiftCode(key->modifiers()));
    }
    return QWidget::eventFilter(watched, event);
}

void frmSide::closeEvent(QCloseEvent *event)
{
    // Ends the program as Quit does: a panel merely hidden would leave a full-screen viewer with
    // no way out. Accepted once the program has ended, so a session logging out is not held up.
    event->setAccepted(!m_closeHandler || m_closeHandler());
}

void frmSide::mouseMoveEvent(QMouseEvent *event)
{
    // Over the panel's own background: the assignment list and the title tip go away.
    hidePopups();
    QWidget::mouseMoveEvent(event);
}

void frmSide::commandButton_MouseUp(int Button)
{
    if (Button != 1) {
        State().ButtonRightClick = true;
    }
}

void frmSide::cmdQuit_Click()
{
    SharedState &s = State();
    if (TakeButtonRightClick()) {
        return;
    }
    emit quitRequested();
    s.ButtonRightClick = false;
}

void frmSide::cmdMinimize_Click()
{
    SharedState &s = State();
    // Without a window manager nothing would bring the viewer back, and the panel would be lost.
    if (!s.ButtonRightClick && m_view.viewPresent() && WindowStacking::windowManagerRuns()) {
        m_view.minimise();
        m_tip->hide();
    }
    s.ButtonRightClick = false;
}

void frmSide::cmdHelp_Click()
{
    SharedState &s = State();
    if (!s.ButtonRightClick) {
        cdlHelp.HelpFile = ShippedFile(QStringLiteral("VIEWER.HLP"));
        cdlHelp.HelpCommand = 11;
        cdlHelp.ShowHelp();
    }
    s.ButtonRightClick = false;
}

void frmSide::GradientShow()
{
    if (!m_view.viewPresent()) {
        return;
    }
    const SharedState &s = State();
    const std::int32_t first = ToColourValue(s.SlideColor).value_or(DefaultSlideColor);
    const std::int32_t second = ToColourValue(s.SlideColor2).value_or(DefaultSlideColor2);
    if (first != second) {
        m_view.setGradientBackground(first, second, s.GradientAngle);
    } else {
        m_view.setPlainBackground(first);
    }
}

void frmSide::cmdSlide_Click()
{
    SharedState &s = State();
    if (TakeButtonRightClick()) {
        return;
    }
    PictureViewOps &viewer = m_view;
    const bool screenSaverRun = s.ScreenSaverMode == QLatin1String("On");
    if (screenSaverRun && (s.LogoShow == 1 || s.FolderUnavailable || File1->ListCount() == 0)) {
        // Nothing to show as pictures: the screen saver draws its drifting logo instead.
        viewer.startDriftingLogo();
    } else {
        if (s.FolderUnavailable) {
            MsgBox(QStringLiteral("The selected folder is currently unavailable."), vbExclamation);
            s.ButtonRightClick = false;
            return;
        }
        if (File1->ListCount() == 0) {
            MsgBox(QStringLiteral("There are currently no images in the selected folder."), vbExclamation);
            s.ButtonRightClick = false;
            return;
        }
        s.SaverWasActive = ScreenSaver().inhibit() ? 1 : 0;
        SetMouseCursor(QStringLiteral("WAIT"));
        hide();
        m_tip->hide();
        // The keys of the show go to the viewer now that the panel that had them is gone.
        viewer.takeKeyboard();
        s.SlideShowOn = true;
        m_show->start(File1->ListIndex() + 1, s.RandomShow, s.ManualShow);
        File1_Click();
        m_show->drawAhead(File1->ListCount());
    }
    ShowMouseCursor(false);
    viewer.setTopmost(true);
    if (screenSaverRun) {
        ScreenSaverRun::instance().protect(viewer.viewWindow());
    }
    s.ButtonRightClick = false;
}

void frmSide::tmrSlide_Timer()
{
    File1->Refresh();
    m_show->advance(File1->ListCount());
}

void frmSide::ManualSlide(int KeyCode)
{
    File1->Refresh();
    m_show->stepByHand(KeyCode, File1->ListCount());
}

void frmSide::StopSlideShow()
{
    SharedState &s = State();
    SetMouseCursor(QStringLiteral("WAIT"));
    show();
    raise();
    m_show->stop();
    s.SlideShowOn = false;
    ShowMouseCursor(true);
    File1_Click();
    GradientShow();
    SetDefaultMouseCursor();
    if (s.SaverWasActive != 0) {
        ScreenSaver().release();
    }
    m_view.setTopmost(false);
    focusList();
}

void frmSide::showFolderUnavailable()
{
    const SharedState &s = State();
    QPalette pal = txtUnavailable->palette();
    pal.setColor(QPalette::Base, ColourOf(s.SlideColor, DefaultSlideColor));
    pal.setColor(QPalette::Window, ColourOf(s.SlideColor, DefaultSlideColor));
    pal.setColor(QPalette::Text, ColourOf(s.FontColor, DefaultFontColor));
    txtUnavailable->setPalette(pal);
    txtUnavailable->show();
    txtUnavailable->raise();
}

void frmSide::cmbFolders_Click()
{
    openChosenFolder(QString());
    updateFirstStartHint();
}

void frmSide::updateFirstStartHint()
{
    // "(blank button)" is the assignment list's only entry while no folder is registered.
    const bool none = lstFolders->count() <= 1 && cmbFolders->currentIndex() < 0;
    if (none) {
        QPalette pal = m_firstStartHint->palette();
        pal.setColor(QPalette::WindowText, File1->palette().color(QPalette::Text));
        m_firstStartHint->setPalette(pal);
        m_firstStartHint->raise();
    }
    m_firstStartHint->setVisible(none);
}

void frmSide::openChosenFolder(const QString &selectName)
{
    SharedState &s = State();
    File1->setPattern(PicturePattern(StoredPictureSet(StoreReader())));
    if (!m_temporaryFolder.isEmpty() && cmbFolders->currentIndex() == 0) {
        // Shown for this session only: the stored current folder stays the one the user chose.
        s.BasePath = m_temporaryFolder;
    } else {
        s.Basename = cmbFolders->currentText();
        s.BasePath = GetSetting(AppName, QStringLiteral("Directories"), s.Basename);
        SaveSetting(AppName, QStringLiteral("Settings"), QStringLiteral("Basename"), s.Basename);
    }
    if (File1->setPath(s.BasePath)) {
        File1->show();
        s.FolderUnavailable = false;
        txtUnavailable->hide();
    } else {
        // The list shows nothing rather than the last folder's files.
        File1->setPattern(QStringLiteral("*.zzz"));
        File1->setPath(AppPath());
        showFolderUnavailable();
        s.FolderUnavailable = true;
    }
    const int wanted = selectName.isEmpty() ? 0 : File1->IndexOf(selectName);
    if (File1->ListCount() >= 1 && !s.FolderUnavailable && wanted >= 0) {
        updateFileCounter();
        File1->setListIndex(wanted);
        focusList();
    } else if (m_view.viewPresent()) {
        PictureViewOps &viewer = m_view;
        viewer.hidePicture();
        viewer.hideError();
        lblKB->clear();
        if (!s.FolderUnavailable && !selectName.isEmpty()) {
            // Not among the pictures the list shows (another kind of file, a device): the file
            // asked for is still reported, as any file that is not a picture.
            updateFileCounter();
            viewer.showUnreadable(selectName);
        }
    }
}

int frmSide::registeredEntryOf(const QString &folder) const
{
    for (int i = m_temporaryFolder.isEmpty() ? 0 : 1; i < cmbFolders->count(); ++i) {
        if (SameFolder(folder, GetSetting(AppName, QStringLiteral("Directories"), cmbFolders->itemText(i)))) {
            return i;
        }
    }
    return -1;
}

void frmSide::showTarget(const OpenTarget &target)
{
    int entry = registeredEntryOf(target.folder);
    if (entry < 0) {
        if (m_temporaryFolder.isEmpty()) {
            const QSignalBlocker quiet(cmbFolders);
            cmbFolders->insertItem(0, QString());
        }
        m_temporaryFolder = target.folder;
        cmbFolders->setItemText(0, TemporaryEntryText(target.folder));
        entry = 0;
    }
    {
        const QSignalBlocker quiet(cmbFolders);
        cmbFolders->setCurrentIndex(entry);
    }
    openChosenFolder(target.name);
    // A first start's hint would stay over the folder another start has just opened.
    updateFirstStartHint();
}

void frmSide::updateFileCounter()
{
    lblFileCounter->setText(FileCounterLabel(File1->ListCount()));
}

void frmSide::File1_PathChange()
{
    updateFileCounter();
    // A folder that cannot be watched is read again only when asked (Alt+R), as before.
    m_pendingChanges = FolderChanges();
    (void)m_watcher->watch(File1->Path());
}

void frmSide::folderChanged(const FolderChanges &changes)
{
    SharedState &s = State();
    m_pendingChanges.names.unite(changes.names);
    m_pendingChanges.everything |= changes.everything;
    m_pendingChanges.folderGone |= changes.folderGone;
    if (m_pendingChanges.isEmpty() || !m_view.viewPresent()) {
        return;
    }
    // Not in the middle of a command, a page being made or a show: the list they work on stays.
    if (!isEnabled() || s.SlideShowOn || s.ScreenSaverMode == QLatin1String("On") ||
        (m_commandsBusy && m_commandsBusy()) || Commands().busy() || QApplication::activeModalWidget() != nullptr ||
        QApplication::activePopupWidget() != nullptr) {
        m_watchRetry->start();
        return;
    }
    const FolderChanges pending = std::exchange(m_pendingChanges, FolderChanges());
    PictureViewOps &viewer = m_view;
    const QStringList before = File1->names();
    QStringList selected;
    for (int i = 0; i < File1->ListCount(); ++i) {
        if (File1->Selected(i)) {
            selected << File1->List(i);
        }
    }
    const QString focused = File1->FileName();
    const QString shown = FileNameOf(viewer.pictureFile());
    if (!File1->Refresh()) {
        // The folder itself went.
        viewer.hidePicture();
        lblKB->clear();
        File1->hide();
        showFolderUnavailable();
        s.FolderUnavailable = true;
        m_watcher->stop();
        return;
    }
    updateFileCounter();
    const QStringList after = File1->names();
    const SelectionAfterChange keep = SelectionAfterFolderChange(before, selected, focused, after);
    const bool shownChanged = !shown.isEmpty() && (pending.everything || pending.names.contains(shown));
    const bool onPage = s.ThumbsLoaded && viewer.thumbnailPageShown();
    // The picture follows the list: a file that went gives way to the next, a file rewritten is
    // shown as it is now; otherwise the picture stays as it is.
    const bool showAgain = !onPage && (!keep.focusKept || shownChanged || focused != shown);
    if (keep.focused >= 0) {
        s.SelectionFromCode = !showAgain;
        File1->setListIndex(keep.focused);
        s.SelectionFromCode = false;
    } else if (!onPage) {
        viewer.hidePicture();
        lblKB->clear();
    }
    s.SelectionFromCode = true;
    for (int index : keep.selected) {
        if (index != keep.focused) {
            File1->setSelected(index, true);
        }
    }
    if (keep.focused >= 0) {
        File1->setSelected(keep.focused, true);
    }
    s.SelectionFromCode = false;
    CountSelected();
    if (onPage && ListedFilesChanged(before, after, pending.names, pending.everything)) {
        cmdThumb_click();
    }
}

void frmSide::applySortOrder()
{
    SharedState &s = State();
    const QString focused = File1->FileName();
    File1->setSortOrder(StoredSortOrder(StoreReader()));
    if (!focused.isEmpty()) {
        // The same picture stays selected, at its place in the new order.
        s.SelectionFromCode = true;
        File1->setListIndex(File1->IndexOf(focused));
        s.SelectionFromCode = false;
    }
}

void frmSide::applyPictureSet()
{
    SharedState &s = State();
    const QString pattern = PicturePattern(StoredPictureSet(StoreReader()));
    if (s.FolderUnavailable || File1->Pattern() == pattern) {
        return;
    }
    const QString focused = File1->FileName();
    File1->setPattern(pattern);
    updateFileCounter();
    const int index = focused.isEmpty() ? -1 : File1->IndexOf(focused);
    if (index >= 0) {
        s.SelectionFromCode = true;
        File1->setListIndex(index);
        s.SelectionFromCode = false;
    } else if (File1->ListCount() > 0) {
        // The picture shown is no longer listed: the first one that is takes its place.
        File1->setListIndex(0);
    } else {
        m_view.hidePicture();
        lblKB->clear();
    }
}

void frmSide::CountSelected()
{
    int count = 0;
    for (int i = 0; i < File1->ListCount(); ++i) {
        if (File1->Selected(i)) {
            ++count;
        }
    }
    State().SelectedCount = count;
}

void frmSide::prefetchNeighbours()
{
    m_view.prefetch(picturesAhead());
}

QStringList frmSide::picturesAhead()
{
    // What the arrow keys ask for next: further on the way the user walks, or one step back.
    m_walk = WalkTo(m_walk, File1->Path(), File1->ListIndex());
    // A list still being sorted is not waited for: the names it knows in order are enough.
    const bool filling = File1->filling();
    const QStringList leading = File1->leadingNames();
    QStringList ahead;
    for (const int index : IndexesAhead(m_walk, File1->ListCount())) {
        const QString name = filling ? leading.value(index) : File1->List(index);
        if (!name.isEmpty()) {
            ahead << JoinPath(File1->Path(), name);
        }
    }
    return ahead;
}

void frmSide::File1_Click()
{
    SharedState &s = State();
    if (s.SelectionFromCode || !m_view.viewPresent()) {
        return;
    }
    PictureViewOps &viewer = m_view;
    // Selecting a file always leaves the thumbnail page (a page of one thumbnail too).
    viewer.leaveThumbnailPage();
    viewer.hideError();
    const QString name = File1->FileName();
    if (name.isEmpty()) {
        return;
    }
    s.CurrentFile = JoinPath(File1->Path(), name);
    if (viewer.waitForStartPicture([this] { File1_Click(); })) {
        // The start's picture decodes on one core; the next one takes the other meanwhile.
        prefetchNeighbours();
        return;
    }
    QSize natural;
    const QStringList ahead = picturesAhead();
    if (viewer.showCurrentPicture(&natural)) {
        lblKB->setText(SizeLabel(natural, FileSizeOf(s.CurrentFile)));
        viewer.prefetch(ahead);
        return;
    }
    // Only a file that is surely gone sends the list back to the folder; one that is there but
    // cannot be reached (a folder that lists but cannot be entered) is shown as unreadable.
    if (!IsVanished(s.CurrentFile) || m_rereadingForVanished) {
        viewer.showUnreadable(DisplayName(name));
        return;
    }
    if (IsFolder(File1->Path())) {
        // Removed behind the program's back: read the folder again, once, and show the neighbour.
        const int index = File1->ListIndex();
        File1->Refresh();
        updateFileCounter();
        if (File1->ListCount() == 0) {
            viewer.hidePicture();
            lblKB->clear();
            return;
        }
        m_rereadingForVanished = true;
        File1->setListIndex(index >= File1->ListCount() ? File1->ListCount() - 1 : index);
        m_rereadingForVanished = false;
        return;
    }
    viewer.hidePicture();
    lblKB->clear();
    // The folder went while its files were listed: the stale names go with the list.
    File1->hide();
    showFolderUnavailable();
    s.FolderUnavailable = true;
}

void frmSide::File1_MouseDown(int Button, int, float, float Y)
{
    if (Button != 2) {
        return;
    }
    SharedState &s = State();
    CountSelected();
    s.PopupSource = QStringLiteral("FileList");
    FileListMenuContext context;
    context.listEmpty = File1->ListCount() == 0;
    context.selectedCount = s.SelectedCount;
    if (!context.listEmpty) {
        const int row = RowUnderPointer(File1->TopIndex(), Y, File1->height(), File1->rowHeight(), s.TwipsPerPixelY);
        context.pointerOnFocused = row == File1->ListIndex();
        context.pointerOnSelected = row >= 0 && row < File1->ListCount() && File1->Selected(row);
    }
    std::optional<FileMenuState> state;
    if (!MenuKeepsLastState(context)) {
        state = MenuForFileList(context);
    }
    emit fileMenuRequested(state, QCursor::pos());
}

void frmSide::File1_MouseMove(int Button, int Shift, float, float Y)
{
    lstFolders->hide();
    if (Button == 1) {
        StartFileDrag(File1, Shift);
        return;
    }
    if (QApplication::activeWindow() == nullptr) {
        m_tip->hide();
        return;
    }
    const SharedState &s = State();
    const int row = RowUnderPointer(File1->TopIndex(), Y, File1->height(), File1->rowHeight(), s.TwipsPerPixelY);
    const QString text = DisplayName(File1->List(row));
    TipInput in;
    in.listOnScreen = QRect(File1->mapToGlobal(QPoint(0, 0)), File1->size());
    in.insideOnScreen = File1->viewport()->mapToGlobal(QPoint(0, 0));
    in.rowInList = File1->itemRect(row).translated(-File1->viewport()->pos());
    in.textWidthPx = File1->fontMetrics().horizontalAdvance(text);
    const int visibleRows = File1->rowHeight() > 0 ? File1->height() / File1->rowHeight() : 0;
    in.scrollBarShown = File1->ListCount() > visibleRows;
    const auto tip = TitleTipRect(in);
    if (!tip || text.isEmpty()) {
        m_tip->hide();
        return;
    }
    m_tip->setFont(File1->font());
    m_tip->setText(text);
    m_tip->setContentsMargins(2, 0, 0, 0);
    m_tip->setGeometry(*tip);
    m_tip->show();
    m_tip->raise();
}

void frmSide::setButtonLook(int index, bool highlighted)
{
    ARButton *b = cmdFolder.at(static_cast<std::size_t>(index));
    b->setForeColor(highlighted ? kDarkRed : kBlack);
    b->setFontBold(highlighted);
    b->setDisplayState(highlighted ? 2 : 0);
}

void frmSide::cmdFolder_Click(int Index)
{
    if (FolderRightClick) {
        return;
    }
    const QString caption = cmdFolder.at(static_cast<std::size_t>(Index))->caption();
    const QString name = FolderNameFromCaption(caption);
    int entry = cmbFolders->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (entry == 0 && !m_temporaryFolder.isEmpty()) {
        // A registered folder whose name looks like the temporary entry.
        entry = -1;
        for (int i = 1; i < cmbFolders->count() && entry < 0; ++i) {
            entry = cmbFolders->itemText(i) == name ? i : -1;
        }
    }
    if (entry < 0) {
        if (!caption.isEmpty()) {
            MsgBox(QStringLiteral("'") + name + QStringLiteral("' is no longer available."), vbExclamation);
        }
        return;
    }
    cmbFolders->setCurrentIndex(entry); // opens it, unless it is the current folder already
}

void frmSide::cmdFolder_MouseDown(int Index, int Button, int, float, float)
{
    if (Button == 2) {
        AssignButtonIndex = Index;
        lstFolders->show();
        lstFolders->raise();
    } else if (Button == 1) {
        DraggedCaption = cmdFolder.at(static_cast<std::size_t>(Index))->caption();
        StillOnPressedButton = true;
        DragOverIndex = Index;
        LastOverIndex = Index;
        for (std::size_t i = 0; i < 6; ++i) {
            m_captionsAtPress.at(i) = cmdFolder.at(i)->caption();
        }
    }
}

void frmSide::cmdFolder_MouseUp(int, int Button, int, float, float)
{
    if (Button == 2) {
        FolderRightClick = true;
        return;
    }
    FolderRightClick = false;
    setButtonLook(DragOverIndex, false);
    ARButton *b = cmdFolder.at(static_cast<std::size_t>(DragOverIndex));
    b->setCaption(b->caption());
}

void frmSide::cmdFolder_MouseMove(int Index, int Button, int, float, float Y)
{
    SharedState &s = State();
    const int height = cmdFolder.at(static_cast<std::size_t>(Index))->height();
    const int slot = SlotUnderPointer(Index, Y, height, s.TwipsPerPixelY);
    DragOverIndex = slot;
    if (Button != 1) {
        LastOverIndex = DragOverIndex;
        return;
    }
    if (slot != Index) {
        StillOnPressedButton = false;
    }
    if (slot == LastOverIndex || StillOnPressedButton) {
        LastOverIndex = DragOverIndex;
        return;
    }
    DragDirection = slot > LastOverIndex ? 1 : -1;
    // The order while dragging follows from the order at the press, so that however far one
    // move jumps, the six captions stay the same six.
    const std::array<QString, 6> order = ReorderedCaptions(m_captionsAtPress, Index, slot);
    for (int i = 0; i < 6; ++i) {
        cmdFolder.at(static_cast<std::size_t>(i))->setCaption(order.at(static_cast<std::size_t>(i)));
        setButtonLook(i, i == slot);
        s.Caption(i) = order.at(static_cast<std::size_t>(i));
    }
    LastOverIndex = DragOverIndex;
}

void frmSide::lstFolders_DblClick()
{
    const QListWidgetItem *item = lstFolders->currentItem();
    if (item == nullptr) {
        return;
    }
    const QString entry = item->text();
    const QString caption =
        lstFolders->currentRow() == 0 ? QString() : CaptionFromFolderName(entry); // row 0: "(blank button)"
    cmdFolder.at(static_cast<std::size_t>(AssignButtonIndex))->setCaption(caption);
    State().Caption(AssignButtonIndex) = caption;
    SaveSetting(AppName, QStringLiteral("Settings"), QStringLiteral("Caption%1").arg(AssignButtonIndex + 1), caption);
    tmrList->start();
}

void frmSide::imgHand_MouseDown(int Button)
{
    if (Button == 1 && !State().ManualShow) {
        imgHand->setPicture(LoadResPicture(QStringLiteral("HANDDOWN")).toImage());
    }
}

void frmSide::imgHand_MouseUp(int Button)
{
    SharedState &s = State();
    if (Button != 1) {
        s.ButtonRightClick = true;
    } else if (!s.ManualShow) {
        imgHand->setPicture(LoadResPicture(QStringLiteral("HANDUP")).toImage());
    }
}

void frmSide::imgHand_Click()
{
    SharedState &s = State();
    if (!s.ButtonRightClick) {
        s.ManualShow = !s.ManualShow;
        imgHand->setPicture(
            LoadResPicture(s.ManualShow ? QStringLiteral("HANDDOWN") : QStringLiteral("HANDUP")).toImage());
        SaveSetting(AppName, QStringLiteral("Settings"), QStringLiteral("ManualShow"), TruthText(s.ManualShow));
    }
    s.ButtonRightClick = false;
}

void frmSide::cmdThumb_click()
{
    SharedState &s = State();
    if (TakeButtonRightClick()) {
        return;
    }
    if (File1->ListCount() == 1 || !m_view.viewPresent()) {
        return;
    }
    PagePlan plan;
    plan.onPage = ThumbRowsShown(File1->height(), File1->rowHeight());
    plan.columns = ThumbColumnsFor(plan.onPage);
    CountSelected();
    if (s.SelectedCount < 2) {
        s.ThumbShowSelected = false;
        if (File1->ListCount() < plan.onPage) {
            plan.onPage = File1->ListCount();
            plan.columns = ThumbColumnsFor(plan.onPage);
        }
        File1->Refresh();
    } else {
        if (s.SelectedCount < plan.onPage) {
            plan.onPage = s.SelectedCount;
            plan.columns = ThumbColumnsFor(plan.onPage);
        }
        s.ThumbShowSelected = true;
    }
    s.ThumbsOnPage = plan.onPage;
    s.ThumbColumns = static_cast<std::uint8_t>(plan.columns);
    plan.cell = ThumbCellSize(s.ScreenWidthPx, s.ScreenHeightPx, plan.columns);
    s.ThumbCellWidth = static_cast<std::int16_t>(plan.cell);

    const int top = File1->TopIndex();
    s.ThumbListTop = static_cast<std::int16_t>(top);
    // The files of the page, in page order; a list scrolled near its end stops at its last file.
    for (int i = 1, j = 0; i <= plan.onPage; ++i) {
        if (top + i > File1->ListCount()) {
            break;
        }
        if (s.ThumbShowSelected) {
            while (j < File1->ListCount() && !File1->Selected(j)) {
                ++j;
            }
            if (j >= File1->ListCount()) {
                break;
            }
            plan.names << File1->List(j++);
        } else {
            plan.names << File1->List(top - 1 + i);
        }
    }
    for (const QString &name : std::as_const(plan.names)) {
        plan.paths << JoinPath(File1->Path(), name);
    }

    // Both windows take no command until the page is complete, but keep repainting; after it,
    // the keys go on in the list.
    PictureViewOps &viewer = m_view;
    auto hold = std::make_shared<WindowsHold>(std::initializer_list<QWidget *>{viewer.viewWindow(), this},
                                              [side = QPointer<frmSide>(this)] {
                                                  if (!side.isNull()) {
                                                      side->focusList();
                                                  }
                                              });
    viewer.showThumbnailPage(plan, [this, hold] { thumbnailPageBuilt(); });
}

void frmSide::thumbnailPageBuilt()
{
    SetDefaultMouseCursor();
    setEnabled(true);
    File1->Refresh();
    lblKB->clear();
    State().ButtonRightClick = false;
    m_view.setInputEnabled(true);
    m_view.storeThumbnails();
}

void frmSide::cmdFolder_DragOver(int Index, int State)
{
    // The button under the pointer shows it is where the pictures will go.
    setButtonLook(Index, State != 1);
}

void frmSide::cmdFolder_DragDrop(int Index)
{
    SharedState &s = State();
    if (Index >= 0 && Index < 6) {
        setButtonLook(Index, false);
    }
    const bool valid = Index >= 0 && Index < 6;
    if (s.DropAction == QLatin1String("MOVE")) {
        if (!valid) {
            lblFileCounter->setText(FileCounterLabel(File1->ListCount()));
            return;
        }
        DropOnFolder(FolderNameFromCaption(s.Caption(Index)), QStringLiteral("MOVE"),
                     [this](int) { lblFileCounter->setText(FileCounterLabel(File1->ListCount())); });
    } else if (s.DropAction == QLatin1String("COPY") && valid) {
        DropOnFolder(FolderNameFromCaption(s.Caption(Index)), QStringLiteral("COPY"), [](int) {});
    }
}

void frmSide::DropOnFolder(const QString &caption, const QString &action, std::function<void(int)> then)
{
    SharedState &s = State();
    if (caption.isEmpty()) {
        MsgBox(QStringLiteral("A folder has not been specified."), vbCritical);
        then(0);
        return;
    }
    const QString destination = GetSetting(AppName, QStringLiteral("Directories"), caption);
    if (destination == File1->Path()) {
        MsgBox(QStringLiteral("The source and destination folder is the same."), vbCritical);
        then(0);
        return;
    }
    if (destination.isEmpty() || !IsFolder(destination)) {
        MsgBox(QStringLiteral("The destination folder either no longer exists or it is currently inaccessible."),
               vbCritical);
        then(0);
        return;
    }
    CountSelected();
    focusList();
    const bool move = action == QLatin1String("MOVE");
    const bool onPage = s.ThumbsLoaded && m_view.viewPresent();
    const CommandTargets targets = TargetsOf(listSnapshot(), onPage ? m_view.pageSnapshot() : PageSnapshot());
    if (targets.isEmpty()) {
        then(0);
        return;
    }
    s.CurrentFile = targets.paths.last();
    s.FileOperationFailed = false;
    // What each target name in the destination is now, so that what the command did can be taken back.
    const TransferSnapshot before = BeforeTransfer(targets.paths, destination);
    if (!move) {
        CopyFiles(JoinSourceList(targets.paths), destination, this, [this, before, then](int) {
            UndoStep step = AfterTransfer(UndoStep::Kind::Copy, before);
            const int arrived = static_cast<int>(step.files.size());
            emit undoStepDone(step);
            then(arrived);
        });
        return;
    }
    // The files move on a worker; the rest of the command runs once they have.
    MoveFiles(JoinSourceList(targets.paths), destination, this, [this, before, targets, then](int) {
        SharedState &st = State();
        UndoStep step = AfterTransfer(UndoStep::Kind::Move, before);
        const int arrived = static_cast<int>(step.files.size());
        emit undoStepDone(step);
        if (targets.from == CommandTargets::From::Page) {
            if (!st.FileOperationFailed) {
                PictureViewOps &viewer = m_view;
                viewer.markThumbnails(targets.indexes, GoneAfterCommand(targets), QStringLiteral("File moved"));
                viewer.ThumbBordersClose();
                st.LastBorderSet = 0;
                refreshList();
            }
            then(arrived);
            return;
        }
        showAfterRemoval(targets, GoneAfterCommand(targets));
        focusList();
        then(arrived);
    });
}

void frmSide::showRestored(const QStringList &paths)
{
    File1->Refresh();
    updateFileCounter();
    int first = -1;
    QStringList here;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.path() != QFileInfo(JoinPath(File1->Path(), QStringLiteral("x"))).path()) {
            continue; // back in another folder than the one shown
        }
        const int entry = File1->IndexOf(info.fileName());
        if (entry >= 0) {
            here << info.fileName();
            first = first < 0 ? entry : std::min(first, entry);
        }
    }
    if (first < 0) {
        return;
    }
    File1->setListIndex(first);
    selectNamesQuietly(here);
    focusList();
}

void frmSide::fileToFolder(int index, bool copy)
{
    SharedState &s = State();
    if (index < 0 || index >= 6 || !isEnabled()) {
        return;
    }
    const QString name = FolderNameFromCaption(s.Caption(index));
    s.DropAction = copy ? QStringLiteral("COPY") : QStringLiteral("MOVE");
    DropOnFolder(name, s.DropAction, [this, index, copy, name](int arrived) {
        updateFileCounter();
        if (arrived <= 0) {
            return;
        }
        showNotice(QStringLiteral("%1 %2 %3 to %4")
                       .arg(arrived)
                       .arg(arrived == 1 ? QStringLiteral("file") : QStringLiteral("files"),
                            copy ? QStringLiteral("copied") : QStringLiteral("moved"), name));
        // The button flashes in the colour it has under a drag.
        setButtonLook(index, true);
        QTimer::singleShot(300, this, [this, index] { setButtonLook(index, false); });
    });
}

void frmSide::showNotice(const QString &text)
{
    const SharedState &s = State();
    QPalette pal = m_notice->palette();
    pal.setColor(QPalette::Window, ColourOf(s.FontColor, DefaultFontColor));
    pal.setColor(QPalette::WindowText, ColourOf(s.SlideColor, DefaultSlideColor));
    m_notice->setPalette(pal);
    m_notice->setText(text);
    // Over the file counter, as wide as the panel: no designed control moves.
    m_notice->setGeometry(QRect(2, m_layout.lblFileCounter.top(), width() - 4, m_layout.lblFileCounter.height()));
    m_notice->show();
    m_notice->raise();
    m_noticeTimer->start();
}
