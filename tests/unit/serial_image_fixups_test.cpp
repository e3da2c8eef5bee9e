// Relocating and binding a mapped image: both word sizes, what a loader already did, and damaged
// tables that must be refused before anything in the image changes.
#include "serial/ImageFixups.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

const uint32_t kSize = 0x3000;
const uint32_t kOptional = 0x58;
const uint32_t kRelocs = 0x800;
const uint32_t kImports = 0x1000;
const uint32_t kSites = 0x2000;

// A bare image as a loader maps it: headers, a relocation table, import tables and a page of
// places that hold addresses.
struct Image {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kSize);
    bool pe64;
    uint64_t linked;

    explicit Image(bool wide) : pe64(wide), linked(wide ? 0x140000000ull : 0x30000000ull) {
        bytes[0] = 'M';
        bytes[1] = 'Z';
        Put(0x3C, 4, 0x40);
        std::memcpy(&bytes[0x40], "PE\0\0", 4);
        Put(0x44, 2, wide ? 0x8664 : 0x14C);
        Put(0x54, 2, wide ? 240 : 224);
        Put(0x56, 2, 0x0102);
        Put(kOptional, 2, wide ? 0x20B : 0x10B);
        Put(BaseField(), wide ? 8 : 4, linked);
        Put(kOptional + 56, 4, kSize);
        Put(Directories() - 4, 4, 16);
    }
    uint32_t BaseField() const { return kOptional + (pe64 ? 24 : 28); }
    uint32_t Directories() const { return kOptional + (pe64 ? 112 : 96); }
    unsigned Width() const { return pe64 ? 8 : 4; }
    void Put(uint64_t at, unsigned width, uint64_t value) {
        sc_image_write(&bytes[at], width, value);
    }
    uint64_t Get(uint64_t at, unsigned width) const { return sc_image_read(&bytes[at], width); }
    void Directory(int index, uint32_t rva, uint32_t size) {
        Put(Directories() + 8 * index, 4, rva);
        Put(Directories() + 8 * index + 4, 4, size);
    }

    // Blocks of (page, entries); each place in kSites holds an address inside the image.
    void Relocations(const std::vector<std::pair<uint32_t, std::vector<uint16_t>>>& blocks) {
        uint32_t at = kRelocs;
        for (const auto& block : blocks) {
            const uint32_t size = 8 + 2 * static_cast<uint32_t>(block.second.size());
            Put(at, 4, block.first);
            Put(at + 4, 4, size);
            for (size_t i = 0; i < block.second.size(); ++i)
                Put(at + 8 + 2 * i, 2, block.second[i]);
            at += size;
        }
        Directory(5, kRelocs, at - kRelocs);
    }
    uint16_t Site(unsigned i) const {
        return static_cast<uint16_t>((pe64 ? 0xA000 : 0x3000) | (i * 8));
    }
    void FillSites(uint64_t base, unsigned count) {
        for (unsigned i = 0; i < count; ++i)
            Put(kSites + i * 8, Width(), base + 0x100 + i);
    }

    sc_image Open(uint64_t mapped = kSize) {
        sc_image image;
        char error[200] = "";
        EXPECT_EQ(sc_image_open(&image, bytes.data(), mapped, error, sizeof error), 0) << error;
        return image;
    }
};

// One damaged image of a refusal table: what is broken, how, and what the refusal says.
struct Damage {
    const char* what;
    void (*damage)(Image&);
    const char* reason;
};

// Each case on both word sizes: `fix` (the check pass) refuses with the reason and leaves every
// byte of the image as it was.
template <typename Fix>
void ExpectRefusals(const std::vector<Damage>& cases, void (*prepare)(Image&), Fix fix) {
    for (bool wide : {false, true})
        for (const Damage& c : cases) {
            Image img(wide);
            prepare(img);
            c.damage(img);
            const std::vector<uint8_t> before = img.bytes;
            sc_image image = img.Open();
            char error[200] = "";
            EXPECT_EQ(fix(img, image, error, sizeof error), -1) << c.what;
            EXPECT_NE(std::string(error).find(c.reason), std::string::npos)
                << c.what << ": " << error;
            EXPECT_EQ(img.bytes, before) << c.what;
        }
}

TEST(ImageRelocation, MovesEveryPlaceByTheDistanceAndRecordsTheNewBase) {
    for (bool wide : {false, true}) {
        Image img(wide);
        img.FillSites(img.linked, 3);
        img.Relocations({{kSites, {img.Site(0), img.Site(1), 0}}, {kSites, {img.Site(2)}}});
        const uint64_t actual = img.linked - 0x20000000ull + 0x00EB0000ull;
        sc_image image = img.Open();
        char error[200] = "";
        ASSERT_EQ(sc_image_relocate(&image, actual, 0, error, sizeof error), 3) << error;
        ASSERT_EQ(sc_image_relocate(&image, actual, 1, error, sizeof error), 3) << error;
        for (unsigned i = 0; i < 3; ++i)
            EXPECT_EQ(img.Get(kSites + i * 8, img.Width()), actual + 0x100 + i) << wide;
        EXPECT_EQ(img.Get(img.BaseField(), img.Width()), actual);

        // Done once: a second pass, or a fresh look at the headers, finds nothing to do.
        EXPECT_EQ(sc_image_relocate(&image, actual, 0, error, sizeof error), 0);
        sc_image again = img.Open();
        EXPECT_EQ(sc_image_relocate(&again, actual, 0, error, sizeof error), 0);
    }
}

TEST(ImageRelocation, LeavesAnImageAtItsAddressOrAlreadyRelocated) {
    for (bool wide : {false, true}) {
        Image img(wide);
        const uint64_t actual = img.linked + 0x01000000;
        img.Relocations({{kSites, {img.Site(0), img.Site(1)}}});
        // At its own address: nothing, even with no relocations at all.
        Image bare(wide);
        sc_image at_home = bare.Open();
        EXPECT_EQ(sc_image_relocate(&at_home, bare.linked, 0, nullptr, 0), 0);
        // Relocated by a loader that left the header as linked: the places say so.
        img.FillSites(actual, 2);
        const std::vector<uint8_t> before = img.bytes;
        sc_image image = img.Open();
        EXPECT_EQ(sc_image_relocate(&image, actual, 0, nullptr, 0), 0);
        EXPECT_EQ(img.bytes, before);
    }
}

TEST(ImageRelocation, RefusesDamagedTablesWithoutChangingAnything) {
    const std::vector<Damage> cases = {
        {"no table", [](Image& i) { i.Directory(5, 0, 0); }, "has no relocations"},
        {"stripped", [](Image& i) { i.Put(0x56, 2, 0x0103); }, "has no relocations"},
        {"table past the end", [](Image& i) { i.Directory(5, kSize - 8, 16); },
         "runs out of the image"},
        {"block shorter than its header", [](Image& i) { i.Put(kRelocs + 12 + 4, 4, 4); },
         "claims 4 bytes"},
        {"block longer than the table", [](Image& i) { i.Put(kRelocs + 12 + 4, 4, 0x100); },
         "claims 256 bytes"},
        {"odd block", [](Image& i) { i.Put(kRelocs + 12 + 4, 4, 9); }, "claims 9 bytes"},
        {"header cut short", [](Image& i) { i.Directory(5, kRelocs, 12 + 4); }, "cut short"},
        {"place past the end",
         [](Image& i) {
             i.Put(kRelocs + 12, 4, kSize - 0x1000);
             i.Put(kRelocs + 20, 2, i.Site(0) | 0xFFE);
         },
         "outside the image"},
        {"unknown kind", [](Image& i) { i.Put(kRelocs + 20, 2, 0x5010); }, "kind 5"},
        {"place inside the table itself",
         [](Image& i) {
             i.Put(kRelocs + 12, 4, kRelocs & ~0xFFFu);
             i.Put(kRelocs + 20, 2, i.Site(0) | (kRelocs & 0xFFF));
         },
         "would change the relocation table"},
    };
    // A sound first block, then the one a case damages.
    auto blocks = [](Image& img) {
        img.FillSites(img.linked, 2);
        img.Relocations({{kSites, {img.Site(0), 0}}, {kSites, {img.Site(1), 0, 0}}});
    };
    ExpectRefusals(cases, blocks, [](Image& img, sc_image& image, char* error, size_t size) {
        return sc_image_relocate(&image, img.linked + 0x10000, 0, error, size);
    });
}

TEST(ImageHeaders, RefusesWhatIsNotAWholeImage) {
    struct Case {
        const char* what;
        void (*damage)(Image&);
        uint64_t mapped;
        const char* reason;
    };
    const Case cases[] = {
        {"no MZ", [](Image& i) { i.bytes[0] = 'X'; }, kSize, "no DOS header"},
        {"too small", [](Image&) {}, 63, "no DOS header"},
        {"PE header past the end", [](Image& i) { i.Put(0x3C, 4, 0xFFFFFFF0u); }, kSize,
         "no PE header"},
        {"PE header at the very end", [](Image& i) { i.Put(0x3C, 4, kSize - 8); }, kSize,
         "no PE header"},
        {"no signature", [](Image& i) { i.bytes[0x41] = 'X'; }, kSize, "no PE header"},
        {"optional header short", [](Image& i) { i.Put(0x54, 2, 90); }, kSize, "cut short"},
        {"optional header past the end", [](Image& i) { i.Put(0x54, 2, 0xFFFF); }, kSize,
         "cut short"},
        {"unknown kind", [](Image& i) { i.Put(kOptional, 2, 0x107); }, kSize, "kind 0x107"},
        {"more than mapped", [](Image&) {}, kSize - 1, "does not fit"},
        {"smaller than its headers", [](Image& i) { i.Put(kOptional + 56, 4, 0x100); }, kSize,
         "does not fit"},
    };
    for (bool wide : {false, true})
        for (const Case& c : cases) {
            Image img(wide);
            c.damage(img);
            sc_image image;
            char error[200] = "";
            EXPECT_EQ(sc_image_open(&image, img.bytes.data(), c.mapped, error, sizeof error), -1)
                << c.what;
            EXPECT_NE(std::string(error).find(c.reason), std::string::npos)
                << c.what << ": " << error;
        }
}

// Libraries "one.dll" and "two.dll"; every function but "Missing" exists.
struct Resolver {
    std::map<std::string, int> handles{{"one.dll", 1}, {"two.dll", 2}};
    std::vector<std::string> asked;
    sc_import_resolver Callbacks() { return {this, Library, Function}; }
    static void* Library(void* context, const char* name) {
        auto& self = *static_cast<Resolver*>(context);
        auto found = self.handles.find(name);
        return found == self.handles.end() ? nullptr : &found->second;
    }
    static uint64_t Function(void* context, void* library, const char* name, uint16_t ordinal) {
        auto& self = *static_cast<Resolver*>(context);
        self.asked.push_back(name ? name : "#" + std::to_string(ordinal));
        if (name && std::strcmp(name, "Missing") == 0)
            return 0;
        return 0x70000000u + 0x1000u * *static_cast<int*>(library) + self.asked.size();
    }
};

// Imports: one.dll Alpha, #7, Beta; two.dll Gamma (or the name given). Name table at
// +0x100/+0x200, slots at +0x180/+0x280, names from +0x300.
void Imports(Image& img, const char* last = "Gamma", bool name_table = true) {
    const unsigned w = img.Width();
    const uint64_t ordinal = (uint64_t)1 << (w * 8 - 1);
    uint32_t text = kImports + 0x300;
    auto name = [&](const char* s) {
        const uint32_t at = text;
        std::memcpy(&img.bytes[at + 2], s, std::strlen(s) + 1);
        text += 0x20;
        return at;
    };
    auto library = [&](const char* s) {
        const uint32_t at = text;
        std::memcpy(&img.bytes[at], s, std::strlen(s) + 1);
        text += 0x20;
        return at;
    };
    const uint64_t one[] = {name("Alpha"), ordinal | 7, name("Beta")};
    const uint64_t two[] = {name(last)};
    for (unsigned i = 0; i < 3; ++i) {
        img.Put(kImports + 0x100 + i * w, w, one[i]);
        img.Put(kImports + 0x180 + i * w, w, one[i]);
    }
    img.Put(kImports + 0x200, w, two[0]);
    img.Put(kImports + 0x280, w, two[0]);
    img.Put(kImports + 0, 4, name_table ? kImports + 0x100 : 0);
    img.Put(kImports + 12, 4, library("one.dll"));
    img.Put(kImports + 16, 4, kImports + 0x180);
    img.Put(kImports + 20, 4, name_table ? kImports + 0x200 : 0);
    img.Put(kImports + 32, 4, library("two.dll"));
    img.Put(kImports + 36, 4, kImports + 0x280);
    img.Directory(1, kImports, 60);
}

TEST(ImageImports, BindsWhatIsUnboundOnceAndLeavesBoundSlots) {
    for (bool wide : {false, true}) {
        Image img(wide);
        Imports(img);
        const unsigned w = img.Width();
        img.Put(kImports + 0x180 + w, w, 0x12345678); // the loader bound #7 already
        Resolver names;
        sc_import_resolver resolver = names.Callbacks();
        sc_image image = img.Open();
        char error[200] = "";
        ASSERT_EQ(sc_image_bind(&image, &resolver, 0, error, sizeof error), 3) << error;
        ASSERT_EQ(sc_image_bind(&image, &resolver, 1, error, sizeof error), 3) << error;
        EXPECT_EQ(names.asked,
                  (std::vector<std::string>{"Alpha", "Beta", "Gamma", "Alpha", "Beta", "Gamma"}));
        EXPECT_EQ(img.Get(kImports + 0x180, w), 0x70001004u);
        EXPECT_EQ(img.Get(kImports + 0x180 + w, w), 0x12345678u);
        EXPECT_EQ(img.Get(kImports + 0x180 + 2 * w, w), 0x70001005u);
        EXPECT_EQ(img.Get(kImports + 0x280, w), 0x70002006u);
        EXPECT_EQ(sc_image_bind(&image, &resolver, 0, error, sizeof error), 0);
    }
}

TEST(ImageImports, WithoutANameTableBindsSlotsThatStillNameAFunction) {
    for (bool wide : {false, true}) {
        Image img(wide);
        Imports(img, "Gamma", false);
        const unsigned w = img.Width();
        img.Put(kImports + 0x180 + 2 * w, w, 0x7FFF0000u); // bound: not a name in the image
        Resolver names;
        sc_import_resolver resolver = names.Callbacks();
        sc_image image = img.Open();
        ASSERT_EQ(sc_image_bind(&image, &resolver, 1, nullptr, 0), 2);
        EXPECT_EQ(names.asked, (std::vector<std::string>{"Alpha", "Gamma"}));
        EXPECT_EQ(img.Get(kImports + 0x180 + 2 * w, w), 0x7FFF0000u);
    }
}

TEST(ImageImports, RefusesBeforeWritingWhenSomethingIsMissingOrDamaged) {
    const std::vector<Damage> cases = {
        {"missing function", [](Image& i) { Imports(i, "Missing"); },
         "two.dll has no function Missing"},
        {"missing library",
         [](Image& i) {
             Imports(i);
             std::memcpy(&i.bytes[kImports + 0x360], "six.dll", 8);
         },
         "six.dll cannot be loaded"},
        {"descriptors past the end",
         [](Image& i) {
             Imports(i);
             // A sound descriptor in the last bytes, and no room for the next one.
             const uint32_t d = kSize - 30;
             i.Directory(1, d, 40);
             i.Put(d, 4, kImports + 0x100);
             i.Put(d + 12, 4, kImports + 0x360);
             i.Put(d + 16, 4, kImports + 0x180);
         },
         "runs out of the image"},
        {"library name past the end",
         [](Image& i) {
             Imports(i);
             i.Put(kImports + 12, 4, kSize + 4);
         },
         "not a text"},
        {"library name not ended",
         [](Image& i) {
             Imports(i);
             i.Put(kImports + 12, 4, kSize - 3);
             std::memset(&i.bytes[kSize - 3], 'x', 3);
         },
         "not a text"},
        {"slots past the end",
         [](Image& i) {
             Imports(i);
             i.Put(kImports + 36, 4, kSize - 2);
         },
         "run out of the image"},
        {"function name outside",
         [](Image& i) {
             Imports(i);
             i.Put(kImports + 0x200, i.Width(), kSize - 1);
         },
         "no readable name"},
        {"bad ordinal",
         [](Image& i) {
             Imports(i);
             i.Put(kImports + 0x100 + i.Width(), i.Width(),
                   ((uint64_t)1 << (i.Width() * 8 - 1)) | 0x10007);
         },
         "bad ordinal"},
    };
    ExpectRefusals(
        cases, [](Image&) {},
        [](Image&, sc_image& image, char* error, size_t size) {
            Resolver names;
            sc_import_resolver resolver = names.Callbacks();
            return sc_image_bind(&image, &resolver, 0, error, size);
        });
}

} // namespace
