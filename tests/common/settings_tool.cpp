// SPDX-License-Identifier: GPL-2.0-or-later
// A second process on the same store: "set SECTION KEY VALUE", "get SECTION KEY", or
// "hold-saver-run" (holds the screen-saver run's lock, says "held" and waits to be killed).
// "fill SECTION PREFIX COUNT" (COUNT keys PREFIX0, PREFIX1, ... one save each);
// "fill-batches SECTION PREFIX COUNT" (the same keys, saved five at a time);
// "set-password PASSWORD" (the screen-saver password, hashed as the launcher stores it).
// "get-bytes SECTION KEY" (the key given and the value printed as bytes, for names that are not UTF-8).
#include "common/FileNames.h"
#include "common/SettingsStore.h"
#include "common/platform/SaverPassword.h"
#include "common/platform/SaverRunLock.h"

#include <cstdio>
#include <unistd.h>

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 5 && args.at(1) == QLatin1String("set")) {
        return SaveSetting(AppName, args.at(2), args.at(3), args.at(4)) ? 0 : 1;
    }
    if (args.size() == 5 && args.at(1) == QLatin1String("fill")) {
        const int count = args.at(4).toInt();
        for (int i = 0; i < count; ++i) {
            if (!SaveSetting(AppName, args.at(2), args.at(3) + QString::number(i), QString::number(i))) {
                return 1;
            }
        }
        return 0;
    }
    if (args.size() == 5 && args.at(1) == QLatin1String("fill-batches")) {
        const int count = args.at(4).toInt();
        QList<SettingChange> batch;
        for (int i = 0; i < count; ++i) {
            batch.append({args.at(2), args.at(3) + QString::number(i), QString::number(i)});
            if (batch.size() == 5 || i == count - 1) {
                if (!SaveSettings(AppName, batch)) {
                    return 1;
                }
                batch.clear();
            }
        }
        return 0;
    }
    if (args.size() == 3 && args.at(1) == QLatin1String("set-password")) {
        return SetSaverPassword(args.at(2).toUtf8()) ? 0 : 1;
    }
    if (args.size() == 4 && args.at(1) == QLatin1String("get")) {
        QTextStream(stdout) << GetSetting(AppName, args.at(2), args.at(3));
        return 0;
    }
    if (args.size() == 4 && args.at(1) == QLatin1String("get-bytes")) {
        const QByteArray value = EncodeName(GetSetting(AppName, args.at(2), DecodeName(QByteArray(argv[3]))));
        std::fwrite(value.constData(), 1, static_cast<size_t>(value.size()), stdout);
        return 0;
    }
    if (args.size() == 2 && args.at(1) == QLatin1String("hold-saver-run")) {
        SaverRunLock lock(SettingsFilePath(AppName));
        if (!lock.acquire()) {
            return 1;
        }
        QTextStream(stdout) << "held\n";
        fflush(stdout);
        for (;;) {
            ::pause();
        }
    }
    return 2;
}
