// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/ScreenSaver.h"

#include "common/SettingsStore.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

#include <chrono>
#include <random>

namespace {

class DesktopScreenSaver final : public ScreenSaverControl
{
public:
    bool inhibit() override
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            return false;
        }
        QDBusInterface saver(QStringLiteral("org.freedesktop.ScreenSaver"),
                             QStringLiteral("/org/freedesktop/ScreenSaver"),
                             QStringLiteral("org.freedesktop.ScreenSaver"), bus);
        if (!saver.isValid()) {
            return false;
        }
        const QDBusReply<uint> cookie = saver.call(QStringLiteral("Inhibit"), AppName, QStringLiteral("Slide show"));
        if (!cookie.isValid()) {
            return false;
        }
        m_cookie = cookie.value();
        m_held = true;
        return true;
    }

    void release() override
    {
        if (!m_held) {
            return;
        }
        m_held = false;
        QDBusInterface saver(QStringLiteral("org.freedesktop.ScreenSaver"),
                             QStringLiteral("/org/freedesktop/ScreenSaver"),
                             QStringLiteral("org.freedesktop.ScreenSaver"), QDBusConnection::sessionBus());
        if (saver.isValid()) {
            saver.call(QStringLiteral("UnInhibit"), m_cookie);
        }
    }

private:
    uint m_cookie = 0;
    bool m_held = false;
};

DesktopScreenSaver g_desktop;
ScreenSaverControl *g_control = nullptr;

} // namespace

ScreenSaverControl &ScreenSaver()
{
    return g_control != nullptr ? *g_control : g_desktop;
}

void SetScreenSaverControl(ScreenSaverControl *control)
{
    g_control = control;
}

float RandomUnit()
{
    // Reseeded from the clock at every call, as the show has always done before each pick.
    std::mt19937 generator(
        static_cast<std::mt19937::result_type>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    float r = unit(generator);
    return r < 1.0f ? r : 0.0f;
}
