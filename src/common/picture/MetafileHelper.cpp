// vantrel-metafile-helper: turns one Windows metafile into SVG, in a process of its own.
//
//   vantrel-metafile-helper wmf|emf  < metafile  > svg
//
// The conversion parses hostile input, partly in a C library; here a crash, a runaway allocation or an
// endless loop costs only this process. The viewer starts it with a memory limit and kills it
// after a few seconds; it also limits itself, in case it is started some other way.
// Exit codes: 0 SVG written, 1 not a metafile it can convert, 2 usage.

#include "common/picture/MetafileFormat.h"

#include "common/picture/MetafileToSvg.h"

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
#if VANTREL_ADDRESS_LIMITS
    const rlimit memory{768u << 20, 768u << 20};
    setrlimit(RLIMIT_AS, &memory);
#endif
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
    if (kind != "wmf" && kind != "emf") {
        return 2;
    }
    const auto svg = MetafileToSvg(kind == "wmf" ? MetafileKind::Wmf : MetafileKind::Emf, data.data(), data.size());
    return svg && writeAll(svg->data(), svg->size()) ? 0 : 1;
}
