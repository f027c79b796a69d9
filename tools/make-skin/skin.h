// The default skin: the 77 images the asset set names, drawn from code. Used by the
// make-skin program (which writes them as PNG) and by its tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raster/tess_bitmap.h"

namespace skin {

// Every image name of the skin, in the asset set's loading order.
std::vector<std::string> image_names();

// Draws one image; null for a name that is not part of the skin. Owned by the caller.
TESS_MemBitmap* draw_image(const std::string& name);

}  // namespace skin
