// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <libheif/heif.h>

#include <memory>

// libheif's objects, each released by its own function when its owner goes.
struct HeifContextFree
{
    void operator()(heif_context *c) const { heif_context_free(c); }
};
struct HeifHandleFree
{
    void operator()(heif_image_handle *h) const { heif_image_handle_release(h); }
};
struct HeifImageFree
{
    void operator()(heif_image *i) const { heif_image_release(i); }
};
struct HeifOptionsFree
{
    void operator()(heif_decoding_options *o) const { heif_decoding_options_free(o); }
};
using HeifContextPtr = std::unique_ptr<heif_context, HeifContextFree>;
using HeifHandlePtr = std::unique_ptr<heif_image_handle, HeifHandleFree>;
using HeifImagePtr = std::unique_ptr<heif_image, HeifImageFree>;
using HeifOptionsPtr = std::unique_ptr<heif_decoding_options, HeifOptionsFree>;
