// SPDX-License-Identifier: GPL-2.0-or-later
#include "viewer/ThumbnailPage.h"

#include "common/SharedState.h"
#include "common/StoredValues.h"
#include "common/Utilities.h"
#include "controls/PictureImage.h"
#include "viewer/ThumbnailRules.h"

#include <QWidget>

#include <array>
#include <utility>

ThumbnailPage::ThumbnailPage(QWidget *surface)
    : QObject(surface)
    , m_surface(surface)
{
    connect(&m_watcher, &QFutureWatcherBase::resultReadyAt, this, [this](int) { placeReady(); });
    connect(&m_watcher, &QFutureWatcherBase::finished, this, [this] { placeReady(); });
}

ThumbnailPage::~ThumbnailPage()
{
    abandon();
}

void ThumbnailPage::abandon()
{
    m_building = false;
    // The decodes not yet started are dropped and those under way end on their own threads into
    // results nobody reads: nothing here waits for them, so a page left for a picture (a second
    // start, a click) never holds the windows.
    m_watcher.cancel();
    m_watcher.setFuture(QFuture<Thumbnail>());
    // Let go last, so that whatever it gives back finds the page already gone.
    const std::function<void()> dropped = std::exchange(m_done, nullptr);
}

PictureImage *ThumbnailPage::loadThumb(int index)
{
    const auto k = static_cast<std::size_t>(index);
    if (k < m_thumbs.size() && m_thumbs[k] != nullptr) {
        return m_thumbs[k];
    }
    if (m_thumbs.size() <= k) {
        m_thumbs.resize(k + 1, nullptr);
        m_bitmap.resize(k + 1);
    }
    auto *thumb = new PictureImage(m_surface);
    thumb->setObjectName(QStringLiteral("Thumb1_%1").arg(index));
    thumb->hide();
    connect(thumb, &PictureImage::MouseDown, this, [this, index](int Button, int Shift, float X, float Y) {
        emit thumbMouseDown(index, Button, Shift, X, Y);
    });
    connect(thumb, &PictureImage::MouseMove, this, [this, index](int Button, int Shift, float X, float Y) {
        emit thumbMouseMove(index, Button, Shift, X, Y);
    });
    connect(thumb, &PictureImage::MouseUp, this,
            [this, index](int Button, int Shift, float X, float Y) { emit thumbMouseUp(index, Button, Shift, X, Y); });
    // Queued: a double-click leaves the page, which releases the thumbnail that sent it.
    connect(
        thumb, &PictureImage::DblClick, this, [this, index] { emit thumbDblClick(index); }, Qt::QueuedConnection);
    m_thumbs[k] = thumb;
    m_bitmap[k] = QSize();
    return thumb;
}

PictureImage *ThumbnailPage::thumb(int index) const
{
    if (index < 0 || index >= count()) {
        return nullptr;
    }
    return m_thumbs[static_cast<std::size_t>(index)];
}

void ThumbnailPage::unloadThumbs()
{
    if (m_building) {
        abandon();
    }
    if (!m_thumbs.empty()) {
        m_thumbs.front()->hide();
    }
    // Released once control returns to the event loop: one of them may be the sender of the
    // event being handled now.
    for (std::size_t k = 1; k < m_thumbs.size(); ++k) {
        m_thumbs[k]->hide();
        m_thumbs[k]->setObjectName(QString());
        m_thumbs[k]->disconnect(this);
        m_thumbs[k]->deleteLater();
    }
    m_thumbs.resize(std::min<std::size_t>(m_thumbs.size(), 1));
    m_bitmap.resize(m_thumbs.size());
}

void ThumbnailPage::makePlaceholder(int index)
{
    PictureImage *t = loadThumb(index);
    t->setPicture(LoadResPicture(QStringLiteral("101")).toImage());
    t->resize(ThumbPlaceholderPx, ThumbPlaceholderPx);
    t->Tag = InvalidTag;
    t->setEnabled(false);
    m_bitmap[static_cast<std::size_t>(index)] = QSize();
}

void ThumbnailPage::markGone(int index, const QString &text)
{
    PictureImage *t = thumb(index);
    if (t == nullptr) {
        return;
    }
    const QRect was = t->geometry();
    makePlaceholder(index);
    t->setToolTip(text);
    t->move(CentredPlaceholder(was));
}

void ThumbnailPage::setBitmapSize(int index, QSize size)
{
    loadThumb(index);
    m_bitmap[static_cast<std::size_t>(index)] = size;
}

QSize ThumbnailPage::bitmapSize(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_bitmap.size())) {
        return QSize();
    }
    return m_bitmap[static_cast<std::size_t>(index)];
}

void ThumbnailPage::loadBorderSet(int index)
{
    if (static_cast<std::size_t>(index) < m_top.size()) {
        return; // loading a set that exists fails, and that is ignored
    }
    // A new set takes the colour of set 0, which the load sets from the text colour.
    QPalette pal = m_surface->palette();
    pal.setColor(QPalette::Window, ColourFromValue(0x0000FFFF));
    if (!m_top.empty()) {
        pal = m_top.front()->palette();
    }
    const std::array<std::pair<std::vector<QWidget *> *, const char *>, 4> sets = {
        {{&m_top, "linTop_%1"}, {&m_right, "linRight_%1"}, {&m_bottom, "linBottom_%1"}, {&m_left, "linLeft_%1"}}};
    for (const auto &[lines, name] : sets) {
        auto *line = new QWidget(m_surface);
        line->setObjectName(QString::fromLatin1(name).arg(index));
        line->setAutoFillBackground(true);
        line->setPalette(pal);
        line->hide();
        lines->push_back(line);
    }
}

void ThumbnailPage::placeBorderSet(int index, const QRect &around)
{
    loadBorderSet(index);
    const auto k = static_cast<std::size_t>(index);
    const BorderSet set = BorderAround(around);
    const std::array<std::pair<QWidget *, QLine>, 4> lines = {
        {{m_left[k], set.left}, {m_top[k], set.top}, {m_right[k], set.right}, {m_bottom[k], set.bottom}}};
    for (const auto &[line, where] : lines) {
        line->hide();
        line->setGeometry(LinePixels(where));
    }
    for (const auto &[line, where] : lines) {
        line->show();
        line->raise();
    }
}

void ThumbnailPage::closeBorders()
{
    for (auto *lines : {&m_top, &m_right, &m_bottom, &m_left}) {
        if (lines->empty()) {
            continue;
        }
        lines->front()->hide();
        for (std::size_t k = 1; k < lines->size(); ++k) {
            (*lines)[k]->hide();
            (*lines)[k]->setObjectName(QString());
            (*lines)[k]->deleteLater();
        }
        lines->resize(1);
    }
}

void ThumbnailPage::setBorderColour(const QColor &colour)
{
    for (auto *lines : {&m_top, &m_right, &m_bottom, &m_left}) {
        for (QWidget *line : *lines) {
            QPalette pal = line->palette();
            pal.setColor(QPalette::Window, colour);
            line->setPalette(pal);
        }
    }
}

QWidget *ThumbnailPage::borderLine(int set, int side) const
{
    if (set < 0 || set >= borderSetCount()) {
        return nullptr;
    }
    const auto k = static_cast<std::size_t>(set);
    switch (side) {
    case 0:
        return m_top[k];
    case 1:
        return m_right[k];
    case 2:
        return m_bottom[k];
    default:
        return m_left[k];
    }
}

void ThumbnailPage::build(const PagePlan &plan, const QFuture<Thumbnail> &loads, std::function<void()> done)
{
    if (m_building) {
        abandon();
    }
    m_plan = plan;
    m_placed = 0;
    m_done = std::move(done);
    m_building = true;
    m_watcher.setFuture(loads);
    // Results already there are placed at once; the rest as they arrive.
    placeReady();
}

void ThumbnailPage::placeReady()
{
    if (!m_building) {
        return;
    }
    const QFuture<Thumbnail> loads = m_watcher.future();
    const int n = static_cast<int>(m_plan.paths.size());
    while (m_placed < n && (loads.isResultReadyAt(m_placed) || loads.isFinished())) {
        const Thumbnail result = loads.isResultReadyAt(m_placed) ? loads.resultAt(m_placed) : Thumbnail();
        placeOne(m_placed, result);
        ++m_placed;
    }
    if (m_placed >= n && loads.isFinished()) {
        finish();
    }
}

void ThumbnailPage::placeOne(int i, const Thumbnail &result)
{
    SharedState &s = State();
    s.CurrentFile = m_plan.paths.at(i);
    if (i > 0) {
        s.ThumbsLoaded = true;
        loadThumb(i);
        s.ThumbControlCount = i + 1;
    }
    PictureImage *t = loadThumb(i);
    if (!result.info) {
        makePlaceholder(i);
    } else {
        t->setToolTip(m_plan.names.at(i));
        t->setPicture(result.image);
        t->resize(ThumbScaledSize(result.info->pixelSize, m_plan.cell));
        setBitmapSize(i, result.info->pixelSize);
    }
    const QPoint where = ThumbPosition(i + 1, m_plan.onPage, m_plan.columns, m_plan.cell, t->size());
    t->move(where);
    t->show();
}

void ThumbnailPage::finish()
{
    m_building = false;
    if (auto done = std::exchange(m_done, nullptr)) {
        done();
    }
}
