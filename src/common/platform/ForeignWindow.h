// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QSize>
#include <QTimer>

#include <cstdint>
#include <optional>

// Another program's X window, as far as the launcher needs it: whether it still exists and the
// size of its inside. Nothing when there is no X display or the window is gone.
[[nodiscard]] std::optional<QSize> ForeignWindowSize(std::uint32_t window);

// Watches another program's window that ours lives in (a screen saver's window, a settings
// dialog's preview): says when it goes away (destroyed, or unmapped after it was shown) and when
// its size changes. The X server's events say so at once; a look every quarter of a second also
// catches a window that went before the watch began.
class ForeignWindowWatch : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    explicit ForeignWindowWatch(std::uint32_t window, QObject *parent = nullptr);
    ~ForeignWindowWatch() override;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

signals:
    void gone();
    void resized(QSize size);

private:
    void look();
    void setGone();

    std::uint32_t m_window;
    QTimer m_poll;
    QSize m_size;
    bool m_wasViewable = false;
    bool m_gone = false;
};
