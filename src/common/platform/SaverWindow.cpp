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

std::optional<std::uint32_t> ParseWindowId(const QString &text)
{
    const QString t = text.trimmed();
    const bool hex = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const QString digits = hex ? t.mid(2) : t;
    if (digits.isEmpty()) {
        return std::nullopt;
    }
    for (const QChar c : digits) {
        const bool ok =
            hex ? c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')) : c.isDigit();
        if (!ok || c.unicode() > 127) {
            return std::nullopt;
        }
    }
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok, hex ? 16 : 10);
    if (!ok || value == 0 || value > 0xFFFFFFFFull) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<SaverWindowTarget> ParseSaverWindow(const QString &text)
{
    if (text.trimmed() == QLatin1String("root")) {
        return SaverWindowTarget{};
    }
    const std::optional<std::uint32_t> id = ParseWindowId(text);
    if (!id) {
        return std::nullopt;
    }
    return SaverWindowTarget{*id};
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
