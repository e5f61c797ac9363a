// SPDX-License-Identifier: GPL-2.0-or-later
#include "settings/frmSettings.h"
#include "common/FileNames.h"

#include "common/FolderNames.h"
#include "common/ScreenMetrics.h"
#include "common/SettingsLoad.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/StoredValues.h"
#include "common/Utilities.h"
#include "common/platform/AppPaths.h"
#include "common/platform/Dialogs.h"
#include "controls/ARButton.h"
#include "controls/HelpWindow.h"
#include "files/FileListOps.h"
#include "settings/FolderBrowser.h"
#include "settings/ScreenSaverInstall.h"
#include "settings/SettingsRules.h"
#include "show/Grad.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

#include <cerrno>
#include <sys/stat.h>

namespace {
// Design client size in twips.
constexpr double kWidthTwips = 7305;
constexpr double kHeightTwips = 4890;
// Where the dial's needle starts, in twips of the preview.
constexpr QPointF kNeedleStart(825, 645);

// Preset i selects i x 45 degrees; where each sits around the dial, in twips.
constexpr std::array<QPoint, 8> kPresetPlaces = {{
    {5220, 3180},
    {5220, 2370},
    {4200, 2370},
    {3210, 2370},
    {3210, 3180},
    {3210, 3990},
    {4200, 3990},
    {5220, 3990},
}};

// The etched boxes around the slide-show, screen-saver and gradient areas, in twips.
constexpr std::array<QRect, 3> kEtchedBoxes = {{
    QRect(QPoint(3120, 240), QPoint(5040, 1980)),
    QRect(QPoint(5160, 240), QPoint(7200, 1200)),
    QRect(QPoint(3120, 2280), QPoint(7200, 4320)),
}};

// The small pictures of the three folder buttons, drawn rather than shipped.
QIcon FolderGlyph(char kind)
{
    QPixmap pixmap(18, 18);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (kind == 'n') {
        p.setPen(QColor(120, 90, 0));
        p.setBrush(QColor(250, 210, 90));
        p.drawRect(QRectF(1.5, 5.5, 13, 10));
        p.drawRect(QRectF(1.5, 3.5, 6, 2));
        p.setPen(QPen(QColor(0, 100, 0), 2));
        p.drawLine(QPointF(14, 1), QPointF(14, 8));
        p.drawLine(QPointF(10.5, 4.5), QPointF(17.5, 4.5));
    } else {
        p.setPen(QPen(kind == '+' ? QColor(0, 120, 0) : QColor(170, 0, 0), 3));
        p.drawLine(QPointF(3, 9), QPointF(15, 9));
        if (kind == '+') {
            p.drawLine(QPointF(9, 3), QPointF(9, 15));
        }
    }
    return QIcon(pixmap);
}

QFrame *ColourSample(QWidget *parent)
{
    auto *sample = new QFrame(parent);
    sample->setFrameShape(QFrame::Box);
    sample->setLineWidth(1);
    sample->setAutoFillBackground(true);
    return sample;
}

std::int32_t StoredColour(const QString &text, std::int32_t fallback)
{
    return ToColourValue(text).value_or(fallback);
}

} // namespace

AnglePicture::AnglePicture(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
}

QSize AnglePicture::innerSize() const
{
    return {std::max(0, width() - 2 * kBorder), std::max(0, height() - 2 * kBorder)};
}

double AnglePicture::ScaleWidth() const
{
    return innerSize().width() * static_cast<double>(m_twipsX);
}

double AnglePicture::ScaleHeight() const
{
    return innerSize().height() * static_cast<double>(m_twipsY);
}

void AnglePicture::setTwipsPerPixel(float x, float y)
{
    m_twipsX = x > 0 ? x : 15.f;
    m_twipsY = y > 0 ? y : 15.f;
}

void AnglePicture::paintPreview(std::int32_t colour1, std::int32_t colour2, int angle)
{
    if (m_preview.size() != innerSize()) {
        m_preview = QImage(innerSize(), QImage::Format_RGB32);
    }
    if (!m_preview.isNull()) {
        // The sweep can leave a row at its edges; under it, the colour the sweep ends in.
        m_preview.fill(ColourFromValue(colour2));
        PaintGradient(m_preview, colour1, colour2, angle);
    }
    update();
}

void AnglePicture::setNeedle(QPointF startTwips, QPointF endTwips)
{
    m_needleStart = startTwips;
    m_needleEnd = endTwips;
    update();
}

void AnglePicture::setNeedleVisible(bool visible)
{
    m_needleVisible = visible;
    update();
}

QPointF AnglePicture::toTwips(QPointF pixels) const
{
    return {(pixels.x() - kBorder) * static_cast<double>(m_twipsX),
            (pixels.y() - kBorder) * static_cast<double>(m_twipsY)};
}

QPointF AnglePicture::toPixels(QPointF twips) const
{
    return {twips.x() / static_cast<double>(m_twipsX) + kBorder, twips.y() / static_cast<double>(m_twipsY) + kBorder};
}

void AnglePicture::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_preview.size() != innerSize()) {
        m_preview = QImage();
    }
}

void AnglePicture::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    // A sunken border two pixels wide, as the picture box always had.
    const QRect r = rect();
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    const QRect in1 = r.adjusted(1, 1, -1, -1);
    p.setPen(palette().color(QPalette::Shadow));
    p.drawLine(in1.topLeft(), in1.topRight());
    p.drawLine(in1.topLeft(), in1.bottomLeft());
    p.setPen(palette().color(QPalette::Midlight));
    p.drawLine(in1.bottomLeft(), in1.bottomRight());
    p.drawLine(in1.topRight(), in1.bottomRight());
    const QRect inner(QPoint(kBorder, kBorder), innerSize());
    if (m_preview.isNull()) {
        p.fillRect(inner, palette().color(QPalette::Window));
    } else {
        p.drawImage(inner.topLeft(), m_preview);
    }
    if (m_needleVisible) {
        p.setClipRect(inner);
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(toPixels(m_needleStart), toPixels(m_needleEnd));
    }
}

void AnglePicture::mousePressEvent(QMouseEvent *event)
{
    const QPointF t = toTwips(event->position());
    emit MouseDown(ARButton::buttonCode(event->button()), static_cast<float>(t.x()), static_cast<float>(t.y()));
}

void AnglePicture::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF t = toTwips(event->position());
    const int buttons = ARButton::buttonCode(event->buttons());
    emit MouseMove(buttons, static_cast<float>(t.x()), static_cast<float>(t.y()));
}

void AnglePicture::mouseReleaseEvent(QMouseEvent *event)
{
    const QPointF t = toTwips(event->position());
    emit MouseUp(ARButton::buttonCode(event->button()), static_cast<float>(t.x()), static_cast<float>(t.y()));
}

frmSettings::frmSettings(FileListOps &list, QWidget *parent)
    : QDialog(parent)
    , m_list(list)
    , Frame2(new QGroupBox(QStringLiteral("Set Folders"), this))
    , Drive1(new DriveListBox(this))
    , Dir1(new DirListBox(this))
    , cmdCreate(new QPushButton(this))
    , cmdAddFolder(new QPushButton(this))
    , cmdRemoveFolder(new QPushButton(this))
    , List1(new QListWidget(this))
    , fraShowMode(new QGroupBox(QStringLiteral("Slide Show Mode"), this))
    , optNormal(new QRadioButton(QStringLiteral("Normal"), fraShowMode))
    , optRandom(new QRadioButton(QStringLiteral("Random"), fraShowMode))
    , lblInterval(new QLabel(QStringLiteral("Slide Interval:"), this))
    , txtInterval(new QLineEdit(this))
    , cmdScreenSaver(new QPushButton(QStringLiteral("Set as Screen Saver"), this))
    , chkLogoShow(new QCheckBox(QStringLiteral("Drifting Logo"), this))
    , lblSort(new QLabel(QStringLiteral("Sort &by"), this))
    , cmbSort(new QComboBox(this))
    , chkDescending(new QCheckBox(QStringLiteral("&Descending"), this))
    , chkAllPictures(new QCheckBox(QStringLiteral("&All picture formats"), this))
    , cmdFontColor(new QPushButton(QStringLiteral("Font Colour"), this))
    , shpColorFont(ColourSample(this))
    , Label1(new QLabel(QStringLiteral("Background Gradient"), this))
    , picAngle(new AnglePicture(this))
    , cmdBackColor1(new QPushButton(QStringLiteral("Colour 1"), this))
    , shpColor1(ColourSample(this))
    , cmdBackColor2(new QPushButton(QStringLiteral("Colour 2"), this))
    , shpColor2(ColourSample(this))
    , Label2(new QLabel(QStringLiteral("Angle:"), this))
    , lblAngle(new QLabel(this))
    , cmdOK(new QPushButton(QStringLiteral("OK"), this))
    , cmdCancel(new QPushButton(QStringLiteral("Cancel"), this))
    , cmdHelp(new QPushButton(QStringLiteral("Help"), this))
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Vantrel Viewer Settings"));
    // The dialog's measures are those of the small system font it was laid out in.
    QFont small(QStringLiteral("Liberation Sans"));
    small.setPointSizeF(8.25);
    setFont(small);
    m_presets = new QButtonGroup(this);
    m_presets->setExclusive(true);
    for (int i = 0; i < 8; ++i) {
        Option1.at(static_cast<std::size_t>(i)) = new QRadioButton(this);
        m_presets->addButton(Option1.at(static_cast<std::size_t>(i)), i);
    }
    optNormal->setChecked(true);
    // Each control answers to its own name (tests, accessibility).
    const std::vector<std::pair<QWidget *, const char *>> names = {
        {Frame2, "Frame2"},
        {Drive1, "Drive1"},
        {Dir1, "Dir1"},
        {cmdCreate, "cmdCreate"},
        {cmdAddFolder, "cmdAddFolder"},
        {cmdRemoveFolder, "cmdRemoveFolder"},
        {List1, "List1"},
        {fraShowMode, "fraShowMode"},
        {optNormal, "optNormal"},
        {optRandom, "optRandom"},
        {lblInterval, "lblInterval"},
        {txtInterval, "txtInterval"},
        {cmdScreenSaver, "cmdScreenSaver"},
        {chkLogoShow, "chkLogoShow"},
        {cmbSort, "cmbSort"},
        {chkDescending, "chkDescending"},
        {chkAllPictures, "chkAllPictures"},
        {cmdFontColor, "cmdFontColor"},
        {shpColorFont, "shpColorFont"},
        {Label1, "Label1"},
        {picAngle, "picAngle"},
        {cmdBackColor1, "cmdBackColor1"},
        {shpColor1, "shpColor1"},
        {cmdBackColor2, "cmdBackColor2"},
        {shpColor2, "shpColor2"},
        {Label2, "Label2"},
        {lblAngle, "lblAngle"},
        {cmdOK, "cmdOK"},
        {cmdCancel, "cmdCancel"},
        {cmdHelp, "cmdHelp"},
    };
    for (const auto &[widget, name] : names) {
        widget->setObjectName(QLatin1String(name));
    }
    for (std::size_t i = 0; i < Option1.size(); ++i) {
        Option1.at(i)->setObjectName(QStringLiteral("Option1_%1").arg(i));
    }
    cmdCreate->setIcon(FolderGlyph('n'));
    cmdCreate->setToolTip(QStringLiteral("Create New Folder"));
    cmdAddFolder->setIcon(FolderGlyph('+'));
    cmdAddFolder->setToolTip(QStringLiteral("Add Folder to List"));
    cmdRemoveFolder->setIcon(FolderGlyph('-'));
    cmdRemoveFolder->setToolTip(QStringLiteral("Remove Folder from List"));
    List1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List1->setUniformItemSizes(true);
    lblAngle->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QPushButton *b : {cmdCreate, cmdAddFolder, cmdRemoveFolder, cmdScreenSaver, cmdFontColor, cmdBackColor1,
                           cmdBackColor2, cmdOK, cmdCancel, cmdHelp}) {
        b->setAutoDefault(false);
    }
    cmdOK->setDefault(true);

    // The interval box first, then OK, Cancel, Help and the colour buttons, then the rest.
    const std::vector<QWidget *> order = {txtInterval,    cmdOK,           cmdCancel, cmdHelp,       cmdBackColor1,
                                          cmdBackColor2,  cmdFontColor,    Drive1,    Dir1,          cmdCreate,
                                          cmdAddFolder,   cmdRemoveFolder, List1,     optNormal,     optRandom,
                                          cmdScreenSaver, chkLogoShow,     cmbSort,   chkDescending, chkAllPictures};
    for (std::size_t i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
    cmbSort->addItems(SortKeyCaptions());
    lblSort->setBuddy(cmbSort);
    setTabOrder(chkLogoShow, Option1[0]);
    for (std::size_t i = 1; i < Option1.size(); ++i) {
        setTabOrder(Option1.at(i - 1), Option1.at(i));
    }

    connect(Drive1, &DriveListBox::Change, this, &frmSettings::Drive1_Change);
    connect(Drive1, &DriveListBox::DrivesRead, this, [this] {
        Dir1->setMountPoints(Drive1->mountPoints());
        Drive1->showDriveOf(Dir1->Path());
    });
    connect(Dir1, &DirListBox::PathChange, this, [this] { Drive1->showDriveOf(Dir1->Path()); });
    // A drive that cannot be read leaves the tree, and so its drive, as they were.
    connect(Dir1, &DirListBox::PathFailed, this, [this] { Drive1->showDriveOf(Dir1->Path()); });
    connect(cmdAddFolder, &QPushButton::clicked, this, &frmSettings::cmdAddFolder_Click);
    connect(cmdRemoveFolder, &QPushButton::clicked, this, &frmSettings::cmdRemoveFolder_Click);
    connect(cmdCreate, &QPushButton::clicked, this, &frmSettings::cmdCreate_Click);
    connect(cmdScreenSaver, &QPushButton::clicked, this, &frmSettings::cmdScreenSaver_Click);
    connect(cmdBackColor1, &QPushButton::clicked, this, &frmSettings::cmdBackColor1_Click);
    connect(cmdBackColor2, &QPushButton::clicked, this, &frmSettings::cmdBackColor2_Click);
    connect(cmdFontColor, &QPushButton::clicked, this, &frmSettings::cmdFontColor_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmSettings::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSettings::cmdCancel_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &frmSettings::cmdHelp_Click);
    for (int i = 0; i < 8; ++i) {
        connect(Option1.at(static_cast<std::size_t>(i)), &QRadioButton::clicked, this, [this, i] { Option1_Click(i); });
    }
    connect(picAngle, &AnglePicture::MouseDown, this, &frmSettings::picAngle_MouseDown);
    connect(picAngle, &AnglePicture::MouseMove, this, &frmSettings::picAngle_MouseMove);
    connect(picAngle, &AnglePicture::MouseUp, this, &frmSettings::picAngle_MouseUp);
    auto *f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, &frmSettings::cmdHelp_Click);
}

void frmSettings::Form_Load()
{
    placeControls();
    LoadFolderNames(*List1);
    Drive1->refreshDrives();
}

void frmSettings::Form_Unload() {}

void frmSettings::placeControls()
{
    const SharedState &s = State();
    const float tx = ScreenTwipsPerPixelX();
    const float ty = ScreenTwipsPerPixelY();
    auto place = [&](QWidget *w, double left, double top, double width, double height) {
        w->setGeometry(TwipsRect(left, top, width, height, tx, ty));
    };
    setFixedSize(TwipsToPixels(kWidthTwips, tx), TwipsToPixels(kHeightTwips, ty));
    place(Frame2, 120, 120, 2775, 4215);
    place(Drive1, 240, 360, 2535, 315);
    place(Dir1, 240, 720, 2535, 1440);
    place(cmdCreate, 240, 2220, 360, 360);
    place(cmdAddFolder, 2040, 2220, 360, 360);
    place(cmdRemoveFolder, 2400, 2220, 360, 360);
    place(List1, 240, 2640, 2535, 1425);
    place(fraShowMode, 3240, 360, 1695, 1095);
    place(optNormal, 120, 300, 975, 255);
    place(optRandom, 120, 600, 1095, 375);
    place(lblInterval, 3360, 1620, 1065, 225);
    place(txtInterval, 4500, 1560, 435, 285);
    place(cmdScreenSaver, 5280, 360, 1815, 315);
    place(chkLogoShow, 5640, 780, 1455, 255);
    place(chkAllPictures, 5280, 1200, 1815, 255);
    place(cmdFontColor, 5520, 1620, 975, 375);
    place(shpColorFont, 6600, 1620, 495, 375);
    place(Label1, 3240, 2160, 1575, 255);
    place(picAngle, 3480, 2640, 1695, 1335);
    place(cmdBackColor1, 5520, 2640, 975, 375);
    place(shpColor1, 6600, 2640, 495, 375);
    place(cmdBackColor2, 5520, 3120, 975, 375);
    place(shpColor2, 6600, 3120, 495, 375);
    place(Label2, 5760, 3720, 735, 255);
    place(lblAngle, 6600, 3720, 495, 255);
    place(lblSort, 120, 4485, 735, 255);
    place(cmbSort, 855, 4440, 1545, 330);
    place(chkDescending, 2520, 4485, 1440, 255);
    place(cmdOK, 4080, 4440, 975, 330);
    place(cmdCancel, 5160, 4440, 975, 330);
    place(cmdHelp, 6240, 4440, 975, 330);
    for (std::size_t i = 0; i < Option1.size(); ++i) {
        place(Option1.at(i), kPresetPlaces.at(i).x(), kPresetPlaces.at(i).y(), 255, 255);
    }
    // The dial's inner area is made an even number of pixels each way, so its centre falls on a
    // pixel: a click straight above it reads exactly 90 degrees.
    QRect dial = picAngle->geometry();
    dial.setWidth(dial.width() + (dial.width() - 2 * AnglePicture::kBorder) % 2);
    dial.setHeight(dial.height() + (dial.height() - 2 * AnglePicture::kBorder) % 2);
    picAngle->setGeometry(dial);
    picAngle->setTwipsPerPixel(tx, ty);
    Label1->setFont([this] {
        QFont f = font();
        f.setBold(true);
        return f;
    }());
    // The caption hides the etched line it sits on.
    Label1->setAutoFillBackground(true);
    // A caption wider in this font than it was designed for grows to the right.
    for (QWidget *label : {static_cast<QWidget *>(Label1), static_cast<QWidget *>(lblInterval)}) {
        label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
    }
    // Labels and options drawn over the frame's area stay above it.
    Frame2->lower();
    if (const QRect screen = CentredDesignRect(kWidthTwips, kHeightTwips, s); screen.isValid()) {
        move(screen.center() - QPoint(width() / 2, height() / 2));
    }
}

void frmSettings::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    const float tx = ScreenTwipsPerPixelX();
    const float ty = ScreenTwipsPerPixelY();
    QPainter p(this);
    for (const QRect &box : kEtchedBoxes) {
        const QRect px(QPoint(TwipsToPixels(box.left(), tx), TwipsToPixels(box.top(), ty)),
                       QPoint(TwipsToPixels(box.right(), tx), TwipsToPixels(box.bottom(), ty)));
        p.setPen(palette().color(QPalette::Dark));
        p.drawRect(px.adjusted(0, 0, -1, -1));
        p.setPen(Qt::white);
        p.drawRect(px.adjusted(1, 1, 0, 0));
    }
}

void frmSettings::showModal()
{
    Form_Activate();
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
    txtInterval->setFocus();
    txtInterval->selectAll();
}

void frmSettings::Form_Activate()
{
    SharedState &s = State();
    if (s.SlideTime == 0) {
        s.SlideTime = 4;
    }
    if (m_list.listPresent()) {
        s.Basename = m_list.currentFolderName();
    }
    s.BasePath = GetSetting(AppName, QStringLiteral("Directories"), s.Basename);
    // The browser starts where the panel is (a folder opened from outside too); without one, or
    // when it cannot be read, at the home folder.
    QString start = s.BasePath;
    if (start.isEmpty() && !m_list.currentFolderName().isEmpty()) {
        start = m_list.listSnapshot().folder; // a folder shown from outside
    }
    Dir1->setPath(start, QDir::homePath());
    txtInterval->setText(QString::number(s.SlideTime));
    lblAngle->setText(AngleCaption(s.GradientAngle));
    markPreset(s.GradientAngle);
    picAngle->paintPreview(StoredColour(s.SlideColor, DefaultSlideColor),
                           StoredColour(s.SlideColor2, DefaultSlideColor2), s.GradientAngle);
    optRandom->setChecked(s.RandomShow);
    optNormal->setChecked(!s.RandomShow);
    chkLogoShow->setChecked(s.LogoShow == 1); // what a screen-saver run draws the logo for
    showStoredSortOrder();
    txtInterval->selectAll();
    CommonDialog1.Color = StoredColour(s.SlideColor, DefaultSlideColor);
    setSample(shpColor1, CommonDialog1.Color);
    CommonDialog3.Color = StoredColour(s.SlideColor2, DefaultSlideColor2);
    setSample(shpColor2, CommonDialog3.Color);
    CommonDialog2.Color = StoredColour(s.FontColor, DefaultFontColor);
    setSample(shpColorFont, CommonDialog2.Color);
}

void frmSettings::setSample(QFrame *sample, std::int32_t colour)
{
    QPalette pal = sample->palette();
    pal.setColor(QPalette::Window, ColourFromValue(colour));
    pal.setColor(QPalette::WindowText, Qt::black);
    sample->setPalette(pal);
}

void frmSettings::Drive1_Change()
{
    Dir1->setPath(Drive1->Drive());
}

void frmSettings::cmdAddFolder_Click()
{
    if (TakeButtonRightClick()) {
        return;
    }
    // The panel's current folder stays what it is: the new folder only joins the lists. The folder
    // added is the one highlighted, a single click being enough.
    const QString path = Dir1->highlightedPath();
    if (path.isEmpty()) {
        return;
    }
    // A folder registered already is shown where it is listed, not registered twice.
    for (const auto &[registered, registeredPath] : GetAllSettings(AppName, QStringLiteral("Directories"))) {
        if (QDir::cleanPath(registeredPath) == QDir::cleanPath(path)) {
            const QList<QListWidgetItem *> found = List1->findItems(registered, Qt::MatchExactly);
            if (!found.isEmpty()) {
                List1->clearSelection();
                List1->setCurrentItem(found.first());
                found.first()->setSelected(true);
            }
            return;
        }
    }
    // A name taken by another folder (Trip.2023 and Trip.2024, 2023/Summer and 2024/Summer) gives
    // a name of its own, shown selected in the list.
    const QString name = DistinctFolderName(path, Drive1->mountPoints(), FolderNames());
    // Stored first: a folder the store could not keep (the user has been told why) is not shown
    // as registered, only to be gone at the next start.
    if (!SaveSetting(AppName, QStringLiteral("Directories"), name, path)) {
        return;
    }
    const int at = SortedInsertPlace(folderNames(), name);
    List1->insertItem(at, name);
    List1->clearSelection();
    List1->setCurrentRow(at);
    List1->item(at)->setSelected(true);
    FileListOps &side = m_list;
    side.insertFolderName(at, name);
    if (List1->count() == 1) {
        side.selectFolder(0); // the first folder ever opens in the panel
    }
}

void frmSettings::cmdRemoveFolder_Click()
{
    if (TakeButtonRightClick()) {
        return;
    }
    if (List1->selectedItems().isEmpty()) {
        return;
    }
    SharedState &s = State();
    FileListOps &side = m_list;
    int i = 0;
    while (i < List1->count()) {
        if (!List1->item(i)->isSelected()) {
            ++i;
            continue;
        }
        const QString name = List1->item(i)->text();
        // A folder the store still holds (the user has been told why) stays listed.
        if (!DeleteSetting(AppName, QStringLiteral("Directories"), name)) {
            ++i;
            continue;
        }
        if (List1->count() > 1 && name == side.currentFolderName()) {
            side.selectFolder(RemoveNeighbour(i, List1->count()));
        }
        delete List1->takeItem(i);
        side.removeFolderName(i);
    }
    if (List1->count() > 0) {
        s.Basename = side.currentFolderName();
    } else {
        s.Basename.clear();
        s.BasePath.clear();
        side.showNoFolder();
        DeleteSetting(AppName, QStringLiteral("Settings"), QStringLiteral("Basename"));
    }
}

void frmSettings::cmdCreate_Click()
{
    if (TakeButtonRightClick()) {
        return;
    }
    const QString parent = Dir1->Path();
    const std::optional<QString> answer =
        InputBox(CreateFolderPrompt(parent), QStringLiteral("Create Folder"), QString());
    if (!answer || answer->trimmed().isEmpty()) {
        return;
    }
    // The name as typed; one that names no single new folder here ("a/b", a NUL) is refused like
    // any other failure.
    bool created = false;
    if (!answer->contains(QLatin1Char('/')) && !answer->contains(QChar(0))) {
        created = ::mkdir(EncodeName(JoinPath(parent, *answer)).constData(), 0777) == 0;
    }
    if (!created) {
        MsgBox(QStringLiteral("Cannot create new folder. Folder may already exist."), vbCritical);
        return;
    }
    Dir1->Refresh();
}

void frmSettings::cmdScreenSaver_Click()
{
    if (TakeButtonRightClick()) {
        return;
    }
    SetAsScreenSaver();
}

void frmSettings::cmdBackColor1_Click()
{
    if (TakeButtonRightClick()) {
        return;
    }
    CommonDialog1.ShowColor();
    setSample(shpColor1, CommonDialog1.Color);
    UpdateAnglePreview();
}

void frmSettings::cmdBackColor2_Click()
{
    if (TakeButtonRightClick()) {
        return;
    }
    CommonDialog3.ShowColor();
    setSample(shpColor2, CommonDialog3.Color);
    UpdateAnglePreview();
}

void frmSettings::cmdFontColor_Click()
{
    if (TakeButtonRightClick()) {
        return;
    }
    CommonDialog2.ShowColor();
    setSample(shpColorFont, CommonDialog2.Color);
}

void frmSettings::markPreset(int angle)
{
    const int degrees = ((angle % 360) + 360) % 360;
    // An exclusive group cannot be emptied otherwise.
    m_presets->setExclusive(false);
    for (std::size_t i = 0; i < Option1.size(); ++i) {
        Option1.at(i)->setChecked(degrees == static_cast<int>(i) * 45);
    }
    m_presets->setExclusive(true);
}

void frmSettings::Option1_Click(int Index)
{
    lblAngle->setText(AngleCaption(Index * 45));
    UpdateAnglePreview();
}

void frmSettings::UpdateAnglePreview()
{
    picAngle->paintPreview(CommonDialog1.Color, CommonDialog3.Color, AngleFromCaption(lblAngle->text()));
}

void frmSettings::turnDial(int Button, float X, float Y)
{
    if ((Button & 1) == 0) {
        return;
    }
    const int cx = DialCentre(picAngle->ScaleWidth());
    const int cy = DialCentre(picAngle->ScaleHeight());
    const int angle = DialAngle(X, Y, cx, cy);
    lblAngle->setText(AngleCaption(angle));
    picAngle->setNeedle(kNeedleStart, NeedleEnd(angle, cx, cy));
    picAngle->setNeedleVisible(true);
}

void frmSettings::picAngle_MouseDown(int Button, float X, float Y)
{
    turnDial(Button, X, Y);
}

void frmSettings::picAngle_MouseMove(int Button, float X, float Y)
{
    turnDial(Button, X, Y);
}

void frmSettings::picAngle_MouseUp(int, float, float)
{
    markPreset(AngleFromCaption(lblAngle->text()));
    picAngle->setNeedleVisible(false);
    UpdateAnglePreview();
}

void frmSettings::showStoredSortOrder()
{
    const SortOrder sort = StoredSortOrder(StoreReader());
    cmbSort->setCurrentIndex(static_cast<int>(sort.key));
    chkDescending->setChecked(sort.descending);
    chkAllPictures->setChecked(StoredPictureSet(StoreReader()) == PictureSet::All);
}

void frmSettings::cmdOK_Click()
{
    if (TakeButtonRightClick()) {
        return;
    }
    const std::optional<int> interval = ParseSlideInterval(txtInterval->text());
    if (!interval) {
        MsgBox(SlideIntervalMessage(), vbExclamation);
        txtInterval->setFocus();
        txtInterval->selectAll();
        return;
    }
    SharedState &s = State();
    SetMouseCursor(QStringLiteral("WAIT"));
    const int angle = AngleFromCaption(lblAngle->text());
    s.GradientChanged = angle != s.GradientAngle ||
                        CommonDialog3.Color != StoredColour(s.SlideColor2, DefaultSlideColor2) ||
                        CommonDialog1.Color != StoredColour(s.SlideColor, DefaultSlideColor);
    s.SlideTime = static_cast<std::uint8_t>(*interval);
    s.SlideColor = ColourText(CommonDialog1.Color);
    s.SlideColor2 = ColourText(CommonDialog3.Color);
    s.FontColor = ColourText(CommonDialog2.Color);
    s.RandomShow = optRandom->isChecked();
    s.LogoShow = chkLogoShow->isChecked() ? 1 : 0;
    s.GradientAngle = static_cast<std::int16_t>(angle);
    const SortOrder sort{static_cast<SortKey>(std::max(0, cmbSort->currentIndex())), chkDescending->isChecked()};
    hide();
    const QString settings = QStringLiteral("Settings");
    SaveSettings(AppName, {{settings, QStringLiteral("SlideTime"), QString::number(s.SlideTime)},
                           {settings, QStringLiteral("SlideColor"), s.SlideColor},
                           {settings, QStringLiteral("SlideColor2"), s.SlideColor2},
                           {settings, QStringLiteral("FontColor"), s.FontColor},
                           {settings, QStringLiteral("RandomShow"), TruthText(s.RandomShow)},
                           {QStringLiteral("ScreenSaver"), QStringLiteral("LogoShow"), QString::number(s.LogoShow)},
                           {settings, QStringLiteral("GradientAngle"), QString::number(s.GradientAngle)},
                           {settings, QStringLiteral("SortOrder"), SortKeyText(sort.key)},
                           {settings, QStringLiteral("SortDescending"), TruthText(sort.descending)},
                           {settings, QStringLiteral("AllPictures"), TruthText(chkAllPictures->isChecked())}});
    s.SettingsChanged = true;
    emit Closed();
}

void frmSettings::cmdCancel_Click()
{
    if (TakeButtonRightClick()) {
        return;
    }
    reject();
}

void frmSettings::reject()
{
    SharedState &s = State();
    txtInterval->setFocus();
    CommonDialog1.Color = StoredColour(s.SlideColor, DefaultSlideColor);
    CommonDialog3.Color = StoredColour(s.SlideColor2, DefaultSlideColor2);
    CommonDialog2.Color = StoredColour(s.FontColor, DefaultFontColor);
    optRandom->setChecked(s.RandomShow);
    optNormal->setChecked(!s.RandomShow);
    chkLogoShow->setChecked(s.LogoShow == 1); // what a screen-saver run draws the logo for
    showStoredSortOrder();
    hide();
    s.SettingsChanged = false;
    emit Closed();
}

void frmSettings::cmdHelp_Click()
{
    if (TakeButtonRightClick()) {
        return;
    }
    HelpWindow &help = HelpWindow::showContents(ShippedFile(QStringLiteral("VIEWER.HLP")));
    // A window of the modal dialog's own, or the dialog would keep it from taking any input.
    if (help.parentWidget() != this) {
        help.setParent(this, Qt::Window);
        help.show();
    }
    help.raise();
    help.activateWindow();
}

QString frmSettings::angleCaption() const
{
    return lblAngle->text();
}

QStringList frmSettings::folderNames() const
{
    QStringList names;
    names.reserve(List1->count());
    for (int i = 0; i < List1->count(); ++i) {
        names.append(List1->item(i)->text());
    }
    return names;
}

QString frmSettings::browserPath() const
{
    return Dir1->Path();
}

bool frmSettings::browserBusy() const
{
    return Dir1->isReading();
}
