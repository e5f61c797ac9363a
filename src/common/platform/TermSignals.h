// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the event loop, so a run that is told to
// stop (as screen-saver daemons stop their programs) ends by its own clean road. The handler only
// writes the signal number into a pipe; everything else happens on the user-interface thread.
class TermSignals : public QObject
{
    Q_OBJECT
public:
    explicit TermSignals(QObject *parent = nullptr);
    ~TermSignals() override;

    // Installs the handlers; false when the pipe could not be made (the signals then keep their
    // default action). Until destroyed, the three signals come here.
    bool install();

signals:
    void terminationRequested(int signalNumber);

private:
    void readPipe();

    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_installed = false;
};
