// SPDX-License-Identifier: GPL-2.0-or-later
#include "Controls.h"
#include "ProgramUnderTest.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "controls/PictureImage.h"
#include "panel/FileListBox.h"
#include "panel/frmSide.h"
#include "settings/frmSettings.h"
#include "viewer/frmPictureViewer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <sys/stat.h>

namespace {

QStringList Selected(const FileListBox *list)
{
    QStringList names;
    for (int i = 0; i < list->ListCount(); ++i) {
        if (list->Selected(i)) {
            names << list->List(i);
        }
    }
    return names;
}

// The program on a registered folder "pics" holding these JPEGs (name, colour).
void Start(ProgramUnderTest &program, const QString &pics, const QList<QPair<QString, QColor>> &files)
{
    QDir().mkpath(pics);
    for (const auto &[name, colour] : files) {
        QVERIFY(WriteJpeg(pics + '/' + name, 64, 48, colour));
    }
    SaveSetting(AppName, "Directories", "pics", pics);
    SaveSetting(AppName, "Settings", "Basename", "pics");
    QCOMPARE(EntryProcedure(), Road::Normal);
    QTRY_VERIFY(Forms::IsLoaded(Forms::Form::Side) && Forms::frmPictureViewer().isVisible());
    (void)program;
}

} // namespace

class TestLiveUpdate : public QObject
{
    Q_OBJECT

private slots:
    // Another program adds, removes, renames and rewrites files while the list shows them: the
    // list follows within a second, the selection and the picture stay where their files are.
    void anotherProgramChangesTheFolder()
    {
        ProgramUnderTest program;
        const QString pics = program.env.path("pics");
        Start(program, pics, {{"a.jpg", Qt::red}, {"b.jpg", Qt::green}, {"c.jpg", Qt::blue}, {"d.jpg", Qt::yellow}});
        auto *list = Control<FileListBox>(Forms::frmSide(), "File1");
        QTRY_COMPARE(list->ListCount(), 4);
        // b focused, then Shift+Down: b and c selected, c shown.
        list->setListIndex(1);
        QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(Selected(list), (QStringList{"b.jpg", "c.jpg"}));
        QTRY_COMPARE(Forms::frmPictureViewer().pictureFile(), pics + "/c.jpg");
        auto *image = Control<PictureImage>(Forms::frmPictureViewer(), "Image1");
        QTRY_VERIFY(qBlue(image->picture().pixel(5, 5)) > 200);

        QVERIFY(WriteJpeg(program.env.path("white.jpg"), 64, 48, Qt::white));
        QProcess other;
        other.setWorkingDirectory(pics);
        other.start("sh", {"-c", "cp a.jpg a0.jpg; rm d.jpg; mv a.jpg z.jpg; cp ../white.jpg c.new; mv c.new c.jpg"});
        QVERIFY(other.waitForFinished(10000));
        QCOMPARE(other.exitCode(), 0);

        QTRY_COMPARE_WITH_TIMEOUT(list->names(), (QStringList{"a0.jpg", "b.jpg", "c.jpg", "z.jpg"}), 3000);
        QCOMPARE(list->FileName(), QStringLiteral("c.jpg"));
        QCOMPARE(Selected(list), (QStringList{"b.jpg", "c.jpg"}));
        QCOMPARE(Forms::frmPictureViewer().pictureFile(), pics + "/c.jpg");
        // The picture rewritten is shown as it is now.
        QTRY_VERIFY(qRed(image->picture().pixel(5, 5)) > 200 && qBlue(image->picture().pixel(5, 5)) > 200);
        QCOMPARE(Control<QLabel>(Forms::frmSide(), "lblFileCounter")->text(), QStringLiteral("4 Files"));

        // The picture shown goes: the next one takes its place.
        other.start("sh", {"-c", "rm c.jpg"});
        QVERIFY(other.waitForFinished(10000));
        QTRY_COMPARE_WITH_TIMEOUT(list->names(), (QStringList{"a0.jpg", "b.jpg", "z.jpg"}), 3000);
        QCOMPARE(list->FileName(), QStringLiteral("z.jpg"));
        QTRY_COMPARE(Forms::frmPictureViewer().pictureFile(), pics + "/z.jpg");
        QVERIFY(Selected(list).contains("b.jpg"));
    }

    // A folder emptied and filled again by another program: the first picture shows.
    void emptyFolderFills()
    {
        ProgramUnderTest program;
        const QString pics = program.env.path("pics");
        Start(program, pics, {});
        auto *list = Control<FileListBox>(Forms::frmSide(), "File1");
        QCOMPARE(list->ListCount(), 0);
        QVERIFY(WriteJpeg(program.env.path("n.jpg"), 64, 48, Qt::red));
        QVERIFY(QFile::rename(program.env.path("n.jpg"), pics + "/n.jpg"));
        QTRY_COMPARE_WITH_TIMEOUT(list->ListCount(), 1, 3000);
        QTRY_COMPARE(Forms::frmPictureViewer().pictureFile(), pics + "/n.jpg");
    }

    // The order chosen in the settings dialog: the list follows at once and the choice is kept.
    void sortOrderFromTheDialog()
    {
        ProgramUnderTest program;
        const QString pics = program.env.path("pics");
        Start(program, pics, {});
        // Sizes 3, 1 and 2 kB, named against that order.
        const QList<QPair<QString, int>> files{{"a.jpg", 3000}, {"b.jpg", 1000}, {"c.jpg", 2000}};
        for (const auto &[name, size] : files) {
            QFile f(pics + '/' + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(size, 'x'));
        }
        auto *list = Control<FileListBox>(Forms::frmSide(), "File1");
        QTRY_COMPARE(list->names(), (QStringList{"a.jpg", "b.jpg", "c.jpg"}));
        QCOMPARE(GetSetting(AppName, "Settings", "SortOrder"), QString());

        QTest::mouseClick(Control<ARButton>(Forms::frmSide(), "cmdSettings"), Qt::LeftButton);
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::Settings) && Forms::frmSettings().isVisible());
        frmSettings &dialog = Forms::frmSettings();
        auto *sort = Control<QComboBox>(dialog, "cmbSort");
        QCOMPARE(sort->currentText(), QStringLiteral("Name")); // a fresh profile sorts by name
        sort->setCurrentIndex(sort->findText("Size"));
        auto *descending = Control<QCheckBox>(dialog, "chkDescending");
        QTest::mouseClick(descending, Qt::LeftButton, {}, QPoint(6, descending->height() / 2));
        QVERIFY(descending->isChecked());
        QTest::mouseClick(Control<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
        QTRY_VERIFY(!dialog.isVisible());
        QTRY_COMPARE(list->names(), (QStringList{"a.jpg", "c.jpg", "b.jpg"}));
        QCOMPARE(GetSetting(AppName, "Settings", "SortOrder"), QStringLiteral("Size"));
        QCOMPARE(GetSetting(AppName, "Settings", "SortDescending"), QStringLiteral("True"));
    }
};

QTEST_MAIN(TestLiveUpdate)
#include "tst_liveupdate.moc"
