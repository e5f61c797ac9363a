// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QTimer>

#include <memory>
#include <optional>

// Plays an animated GIF, WebP or PNG: each frame is decoded and scaled to the size it is shown at on a worker
// thread, and handed over as a ready image when its turn comes, after the delay the file gives the
// frame before it. At most one frame is decoded ahead of the one on screen. Destroying the player
// stops it at once: a decode under way is told to give up, finishes on its own thread, and its
// frame goes nowhere.
class AnimationPlayer : public QObject
{
    Q_OBJECT
public:
    // A decoded frame, or the end of the animation (an empty image).
    struct Frame
    {
        QImage image;
        int delayMs = 0;
        bool end = false;
    };

    // Takes over `fd` (an open regular file, read from its start) and closes it when done. The
    // first frame is on screen already when the player is made; the next follows its delay.
    AnimationPlayer(int fd, QSize shownSize, QObject *parent = nullptr);
    ~AnimationPlayer() override;

    AnimationPlayer(const AnimationPlayer &) = delete;
    AnimationPlayer &operator=(const AnimationPlayer &) = delete;

    // Frames decoded from now on come at this size (a frame decoded ahead at the old one is
    // skipped).
    void setShownSize(QSize size);
    [[nodiscard]] QSize shownSize() const { return m_size; }
    // Frames handed over so far (the first one, shown before the player began, not counted).
    [[nodiscard]] int framesShown() const { return m_framesShown; }
    // No more frames come: the animation played to its end, or the file could not be read.
    [[nodiscard]] bool finished() const { return m_finished; }

signals:
    void frameReady(const QImage &frame);

private:
    struct Decoder;
    void decodeNext();
    void decoded();
    void showReady();

    std::shared_ptr<Decoder> m_decoder;
    QFutureWatcher<Frame> m_watcher;
    QTimer m_turn;
    QElapsedTimer m_shownFor;
    QSize m_size;
    // How long the frame on screen stays (milliseconds).
    int m_delayMs = 0;
    std::optional<Frame> m_ready;
    bool m_first = true;
    bool m_finished = false;
    int m_framesShown = 0;
};
