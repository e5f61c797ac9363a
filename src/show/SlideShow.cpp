// SPDX-License-Identifier: GPL-2.0-or-later
#include "show/SlideShow.h"

#include "common/CommandQueue.h"
#include "common/KeyCodes.h"
#include "show/SlideRules.h"

#include <QTimer>

SlideShow::SlideShow(std::function<float()> random, QObject *parent)
    : QObject(parent)
    , m_random(std::move(random))
    , m_timer(new QTimer(this))
{
    m_timer->setObjectName(QStringLiteral("tmrSlide"));
    // On time to the millisecond rather than within the coarse timer's 5% slack.
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, [this] {
        Commands().whenIdle(
            this, [this] { emit due(); }, m_timer);
    });
}

void SlideShow::setInterval(int milliseconds)
{
    m_interval = milliseconds;
    if (milliseconds > 0) {
        m_timer->setInterval(milliseconds);
    } else {
        m_timer->stop();
    }
}

void SlideShow::start(int first, bool random, bool byHand)
{
    m_index = first;
    m_randomOrder = random;
    m_running = true;
    if (!byHand && m_interval > 0) {
        m_timer->start(m_interval);
    }
}

void SlideShow::stop()
{
    m_timer->stop();
    m_running = false;
}

void SlideShow::pauseTimer()
{
    m_timer->stop();
}

void SlideShow::resumeTimer()
{
    if (m_interval > 0) {
        m_timer->start(m_interval);
    }
}

void SlideShow::drawAhead(int listCount)
{
    if (!m_randomOrder) {
        return;
    }
    m_nextRandom = NextSlide(0, listCount, true, m_random());
    if (m_nextRandom >= 1) {
        emit aheadWanted(m_nextRandom);
    }
}

int SlideShow::takeRandom(int listCount)
{
    int pick = m_nextRandom;
    if (pick < 1 || pick > listCount) {
        pick = NextSlide(0, listCount, true, m_random());
    }
    drawAhead(listCount);
    return pick;
}

void SlideShow::advance(int listCount)
{
    if (m_randomOrder) {
        select(takeRandom(listCount), listCount);
        return;
    }
    select(NextSlide(m_index, listCount, false, 0), listCount);
}

void SlideShow::stepByHand(int keyCode, int listCount)
{
    if (m_randomOrder) {
        select(takeRandom(listCount), listCount);
        return;
    }
    if (keyCode != vbKeyLeft && keyCode != vbKeyRight) {
        return;
    }
    select(ManualSlideIndex(m_index, listCount, false, keyCode, 0), listCount);
}

void SlideShow::select(int index, int listCount)
{
    m_index = index;
    if (index >= 1 && index <= listCount) {
        emit slideWanted(index);
    }
}
