// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/FileOperations.h"

#include "common/CommandQueue.h"
#include "common/FileNames.h"
#include "common/SharedState.h"
#include "common/platform/Dialogs.h"
#include "files/FileTransfer.h"
#include "files/TransferFlow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QMutex>
#include <QPointer>
#include <QProgressBar>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWaitCondition>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

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
struct TransferChannel
{
    std::atomic<int> fileIndex{0};
    std::atomic<int> fileCount{0};
    std::atomic<bool> cancel{false};
    QMutex mutex;
    QString source;                      // guarded by mutex
    std::optional<ReplaceAnswer> answer; // guarded by mutex
    bool closed = false;                 // guarded by mutex: nobody will answer any more
    QWaitCondition answered;
};

// While files move, the windows keep painting and their timers keep running, but no mouse or key
// input reaches them: a second command must not start in the middle of this one. Every modal
// window (the progress window, the replace question) and whatever belongs to it gets its input as
// usual.
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

    // What was asked for meanwhile, to be asked again once the command has ended.
    struct Quits
    {
        QList<QPointer<QWidget>> closed;
        QPointer<QWidget> quitButton;
    };
    [[nodiscard]] Quits quits() const { return {m_closed, m_quitButton}; }

    static void replay(const Quits &quits)
    {
        for (const QPointer<QWidget> &window : quits.closed) {
            if (window) {
                QTimer::singleShot(0, window, [window] { window->close(); });
            }
        }
        if (quits.quitButton) {
            const QPointer<QWidget> button = quits.quitButton;
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
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget == nullptr) {
            if (event->type() != QEvent::Shortcut) {
                // The window system's input reaches a window object first, which hands it to its
                // widget: judged there, where it is known whose it is.
                return false;
            }
            // A shortcut of an action or shortcut object counts as its owner's.
            for (QObject *up = watched->parent(); up != nullptr && widget == nullptr; up = up->parent()) {
                widget = qobject_cast<QWidget *>(up);
            }
            return widget == nullptr || !InModal(widget);
        }
        const bool inModal = InModal(widget);
        if (event->type() == QEvent::Close) {
            if (widget->isWindow() && !inModal && widget->isVisible()) {
                m_closed << widget;
                m_stop();
                event->ignore();
                return true;
            }
            return false;
        }
        if (!inModal && widget->property(kEndsProgram).toBool() &&
            (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease) &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            if (event->type() == QEvent::MouseButtonRelease) {
                m_quitButton = widget;
                m_stop();
            }
            return true;
        }
        return !inModal;
    }

private:
    // A modal window, or a window (a popup, a chooser) that belongs to one.
    static bool InModal(const QWidget *widget)
    {
        for (const QWidget *w = widget->window(); w != nullptr;
             w = w->parentWidget() != nullptr ? w->parentWidget()->window() : nullptr) {
            if (w->isModal() || w->windowModality() != Qt::NonModal) {
                return true;
            }
        }
        return false;
    }

    std::function<void()> m_stop;
    QList<QPointer<QWidget>> m_closed;
    QPointer<QWidget> m_quitButton;
};

// The progress window of a transfer. Its own rather than QProgressDialog, which runs the event
// loop inside setValue() when it is modal.
class TransferProgressWindow : public QDialog
{
public:
    TransferProgressWindow(TransferKind kind, std::function<void()> cancel)
    {
        setObjectName(QStringLiteral("TransferProgress"));
        setWindowTitle(kind == TransferKind::Move ? QStringLiteral("Moving...") : QStringLiteral("Copying..."));
        setWindowModality(Qt::ApplicationModal);
        auto *layout = new QVBoxLayout(this);
        m_label = new QLabel(this);
        m_label->setTextFormat(Qt::PlainText);
        layout->addWidget(m_label);
        m_bar = new QProgressBar(this);
        layout->addWidget(m_bar);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
        layout->addWidget(buttons);
        // Escape, the window's close box and the button all cancel.
        connect(this, &QDialog::rejected, this, std::move(cancel));
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        setMinimumWidth(360);
    }

    void showProgress(int index, int count, const QString &text)
    {
        m_bar->setRange(0, std::max(count, 1));
        m_bar->setValue(index);
        m_label->setText(text);
    }

private:
    QLabel *m_label;
    QProgressBar *m_bar;
};

// One move or copy: the worker files; this object, on the interface thread, follows it through
// the rules of TransferFlow and never waits for it.
class TransferJob : public QObject
{
public:
    TransferJob(TransferKind kind, const QStringList &sources, const QString &destination, QObject *context,
                std::function<void(int)> done)
        : QObject(QCoreApplication::instance())
        , m_kind(kind)
        , m_sources(sources)
        , m_destination(destination)
        , m_context(context)
        , m_hadContext(context != nullptr)
        , m_done(std::move(done))
        , m_ticker(new QTimer(this))
    {}

    ~TransferJob() override
    {
        // The program is ending under a running transfer: it stops at its next safe point.
        m_channel->cancel = true;
        closeChannel();
        if (m_worker) {
            m_worker->wait();
        }
        if (m_flow.holdsInput()) {
            Commands().end();
        }
    }
    TransferJob(const TransferJob &) = delete;
    TransferJob &operator=(const TransferJob &) = delete;

    void start()
    {
        Commands().begin();
        m_asker = QApplication::activeWindow();
        const std::shared_ptr<TransferChannel> channel = m_channel;
        m_hold = std::make_unique<HoldInput>([channel] { channel->cancel = true; });
        m_clock.start();
        m_ticker->setInterval(50);
        connect(m_ticker, &QTimer::timeout, this, &TransferJob::tick);
        m_ticker->start();

        // The worker's side. It touches nothing of this object but the shared channel and what it
        // posts here; its replace question waits on the channel for the answer.
        class Observer : public TransferObserver
        {
        public:
            Observer(std::shared_ptr<TransferChannel> channel, TransferJob *job)
                : m_channel(std::move(channel))
                , m_job(job)
            {}
            ReplaceAnswer askReplace(const QString &source, const QString &target) override
            {
                QMutexLocker lock(&m_channel->mutex);
                if (m_channel->closed) {
                    return ReplaceAnswer::Cancel;
                }
                m_channel->answer.reset();
                TransferJob *job = m_job;
                QMetaObject::invokeMethod(
                    job, [job, source, target] { job->ask(source, target); }, Qt::QueuedConnection);
                while (!m_channel->answer && !m_channel->closed) {
                    m_channel->answered.wait(&m_channel->mutex);
                }
                return m_channel->answer.value_or(ReplaceAnswer::Cancel);
            }
            bool progress(int fileIndex, int fileCount, const QString &source, qint64, qint64) override
            {
                m_channel->fileIndex = fileIndex;
                m_channel->fileCount = fileCount;
                {
                    const QMutexLocker lock(&m_channel->mutex);
                    if (m_channel->source != source) {
                        m_channel->source = source;
                    }
                }
                return !m_channel->cancel;
            }

        private:
            std::shared_ptr<TransferChannel> m_channel;
            TransferJob *m_job;
        };
        m_worker.reset(QThread::create([kind = m_kind, sources = m_sources, destination = m_destination, channel,
                                        job = this, result = &m_workerResult, notFiled = &m_notFiled] {
            Observer observer(channel, job);
            *result = TransferFiles(kind, sources, destination, observer, notFiled);
        }));
        m_worker->setObjectName(QStringLiteral("file transfer"));
        connect(m_worker.get(), &QThread::finished, this, &TransferJob::workerFinished);
        m_worker->start();
    }

private:
    void closeChannel()
    {
        const QMutexLocker lock(&m_channel->mutex);
        m_channel->closed = true;
        m_channel->answered.wakeAll();
    }

    void answer(ReplaceAnswer answer)
    {
        const QMutexLocker lock(&m_channel->mutex);
        m_channel->answer = answer;
        m_channel->answered.wakeAll();
    }

    void tick()
    {
        const int count = m_channel->fileCount;
        if (m_flow.opensProgress(count, m_clock.elapsed())) {
            m_flow.progressOpened();
            const std::shared_ptr<TransferChannel> channel = m_channel;
            m_progress = std::make_unique<TransferProgressWindow>(m_kind, [channel] { channel->cancel = true; });
            m_progressDue = m_clock.elapsed() + TransferFlow::progressDelayMs(count);
        }
        if (!m_progress || !m_flow.showsProgress()) {
            return;
        }
        QString source;
        {
            const QMutexLocker lock(&m_channel->mutex);
            source = m_channel->source;
        }
        m_progress->showProgress(
            m_channel->fileIndex, count,
            QStringLiteral("%1\nto %2").arg(DisplayName(FileNameOf(source)), DisplayName(m_destination)));
        if (!m_progress->isVisible() && m_clock.elapsed() >= m_progressDue) {
            CentreOnScreen(*m_progress);
            m_progress->show();
        }
    }

    // The worker waits for this answer; the progress window steps aside meanwhile.
    void ask(const QString &source, const QString &target)
    {
        if (!m_flow.question()) {
            answer(ReplaceAnswer::Cancel);
            return;
        }
        const bool progressWasUp = m_progress && m_progress->isVisible();
        if (progressWasUp) {
            m_progress->hide();
        }
        // A modal box, the one loop of a transfer: nothing can re-enter the command from here,
        // since the input hold lets only this box through, and whatever arrives from outside (a
        // second start, a folder change, a timer's command) waits in the command queue.
        const ReplaceAnswer reply = m_channel->cancel ? ReplaceAnswer::Cancel : AskReplace(source, target);
        m_flow.answered();
        if (progressWasUp && m_flow.showsProgress()) {
            m_progress->show();
        }
        answer(reply);
    }

    void workerFinished()
    {
        m_worker->wait();
        m_ticker->stop();
        m_progress.reset();
        const HoldInput::Quits quits = m_hold->quits();
        m_hold.reset(); // before the report, which must take its answer
        const int result = m_workerResult;
        m_flow.workerDone(result);

        // Every failure is said, naming the files that were not filed and why (again at a second
        // try). A modal box: the command queue still holds what arrives from outside, and the
        // box blocks the other windows by itself.
        const TransferMessage report =
            TransferReport(m_kind, result, m_notFiled, static_cast<int>(m_sources.size()), m_destination);
        if (!report.text.isEmpty()) {
            MsgBox(report.text, report.partial ? vbExclamation : vbCritical);
        }
        if (result == TransferResult::DestinationMissing || result == TransferResult::AccessDenied) {
            State().FileOperationFailed = true;
        }
        m_flow.reported();
        // The questions and the report may have left the keyboard with another window (a window
        // manager gives it to the owner of the window a box belonged to): back to the one that
        // asked for the command.
        GiveKeyboardBack(m_asker.data());
        if (m_done && (!m_hadContext || m_context)) {
            m_done(result);
        }
        Commands().end();
        HoldInput::replay(quits);
        deleteLater();
    }

    TransferKind m_kind;
    QStringList m_sources;
    QString m_destination;
    QPointer<QObject> m_context;
    bool m_hadContext;
    QPointer<QWidget> m_asker;
    std::function<void(int)> m_done;
    QTimer *m_ticker;
    TransferFlow m_flow;
    std::shared_ptr<TransferChannel> m_channel = std::make_shared<TransferChannel>();
    std::unique_ptr<HoldInput> m_hold;
    std::unique_ptr<QThread> m_worker;
    std::atomic<int> m_workerResult{TransferResult::Failed};
    QList<NotFiled> m_notFiled; // written by the worker, read once it has finished
    std::unique_ptr<TransferProgressWindow> m_progress;
    qint64 m_progressDue = 0;
    QElapsedTimer m_clock;
};

void Transfer(TransferKind kind, const QString &sources, const QString &destination, QObject *context,
              std::function<void(int)> done)
{
    auto *job = new TransferJob(kind, SplitSourceList(sources), destination, context, std::move(done));
    job->start();
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

void MoveFiles(const QString &sources, const QString &destination, QObject *context, std::function<void(int)> done)
{
    Transfer(TransferKind::Move, sources, destination, context, std::move(done));
}

void CopyFiles(const QString &sources, const QString &destination, QObject *context, std::function<void(int)> done)
{
    Transfer(TransferKind::Copy, sources, destination, context, std::move(done));
}
