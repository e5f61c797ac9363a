// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/TermSignals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

// Written by the handler, read by the event loop; one instance at a time.
volatile std::sig_atomic_t g_writeEnd = -1;
std::array<struct sigaction, kSignals.size()> g_previous{};

extern "C" void onTermSignal(int number)
{
    const int savedErrno = errno;
    const int fd = g_writeEnd;
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(number);
        // Nothing to do if the pipe is full: a stop is already on its way.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

TermSignals::TermSignals(QObject *parent)
    : QObject(parent)
{}

TermSignals::~TermSignals()
{
    if (m_installed) {
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            ::sigaction(kSignals[i], &g_previous[i], nullptr);
        }
        g_writeEnd = -1;
    }
    m_notifier.reset();
    for (int &fd : m_pipe) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

bool TermSignals::install()
{
    if (m_installed) {
        return true;
    }
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &TermSignals::readPipe);
    g_writeEnd = m_pipe[1];
    struct sigaction action
    {};
    action.sa_handler = onTermSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        ::sigaction(kSignals[i], &action, &g_previous[i]);
    }
    m_installed = true;
    return true;
}

void TermSignals::readPipe()
{
    unsigned char byte = 0;
    int last = 0;
    while (::read(m_pipe[0], &byte, 1) == 1) {
        last = byte;
    }
    if (last != 0) {
        emit terminationRequested(last);
    }
}
