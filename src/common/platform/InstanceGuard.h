// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

// One running viewer per user and settings file. The first start listens on a local socket; a
// later start finds it, asks it to come forward and ends. A crashed first instance leaves a
// socket nobody answers on, which the next start removes and replaces.
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

signals:
    // Another start asked this instance to show its viewer maximised and in front.
    void activationRequested();
    // Another start was given a picture or folder to show; activationRequested follows.
    void openRequested(const QByteArray &path);

private:
    bool askFirstInstance(const QByteArray &path);
    void listen();

    QString m_socketPath;
    QString m_lockPath;
    std::unique_ptr<QLocalServer> m_server;
};
