// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <map>
#include <memory>

class QSocketNotifier;

// One running viewer per user and settings file. The first start listens on a local (AF_UNIX)
// socket in the user's private folder, served by the event loop; a later start finds it, asks it
// to come forward and ends. A crashed first instance leaves a socket nobody answers on, which the
// next start removes and replaces.
class InstanceGuard : public QObject
{
    Q_OBJECT
public:
    enum class Role { First, Second };

    // key: what makes two starts the same program for the same user (the settings file path).
    explicit InstanceGuard(const QString &key, QObject *parent = nullptr);
    ~InstanceGuard() override;

    // Decides the role. As First it listens from now on; as Second it has already asked the
    // first instance to show itself, with `path` (a picture or folder, as bytes) when not empty.
    Role start(const QByteArray &path = {});
    // Stops listening (the program is ending).
    void stop();

    [[nodiscard]] QString socketPath() const { return m_socketPath; }

    // Whether a first instance of this user listens for `key` now: a look before the toolkit
    // starts, which neither asks nor tells it anything (start() still decides the role).
    [[nodiscard]] static bool FirstInstanceListening(const QString &key);

signals:
    // Another start asked this instance to show its viewer maximised and in front.
    void activationRequested();
    // Another start was given a picture or folder to show; activationRequested follows.
    void openRequested(const QByteArray &path);

private:
    // One start of this user talking to this instance.
    struct Client
    {
        int fd = -1;
        QSocketNotifier *notifier = nullptr;
        QByteArray pending; // a request line not yet whole
    };

    bool askFirstInstance(const QByteArray &path);
    void listen();
    void acceptStarts();
    void readRequests(int fd);
    void dropClient(int fd);

    QString m_socketPath;
    QString m_lockPath;
    int m_listening = -1;
    QSocketNotifier *m_listenNotifier = nullptr;
    std::map<int, Client> m_clients;
};
