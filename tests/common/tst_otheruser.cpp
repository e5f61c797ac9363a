// SPDX-License-Identifier: GPL-2.0-or-later
// What another local user can do to this user's programs: nothing. The hand-over socket and every
// lock live in a folder only the user can enter; a folder someone else made in its place is never
// used; a listener of another user at the socket's place hears nothing; and a lock on the settings
// folder, which others can often open, no longer holds up a write. The cases that act as a second
// user need root (they become uid 65534 in a child process) and are skipped otherwise.
#include "Isolation.h"

#include "common/SettingsStore.h"
#include "common/platform/FileLock.h"
#include "common/platform/InstanceGuard.h"
#include "common/platform/PrivateFolder.h"
#include "common/platform/SaverRunLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr uid_t kOther = 65534;

QByteArray Native(const QString &path)
{
    return QFile::encodeName(path);
}

// Runs body as the other user in a child process; the child's first byte on the pipe says it is
// ready, the rest is what body reports. Returns the child's pid (the caller ends it).
struct Child
{
    pid_t pid = -1;
    int fromChild = -1;
};

template<class Body> Child AsOtherUser(Body body)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        return {};
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeEnds[0]);
        body(pipeEnds[1]);
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    return {pid, pipeEnds[0]};
}

bool BecomeOther()
{
    return ::setgroups(0, nullptr) == 0 && ::setresgid(kOther, kOther, kOther) == 0 &&
           ::setresuid(kOther, kOther, kOther) == 0;
}

// What the child wrote within the wait (milliseconds), until it closes the pipe or `most` bytes came.
QByteArray ReadChild(int fd, int waitMs, qsizetype most = 1 << 20)
{
    QByteArray got;
    while (got.size() < most) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0) {
            break;
        }
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, std::min(sizeof(buffer), size_t(most - got.size())));
        if (n <= 0) {
            break;
        }
        got.append(buffer, n);
    }
    return got;
}

void EndChild(const Child &child)
{
    if (child.pid > 0) {
        ::kill(child.pid, SIGKILL);
        ::waitpid(child.pid, nullptr, 0);
    }
    if (child.fromChild >= 0) {
        ::close(child.fromChild);
    }
}
} // namespace

class OtherUserTest : public QObject
{
    Q_OBJECT

private slots:
    void privateFolderChoice()
    {
        IsolatedEnvironment env;
        const QByteArray base = Native(env.dir());
        const QByteArray open = base + "/open";
        const QByteArray ours = base + "/ours";
        const QByteArray link = base + "/link";
        const QByteArray made = base + "/made";
        const QByteArray madeOpen = base + "/made-open";
        QCOMPARE(::mkdir(open.constData(), 0755), 0);
        QCOMPARE(::chmod(open.constData(), 0755), 0);
        QCOMPARE(::mkdir(ours.constData(), 0700), 0);
        QCOMPARE(::symlink(ours.constData(), link.constData()), 0);
        QCOMPARE(::mkdir(madeOpen.constData(), 0777), 0);
        QCOMPARE(::chmod(madeOpen.constData(), 0777), 0);

        // A folder others can enter, or a link (whoever made it), is passed over.
        QCOMPARE(ChoosePrivateFolder({open, link, ours}, {}), QString::fromLocal8Bit(ours));
        QVERIFY(!IsPrivateFolder(open));
        QVERIFY(!IsPrivateFolder(link));
        // A folder to make is made for this user alone; an open one found in its place is not
        // opened up and not used.
        QCOMPARE(ChoosePrivateFolder({open}, {madeOpen, made}), QString::fromLocal8Bit(made));
        struct stat info
        {};
        QCOMPARE(::lstat(made.constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0700));
        QCOMPARE(::lstat(madeOpen.constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0777));
        QCOMPARE(ChoosePrivateFolder({open}, {madeOpen}), QString());

        // The hand-over socket and the locks live in the private folder.
        const QString file = env.settingsFile();
        InstanceGuard guard(file);
        QVERIFY(guard.socketPath().startsWith(env.dir() + QLatin1Char('/')));
        QVERIFY(StoreLockPath(file, QStringLiteral("settings-lock")).startsWith(env.dir() + QLatin1Char('/')));
        QVERIFY(SaverRunLock::runsFolder(file).startsWith(env.dir() + QLatin1Char('/')));

        // Without $XDG_RUNTIME_DIR (su, sudo -u, some ssh -X), never a bare name in /tmp: a folder
        // of the user's own there, made 0700.
        const QByteArray keep = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", base);
        const QString folder = PrivateRuntimeFolder();
        QVERIFY(!folder.isEmpty());
        QVERIFY(IsPrivateFolder(Native(folder)));
        QVERIFY(InstanceGuard(file).socketPath().startsWith(folder + QLatin1Char('/')));
        qputenv("XDG_RUNTIME_DIR", keep);
        qunsetenv("TMPDIR");
    }

    void squattedFolderIsPassedOver()
    {
        if (::geteuid() != 0) {
            QSKIP("acting as a second user needs root");
        }
        IsolatedEnvironment env;
        // Another user made the fallback folder first, open to all, or closed to us.
        const QByteArray squatted = Native(env.dir()) + "/vantrel-viewer-0";
        QCOMPARE(::mkdir(squatted.constData(), 0700), 0);
        QCOMPARE(::chown(squatted.constData(), kOther, kOther), 0);
        const QByteArray next = Native(env.dir()) + "/cache-runtime";
        QCOMPARE(ChoosePrivateFolder({}, {squatted, next}), QString::fromLocal8Bit(next));
    }

    void listenerOfAnotherUserHearsNothing()
    {
        if (::geteuid() != 0) {
            QSKIP("acting as a second user needs root");
        }
        IsolatedEnvironment env;
        InstanceGuard probe(env.settingsFile());
        const QByteArray path = Native(probe.socketPath());
        // The socket is made where ours belongs (root can; another user could where the folder is
        // shared) and listened on by the other user: what would have been a squatter.
        const Child child = AsOtherUser([&path](int report) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::memcpy(address.sun_path, path.constData(), size_t(path.size()) + 1);
            if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 || !BecomeOther() ||
                ::listen(fd, 4) != 0) {
                [[maybe_unused]] const ssize_t w = ::write(report, "E", 1);
                return;
            }
            [[maybe_unused]] const ssize_t w = ::write(report, "R", 1);
            for (;;) {
                const int client = ::accept(fd, nullptr, nullptr);
                char buffer[256];
                ssize_t n = 0;
                while (client >= 0 && (n = ::read(client, buffer, sizeof(buffer))) > 0) {
                    [[maybe_unused]] const ssize_t copied = ::write(report, buffer, size_t(n));
                }
                if (client >= 0) {
                    ::close(client);
                }
            }
        });
        QCOMPARE(ReadChild(child.fromChild, 10000, 1), QByteArray("R"));

        InstanceGuard guard(env.settingsFile());
        // Told nothing: this start is the first and shows its own window.
        QCOMPARE(guard.start(QByteArrayLiteral("/home/victim/Private/photo.jpg")), InstanceGuard::Role::First);
        guard.stop();
        const QByteArray heard = ReadChild(child.fromChild, 500);
        EndChild(child);
        QVERIFY2(heard.isEmpty(), heard.constData());
    }

    void otherUserCannotReachTheLocksNorBlockAWrite()
    {
        if (::geteuid() != 0) {
            QSKIP("acting as a second user needs root");
        }
        IsolatedEnvironment env;
        // A settings folder as many homes have it: others may enter and read it.
        const QString home = env.path(QStringLiteral("home-open"));
        const QString folder = home + QStringLiteral("/Vantrel Viewer");
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(::chmod(Native(env.dir()).constData(), 0711), 0);
        QCOMPARE(::chmod(Native(home).constData(), 0755), 0);
        QCOMPARE(::chmod(Native(folder).constData(), 0755), 0);
        const QString file = folder + QStringLiteral("/Vantrel Viewer.ini");
        qputenv("VANTREL_SETTINGS", Native(file));
        // The private folder stays closed to others.
        const QString runtime = env.path(QStringLiteral("run"));
        QVERIFY(QDir().mkpath(runtime));
        QCOMPARE(::chmod(Native(runtime).constData(), 0700), 0);
        qputenv("XDG_RUNTIME_DIR", Native(runtime));
        QVERIFY(SaveSetting(AppName, QStringLiteral("Settings"), QStringLiteral("Basename"), QStringLiteral("a")));

        const QByteArray folderPath = Native(folder);
        const QByteArray lockPath = Native(StoreLockPath(file, QStringLiteral("settings-lock")));
        const QByteArray socketPath = Native(InstanceGuard(file).socketPath());
        const Child child = AsOtherUser([&](int report) {
            if (!BecomeOther()) {
                [[maybe_unused]] const ssize_t w = ::write(report, "E", 1);
                return;
            }
            // The lock file and the socket are out of reach.
            const bool lockRefused = ::open(lockPath.constData(), O_RDWR | O_CREAT, 0666) < 0 && errno == EACCES;
            const bool socketRefused = ::access(socketPath.constData(), F_OK) != 0 && errno == EACCES;
            // What was within reach before: a lock on the settings folder itself, held for good.
            const int dir = ::open(folderPath.constData(), O_RDONLY | O_DIRECTORY);
            const bool holding = dir >= 0 && ::flock(dir, LOCK_EX) == 0;
            const char state[2] = {holding ? 'H' : 'h', lockRefused && socketRefused ? 'R' : 'r'};
            [[maybe_unused]] const ssize_t w = ::write(report, state, 2);
            for (;;) {
                ::pause();
            }
        });
        const QByteArray state = ReadChild(child.fromChild, 10000, 2);
        QCOMPARE(state, QByteArray("HR"));
        // The write goes ahead (a lock others could hold would keep it waiting for ever).
        const bool saved =
            SaveSetting(AppName, QStringLiteral("Settings"), QStringLiteral("Basename"), QStringLiteral("b"));
        EndChild(child);
        QVERIFY(saved);
        QCOMPARE(GetSetting(AppName, QStringLiteral("Settings"), QStringLiteral("Basename")), QStringLiteral("b"));
        // The lock is a file of the user's own, readable by nobody else.
        struct stat info
        {};
        QCOMPARE(::stat(lockPath.constData(), &info), 0);
        QCOMPARE(info.st_uid, ::geteuid());
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
        QCOMPARE(::chmod(Native(env.dir()).constData(), 0700), 0);
    }
};

QTEST_GUILESS_MAIN(OtherUserTest)
#include "tst_otheruser.moc"
