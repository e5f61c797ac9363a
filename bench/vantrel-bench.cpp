// SPDX-License-Identifier: GPL-2.0-or-later
// vantrel-bench: the program's speed and memory figures, one line each:
//   BENCH <name> <median> <unit>
// followed by the reference figures measured in the same run and a verdict per target.
//
//   vantrel-bench --make-corpus DIR   writes the corpus (deterministic)
//   vantrel-bench --corpus DIR        measures on it
//   vantrel-bench --corpus DIR --no-targets   measures without judging
//   vantrel-bench --gradient-only     only the gradient figures (no corpus needed)
//   vantrel-bench --corpus DIR --metafile-only   only the metafile figures
//   vantrel-bench --corpus DIR --start-only      only the start with a 10 MB settings store
//   vantrel-bench --make-formats-corpus DIR      writes DIR/formats (PNG, WebP, TIFF, HEIC, AVIF,
//                                                JPEG XL; made by their encoders, slow)
//   vantrel-bench --corpus DIR --formats-only    only the per-format figures against vipsthumbnail
//                 [--format EXT ...]           (of these formats only)
#include "Controls.h"
#include "OfficeDrawing.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/ScreenMetrics.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/picture/Picture.h"
#include "controls/PictureImage.h"
#include "files/FileOperations.h"
#include "files/FileTransfer.h"
#include "files/PrintJob.h"
#include "files/WallpaperFile.h"
#include "panel/FileListBox.h"
#include "panel/frmSide.h"
#include "settings/FolderBrowser.h"
#include "settings/frmSettings.h"
#include "show/Grad.h"
#include "show/ScreenSaverRun.h"
#include "viewer/frmPictureViewer.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <limits>
#include <strings.h>
#include <sys/resource.h>

#include <cmath>
#include <dirent.h>
#include <functional>
#include <vector>

namespace {

QTextStream out(stdout);

// A move runs on while the event loop turns; the bench times it to its end.
int MoveToEnd(const QString &sources, const QString &destination)
{
    int result = -1;
    QEventLoop loop;
    MoveFiles(sources, destination, &loop, [&](int r) {
        result = r;
        loop.quit();
    });
    loop.exec();
    return result;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double timeMs(const std::function<void()> &work, int runs)
{
    work(); // warm the caches: every figure is of a file the system has read before
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        work();
        times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    return median(times);
}

// A figure and its reference measured in alternation, so a slow spell of the machine falls on
// both alike. Medians of each.
std::pair<double, double> pairedMs(const std::function<void()> &ours, const std::function<void()> &reference, int runs)
{
    ours();
    reference();
    std::vector<double> a;
    std::vector<double> b;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        ours();
        a.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        clock.restart();
        reference();
        b.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    return {median(a), median(b)};
}

void report(const QString &name, double value, const QString &unit)
{
    out << "BENCH " << name << ' ' << QString::number(value, 'f', 2) << ' ' << unit << Qt::endl;
}

bool run(const QString &program, const QStringList &args, int timeoutMs = 120000)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    return p.waitForFinished(timeoutMs) && p.exitCode() == 0;
}

// A photograph-like picture: smooth shading with detail at several scales, the same every time.
QImage photo(int w, int h, quint32 seed)
{
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    const double a = rng.bounded(1.0) * 6.28;
    const double b = rng.bounded(1.0) * 6.28;
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const double u = static_cast<double>(x) / w;
            const double v = static_cast<double>(y) / h;
            const double detail = std::sin(x * 0.37 + a) * std::cos(y * 0.29 + b) * 18 + std::sin((x + y) * 0.05) * 30;
            const int noise = static_cast<int>(rng.bounded(24u));
            const int r = std::clamp(static_cast<int>(90 + 120 * u + detail) + noise, 0, 255);
            const int g = std::clamp(static_cast<int>(140 + 60 * std::sin(v * 7 + a) + detail) + noise, 0, 255);
            const int bl = std::clamp(static_cast<int>(200 - 110 * v + detail) + noise, 0, 255);
            line[x] = qRgb(r, g, bl);
        }
    }
    return image;
}

bool writeJpeg(const QImage &image, const QString &path)
{
    QImageWriter writer(path, "jpeg");
    writer.setQuality(88);
    return writer.write(image);
}

// The metafile figures are of a slide as an office suite exports it: hundreds of gradient bands,
// shapes and text, the kind of drawing people open, not a handful of shapes.
bool writeOfficeDrawings(const QDir &dir)
{
    const std::pair<const char *, QByteArray> drawings[] = {{"office.wmf", OfficeDrawingWmf()},
                                                            {"office.emf", OfficeDrawingEmf()}};
    for (const auto &[name, bytes] : drawings) {
        QFile f(dir.filePath(QLatin1String(name)));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size() || !f.flush()) {
            return false;
        }
    }
    return true;
}

int makeCorpus(const QString &dirPath)
{
    QDir dir(dirPath);
    if (!dir.mkpath(QStringLiteral("thumbs")) || !dir.mkpath(QStringLiteral("list20k"))) {
        return 1;
    }
    out << "Writing the corpus to " << dir.absolutePath() << Qt::endl;
    if (!writeJpeg(photo(4000, 3000, 12), dir.filePath(QStringLiteral("12mp.jpg"))) ||
        !writeJpeg(photo(6000, 4000, 24), dir.filePath(QStringLiteral("24mp.jpg")))) {
        return 1;
    }
    for (int i = 0; i < 36; ++i) {
        if (!writeJpeg(photo(4000, 3000, 100 + i),
                       dir.filePath(QStringLiteral("thumbs/%1.jpg").arg(i, 2, 10, QLatin1Char('0'))))) {
            return 1;
        }
    }
    if (!writeOfficeDrawings(dir)) {
        return 1;
    }
    // A few small pictures, so a start's figure is of the start, not of a large decode.
    if (!dir.mkpath(QStringLiteral("start"))) {
        return 1;
    }
    for (int i = 0; i < 3; ++i) {
        if (!writeJpeg(photo(640, 480, 300 + i), dir.filePath(QStringLiteral("start/%1.jpg").arg(i)))) {
            return 1;
        }
    }
    static const char *exts[] = {"jpg", "JPG", "jpeg", "bmp", "gif", "wmf", "emf", "txt", "png", "doc"};
    for (int i = 0; i < 20000; ++i) {
        QFile f(dir.filePath(
            QStringLiteral("list20k/file%1.%2").arg(i, 5, 10, QLatin1Char('0')).arg(QLatin1String(exts[i % 10]))));
        if (!f.open(QIODevice::WriteOnly)) {
            return 1;
        }
    }
    // Folders named like pictures, which a file list must not show.
    for (int i = 0; i < 20; ++i) {
        if (!dir.mkpath(QStringLiteral("list20k/album%1.jpg").arg(i))) {
            return 1;
        }
    }
    return 0;
}

// Resident memory now and at its peak, in MB.
std::pair<double, double> memoryMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    double rss = 0;
    double hwm = 0;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:")) {
                rss = line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
            } else if (line.startsWith("VmHWM:")) {
                hwm = line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
            }
        }
    }
    return {rss, hwm};
}

// What the list must not be much slower than: one readdir pass with the extension filter.
int plainReaddir(const QString &folder)
{
    static const char *const exts[] = {".bmp", ".jpg", ".jpeg", ".gif", ".wmf", ".emf"};
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr) {
        return 0;
    }
    int count = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const std::size_t n = std::strlen(entry->d_name);
        for (const char *ext : exts) {
            const std::size_t e = std::strlen(ext);
            if (n > e && ::strcasecmp(entry->d_name + n - e, ext) == 0 && entry->d_type == DT_REG) {
                ++count;
                break;
            }
        }
    }
    ::closedir(dir);
    return count;
}

bool makeListFolder(const QString &path, int files)
{
    static const char *exts[] = {"jpg", "JPG", "jpeg", "bmp", "gif", "wmf", "emf", "txt", "png", "doc"};
    if (!QDir().mkpath(path)) {
        return false;
    }
    for (int i = 0; i < files; ++i) {
        QFile f(path + QStringLiteral("/IMG_%1.%2").arg(i).arg(QLatin1String(exts[i % 10])));
        if (!f.open(QIODevice::WriteOnly)) {
            return false;
        }
    }
    return true;
}

PictureRequest fit(QSize box)
{
    PictureRequest r;
    r.drawSize = box;
    return r;
}

// A picture drawn fitted into a box (the viewer's free area is 834 x 768 on a 1024 x 768 screen),
// its size worked out from the header as the viewer does.
PictureRequest fitted(QSize box)
{
    PictureRequest r;
    r.drawSizeFor = [box](QSize natural) { return natural.scaled(box, Qt::KeepAspectRatio); };
    return r;
}

int peakProbe(const QString &path)
{
    const double rest = memoryMb().first;
    const auto picture = LoadPicture(path, fitted(QSize(834, 768)));
    out << QString::number(memoryMb().second - rest, 'f', 2) << Qt::endl;
    return picture ? 0 : 1;
}

// Says when a widget is first painted.
class FirstPaint : public QObject
{
public:
    bool painted = false;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
            out << "frame" << Qt::endl;
        }
        return QObject::eventFilter(watched, event);
    }
};

double cpuSeconds()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

// A screen-saver run of the logo in a fresh process, started as the launcher starts one (the
// settings file already says "Mode" = "On"). Prints "frame" when the logo is first painted; then,
// when `seconds` > 0, after a second to settle, the CPU share of one core over `seconds`, the peak
// resident memory (MB) and the logo's steps.
int saverProbe(int seconds)
{
    if (EntryProcedure() != Road::ScreenSaver) {
        QTextStream(stderr) << "vantrel-bench: the start did not become a screen-saver run\n";
        return 1;
    }
    ScreenSaverRun &run = ScreenSaverRun::instance();
    FirstPaint first;
    if (run.picScreenSaver() == nullptr) {
        return 1;
    }
    run.picScreenSaver()->installEventFilter(&first);
    QElapsedTimer clock;
    clock.start();
    while (!first.painted && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    if (seconds > 0) {
        QEventLoop settle;
        QTimer::singleShot(1000, &settle, &QEventLoop::quit);
        settle.exec();
        int steps = 0;
        QObject::connect(&run.tmrDefaultScreenSaver, &QTimer::timeout, [&steps] { ++steps; });
        const double cpu0 = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        const double share = 100.0 * (cpuSeconds() - cpu0) / (static_cast<double>(wall.nsecsElapsed()) / 1e9);
        out << "cpu " << QString::number(share, 'f', 2) << " rss " << QString::number(memoryMb().second, 'f', 1)
            << " steps " << steps << Qt::endl;
    }
    run.endRun();
    Forms::FlushUnloaded();
    return first.painted ? 0 : 1;
}

// Says when a widget is first painted showing a picture.
class FirstPicture : public QObject
{
public:
    bool painted = false;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *image = qobject_cast<PictureImage *>(watched);
        if (event->type() == QEvent::Paint && !painted && image != nullptr && !image->picture().isNull()) {
            painted = true;
            out << "picture" << Qt::endl;
        }
        return QObject::eventFilter(watched, event);
    }
};

// A normal start in a fresh process, the road the viewer's own main takes with no picture named:
// prints "picture" when the viewer first paints the stored folder's first picture, then ends the
// run the way every run ends (which saves the folder and the captions).
int startProbe()
{
    QApplication::setApplicationName(AppName);
    QApplication::setQuitOnLastWindowClosed(false);
    if (EntryProcedure() != Road::Normal) {
        QTextStream(stderr) << "vantrel-bench: the start did not become a normal run\n";
        return 1;
    }
    FirstPicture first;
    bool watching = false;
    QElapsedTimer clock;
    clock.start();
    while (!first.painted && clock.elapsed() < 60000) {
        if (!watching && Forms::IsLoaded(Forms::Form::PictureViewer)) {
            Control<PictureImage>(Forms::frmPictureViewer(), "Image1")->installEventFilter(&first);
            watching = true;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    if (Forms::IsLoaded(Forms::Form::Side)) {
        State().ButtonRightClick = false;
        Forms::frmSide().cmdQuit_Click();
    }
    Forms::FlushUnloaded();
    return first.painted ? 0 : 1;
}

// A store of about 10 MB as the program itself writes it: the folder of `pictures` registered and
// chosen, and 200,000 sections of another program's, a few keys each.
bool writeLargeStore(const QString &file, const QString &pictures)
{
    QFile::remove(file);
    qputenv("VANTREL_SETTINGS", file.toLocal8Bit());
    QList<SettingChange> rows{{QStringLiteral("Directories"), QStringLiteral("start"), pictures},
                              {QStringLiteral("Settings"), QStringLiteral("Basename"), QStringLiteral("start")}};
    rows.reserve(600002);
    for (int i = 0; i < 200000; ++i) {
        const QString section = QStringLiteral("Album%1").arg(i, 6, 10, QLatin1Char('0'));
        rows.append({section, QStringLiteral("Camera"), QStringLiteral("Cam%1").arg(i % 97)});
        rows.append({section, QStringLiteral("Rating"), QString::number(i % 5)});
        rows.append({section, QStringLiteral("Taken"), QStringLiteral("2024-%1").arg(1 + i % 12)});
    }
    return SaveSettings(AppName, rows);
}

// One thumbnail page in a fresh process: the 36 pictures of `folder` on a 1920 x 1080 screen,
// with the shared thumbnail cache under `cacheHome`. Prints the time from the click to the page
// painted, and the memory the page took on top of the program at rest (MB).
int thumbPageProbe(const QString &folder, const QString &cacheHome)
{
    qputenv("XDG_CACHE_HOME", cacheHome.toLocal8Bit());
    QTemporaryDir home;
    qputenv("VANTREL_SETTINGS", home.filePath(QStringLiteral("bench.ini")).toLocal8Bit());
    SaveSetting(AppName, QStringLiteral("Directories"), QStringLiteral("thumbs"), folder);
    SaveSetting(AppName, QStringLiteral("Settings"), QStringLiteral("Basename"), QStringLiteral("thumbs"));
    ApplyScreenMetrics(State(), ScreenSpec{1920, 1080, 15});
    QThreadPool::globalInstance()->setMaxThreadCount(2);
    frmPictureViewer &window = Forms::frmPictureViewer();
    window.show();
    frmSide &side = Forms::frmSide();
    if (side.listCount() != 36) {
        QTextStream(stderr) << "vantrel-bench: the thumbnail folder lists " << side.listCount() << " files\n";
        return 1;
    }
    QCoreApplication::processEvents();
    const double rest = memoryMb().first;
    QElapsedTimer clock;
    clock.start();
    side.cmdThumb_click();
    // The page is placed as its thumbnails arrive; it is complete when the panel takes commands again.
    while (!side.isEnabled()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    window.repaint();
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const double grown = memoryMb().second - rest;
    const bool complete = State().ThumbControlCount == 36 && Element<PictureImage>(window, "Thumb1", 35)->isEnabled();
    out << QString::number(ms, 'f', 2) << ' ' << QString::number(grown, 'f', 2) << Qt::endl;
    side.cmdQuit_Click(); // writes the shared cache
    Forms::FlushUnloaded();
    return complete ? 0 : 1;
}

// Keys pressed every 20 ms in the file list while `burst` runs (a process that fills the folder the
// list shows); each key's latency is the time from the moment it was due to the end of its
// handling. Prints the 95th percentile of the keys while the burst lasts and then a second for
// its last batches, and the count of keys measured.
std::pair<double, int> keyLatencyDuring(FileListBox *list, const std::function<void()> &startBurst,
                                        const std::function<bool()> &burstDone)
{
    std::vector<double> latencies;
    QElapsedTimer clock;
    clock.start();
    double due = 0;
    double doneAt = -1;
    bool down = true;
    QTimer keys;
    keys.setTimerType(Qt::PreciseTimer);
    keys.setInterval(20);
    QEventLoop loop;
    QObject::connect(&keys, &QTimer::timeout, &loop, [&] {
        QKeyEvent press(QEvent::KeyPress, down ? Qt::Key_Down : Qt::Key_Up, Qt::NoModifier);
        QCoreApplication::sendEvent(list, &press);
        down = !down;
        const double now = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        latencies.push_back(now - due);
        due += 20;
        // A timer that fell behind is due again from now: a late key counts once, not again for
        // every tick it held up.
        due = std::max(due, now);
        if (doneAt < 0 && burstDone()) {
            doneAt = now;
        }
        if (doneAt >= 0 && now - doneAt > 1000) {
            loop.quit();
        }
    });
    startBurst();
    due = static_cast<double>(clock.nsecsElapsed()) / 1e6 + 20;
    keys.start();
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    std::sort(latencies.begin(), latencies.end());
    const double p95 = latencies.empty() ? 1e9 : latencies[latencies.size() * 95 / 100];
    return {p95, static_cast<int>(latencies.size())};
}

// The list of a watched folder while another process copies 10,000 files into it, against the
// same keys with no burst. Prints "p95 reference_p95 count".
int watchBurstProbe()
{
    QTemporaryDir home;
    qputenv("VANTREL_SETTINGS", home.filePath(QStringLiteral("bench.ini")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toLocal8Bit());
    const QString watched = home.filePath(QStringLiteral("watched"));
    const QString source = home.filePath(QStringLiteral("source"));
    QDir().mkpath(watched);
    QDir().mkpath(source);
    const QImage small = photo(64, 48, 5);
    for (int i = 0; i < 40; ++i) {
        writeJpeg(small, watched + QStringLiteral("/shown%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
    }
    for (int i = 0; i < 10000; ++i) {
        QFile f(source + QStringLiteral("/burst%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
        if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray(2000, 'x')) != 2000) {
            return 1;
        }
    }
    SaveSetting(AppName, QStringLiteral("Directories"), QStringLiteral("watched"), watched);
    SaveSetting(AppName, QStringLiteral("Settings"), QStringLiteral("Basename"), QStringLiteral("watched"));
    ApplyScreenMetrics(State(), ScreenSpec{1920, 1080, 15});
    frmPictureViewer &window = Forms::frmPictureViewer();
    window.show();
    frmSide &side = Forms::frmSide();
    auto *list = Control<FileListBox>(side, "File1");
    list->setListIndex(0);
    QCoreApplication::processEvents();

    const auto [quiet, quietKeys] = keyLatencyDuring(
        list, [] {}, [] { return true; });
    QProcess copy;
    const auto [burst, burstKeys] = keyLatencyDuring(
        list,
        [&] {
            copy.start(QStringLiteral("sh"),
                       {QStringLiteral("-c"), QStringLiteral("cp -r \"$0\"/. \"$1\""), source, watched});
        },
        [&] { return copy.state() == QProcess::NotRunning && side.listCount() == 10040; });
    const bool complete = side.listCount() == 10040;
    out << QString::number(burst, 'f', 2) << ' ' << QString::number(quiet, 'f', 2) << ' ' << burstKeys << Qt::endl;
    (void)quietKeys;
    side.cmdQuit_Click();
    Forms::FlushUnloaded();
    return complete ? 0 : 1;
}

// Pictures for the on-screen latency probe (bench/latency.sh): photographs with a block of one
// colour over their middle 40 %, where the probe looks. The block's colour tells the pictures of
// a folder apart, so each step of the file list shows a change.
int makeLatencyCorpus(const QString &dirPath)
{
    QDir dir(dirPath);
    if (!dir.mkpath(QStringLiteral("steps"))) {
        return 1;
    }
    const auto marked = [](int w, int h, quint32 seed, QRgb colour) {
        QImage image = photo(w, h, seed);
        QPainter p(&image);
        p.fillRect(QRect(w * 3 / 10, h * 3 / 10, w * 4 / 10, h * 4 / 10), QColor::fromRgb(colour));
        return image;
    };
    out << "Writing the latency corpus to " << dir.absolutePath() << Qt::endl;
    if (!writeJpeg(marked(4000, 3000, 12, 0xff00ff), dir.filePath(QStringLiteral("12mp.jpg"))) ||
        !writeJpeg(marked(6000, 4000, 24, 0xff00ff), dir.filePath(QStringLiteral("24mp.jpg")))) {
        return 1;
    }
    static const QRgb colours[] = {0xff00ff, 0x00ffff, 0xffff00, 0xff0000, 0x00ff00, 0x0000ff};
    for (int i = 0; i < 12; ++i) {
        if (!writeJpeg(marked(6000, 4000, 200 + i, colours[i % 6]),
                       dir.filePath(QStringLiteral("steps/%1.jpg").arg(i, 2, 10, QLatin1Char('0'))))) {
            return 1;
        }
    }
    return 0;
}

struct Target
{
    QString name;
    double value;
    double limit;
    QString what;
};

constexpr double kGradient1080Ms = 8;
constexpr double kGradient2160Ms = 25;

// The gradient behind the show, at 45 degrees (the slowest: every row differs from the one above).
std::pair<double, double> measureGradients(int runs)
{
    QImage surface1080(1920, 1080, QImage::Format_RGB32);
    const double gradient1080 = timeMs([&] { PaintGradient(surface1080, 16744448, 16777215, 45); }, runs);
    report(QStringLiteral("gradient_1080p_45"), gradient1080, QStringLiteral("ms"));
    QImage surface2160(3840, 2160, QImage::Format_RGB32);
    const double gradient2160 = timeMs([&] { PaintGradient(surface2160, 16744448, 16777215, 45); }, runs);
    report(QStringLiteral("gradient_2160p_45"), gradient2160, QStringLiteral("ms"));
    return {gradient1080, gradient2160};
}

int gradientFigures(int runs, bool judge)
{
    const auto [gradient1080, gradient2160] = measureGradients(runs);
    if (!judge) {
        return 0;
    }
    const bool ok1080 = gradient1080 <= kGradient1080Ms;
    const bool ok2160 = gradient2160 <= kGradient2160Ms;
    out << (ok1080 ? "MET    " : "MISSED ") << "gradient_1080p_45 " << QString::number(gradient1080, 'f', 2)
        << " <= " << kGradient1080Ms << Qt::endl;
    out << (ok2160 ? "MET    " : "MISSED ") << "gradient_2160p_45 " << QString::number(gradient2160, 'f', 2)
        << " <= " << kGradient2160Ms << Qt::endl;
    return ok1080 && ok2160 ? 0 : 1;
}

constexpr double kFitMetafileMs = 30;

// A metafile fitted to the viewer's free area, as the viewer draws it.
double measureMetafile(const QString &file, const QString &figure, QSize viewer, int runs)
{
    const double ms = timeMs([&] { (void)LoadPicture(file, fit(viewer)); }, runs);
    report(figure, ms, QStringLiteral("ms"));
    return ms;
}

int metafileFigures(const QDir &corpus, int runs, bool judge)
{
    int result = 0;
    for (const char *ext : {"wmf", "emf"}) {
        const QString file = corpus.filePath(QStringLiteral("office.%1").arg(QLatin1String(ext)));
        const QString figure = QStringLiteral("fit_%1").arg(QLatin1String(ext));
        if (!QFileInfo::exists(file)) {
            out << "BENCH " << figure << " missing (" << corpus.relativeFilePath(file) << " is not in the corpus)"
                << Qt::endl;
            result = 1;
            continue;
        }
        const double ms = measureMetafile(file, figure, QSize(834, 768), runs);
        if (judge) {
            const bool ok = ms <= kFitMetafileMs;
            out << (ok ? "MET    " : "MISSED ") << figure << ' ' << QString::number(ms, 'f', 2)
                << " <= " << kFitMetafileMs << Qt::endl;
            result = ok ? result : 1;
        }
    }
    return result;
}

// A start with a settings store of about 10 MB: from the command to the first picture painted,
// each start a new process. The first start after the store was written records the program's
// folder in it (a rewrite of the whole file); the figure is of the starts after that, as a user
// starts the program every day. A corpus without the small pictures reports the figure missing.
// Today's formats: one 12-megapixel photograph each, made by the encoders people use (a HEIC
// with a phone-sized thumbnail inside), and a page of 36 thumbnails of it.
const char *const kFormatExtensions[] = {"png", "webp", "tif", "heic", "avif", "jxl"};

int makeFormatsCorpus(const QString &dirPath)
{
    QDir dir(dirPath);
    if (!dir.mkpath(QStringLiteral("formats"))) {
        return 1;
    }
    const QString png = dir.filePath(QStringLiteral("formats/12mp.png"));
    out << "Writing the formats corpus to " << dir.absoluteFilePath(QStringLiteral("formats")) << Qt::endl;
    if (!photo(4000, 3000, 12).save(png, "PNG")) {
        return 1;
    }
    // Absolute: a link's target is read from the link's own folder, and QDir::mkpath takes a
    // relative path from `dir` (the Makefile passes a relative corpus folder).
    const QString f = dir.absoluteFilePath(QStringLiteral("formats/12mp."));
    // Encoders of 12 megapixels take minutes on a busy machine: their fastest settings, and time.
    constexpr int kEncodeMs = 900000;
    const bool made =
        run(QStringLiteral("cwebp"), {"-quiet", "-q", "85", png, "-o", f + "webp"}, kEncodeMs) &&
        run(QStringLiteral("convert"), {png, "-compress", "lzw", f + "tif"}, kEncodeMs) &&
        run(QStringLiteral("heif-enc"), {"-q", "80", "-t", "320", "-p", "preset=ultrafast", png, "-o", f + "heic"},
            kEncodeMs) &&
        run(QStringLiteral("heif-enc"), {"-A", "-q", "70", "-p", "speed=9", png, "-o", f + "avif"}, kEncodeMs) &&
        run(QStringLiteral("cjxl"), {"--quiet", "-d", "1", "-e", "3", png, f + "jxl"}, kEncodeMs);
    if (!made) {
        return 1;
    }
    // The thumbnail pages: 36 names of the same file each (the decode is what is measured).
    for (const char *ext : kFormatExtensions) {
        const QString folder = dir.absoluteFilePath(QStringLiteral("formats/thumbs-") + QLatin1String(ext));
        dir.mkpath(folder);
        for (int i = 0; i < 36; ++i) {
            const QString link = folder + QStringLiteral("/%1.").arg(i, 2, 10, QLatin1Char('0')) + QLatin1String(ext);
            QFile::remove(link);
            if (!QFile::link(f + QLatin1String(ext), link)) {
                return 1;
            }
        }
    }
    return 0;
}

// Fitted to the viewer and a 36-thumbnail page on two cores, each against vipsthumbnail (which
// shrinks on load where the format lets it) on the same files in the same run, as ratios.
int formatFigures(const QDir &corpus, int runs, bool judge, const QStringList &only)
{
    const QSize viewer(834, 768);
    QTemporaryDir vipsOut;
    const QString pattern = vipsOut.path() + QStringLiteral("/%s.v");
    QThreadPool::globalInstance()->setMaxThreadCount(2);
    int missed = 0;
    int missing = 0;
    for (const char *ext : kFormatExtensions) {
        const QString name = QLatin1String(ext);
        if (!only.isEmpty() && !only.contains(name)) {
            continue;
        }
        const QString file = corpus.filePath(QStringLiteral("formats/12mp.") + name);
        const QString fitFigure = QStringLiteral("fit_%1_12mp").arg(name);
        const QString thumbFigure = QStringLiteral("thumbs36_%1_2core").arg(name);
        if (!QFileInfo::exists(file)) {
            out << "BENCH " << fitFigure << " missing (formats/12mp." << name << " is not in the corpus)" << Qt::endl;
            ++missing;
            continue;
        }
        // A reference that fails would time nothing: the figure is then missing, not met.
        if (!run(QStringLiteral("vipsthumbnail"), {"-s", "834x768", "-o", pattern, file}) ||
            !LoadPicture(file, fitted(viewer))) {
            out << "BENCH " << fitFigure << " missing (vipsthumbnail or the viewer cannot read formats/12mp." << name
                << ")" << Qt::endl;
            ++missing;
            continue;
        }
        const auto [fit, refFit] =
            pairedMs([&] { (void)LoadPicture(file, fitted(viewer)); },
                     [&] {
                         run(QStringLiteral("vipsthumbnail"), {"-s", "834x768", "-o", pattern, file});
                     },
                     runs);
        report(fitFigure, fit, QStringLiteral("ms"));
        report(QStringLiteral("ref_vipsthumbnail_fit_%1_12mp").arg(name), refFit, QStringLiteral("ms"));
        QStringList thumbs;
        const QDir folder(corpus.filePath(QStringLiteral("formats/thumbs-") + name));
        for (const QString &entry : folder.entryList(QDir::Files, QDir::Name)) {
            thumbs << folder.filePath(entry);
        }
        if (thumbs.size() != 36) {
            out << "BENCH " << thumbFigure << " missing (formats/thumbs-" << name << " is not in the corpus)"
                << Qt::endl;
            ++missing;
            continue;
        }
        const PictureRequest cell = fitted(QSize(180, 180));
        const auto [page, refPage] = pairedMs(
            [&] { LoadPicturesAsync(thumbs, cell).waitForFinished(); },
            [&] {
                QProcess a;
                QProcess b;
                a.start(QStringLiteral("vipsthumbnail"), QStringList{"-s", "180", "-o", pattern} + thumbs.mid(0, 18));
                b.start(QStringLiteral("vipsthumbnail"), QStringList{"-s", "180", "-o", pattern} + thumbs.mid(18));
                a.waitForFinished(300000);
                b.waitForFinished(300000);
            },
            std::max(3, runs / 3));
        report(thumbFigure, page, QStringLiteral("ms"));
        report(QStringLiteral("ref_vipsthumbnail_2proc_%1").arg(name), refPage, QStringLiteral("ms"));
        const double fitRatio = fit / refFit;
        const double pageRatio = page / refPage;
        report(QStringLiteral("ratio_") + fitFigure, fitRatio, QStringLiteral("x"));
        report(QStringLiteral("ratio_") + thumbFigure, pageRatio, QStringLiteral("x"));
        if (judge) {
            const bool fitOk = fitRatio <= 1.0;
            const bool pageOk = pageRatio <= 0.7;
            missed += (fitOk ? 0 : 1) + (pageOk ? 0 : 1);
            out << (fitOk ? "MET    " : "MISSED ") << fitFigure << ' ' << QString::number(fitRatio, 'f', 2)
                << " <= 1.00 (x vipsthumbnail to the viewer's size)" << Qt::endl;
            out << (pageOk ? "MET    " : "MISSED ") << thumbFigure << ' ' << QString::number(pageRatio, 'f', 2)
                << " <= 0.70 (x two vipsthumbnail processes)" << Qt::endl;
        }
    }
    return missed == 0 && missing == 0 ? 0 : 1;
}

constexpr double kStartLargeStoreMs = 1000;

double measureLargeStoreStart(const QDir &corpus, int runs)
{
    const QString startPictures = corpus.filePath(QStringLiteral("start"));
    if (!QFileInfo::exists(startPictures + QStringLiteral("/0.jpg"))) {
        out << "BENCH start_settings_10mb missing (start/0.jpg is not in the corpus)" << Qt::endl;
        return std::numeric_limits<double>::quiet_NaN();
    }
    {
        QTemporaryDir startHome;
        const QString ini = startHome.filePath(QStringLiteral("large.ini"));
        if (!writeLargeStore(ini, QFileInfo(startPictures).absoluteFilePath())) {
            QTextStream(stderr) << "vantrel-bench: the large settings store could not be written\n";
            return 1e9;
        }
        out << "# start_settings_10mb: the store holds " << QString::number(QFileInfo(ini).size() / 1e6, 'f', 1)
            << " MB" << Qt::endl;
        auto timedStart = [&] {
            QProcess probe;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("VANTREL_SETTINGS"), ini);
            env.insert(QStringLiteral("VANTREL_SCREEN"), QStringLiteral("1024x768@15"));
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), startHome.path());
            probe.setProcessEnvironment(env);
            probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            QElapsedTimer clock;
            clock.start();
            probe.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--start-probe")});
            double shown = 1e9;
            while (probe.waitForReadyRead(30000) || probe.state() == QProcess::Running) {
                if (probe.canReadLine() && probe.readLine().startsWith("picture")) {
                    shown = static_cast<double>(clock.nsecsElapsed()) / 1e6;
                    break;
                }
                if (clock.elapsed() > 60000) {
                    break;
                }
            }
            probe.waitForFinished(60000);
            return probe.exitCode() == 0 ? shown : 1e9;
        };
        out << "# start_settings_10mb: the first start, which records its folder: "
            << QString::number(timedStart(), 'f', 2) << " ms" << Qt::endl;
        std::vector<double> starts;
        for (int i = 0; i < std::min(runs, 7); ++i) {
            starts.push_back(timedStart());
        }
        const double figure = median(starts);
        report(QStringLiteral("start_settings_10mb"), figure, QStringLiteral("ms"));
        return figure;
    }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption(
        {QStringLiteral("make-corpus"), QStringLiteral("Write the corpus to DIR."), QStringLiteral("DIR")});
    parser.addOption(
        {QStringLiteral("corpus"), QStringLiteral("Measure on the corpus in DIR."), QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("make-latency-corpus"), QStringLiteral("Write the pictures of bench/latency.sh."),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("peak-probe"), QStringLiteral("(internal)"), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("thumb-page"), QStringLiteral("(internal)"), QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("thumb-cache"), QStringLiteral("(internal)"), QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("saver-probe"), QStringLiteral("(internal)"), QStringLiteral("SECONDS")});
    parser.addOption({QStringLiteral("start-probe"), QStringLiteral("(internal)")});
    parser.addOption({QStringLiteral("start-only"),
                      QStringLiteral("Measure only the start with a 10 MB settings store (of the corpus).")});
    parser.addOption({QStringLiteral("no-targets"), QStringLiteral("Report figures without judging them.")});
    parser.addOption({QStringLiteral("watch-burst-probe"),
                      QStringLiteral("(internal) Keys in a watched folder while 10,000 files arrive.")});
    parser.addOption({QStringLiteral("runs"), QStringLiteral("Runs per figure (median)."), QStringLiteral("N"),
                      QStringLiteral("15")});
    parser.addOption({QStringLiteral("gradient-only"), QStringLiteral("Measure only the gradient figures.")});
    parser.addOption(
        {QStringLiteral("metafile-only"), QStringLiteral("Measure only the metafile figures (of the corpus).")});
    parser.addOption({QStringLiteral("make-formats-corpus"),
                      QStringLiteral("Write the pictures of today's formats to DIR/formats."), QStringLiteral("DIR")});
    parser.addOption(
        {QStringLiteral("format"),
         QStringLiteral("With --formats-only: only this format (png, webp, tif, heic, avif, jxl); repeatable."),
         QStringLiteral("EXT")});
    parser.addOption({QStringLiteral("formats-only"),
                      QStringLiteral("Measure only the per-format figures against vipsthumbnail (of the corpus).")});
    parser.addHelpOption();
    parser.process(app);
    if (parser.isSet(QStringLiteral("gradient-only"))) {
        return gradientFigures(std::max(3, parser.value(QStringLiteral("runs")).toInt()),
                               !parser.isSet(QStringLiteral("no-targets")));
    }

    if (parser.isSet(QStringLiteral("make-corpus"))) {
        return makeCorpus(parser.value(QStringLiteral("make-corpus")));
    }
    if (parser.isSet(QStringLiteral("make-formats-corpus"))) {
        return makeFormatsCorpus(parser.value(QStringLiteral("make-formats-corpus")));
    }
    if (parser.isSet(QStringLiteral("make-latency-corpus"))) {
        return makeLatencyCorpus(parser.value(QStringLiteral("make-latency-corpus")));
    }
    if (parser.isSet(QStringLiteral("peak-probe"))) {
        return peakProbe(parser.value(QStringLiteral("peak-probe")));
    }
    if (parser.isSet(QStringLiteral("saver-probe"))) {
        return saverProbe(parser.value(QStringLiteral("saver-probe")).toInt());
    }
    if (parser.isSet(QStringLiteral("start-probe"))) {
        return startProbe();
    }
    if (parser.isSet(QStringLiteral("watch-burst-probe"))) {
        return watchBurstProbe();
    }
    if (parser.isSet(QStringLiteral("thumb-page"))) {
        return thumbPageProbe(parser.value(QStringLiteral("thumb-page")), parser.value(QStringLiteral("thumb-cache")));
    }
    const QDir corpus(parser.value(QStringLiteral("corpus")));
    if (parser.isSet(QStringLiteral("formats-only")) && parser.isSet(QStringLiteral("corpus"))) {
        return formatFigures(corpus, std::max(3, parser.value(QStringLiteral("runs")).toInt()),
                             !parser.isSet(QStringLiteral("no-targets")), parser.values(QStringLiteral("format")));
    }
    if (parser.isSet(QStringLiteral("start-only")) && parser.isSet(QStringLiteral("corpus"))) {
        const double start = measureLargeStoreStart(corpus, std::max(3, parser.value(QStringLiteral("runs")).toInt()));
        if (std::isnan(start)) {
            return 1;
        }
        const bool met = start <= kStartLargeStoreMs;
        if (!parser.isSet(QStringLiteral("no-targets"))) {
            out << (met ? "MET    " : "MISSED ") << "start_settings_10mb " << QString::number(start, 'f', 2)
                << " <= " << kStartLargeStoreMs << " (1 s)" << Qt::endl;
        }
        return met || parser.isSet(QStringLiteral("no-targets")) ? 0 : 1;
    }
    if (parser.isSet(QStringLiteral("metafile-only")) && parser.isSet(QStringLiteral("corpus"))) {
        return metafileFigures(corpus, std::max(3, parser.value(QStringLiteral("runs")).toInt()),
                               !parser.isSet(QStringLiteral("no-targets")));
    }
    if (!parser.isSet(QStringLiteral("corpus")) || !corpus.exists(QStringLiteral("12mp.jpg"))) {
        QTextStream(stderr) << "vantrel-bench: --corpus DIR (made with --make-corpus DIR) is needed\n";
        return 2;
    }
    // A figure whose file the corpus lacks is reported missing, never as a time of nothing.
    int missingFigures = 0;
    const double notMeasured = std::numeric_limits<double>::quiet_NaN();
    auto lacks = [&](const QString &file, const QString &figure) {
        if (QFileInfo::exists(file)) {
            return false;
        }
        out << "BENCH " << figure << " missing (" << corpus.relativeFilePath(file) << " is not in the corpus)"
            << Qt::endl;
        ++missingFigures;
        return true;
    };
    for (const char *required : {"24mp.jpg", "thumbs", "list20k"}) {
        if (!corpus.exists(QLatin1String(required))) {
            QTextStream(stderr) << "vantrel-bench: the corpus lacks " << required << "\n";
            return 2;
        }
    }
    const int runs = std::max(3, parser.value(QStringLiteral("runs")).toInt());
    const QString p12 = corpus.filePath(QStringLiteral("12mp.jpg"));
    const QString p24 = corpus.filePath(QStringLiteral("24mp.jpg"));
    QStringList thumbs;
    for (const QString &name : QDir(corpus.filePath(QStringLiteral("thumbs")))
                                   .entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name)) {
        thumbs << corpus.filePath(QStringLiteral("thumbs/") + name);
    }
    const QSize viewer(834, 768);

    const QString djpeg = QStringLiteral("djpeg");
    const auto [fit12, ref12] = pairedMs([&] { (void)LoadPicture(p12, fitted(viewer)); },
                                         [&] {
                                             run(djpeg, {"-scale", "1/4", "-outfile", "/dev/null", p12});
                                         },
                                         runs);
    report(QStringLiteral("fit_jpeg_12mp"), fit12, QStringLiteral("ms"));
    const auto [full12, refFull] = pairedMs(
        [&] {
            auto picture = LoadPicture(p12, PictureRequest());
            if (picture) {
                RecyclePicture(std::move(*picture)); // as the viewer does when it shows the next one
            }
        },
        [&] {
            run(djpeg, {"-outfile", "/dev/null", p12});
        },
        runs);
    report(QStringLiteral("full_jpeg_12mp"), full12, QStringLiteral("ms"));
    const auto [fit24, ref24] = pairedMs([&] { (void)LoadPicture(p24, fitted(viewer)); },
                                         [&] {
                                             run(djpeg, {"-scale", "1/4", "-outfile", "/dev/null", p24});
                                         },
                                         runs);
    report(QStringLiteral("fit_jpeg_24mp"), fit24, QStringLiteral("ms"));

    const PictureRequest thumbCell = fitted(QSize(180, 180));
    const int thumbRuns = std::max(3, runs / 3);
    const auto [thumbs1, refThumbs] = pairedMs(
        [&] {
            for (const QString &path : thumbs) {
                (void)LoadPicture(path, thumbCell);
            }
        },
        [&] {
            for (const QString &path : thumbs) {
                run(djpeg, {"-scale", "1/8", "-outfile", "/dev/null", path});
            }
        },
        thumbRuns);
    report(QStringLiteral("thumbs36_1core"), thumbs1, QStringLiteral("ms"));
    QThreadPool::globalInstance()->setMaxThreadCount(2);
    QTemporaryDir vipsOut;
    const auto [thumbs2, refVips] = pairedMs(
        [&] { LoadPicturesAsync(thumbs, thumbCell).waitForFinished(); },
        [&] {
            QProcess a;
            QProcess b;
            const QString pattern = vipsOut.path() + QStringLiteral("/%s.jpg");
            a.start(QStringLiteral("vipsthumbnail"), QStringList{"-s", "180", "-o", pattern} + thumbs.mid(0, 18));
            b.start(QStringLiteral("vipsthumbnail"), QStringList{"-s", "180", "-o", pattern} + thumbs.mid(18));
            a.waitForFinished(120000);
            b.waitForFinished(120000);
        },
        thumbRuns);
    report(QStringLiteral("thumbs36_2core"), thumbs2, QStringLiteral("ms"));

    // Thumbnail pages through the windows, each in a new process: from files never seen (an empty
    // shared cache), then again from the shared cache the first one wrote.
    std::vector<double> coldPages;
    std::vector<double> cachedPages;
    std::vector<double> pageMemory;
    auto thumbPage = [&](const QString &cacheHome) {
        QProcess probe;
        probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        probe.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--thumb-page"), corpus.filePath(QStringLiteral("thumbs")),
                     QStringLiteral("--thumb-cache"), cacheHome});
        probe.waitForFinished(120000);
        const QStringList figures = QString::fromLatin1(probe.readAllStandardOutput()).split(' ');
        if (probe.exitCode() != 0 || figures.size() != 2) {
            return std::pair<double, double>{1e9, 1e9};
        }
        return std::pair<double, double>{figures[0].toDouble(), figures[1].toDouble()};
    };
    for (int i = 0; i < thumbRuns; ++i) {
        QTemporaryDir cacheHome;
        const auto cold = thumbPage(cacheHome.path());
        coldPages.push_back(cold.first);
        pageMemory.push_back(cold.second);
        cachedPages.push_back(thumbPage(cacheHome.path()).first);
    }
    const double pageCold = median(coldPages);
    const double pageCached = median(cachedPages);
    const double pageMb = *std::max_element(pageMemory.begin(), pageMemory.end());
    report(QStringLiteral("thumb_page_36_cold"), pageCold, QStringLiteral("ms"));
    report(QStringLiteral("thumb_page_36_cached"), pageCached, QStringLiteral("ms"));
    report(QStringLiteral("thumb_page_36_memory"), pageMb, QStringLiteral("MB"));

    double fitWmf = notMeasured;
    double fitEmf = notMeasured;
    for (const char *ext : {"wmf", "emf"}) {
        const QString file = corpus.filePath(QStringLiteral("office.%1").arg(QLatin1String(ext)));
        const QString figure = QStringLiteral("fit_%1").arg(QLatin1String(ext));
        if (!lacks(file, figure)) {
            (ext[0] == 'w' ? fitWmf : fitEmf) = measureMetafile(file, figure, viewer, runs);
        }
    }

    std::vector<double> peaks;
    for (int i = 0; i < 5; ++i) {
        QProcess probe;
        probe.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--peak-probe"), p24});
        probe.waitForFinished(60000);
        peaks.push_back(probe.readAllStandardOutput().trimmed().toDouble());
    }
    const double peak = median(peaks);
    report(QStringLiteral("peak_rss_fit_24mp"), peak, QStringLiteral("MB"));

    // The file list: open a folder (read, filter, sort, fill the list) and read it again.
    const QString list20k = corpus.filePath(QStringLiteral("list20k"));
    FileListBox list;
    list.setPattern(QStringLiteral("*.bmp;*.jpg;*.jpeg;*.gif;*.wmf;*.emf"));
    const double open20k = timeMs(
        [&] {
            list.setPath(QString());
            list.setPath(list20k);
        },
        runs);
    const int listed = list.ListCount();
    report(QStringLiteral("list_20k"), open20k, QStringLiteral("ms"));
    const double refresh20k = timeMs([&] { list.Refresh(); }, runs);
    report(QStringLiteral("refresh_20k"), refresh20k, QStringLiteral("ms"));
    QTemporaryDir big;
    double open50k = 0;
    if (makeListFolder(big.filePath(QStringLiteral("list50k")), 50000)) {
        open50k = timeMs([&] { list.setPath(big.filePath(QStringLiteral("list50k"))); }, std::max(3, runs / 3));
        report(QStringLiteral("list_50k"), open50k, QStringLiteral("ms"));
    }
    const double refReaddir = timeMs([&] { (void)plainReaddir(list20k); }, runs);
    out << "# list_20k lists " << listed << " of the folder's entries" << Qt::endl;

    // Filing: 1,000 files of 5 MB moved inside one file system (each a rename, so the files are
    // sparse), and 200 of 5 MB moved to another file system (/dev/shm) against cp and rm.
    double moveSame = 1e9;
    double moveCross = 1e9;
    double refCpRm = 0;
    {
        QTemporaryDir area(corpus.filePath(QStringLiteral("move-XXXXXX")));
        const QString a = area.filePath(QStringLiteral("a"));
        const QString b = area.filePath(QStringLiteral("b"));
        QDir().mkpath(a);
        QDir().mkpath(b);
        QStringList names;
        for (int i = 0; i < 1000; ++i) {
            names << QStringLiteral("photo%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
            QFile f(a + QLatin1Char('/') + names.last());
            if (!f.open(QIODevice::WriteOnly) || !f.resize(5 << 20)) {
                return 1;
            }
        }
        auto listIn = [&](const QString &folder, int count) {
            QStringList paths;
            for (int i = 0; i < count; ++i) {
                paths << folder + QLatin1Char('/') + names.at(i);
            }
            return JoinSourceList(paths);
        };
        std::vector<double> same;
        for (int i = 0; i < runs; ++i) {
            const bool forth = i % 2 == 0;
            QElapsedTimer clock;
            clock.start();
            const int result = MoveToEnd(listIn(forth ? a : b, 1000), forth ? b : a);
            same.push_back(result == 0 ? static_cast<double>(clock.nsecsElapsed()) / 1e6 : 1e9);
        }
        moveSame = median(same);
        report(QStringLiteral("move_1000_same_fs"), moveSame, QStringLiteral("ms"));

        QTemporaryDir shm(QStringLiteral("/dev/shm/vantrel-bench-XXXXXX"));
        const QString c = area.filePath(QStringLiteral("c"));
        QDir().mkpath(c);
        QByteArray block(5 << 20, '\0');
        for (int i = 0; i < 200; ++i) {
            for (qsizetype k = 0; k < block.size(); k += 4096) {
                block[k] = static_cast<char>(i + k / 4096);
            }
            QFile f(c + QLatin1Char('/') + names.at(i));
            if (!f.open(QIODevice::WriteOnly) || f.write(block) != block.size()) {
                return 1;
            }
        }
        const QString sh = shm.path();
        auto restore = [&] {
            run(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("mv \"$0\"/* \"$1\"/"), sh, c});
        };
        const int crossRuns = std::max(3, runs / 3);
        std::vector<double> ours;
        std::vector<double> reference;
        for (int i = 0; i < crossRuns; ++i) {
            QElapsedTimer clock;
            clock.start();
            const int result = MoveToEnd(listIn(c, 200), sh);
            ours.push_back(result == 0 ? static_cast<double>(clock.nsecsElapsed()) / 1e6 : 1e9);
            restore();
            clock.restart();
            run(QStringLiteral("sh"),
                {QStringLiteral("-c"), QStringLiteral("cp \"$0\"/* \"$1\"/ && rm \"$0\"/*"), c, sh});
            reference.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            restore();
        }
        moveCross = median(ours);
        refCpRm = median(reference);
        report(QStringLiteral("move_200_cross_fs"), moveCross, QStringLiteral("ms"));
    }

    // The viewer: from the selection of a file in the list to its fitted picture painted, and from
    // the click on a reduced picture to the full-size view painted. Cold each time: nothing
    // prefetched, nothing decoding in the background.
    QTemporaryDir home;
    qputenv("VANTREL_SETTINGS", home.filePath(QStringLiteral("bench.ini")).toLocal8Bit());
    SaveSetting(AppName, QStringLiteral("Directories"), QStringLiteral("corpus"), corpus.absolutePath());
    SaveSetting(AppName, QStringLiteral("Settings"), QStringLiteral("Basename"), QStringLiteral("corpus"));
    ApplyScreenMetrics(State(), ScreenSpec{1024, 768, 15});
    frmPictureViewer &window = Forms::frmPictureViewer();
    window.show();
    FileListBox *files = Control<FileListBox>(Forms::frmSide(), "File1");
    auto select = [&](const QString &name) {
        files->setListIndex(files->model()->match(files->model()->index(0, 0), Qt::DisplayRole, name).value(0).row());
        Control<PictureImage>(window, "Image1")->repaint();
    };
    // Each run starts from the other picture, shown untimed, with every decode it set going
    // finished and dropped, along with the picture it replaced: the timed selection then decodes
    // its file afresh. A selection of the row already selected would show nothing new, so a run
    // that does not end on its picture makes the figure fail instead.
    auto showFile = [&](const QString &name, const QString &other) {
        std::vector<double> times;
        for (int i = 0; i <= runs; ++i) {
            select(other);
            QCoreApplication::processEvents();
            QThreadPool::globalInstance()->waitForDone();
            QCoreApplication::processEvents();
            window.clearPrefetch();
            QElapsedTimer clock;
            clock.start();
            select(name);
            const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            if (QFileInfo(State().CurrentFile).fileName() != name) {
                QTextStream(stderr) << "vantrel-bench: selecting " << name << " showed " << State().CurrentFile << "\n";
                return notMeasured;
            }
            if (i > 0) { // the first run warms the caches
                times.push_back(ms);
            }
        }
        return median(times);
    };
    const double show12 = showFile(QStringLiteral("12mp.jpg"), QStringLiteral("24mp.jpg"));
    report(QStringLiteral("show_jpeg_12mp"), show12, QStringLiteral("ms"));
    const double show24 = showFile(QStringLiteral("24mp.jpg"), QStringLiteral("12mp.jpg"));
    report(QStringLiteral("show_jpeg_24mp"), show24, QStringLiteral("ms"));
    QThreadPool::globalInstance()->waitForDone();
    window.clearPrefetch();
    std::vector<double> magnifies;
    for (int i = 0; i < runs; ++i) {
        Forms::frmSide().File1_Click(); // back to the fitted view, not timed
        QThreadPool::globalInstance()->waitForDone();
        State().PictureClickX = 300 * 15;
        State().PictureClickY = 200 * 15;
        QElapsedTimer clock;
        clock.start();
        window.Image1_Click();
        Control<PictureImage>(window, "Picture1")->repaint();
        magnifies.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    const double magnify24 = median(magnifies);
    report(QStringLiteral("magnify_jpeg_24mp"), magnify24, QStringLiteral("ms"));

    // A timed show of 24-megapixel pictures, one a second: how late the latest picture is
    // painted after the moment its tick was due.
    double late = 0;
    {
        QTemporaryDir showDir;
        for (int i = 0; i < 5; ++i) {
            QFile::link(QFileInfo(p24).absoluteFilePath(), showDir.filePath(QStringLiteral("slide%1.jpg").arg(i)));
        }
        SaveSetting(AppName, QStringLiteral("Directories"), QStringLiteral("slides"), showDir.path());
        frmSide &side = Forms::frmSide();
        auto *folders = Control<QComboBox>(side, "cmbFolders");
        folders->addItem(QStringLiteral("slides"));
        folders->setCurrentIndex(folders->findText(QStringLiteral("slides")));
        State().SlideTime = 1;
        side.slideShow().setInterval(1000);
        QElapsedTimer clock;
        std::vector<double> lateness;
        double timerStart = 0; // when the show's timer began counting, on `clock`
        QObject::connect(side.slideShow().findChild<QTimer *>(QStringLiteral("tmrSlide")), &QTimer::timeout, &side,
                         [&] {
                             Control<PictureImage>(window, "Image1")->repaint();
                             const double due = timerStart + 1000.0 * static_cast<double>(lateness.size() + 1);
                             lateness.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6 - due);
                         });
        if (side.listCount() == 0) {
            QTextStream(stderr) << "vantrel-bench: no pictures for the slide show\n";
            return 1;
        }
        clock.start();
        side.cmdSlide_Click();
        timerStart = static_cast<double>(clock.nsecsElapsed()) / 1e6 +
                     side.slideShow().findChild<QTimer *>(QStringLiteral("tmrSlide"))->remainingTime() - 1000.0;
        QEventLoop loop;
        QTimer::singleShot(8500, &loop, &QEventLoop::quit);
        loop.exec();
        side.StopSlideShow();
        late = lateness.empty() ? 1e9 : *std::max_element(lateness.begin(), lateness.end());
        out << "# slide ticks late by (ms):";
        for (const double l : lateness) {
            out << ' ' << QString::number(l, 'f', 1);
        }
        out << Qt::endl;
        report(QStringLiteral("slide_late_24mp_1s"), late, QStringLiteral("ms"));
    }
    // The settings dialog with 200 registered folders: from the Settings button to the dialog
    // painted with its folder browser filled, first showing (the dialog loaded anew each time) and
    // again; then 100 pointer moves turning the dial, each painted.
    double settingsOpen = 0;
    double settingsReopen = 0;
    double dialDrag = 0;
    double browse10k = 0;
    {
        for (int i = 0; i < 200; ++i) {
            SaveSetting(AppName, QStringLiteral("Directories"), QStringLiteral("Album %1").arg(i),
                        corpus.absolutePath());
        }
        frmSide &side = Forms::frmSide();
        auto openSettings = [&] {
            side.cmdSettings_Click();
            Forms::frmSettings().repaint();
            while (Forms::frmSettings().browserBusy()) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            }
            Forms::frmSettings().repaint();
        };
        std::vector<double> first;
        std::vector<double> again;
        for (int i = 0; i < runs; ++i) {
            Forms::Unload(Forms::Form::Settings);
            Forms::FlushUnloaded();
            QElapsedTimer clock;
            clock.start();
            openSettings();
            first.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            Forms::frmSettings().reject();
            clock.restart();
            openSettings();
            again.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            Forms::frmSettings().reject();
        }
        settingsOpen = median(first);
        settingsReopen = median(again);
        report(QStringLiteral("settings_open"), settingsOpen, QStringLiteral("ms"));
        report(QStringLiteral("settings_reopen"), settingsReopen, QStringLiteral("ms"));

        openSettings();
        auto *dial = Forms::frmSettings().findChild<AnglePicture *>(QStringLiteral("picAngle"));
        const QPointF centre(dial->width() / 2.0, dial->height() / 2.0);
        dialDrag = timeMs(
            [&] {
                auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
                    QMouseEvent event(type, at, dial->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
                    QCoreApplication::sendEvent(dial, &event);
                    dial->repaint();
                };
                send(QEvent::MouseButtonPress, centre + QPointF(30, 0), Qt::LeftButton);
                for (int k = 0; k < 100; ++k) {
                    const double a = k * 3.6 * 3.14159265 / 180;
                    send(QEvent::MouseMove, centre + QPointF(30 * std::cos(a), -30 * std::sin(a)), Qt::LeftButton);
                }
                send(QEvent::MouseButtonRelease, centre + QPointF(30, 0), Qt::NoButton);
            },
            runs);
        report(QStringLiteral("dial_drag"), dialDrag, QStringLiteral("ms"));

        // The folder browser on a folder of 10,000 subfolders: from the request to the list painted.
        QTemporaryDir many;
        for (int i = 0; i < 10000; ++i) {
            QDir(many.path()).mkdir(QStringLiteral("folder %1").arg(i));
        }
        auto *browser = Forms::frmSettings().findChild<DirListBox *>(QStringLiteral("Dir1"));
        auto browse = [&](const QString &path) {
            browser->setPath(path);
            while (browser->isReading()) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            }
            browser->repaint();
        };
        std::vector<double> browses;
        for (int i = 0; i < runs; ++i) {
            browse(QFileInfo(many.path()).absolutePath()); // elsewhere first, not timed
            QElapsedTimer clock;
            clock.start();
            browse(many.path());
            browses.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        }
        browse10k = median(browses);
        report(QStringLiteral("settings_browse_10k"), browse10k, QStringLiteral("ms"));
        Forms::frmSettings().reject();
    }
    Forms::frmSide().cmdQuit_Click();
    Forms::FlushUnloaded();

    // The screen saver's logo: from the start of a run to its first frame, then what ten seconds of
    // drifting cost.
    double saverStart = 0;
    double saverCpu = 1e9;
    double saverRss = 1e9;
    {
        QTemporaryDir saverHome;
        const QString ini = saverHome.filePath(QStringLiteral("saver.ini"));
        auto startRun = [&](QProcess &probe, int seconds) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("VANTREL_SETTINGS"), ini);
            env.insert(QStringLiteral("VANTREL_SCREEN"), QStringLiteral("1920x1080@15"));
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), saverHome.path());
            probe.setProcessEnvironment(env);
            qputenv("VANTREL_SETTINGS", ini.toLocal8Bit());
            SaveSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("LogoShow"), QStringLiteral("1"));
            SaveSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("Mode"), QStringLiteral("On"));
            probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            probe.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--saver-probe"), QString::number(seconds)});
        };
        std::vector<double> starts;
        for (int i = 0; i < std::min(runs, 7); ++i) {
            QProcess probe;
            QElapsedTimer clock;
            clock.start();
            startRun(probe, 0);
            while (probe.waitForReadyRead(10000) || probe.state() == QProcess::Running) {
                if (probe.canReadLine() && probe.readLine().startsWith("frame")) {
                    starts.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
                    break;
                }
                if (clock.elapsed() > 10000) {
                    break;
                }
            }
            probe.waitForFinished(10000);
        }
        saverStart = starts.empty() ? 1e9 : median(starts);
        report(QStringLiteral("saver_start"), saverStart, QStringLiteral("ms"));
        QProcess probe;
        startRun(probe, 10);
        probe.waitForFinished(30000);
        const QList<QByteArray> words = probe.readAllStandardOutput().simplified().split(' ');
        const int at = static_cast<int>(words.indexOf("cpu"));
        if (at >= 0 && words.size() >= at + 6) {
            saverCpu = words.at(at + 1).toDouble();
            saverRss = words.at(at + 3).toDouble();
            out << "# logo steps in 10 s: " << words.at(at + 5) << Qt::endl;
        }
        report(QStringLiteral("saver_logo_cpu"), saverCpu, QStringLiteral("%"));
        report(QStringLiteral("saver_logo_memory"), saverRss, QStringLiteral("MB"));
    }

    const double startLargeStore = measureLargeStoreStart(corpus, runs);
    if (std::isnan(startLargeStore)) {
        ++missingFigures;
    }

    // The gradient behind the show.
    const auto [gradient1080, gradient2160] = measureGradients(runs);

    // A 24-megapixel picture printed on a PDF page, and made into a 1024 x 768 screen's wallpaper.
    QTemporaryDir outputDir;
    const double print24 = timeMs(
        [&] {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(outputDir.filePath(QStringLiteral("page.pdf")));
            if (PrintPictureFile(p24, printer, 15, 15) != PrintResult::Printed) {
                QTextStream(stderr) << "vantrel-bench: printing failed\n";
            }
        },
        runs);
    report(QStringLiteral("print_24mp_pdf"), print24, QStringLiteral("ms"));
    const double wallpaper24 = timeMs(
        [&] {
            if (!MakeWallpaperBitmap(p24, QSize(1024, 768), {outputDir.path()}, 15, 15)) {
                QTextStream(stderr) << "vantrel-bench: no wallpaper bitmap\n";
            }
        },
        runs);
    report(QStringLiteral("wallpaper_24mp"), wallpaper24, QStringLiteral("ms"));

    // Reference figures of the same files in the same run.
    const double refFull24 = timeMs([&] { run(djpeg, {"-outfile", "/dev/null", p24}); }, runs);
    report(QStringLiteral("ref_djpeg_scale4_12mp"), ref12, QStringLiteral("ms"));
    report(QStringLiteral("ref_djpeg_scale4_24mp"), ref24, QStringLiteral("ms"));
    report(QStringLiteral("ref_djpeg_full_12mp"), refFull, QStringLiteral("ms"));
    report(QStringLiteral("ref_djpeg_full_24mp"), refFull24, QStringLiteral("ms"));
    report(QStringLiteral("ref_djpeg_scale8_thumbs36"), refThumbs, QStringLiteral("ms"));
    report(QStringLiteral("ref_vipsthumbnail_2proc_thumbs36"), refVips, QStringLiteral("ms"));
    report(QStringLiteral("ref_readdir_filter_20k"), refReaddir, QStringLiteral("ms"));
    report(QStringLiteral("ref_cp_rm_200_cross_fs"), refCpRm, QStringLiteral("ms"));

    // A watched folder that another process fills with 10,000 files while keys are pressed, in a
    // process of its own (a list of 10,000 more files would weigh on the figures after it).
    double burstP95 = 1e9;
    {
        QProcess probe;
        probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        probe.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--watch-burst-probe")});
        probe.waitForFinished(300000);
        const QStringList figures = QString::fromLatin1(probe.readAllStandardOutput()).simplified().split(' ');
        if (probe.exitCode() == 0 && figures.size() == 3) {
            burstP95 = figures[0].toDouble();
            report(QStringLiteral("watch_burst_10k_key_p95"), burstP95, QStringLiteral("ms"));
            report(QStringLiteral("ref_quiet_key_p95"), figures[1].toDouble(), QStringLiteral("ms"));
            out << "# keys measured during the burst: " << figures[2] << Qt::endl;
        } else {
            out << "BENCH watch_burst_10k_key_p95 missing (the probe failed)" << Qt::endl;
            ++missingFigures;
        }
    }

    if (missingFigures > 0) {
        out << "bench: " << missingFigures << " figure(s) missing" << Qt::endl;
    }
    if (parser.isSet(QStringLiteral("no-targets"))) {
        return missingFigures == 0 ? 0 : 1;
    }
    const std::vector<Target> targets = {
        {QStringLiteral("fit_jpeg_12mp"), fit12, 0.8 * ref12, QStringLiteral("0.8 x djpeg -scale 1/4")},
        {QStringLiteral("fit_jpeg_24mp"), fit24, 0.8 * ref24, QStringLiteral("0.8 x djpeg -scale 1/4")},
        {QStringLiteral("full_jpeg_12mp"), full12, 1.0 * refFull, QStringLiteral("1.0 x djpeg")},
        {QStringLiteral("thumbs36_1core"), thumbs1, 1.05 * refThumbs,
         QStringLiteral("1.05 x djpeg -scale 1/8, summed")},
        {QStringLiteral("thumbs36_2core"), thumbs2, 0.55 * refThumbs,
         QStringLiteral("0.55 x djpeg -scale 1/8, summed")},
        {QStringLiteral("thumbs36_2core"), thumbs2, 0.8 * refVips, QStringLiteral("0.8 x two vipsthumbnail processes")},
        {QStringLiteral("thumb_page_36_cold"), pageCold, 0.6 * refThumbs,
         QStringLiteral("0.6 x djpeg -scale 1/8, summed")},
        {QStringLiteral("thumb_page_36_cold"), pageCold, 0.8 * refVips,
         QStringLiteral("0.8 x two vipsthumbnail processes")},
        {QStringLiteral("thumb_page_36_cached"), pageCached, 100, QStringLiteral("100 ms")},
        {QStringLiteral("thumb_page_36_memory"), pageMb, 40, QStringLiteral("40 MB")},
        {QStringLiteral("move_1000_same_fs"), moveSame, 2000, QStringLiteral("2 s")},
        {QStringLiteral("move_200_cross_fs"), moveCross, refCpRm / 0.8,
         QStringLiteral("80 % of the speed of cp and rm")},
        {QStringLiteral("fit_wmf"), fitWmf, kFitMetafileMs, QStringLiteral("30 ms")},
        {QStringLiteral("fit_emf"), fitEmf, kFitMetafileMs, QStringLiteral("30 ms")},
        {QStringLiteral("peak_rss_fit_24mp"), peak, 25, QStringLiteral("25 MB")},
        {QStringLiteral("show_jpeg_12mp"), show12, 1.2 * (ref12 + 10),
         QStringLiteral("1.2 x (djpeg -scale 1/4 + 10 ms)")},
        {QStringLiteral("show_jpeg_24mp"), show24, 1.2 * (ref24 + 10),
         QStringLiteral("1.2 x (djpeg -scale 1/4 + 10 ms)")},
        {QStringLiteral("magnify_jpeg_24mp"), magnify24, 1.2 * refFull24, QStringLiteral("1.2 x djpeg")},
        {QStringLiteral("slide_late_24mp_1s"), late, 100, QStringLiteral("100 ms")},
        {QStringLiteral("settings_open"), settingsOpen, 150, QStringLiteral("150 ms")},
        {QStringLiteral("settings_reopen"), settingsReopen, 30, QStringLiteral("30 ms")},
        {QStringLiteral("dial_drag"), dialDrag, 300, QStringLiteral("300 ms")},
        {QStringLiteral("settings_browse_10k"), browse10k, 150, QStringLiteral("150 ms")},
        {QStringLiteral("gradient_1080p_45"), gradient1080, kGradient1080Ms, QStringLiteral("8 ms")},
        {QStringLiteral("gradient_2160p_45"), gradient2160, kGradient2160Ms, QStringLiteral("25 ms")},
        {QStringLiteral("list_20k"), open20k, 5 * refReaddir, QStringLiteral("5 x readdir with the filter")},
        {QStringLiteral("refresh_20k"), refresh20k, 5 * refReaddir, QStringLiteral("5 x readdir with the filter")},
        {QStringLiteral("list_50k"), open50k, 100, QStringLiteral("100 ms")},
        {QStringLiteral("print_24mp_pdf"), print24, 1500, QStringLiteral("1.5 s")},
        {QStringLiteral("wallpaper_24mp"), wallpaper24, 300, QStringLiteral("300 ms")},
        {QStringLiteral("saver_start"), saverStart, 400, QStringLiteral("400 ms")},
        {QStringLiteral("start_settings_10mb"), startLargeStore, kStartLargeStoreMs, QStringLiteral("1 s")},
        {QStringLiteral("saver_logo_cpu"), saverCpu, 3, QStringLiteral("3 % of one core")},
        {QStringLiteral("saver_logo_memory"), saverRss, 60, QStringLiteral("60 MB")},
        {QStringLiteral("watch_burst_10k_key_p95"), burstP95, 100, QStringLiteral("100 ms")},
    };
    int missed = 0;
    for (const Target &t : targets) {
        const bool ok = t.value <= t.limit; // a figure not measured (NaN) meets nothing
        missed += ok ? 0 : 1;
        out << (ok ? "MET    " : "MISSED ") << t.name << ' ' << QString::number(t.value, 'f', 2)
            << " <= " << QString::number(t.limit, 'f', 2) << " (" << t.what << ")" << Qt::endl;
    }
    out << (missed == 0 ? "bench: every target met" : "bench: targets missed") << Qt::endl;
    return missed == 0 && missingFigures == 0 ? 0 : 1;
}
