// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/InstanceGuard.h"

#include "common/platform/PrivateFolder.h"

#include <QFile>
#include <QLockFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// One request a line: "open " and a path in base64 (any bytes may be in a name), then "activate".
const QByteArray kActivate = QByteArrayLiteral("activate\n");
const QByteArray kOpen = QByteArrayLiteral("open ");
const QByteArray kDone = QByteArrayLiteral("ok\n");
constexpr int kAnswerMs = 800;

constexpr qsizetype kLongestRequest = 64 * 1024;

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

// The socket's address; false when the path does not fit one.
bool AddressOf(const QString &socketPath, sockaddr_un *address)
{
    const QByteArray path = QFile::encodeName(socketPath);
    *address = sockaddr_un{};
    address->sun_family = AF_UNIX;
    if (path.isEmpty() || static_cast<std::size_t>(path.size()) >= sizeof(address->sun_path)) {
        return false;
    }
    std::memcpy(address->sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    return true;
}

// Sends all of `data` within the socket's send time-out; false when the other end went or stalled.
bool SendAll(int fd, const QByteArray &data)
{
    qsizetype sent = 0;
    while (sent < data.size()) {
        const ssize_t n =
            ::send(fd, data.constData() + sent, static_cast<std::size_t>(data.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += n;
    }
    return true;
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

InstanceGuard::~InstanceGuard()
{
    stop();
}

bool InstanceGuard::FirstInstanceListening(const QString &key)
{
    sockaddr_un address{};
    if (!AddressOf(PrivateFileFor(key, QStringLiteral(".sock")), &address)) {
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return false;
    }
    // A local connect is answered at once: refused or missing when nobody listens.
    const bool listening =
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0 && SameUser(fd);
    ::close(fd);
    return listening;
}

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
    sockaddr_un address{};
    if (!AddressOf(m_socketPath, &address)) {
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    // A first instance too busy to take the connection (its queue full) is waited for as long as
    // for its answer; the send time-out bounds the connect of a local socket too.
    const timeval limit{0, kAnswerMs * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
    int connected = -1;
    do {
        connected = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address));
    } while (connected != 0 && errno == EINTR);
    if (connected != 0) {
        // Refused or missing: nobody runs (a crash may have left the socket file behind).
        ::close(fd);
        return false;
    }
    if (!SameUser(fd)) {
        // Not ours, whatever put it there: told nothing, and this start runs on its own.
        ::close(fd);
        return false;
    }
    QByteArray request;
    if (!path.isEmpty()) {
        request = kOpen + path.toBase64() + '\n';
    }
    request += kActivate;
    if (SendAll(fd, request)) {
        // A first instance that is alive but too busy to answer still owns the socket: this start
        // ends.
        pollfd answer{fd, POLLIN, 0};
        while (::poll(&answer, 1, kAnswerMs) < 0 && errno == EINTR) {
        }
    }
    ::close(fd);
    return true;
}

void InstanceGuard::listen()
{
    sockaddr_un address{};
    const int fd =
        AddressOf(m_socketPath, &address) ? ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0) : -1;
    // What a crashed instance left is replaced.
    ::unlink(address.sun_path);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0 ||
        ::chmod(address.sun_path, S_IRUSR | S_IWUSR) != 0 || ::listen(fd, 16) != 0) {
        // Without the socket the program still runs; only later starts cannot find it.
        qWarning("Vantrel Viewer: cannot listen on %s: %s", qPrintable(m_socketPath), std::strerror(errno));
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    m_listening = fd;
    m_listenNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_listenNotifier, &QSocketNotifier::activated, this, &InstanceGuard::acceptStarts);
}

void InstanceGuard::acceptStarts()
{
    for (;;) {
        const int fd = ::accept4(m_listening, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return; // none left (or none to be had now: the next one wakes the notifier again)
        }
        // Only this user's own starts may steer the viewer.
        if (!SameUser(fd)) {
            ::close(fd);
            continue;
        }
        auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        m_clients[fd] = Client{fd, notifier, {}};
        connect(notifier, &QSocketNotifier::activated, this, [this, fd] { readRequests(fd); });
    }
}

void InstanceGuard::readRequests(int fd)
{
    const auto found = m_clients.find(fd);
    if (found == m_clients.end()) {
        return;
    }
    Client &client = found->second;
    bool ended = false;
    char buffer[4096];
    while (client.pending.size() <= kLongestRequest) {
        const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
        if (n > 0) {
            client.pending.append(buffer, n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            ended = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            break;
        }
    }
    // Whole lines only: a request may arrive in pieces.
    QList<QByteArray> lines;
    qsizetype end = 0;
    while ((end = client.pending.indexOf('\n')) >= 0) {
        lines.append(client.pending.left(end));
        client.pending.remove(0, end + 1);
    }
    // Nobody sends a request line this long; a client that does is dropped.
    ended = ended || client.pending.size() > kLongestRequest;
    for (const QByteArray &line : std::as_const(lines)) {
        if (line == kActivate.trimmed()) {
            // The answer may find the start gone already; it asked, and that is all it needed.
            (void)::send(fd, kDone.constData(), static_cast<std::size_t>(kDone.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
    }
    if (ended) {
        dropClient(fd);
    }
    // Told last: what the requests start may run the event loop, and this start's socket with it.
    for (const QByteArray &line : std::as_const(lines)) {
        if (line.startsWith(kOpen)) {
            const auto decoded =
                QByteArray::fromBase64Encoding(line.mid(kOpen.size()), QByteArray::AbortOnBase64DecodingErrors);
            if (decoded && !decoded.decoded.isEmpty()) {
                emit openRequested(decoded.decoded);
            }
        } else if (line == kActivate.trimmed()) {
            emit activationRequested();
        }
    }
}

void InstanceGuard::dropClient(int fd)
{
    const auto found = m_clients.find(fd);
    if (found == m_clients.end()) {
        return;
    }
    // Possibly inside its own notifier's signal: disabled now, deleted once that has returned.
    found->second.notifier->setEnabled(false);
    found->second.notifier->deleteLater();
    ::close(fd);
    m_clients.erase(found);
}

void InstanceGuard::stop()
{
    while (!m_clients.empty()) {
        dropClient(m_clients.begin()->first);
    }
    if (m_listening >= 0) {
        m_listenNotifier->setEnabled(false);
        m_listenNotifier->deleteLater();
        m_listenNotifier = nullptr;
        ::close(m_listening);
        m_listening = -1;
        // Gone with the listener, so a later start does not knock on a closed door first.
        ::unlink(QFile::encodeName(m_socketPath).constData());
    }
}
