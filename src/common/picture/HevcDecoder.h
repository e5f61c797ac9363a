// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// libheif's HEVC decoder as the helper process runs it: libde265 with worker threads of its own.
// libheif's stock libde265 decoder starts a single worker, and a 24 MP photo then takes most of
// a second; this one gives libde265 as many workers as the decode is allowed. It takes precedence
// over the stock decoder once registered; the pixels it hands to libheif are the same.

struct heif_decoder_plugin;

// The id libheif selects this decoder by (heif_decoding_options::decoder_id).
inline constexpr const char *kHevcDecoderId = "vantrel-de265";

// Initialises libheif (once per process) and registers the decoder with it. Safe to call from
// several threads.
void RegisterHevcDecoder();

// Worker threads for each HEVC decoder made from now on, on any thread (libheif makes a grid's
// tile decoders on threads of its own); 0: each decodes on the thread that asks it to.
void SetHevcDecoderThreads(unsigned threads);

const heif_decoder_plugin *HevcDecoderPlugin();
