// PNG images for the drawing layer, decoded into Cairo image surfaces.
#pragma once

#include <string>

typedef struct _cairo_surface cairo_surface_t;

namespace zplat {

// The decoded image, or null when the bytes are not a PNG. The caller destroys it.
cairo_surface_t* DecodePng(const std::string& bytes);
// The whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* bytes);

}  // namespace zplat
