// SPDX-License-Identifier: GPL-2.0-or-later
#include "viewer/AnimationPlayer.h"

#include "common/picture/Picture.h"
#include "viewer/ApngFrames.h"

#include <QCoreApplication>
#include <QFile>
#include <QImageReader>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent>

#include <atomic>
#include <unistd.h>

namespace {

// One thread decodes the frames of every animation: an animation never takes more than one core,
// however fast the user steps through a folder of them. The pool belongs to the application, whose
// end waits for a decode under way (a stopped decode gives up at its next read of the file).
QThreadPool &animationThread()
{
    static QPointer<QThreadPool> pool;
    if (pool.isNull()) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(1);
    }
    return *pool;
}

// The file under the decoder: once the player is gone every read fails, so that a decode under way
// ends at its next chunk of the file instead of composing the rest of its frame for nobody.
class StoppableFile : public QFile
{
public:
    explicit StoppableFile(const std::atomic<bool> &stopped)
        : m_stopped(stopped)
    {}

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_stopped.load(std::memory_order_relaxed)) {
            return -1;
        }
        return QFile::readData(data, maxSize);
    }

private:
    const std::atomic<bool> &m_stopped;
};

// Where the frames come from: Qt's reader (GIF, WebP) or the animated-PNG composer.
class FrameSource
{
public:
    virtual ~FrameSource() = default;
    virtual bool canRead() = 0;
    virtual QImage read(QSize size) = 0;
    virtual int nextImageDelay() = 0;
    virtual int loopCount() = 0;
};

class ReaderSource : public FrameSource
{
public:
    explicit ReaderSource(std::unique_ptr<QImageReader> reader)
        : m_reader(std::move(reader))
    {}
    bool canRead() override { return m_reader->canRead(); }
    QImage read(QSize size) override
    {
        m_reader->setScaledSize(size);
        return m_reader->read();
    }
    int nextImageDelay() override { return m_reader->nextImageDelay(); }
    int loopCount() override { return m_reader->loopCount(); }

private:
    std::unique_ptr<QImageReader> m_reader;
};

class ApngSource : public FrameSource
{
public:
    explicit ApngSource(std::unique_ptr<ApngFrames> frames)
        : m_frames(std::move(frames))
    {}
    bool canRead() override { return m_frames->canRead(); }
    QImage read(QSize size) override { return m_frames->read(size); }
    int nextImageDelay() override { return m_frames->nextImageDelay(); }
    int loopCount() override { return m_frames->loopCount(); }

private:
    std::unique_ptr<ApngFrames> m_frames;
};

// An animated PNG is read whole to be taken apart; larger ones show their first picture only.
constexpr qint64 kMaxApngBytes = 64ll << 20;

} // namespace

// Everything the worker thread touches. Only one decode runs at a time for a player (the next is
// asked for once the last has been handed over), so the reader needs no lock; the player and the
// decode in flight share it, and whichever lets go last frees it.
struct AnimationPlayer::Decoder
{
    std::atomic<bool> stopped{false};
    StoppableFile file{stopped};
    std::unique_ptr<FrameSource> reader;
    bool firstRound = true;
    // Rounds still to play after this one, as the file's loop count gives them; -1 for ever.
    int roundsLeft = -1;
    int framesThisRound = 0;

    // Reads the file from its start. The canvas is checked again here: the file may have been
    // replaced since its first frame was shown, and every frame is composed on the whole canvas.
    bool startRound()
    {
        reader.reset();
        framesThisRound = 0;
        if (!file.seek(0)) {
            return false;
        }
        const QByteArray head = file.peek(128);
        const PictureKind kind = SniffPictureKind(head);
        std::unique_ptr<FrameSource> next;
        QSize canvas;
        if (kind == PictureKind::Gif && head.size() >= 10) {
            const auto *b = reinterpret_cast<const unsigned char *>(head.constData());
            auto gif = std::make_unique<QImageReader>(&file, QByteArrayLiteral("gif"));
            // The format is known: no other image plugin is loaded to be asked.
            gif->setAutoDetectImageFormat(false);
            canvas = gif->size().expandedTo(QSize(b[6] | (b[7] << 8), b[8] | (b[9] << 8)));
            next = std::make_unique<ReaderSource>(std::move(gif));
        } else if (kind == PictureKind::WebP) {
            auto webp = std::make_unique<QImageReader>(&file, QByteArrayLiteral("webp"));
            webp->setAutoDetectImageFormat(false);
            canvas = webp->size();
            next = std::make_unique<ReaderSource>(std::move(webp));
        } else if (kind == PictureKind::Png && file.size() <= kMaxApngBytes) {
            auto apng = ApngFrames::open(file.readAll());
            if (apng == nullptr) {
                return false;
            }
            canvas = apng->canvasSize();
            next = std::make_unique<ApngSource>(std::move(apng));
        } else {
            return false;
        }
        if (!canvas.isValid() || canvas.isEmpty()) {
            return false;
        }
        if (qint64(canvas.width()) * canvas.height() > PictureLimits::maxAnimatedPixels) {
            return false;
        }
        reader = std::move(next);
        return true;
    }

    // The next frame at `size` (empty: the canvas size), looping as the file asks; the end when
    // there is none or the player stopped.
    Frame next(QSize size)
    {
        const Frame end{QImage(), 0, true};
        // At most two passes: the end of a round, then the first frame of the next one.
        for (int pass = 0; pass < 2 && !stopped.load(std::memory_order_relaxed); ++pass) {
            if (reader == nullptr && !startRound()) {
                return end;
            }
            if (reader->canRead()) {
                Frame frame;
                frame.image = reader->read(size);
                if (frame.image.isNull()) {
                    return end;
                }
                // The delay that came with the frame just read: how long it stays on screen.
                frame.delayMs = reader->nextImageDelay();
                ++framesThisRound;
                return frame;
            }
            if (framesThisRound == 0) {
                return end; // a round without a single frame would loop for ever
            }
            if (firstRound) {
                roundsLeft = reader->loopCount();
                firstRound = false;
            }
            if (roundsLeft == 0) {
                return end;
            }
            if (roundsLeft > 0) {
                --roundsLeft;
            }
            reader.reset();
        }
        return end;
    }
};

AnimationPlayer::AnimationPlayer(int fd, QSize shownSize, QObject *parent)
    : QObject(parent)
    , m_decoder(std::make_shared<Decoder>())
    , m_size(shownSize)
{
    m_turn.setSingleShot(true);
    connect(&m_turn, &QTimer::timeout, this, &AnimationPlayer::showReady);
    connect(&m_watcher, &QFutureWatcher<Frame>::finished, this, &AnimationPlayer::decoded);
    m_shownFor.start();
    if (!m_decoder->file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        m_finished = true;
        return;
    }
    decodeNext();
}

AnimationPlayer::~AnimationPlayer()
{
    // The decode in flight keeps its own share of the decoder and finishes on its thread; the
    // watcher goes with this player, so its result is dropped.
    m_decoder->stopped.store(true, std::memory_order_relaxed);
}

void AnimationPlayer::setShownSize(QSize size)
{
    m_size = size;
}

void AnimationPlayer::decodeNext()
{
    if (m_finished) {
        return;
    }
    // The first frame is on screen already: it is read only to get past it and learn its delay.
    const QSize size = m_first ? QSize() : m_size;
    m_watcher.setFuture(
        QtConcurrent::run(&animationThread(), [decoder = m_decoder, size] { return decoder->next(size); }));
}

void AnimationPlayer::decoded()
{
    Frame frame = m_watcher.result();
    if (frame.end) {
        m_finished = true;
        return;
    }
    if (m_first) {
        m_first = false;
        m_delayMs = frame.delayMs;
        decodeNext();
        return;
    }
    m_ready = std::move(frame);
    const qint64 left = m_delayMs - m_shownFor.elapsed();
    m_turn.start(static_cast<int>(std::max<qint64>(0, left)));
}

void AnimationPlayer::showReady()
{
    if (!m_ready) {
        return;
    }
    const Frame frame = std::move(*m_ready);
    m_ready.reset();
    m_delayMs = frame.delayMs;
    m_shownFor.restart();
    // A frame decoded for the size shown before is let go; the next one comes at the new size.
    if (frame.image.size() == m_size) {
        ++m_framesShown;
        emit frameReady(frame.image);
    }
    decodeNext();
}
