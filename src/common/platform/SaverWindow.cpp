#include "common/platform/SaverWindow.h"

#include "common/platform/ForeignWindow.h"

#include <QCoreApplication>
#include <QWidget>
#include <QWindow>

namespace {
std::optional<SaverWindowTarget> FromEnvironment()
{
    return ParseSaverWindow(qEnvironmentVariable(SaverWindowVariable));
}
} // namespace

std::optional<SaverWindowTarget> ParseSaverWindow(const QString &text)
{
    const QString t = text.trimmed();
    if (t == QLatin1String("root")) {
        return SaverWindowTarget{};
    }
    bool ok = false;
    const qulonglong value =
        t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toULongLong(&ok, 16) : t.toULongLong(&ok, 10);
    if (!ok || value == 0 || value > 0xFFFFFFFFull || t.contains(QLatin1Char('+')) || t.contains(QLatin1Char('-'))) {
        return std::nullopt;
    }
    return SaverWindowTarget{static_cast<std::uint32_t>(value)};
}

QString SaverWindowText(const SaverWindowTarget &target)
{
    return target.window == 0 ? QStringLiteral("root") : QStringLiteral("0x") + QString::number(target.window, 16);
}

std::optional<SaverWindowTarget> SaverWindowOfThisRun()
{
    static const std::optional<SaverWindowTarget> target = FromEnvironment();
    return target;
}

bool InForeignSaverWindow()
{
    const std::optional<SaverWindowTarget> target = SaverWindowOfThisRun();
    return target && target->window != 0;
}

bool EmbedInSaverWindow(QWidget &widget)
{
    const std::optional<SaverWindowTarget> target = SaverWindowOfThisRun();
    if (!target || target->window == 0) {
        return false;
    }
    const std::optional<QSize> size = ForeignWindowSize(target->window);
    if (!size) {
        return false;
    }
    // Kept by the application, which outlives the run's windows; xscreensaver ends the run before
    // it destroys its window.
    QWindow *parent = QWindow::fromWinId(target->window);
    static_cast<QObject *>(parent)->setParent(QCoreApplication::instance());
    widget.setWindowFlags(Qt::FramelessWindowHint);
    widget.setAttribute(Qt::WA_NativeWindow);
    widget.winId();
    widget.windowHandle()->setParent(parent);
    widget.setGeometry(0, 0, size->width(), size->height());
    return true;
}
