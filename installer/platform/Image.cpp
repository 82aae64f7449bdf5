#include "Image.h"

#include <cairo.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace zplat {
namespace {

struct Reader {
    const std::string* bytes;
    size_t offset;
};

cairo_status_t ReadChunk(void* closure, unsigned char* data, unsigned int length) {
    Reader* r = static_cast<Reader*>(closure);
    if (r->bytes->size() - r->offset < length) return CAIRO_STATUS_READ_ERROR;
    memcpy(data, r->bytes->data() + r->offset, length);
    r->offset += length;
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

int ImageWidth(cairo_surface_t* image) { return image ? cairo_image_surface_get_width(image) : 0; }
int ImageHeight(cairo_surface_t* image) { return image ? cairo_image_surface_get_height(image) : 0; }

void DestroyImage(cairo_surface_t* image) {
    if (image) cairo_surface_destroy(image);
}

cairo_surface_t* DecodePng(const std::string& bytes) {
    static const char kSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
    if (bytes.size() < 8 || memcmp(bytes.data(), kSignature, 8) != 0) return nullptr;
    Reader reader{&bytes, 0};
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(ReadChunk, &reader);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    return s;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace zplat
