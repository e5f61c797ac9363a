// SPDX-License-Identifier: GPL-2.0-or-later
#include "Controls.h"
#include "ProgramUnderTest.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/FileNames.h"
#include "common/FolderNames.h"
#include "common/SettingsLoad.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/StoredValues.h"
#include "common/platform/AppPaths.h"
#include "controls/ARButton.h"
#include "controls/HelpWindow.h"
#include "controls/PictureImage.h"
#include "panel/FileListBox.h"
#include "panel/frmSide.h"
#include "settings/FolderBrowser.h"
#include "settings/SettingsRules.h"
#include "settings/frmSettings.h"
#include "show/Grad.h"
#include "viewer/frmPictureViewer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <memory>
#include <sys/mount.h>
#include <unistd.h>

using Forms::Form;

class SettingsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProgramUnderTest> program;
    IsolatedEnvironment *env = nullptr;
    ScriptedDialogs *dialogs = nullptr;

    QString folder(const QString &relative, int pictures = 0)
    {
        const QString path = env->path(relative);
        QDir().mkpath(path);
        for (int i = 0; i < pictures; ++i) {
            WriteJpeg(path + QStringLiteral("/pic%1.jpg").arg(i), 40, 30);
        }
        return path;
    }

    void start()
    {
        QCOMPARE(EntryProcedure(), Road::Normal);
        QTRY_VERIFY(Forms::IsLoaded(Form::PictureViewer) && Forms::frmPictureViewer().isVisible());
    }

    frmSide &side() { return Forms::frmSide(); }
    frmSettings &dialog() { return Forms::frmSettings(); }
    template<class W> W *control(const char *name)
    {
        W *w = dialog().findChild<W *>(QLatin1String(name));
        if (w == nullptr) {
            qFatal("no control %s", name);
        }
        return w;
    }

    // The Settings button of the panel, clicked.
    void openSettings()
    {
        QTest::mouseClick(Control<ARButton>(side(), "cmdSettings"), Qt::LeftButton);
        QTRY_VERIFY(Forms::IsLoaded(Form::Settings) && dialog().isVisible());
        QTRY_VERIFY(!dialog().browserPath().isEmpty() && !dialog().browserBusy());
    }

    void click(const char *name) { QTest::mouseClick(control<QPushButton>(name), Qt::LeftButton); }

    // The folder browser put on a folder directly (navigation itself is tested through clicks once).
    void browse(const QString &path)
    {
        control<DirListBox>("Dir1")->setPath(path);
        QTRY_COMPARE(dialog().browserPath(), QDir::cleanPath(path));
        QTRY_VERIFY(!dialog().browserBusy());
    }

    // The browser walked from the root to a folder by double-clicks, as a user would.
    void browseByClicks(const QString &path)
    {
        auto *dir = control<DirListBox>("Dir1");
        for (const QString &step : FolderChain(QStringLiteral("/"), path)) {
            QTRY_VERIFY(dir->rowOf(step) >= 0);
            const QModelIndex target = dir->model()->index(dir->rowOf(step), 0);
            dir->scrollTo(target);
            // A double-click is a click and then the second press.
            const QPoint at = dir->visualRect(target).center();
            QTest::mouseClick(dir->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(dir->viewport(), Qt::LeftButton, {}, at);
            QTRY_COMPARE(dialog().browserPath(), step);
        }
    }

    QStringList comboNames()
    {
        QStringList names;
        for (int i = 0; i < Control<QComboBox>(side(), "cmbFolders")->count(); ++i) {
            names.append(Control<QComboBox>(side(), "cmbFolders")->itemText(i));
        }
        return names;
    }
    QStringList assignNames()
    {
        QStringList names;
        for (int i = 1; i < Control<QListWidget>(side(), "lstFolders")->count(); ++i) {
            names.append(Control<QListWidget>(side(), "lstFolders")->item(i)->text());
        }
        return names;
    }
    void checkListsInStep()
    {
        QCOMPARE(comboNames(), dialog().folderNames());
        QCOMPARE(assignNames(), dialog().folderNames());
        QCOMPARE(Control<QListWidget>(side(), "lstFolders")->item(0)->text(), QStringLiteral("(blank button)"));
    }

    QPoint dialCentre()
    {
        const auto *pic = dialog().anglePicture();
        const QSize inner = pic->innerSize();
        return {AnglePicture::kBorder + inner.width() / 2, AnglePicture::kBorder + inner.height() / 2};
    }

    QList<int> presetsMarked()
    {
        QList<int> marked;
        for (int i = 0; i < 8; ++i) {
            if (control<QRadioButton>(qPrintable(QStringLiteral("Option1_%1").arg(i)))->isChecked()) {
                marked << i;
            }
        }
        return marked;
    }

private slots:
    void init()
    {
        program = std::make_unique<ProgramUnderTest>();
        env = &program->env;
        dialogs = &program->dialogs;
    }

    void cleanup() { program.reset(); }

    // ---- Rules without windows ----

    void intervalTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("seconds"); // 0: refused
        QTest::newRow("plain") << "4" << 4;
        QTest::newRow("blanks around") << "  12 " << 12;
        QTest::newRow("lowest") << "1" << 1;
        QTest::newRow("highest") << "255" << 255;
        QTest::newRow("leading zeros") << "007" << 7;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("blank") << "   " << 0;
        QTest::newRow("word") << "abc" << 0;
        QTest::newRow("negative") << "-1" << 0;
        QTest::newRow("plus") << "+5" << 0;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("too big") << "256" << 0;
        QTest::newRow("fraction") << "1.5" << 0;
        QTest::newRow("two numbers") << "4 5" << 0;
        QTest::newRow("wide digits") << QString::fromUtf8("\xd9\xa4") << 0;
    }
    void intervalTexts()
    {
        QFETCH(QString, text);
        QFETCH(int, seconds);
        const auto parsed = ParseSlideInterval(text);
        QCOMPARE(parsed.value_or(0), seconds);
    }

    void dialAngles_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<int>("angle");
        // Centre (825, 660).
        QTest::newRow("above") << 825.0 << 100.0 << 90;
        QTest::newRow("centre") << 825.0 << 660.0 << 90;
        QTest::newRow("below") << 825.0 << 1000.0 << 270;
        QTest::newRow("left") << 100.0 << 660.0 << 180;
        QTest::newRow("right") << 1500.0 << 660.0 << 0;
        QTest::newRow("up right") << 1125.0 << 360.0 << 45;
        QTest::newRow("up left") << 525.0 << 360.0 << 135;
        QTest::newRow("down left") << 525.0 << 960.0 << 225;
        QTest::newRow("down right") << 1125.0 << 960.0 << 315;
        QTest::newRow("just below right") << 1500.0 << 661.0 << 360;
        QTest::newRow("half a degree rounds to even")
            << 825.0 + 1000.0 << 660.0 - 1000.0 * std::tan(0.5 * 3.1415927410125732 / 180) << 0;
    }
    void dialAngles()
    {
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(int, angle);
        QCOMPARE(DialAngle(x, y, 825, 660), angle);
    }

    void dialCentreAndNeedle()
    {
        QCOMPARE(DialCentre(1635), 818); // 817.5: halves to even
        QCOMPARE(DialCentre(1625), 812); // 812.5
        QCOMPARE(DialCentre(1650), 825);
        const QPointF up = NeedleEnd(90, 825, 660);
        QVERIFY(std::abs(up.x() - 825) < 1e-4);
        QVERIFY(std::abs(up.y() - 560) < 1e-9);
        const QPointF left = NeedleEnd(180, 825, 660);
        QVERIFY(std::abs(left.x() - 725) < 1e-9);
        QCOMPARE(AngleFromCaption(AngleCaption(315)), 315);
        QCOMPARE(AngleCaption(45), QString::fromUtf8("45\xc2\xb0"));
        QCOMPARE(AngleFromCaption(QString()), 0);
    }

    void displayNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("root") << "/"
                              << "Root";
        QTest::newRow("mount point") << "/media/usb"
                                     << "usb";
        QTest::newRow("mount point with a dot") << "/media/card.1"
                                                << "card.1";
        QTest::newRow("extension dropped") << "/home/a/Holiday.2001"
                                           << "Holiday";
        QTest::newRow("last extension only") << "/p/a.b.c"
                                             << "a.b";
        QTest::newRow("trailing slash") << "/home/a/Pictures/"
                                        << "Pictures";
        QTest::newRow("hidden folder kept whole") << "/home/a/.photos"
                                                  << ".photos";
        QTest::newRow("ampersand") << "/p/Tom & Jerry"
                                   << "Tom & Jerry";
    }
    void displayNames()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(FolderDisplayName(path, {"/", "/media/usb", "/media/card.1"}), name);
        QVERIFY(!FolderDisplayName(path, {}).isEmpty());
    }

    void listPlaces()
    {
        const QStringList names = {"apples", "Holiday", "IMG_2", "IMG_10", "zoo"};
        QCOMPARE(SortedInsertPlace(names, "Birds"), 1);
        QCOMPARE(SortedInsertPlace(names, "IMG_3"), 3);
        QCOMPARE(SortedInsertPlace(names, "aardvark"), 0);
        QCOMPARE(SortedInsertPlace(names, "zz"), 5);
        QCOMPARE(SortedInsertPlace({}, "x"), 0);
        QCOMPARE(RemoveNeighbour(0, 3), 1);
        QCOMPARE(RemoveNeighbour(1, 3), 2);
        QCOMPARE(RemoveNeighbour(2, 3), 1);
    }

    void mounts_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("listed");
        QTest::newRow("root") << "/"
                              << "ext4" << false << true;
        QTest::newRow("overlay root") << "/"
                                      << "overlay" << false << true;
        QTest::newRow("home") << "/home"
                              << "ext4" << false << true;
        QTest::newRow("usb stick") << "/media/anna/USB"
                                   << "vfat" << false << true;
        QTest::newRow("udisks media") << "/run/media/anna/Card"
                                      << "exfat" << false << true;
        QTest::newRow("cd") << "/media/cdrom"
                            << "iso9660" << true << true;
        QTest::newRow("nfs") << "/mnt/photos"
                             << "nfs4" << false << true;
        QTest::newRow("cifs") << "/srv/share"
                              << "cifs" << false << true;
        QTest::newRow("proc") << "/proc"
                              << "proc" << false << false;
        QTest::newRow("sys") << "/sys/fs/cgroup"
                             << "cgroup2" << false << false;
        QTest::newRow("dev") << "/dev/shm"
                             << "tmpfs" << false << false;
        QTest::newRow("run") << "/run"
                             << "tmpfs" << false << false;
        QTest::newRow("run user") << "/run/user/1000"
                                  << "tmpfs" << false << false;
        QTest::newRow("snap") << "/snap/core/123"
                              << "squashfs" << true << false;
        QTest::newRow("image elsewhere") << "/opt/app"
                                         << "squashfs" << true << false;
        QTest::newRow("boot") << "/boot/efi"
                              << "vfat" << false << false;
        QTest::newRow("tmp") << "/tmp"
                             << "tmpfs" << false << false;
        QTest::newRow("data disk") << "/data"
                                   << "xfs" << false << true;
    }
    void mounts()
    {
        QFETCH(QString, root);
        QFETCH(QString, type);
        QFETCH(bool, readOnly);
        QFETCH(bool, listed);
        MountInfo m;
        m.rootPath = root;
        m.fsType = type;
        m.readOnly = readOnly;
        QCOMPARE(IsPictureMount(m, "/home/anna"), listed);
    }

    void pathsAndChains()
    {
        const QStringList mounts = {"/", "/home", "/media/usb"};
        QCOMPARE(MountOf("/home/anna/Pictures", mounts), QStringLiteral("/home"));
        QCOMPARE(MountOf("/homework", mounts), QStringLiteral("/"));
        QCOMPARE(MountOf("/media/usb", mounts), QStringLiteral("/media/usb"));
        QCOMPARE(FolderChain("/", "/a/b"), (QStringList{"/", "/a", "/a/b"}));
        QCOMPARE(FolderChain("/home", "/home/anna"), (QStringList{"/home", "/home/anna"}));
        QCOMPARE(FolderChain("/home", "/elsewhere"), (QStringList{"/home"}));
        QCOMPARE(FolderChain("/", "/"), (QStringList{"/"}));
        QVERIFY(InsideHiddenFolder("/home/a/.cache/x"));
        QVERIFY(!InsideHiddenFolder("/home/a/x.y"));
        MountInfo labelled;
        labelled.rootPath = "/media/usb";
        labelled.label = "HOLIDAY";
        QCOMPARE(MountCaption(labelled), QStringLiteral("/media/usb [HOLIDAY]"));
        QCOMPARE(CreateFolderPrompt("/home/a"), QStringLiteral("Enter new folder name on path:\n'/home/a/'"));
        QCOMPARE(CreateFolderPrompt("/"), QStringLiteral("Enter new folder name on path:\n'/'"));
    }

    void subfoldersAreReadInNaturalOrder()
    {
        const QString base = folder("tree");
        for (const char *name : {"b10", "b2", "A", ".hidden"}) {
            QDir().mkpath(base + "/" + name);
        }
        QFile(base + "/file.jpg").open(QIODevice::WriteOnly);
        QVERIFY(QFile::link(base + "/A", base + "/linked"));
        QVERIFY(QFile::link(base + "/file.jpg", base + "/filelink"));
        QCOMPARE(*ReadSubfolders(base, false), (QStringList{"A", "b2", "b10", "linked"}));
        QCOMPARE(*ReadSubfolders(base, true), (QStringList{".hidden", "A", "b2", "b10", "linked"}));
        QVERIFY(!ReadSubfolders(base + "/missing", false));
        QVERIFY(!ReadSubfolders(base + "/file.jpg", false));
        const auto mounts = ReadPictureMounts();
        QVERIFY(!mounts.empty());
        QCOMPARE(mounts.front().rootPath, QStringLiteral("/"));
    }

    // ---- The dialog ----

    void firstRunRegistersAFolderThroughTheDialog()
    {
        const QString pics = folder("My Pictures", 3);
        start();
        QCOMPARE(Control<FileListBox>(side(), "File1")->ListCount(), 0);
        openSettings();
        QCOMPARE(dialog().windowTitle(), QStringLiteral("Vantrel Viewer Settings"));
        QCOMPARE(dialog().browserPath(), QDir::homePath()); // no current folder yet
        QCOMPARE(control<QLineEdit>("txtInterval")->text(), QStringLiteral("4"));
        QVERIFY(control<QLineEdit>("txtInterval")->hasFocus());
        browseByClicks(pics);
        click("cmdAddFolder");
        QCOMPARE(dialog().folderNames(), QStringList{"My Pictures"});
        QCOMPARE(GetSetting(AppName, "Directories", "My Pictures"), pics);
        // The first folder opens in the panel at once.
        QCOMPARE(side().currentFolderName(), QStringLiteral("My Pictures"));
        QCOMPARE(Control<FileListBox>(side(), "File1")->ListCount(), 3);
        QCOMPARE(Control<FileListBox>(side(), "File1")->Path(), pics);
        click("cmdOK");
        QVERIFY(!dialog().isVisible());
        QCOMPARE(GetSetting(AppName, "Settings", "SlideTime"), QStringLiteral("4"));
        QCOMPARE(Control<QTimer>(side(), "tmrSlide")->interval(), 4000);
        checkListsInStep();
    }

    void activationShowsTheSettingsInMemory()
    {
        SaveSetting(AppName, "Settings", "SlideTime", "0");
        SaveSetting(AppName, "Settings", "RandomShow", "True");
        SaveSetting(AppName, "Settings", "GradientAngle", "135");
        SaveSetting(AppName, "Settings", "SlideColor", "255");
        SaveSetting(AppName, "ScreenSaver", "LogoShow", "1");
        start();
        openSettings();
        QCOMPARE(control<QLineEdit>("txtInterval")->text(), QStringLiteral("4"));
        QCOMPARE(control<QLineEdit>("txtInterval")->selectedText(), QStringLiteral("4"));
        QVERIFY(control<QRadioButton>("optRandom")->isChecked());
        QVERIFY(control<QCheckBox>("chkLogoShow")->isChecked());
        QCOMPARE(dialog().angleCaption(), AngleCaption(135));
        QCOMPARE(control<QFrame>("shpColor1")->palette().color(QPalette::Window), QColor(255, 0, 0));
        // Every control inside the dialog, at its designed place.
        QCOMPARE(dialog().size(), QSize(487, 326));
        QCOMPARE(control<QPushButton>("cmdOK")->geometry(), QRect(272, 296, 65, 22));
        QCOMPARE(control<QListWidget>("List1")->geometry(), QRect(16, 176, 169, 95));
        for (QWidget *w : dialog().findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (!w->isWindow()) {
                QVERIFY2(dialog().rect().contains(w->geometry()), qPrintable(w->objectName()));
            }
        }
        // The tab order starts at the interval box, then OK, Cancel, Help.
        QCOMPARE(control<QLineEdit>("txtInterval")->nextInFocusChain(), control<QPushButton>("cmdOK"));
        QCOMPARE(control<QPushButton>("cmdOK")->nextInFocusChain(), control<QPushButton>("cmdCancel"));
        QCOMPARE(control<QPushButton>("cmdCancel")->nextInFocusChain(), control<QPushButton>("cmdHelp"));
        click("cmdCancel");
        QVERIFY(!dialog().isVisible());
        QCOMPARE(GetSetting(AppName, "Settings", "SlideTime"), QStringLiteral("0"));
    }

    void theDialFollowsTheMouse_data()
    {
        QTest::addColumn<QPoint>("offset");
        QTest::addColumn<int>("angle");
        QTest::newRow("above") << QPoint(0, -30) << 90;
        QTest::newRow("below") << QPoint(0, 30) << 270;
        QTest::newRow("left") << QPoint(-40, 0) << 180;
        QTest::newRow("right") << QPoint(40, 0) << 0;
        QTest::newRow("up right") << QPoint(25, -25) << 45;
        QTest::newRow("centre") << QPoint(0, 0) << 90;
    }
    void theDialFollowsTheMouse()
    {
        QFETCH(QPoint, offset);
        QFETCH(int, angle);
        start();
        openSettings();
        auto *pic = control<AnglePicture>("picAngle");
        const QImage before = pic->preview();
        // Start somewhere else, drag to the point, release there.
        QTest::mousePress(pic, Qt::LeftButton, {}, dialCentre() + QPoint(20, 20));
        QCOMPARE(dialog().angleCaption(), AngleCaption(315));
        QVERIFY(pic->needleVisible());
        QTest::mouseMove(pic, dialCentre() + offset);
        QCOMPARE(dialog().angleCaption(), AngleCaption(angle));
        QTest::mouseRelease(pic, Qt::LeftButton, {}, dialCentre() + offset);
        QVERIFY(!pic->needleVisible());
        QCOMPARE(dialog().angleCaption(), AngleCaption(angle));
        // The preview is the gradient at the new angle.
        QImage expected(pic->innerSize(), QImage::Format_RGB32);
        expected.fill(ColourFromValue(DefaultSlideColor2));
        PaintGradient(expected, DefaultSlideColor, DefaultSlideColor2, angle);
        QCOMPARE(pic->preview(), expected);
        QVERIFY(angle == 270 || pic->preview() != before); // the stored angle of a first run is 270
        // The dial stopped on a preset's angle: that preset is marked, and no other.
        QCOMPARE(presetsMarked(), QList<int>{angle / 45});
        // A right button turns nothing.
        QTest::mousePress(pic, Qt::RightButton, {}, dialCentre() + QPoint(0, 30));
        QCOMPARE(dialog().angleCaption(), AngleCaption(angle));
        QTest::mouseRelease(pic, Qt::RightButton, {}, dialCentre() + QPoint(0, 30));
    }

    void presetsSetTheAngle()
    {
        start();
        openSettings();
        for (int i = 0; i < 8; ++i) {
            QTest::mouseClick(control<QRadioButton>(qPrintable(QStringLiteral("Option1_%1").arg(i))), Qt::LeftButton,
                              {}, QPoint(5, 8));
            QCOMPARE(dialog().angleCaption(), AngleCaption(i * 45));
        }
        click("cmdOK");
        QCOMPARE(GetSetting(AppName, "Settings", "GradientAngle"), QStringLiteral("315"));
        QCOMPARE(State().GradientAngle, 315);
        QVERIFY(State().GradientChanged);
    }

    // The eight presets are one choice, apart from the show order, and the one of the stored
    // angle is marked when the dialog opens; an angle between presets marks none.
    void presetsAreOneChoiceAndTheCurrentOneIsMarked()
    {
        SaveSetting(AppName, "Settings", "SlideColor", "255");
        SaveSetting(AppName, "Settings", "GradientAngle", "135");
        start();
        openSettings();
        QCOMPARE(presetsMarked(), QList<int>{3});
        QVERIFY(control<QRadioButton>("optNormal")->isChecked());
        QTest::mouseClick(control<QRadioButton>("Option1_5"), Qt::LeftButton, {}, QPoint(5, 8));
        QCOMPARE(presetsMarked(), QList<int>{5});
        QVERIFY(control<QRadioButton>("optNormal")->isChecked());
        QTest::mouseClick(control<QRadioButton>("optRandom"), Qt::LeftButton, {}, QPoint(5, 8));
        QCOMPARE(presetsMarked(), QList<int>{5});
        QVERIFY(control<QRadioButton>("optRandom")->isChecked());
        QTest::mouseClick(control<QRadioButton>("Option1_0"), Qt::LeftButton, {}, QPoint(5, 8));
        QCOMPARE(presetsMarked(), QList<int>{0});
        QVERIFY(control<QRadioButton>("optRandom")->isChecked());
        click("cmdCancel");
        SaveSetting(AppName, "Settings", "GradientAngle", "100");
        State().GradientAngle = 100;
        openSettings();
        QVERIFY(presetsMarked().isEmpty());
        click("cmdCancel");
    }

    // The browser opens where the panel is, and a folder highlighted by one click is the folder
    // the green plus registers.
    void theBrowserStartsAtThePanelsFolderAndAddsTheHighlightedOne()
    {
        const QString trip = folder("Trip", 1);
        const QString day = folder("Trip/Day 1", 1);
        SaveSetting(AppName, "Directories", "Trip", trip);
        SaveSetting(AppName, "Settings", "Basename", "Trip");
        start();
        openSettings();
        QCOMPARE(dialog().browserPath(), trip);
        auto *dir = control<DirListBox>("Dir1");
        QTRY_VERIFY(dir->rowOf(day) >= 0);
        const QModelIndex entry = dir->model()->index(dir->rowOf(day), 0);
        QTest::mouseClick(dir->viewport(), Qt::LeftButton, {}, dir->visualRect(entry).center());
        QCOMPARE(dialog().browserPath(), trip); // highlighted, not opened
        click("cmdAddFolder");
        QCOMPARE(GetSetting(AppName, "Directories", "Day 1"), day);
        QCOMPARE(dialog().folderNames(), (QStringList{"Day 1", "Trip"}));
        // The same folder once more: shown where it is listed, not registered again.
        click("cmdAddFolder");
        QCOMPARE(dialog().folderNames(), (QStringList{"Day 1", "Trip"}));
        QCOMPARE(control<QListWidget>("List1")->currentItem()->text(), QStringLiteral("Day 1"));
        QVERIFY(dialogs->asked.isEmpty());
    }

    // Folders whose display names are alike get names of their own, shown in the list.
    void foldersOfTheSameNameAreRegisteredUnderDistinctNames()
    {
        const QString trip23 = folder("Trip.2023");
        const QString trip24 = folder("Trip.2024");
        const QString summer23 = folder("2023/Summer");
        const QString summer24 = folder("2024/Summer");
        start();
        openSettings();
        for (const QString &path : {trip23, trip24, summer23, summer24}) {
            browse(path);
            click("cmdAddFolder");
        }
        QCOMPARE(GetSetting(AppName, "Directories", "Trip"), trip23);
        QCOMPARE(GetSetting(AppName, "Directories", "Trip.2024"), trip24);
        QCOMPARE(GetSetting(AppName, "Directories", "Summer"), summer23);
        QCOMPARE(GetSetting(AppName, "Directories", "Summer (2024)"), summer24);
        QCOMPARE(control<QListWidget>("List1")->currentItem()->text(), QStringLiteral("Summer (2024)"));
        QCOMPARE(dialog().folderNames().size(), 4);
        checkListsInStep();
        QCOMPARE(DistinctFolderName("/x/2024/Summer", {"/"}, {"Summer", "Summer (2024)"}),
                 QStringLiteral("Summer (2)"));
    }

    void addingFolders()
    {
        const QString holiday = folder("one/Holiday.2001");
        const QString hidden = folder("one/.photos");
        const QString other = folder("two/Holiday");
        const QString apples = folder("one/apples", 1);
        start();
        openSettings();
        browse(apples);
        click("cmdAddFolder");
        QCOMPARE(side().currentFolderName(), QStringLiteral("apples"));
        browse(holiday);
        click("cmdAddFolder");
        browse(hidden);
        click("cmdAddFolder");
        browse("/");
        click("cmdAddFolder");
        QCOMPARE(dialog().folderNames(), (QStringList{".photos", "apples", "Holiday", "Root"}));
        QCOMPARE(control<QListWidget>("List1")->selectedItems().size(), 1);
        QCOMPARE(control<QListWidget>("List1")->selectedItems().front()->text(), QStringLiteral("Root"));
        checkListsInStep();
        QCOMPARE(GetSetting(AppName, "Directories", "Holiday"), holiday);
        QCOMPARE(GetSetting(AppName, "Directories", ".photos"), hidden);
        QCOMPARE(GetSetting(AppName, "Directories", "Root"), QStringLiteral("/"));
        // The panel keeps showing the folder it showed.
        QCOMPARE(side().currentFolderName(), QStringLiteral("apples"));
        QCOMPARE(State().Basename, QStringLiteral("apples"));
        // A second Holiday from elsewhere gets a name of its own; the first keeps its name and path.
        browse(other);
        click("cmdAddFolder");
        QCOMPARE(GetSetting(AppName, "Directories", "Holiday"), holiday);
        QCOMPARE(GetSetting(AppName, "Directories", "Holiday (two)"), other);
        QVERIFY(dialogs->asked.isEmpty());
        // Folder changes stand even when the dialog is cancelled.
        click("cmdCancel");
        QCOMPARE(FolderNames(), (QStringList{".photos", "apples", "Holiday", "Holiday (two)", "Root"}));
    }

    // The settings file on a real small disk that runs full or is made read-only under the
    // running program: registering a folder says why it could not be kept, once, and the folder is
    // not shown as registered; removing two folders is one command, said once; OK says it again.
    void aSettingsSaveThatFailsIsSaidOnceWithTheReason_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("full disk") << false;
        QTest::newRow("read-only disk") << true;
    }
    void aSettingsSaveThatFailsIsSaidOnceWithTheReason()
    {
        QFETCH(bool, readOnly);
        const QString disk = folder("disk");
        if (::geteuid() != 0 || ::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=256k") != 0) {
            QSKIP("this machine does not let a test mount a disk");
        }
        const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH); });
        const QString file = disk + QStringLiteral("/Vantrel Viewer.ini");
        qputenv("VANTREL_SETTINGS", QFile::encodeName(file));
        ForgetSettingsFileState();
        QVERIFY(SaveSetting(AppName, "Directories", "A", folder("A", 1)));
        QVERIFY(SaveSetting(AppName, "Directories", "B", folder("B", 1)));
        QVERIFY(SaveSetting(AppName, "Settings", "Basename", "A"));
        const QString c = folder("C", 1);
        start();
        openSettings();
        if (readOnly) {
            QVERIFY(::mount(nullptr, QFile::encodeName(disk).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) ==
                    0);
        } else {
            QFile filler(disk + QStringLiteral("/filler"));
            QVERIFY(filler.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'x');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
        }
        const QString reason = QStringLiteral("The settings could not be saved: the disk that holds %1 is %2.")
                                   .arg(file, readOnly ? QStringLiteral("read-only") : QStringLiteral("full"));
        dialogs->asked.clear();
        browse(c);
        click("cmdAddFolder");
        QCOMPARE(dialogs->asked.size(), 1);
        QCOMPARE(dialogs->asked.last().prompt, reason);
        QCOMPARE(dialogs->asked.last().style, int(vbCritical));
        QCOMPARE(dialog().folderNames(), (QStringList{"A", "B"}));
        QVERIFY(!comboNames().contains("C"));
        QVERIFY(GetSetting(AppName, "Directories", "C").isEmpty());
        QCoreApplication::processEvents(); // the user's next command comes after the event loop ran
        auto *list = control<QListWidget>("List1");
        list->item(0)->setSelected(true);
        list->item(1)->setSelected(true);
        click("cmdRemoveFolder");
        QCOMPARE(dialogs->asked.size(), 2);
        QCOMPARE(dialogs->asked.last().prompt, reason);
        QCOMPARE(dialog().folderNames(), (QStringList{"A", "B"})); // still in the store, so still listed
        checkListsInStep();
        QCoreApplication::processEvents();
        control<QLineEdit>("txtInterval")->setText(QStringLiteral("9"));
        click("cmdOK");
        QCOMPARE(dialogs->asked.size(), 3);
        QCOMPARE(dialogs->asked.last().prompt, reason);
        QCOMPARE(FolderNames(), (QStringList{"A", "B"}));
        QVERIFY(GetSetting(AppName, "Settings", "SlideTime").isEmpty());
    }

    // A folder whose name is Latin-1, not UTF-8: the browser shows it as the file list does, and
    // the folder registered is that folder, for the next start (another process) too.
    void aFolderWhoseNameIsNotUtf8IsRegisteredByItsBytes()
    {
        const QByteArray bytes = QFile::encodeName(env->dir()) + "/caf\xe9";
        QVERIFY(::mkdir(bytes.constData(), 0700) == 0);
        const QString path = DecodeName(bytes);
        // A near twin whose name is the text U+FFFD would take its place if the bytes were lost.
        QVERIFY(QDir().mkpath(env->path(QStringLiteral("caf\uFFFD"))));
        start();
        openSettings();
        browse(env->dir());
        auto *dir = control<DirListBox>("Dir1");
        QTRY_VERIFY(dir->rowOf(path) >= 0);
        const QModelIndex entry = dir->model()->index(dir->rowOf(path), 0);
        QCOMPARE(entry.data().toString().trimmed(), QStringLiteral("caf\\xE9"));
        const QPoint at = dir->visualRect(entry).center();
        QTest::mouseClick(dir->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(dir->viewport(), Qt::LeftButton, {}, at);
        QTRY_COMPARE(dialog().browserPath(), path);
        click("cmdAddFolder");
        const QString name = DecodeName(QByteArray("caf\xe9"));
        QVERIFY(dialog().folderNames().contains(name));
        QCOMPARE(GetSetting(AppName, "Directories", name), path);
        // What the next start reads, asked of another process; the key goes as bytes, through a
        // shell (the arguments of QProcess go out through the locale's encoding).
        QProcess tool;
        tool.setProgram(QStringLiteral("/bin/sh"));
        tool.setArguments({QStringLiteral("-c"),
                           QStringLiteral("exec \"$0\" get-bytes Directories \"$(printf 'caf\\351')\""),
                           QStringLiteral(VV_SETTINGS_TOOL)});
        tool.start();
        QVERIFY(tool.waitForFinished(10000));
        QCOMPARE(tool.readAllStandardOutput(), bytes);
    }

    void removingFolders()
    {
        for (const char *name : {"A", "B", "C", "D"}) {
            SaveSetting(AppName, "Directories", name, folder(name, 1));
        }
        SaveSetting(AppName, "Settings", "Basename", "B");
        start();
        QCOMPARE(side().currentFolderName(), QStringLiteral("B"));
        openSettings();
        auto *list = control<QListWidget>("List1");
        auto removeRows = [&](QList<int> rows) {
            list->clearSelection();
            for (int row : rows) {
                list->item(row)->setSelected(true);
            }
            click("cmdRemoveFolder");
        };
        // Nothing selected: nothing happens.
        list->clearSelection();
        click("cmdRemoveFolder");
        QCOMPARE(dialog().folderNames().size(), 4);
        // The current folder in the middle: the panel moves to the one below.
        removeRows({1});
        QCOMPARE(dialog().folderNames(), (QStringList{"A", "C", "D"}));
        QCOMPARE(side().currentFolderName(), QStringLiteral("C"));
        QCOMPARE(Control<FileListBox>(side(), "File1")->Path(), env->path("C"));
        QCOMPARE(State().Basename, QStringLiteral("C"));
        QVERIFY(GetSetting(AppName, "Directories", "B").isEmpty());
        checkListsInStep();
        // The current folder last in the list: the panel moves to the one above.
        side().selectFolder(2);
        removeRows({2});
        QCOMPARE(side().currentFolderName(), QStringLiteral("C"));
        checkListsInStep();
        // Several at once, the current one among them.
        removeRows({0, 1});
        QVERIFY(dialog().folderNames().isEmpty());
        QCOMPARE(Control<QComboBox>(side(), "cmbFolders")->count(), 0);
        QCOMPARE(Control<FileListBox>(side(), "File1")->ListCount(), 0);
        QVERIFY(!Control<PictureImage>(Forms::frmPictureViewer(), "Image1")->isVisible());
        QVERIFY(State().Basename.isEmpty());
        QVERIFY(GetSetting(AppName, "Settings", "Basename").isEmpty());
        QVERIFY(FolderNames().isEmpty());
        checkListsInStep();
        click("cmdOK");
        // The next start remembers no folder.
        Forms::frmPictureViewer().Form_Unload();
        QVERIFY(GetSetting(AppName, "Settings", "Basename").isEmpty());
    }

    // The list shows every format it reads unless the settings say the first five only; the file
    // counter and the picture shown follow the choice.
    void theListShowsAllPicturesOrTheFirstFiveFormats()
    {
        const QString pics = folder(QStringLiteral("mixed"), 2);
        for (const char *name : {"a.png", "b.webp", "c.PNG"}) {
            QImage image(40, 30, QImage::Format_RGB32);
            image.fill(Qt::darkGreen);
            QVERIFY(image.save(pics + QLatin1Char('/') + QLatin1String(name),
                               QByteArray(name).toLower().endsWith("webp") ? "WEBP" : "PNG"));
        }
        SaveSetting(AppName, "Directories", "mixed", pics);
        SaveSetting(AppName, "Settings", "Basename", "mixed");
        start();
        auto *list = Control<FileListBox>(side(), "File1");
        auto *counter = Control<QLabel>(side(), "lblFileCounter");
        // A store without the choice lists them all.
        QTRY_COMPARE(list->ListCount(), 5);
        QCOMPARE(counter->text(), QStringLiteral("5 Files"));
        openSettings();
        auto *all = control<QCheckBox>("chkAllPictures");
        QVERIFY(all->isChecked());
        QTest::mouseClick(all, Qt::LeftButton, {}, QPoint(6, all->height() / 2));
        QVERIFY(!all->isChecked());
        click("cmdOK");
        QCOMPARE(GetSetting(AppName, "Settings", "AllPictures"), QStringLiteral("False"));
        QTRY_COMPARE(list->ListCount(), 2);
        QCOMPARE(counter->text(), QStringLiteral("2 Files"));
        QVERIFY(list->names().filter(QStringLiteral(".png"), Qt::CaseInsensitive).isEmpty());
        // Cancel keeps the choice.
        openSettings();
        QVERIFY(!all->isChecked());
        QTest::mouseClick(all, Qt::LeftButton, {}, QPoint(6, all->height() / 2));
        QVERIFY(all->isChecked());
        click("cmdCancel");
        QCOMPARE(GetSetting(AppName, "Settings", "AllPictures"), QStringLiteral("False"));
        QCOMPARE(list->ListCount(), 2);
        openSettings();
        QVERIFY(!all->isChecked());
        // From the keyboard: Space on the box, Return for OK.
        all->setFocus();
        QTest::keyClick(all, Qt::Key_Space);
        QVERIFY(all->isChecked());
        QTest::keyClick(all, Qt::Key_Return);
        QTRY_COMPARE(list->ListCount(), 5);
        QCOMPARE(counter->text(), QStringLiteral("5 Files"));
        QCOMPARE(GetSetting(AppName, "Settings", "AllPictures"), QStringLiteral("True"));
    }

    void aStoreThatHoldsTheChoiceKeepsIt()
    {
        const QString pics = folder(QStringLiteral("kept"), 1);
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        QVERIFY(image.save(pics + QStringLiteral("/only.png"), "PNG"));
        SaveSetting(AppName, "Directories", "kept", pics);
        SaveSetting(AppName, "Settings", "Basename", "kept");
        SaveSetting(AppName, "Settings", "AllPictures", "False");
        start();
        auto *list = Control<FileListBox>(side(), "File1");
        QTRY_COMPARE(list->ListCount(), 1);
        QCOMPARE(list->List(0), QStringLiteral("pic0.jpg"));
    }

    void cancelKeepsTheOldColours()
    {
        start();
        openSettings();
        dialogs->colourAnswers = {QColor(10, 20, 30)};
        click("cmdBackColor1");
        QCOMPARE(dialogs->asked.back().prompt, ColourFromValue(DefaultSlideColor).name()); // preset to the colour
        QCOMPARE(control<QFrame>("shpColor1")->palette().color(QPalette::Window), QColor(10, 20, 30));
        {
            auto *pic = control<AnglePicture>("picAngle");
            QImage expected(pic->innerSize(), QImage::Format_RGB32);
            expected.fill(ColourFromValue(DefaultSlideColor2));
            PaintGradient(expected, ValueFromColour(QColor(10, 20, 30)), DefaultSlideColor2, 270);
            QCOMPARE(pic->preview(), expected);
        }
        click("cmdCancel");
        QVERIFY(!State().SettingsChanged);
        QVERIFY(GetSetting(AppName, "Settings", "SlideColor").isEmpty());
        QCOMPARE(Control<FileListBox>(side(), "File1")->palette().color(QPalette::Base),
                 ColourFromValue(DefaultSlideColor));
        openSettings();
        QCOMPARE(control<QFrame>("shpColor1")->palette().color(QPalette::Window), ColourFromValue(DefaultSlideColor));
        // A cancelled chooser keeps the colour.
        click("cmdBackColor2");
        QCOMPARE(control<QFrame>("shpColor2")->palette().color(QPalette::Window), ColourFromValue(DefaultSlideColor2));
        click("cmdCancel");
    }

    void okWithTheTextColourOnly()
    {
        folder("pics", 2);
        SaveSetting(AppName, "Directories", "pics", env->path("pics"));
        SaveSetting(AppName, "Settings", "Basename", "pics");
        start();
        frmPictureViewer &viewer = Forms::frmPictureViewer();
        State().LastBorderSet = 0;
        const qint64 background = viewer.background().cacheKey();
        openSettings();
        dialogs->colourAnswers = {QColor(200, 0, 100)};
        click("cmdFontColor");
        QCOMPARE(control<QFrame>("shpColorFont")->palette().color(QPalette::Window), QColor(200, 0, 100));
        control<QLineEdit>("txtInterval")->setText(" 9 ");
        click("cmdOK");
        QVERIFY(State().SettingsChanged);
        QVERIFY(!State().GradientChanged);
        QCOMPARE(viewer.background().cacheKey(), background);
        QCOMPARE(GetSetting(AppName, "Settings", "FontColor"), ColourText(ValueFromColour(QColor(200, 0, 100))));
        QCOMPARE(GetSetting(AppName, "Settings", "SlideTime"), QStringLiteral("9"));
        QCOMPARE(Control<QTimer>(side(), "tmrSlide")->interval(), 9000);
        QCOMPARE(Control<FileListBox>(side(), "File1")->palette().color(QPalette::Text), QColor(200, 0, 100));
        QCOMPARE(Control<FileListBox>(side(), "File1")->palette().color(QPalette::Base),
                 ColourFromValue(DefaultSlideColor));
        QCOMPARE(Control<QComboBox>(side(), "cmbFolders")->palette().color(QPalette::Base), QColor(200, 0, 100));
        QCOMPARE(Control<QComboBox>(side(), "cmbFolders")->palette().color(QPalette::Text),
                 ColourFromValue(DefaultSlideColor));
        for (const char *lines : {"linTop", "linLeft", "linRight", "linBottom"}) {
            QCOMPARE(Element<QWidget>(viewer, lines, 0)->palette().color(QPalette::Window), QColor(200, 0, 100));
        }
        // Changing a gradient colour does repaint the background.
        openSettings();
        dialogs->colourAnswers = {QColor(0, 0, 0)};
        click("cmdBackColor2");
        click("cmdOK");
        QVERIFY(State().GradientChanged);
        QVERIFY(viewer.background().cacheKey() != background);
    }

    void refusedIntervals_data()
    {
        QTest::addColumn<QString>("text");
        for (const char *text : {"", "abc", "-1", "0", "256", "1.5", "4 5"}) {
            QTest::newRow(text) << QString::fromLatin1(text);
        }
    }
    void refusedIntervals()
    {
        QFETCH(QString, text);
        start();
        openSettings();
        auto *box = control<QLineEdit>("txtInterval");
        box->setText(text);
        click("cmdOK");
        QCOMPARE(dialogs->asked.size(), 1);
        QCOMPARE(dialogs->asked.front().prompt,
                 QStringLiteral("The slide interval must be a whole number of seconds from 1 to 255."));
        QCOMPARE(dialogs->asked.front().style, static_cast<int>(vbExclamation));
        QVERIFY(dialog().isVisible());
        QCOMPARE(box->selectedText(), text);
        QVERIFY(GetSetting(AppName, "Settings", "SlideTime").isEmpty());
        click("cmdCancel");
    }

    void creatingFolders()
    {
        const QString parent = folder("parent");
        start();
        openSettings();
        browse(parent);
        dialogs->inputAnswers = {QString("New Album")};
        click("cmdCreate");
        QCOMPARE(dialogs->asked.back().title, QStringLiteral("Create Folder"));
        QCOMPARE(dialogs->asked.back().prompt, "Enter new folder name on path:\n'" + parent + "/'");
        QVERIFY(QFileInfo(parent + "/New Album").isDir());
        auto *dir = control<DirListBox>("Dir1");
        QTRY_VERIFY(dir->rowOf(parent + "/New Album") > 0);
        // Blanks and a cancelled box: nothing made, nothing said.
        dialogs->asked.clear();
        dialogs->inputAnswers = {QString("   "), std::nullopt};
        click("cmdCreate");
        click("cmdCreate");
        QCOMPARE(dialogs->asked.size(), 2);
        QCOMPARE(QDir(parent).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"New Album"});
        // An existing name, a name with a slash: the one message.
        for (const QString &bad : {QString("New Album"), QString("a/b")}) {
            dialogs->asked.clear();
            dialogs->inputAnswers = {bad};
            click("cmdCreate");
            QCOMPARE(dialogs->asked.size(), 2);
            QCOMPARE(dialogs->asked.back().prompt,
                     QStringLiteral("Cannot create new folder. Folder may already exist."));
            QCOMPARE(dialogs->asked.back().style, static_cast<int>(vbCritical));
        }
        QVERIFY(!QFileInfo::exists(parent + "/a"));
        // Blanks around a name are kept as typed.
        dialogs->inputAnswers = {QString(" spaced ")};
        click("cmdCreate");
        QVERIFY(QFileInfo(parent + "/ spaced ").isDir());
        click("cmdCancel");
    }

    void browserFallsBackAndStaysOnFailure()
    {
        SaveSetting(AppName, "Directories", "gone", env->path("gone"));
        SaveSetting(AppName, "Settings", "Basename", "gone");
        start();
        openSettings();
        QCOMPARE(dialog().browserPath(), QDir::homePath());
        auto *dir = control<DirListBox>("Dir1");
        QSignalSpy failed(dir, &DirListBox::PathFailed);
        dir->setPath(env->path("missing"));
        QTRY_COMPARE(failed.size(), 1);
        QCOMPARE(dialog().browserPath(), QDir::homePath()); // stays where it was
        click("cmdCancel");
    }

    void gradientPreviewAtFortyFiveDegrees()
    {
        SaveSetting(AppName, "Settings", "SlideColor", QString::number(0x0000FF));  // red
        SaveSetting(AppName, "Settings", "SlideColor2", QString::number(0xFF0000)); // blue
        SaveSetting(AppName, "Settings", "GradientAngle", "45");
        start();
        openSettings();
        const QImage shot = dialog().grab().toImage().convertToFormat(QImage::Format_RGB32);
        auto *pic = control<AnglePicture>("picAngle");
        QImage expected(pic->innerSize(), QImage::Format_RGB32);
        expected.fill(ColourFromValue(0xFF0000));
        PaintGradient(expected, 0x0000FF, 0xFF0000, 45);
        const QPoint origin = pic->geometry().topLeft() + QPoint(AnglePicture::kBorder, AnglePicture::kBorder);
        const qreal dpr = shot.devicePixelRatio();
        for (int y = 0; y < expected.height(); ++y) {
            for (int x = 0; x < expected.width(); ++x) {
                const QPoint at((origin.x() + x) * dpr, (origin.y() + y) * dpr);
                QCOMPARE(shot.pixel(at), expected.pixel(x, y));
            }
        }
        QCOMPARE(dialog().angleCaption(), AngleCaption(45));
        click("cmdCancel");
    }

    void helpAndTheScreenSaverButton()
    {
        start();
        openSettings();
        click("cmdScreenSaver");
        QVERIFY(dialog().isVisible());
        // What it says is checked with the installation itself; here it only must not close the dialog.
        QCOMPARE(dialogs->asked.size(), 1);
        dialogs->asked.clear();
        click("cmdHelp");
        QVERIFY(HelpWindow::instance() != nullptr);
        QTRY_VERIFY(HelpWindow::instance()->isVisible());
        HelpWindow::closeInstance();
        QTest::keyClick(control<QLineEdit>("txtInterval"), Qt::Key_F1);
        QTRY_VERIFY(HelpWindow::instance() != nullptr && HelpWindow::instance()->isVisible());
        HelpWindow::closeInstance();
        // A right-button release on the panel's button cancels its own click only.
        click("cmdCancel");
        QTest::mouseClick(Control<ARButton>(side(), "cmdSettings"), Qt::RightButton);
        QVERIFY(!dialog().isVisible());
        QVERIFY(!State().ButtonRightClick);
        QTest::mouseClick(Control<ARButton>(side(), "cmdSettings"), Qt::LeftButton);
        QTRY_VERIFY(dialog().isVisible());
        click("cmdCancel");
        // Escape is Cancel.
        openSettings();
        QTest::keyClick(control<QLineEdit>("txtInterval"), Qt::Key_Escape);
        QVERIFY(!dialog().isVisible());
        QVERIFY(!State().SettingsChanged);
    }
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
