// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/PngDecode.h"

#include <libdeflate.h>
#include <png.h>
#include <sys/mman.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct Source;

// Everything that outlives a libpng error lives here, outside the frame that catches it: libpng
// reports errors by longjmp, which runs no destructors.
struct Decoder
{
    const PngRequest *request = nullptr;
    // The bytes the direct way read before it gave up, for libpng to read first.
    Source *source = nullptr;
    RasterLimits limits;
    RasterFailure failure = RasterFailure::Damaged;
    png_structp png = nullptr;
    png_infop info = nullptr;
    RasterResult result;
    std::uint32_t *out = nullptr;
    std::vector<std::uint32_t> row;
    // An interlaced picture, whole: its passes fill every row again.
    std::vector<std::uint32_t> whole;
    std::optional<RowReducer> reducer;

    Decoder() = default;
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;
    ~Decoder() { png_destroy_read_struct(&png, &info, nullptr); }
};

// ---- the direct way -------------------------------------------------------------------------

// The inflated rows of the largest picture read the direct way (a 24-megapixel RGB is 72 MB);
// a larger one is read row by row through libpng, never held whole.
constexpr std::uint64_t kMaxInflated = 100'000'000;
// libpng's own bound on any chunk but IDAT (PNG_USER_CHUNK_MALLOC_MAX): a larger one it refuses.
constexpr std::uint32_t kMaxOtherChunk = 8'000'000;
// All the chunks but IDAT together, held in case libpng must read the file after all.
constexpr std::size_t kMaxOtherBytes = 64u << 20;

std::uint32_t be32(const unsigned char *p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

constexpr std::uint32_t chunkType(const char (&name)[5])
{
    return (std::uint32_t(std::uint8_t(name[0])) << 24) | (std::uint32_t(std::uint8_t(name[1])) << 16) |
           (std::uint32_t(std::uint8_t(name[2])) << 8) | std::uint8_t(name[3]);
}

// A byte buffer grown without zeroing what is about to be read over. A large one is mapped
// apart and asks for huge pages: a 36 MB picture's rows otherwise fault in 9000 small pages, as
// long as inflating them; it grows by remapping, its pages never copied.
class Bytes
{
public:
    Bytes() = default;
    Bytes(const Bytes &) = delete;
    Bytes &operator=(const Bytes &) = delete;
    ~Bytes()
    {
        if (m_mapped) {
            munmap(m_data, m_capacity);
        } else {
            std::free(m_data);
        }
    }

    // Room for `n` more bytes at the end; nullptr when memory runs out.
    unsigned char *grow(std::size_t n)
    {
        if (n > m_capacity - m_size &&
            !reserve(std::max({m_size + n, m_capacity + m_capacity / 2, std::size_t(4096)}))) {
            return nullptr;
        }
        unsigned char *at = m_data + m_size;
        m_size += n;
        return at;
    }
    void shrink(std::size_t size) { m_size = size; }
    unsigned char *data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    static constexpr std::size_t kHugePage = 2u << 20;

    bool reserve(std::size_t capacity)
    {
        if (capacity < kHugePage) {
            auto *data = static_cast<unsigned char *>(std::realloc(m_data, capacity));
            if (data == nullptr) {
                return false;
            }
            m_data = data;
            m_capacity = capacity;
            return true;
        }
        capacity = (capacity + kHugePage - 1) / kHugePage * kHugePage;
        void *data = m_mapped ? mremap(m_data, m_capacity, capacity, MREMAP_MAYMOVE)
                              : mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (data == MAP_FAILED) {
            return false;
        }
        madvise(data, capacity, MADV_HUGEPAGE);
        if (!m_mapped) {
            if (m_size > 0) {
                std::memcpy(data, m_data, m_size);
            }
            std::free(m_data);
            m_mapped = true;
        }
        m_data = static_cast<unsigned char *>(data);
        m_capacity = capacity;
        return true;
    }

    unsigned char *m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    bool m_mapped = false;
};

// Every byte read so far, in the file's order, so that libpng can be given the file from its start
// when the direct way gives up: the IDAT payloads apart and together, all the rest in `other`.
struct Source
{
    const PngRequest *request = nullptr;
    Bytes other;
    Bytes data;
    struct Piece
    {
        bool data;
        std::size_t at;
        std::size_t size;
    };
    std::vector<Piece> pieces;
    std::size_t replayPiece = 0;
    std::size_t replayAt = 0;

    // The next `n` bytes of the file, kept; nullptr when the file ends first.
    const unsigned char *take(bool payload, std::size_t n)
    {
        Bytes &into = payload ? data : other;
        const std::size_t start = into.size();
        unsigned char *at = into.grow(n);
        if (at == nullptr) {
            return nullptr;
        }
        std::size_t done = 0;
        while (done < n) {
            const std::size_t got = request->read(at + done, n - done);
            if (got == 0 || got > n - done) {
                break;
            }
            done += got;
        }
        into.shrink(start + done);
        if (done > 0) {
            if (!pieces.empty() && pieces.back().data == payload && pieces.back().at + pieces.back().size == start) {
                pieces.back().size += done;
            } else {
                pieces.push_back({payload, start, done});
            }
        }
        return done == n ? into.data() + start : nullptr;
    }

    // The bytes already read, again, then the rest of the file.
    std::size_t replay(unsigned char *into, std::size_t size)
    {
        while (replayPiece < pieces.size()) {
            const Piece &piece = pieces[replayPiece];
            if (replayAt == piece.size) {
                ++replayPiece;
                replayAt = 0;
                continue;
            }
            const std::size_t n = std::min(size, piece.size - replayAt);
            std::memcpy(into, (piece.data ? data : other).data() + piece.at + replayAt, n);
            replayAt += n;
            return n;
        }
        return request->read(into, size);
    }
};

struct DecompressorDeleter
{
    void operator()(libdeflate_decompressor *d) const { libdeflate_free_decompressor(d); }
};

// 16-bit samples to 8 as png_set_scale_16 rounds them.
inline std::uint32_t scale16(const unsigned char *p)
{
    std::int32_t v = p[0];
    v += ((std::int32_t(p[1]) - v + 128) * 65535) >> 24;
    return std::uint32_t(std::uint8_t(v));
}

// What the header and the chunks before the pixels say.
struct Layout
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    unsigned depth = 0;
    unsigned colour = 0;
    // Bytes per pixel (at least one) and per row, filter byte not counted.
    unsigned bpp = 0;
    std::size_t rowBytes = 0;
    unsigned char palette[256 * 3] = {};
    unsigned paletteSize = 0;
    unsigned char paletteAlpha[256] = {};
    unsigned alphaCount = 0;
    bool transparent = false;  // a tRNS chunk libpng takes
    std::uint16_t key[3] = {}; // its grey, or R, G, B
};

// One row of pixels, unfiltered, as 0xAARRGGBB words before premultiplying: what libpng's expand,
// grey-to-RGB, scale-16, BGR and filler transforms give.
void toWords(const Layout &l, const unsigned char *s, std::uint32_t *out)
{
    const std::uint32_t w = l.width;
    auto word = [](std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a) {
        return (a << 24) | (r << 16) | (g << 8) | b;
    };
    const bool key = l.transparent;
    switch (l.colour * 100 + l.depth) {
    case 208:
        if (!key) {
            for (std::uint32_t x = 0; x < w; ++x, s += 3) {
                out[x] = word(s[0], s[1], s[2], 255);
            }
        } else {
            const unsigned kr = l.key[0] & 0xff;
            const unsigned kg = l.key[1] & 0xff;
            const unsigned kb = l.key[2] & 0xff;
            for (std::uint32_t x = 0; x < w; ++x, s += 3) {
                const bool hit = s[0] == kr && s[1] == kg && s[2] == kb;
                out[x] = word(s[0], s[1], s[2], hit ? 0 : 255);
            }
        }
        break;
    case 608:
        for (std::uint32_t x = 0; x < w; ++x, s += 4) {
            out[x] = word(s[0], s[1], s[2], s[3]);
        }
        break;
    case 308:
        for (std::uint32_t x = 0; x < w; ++x) {
            const unsigned i = s[x];
            const unsigned char *c = l.palette + 3 * i;
            out[x] = word(c[0], c[1], c[2], i < l.alphaCount ? l.paletteAlpha[i] : 255);
        }
        break;
    case 8:
        for (std::uint32_t x = 0; x < w; ++x) {
            const unsigned v = s[x];
            out[x] = word(v, v, v, key && v == (l.key[0] & 0xffu) ? 0 : 255);
        }
        break;
    case 408:
        for (std::uint32_t x = 0; x < w; ++x, s += 2) {
            out[x] = word(s[0], s[0], s[0], s[1]);
        }
        break;
    case 16:
        for (std::uint32_t x = 0; x < w; ++x, s += 2) {
            const std::uint32_t v = scale16(s);
            const bool hit = key && ((unsigned(s[0]) << 8) | s[1]) == l.key[0];
            out[x] = word(v, v, v, hit ? 0 : 255);
        }
        break;
    case 416:
        for (std::uint32_t x = 0; x < w; ++x, s += 4) {
            const std::uint32_t v = scale16(s);
            out[x] = word(v, v, v, scale16(s + 2));
        }
        break;
    case 216:
        for (std::uint32_t x = 0; x < w; ++x, s += 6) {
            const bool hit = key && ((unsigned(s[0]) << 8) | s[1]) == l.key[0] &&
                             ((unsigned(s[2]) << 8) | s[3]) == l.key[1] && ((unsigned(s[4]) << 8) | s[5]) == l.key[2];
            out[x] = word(scale16(s), scale16(s + 2), scale16(s + 4), hit ? 0 : 255);
        }
        break;
    case 616:
        for (std::uint32_t x = 0; x < w; ++x, s += 8) {
            out[x] = word(scale16(s), scale16(s + 2), scale16(s + 4), scale16(s + 6));
        }
        break;
    default:
        break;
    }
}

// One opaque row as R, G, B bytes, the reduction's own input: an RGB 8 row is that already.
const std::uint8_t *toSamples(const Layout &l, const unsigned char *s, std::uint8_t *out)
{
    const std::uint32_t w = l.width;
    switch (l.colour * 100 + l.depth) {
    case 208:
        return s;
    case 216:
        for (std::uint32_t x = 0; x < 3 * w; ++x, s += 2) {
            out[x] = std::uint8_t(scale16(s));
        }
        break;
    case 308:
        for (std::uint32_t x = 0; x < w; ++x) {
            std::memcpy(out + 3 * x, l.palette + 3 * s[x], 3);
        }
        break;
    case 8:
        for (std::uint32_t x = 0; x < w; ++x) {
            out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = s[x];
        }
        break;
    case 16:
        for (std::uint32_t x = 0; x < w; ++x, s += 2) {
            out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = std::uint8_t(scale16(s));
        }
        break;
    default:
        break;
    }
    return out;
}

void readData(png_structp png, png_bytep into, std::size_t size)
{
    const auto *d = static_cast<const Decoder *>(png_get_io_ptr(png));
    std::size_t done = 0;
    while (done < size) {
        const std::size_t n = d->source != nullptr ? d->source->replay(into + done, size - done)
                                                   : d->request->read(into + done, size - done);
        if (n == 0 || n > size - done) {
            break;
        }
        done += n;
    }
    if (done != size) {
        png_error(png, "cut short");
    }
}

[[noreturn]] void onError(png_structp png, png_const_charp /*message*/)
{
    png_longjmp(png, 1);
}

void onWarning(png_structp /*png*/, png_const_charp /*message*/) {}

// As Qt premultiplies (each channel times alpha over 255, rounded), so that a PNG looks the same
// whichever path decoded it.
void premultiply(std::uint32_t *row, std::uint32_t width)
{
    for (std::uint32_t x = 0; x < width; ++x) {
        std::uint32_t p = row[x];
        const std::uint32_t a = p >> 24;
        if (a == 255) {
            continue;
        }
        std::uint32_t t = (p & 0xff00ffu) * a;
        t = ((t + ((t >> 8) & 0xff00ffu) + 0x800080u) >> 8) & 0xff00ffu;
        p = ((p >> 8) & 0xffu) * a;
        p = (p + ((p >> 8) & 0xffu) + 0x80u) & 0xff00u;
        row[x] = p | t | (a << 24);
    }
}

// ---- unfiltering, in place: `row` holds the filtered bytes, `prev` the row above, unfiltered
// (zeros above the first) ----

void unfilterUp(unsigned char *row, const unsigned char *prev, std::size_t n)
{
    std::size_t i = 0;
#ifdef __SSE2__
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(prev + i));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(row + i), _mm_add_epi8(x, b));
    }
#endif
    for (; i < n; ++i) {
        row[i] = static_cast<unsigned char>(row[i] + prev[i]);
    }
}

void unfilterScalar(unsigned filter, unsigned char *row, const unsigned char *prev, std::size_t n, unsigned bpp)
{
    switch (filter) {
    case 1:
        for (std::size_t i = bpp; i < n; ++i) {
            row[i] = static_cast<unsigned char>(row[i] + row[i - bpp]);
        }
        break;
    case 3:
        for (std::size_t i = 0; i < bpp && i < n; ++i) {
            row[i] = static_cast<unsigned char>(row[i] + (prev[i] >> 1));
        }
        for (std::size_t i = bpp; i < n; ++i) {
            row[i] = static_cast<unsigned char>(row[i] + ((row[i - bpp] + prev[i]) >> 1));
        }
        break;
    case 4:
        for (std::size_t i = 0; i < bpp && i < n; ++i) {
            row[i] = static_cast<unsigned char>(row[i] + prev[i]);
        }
        for (std::size_t i = bpp; i < n; ++i) {
            const int a = row[i - bpp];
            const int b = prev[i];
            const int c = prev[i - bpp];
            const int pa = std::abs(b - c);
            const int pb = std::abs(a - c);
            const int pc = std::abs(a + b - 2 * c);
            const int p = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
            row[i] = static_cast<unsigned char>(row[i] + p);
        }
        break;
    default:
        break;
    }
}

#ifdef __SSE2__
// A pixel's 3 or 4 bytes into the low lanes, loaded as 4: the byte after a 3-byte pixel is the
// next one's, or the next row's filter byte, or the slack after the last row; its lane is ignored.
inline __m128i loadPixel(const unsigned char *p)
{
    std::int32_t v = 0;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
}

// Stored from a register, byte by byte for 3: a 4-byte store would overwrite the next pixel,
// and one through memory would stall the load that reads the next pixel behind it.
template<unsigned Bpp> void storePixel(unsigned char *p, __m128i v)
{
    const auto x = static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
    if constexpr (Bpp == 4) {
        std::memcpy(p, &x, 4);
    } else {
        const auto low = static_cast<std::uint16_t>(x);
        std::memcpy(p, &low, 2);
        p[2] = static_cast<unsigned char>(x >> 16);
    }
}

// Sub, Average and Paeth one pixel at a time, each pixel's bytes side by side in one register:
// these filters depend on the pixel to the left, so a row cannot go wider.
template<unsigned Bpp> void unfilterSse2(unsigned filter, unsigned char *row, const unsigned char *prev, std::size_t n)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i a = zero;
    switch (filter) {
    case 1:
        for (std::size_t i = 0; i < n; i += Bpp) {
            a = _mm_add_epi8(a, loadPixel(row + i));
            storePixel<Bpp>(row + i, a);
        }
        break;
    case 3:
        for (std::size_t i = 0; i < n; i += Bpp) {
            const __m128i b = loadPixel(prev + i);
            // The mean rounded down: _mm_avg_epu8 rounds up.
            const __m128i avg = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
            a = _mm_add_epi8(loadPixel(row + i), avg);
            storePixel<Bpp>(row + i, a);
        }
        break;
    case 4: {
        // In 16 bits: the predictor's sums reach beyond a byte.
        __m128i c = zero;
        for (std::size_t i = 0; i < n; i += Bpp) {
            const __m128i b = _mm_unpacklo_epi8(loadPixel(prev + i), zero);
            __m128i pa = _mm_sub_epi16(b, c);
            __m128i pb = _mm_sub_epi16(a, c);
            __m128i pc = _mm_add_epi16(pa, pb);
            pa = _mm_max_epi16(pa, _mm_sub_epi16(zero, pa));
            pb = _mm_max_epi16(pb, _mm_sub_epi16(zero, pb));
            pc = _mm_max_epi16(pc, _mm_sub_epi16(zero, pc));
            const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
            const __m128i useA = _mm_cmpeq_epi16(pa, smallest);
            const __m128i useB = _mm_cmpeq_epi16(pb, smallest);
            const __m128i bOrC = _mm_or_si128(_mm_and_si128(useB, b), _mm_andnot_si128(useB, c));
            const __m128i nearest = _mm_or_si128(_mm_and_si128(useA, a), _mm_andnot_si128(useA, bOrC));
            const __m128i x = _mm_add_epi8(loadPixel(row + i), _mm_packus_epi16(nearest, nearest));
            storePixel<Bpp>(row + i, x);
            a = _mm_unpacklo_epi8(x, zero);
            c = b;
        }
        break;
    }
    default:
        break;
    }
}
#endif

void unfilter(unsigned filter, unsigned char *row, const unsigned char *prev, std::size_t n, unsigned bpp)
{
    if (filter == 0) {
        return;
    }
    if (filter == 2) {
        unfilterUp(row, prev, n);
        return;
    }
#ifdef __SSE2__
    if (bpp == 3) {
        unfilterSse2<3>(filter, row, prev, n);
        return;
    }
    if (bpp == 4) {
        unfilterSse2<4>(filter, row, prev, n);
        return;
    }
#endif
    unfilterScalar(filter, row, prev, n, bpp);
}

// The result's pixels, where the request wants them, and the reducer when they are fewer than
// the picture's; false when the memory cannot be had.
bool takeOutput(Decoder &d, std::uint32_t width, std::uint32_t height, std::uint32_t outW, std::uint32_t outH,
                bool alpha)
{
    if (d.request->allocate) {
        d.out = d.request->allocate(outW, outH, alpha);
        if (d.out == nullptr) {
            d.failure = RasterFailure::TooLarge;
            return false;
        }
    } else {
        d.result.pixels.resize(static_cast<std::size_t>(outW) * outH);
        d.out = d.result.pixels.data();
    }
    d.result.width = outW;
    d.result.height = outH;
    if (outW != width || outH != height) {
        d.reducer.emplace(width, height, outW, outH, d.out);
    }
    return true;
}

enum class Direct { Done, Failed, ToLibpng };

// Reads the whole file up to IEND, checking every chunk, then inflates the rows at once and
// unfilters them in place. Only the PNGs whose every detail it knows libpng would read the same
// way are decoded here; at the first doubt it hands the file to libpng (ToLibpng), having taken
// no pixel memory yet, so that what the program shows never depends on which way was taken.
Direct decodeDirect(Decoder &d, Source &source)
{
    static constexpr unsigned char kSignature[8] = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
    const unsigned char *signature = source.take(false, 8);
    if (signature == nullptr || std::memcmp(signature, kSignature, 8) != 0) {
        return Direct::ToLibpng;
    }
    Layout l;
    bool header = false;
    bool plte = false;
    bool trns = false;
    // 0: no IDAT yet, 1: in the IDAT run, 2: past it.
    int idat = 0;
    std::uint64_t inflated = 0;
    for (;;) {
        const unsigned char *head = source.take(false, 8);
        if (head == nullptr) {
            return Direct::ToLibpng;
        }
        const std::uint32_t length = be32(head);
        const std::uint32_t type = be32(head + 4);
        unsigned char typeBytes[4];
        std::memcpy(typeBytes, head + 4, 4);
        for (const unsigned char c : typeBytes) {
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) {
                return Direct::ToLibpng;
            }
        }
        if (length > 0x7fffffffu || (!header && type != chunkType("IHDR"))) {
            return Direct::ToLibpng;
        }
        if (type == chunkType("IDAT")) {
            // More than the rows could take even stored uncompressed: libpng reads it as it comes.
            if (idat == 2 || (l.colour == 3 && !plte) ||
                source.data.size() + length > inflated + inflated / 1024 + 1024) {
                return Direct::ToLibpng;
            }
            idat = 1;
            const unsigned char *payload = source.take(true, length);
            const std::uint32_t crc =
                payload == nullptr ? 0 : libdeflate_crc32(libdeflate_crc32(0, typeBytes, 4), payload, length);
            const unsigned char *stored = payload == nullptr ? nullptr : source.take(false, 4);
            if (stored == nullptr || be32(stored) != crc) {
                return Direct::ToLibpng;
            }
            continue;
        }
        if (length > kMaxOtherChunk || source.other.size() + length > kMaxOtherBytes) {
            return Direct::ToLibpng;
        }
        const unsigned char *body = source.take(false, std::size_t(length) + 4);
        if (body == nullptr ||
            be32(body + length) != libdeflate_crc32(libdeflate_crc32(0, typeBytes, 4), body, length)) {
            return Direct::ToLibpng;
        }
        if (type == chunkType("IHDR")) {
            if (header || length != 13) {
                return Direct::ToLibpng;
            }
            header = true;
            l.width = be32(body);
            l.height = be32(body + 4);
            l.depth = body[8];
            l.colour = body[9];
            if (l.width == 0 || l.height == 0 || l.width > 0x7fffffffu || l.height > 0x7fffffffu || body[10] != 0 ||
                body[11] != 0 || body[12] != 0) {
                return Direct::ToLibpng;
            }
            unsigned channels = 0;
            switch (l.colour) {
            case 0:
                channels = 1;
                break;
            case 2:
                channels = 3;
                break;
            case 3:
                channels = l.depth == 8 ? 1 : 0;
                break;
            case 4:
                channels = 2;
                break;
            case 6:
                channels = 4;
                break;
            default:
                break;
            }
            if (channels == 0 || (l.depth != 8 && l.depth != 16)) {
                return Direct::ToLibpng;
            }
            // Beyond the limits: libpng's way names it so, exactly as ever.
            if (l.width > d.limits.maxSide || l.height > d.limits.maxSide ||
                static_cast<std::uint64_t>(l.width) * l.height > d.limits.maxPixels) {
                return Direct::ToLibpng;
            }
            l.bpp = channels * l.depth / 8;
            l.rowBytes = static_cast<std::size_t>(l.width) * l.bpp;
            inflated = static_cast<std::uint64_t>(l.height) * (l.rowBytes + 1);
            if (inflated > kMaxInflated) {
                return Direct::ToLibpng;
            }
        } else if (type == chunkType("PLTE")) {
            if (l.colour != 3 || plte || trns || idat != 0 || length == 0 || length % 3 != 0 || length > 768) {
                return Direct::ToLibpng;
            }
            plte = true;
            l.paletteSize = length / 3;
            std::memcpy(l.palette, body, length);
        } else if (type == chunkType("tRNS")) {
            if (trns || idat != 0 || l.colour == 4 || l.colour == 6) {
                return Direct::ToLibpng;
            }
            trns = true;
            if (l.colour == 3) {
                if (!plte || length == 0 || length > l.paletteSize) {
                    return Direct::ToLibpng;
                }
                l.alphaCount = length;
                std::memcpy(l.paletteAlpha, body, length);
            } else if (length != (l.colour == 0 ? 2u : 6u)) {
                return Direct::ToLibpng;
            } else {
                for (std::uint32_t i = 0; i < length / 2; ++i) {
                    l.key[i] = static_cast<std::uint16_t>((body[2 * i] << 8) | body[2 * i + 1]);
                }
            }
            l.transparent = true;
        } else if (type == chunkType("IEND")) {
            if (length != 0 || idat == 0) {
                return Direct::ToLibpng;
            }
            break;
        } else if ((typeBytes[0] & 0x20) == 0) {
            // A critical chunk this decoder does not know (or a second IHDR).
            return Direct::ToLibpng;
        } else if (idat == 1) {
            idat = 2;
        }
    }

    // zlib reads the window size from the stream's header and refuses a distance beyond it;
    // libdeflate always allows 32 KiB. They agree when the header says 32 KiB or the rows fit
    // in the window.
    const unsigned char *stream = source.data.data();
    const std::size_t streamSize = source.data.size();
    if (streamSize < 2 || (stream[0] & 0x0f) != 8 || (stream[0] >> 4) > 7 ||
        ((stream[0] >> 4) < 7 && inflated > (std::uint64_t(1) << ((stream[0] >> 4) + 8)))) {
        return Direct::ToLibpng;
    }
    // With slack for the unfiltering's 4-byte loads of 3-byte pixels.
    constexpr std::size_t kSlack = 8;
    Bytes rows;
    unsigned char *pixels = rows.grow(static_cast<std::size_t>(inflated) + kSlack);
    if (pixels == nullptr) {
        return Direct::ToLibpng;
    }
    std::memset(pixels + inflated, 0, kSlack);
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor{
        libdeflate_alloc_decompressor()};
    if (!decompressor) {
        return Direct::ToLibpng;
    }
    std::size_t usedIn = 0;
    std::size_t madeOut = 0;
    const libdeflate_result inflatedResult = libdeflate_zlib_decompress_ex(
        decompressor.get(), stream, streamSize, pixels, static_cast<std::size_t>(inflated), &usedIn, &madeOut);
    if (inflatedResult != LIBDEFLATE_SUCCESS) {
        // Damaged, or more than the rows (which libpng may take or refuse), or a checksum that
        // libpng does not check: its call.
        return Direct::ToLibpng;
    }
    const std::size_t stride = l.rowBytes + 1;
    // The stream ends before the rows do: libpng's "not enough image data".
    if (madeOut != inflated) {
        return Direct::Failed;
    }
    for (std::uint32_t y = 0; y < l.height; ++y) {
        if (pixels[static_cast<std::size_t>(y) * stride] > 4) {
            return Direct::Failed;
        }
    }
    // The data is sound: from here on, this way decodes it.

    const std::uint32_t width = l.width;
    const std::uint32_t height = l.height;
    d.result.naturalWidth = width;
    d.result.naturalHeight = height;
    const bool alpha = l.colour == 4 || l.colour == 6 || l.transparent;
    d.result.hasAlpha = alpha;
    std::uint32_t outW = width;
    std::uint32_t outH = height;
    FitRasterSize(width, height, d.request->boxWidth, d.request->boxHeight, outW, outH);
    const bool reduced = outW != width || outH != height;
    const bool samples = reduced && !alpha;
    if (!takeOutput(d, width, height, outW, outH, alpha)) {
        return Direct::Failed;
    }
    if (reduced) {
        d.row.resize(samples ? (static_cast<std::size_t>(width) * 3 + 3) / 4 : width);
    }
    const std::vector<unsigned char> zeros(l.rowBytes + kSlack);
    const unsigned char *prev = zeros.data();
    for (std::uint32_t y = 0; y < height; ++y) {
        unsigned char *line = pixels + static_cast<std::size_t>(y) * stride;
        unfilter(line[0], line + 1, prev, l.rowBytes, l.bpp);
        prev = line + 1;
        if (samples) {
            d.reducer->addSamples(toSamples(l, line + 1, reinterpret_cast<std::uint8_t *>(d.row.data())), 3);
            continue;
        }
        std::uint32_t *words = reduced ? d.row.data() : d.out + static_cast<std::size_t>(y) * width;
        toWords(l, line + 1, words);
        if (alpha) {
            premultiply(words, width);
        }
        if (reduced) {
            d.reducer->addRow(words);
        }
    }
    return Direct::Done;
}

// The chunks nothing here shows: dropped unread rather than inflated (a colour profile or a
// compressed text can be megabytes).
constexpr png_byte kIgnoredChunks[] = {'i', 'C', 'C', 'P', 'z', 'T', 'X', 't', 'i', 'T', 'X', 't', 't', 'E',
                                       'X', 't', 'e', 'X', 'I', 'f', 's', 'P', 'L', 'T', 't', 'I', 'M', 'E'};

// Only trivially destructible locals from the setjmp on (see Decoder).
bool decode(Decoder &d)
{
    if (setjmp(png_jmpbuf(d.png)) != 0) {
        return false;
    }
    png_structp png = d.png;
    png_infop info = d.info;
    // The limits are the program's own, checked below so that a picture too large is named so.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks, sizeof kIgnoredChunks / 4);
    png_set_read_fn(png, &d, readData);
#ifdef PNG_IGNORE_ADLER32
    // Each IDAT chunk's CRC already covers the compressed bytes; the zlib stream's own checksum
    // would take a second pass over every inflated byte.
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    png_read_info(png, info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int colour = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colour, nullptr, nullptr, nullptr);
    if (width == 0 || height == 0) {
        return false;
    }
    if (width > d.limits.maxSide || height > d.limits.maxSide ||
        static_cast<std::uint64_t>(width) * height > d.limits.maxPixels) {
        d.failure = RasterFailure::TooLarge;
        return false;
    }
    d.result.naturalWidth = width;
    d.result.naturalHeight = height;
    const bool alpha = (colour & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    d.result.hasAlpha = alpha;
    std::uint32_t outW = width;
    std::uint32_t outH = height;
    FitRasterSize(width, height, d.request->boxWidth, d.request->boxHeight, outW, outH);
    const bool reduced = outW != width || outH != height;
    // An opaque picture read row by row and reduced is reduced from its R, G, B samples as they
    // come; any other is read as 0xAARRGGBB words. No gamma either way (Qt applies none).
    const bool samples = reduced && !alpha && png_get_interlace_type(png, info) == PNG_INTERLACE_NONE;
    if (depth == 16) {
        png_set_scale_16(png);
    }
    png_set_expand(png);
    if ((colour & PNG_COLOR_MASK_COLOR) == 0) {
        png_set_gray_to_rgb(png);
    }
    if constexpr (std::endian::native == std::endian::little) {
        if (!samples) {
            png_set_bgr(png);
            if (!alpha) {
                png_set_filler(png, 0xff, PNG_FILLER_AFTER);
            }
        }
    } else {
        if (alpha) {
            png_set_swap_alpha(png);
        } else if (!samples) {
            png_set_filler(png, 0xff, PNG_FILLER_BEFORE);
        }
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<std::size_t>(width) * (samples ? 3 : 4)) {
        return false;
    }

    if (!takeOutput(d, width, height, outW, outH, alpha)) {
        return false;
    }
    if (passes > 1) {
        std::uint32_t *rows = d.out;
        if (reduced) {
            d.whole.resize(static_cast<std::size_t>(width) * height);
            rows = d.whole.data();
        }
        for (int pass = 0; pass < passes; ++pass) {
            for (png_uint_32 y = 0; y < height; ++y) {
                png_read_row(png, reinterpret_cast<png_bytep>(rows + static_cast<std::size_t>(y) * width), nullptr);
            }
        }
        for (png_uint_32 y = 0; y < height; ++y) {
            std::uint32_t *line = rows + static_cast<std::size_t>(y) * width;
            if (alpha) {
                premultiply(line, width);
            }
            if (reduced) {
                d.reducer->addRow(line);
            }
        }
    } else {
        if (reduced) {
            d.row.resize(width);
        }
        for (png_uint_32 y = 0; y < height; ++y) {
            std::uint32_t *line = reduced ? d.row.data() : d.out + static_cast<std::size_t>(y) * width;
            png_read_row(png, reinterpret_cast<png_bytep>(line), nullptr);
            if (samples) {
                d.reducer->addSamples(reinterpret_cast<const std::uint8_t *>(line), 3);
                continue;
            }
            if (alpha) {
                premultiply(line, width);
            }
            if (reduced) {
                d.reducer->addRow(line);
            }
        }
    }
    png_read_end(png, nullptr);
    return true;
}

} // namespace

std::optional<RasterResult> DecodePng(const PngRequest &request, const RasterLimits &limits, RasterFailure *failure)
{
    if (failure != nullptr) {
        *failure = RasterFailure::Damaged;
    }
    if (!request.read) {
        return std::nullopt;
    }
    Decoder d;
    d.request = &request;
    d.limits = limits;
    if (request.decodedDirectly != nullptr) {
        *request.decodedDirectly = false;
    }
    Source source;
    if (!request.libpngOnly) {
        source.request = &request;
        const Direct direct = decodeDirect(d, source);
        if (direct != Direct::ToLibpng) {
            if (request.decodedDirectly != nullptr) {
                *request.decodedDirectly = true;
            }
            if (failure != nullptr) {
                *failure = direct == Direct::Done ? RasterFailure::None : d.failure;
            }
            if (direct == Direct::Done) {
                return std::move(d.result);
            }
            return std::nullopt;
        }
        d.source = &source;
    }
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (d.png == nullptr) {
        return std::nullopt;
    }
    d.info = png_create_info_struct(d.png);
    if (d.info == nullptr) {
        return std::nullopt;
    }
    if (!decode(d)) {
        if (failure != nullptr) {
            *failure = d.failure;
        }
        return std::nullopt;
    }
    if (failure != nullptr) {
        *failure = RasterFailure::None;
    }
    return std::move(d.result);
}
