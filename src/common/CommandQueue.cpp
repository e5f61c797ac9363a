#include "common/CommandQueue.h"

#include <utility>

void CommandQueue::end()
{
    if (m_depth > 0) {
        --m_depth;
    }
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
    static CommandQueue queue;
    return queue;
}
