// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "common/picture/MetafileFormat.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
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

// A raster decode (MetafileHelperProtocol.h: kind 3 to 5, the request's box words and the file):
// the answer's bytes after its header, or nothing when the helper cannot decode it (`tooLarge` says
// whether it was for its size), fails, or runs out of time.
[[nodiscard]] std::optional<QByteArray> DecodeInHelper(const QString &helperPath, std::uint32_t kind,
                                                       const QByteArray &request, const MetafileHelperLimits &limits,
                                                       qint64 maxAnswer, bool *tooLarge = nullptr);

// Starts a helper now, so that the first metafile shown does not wait for one.
void PrepareMetafileHelper(const QString &helperPath, const MetafileHelperLimits &limits = {});

// Ends the helpers kept ready (the next conversion starts another).
void StopMetafileHelpers();
