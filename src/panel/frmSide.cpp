#include "panel/frmSide.h"

#include "common/Forms.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/Startup.h"
#include "common/StoredValues.h"
#include "common/Utilities.h"
#include "common/platform/AppPaths.h"
#include "controls/ARButton.h"
#include "viewer/frmPictureViewer.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>

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

} // namespace

frmSide::frmSide(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
    , cmdQuit(new ARButton(this))
    , cmdSettings(new ARButton(this))
    , cmdThumb(new ARButton(this))
    , cmdHelp(new ARButton(this))
    , cmdMinimize(new ARButton(this))
    , cmdSlide(new ARButton(this))
    , cmbFolders(new QComboBox(this))
    , File1(new QListWidget(this))
    , lstFolders(new QListWidget(this))
    , txtUnavailable(new QLineEdit(this))
    , imgLogo(new QLabel(this))
    , imgFileCounter(new QLabel(this))
    , lblFileCounter(new QLabel(this))
    , imgHand(new QLabel(this))
    , Label1(new QLabel(this))
    , lblKB(new QLabel(this))
{
    setObjectName(QStringLiteral("frmSide"));
    setWindowTitle(AppName);
    setFont(panelFont());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ColourFromValue(kPanel));
    setPalette(pal);
    setAutoFillBackground(true);

    for (auto &button : cmdFolder) {
        button = new ARButton(this);
    }

    cmdQuit->setCaption(QStringLiteral("Quit"));
    cmdQuit->setToolTip(QStringLiteral("Quit"));
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
    for (ARButton *b : cmdFolder) {
        styleButton(b, kFolderButton, kFolderButton, kBlack, kDarkRed, kDarkRed);
    }

    txtUnavailable->setText(QStringLiteral("Folder Unavailable"));
    txtUnavailable->setAlignment(Qt::AlignCenter);
    txtUnavailable->setReadOnly(true);
    txtUnavailable->hide();
    lstFolders->hide();
    imgLogo->setPixmap(LoadResPicture(QStringLiteral("LOGO")));
    lblFileCounter->setText(QStringLiteral("0 Files"));
    lblKB->setText(QStringLiteral("0 Kb"));
    imgHand->setToolTip(QStringLiteral("Manual Slide Advance"));
    Label1->setFont(panelFont(true));

    connect(cmdQuit, &ARButton::Click, this, &frmSide::cmdQuit_Click);
    connect(cmdMinimize, &ARButton::Click, this, &frmSide::cmdMinimize_Click);
    connect(cmdHelp, &ARButton::Click, this, &frmSide::cmdHelp_Click);
    connect(cmdSlide, &ARButton::Click, this, &frmSide::cmdSlide_Click);
    for (ARButton *b : {cmdQuit, cmdSettings, cmdThumb, cmdHelp, cmdMinimize, cmdSlide}) {
        connect(b, &ARButton::MouseUp, this, [this](int Button, int, float, float) { commandButton_MouseUp(Button); });
    }
}

void frmSide::Form_Load()
{
    m_layout = ComputePanelLayout(State().ScreenHeightPx);
    applyLayout();
    Label1->setText(QStringLiteral("Dimensions:\nFile Size:"));
}

void frmSide::Form_Unload() {}

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
    Label1->setGeometry(l.Label1.adjusted(0, 0, 0, 13));
    lblKB->setGeometry(l.lblKB.adjusted(0, 0, 0, 13));
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

void frmSide::showOwnedBy(QWidget *owner)
{
    if (parentWidget() != owner) {
        setParent(owner, Qt::Tool | Qt::FramelessWindowHint);
    }
    move(0, 0);
    show();
    raise();
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
    if (s.ButtonRightClick) {
        s.ButtonRightClick = false;
        return;
    }
    Forms::Unload(Forms::Form::Splash);
    Forms::Unload(Forms::Form::Settings);
    Forms::Unload(Forms::Form::PictureViewer);
    Forms::Unload(Forms::Form::Invisible);
    Forms::Unload(Forms::Form::Side);
    s.ButtonRightClick = false;
    EndProgram();
}

void frmSide::cmdMinimize_Click()
{
    SharedState &s = State();
    if (!s.ButtonRightClick && Forms::IsLoaded(Forms::Form::PictureViewer)) {
        Forms::frmPictureViewer().showMinimized();
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

void frmSide::cmdSlide_Click()
{
    // The slide show and the screen-saver display are started here; until they exist a click
    // only honours the press-and-click rule.
    State().ButtonRightClick = false;
}
