// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/InstanceGuard.h"

#include "common/platform/PrivateFolder.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QVariant>

#include <sys/socket.h>
#include <unistd.h>

namespace {
// One request a line: "open " and a path in base64 (any bytes may be in a name), then "activate".
const QByteArray kActivate = QByteArrayLiteral("activate\n");
const QByteArray kOpen = QByteArrayLiteral("open ");
const QByteArray kDone = QByteArrayLiteral("ok\n");
constexpr int kAnswerMs = 800;

// The user id of the process at the other end of a local socket; -1 when it cannot be told.
long long PeerUid(qintptr descriptor)
{
    struct ucred credentials
    {};
    socklen_t size = sizeof(credentials);
    if (descriptor < 0 ||
        ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
        return -1;
    }
    return credentials.uid;
}

bool SameUser(qintptr descriptor)
{
    return PeerUid(descriptor) == static_cast<long long>(::geteuid());
}
} // namespace

InstanceGuard::InstanceGuard(const QString &key, QObject *parent)
    : QObject(parent)
{
    // Only in the user's private folder: a socket anyone could make in its place would hear every
    // path this user opens and could keep every start from showing a window.
    m_socketPath = PrivateFileFor(key, QStringLiteral(".sock"));
    m_lockPath = PrivateFileFor(key, QStringLiteral(".lock"));
}

InstanceGuard::~InstanceGuard() = default;

InstanceGuard::Role InstanceGuard::start(const QByteArray &path)
{
    if (m_socketPath.isEmpty()) {
        // No private folder: this start runs on its own rather than through a place others reach.
        qWarning("Vantrel Viewer: no private runtime folder; starts are not handed to a running viewer");
        return Role::First;
    }
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
    if (!SameUser(socket.socketDescriptor())) {
        // Not ours, whatever put it there: told nothing, and this start runs on its own.
        socket.abort();
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
            // Only this user's own starts may steer the viewer.
            if (!SameUser(client->socketDescriptor())) {
                client->abort();
                client->deleteLater();
                continue;
            }
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
