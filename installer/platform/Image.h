// PNG images for the drawing layer, decoded into Cairo image surfaces.
#pragma once

#include <string>

typedef struct _cairo_surface cairo_surface_t;

namespace zplat {

// The decoded image, or null when the bytes are not a PNG. The caller destroys it.
cairo_surface_t* DecodePng(const std::string& bytes);
// Width and height in pixels; 0 for none.
int ImageWidth(cairo_surface_t* image);
int ImageHeight(cairo_surface_t* image);
void DestroyImage(cairo_surface_t* image);
// The whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* bytes);

}  // namespace zplat
