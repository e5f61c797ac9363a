// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

// A window's control found by its name, as a user finds it on screen: tests drive the windows
// through their controls without reaching into their members. Elements of control arrays are
// named "cmdFolder_3", "Thumb1_12", "linTop_2".
template<class T> T *Control(const QObject &window, const QString &name)
{
    T *found = window.findChild<T *>(name);
    if (found == nullptr) {
        qFatal("%s has no control %s", qPrintable(window.objectName()), qPrintable(name));
    }
    return found;
}

template<class T> T *Control(const QObject &window, const char *name)
{
    return Control<T>(window, QString::fromLatin1(name));
}

template<class T> T *Element(const QObject &window, const char *array, int index)
{
    return Control<T>(window, QStringLiteral("%1_%2").arg(QLatin1String(array)).arg(index));
}
