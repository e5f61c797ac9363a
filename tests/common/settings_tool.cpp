// A second process on the same store: "set SECTION KEY VALUE" or "get SECTION KEY".
#include "common/SettingsStore.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 5 && args.at(1) == QLatin1String("set")) {
        return SaveSetting(AppName, args.at(2), args.at(3), args.at(4)) ? 0 : 1;
    }
    if (args.size() == 4 && args.at(1) == QLatin1String("get")) {
        QTextStream(stdout) << GetSetting(AppName, args.at(2), args.at(3));
        return 0;
    }
    return 2;
}
