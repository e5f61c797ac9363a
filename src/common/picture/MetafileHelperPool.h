// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "common/picture/MetafileFormat.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// Metafiles are converted by vantrel-metafile-helper, which parses them apart from the viewer.
// Starting a process per picture cost more than the conversion itself, so serving helpers are
// kept ready (one a core at most, as many as were busy at once): started ahead, reused for a few dozen conversions (the
// converter library keeps some of what it allocates), and replaced by a fresh one after any failure. Every conversion
// keeps the limits a helper of its own had: a memory limit, a CPU allowance, a time limit after
// which the helper is killed, a bound on the SVG. Callable from any thread.
struct MetafileHelperLimits
{
    int timeLimitMs = 5000;
    qint64 maxSvgBytes = 64ll << 20;
    std::uint64_t memoryBytes = 768ull << 20;
};

// The SVG of the metafile, or nothing when the helper cannot convert it, fails, or runs out of
// time. A helper that was kept ready and has died meanwhile is replaced and asked again once.
[[nodiscard]] std::optional<QByteArray> ConvertInMetafileHelper(const QString &helperPath, MetafileKind kind,
                                                                const QByteArray &metafile,
                                                                const MetafileHelperLimits &limits = {});

// A raster decode (MetafileHelperProtocol.h: kind 3 to 5).
struct RasterCall
{
    std::uint32_t kind = 0;
    int file = -1; // a sealed memory file holding the picture file (the caller keeps it)
    std::uint32_t boxWidth = 0;
    std::uint32_t boxHeight = 0;
    std::uint32_t flags = 0;
    // With the box-later flag: the box for the natural size the helper found; false gives up.
    std::function<bool(std::uint32_t naturalW, std::uint32_t naturalH, std::uint32_t &boxW, std::uint32_t &boxH)>
        boxFor;
};

struct RasterReply
{
    // The answer's words: natural width, natural height, width, height, flags.
    std::uint32_t words[5] = {};
    // A sealed memory file of exactly width x height x 4 bytes (checked), or -1 for the size
    // only. The caller closes it.
    int pixels = -1;
};

// The helper's answer, or nothing when it cannot decode the picture (`tooLarge` says whether it was
// for its size), fails, breaks the protocol, or runs out of time. Nothing the helper says beyond
// the protocol's shape is checked here: the caller checks its numbers.
[[nodiscard]] std::optional<RasterReply> DecodeInHelper(const QString &helperPath, const RasterCall &call,
                                                        const MetafileHelperLimits &limits, bool *tooLarge = nullptr);

// Starts a helper now, so that the first metafile shown does not wait for one.
void PrepareMetafileHelper(const QString &helperPath, const MetafileHelperLimits &limits = {});

// Ends the helpers kept ready (the next conversion starts another).
void StopMetafileHelpers();
