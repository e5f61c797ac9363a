// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

// One command at a time. A command that goes back to the event loop before it ends (a move or a
// copy waits for its worker that way) marks itself running; what arrives from outside meanwhile
// (a second start, a folder change, a timer) waits and runs after it, in the order it came, so
// that nothing acts on a folder or a selection that the command is still changing.
class CommandQueue
{
public:
    [[nodiscard]] bool busy() const { return m_depth > 0; }
    void begin() { ++m_depth; }
    // Once no command runs any more, what waited runs; an action that begins a command of its
    // own leaves the rest waiting for that one.
    void end();
    // Runs `action` now when no command runs, else after it. An action whose `context` is gone
    // by then is dropped. With a `key`, an action waiting under the same key is replaced rather
    // than repeated (a folder that changed twice is read once).
    void whenIdle(QObject *context, std::function<void()> action, const void *key = nullptr);
    [[nodiscard]] int waiting() const { return static_cast<int>(m_waiting.size()); }
    void clear();
    // How what waited is run once the last command ends: at once (the default), or handed to
    // `later` (the program's event loop), so that it never runs inside the code that ended the
    // command.
    void setRunner(std::function<void(std::function<void()>)> later) { m_later = std::move(later); }

private:
    void runWaiting();

    struct Waiting
    {
        QPointer<QObject> context;
        bool hadContext = false;
        const void *key = nullptr;
        std::function<void()> action;
    };
    int m_depth = 0;
    QList<Waiting> m_waiting;
    std::function<void(std::function<void()>)> m_later;
};

// The program's queue of commands; what waited runs from the event loop.
CommandQueue &Commands();

// For the length of a modal box: a command of its own, so that nothing from outside runs inside
// the box's event loop.
class CommandScope
{
public:
    CommandScope() { Commands().begin(); }
    ~CommandScope() { Commands().end(); }
    CommandScope(const CommandScope &) = delete;
    CommandScope &operator=(const CommandScope &) = delete;
};
