#include "common/platform/InstanceGuard.h"

#include "common/platform/AppPaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <unistd.h>

namespace {
// One request a line: "open " and a path in base64 (any bytes may be in a name), then "activate".
const QByteArray kActivate = QByteArrayLiteral("activate\n");
const QByteArray kOpen = QByteArrayLiteral("open ");
const QByteArray kDone = QByteArrayLiteral("ok\n");
constexpr int kAnswerMs = 800;
} // namespace

InstanceGuard::InstanceGuard(const QString &key, QObject *parent)
    : QObject(parent)
{
    const QByteArray id = QCryptographicHash::hash(QDir::cleanPath(key).toUtf8(), QCryptographicHash::Sha256).toHex();
    const QString base = JoinPath(
        RuntimeFolder(), QStringLiteral("vantrel-viewer-%1-%2").arg(::getuid()).arg(QString::fromLatin1(id.left(16))));
    m_socketPath = base + QLatin1String(".sock");
    m_lockPath = base + QLatin1String(".lock");
}

InstanceGuard::~InstanceGuard() = default;

InstanceGuard::Role InstanceGuard::start(const QByteArray &path)
{
    // The lock only spans the decision, so two simultaneous starts cannot both become first.
    // QLockFile takes over a lock whose owner process is gone.
    QLockFile lock(m_lockPath);
    lock.setStaleLockTime(0);
    const bool locked = lock.tryLock(3000);
    if (askFirstInstance(path)) {
        return Role::Second;
    }
    listen();
    if (locked) {
        lock.unlock();
    }
    return Role::First;
}

bool InstanceGuard::askFirstInstance(const QByteArray &path)
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(kAnswerMs)) {
        // Refused or missing: nobody runs (a crash may have left the socket file behind).
        return false;
    }
    if (!path.isEmpty()) {
        socket.write(kOpen + path.toBase64() + '\n');
    }
    socket.write(kActivate);
    socket.waitForBytesWritten(kAnswerMs);
    // A first instance that is alive but too busy to answer still owns the socket: this start ends.
    socket.waitForReadyRead(kAnswerMs);
    socket.disconnectFromServer();
    return true;
}

void InstanceGuard::listen()
{
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(m_socketPath);
    if (!m_server->listen(m_socketPath)) {
        // Without the socket the program still runs; only later starts cannot find it.
        qWarning("Vantrel Viewer: cannot listen on %s: %s", qPrintable(m_socketPath),
                 qPrintable(m_server->errorString()));
        return;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                // Whole lines only: a request may arrive in pieces.
                QByteArray pending = client->property("pending").toByteArray() + client->readAll();
                qsizetype end = 0;
                while ((end = pending.indexOf('\n')) >= 0) {
                    const QByteArray line = pending.left(end);
                    pending.remove(0, end + 1);
                    if (line.startsWith(kOpen)) {
                        const auto decoded = QByteArray::fromBase64Encoding(line.mid(kOpen.size()),
                                                                            QByteArray::AbortOnBase64DecodingErrors);
                        if (decoded && !decoded.decoded.isEmpty()) {
                            emit openRequested(decoded.decoded);
                        }
                    } else if (line == kActivate.trimmed()) {
                        client->write(kDone);
                        client->flush();
                        emit activationRequested();
                    }
                }
                // Nobody sends a request line this long; a client that does is dropped.
                if (pending.size() > 64 * 1024) {
                    client->abort();
                    return;
                }
                client->setProperty("pending", pending);
            });
        }
    });
}

void InstanceGuard::stop()
{
    if (m_server) {
        m_server->close();
        m_server.reset();
    }
}
