// vantrel-metafile-helper: turns one Windows metafile into SVG, in a process of its own.
//
//   vantrel-metafile-helper wmf|emf  < metafile  > svg
//
// The conversion parses hostile input, partly in a C library; here a crash, a runaway allocation or an
// endless loop costs only this process. The viewer starts it with a memory limit and kills it
// after a few seconds; it also limits itself, in case it is started some other way.
// Exit codes: 0 SVG written, 1 not a metafile it can convert, 2 usage.

#include "common/picture/MetafileFormat.h"

#include "common/picture/WmfToEmf.h"

extern "C" {
#include <emf2svg.h>
}

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

void limitSelf()
{
    const rlimit memory{768u << 20, 768u << 20};
    setrlimit(RLIMIT_AS, &memory);
    const rlimit cpu{5, 6};
    setrlimit(RLIMIT_CPU, &cpu);
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
}

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

bool writeAll(const char *bytes, std::size_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes, length);
        if (n <= 0) {
            return false;
        }
        bytes += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

int convertEmf(const std::vector<unsigned char> &data)
{
    // libemf2svg trusts the record sizes and reads past the end of a truncated file, so the
    // record chain is checked here first.
    if (!EmfRecordChainIsSound(data.data(), data.size())) {
        return 1;
    }
    generatorOptions options{};
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    options.imgWidth = 0;
    options.imgHeight = 0;
    char *svg = nullptr;
    size_t length = 0;
    std::vector<char> contents(data.begin(), data.end());
    const int ok = emf2svg(contents.data(), contents.size(), &svg, &length, &options);
    int status = 1;
    if (ok != 0 && svg != nullptr && length > 0) {
        status = writeAll(svg, length) ? 0 : 1;
    }
    std::free(svg);
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    limitSelf();
    if (argc != 2) {
        std::fputs("usage: vantrel-metafile-helper wmf|emf < metafile > svg\n", stderr);
        return 2;
    }
    std::vector<unsigned char> data;
    if (!readInput(data) || data.empty()) {
        return 1;
    }
    const std::string_view kind = argv[1];
    if (kind == "wmf") {
        // A WMF is the same GDI drawing as an EMF with 16-bit arguments; converted, it takes the
        // one well-behaved path to SVG.
        const auto emf = WmfToEmf(data.data(), data.size());
        return emf ? convertEmf(std::vector<unsigned char>(emf->begin(), emf->end())) : 1;
    }
    if (kind == "emf") {
        return convertEmf(data);
    }
    return 2;
}
