// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// libheif's AV1 decoder for pictures drawn smaller than they are decoded: dav1d, as libheif's own
// plugin runs it, with the picture reduced before libheif converts it (PlaneReduce.h). It is
// chosen by its id only; every other AV1 decode keeps libheif's own plugin.

struct heif_decoder_plugin;

inline constexpr const char *kAv1DecoderId = "vantrel-dav1d";

// Initialises libheif (once per process) and registers the decoder with it; whether it is
// registered. Safe to call from several threads.
bool RegisterAv1Decoder();

// dav1d's threads for each decoder made from now on; 0: the caller's thread alone.
void SetAv1DecoderThreads(unsigned threads);

const heif_decoder_plugin *Av1DecoderPlugin();
