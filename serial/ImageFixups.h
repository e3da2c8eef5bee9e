/* Base relocations and import binding for a PE image mapped in memory, every field checked. */
#ifndef FARLINK_SERIAL_IMAGEFIXUPS_H
#define FARLINK_SERIAL_IMAGEFIXUPS_H

/*
 * SerialLoader.h uses these on Farlink.exe after the system loader has mapped it into another
 * program; they include no Windows header, so they are tested and fuzzed natively too.
 *
 * The image is outside input: no read or write leaves [base, base + SizeOfImage), and
 * SizeOfImage itself must lie within what the caller says is mapped. Each fixing function
 * walks its whole table twice: once with apply = 0, which checks everything and counts what
 * is left to fix, and, only when that succeeded and found work, once with apply = 1. So a
 * damaged table is refused before a single byte of the image has changed. A refusal leaves
 * one line in the caller's error buffer (which may be null).
 *
 * Plain C, usable from C and C++; all functions are static inline, so including this header
 * in several files of a program is harmless.
 */
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

/* What sc_image_open found in the headers. */
typedef struct sc_image {
    uint8_t* base;
    uint32_t size;       /* SizeOfImage: every offset is checked against it */
    uint64_t preferred;  /* ImageBase as the header holds it now */
    uint32_t base_field; /* offset of ImageBase in the header */
    uint16_t machine;
    uint16_t characteristics;
    int pe64; /* PE32+: 8-byte import slots and ImageBase */
    uint32_t reloc_rva, reloc_size;
    uint32_t import_rva, import_size;
} sc_image;

/* Finds the libraries and functions an image imports. */
typedef struct sc_import_resolver {
    void* context;
    /* A handle of the named library, or null when it cannot be loaded. */
    void* (*library)(void* context, const char* name);
    /* Address of an export by name, or by ordinal when name is null; 0 when there is none. */
    uint64_t (*function)(void* context, void* library, const char* name, uint16_t ordinal);
} sc_import_resolver;

#define SC_IMAGE_RELOCS_STRIPPED 0x0001u
#define SC_IMAGE_MAX_NAME 512u

#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
static inline int
sc_image_fail(char* error, size_t error_size, const char* format, ...) {
    if (error != NULL && error_size > 0) {
        va_list values;
        va_start(values, format);
        vsnprintf(error, error_size, format, values);
        va_end(values);
    }
    return -1;
}

static inline uint64_t sc_image_read(const uint8_t* at, unsigned width) {
    uint64_t value = 0;
    for (unsigned i = width; i-- > 0;)
        value = (value << 8) | at[i];
    return value;
}

static inline void sc_image_write(uint8_t* at, unsigned width, uint64_t value) {
    for (unsigned i = 0; i < width; ++i, value >>= 8)
        at[i] = (uint8_t)value;
}

/* 1 when [offset, offset + length) lies inside the image. */
static inline int sc_image_holds(const sc_image* image, uint64_t offset, uint64_t length) {
    return offset <= image->size && length <= image->size - offset;
}

/* The NUL-terminated text at rva, or null when it does not end inside the image in time. */
static inline const char* sc_image_text(const sc_image* image, uint64_t rva) {
    if (rva >= image->size)
        return NULL;
    uint64_t room = image->size - rva;
    if (room > SC_IMAGE_MAX_NAME)
        room = SC_IMAGE_MAX_NAME;
    const uint8_t* text = image->base + rva;
    return memchr(text, 0, (size_t)room) != NULL ? (const char*)text : NULL;
}

/* Reads and checks the headers of the image at base, of which `mapped` bytes are readable.
   0, or -1 with the reason. */
static inline int sc_image_open(sc_image* image, uint8_t* base, uint64_t mapped, char* error,
                                size_t error_size) {
    memset(image, 0, sizeof *image);
    if (base == NULL || mapped < 64 || base[0] != 'M' || base[1] != 'Z')
        return sc_image_fail(error, error_size, "no DOS header");
    const uint64_t nt = sc_image_read(base + 0x3C, 4);
    if (nt > mapped || mapped - nt < 24 || memcmp(base + nt, "PE\0\0", 4) != 0)
        return sc_image_fail(error, error_size, "no PE header at %#llx", (unsigned long long)nt);
    image->machine = (uint16_t)sc_image_read(base + nt + 4, 2);
    const uint64_t optional_size = sc_image_read(base + nt + 20, 2);
    image->characteristics = (uint16_t)sc_image_read(base + nt + 22, 2);
    const uint64_t optional = nt + 24;
    if (optional_size < 2 || mapped - optional < optional_size)
        return sc_image_fail(error, error_size, "optional header of %llu bytes is cut short",
                             (unsigned long long)optional_size);
    const uint64_t magic = sc_image_read(base + optional, 2);
    uint64_t directories;
    if (magic == 0x10B) {
        directories = 96;
        image->base_field = (uint32_t)(optional + 28);
    } else if (magic == 0x20B) {
        directories = 112;
        image->base_field = (uint32_t)(optional + 24);
        image->pe64 = 1;
    } else {
        return sc_image_fail(error, error_size, "optional header kind %#llx unknown",
                             (unsigned long long)magic);
    }
    if (optional_size < directories)
        return sc_image_fail(error, error_size, "optional header of %llu bytes is cut short",
                             (unsigned long long)optional_size);
    const uint64_t size = sc_image_read(base + optional + 56, 4);
    if (size > mapped || size < optional + optional_size)
        return sc_image_fail(error, error_size,
                             "SizeOfImage %#llx does not fit the %#llx bytes mapped",
                             (unsigned long long)size, (unsigned long long)mapped);
    image->base = base;
    image->size = (uint32_t)size;
    image->preferred = sc_image_read(base + image->base_field, image->pe64 ? 8 : 4);

    uint64_t count = sc_image_read(base + optional + directories - 4, 4);
    if (count > (optional_size - directories) / 8)
        count = (optional_size - directories) / 8;
    const uint8_t* table = base + optional + directories;
    if (count > 1) {
        image->import_rva = (uint32_t)sc_image_read(table + 8, 4);
        image->import_size = (uint32_t)sc_image_read(table + 12, 4);
    }
    if (count > 5) {
        image->reloc_rva = (uint32_t)sc_image_read(table + 40, 4);
        image->reloc_size = (uint32_t)sc_image_read(table + 44, 4);
    }
    return 0;
}

/* Base relocations for the image mapped at `actual`. The check (apply = 0) returns the number of
   places to fix: 0 when the image sits at its preferred address, or when the places already hold
   addresses inside the image as mapped, not as linked (a loader applied them but left the header
   as it was). After applying, the header's ImageBase is the actual address, which is how a loader
   leaves a relocated image: a second check then finds nothing to do. -1 with the reason. */
static inline long sc_image_relocate(sc_image* image, uint64_t actual, int apply, char* error,
                                     size_t error_size) {
    const uint64_t mask = image->pe64 ? UINT64_MAX : UINT32_MAX;
    const uint64_t delta = (actual - image->preferred) & mask;
    if (delta == 0)
        return 0;
    if ((image->characteristics & SC_IMAGE_RELOCS_STRIPPED) || image->reloc_size == 0)
        return sc_image_fail(error, error_size,
                             "mapped at %#llx, not at its address %#llx, and has no relocations",
                             (unsigned long long)actual, (unsigned long long)image->preferred);
    if (!sc_image_holds(image, image->reloc_rva, image->reloc_size))
        return sc_image_fail(error, error_size, "relocation table at %#x runs out of the image",
                             (unsigned)image->reloc_rva);
    const uint8_t* table = image->base + image->reloc_rva;
    long places = 0, as_linked = 0, as_mapped = 0;
    for (uint32_t offset = 0; offset < image->reloc_size;) {
        const uint32_t left = image->reloc_size - offset;
        if (left < 8)
            return sc_image_fail(error, error_size, "relocation block at %#x is cut short",
                                 (unsigned)(image->reloc_rva + offset));
        const uint64_t page = sc_image_read(table + offset, 4);
        const uint32_t block = (uint32_t)sc_image_read(table + offset + 4, 4);
        if (block == 0 && page == 0)
            break; // padding after the last block
        if (block < 8 || block > left || block % 2 != 0)
            return sc_image_fail(error, error_size, "relocation block at %#x claims %u bytes",
                                 (unsigned)(image->reloc_rva + offset), (unsigned)block);
        for (uint32_t at = offset + 8; at < offset + block; at += 2) {
            const unsigned entry = (unsigned)sc_image_read(table + at, 2);
            const unsigned type = entry >> 12;
            const uint64_t site = page + (entry & 0xFFFu);
            unsigned width;
            if (type == 0)
                continue; // filler that keeps blocks 4-byte aligned
            else if (type == 3)
                width = 4;
            else if (type == 10)
                width = 8;
            else
                return sc_image_fail(error, error_size, "relocation of kind %u at %#llx", type,
                                     (unsigned long long)site);
            if (!sc_image_holds(image, site, width))
                return sc_image_fail(error, error_size, "relocation at %#llx is outside the image",
                                     (unsigned long long)site);
            if (site < (uint64_t)image->reloc_rva + image->reloc_size &&
                site + width > image->reloc_rva)
                return sc_image_fail(error, error_size,
                                     "relocation at %#llx would change the relocation table",
                                     (unsigned long long)site);
            uint8_t* place = image->base + site;
            const uint64_t value = sc_image_read(place, width);
            const uint64_t wrap = width == 4 ? UINT32_MAX : UINT64_MAX;
            if (apply)
                sc_image_write(place, width, value + delta);
            else if (((value - image->preferred) & wrap) < image->size &&
                     ((value - actual) & wrap) >= image->size)
                ++as_linked;
            else if (((value - actual) & wrap) < image->size)
                ++as_mapped;
            ++places;
        }
        offset += block;
    }
    if (apply) {
        sc_image_write(image->base + image->base_field, image->pe64 ? 8 : 4, actual);
        image->preferred = actual & mask;
    } else if (as_mapped > as_linked) {
        return 0;
    }
    return places;
}

/* Binds the image's import slots that still hold what the linker put there. With a name table
   (OriginalFirstThunk) a slot is unbound while it equals its name entry; without one, while it
   holds the address of a name inside the image. Slots bound already are left alone. The check
   (apply = 0) resolves every unbound slot too, so a missing library or function is refused
   before anything is written. Returns the number of slots bound (or to bind), or -1. */
static inline long sc_image_bind(sc_image* image, const sc_import_resolver* resolver, int apply,
                                 char* error, size_t error_size) {
    if (image->import_rva == 0)
        return 0;
    const unsigned width = image->pe64 ? 8 : 4;
    const uint64_t by_ordinal = (uint64_t)1 << (width * 8 - 1);
    long bound = 0;
    for (uint64_t d = image->import_rva;; d += 20) {
        if (!sc_image_holds(image, d, 20))
            return sc_image_fail(error, error_size,
                                 "import descriptor at %#llx runs out of the image",
                                 (unsigned long long)d);
        const uint8_t* descriptor = image->base + d;
        const uint64_t names = sc_image_read(descriptor, 4);
        const uint64_t name = sc_image_read(descriptor + 12, 4);
        const uint64_t slots = sc_image_read(descriptor + 16, 4);
        if (name == 0 || slots == 0)
            break;
        const char* library = sc_image_text(image, name);
        if (library == NULL)
            return sc_image_fail(error, error_size, "import library name at %#llx is not a text",
                                 (unsigned long long)name);
        const uint64_t lookup = names != 0 ? names : slots;
        void* handle = NULL;
        for (uint64_t i = 0;; ++i) {
            const uint64_t slot_at = slots + i * width, entry_at = lookup + i * width;
            if (!sc_image_holds(image, slot_at, width) || !sc_image_holds(image, entry_at, width))
                return sc_image_fail(error, error_size, "imports from %s run out of the image",
                                     library);
            const uint64_t entry = sc_image_read(image->base + entry_at, width);
            if (entry == 0)
                break;
            const uint64_t current = sc_image_read(image->base + slot_at, width);
            const char* function = NULL;
            uint16_t ordinal = 0;
            if (entry & by_ordinal) {
                if (names == 0)
                    continue; // without a name table, a high slot value is a bound address
                if ((entry & ~by_ordinal) > 0xFFFF)
                    return sc_image_fail(error, error_size, "import %llu from %s: bad ordinal",
                                         (unsigned long long)i, library);
                ordinal = (uint16_t)entry;
            } else {
                function = entry >> 31 == 0 ? sc_image_text(image, entry + 2) : NULL;
                if (function == NULL && names == 0)
                    continue; // not a name of this image: bound already
                if (function == NULL)
                    return sc_image_fail(error, error_size,
                                         "import %llu from %s has no readable name",
                                         (unsigned long long)i, library);
            }
            if (names != 0 && current != entry)
                continue; // bound by the system loader
            if (handle == NULL && (handle = resolver->library(resolver->context, library)) == NULL)
                return sc_image_fail(error, error_size, "imported library %s cannot be loaded",
                                     library);
            const uint64_t address =
                resolver->function(resolver->context, handle, function, ordinal);
            if (address == 0 || (width == 4 && address > UINT32_MAX))
                return function != NULL
                           ? sc_image_fail(error, error_size, "%s has no function %s", library,
                                           function)
                           : sc_image_fail(error, error_size, "%s has no function of ordinal %u",
                                           library, (unsigned)ordinal);
            if (apply)
                sc_image_write(image->base + slot_at, width, address);
            ++bound;
        }
    }
    return bound;
}

#endif
