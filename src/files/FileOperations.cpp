#include "files/FileOperations.h"

#include "common/FileNames.h"
#include "common/SharedState.h"
#include "common/platform/Dialogs.h"
#include "common/platform/Trash.h"
#include "files/FileTransfer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QProgressDialog>
#include <QStandardPaths>

#include <memory>

namespace {

// The files' names and sizes in the replace question, and a progress window once a list takes
// long enough to need one.
class InteractiveTransfer : public TransferObserver
{
public:
    explicit InteractiveTransfer(TransferKind kind, const QString &destination)
        : m_kind(kind)
        , m_destination(destination)
    {
        m_clock.start();
    }

    ReplaceAnswer askReplace(const QString &source, const QString &target) override
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

    bool progress(int fileIndex, int fileCount, const QString &source, qint64 bytesDone, qint64 bytes) override
    {
        // A window for lists of several files, or once one file takes a while.
        if (!m_dialog && (fileCount > 3 || m_clock.elapsed() > 500)) {
            m_dialog = std::make_unique<QProgressDialog>();
            m_dialog->setWindowTitle(m_kind == TransferKind::Move ? QStringLiteral("Moving...")
                                                                  : QStringLiteral("Copying..."));
            m_dialog->setMinimumDuration(400);
            // The windows keep painting while files move, but take no new command until it ends.
            m_dialog->setWindowModality(Qt::ApplicationModal);
            m_dialog->setRange(0, fileCount);
            m_dialog->setAutoClose(false);
            m_dialog->setAutoReset(false);
        }
        if (!m_dialog || (m_lastUpdate.isValid() && m_lastUpdate.elapsed() < 50 && bytesDone != 0)) {
            return true;
        }
        m_lastUpdate.start();
        m_dialog->setLabelText(
            QStringLiteral("%1\nto %2").arg(DisplayName(FileNameOf(source)), DisplayName(m_destination)));
        m_dialog->setValue(fileIndex);
        Q_UNUSED(bytes);
        QCoreApplication::processEvents();
        return !m_dialog->wasCanceled();
    }

private:
    TransferKind m_kind;
    QString m_destination;
    QElapsedTimer m_clock;
    QElapsedTimer m_lastUpdate;
    std::unique_ptr<QProgressDialog> m_dialog;
};

int Transfer(TransferKind kind, const QString &sources, const QString &destination)
{
    InteractiveTransfer observer(kind, destination);
    const int result = TransferFiles(kind, SplitSourceList(sources), destination, observer);
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

bool SendToRecycleBin(const QString &path)
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
        if (!MoveToTrash(file)) {
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
