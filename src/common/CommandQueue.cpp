// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/CommandQueue.h"

#include <QCoreApplication>
#include <QTimer>

#include <utility>

void CommandQueue::end()
{
    if (m_depth > 0) {
        --m_depth;
    }
    if (m_depth > 0 || m_waiting.isEmpty()) {
        return;
    }
    if (m_later) {
        m_later([this] { runWaiting(); });
        return;
    }
    runWaiting();
}

void CommandQueue::runWaiting()
{
    while (m_depth == 0 && !m_waiting.isEmpty()) {
        Waiting next = m_waiting.takeFirst();
        if (next.hadContext && next.context.isNull()) {
            continue;
        }
        next.action();
    }
}

void CommandQueue::whenIdle(QObject *context, std::function<void()> action, const void *key)
{
    if (!busy()) {
        action();
        return;
    }
    if (key != nullptr) {
        for (Waiting &w : m_waiting) {
            if (w.key == key) {
                w = {context, context != nullptr, key, std::move(action)};
                return;
            }
        }
    }
    m_waiting.append({context, context != nullptr, key, std::move(action)});
}

void CommandQueue::clear()
{
    m_depth = 0;
    m_waiting.clear();
}

CommandQueue &Commands()
{
    static CommandQueue queue = [] {
        CommandQueue q;
        q.setRunner([](std::function<void()> run) {
            if (QCoreApplication *app = QCoreApplication::instance()) {
                QTimer::singleShot(0, app, std::move(run));
            } else {
                run();
            }
        });
        return q;
    }();
    return queue;
}
