// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/HeifStreamColour.h"

#include <libheif/heif.h>

heif_error SetStreamColour(heif_image *image, const StreamColour &colour, bool strict)
{
    heif_color_profile_nclx *nclx = heif_nclx_color_profile_alloc();
    if (nclx == nullptr) {
        return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "no memory for the colour profile"};
    }
    const heif_error set[3] = {
        heif_nclx_color_profile_set_color_primaries(nclx, colour.primaries),
        heif_nclx_color_profile_set_transfer_characteristics(nclx, colour.transfer),
        heif_nclx_color_profile_set_matrix_coefficients(nclx, colour.matrix),
    };
    for (const heif_error &e : set) {
        if (e.code != heif_error_Ok) {
            if (strict) {
                heif_nclx_color_profile_free(nclx);
                return e;
            }
            heif_image_add_decoding_warning(image, e);
        }
    }
    nclx->full_range_flag = colour.fullRange ? 1 : 0;
    const heif_error error = heif_image_set_nclx_color_profile(image, nclx);
    heif_nclx_color_profile_free(nclx);
    return error;
}
