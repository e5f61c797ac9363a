// SPDX-License-Identifier: GPL-2.0-or-later
// vantrel-metafile-helper turns Windows metafiles into SVG; vantrel-picture-helper decodes HEIF/AVIF,
// JPEG XL and TIFF pictures to pixels. Both are built from this file, each in a process of its own.
// They are two programs because the metafile converter's licence (GPL version 2 only) cannot be
// combined in one program with the HEIF library's (LGPL version 3).
//
//   vantrel-metafile-helper wmf|emf  < metafile  > svg
//   vantrel-metafile-helper --serve  (requests and answers as MetafileHelperProtocol.h says)
//   vantrel-picture-helper --serve   (the same requests; the raster kinds only)
//
// The conversion parses hostile input, partly in a C library; here a crash, a runaway allocation or an
// endless loop costs only this process. The viewer starts it with a memory limit and kills it
// after a few seconds; it also limits itself, in case it is started some other way.
// The viewer keeps a serving helper ready, so a metafile costs no process start; each conversion
// still gets its own CPU allowance.
// Exit codes: 0 SVG written (serving: input ended), 1 not a metafile it can convert (serving: a
// broken request), 2 usage.

#include "common/picture/MetafileFormat.h"
#include "common/picture/MetafileHelperProtocol.h"
#include "common/picture/SealedMemory.h"

#if VANTREL_HELPER_RASTERS
#include "common/picture/RasterDecode.h"
#else
#include "common/picture/MetafileToSvg.h"
#endif

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxInput = 64u << 20;
constexpr rlim_t kCpuSecondsPerConversion = 5;

// CPU time is counted over the process's life: a serving helper allows each conversion its own
// seconds on top of what it has used so far.
void limitCpuFromNow()
{
    rusage used{};
    getrusage(RUSAGE_SELF, &used);
    const auto seconds = static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec + 1);
    // Only the soft limit moves (its signal ends the helper). A hard limit once lowered can never
    // be raised again by an ordinary user: the helper would be killed after its first few seconds
    // of work, however many requests they were spread over, and its next request would fail.
    rlimit cpu{};
    getrlimit(RLIMIT_CPU, &cpu);
    cpu.rlim_cur = std::min(seconds + kCpuSecondsPerConversion, cpu.rlim_max);
    setrlimit(RLIMIT_CPU, &cpu);
}

void limitSelf()
{
#if VANTREL_ADDRESS_LIMITS
    const rlimit memory{768u << 20, 768u << 20};
    setrlimit(RLIMIT_AS, &memory);
#endif
    // The soft CPU limit ends the helper by its signal, which an ignoring parent would have passed
    // on through the exec.
    std::signal(SIGXCPU, SIG_DFL);
    limitCpuFromNow();
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
}

// A descriptor that came with the request being read (serving: the input is a socket).
int g_attached = -1;

void dropAttached()
{
    if (g_attached >= 0) {
        ::close(g_attached);
        g_attached = -1;
    }
}

// Exactly `length` bytes, or false at the end of the input or an error.
bool readExactly(unsigned char *into, std::size_t length)
{
    struct stat st
    {};
    const bool socket = ::fstat(STDIN_FILENO, &st) == 0 && S_ISSOCK(st.st_mode);
    while (length > 0) {
        bool unexpected = false;
        const ssize_t n = socket ? SealedMemory::Receive(STDIN_FILENO, into, length, g_attached, unexpected)
                                 : ::read(STDIN_FILENO, into, length);
        if (unexpected) {
            return false;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        into += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

#if !VANTREL_HELPER_RASTERS
bool readInput(std::vector<unsigned char> &data)
{
    unsigned char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0) {
            return true;
        }
        if (n < 0) {
            return false;
        }
        if (data.size() + static_cast<std::size_t>(n) > kMaxInput) {
            return false;
        }
        data.insert(data.end(), buffer, buffer + n);
    }
}
#endif

bool writeAll(const char *bytes, std::size_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

// A request this program cannot answer: of a kind the other helper program serves, or cut short.
bool answerNotConvertible()
{
    namespace P = MetafileHelperProtocol;
    unsigned char header[P::kHeaderBytes];
    P::WriteHeader(header, {P::kNotConvertible, 0});
    return writeAll(reinterpret_cast<const char *>(header), sizeof header);
}

#if VANTREL_HELPER_RASTERS
RasterKind rasterKindOf(std::uint32_t word)
{
    namespace P = MetafileHelperProtocol;
    return word == P::kHeif ? RasterKind::Heif : word == P::kJpegXl ? RasterKind::JpegXl : RasterKind::Tiff;
}

// A memory file the pixels are decoded into, sealed once they are written.
struct PixelFile
{
    int fd = -1;
    void *map = nullptr;
    std::size_t bytes = 0;
    ~PixelFile()
    {
        unmap();
        if (fd >= 0) {
            ::close(fd);
        }
    }
    void unmap()
    {
        if (map != nullptr) {
            ::munmap(map, bytes);
            map = nullptr;
        }
    }
    std::uint32_t *allocate(std::size_t count)
    {
        if (fd >= 0 || count == 0 || count > (std::size_t(1) << 32)) {
            return nullptr;
        }
        bytes = count * 4;
        fd = SealedMemory::Create(bytes);
        if (fd < 0) {
            return nullptr;
        }
        map = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (map == MAP_FAILED) {
            map = nullptr;
            return nullptr;
        }
        return static_cast<std::uint32_t *>(map);
    }
};

// The picture file a request came with, mapped; nothing when it has none or it is too large.
struct InputFile
{
    const unsigned char *data = nullptr;
    std::size_t size = 0;
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;
    explicit InputFile(int fd)
    {
        struct stat st
        {};
        if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
            static_cast<std::uint64_t>(st.st_size) > MetafileHelperProtocol::kMaxRasterFile) {
            return;
        }
        // Populated at once: read page by page, a large file costs a fault per page.
        void *map = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (map != MAP_FAILED) {
            data = static_cast<const unsigned char *>(map);
            size = static_cast<std::size_t>(st.st_size);
        }
    }
    ~InputFile()
    {
        if (data != nullptr) {
            ::munmap(const_cast<unsigned char *>(data), size);
        }
    }
};

bool sendAnswer(const unsigned char *bytes, std::size_t length, int fd)
{
    return SealedMemory::Send(STDOUT_FILENO, bytes, length, fd) == static_cast<ssize_t>(length);
}

// A raster request: the box words, the file attached; the answer's pixels go back attached too.
bool answerRaster(std::uint32_t kind, const unsigned char *words)
{
    namespace P = MetafileHelperProtocol;
    const int attached = std::exchange(g_attached, -1);
    const InputFile input(attached);
    if (attached >= 0) {
        ::close(attached); // the mapping keeps what it needs
    }
    unsigned char header[P::kHeaderBytes];
    const std::uint32_t flags = P::GetWord(words + 8);
    bool sizeAsked = false;
    bool boxFailed = false;
    RasterRequest request;
    request.boxWidth = P::GetWord(words);
    request.boxHeight = P::GetWord(words + 4);
    request.infoOnly = (flags & P::kSizeOnly) != 0;
    if ((flags & P::kBoxLater) != 0 && !request.infoOnly) {
        request.boxFor = [&](std::uint32_t naturalW, std::uint32_t naturalH, std::uint32_t &boxW, std::uint32_t &boxH) {
            sizeAsked = true;
            unsigned char sized[P::kHeaderBytes + P::kSizedBytes];
            P::WriteHeader(sized, {P::kSized, P::kSizedBytes});
            P::PutWord(sized + P::kHeaderBytes, naturalW);
            P::PutWord(sized + P::kHeaderBytes + 4, naturalH);
            unsigned char box[P::kBoxBytes];
            if (!sendAnswer(sized, sizeof sized, -1) || !readExactly(box, sizeof box) || g_attached >= 0) {
                boxFailed = true;
                return false;
            }
            boxW = P::GetWord(box);
            boxH = P::GetWord(box + 4);
            return true;
        };
    }
    PixelFile pixels;
    request.allocate = [&pixels](std::size_t count) { return pixels.allocate(count); };
    RasterFailure failure = RasterFailure::None;
    const auto result = input.data == nullptr
                            ? std::nullopt
                            : DecodeRaster(rasterKindOf(kind), input.data, input.size, request, {}, &failure);
    if (boxFailed) {
        return false; // the viewer gave up on this request: the conversation is out of step
    }
    (void)sizeAsked;
    pixels.unmap();
    const std::size_t pixelCount = result ? static_cast<std::size_t>(result->width) * result->height : 0;
    if (!result ||
        (pixelCount != 0 && (pixels.fd < 0 || pixels.bytes != pixelCount * 4 || !SealedMemory::Seal(pixels.fd)))) {
        P::WriteHeader(header, {failure == RasterFailure::TooLarge ? P::kTooLarge : P::kNotConvertible, 0});
        return sendAnswer(header, sizeof header, -1);
    }
    unsigned char answer[P::kHeaderBytes + kRasterAnswerHeaderBytes];
    P::WriteHeader(answer, {P::kConverted, kRasterAnswerHeaderBytes});
    unsigned char *w = answer + P::kHeaderBytes;
    P::PutWord(w, result->naturalWidth);
    P::PutWord(w + 4, result->naturalHeight);
    P::PutWord(w + 8, result->width);
    P::PutWord(w + 12, result->height);
    P::PutWord(w + 16, result->hasAlpha ? P::kHasAlpha : 0);
    return sendAnswer(answer, sizeof answer, pixelCount != 0 ? pixels.fd : -1);
}
#endif

// Converts request after request until the input ends; a request it cannot read ends it.
int serve()
{
    namespace P = MetafileHelperProtocol;
    std::vector<unsigned char> data;
    for (;;) {
        unsigned char header[P::kHeaderBytes];
        P::Header request;
        dropAttached();
        if (!readExactly(header, 1)) {
            return 0; // the viewer is done with this helper
        }
        if (!readExactly(header + 1, sizeof header - 1) || !P::ReadHeader(header, request)) {
            return 1;
        }
        const bool raster = P::IsRasterKind(request.word);
        if ((request.word != P::kWmf && request.word != P::kEmf && !raster) || request.length == 0 ||
            (raster ? request.length != P::kRasterRequestBytes : request.length > kMaxInput)) {
            return 1;
        }
        data.resize(static_cast<std::size_t>(request.length));
        if (!readExactly(data.data(), data.size())) {
            return 1;
        }
        limitCpuFromNow();
#if VANTREL_HELPER_RASTERS
        if (raster) {
            if (!answerRaster(request.word, data.data())) {
                return 1;
            }
            continue;
        }
        dropAttached();
        if (!answerNotConvertible()) {
            return 1;
        }
#else
        dropAttached();
        if (raster) {
            if (!answerNotConvertible()) {
                return 1;
            }
            continue;
        }
        const auto svg =
            MetafileToSvg(request.word == P::kWmf ? MetafileKind::Wmf : MetafileKind::Emf, data.data(), data.size());
        P::WriteHeader(header, {svg ? P::kConverted : P::kNotConvertible, svg ? svg->size() : 0});
        if (!writeAll(reinterpret_cast<const char *>(header), sizeof header) ||
            (svg && !writeAll(svg->data(), svg->size()))) {
            return 1;
        }
#endif
    }
}

} // namespace

int main(int argc, char **argv)
{
    limitSelf();
#if VANTREL_HELPER_RASTERS
    // A thumbnail page decodes picture after picture of the same size, each needing tens of
    // megabytes for a moment: kept in the heap between them instead of mapped afresh, that memory
    // costs no page faults after the first picture. What is free above 128 MB goes back.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
    if (argc == 2 && std::string_view(argv[1]) == MetafileHelperProtocol::kServeArgument) {
        return serve();
    }
#if VANTREL_HELPER_RASTERS
    std::fputs("usage: vantrel-picture-helper --serve\n", stderr);
    return 2;
#else
    if (argc != 2) {
        std::fputs("usage: vantrel-metafile-helper wmf|emf < metafile > svg\n", stderr);
        return 2;
    }
    std::vector<unsigned char> data;
    if (!readInput(data) || data.empty()) {
        return 1;
    }
    const std::string_view kind = argv[1];
    if (kind != "wmf" && kind != "emf") {
        return 2;
    }
    const auto svg = MetafileToSvg(kind == "wmf" ? MetafileKind::Wmf : MetafileKind::Emf, data.data(), data.size());
    return svg && writeAll(svg->data(), svg->size()) ? 0 : 1;
#endif
}
