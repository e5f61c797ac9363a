// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/MetafileToSvg.h"

#include "common/picture/SeamOutlines.h"
#include "common/picture/WmfToEmf.h"

extern "C" {
#include <emf2svg.h>
}

#include <cstdlib>
#include <vector>

namespace {

std::optional<std::string> emfToSvg(const unsigned char *data, std::size_t length)
{
    // libemf2svg trusts the record sizes and reads past the end of a truncated file, so the
    // record chain is checked here first.
    if (!EmfRecordChainIsSound(data, length)) {
        return std::nullopt;
    }
    generatorOptions options{};
    options.verbose = false;
    // EMF+ records (inside comments) are where libemf2svg has faulted; files that carry them also
    // carry the same drawing as plain EMF records, which are drawn instead.
    options.emfplus = false;
    options.svgDelimiter = true;
    options.imgWidth = 0;
    options.imgHeight = 0;
    std::vector<char> contents(data, data + length);
    char *svg = nullptr;
    size_t svgLength = 0;
    const int ok = emf2svg(contents.data(), contents.size(), &svg, &svgLength, &options);
    std::optional<std::string> result;
    if (ok != 0 && svg != nullptr && svgLength > 0) {
        result.emplace(svg, svgLength);
        FoldSeamOutlines(*result);
    }
    std::free(svg);
    return result;
}

} // namespace

std::optional<std::string> MetafileToSvg(MetafileKind kind, const unsigned char *data, std::size_t length)
{
    if (kind == MetafileKind::Emf) {
        return emfToSvg(data, length);
    }
    // A WMF is the same GDI drawing as an EMF with 16-bit arguments; rewritten, it takes the one
    // well-behaved path to SVG.
    const auto emf = WmfToEmf(data, length);
    if (!emf) {
        return std::nullopt;
    }
    return emfToSvg(emf->data(), emf->size());
}
