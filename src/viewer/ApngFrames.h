// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>

#include <memory>

// The frames of an animated PNG, composed on its canvas as the format's dispose and blend rules
// say. Each frame is rebuilt as a plain PNG (the header with the frame's size, the chunks every
// frame shares, the frame's data) and decoded by the PNG reader, so no decoder of its own reads
// the compressed data. Nothing is trusted: frames must lie inside the canvas, and the canvas keeps
// to the limit on animations.
class ApngFrames
{
public:
    // Nothing when the bytes are not an animated PNG of at least two frames, or break its rules.
    [[nodiscard]] static std::unique_ptr<ApngFrames> open(const QByteArray &bytes);

    [[nodiscard]] QSize canvasSize() const { return m_canvas.size(); }
    [[nodiscard]] int frameCount() const { return static_cast<int>(m_frames.size()); }
    // As QImageReader counts them: -1 for ever, else the rounds after the first.
    [[nodiscard]] int loopCount() const { return m_plays == 0 ? -1 : m_plays - 1; }

    // A frame is left to read in this round.
    [[nodiscard]] bool canRead() const { return m_next < m_frames.size(); }
    // The next frame composed on the canvas, at `size` (empty: the canvas size); null when its
    // data cannot be decoded.
    [[nodiscard]] QImage read(QSize size);
    // How long the frame just read stays, in milliseconds.
    [[nodiscard]] int nextImageDelay() const { return m_delayMs; }
    // Back to the first frame, on an empty canvas.
    void restart();

private:
    struct Frame
    {
        QRect rect;
        int delayMs = 100;
        int dispose = 0; // 0 none, 1 background, 2 previous
        int blend = 0;   // 0 source, 1 over
        QByteArray data; // the compressed data, as an IDAT would hold it
    };

    QByteArray m_header; // IHDR's data
    QByteArray m_shared; // the chunks before the data that every frame needs (PLTE, tRNS, ...)
    QList<Frame> m_frames;
    int m_plays = 0;
    qsizetype m_next = 0;
    int m_delayMs = 0;
    QImage m_canvas;
    QImage m_saved; // the area under a frame that is disposed to what was before it
    int m_lastDispose = 0;
    QRect m_lastRect;
};
