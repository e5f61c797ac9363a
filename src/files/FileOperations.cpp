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
#include <QMutex>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
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
class HoldInput : public QObject
{
public:
    HoldInput() { QCoreApplication::instance()->installEventFilter(this); }
    ~HoldInput() override { QCoreApplication::instance()->removeEventFilter(this); }
    HoldInput(const HoldInput &) = delete;
    HoldInput &operator=(const HoldInput &) = delete;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
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
        return modal == nullptr || widget == nullptr || (widget->window() != modal && !modal->isAncestorOf(widget));
    }
};

int Transfer(TransferKind kind, const QString &sources, const QString &destination)
{
    const QStringList list = SplitSourceList(sources);
    TransferProgress shared;
    QObject receiver; // lives on the interface thread: the worker's questions are asked here
    WorkerObserver observer(shared, &receiver);
    std::atomic<int> result{TransferResult::Failed};
    std::unique_ptr<QThread> worker(
        QThread::create([&] { result = TransferFiles(kind, list, destination, observer); }));
    worker->setObjectName(QStringLiteral("file transfer"));

    const HoldInput hold;
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

    QString message;
    if (result == TransferResult::DestinationMissing) {
        message = kind == TransferKind::Move ? QStringLiteral("The destination folder cannot be found.")
                                             : QStringLiteral("The destination folder is currently inaccessible.");
    } else if (result == TransferResult::AccessDenied && kind == TransferKind::Move) {
        message = QStringLiteral("The destination folder is currently inaccessible.");
    }
    if (!message.isEmpty()) {
        MsgBox(message, vbCritical);
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
