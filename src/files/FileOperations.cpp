#include "files/FileOperations.h"

#include "common/FileNames.h"
#include "common/SharedState.h"
#include "common/platform/Dialogs.h"
#include "files/FileTransfer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocale>
#include <QMouseEvent>
#include <QMutex>
#include <QPointer>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>

namespace {

// The replace question as the user sees it, asked on the interface thread.
ReplaceAnswer AskReplace(const QString &source, const QString &target)
{
    const QLocale locale;
    auto describe = [&](const QString &path) {
        const auto st = StatPath(path);
        const qint64 size = st ? static_cast<qint64>(st->st_size) : 0;
        const QDateTime modified = st ? QDateTime::fromSecsSinceEpoch(st->st_mtim.tv_sec) : QDateTime();
        return QStringLiteral("%1 bytes, modified %2")
            .arg(locale.toString(size), locale.toString(modified, QLocale::ShortFormat));
    };
    const QString prompt = QStringLiteral("This folder already contains a file named '%1'.\n\n"
                                          "Would you like to replace the existing file\n\n    %2\n\n"
                                          "with this one?\n\n    %3")
                               .arg(DisplayName(FileNameOf(target)), describe(target), describe(source));
    switch (MsgBox(prompt, vbYesYesToAllNoCancel | vbQuestion, QStringLiteral("Confirm File Replace"))) {
    case vbYes:
        return ReplaceAnswer::Yes;
    case vbYesToAll:
        return ReplaceAnswer::YesToAll;
    case vbNo:
        return ReplaceAnswer::No;
    default:
        return ReplaceAnswer::Cancel;
    }
}

// What the worker reports and what the interface thread answers, shared between the two.
struct TransferProgress
{
    std::atomic<int> fileIndex{0};
    std::atomic<int> fileCount{0};
    std::atomic<bool> cancel{false};
    QMutex mutex;
    QString source; // guarded by mutex
};

// The worker's side of a transfer: progress goes into the shared record; the replace question is
// asked on the interface thread while the worker waits for the answer.
class WorkerObserver : public TransferObserver
{
public:
    WorkerObserver(TransferProgress &shared, QObject *interfaceThreadObject)
        : m_shared(shared)
        , m_ui(interfaceThreadObject)
    {}

    ReplaceAnswer askReplace(const QString &source, const QString &target) override
    {
        ReplaceAnswer answer = ReplaceAnswer::Cancel;
        QMetaObject::invokeMethod(
            m_ui, [&] { answer = AskReplace(source, target); }, Qt::BlockingQueuedConnection);
        return answer;
    }

    bool progress(int fileIndex, int fileCount, const QString &source, qint64, qint64) override
    {
        m_shared.fileIndex = fileIndex;
        m_shared.fileCount = fileCount;
        {
            const QMutexLocker lock(&m_shared.mutex);
            if (m_shared.source != source) {
                m_shared.source = source;
            }
        }
        return !m_shared.cancel;
    }

private:
    TransferProgress &m_shared;
    QObject *m_ui;
};

// While files move, the windows keep painting and their timers keep running, but no mouse or key
// input reaches them: a second command must not start in the middle of this one. The progress
// window and the questions are modal windows of their own and get their input as usual.
//
// Quitting is the exception: a window closed (Alt+F4, the window manager, the session) or a press
// of the button that ends the program cancels the transfer at its next safe point (every file
// whole on one side or the other), and once it has stopped the close or the press is made again,
// so the program ends by its usual road.
class HoldInput : public QObject
{
public:
    explicit HoldInput(std::function<void()> stop)
        : m_stop(std::move(stop))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~HoldInput() override { QCoreApplication::instance()->removeEventFilter(this); }
    HoldInput(const HoldInput &) = delete;
    HoldInput &operator=(const HoldInput &) = delete;

    // After the transfer: what was asked for meanwhile, asked again.
    void replayQuit()
    {
        for (const QPointer<QWidget> &window : std::as_const(m_closed)) {
            if (window) {
                QTimer::singleShot(0, window, [window] { window->close(); });
            }
        }
        if (m_quitButton) {
            const QPointer<QWidget> button = m_quitButton;
            QTimer::singleShot(0, button, [button] {
                const QPointF at = QRectF(button->rect()).center();
                QMouseEvent press(QEvent::MouseButtonPress, at, button->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                                  Qt::NoModifier);
                QCoreApplication::sendEvent(button, &press);
                QMouseEvent release(QEvent::MouseButtonRelease, at, button->mapToGlobal(at), Qt::LeftButton,
                                    Qt::NoButton, Qt::NoModifier);
                QCoreApplication::sendEvent(button, &release);
            });
        }
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Close:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
            break;
        default:
            return false;
        }
        QWidget *modal = QApplication::activeModalWidget();
        auto *widget = qobject_cast<QWidget *>(watched);
        const bool insideModal =
            modal != nullptr && widget != nullptr && (widget == modal || modal->isAncestorOf(widget));
        if (event->type() == QEvent::Close && widget != nullptr && widget->isWindow() && !insideModal &&
            widget->isVisible()) {
            m_closed << widget;
            m_stop();
            event->ignore();
            return true;
        }
        if (widget != nullptr && !insideModal && widget->property(kEndsProgram).toBool() &&
            (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease) &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            if (event->type() == QEvent::MouseButtonRelease) {
                m_quitButton = widget;
                m_stop();
            }
            return true;
        }
        if (event->type() == QEvent::Close) {
            return false;
        }
        return modal == nullptr || widget == nullptr || (widget->window() != modal && !modal->isAncestorOf(widget));
    }

private:
    std::function<void()> m_stop;
    QList<QPointer<QWidget>> m_closed;
    QPointer<QWidget> m_quitButton;
};

int Transfer(TransferKind kind, const QString &sources, const QString &destination)
{
    const QStringList list = SplitSourceList(sources);
    TransferProgress shared;
    QObject receiver; // lives on the interface thread: the worker's questions are asked here
    WorkerObserver observer(shared, &receiver);
    std::atomic<int> result{TransferResult::Failed};
    QList<NotFiled> notFiled; // written by the worker, read once it has finished
    std::unique_ptr<QThread> worker(
        QThread::create([&] { result = TransferFiles(kind, list, destination, observer, &notFiled); }));
    worker->setObjectName(QStringLiteral("file transfer"));

    HoldInput hold([&shared] { shared.cancel = true; });
    QEventLoop waiting;
    QObject::connect(worker.get(), &QThread::finished, &waiting, &QEventLoop::quit);

    // A window for lists of several files, or once one file takes a while.
    std::unique_ptr<QProgressDialog> dialog;
    QElapsedTimer clock;
    clock.start();
    QTimer ticker;
    ticker.setInterval(50);
    QObject::connect(&ticker, &QTimer::timeout, &waiting, [&] {
        const int count = shared.fileCount;
        if (!dialog && (count > 3 || clock.elapsed() > 500)) {
            dialog = std::make_unique<QProgressDialog>();
            dialog->setObjectName(QStringLiteral("TransferProgress"));
            dialog->setWindowTitle(kind == TransferKind::Move ? QStringLiteral("Moving...")
                                                              : QStringLiteral("Copying..."));
            // A list of several files shows its window at once; one long file once it is slow.
            dialog->setMinimumDuration(count > 3 ? 0 : 400);
            dialog->setWindowModality(Qt::ApplicationModal);
            dialog->setAutoClose(false);
            dialog->setAutoReset(false);
            QObject::connect(dialog.get(), &QProgressDialog::canceled, &waiting, [&] { shared.cancel = true; });
        }
        if (!dialog) {
            return;
        }
        QString source;
        {
            const QMutexLocker lock(&shared.mutex);
            source = shared.source;
        }
        dialog->setRange(0, std::max(count, 1));
        dialog->setLabelText(
            QStringLiteral("%1\nto %2").arg(DisplayName(FileNameOf(source)), DisplayName(destination)));
        dialog->setValue(shared.fileIndex);
    });
    ticker.start();
    worker->start();
    // The one wait of a file command: the copy and its flushes run on the worker, this loop keeps
    // the windows painting, and HoldInput keeps every other command out until it ends.
    waiting.exec();
    worker->wait();
    ticker.stop();
    dialog.reset();
    hold.replayQuit();

    // Every failure is said, naming the files that were not filed and why (again at a second try).
    const TransferMessage report = TransferReport(kind, result, notFiled, static_cast<int>(list.size()), destination);
    if (!report.text.isEmpty()) {
        MsgBox(report.text, report.partial ? vbExclamation : vbCritical);
    }
    if (result == TransferResult::DestinationMissing || result == TransferResult::AccessDenied) {
        State().FileOperationFailed = true;
    }
    return result;
}

} // namespace

bool SendToRecycleBin(const QString &path, QList<QPair<QString, QString>> *trashed)
{
    // Without the user's data folder the trash would report success and leave the file in the
    // working folder instead.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || !QDir().mkpath(data)) {
        MsgBox(QStringLiteral("The trash cannot be used, so nothing was deleted."), vbCritical);
        return false;
    }
    bool all = true;
    for (const QString &file : SplitSourceList(path)) {
        if (!LstatPath(file)) {
            continue;
        }
        QString inTrash;
        if (MoveToTrash(file, &inTrash)) {
            if (trashed != nullptr) {
                trashed->append({file, inTrash});
            }
        } else {
            all = false;
            MsgBox(
                QStringLiteral("'%1' could not be moved to the trash, so it was not deleted.").arg(DisplayName(file)),
                vbCritical);
        }
    }
    return all;
}

int MoveFiles(const QString &sources, const QString &destination)
{
    return Transfer(TransferKind::Move, sources, destination);
}

int CopyFiles(const QString &sources, const QString &destination)
{
    return Transfer(TransferKind::Copy, sources, destination);
}
