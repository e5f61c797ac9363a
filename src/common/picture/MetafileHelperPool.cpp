// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/MetafileHelperPool.h"

#include "common/FileNames.h"
#include "common/picture/MetafileHelperProtocol.h"
#include "common/picture/SealedMemory.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include <cerrno>
#include <csignal>
#include <mutex>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace P = MetafileHelperProtocol;

// The metafile converter library keeps part of what it allocates: a helper retires after this many
// conversions. The picture decoders free what they take, and a helper's start costs a thumbnail
// page a third of a second each time, so decodes are counted apart, against a far larger budget
// (a helper out of memory fails one decode, which a fresh helper then does again).
constexpr int kConversionsPerHelper = 32;
constexpr int kDecodesPerHelper = 1024;

struct Helper
{
    pid_t pid = -1;
    int toHelper = -1;
    int fromHelper = -1;
    int served = 0;  // metafile conversions
    int decoded = 0; // pictures decoded to pixels
    QByteArray path;
};

std::mutex g_mutex;
// Helpers kept ready: thumbnails are decoded on every core at once, and each decode needs a
// helper of its own.
std::vector<Helper> g_ready;

void retire(Helper &helper);

std::size_t readyWanted()
{
    return static_cast<std::size_t>(std::clamp(QThread::idealThreadCount(), 1, 8));
}

// The two helper programs (metafiles, pictures) each keep helpers ready; a program no longer
// asked for (the tests change them) has its helpers ended.
constexpr std::size_t kProgramsKept = 2;
std::vector<QByteArray> g_programs; // most recently asked first

void retireOthers(const QByteArray &path)
{
    g_programs.erase(std::remove(g_programs.begin(), g_programs.end(), path), g_programs.end());
    g_programs.insert(g_programs.begin(), path);
    if (g_programs.size() > kProgramsKept) {
        g_programs.resize(kProgramsKept);
    }
    for (auto it = g_ready.begin(); it != g_ready.end();) {
        if (std::find(g_programs.begin(), g_programs.end(), it->path) == g_programs.end()) {
            retire(*it);
            it = g_ready.erase(it);
        } else {
            ++it;
        }
    }
}

std::size_t readyFor(const QByteArray &path)
{
    return static_cast<std::size_t>(
        std::count_if(g_ready.begin(), g_ready.end(), [&path](const Helper &h) { return h.path == path; }));
}

void retire(Helper &helper)
{
    if (helper.toHelper >= 0) {
        ::close(helper.toHelper);
    }
    if (helper.fromHelper >= 0) {
        ::close(helper.fromHelper);
    }
    if (helper.pid > 0) {
        ::kill(helper.pid, SIGKILL);
        while (::waitpid(helper.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    helper = Helper();
}

std::optional<Helper> spawn(const QByteArray &path, const MetafileHelperLimits &limits)
{
    // One socket serves as the helper's input and output: a socket, unlike a pipe, carries the
    // memory files that hold a picture and its pixels.
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return std::nullopt;
    }
    const int ours = ends[0];
    const int theirs = ends[1];
    const int oursToo = ::fcntl(ours, F_DUPFD_CLOEXEC, 0);
    if (oursToo < 0) {
        ::close(ours);
        ::close(theirs);
        return std::nullopt;
    }
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    // Everything the child needs is made before the fork: after it, only calls that are safe in
    // a copy of a threaded process.
    QByteArray program = path;
    QByteArray serve(P::kServeArgument);
    char *argv[] = {program.data(), serve.data(), nullptr};
    [[maybe_unused]] const rlimit memory{static_cast<rlim_t>(limits.memoryBytes),
                                         static_cast<rlim_t>(limits.memoryBytes)};
    const rlimit noCore{0, 0};
    sigset_t none;
    sigemptyset(&none);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(theirs, STDIN_FILENO);
        ::dup2(theirs, STDOUT_FILENO);
        if (devNull >= 0) {
            ::dup2(devNull, STDERR_FILENO);
        }
        for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
            ::fcntl(fd, F_SETFD, 0);
        }
        // Nothing else of the viewer's (sockets, a caller's pipes) may live on in a helper.
        ::close_range(3, ~0u, 0);
#if VANTREL_ADDRESS_LIMITS
        ::setrlimit(RLIMIT_AS, &memory);
#endif
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::pthread_sigmask(SIG_SETMASK, &none, nullptr);
        ::execv(program.constData(), argv);
        ::_exit(127);
    }
    ::close(theirs);
    if (devNull >= 0) {
        ::close(devNull);
    }
    if (pid < 0) {
        ::close(ours);
        ::close(oursToo);
        return std::nullopt;
    }
    ::fcntl(ours, F_SETFL, O_NONBLOCK);
    Helper helper;
    helper.pid = pid;
    helper.toHelper = ours;
    helper.fromHelper = oursToo;
    helper.path = path;
    return helper;
}

// A helper that has died leaves SIGPIPE for whoever writes to it; this thread takes it as an
// error instead.
class NoBrokenPipeSignal
{
public:
    NoBrokenPipeSignal()
    {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_alreadyPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe, &m_old);
    }
    ~NoBrokenPipeSignal()
    {
        if (!m_alreadyPending) {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            const timespec now{0, 0};
            while (sigtimedwait(&pipe, nullptr, &now) > 0) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    NoBrokenPipeSignal(const NoBrokenPipeSignal &) = delete;
    NoBrokenPipeSignal &operator=(const NoBrokenPipeSignal &) = delete;

private:
    sigset_t m_old{};
    bool m_alreadyPending = false;
};

enum class Outcome { Converted, NotConvertible, TooLarge, Failed, TimedOut };

// One request and its answer, writing and reading at once (a broken helper may answer before it
// has read everything, or never read at all).
Outcome converse(Helper &helper, std::uint32_t word, const QByteArray &metafile, const MetafileHelperLimits &limits,
                 qint64 maxAnswer, QByteArray &svg)
{
    unsigned char header[P::kHeaderBytes];
    P::WriteHeader(header, {word, static_cast<std::uint64_t>(metafile.size())});
    const std::size_t total = sizeof header + static_cast<std::size_t>(metafile.size());
    std::size_t written = 0;
    QByteArray answer;
    std::optional<P::Header> answerHeader;
    const NoBrokenPipeSignal noSignal;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = limits.timeLimitMs - clock.elapsed();
        if (left <= 0) {
            return Outcome::TimedOut;
        }
        pollfd fds[2] = {{helper.fromHelper, POLLIN, 0}, {helper.toHelper, POLLOUT, 0}};
        const nfds_t count = written < total ? 2 : 1;
        const int ready = ::poll(fds, count, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) {
            return Outcome::Failed;
        }
        if (ready <= 0) {
            continue;
        }
        if (count == 2 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            const bool inHeader = written < sizeof header;
            const char *from = inHeader ? reinterpret_cast<const char *>(header) + written
                                        : metafile.constData() + (written - sizeof header);
            const std::size_t length = inHeader ? sizeof header - written : total - written;
            const ssize_t n = ::write(helper.toHelper, from, std::min<std::size_t>(length, 1 << 16));
            if (n > 0) {
                written += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return Outcome::Failed;
            }
        }
        if ((fds[0].revents & (POLLIN | POLLERR | POLLHUP)) == 0) {
            continue;
        }
        char buffer[1 << 16];
        const ssize_t n = ::read(helper.fromHelper, buffer, sizeof buffer);
        if (n == 0) {
            return Outcome::Failed; // gone before it answered in full
        }
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                continue;
            }
            return Outcome::Failed;
        }
        answer.append(buffer, n);
        if (!answerHeader && answer.size() >= static_cast<qsizetype>(P::kHeaderBytes)) {
            P::Header h;
            if (!P::ReadHeader(reinterpret_cast<const unsigned char *>(answer.constData()), h) ||
                (h.word != P::kConverted && h.word != P::kNotConvertible && h.word != P::kTooLarge) ||
                h.length > static_cast<std::uint64_t>(maxAnswer) || (h.word != P::kConverted && h.length != 0)) {
                return Outcome::Failed;
            }
            answerHeader = h;
            answer.reserve(static_cast<qsizetype>(P::kHeaderBytes + h.length));
        }
        if (answerHeader) {
            const auto expected = static_cast<qsizetype>(P::kHeaderBytes + answerHeader->length);
            if (answer.size() > expected) {
                return Outcome::Failed;
            }
            if (answer.size() == expected && written == total) {
                if (answerHeader->word == P::kNotConvertible) {
                    return Outcome::NotConvertible;
                }
                if (answerHeader->word == P::kTooLarge) {
                    return Outcome::TooLarge;
                }
                svg = answer.mid(static_cast<qsizetype>(P::kHeaderBytes));
                return svg.isEmpty() ? Outcome::Failed : Outcome::Converted;
            }
        }
    }
}

// Closes a descriptor when it goes out of scope, unless released.
struct OwnedFd
{
    int fd = -1;
    OwnedFd() = default;
    OwnedFd(const OwnedFd &) = delete;
    OwnedFd &operator=(const OwnedFd &) = delete;
    ~OwnedFd()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    int release() { return std::exchange(fd, -1); }
};

// Reads exactly `length` bytes from the helper before the deadline; a descriptor is accepted only
// where `fd` is given, and only one.
Outcome readFromHelper(Helper &helper, unsigned char *into, std::size_t length, const QElapsedTimer &clock,
                       const MetafileHelperLimits &limits, OwnedFd *fd)
{
    while (length > 0) {
        const qint64 left = limits.timeLimitMs - clock.elapsed();
        if (left <= 0) {
            return Outcome::TimedOut;
        }
        pollfd poller{helper.fromHelper, POLLIN, 0};
        const int ready = ::poll(&poller, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) {
            return Outcome::Failed;
        }
        if (ready <= 0) {
            continue;
        }
        int received = -1;
        bool unexpected = false;
        const ssize_t n = SealedMemory::Receive(helper.fromHelper, into, length, received, unexpected);
        if (received >= 0) {
            if (fd == nullptr || fd->fd >= 0) {
                ::close(received);
                return Outcome::Failed;
            }
            fd->fd = received;
        }
        if (unexpected || n == 0) {
            return Outcome::Failed;
        }
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                continue;
            }
            return Outcome::Failed;
        }
        into += n;
        length -= static_cast<std::size_t>(n);
    }
    return Outcome::Converted;
}

Outcome sendToHelper(Helper &helper, const unsigned char *bytes, std::size_t length, int fd)
{
    // Requests are a few dozen bytes to an idle helper: they fit its socket at once.
    const ssize_t n = SealedMemory::Send(helper.toHelper, bytes, length, fd);
    return n == static_cast<ssize_t>(length) ? Outcome::Converted : Outcome::Failed;
}

// One raster request: the file goes as a memory file, the pixels come back as one; with the
// box-later flag the box is settled in the middle, once the helper has read the natural size.
Outcome converseRaster(Helper &helper, const RasterCall &call, const MetafileHelperLimits &limits, RasterReply &reply)
{
    QElapsedTimer clock;
    clock.start();
    unsigned char request[P::kHeaderBytes + P::kRasterRequestBytes];
    P::WriteHeader(request, {call.kind, P::kRasterRequestBytes});
    P::PutWord(request + P::kHeaderBytes, call.boxWidth);
    P::PutWord(request + P::kHeaderBytes + 4, call.boxHeight);
    P::PutWord(request + P::kHeaderBytes + 8, call.flags);
    if (sendToHelper(helper, request, sizeof request, call.file) != Outcome::Converted) {
        return Outcome::Failed;
    }
    bool sized = false;
    for (;;) {
        unsigned char header[P::kHeaderBytes];
        OwnedFd pixels;
        Outcome step = readFromHelper(helper, header, sizeof header, clock, limits, &pixels);
        if (step != Outcome::Converted) {
            return step;
        }
        P::Header h;
        if (!P::ReadHeader(header, h)) {
            return Outcome::Failed;
        }
        if (h.word == P::kSized) {
            if (sized || (call.flags & P::kBoxLater) == 0 || h.length != P::kSizedBytes || pixels.fd >= 0) {
                return Outcome::Failed;
            }
            sized = true;
            unsigned char natural[P::kSizedBytes];
            step = readFromHelper(helper, natural, sizeof natural, clock, limits, nullptr);
            if (step != Outcome::Converted) {
                return step;
            }
            std::uint32_t boxW = 0;
            std::uint32_t boxH = 0;
            if (!call.boxFor || !call.boxFor(P::GetWord(natural), P::GetWord(natural + 4), boxW, boxH)) {
                return Outcome::Failed; // the helper waits for a box it will not get
            }
            unsigned char box[P::kBoxBytes];
            P::PutWord(box, boxW);
            P::PutWord(box + 4, boxH);
            if (sendToHelper(helper, box, sizeof box, -1) != Outcome::Converted) {
                return Outcome::Failed;
            }
            continue;
        }
        if (h.word == P::kNotConvertible || h.word == P::kTooLarge) {
            return h.length == 0 && pixels.fd < 0
                       ? (h.word == P::kTooLarge ? Outcome::TooLarge : Outcome::NotConvertible)
                       : Outcome::Failed;
        }
        if (h.word != P::kConverted || h.length != P::kRasterAnswerWords * 4) {
            return Outcome::Failed;
        }
        unsigned char words[P::kRasterAnswerWords * 4];
        step = readFromHelper(helper, words, sizeof words, clock, limits, &pixels);
        if (step != Outcome::Converted) {
            return step;
        }
        for (std::size_t i = 0; i < P::kRasterAnswerWords; ++i) {
            reply.words[i] = P::GetWord(words + 4 * i);
        }
        const std::uint64_t bytes = std::uint64_t(reply.words[2]) * reply.words[3] * 4;
        const bool sizeOnly = (call.flags & P::kSizeOnly) != 0;
        if (sizeOnly ? pixels.fd >= 0 || bytes != 0
                     : bytes == 0 || pixels.fd < 0 || !SealedMemory::IsSealed(pixels.fd, bytes)) {
            return Outcome::Failed;
        }
        reply.pixels = pixels.release();
        return Outcome::Converted;
    }
}

// The helper kept ready for `path`, or a new one; `fromPool` says which.
std::optional<Helper> take(const QByteArray &path, const MetafileHelperLimits &limits, bool &fromPool)
{
    {
        const std::lock_guard lock(g_mutex);
        retireOthers(path);
        const auto mine =
            std::find_if(g_ready.rbegin(), g_ready.rend(), [&path](const Helper &h) { return h.path == path; });
        if (mine != g_ready.rend()) {
            fromPool = true;
            Helper helper = *mine;
            g_ready.erase(std::next(mine).base());
            return helper;
        }
    }
    fromPool = false;
    return spawn(path, limits);
}

void keepReady(const QByteArray &path, const MetafileHelperLimits &limits, std::optional<Helper> used)
{
    const std::lock_guard lock(g_mutex);
    retireOthers(path);
    if (used && used->served < kConversionsPerHelper && used->decoded < kDecodesPerHelper &&
        readyFor(path) < readyWanted()) {
        g_ready.push_back(*used);
        return;
    }
    if (used) {
        retire(*used);
    }
    if (readyFor(path) == 0) {
        if (auto fresh = spawn(path, limits)) {
            g_ready.push_back(*fresh);
        }
    }
}

} // namespace

namespace {

// Runs `conversation` with a helper of `helperPath`, kept ready or new; a helper kept ready that
// has died meanwhile is replaced and the conversation tried once more.
enum class Work { Conversion, Decode };

Outcome ask(const QString &helperPath, const MetafileHelperLimits &limits, Work work,
            const std::function<Outcome(Helper &)> &conversation)
{
    const QByteArray path = EncodeName(helperPath);
    if (path.isEmpty()) {
        return Outcome::Failed;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool fromPool = false;
        auto helper = take(path, limits, fromPool);
        if (!helper) {
            return Outcome::Failed;
        }
        const Outcome outcome = conversation(*helper);
        if (outcome == Outcome::Converted || outcome == Outcome::NotConvertible || outcome == Outcome::TooLarge) {
            ++(work == Work::Conversion ? helper->served : helper->decoded);
            keepReady(path, limits, std::move(helper));
            return outcome;
        }
        retire(*helper);
        // A helper that waited in the pool may have died meanwhile (killed, or out of the memory
        // its earlier conversions left taken): a fresh one is asked once more. A fresh one that
        // fails, or any that runs out of time, means the file is what failed.
        if (outcome == Outcome::Failed && fromPool && attempt == 0) {
            continue;
        }
        keepReady(path, limits, std::nullopt);
        return outcome;
    }
    return Outcome::Failed;
}

} // namespace

std::optional<QByteArray> ConvertInMetafileHelper(const QString &helperPath, MetafileKind kind,
                                                  const QByteArray &metafile, const MetafileHelperLimits &limits)
{
    if (metafile.isEmpty()) {
        return std::nullopt;
    }
    QByteArray svg;
    const Outcome outcome = ask(helperPath, limits, Work::Conversion, [&](Helper &helper) {
        svg.clear();
        return converse(helper, kind == MetafileKind::Wmf ? P::kWmf : P::kEmf, metafile, limits, limits.maxSvgBytes,
                        svg);
    });
    if (outcome != Outcome::Converted) {
        return std::nullopt;
    }
    return svg;
}

std::optional<RasterReply> DecodeInHelper(const QString &helperPath, const RasterCall &call,
                                          const MetafileHelperLimits &limits, bool *tooLarge)
{
    if (tooLarge != nullptr) {
        *tooLarge = false;
    }
    if (!P::IsRasterKind(call.kind) || call.file < 0) {
        return std::nullopt;
    }
    RasterReply reply;
    const Outcome outcome = ask(helperPath, limits, Work::Decode, [&](Helper &helper) {
        if (reply.pixels >= 0) {
            ::close(reply.pixels);
        }
        reply = RasterReply();
        return converseRaster(helper, call, limits, reply);
    });
    if (outcome == Outcome::Converted) {
        return reply;
    }
    if (reply.pixels >= 0) {
        ::close(reply.pixels);
    }
    if (tooLarge != nullptr) {
        *tooLarge = outcome == Outcome::TooLarge;
    }
    return std::nullopt;
}

void PrepareMetafileHelper(const QString &helperPath, const MetafileHelperLimits &limits)
{
    const QByteArray path = EncodeName(helperPath);
    if (path.isEmpty()) {
        return;
    }
    const std::lock_guard lock(g_mutex);
    retireOthers(path);
    if (readyFor(path) == 0) {
        if (auto fresh = spawn(path, limits)) {
            g_ready.push_back(*fresh);
        }
    }
}

void StopMetafileHelpers()
{
    const std::lock_guard lock(g_mutex);
    for (Helper &helper : g_ready) {
        retire(helper);
    }
    g_ready.clear();
}
