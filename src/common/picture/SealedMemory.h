// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Memory files (memfd) that hand a picture's bytes between the viewer and its picture helper
// without copying them through a socket. The side that fills one seals it before passing it on:
// sealed, it can neither shrink (a mapping of it never faults) nor change, so the side that
// receives it may check its size once and trust the mapping from then on.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SealedMemory {

constexpr int kSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;

// A memory file of `bytes` bytes (zero), not yet sealed; -1 on failure.
inline int Create(std::size_t bytes)
{
    const int fd = ::memfd_create("vantrel-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) {
        return -1;
    }
    if (::ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Seals a filled memory file; no writable mapping of it may remain.
inline bool Seal(int fd)
{
    return ::fcntl(fd, F_ADD_SEALS, kSeals) == 0;
}

// Whether `fd` is a sealed memory file of exactly `bytes` bytes: the only kind of descriptor a
// side accepts from the other.
inline bool IsSealed(int fd, std::uint64_t bytes)
{
    struct stat st
    {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<std::uint64_t>(st.st_size) != bytes) {
        return false;
    }
    const int seals = ::fcntl(fd, F_GET_SEALS);
    constexpr int kNeeded = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;
    return seals >= 0 && (seals & kNeeded) == kNeeded;
}

// Sends bytes on a socket, with `fd` attached to the first of them when it is not -1. Never
// raises SIGPIPE.
inline ssize_t Send(int socket, const void *bytes, std::size_t length, int fd)
{
    iovec io{const_cast<void *>(bytes), length};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    if (fd >= 0) {
        std::memset(control, 0, sizeof control);
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr *c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &fd, sizeof(int));
    }
    for (;;) {
        const ssize_t n = ::sendmsg(socket, &message, MSG_NOSIGNAL);
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

// Receives bytes from a socket. A descriptor that comes with them is kept in `fd` when `fd` is
// -1; any other is closed at once and `unexpected` set.
inline ssize_t Receive(int socket, void *bytes, std::size_t length, int &fd, bool &unexpected)
{
    iovec io{bytes, length};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))];
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n = 0;
    for (;;) {
        n = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
        if (n >= 0 || errno != EINTR) {
            break;
        }
    }
    if (n < 0) {
        return n;
    }
    if ((message.msg_flags & MSG_CTRUNC) != 0) {
        unexpected = true; // descriptors beyond the room were closed by the system
    }
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) {
            continue;
        }
        const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int received = -1;
            std::memcpy(&received, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
            if (fd < 0) {
                fd = received;
            } else {
                ::close(received);
                unexpected = true;
            }
        }
    }
    return n;
}

} // namespace SealedMemory
