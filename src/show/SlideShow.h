// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>

#include <functional>

class QTimer;

// A slide show's course: its timer, the slide on show, the random order and whether it runs. It
// knows positions only (1-based, as SlideIndex); the window that shows the list picks the file at
// a position and shows it.
class SlideShow : public QObject
{
    Q_OBJECT
public:
    // `random` gives numbers in [0, 1) for the random order.
    explicit SlideShow(std::function<float()> random, QObject *parent = nullptr);

    // 0 leaves the timer off, so the show moves only by hand.
    void setInterval(int milliseconds);
    [[nodiscard]] int interval() const { return m_interval; }

    // The show from slide `first`, timed unless `byHand`, in random order when `random`.
    void start(int first, bool random, bool byHand);
    void stop();
    [[nodiscard]] bool isRunning() const { return m_running; }
    [[nodiscard]] int index() const { return m_index; }

    // The timer alone (a screen-saver run asking for its password keeps the show).
    void pauseTimer();
    void resumeTimer();

    // In random order the slide after the one on show is drawn one step early, so it can be
    // decoded ahead (aheadWanted).
    void drawAhead(int listCount);
    // The timer's step, and the arrow keys' (37 back, 39 on), over a list now `listCount` long.
    void advance(int listCount);
    void stepByHand(int keyCode, int listCount);

signals:
    // The slide is due; the list asked for it again first (a slide due in the middle of a move or
    // copy comes once the command has ended).
    void due();
    // Show the slide at this position.
    void slideWanted(int index);
    // The slide likely next: worth decoding now.
    void aheadWanted(int index);

private:
    void select(int index, int listCount);
    [[nodiscard]] int takeRandom(int listCount);

    std::function<float()> m_random;
    QTimer *m_timer;
    int m_interval = 0;
    int m_index = 0;
    int m_nextRandom = 0;
    bool m_randomOrder = false;
    bool m_running = false;
};
