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

#if VANTREL_HELPER_RASTERS
#include "common/picture/RasterDecode.h"
#else
#include "common/picture/MetafileToSvg.h"
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxInput = 64u << 20;
// A camera's TIFF or a large HEIF is bigger than any metafile.
constexpr std::size_t kMaxRasterInput = 256u << 20;
constexpr rlim_t kCpuSecondsPerConversion = 5;

// CPU time is counted over the process's life: a serving helper allows each conversion its own
// seconds on top of what it has used so far.
void limitCpuFromNow()
{
    rusage used{};
    getrusage(RUSAGE_SELF, &used);
    const auto seconds = static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec + 1);
    const rlimit cpu{seconds + kCpuSecondsPerConversion, seconds + kCpuSecondsPerConversion + 1};
    setrlimit(RLIMIT_CPU, &cpu);
}

void limitSelf()
{
#if VANTREL_ADDRESS_LIMITS
    const rlimit memory{768u << 20, 768u << 20};
    setrlimit(RLIMIT_AS, &memory);
#endif
    limitCpuFromNow();
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
}

// Exactly `length` bytes, or false at the end of the input or an error.
bool readExactly(unsigned char *into, std::size_t length)
{
    while (length > 0) {
        const ssize_t n = ::read(STDIN_FILENO, into, length);
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

// A raster request's answer: the header words, then the pixels.
bool answerRaster(std::uint32_t kind, const std::vector<unsigned char> &data)
{
    namespace P = MetafileHelperProtocol;
    unsigned char header[P::kHeaderBytes];
    if (data.size() < P::kRasterRequestBytes) {
        return answerNotConvertible();
    }
    RasterRequest request;
    request.boxWidth = P::GetWord(data.data());
    request.boxHeight = P::GetWord(data.data() + 4);
    request.infoOnly = (P::GetWord(data.data() + 8) & P::kSizeOnly) != 0;
    RasterFailure failure = RasterFailure::None;
    const auto result = DecodeRaster(rasterKindOf(kind), data.data() + P::kRasterRequestBytes,
                                     data.size() - P::kRasterRequestBytes, request, {}, &failure);
    if (!result) {
        P::WriteHeader(header, {failure == RasterFailure::TooLarge ? P::kTooLarge : P::kNotConvertible, 0});
        return writeAll(reinterpret_cast<const char *>(header), sizeof header);
    }
    const std::size_t pixelBytes = result->pixels.size() * 4;
    unsigned char words[kRasterAnswerHeaderBytes];
    P::PutWord(words, result->naturalWidth);
    P::PutWord(words + 4, result->naturalHeight);
    P::PutWord(words + 8, result->width);
    P::PutWord(words + 12, result->height);
    P::PutWord(words + 16, result->hasAlpha ? P::kHasAlpha : 0);
    P::WriteHeader(header, {P::kConverted, sizeof words + pixelBytes});
    return writeAll(reinterpret_cast<const char *>(header), sizeof header) &&
           writeAll(reinterpret_cast<const char *>(words), sizeof words) &&
           writeAll(reinterpret_cast<const char *>(result->pixels.data()), pixelBytes);
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
        if (!readExactly(header, 1)) {
            return 0; // the viewer is done with this helper
        }
        if (!readExactly(header + 1, sizeof header - 1) || !P::ReadHeader(header, request)) {
            return 1;
        }
        const bool raster = P::IsRasterKind(request.word);
        if ((request.word != P::kWmf && request.word != P::kEmf && !raster) || request.length == 0 ||
            request.length > (raster ? kMaxRasterInput : kMaxInput)) {
            return 1;
        }
        data.resize(static_cast<std::size_t>(request.length));
        if (!readExactly(data.data(), data.size())) {
            return 1;
        }
        limitCpuFromNow();
#if VANTREL_HELPER_RASTERS
        if (raster) {
            const bool answered = answerRaster(request.word, data);
            // What a decode took stays with the process no longer than the next request.
            data = {};
            if (!answered) {
                return 1;
            }
            continue;
        }
        if (!answerNotConvertible()) {
            return 1;
        }
#else
        if (raster) {
            data = {};
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
