// SPDX-License-Identifier: GPL-2.0-or-later
#include "controls/WindowLife.h"

#include <QVariant>
#include <QWidget>

namespace {
constexpr const char *kUnloaded = "vantrelUnloaded";
}

void MarkUnloaded(QWidget *window)
{
    window->setProperty(kUnloaded, true);
    window->hide();
    window->deleteLater();
}

bool IsUnloaded(const QWidget *window)
{
    return window->property(kUnloaded).toBool();
}
