// Any bytes as a mapped image: relocating and binding never read or write outside it, and an
// image fixed once needs nothing the second time.
#include "serial/ImageFixups.h"

#include <cstdlib>
#include <vector>

namespace {

int handle;
void* Library(void*, const char* name) {
    return name[0] == 'x' ? nullptr : &handle;
}
uint64_t Function(void*, void*, const char* name, uint16_t ordinal) {
    return name != nullptr ? (name[0] == 'x' ? 0 : 0x7F000000u) : ordinal;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so the sanitizer sees every byte read past the end.
    std::vector<uint8_t> bytes(data, data + size);
    sc_image image;
    if (sc_image_open(&image, bytes.data(), bytes.size(), nullptr, 0) != 0)
        return 0;
    const uint64_t actual = image.preferred + 0x00A10000u;
    if (sc_image_relocate(&image, actual, 0, nullptr, 0) > 0) {
        sc_image_relocate(&image, actual, 1, nullptr, 0);
        if (sc_image_relocate(&image, actual, 0, nullptr, 0) != 0)
            abort();
    }
    sc_import_resolver resolver = {nullptr, Library, Function};
    char error[64];
    if (sc_image_bind(&image, &resolver, 0, error, sizeof error) > 0)
        sc_image_bind(&image, &resolver, 1, error, sizeof error);
    return 0;
}
