#include "scene/texture_registry.h"

#include "app/frame_buffer.h"
#include "scene/image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

TextureRegistry* gRegistry = nullptr;

namespace {

bool keysEqual(const TextureKey& a, const TextureKey& b) {
    if (a.id != b.id) {
        return false;
    }
    if (a.name == nullptr || b.name == nullptr) {
        return a.name == b.name;
    }
    return std::strcmp(a.name, b.name) == 0;
}

char* copyName(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    size_t n = std::strlen(name) + 1;
    char* copy = new char[n];
    std::memcpy(copy, name, n);
    return copy;
}

// Owners for the two kinds of block filed in the material-block list.
struct OwnedBlock {
    virtual ~OwnedBlock() = default;
};
template <class Block> struct OwnedBlockOf final : OwnedBlock { Block block; };

void deleteTexture(void* item) {
    auto* t = static_cast<TextureImage*>(item);
    t->freePixels();
    delete t;
}
void deleteMaterial(void* item) {
    delete static_cast<Material*>(item);
}
void deleteBlock(void* item) {
    delete static_cast<OwnedBlock*>(item);
}

// Device texture argument values.
constexpr uint32_t kArgDiffuse = 0, kArgCurrent = 1, kArgTexture = 2, kArgFactor = 3,
                   kArgSpecular = 4, kArgTemp = 5;

} // namespace

TextureKey makeKey(const char* name) {
    return TextureKey{0, copyName(name)};
}

NamedNode* NamedList::find(const TextureKey& key) const {
    for (NamedNode* n = head; n != nullptr; n = n->next) {
        if (keysEqual(n->key, key)) {
            return n;
        }
    }
    return nullptr;
}

NamedNode* NamedList::append(void* item, const TextureKey& key) {
    auto* node = new NamedNode{item, tail, nullptr, {key.id, copyName(key.name)}};
    if (key.id == 0 && key.name == nullptr) {
        node->key.id = ++lastAutoId;
    }
    (tail != nullptr ? tail->next : head) = node;
    tail = node;
    ++count;
    return node;
}

void NamedList::clear(bool deleteItems) {
    NamedNode* n = head;
    while (n != nullptr) {
        NamedNode* next = n->next;
        if (deleteItems && deleteItem != nullptr && n->item != nullptr) {
            deleteItem(n->item);
        }
        delete[] n->key.name;
        delete n;
        n = next;
    }
    head = tail = cursor = nullptr;
    count = 0;
}

RenderStateBlock::RenderStateBlock() {
    std::memset(static_cast<void*>(this), 0, sizeof *this);
    for (StageSampling& s : stages) {
        s.addressU = 1;
        s.addressV = 1;
    }
}

uint32_t textureArgument(uint32_t code) {
    switch (code) {
    case 0:
    case 1:
    case 2:
    case 3:
        return kArgFactor;
    case 5:
        return kArgSpecular;
    case 6:
        return kArgTexture;
    case 7:
        return kArgCurrent;
    case 8:
        return kArgTemp;
    default:
        return kArgDiffuse;
    }
}

namespace {
uint32_t log2Of(uint32_t v) {
    uint32_t n = 0;
    while ((1u << n) < v) {
        ++n;
    }
    return n;
}
bool isPowerOfTwo(uint32_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}
} // namespace

void TextureImage::freePixels() {
    std::free(pixels);
    pixels = nullptr;
    for (uint8_t*& level : levels) {
        level = nullptr;
    }
}

int TextureImage::allocate(uint32_t w, uint32_t h, uint32_t fmt, int withMips) {
    if (!isPowerOfTwo(w) || !isPowerOfTwo(h)) {
        return 1;
    }
    width = w;
    height = h;
    format = fmt;
    log2Width = log2Of(w);
    log2Height = log2Of(h);
    levelCount = (withMips != 0 ? std::min(log2Width, log2Height) : 0) + 1;
    size_t bpp = bytesPerPixelOf(fmt);
    size_t total = 0;
    for (uint32_t i = 0; i < levelCount; ++i) {
        total += size_t(w >> i) * (h >> i) * bpp;
    }
    freePixels();
    pixels = static_cast<uint8_t*>(std::malloc(total != 0 ? total : 1));
    if (pixels == nullptr) {
        return 1;
    }
    size_t offset = 0;
    for (uint32_t i = 0; i < levelCount; ++i) {
        levels[i] = pixels + offset;
        offset += size_t(w >> i) * (h >> i) * bpp;
    }
    return 0;
}

int TextureImage::setImage(const Image& image, int withMips) {
    if (allocate(image.width, image.height, image.format, withMips) != 0) {
        return 1;
    }
    size_t rowBytes = size_t(image.width) * bytesPerPixelOf(image.format);
    for (uint32_t y = 0; y < image.height; ++y) {
        std::memcpy(levels[0] + y * rowBytes, image.pixels + size_t(y) * image.pitch, rowBytes);
    }
    return buildMipLevels();
}

int TextureImage::buildMipLevels() {
    for (uint32_t i = 1; i < levelCount; ++i) {
        uint32_t w = width >> i, h = height >> i;
        uint32_t sw = width >> (i - 1);
        if (format == 40 || format == 41) {
            auto* src = reinterpret_cast<const uint32_t*>(levels[i - 1]);
            auto* dst = reinterpret_cast<uint32_t*>(levels[i]);
            for (uint32_t y = 0; y < h; ++y) {
                for (uint32_t x = 0; x < w; ++x) {
                    const uint32_t* s = src + size_t(2 * y) * sw + 2 * x;
                    uint32_t w0 = s[0], w1 = s[1], w2 = s[sw], w3 = s[sw + 1];
                    dst[size_t(y) * w + x] =
                        ((((w0 & 0x03030303u) + (w1 & 0x03030303u) + (w2 & 0x03030303u) +
                           (w3 & 0x03030303u) + 0x02020202u) >>
                          2) &
                         0x03030303u) +
                        ((w0 >> 2) & 0x3F3F3F3Fu) + ((w1 >> 2) & 0x3F3F3F3Fu) +
                        ((w2 >> 2) & 0x3F3F3F3Fu) + ((w3 >> 2) & 0x3F3F3F3Fu);
                }
            }
        } else if (format == 24) {
            auto* src = reinterpret_cast<const uint16_t*>(levels[i - 1]);
            auto* dst = reinterpret_cast<uint16_t*>(levels[i]);
            for (uint32_t y = 0; y < h; ++y) {
                for (uint32_t x = 0; x < w; ++x) {
                    const uint16_t* s = src + size_t(2 * y) * sw + 2 * x;
                    uint32_t w0 = s[0], w1 = s[1], w2 = s[sw], w3 = s[sw + 1];
                    dst[size_t(y) * w + x] =
                        uint16_t(((((w0 & 0x1863u) + (w1 & 0x1863u) + (w2 & 0x1863u) +
                                    (w3 & 0x1863u) + 0x1042u) >>
                                   2) &
                                  0x1863u) +
                                 ((w0 >> 2) & 0x39E7u) + ((w1 >> 2) & 0x39E7u) +
                                 ((w2 >> 2) & 0x39E7u) + ((w3 >> 2) & 0x39E7u));
                }
            }
        }
    }
    return 0;
}

TextureRegistry::TextureRegistry()
    : textures(deleteTexture), materials(deleteMaterial), materialBlocks(deleteBlock),
      unused(deleteBlock) {}

TextureRegistry::~TextureRegistry() {
    textures.clear(true);
    materials.clear(true);
    materialBlocks.clear(true);
    unused.clear(true);
}

TextureImage* TextureRegistry::acquireTexture(int* existed, TextureKey key) {
    TextureImage* result = nullptr;
    NamedNode* node = (key.id != 0 || key.name != nullptr) ? textures.find(key) : nullptr;
    if (node != nullptr && node->item != nullptr) {
        *existed = 1;
        result = static_cast<TextureImage*>(node->item);
    } else {
        auto* t = new TextureImage{};
        textures.append(t, key);
        *existed = 0;
        result = t;
    }
    delete[] key.name;
    return result;
}

Material* TextureRegistry::acquireMaterial(int* existed, TextureKey key) {
    Material* result = nullptr;
    NamedNode* node = (key.id != 0 || key.name != nullptr) ? materials.find(key) : nullptr;
    if (node != nullptr && node->item != nullptr) {
        *existed = 1;
        result = static_cast<Material*>(node->item);
    } else {
        auto* m = new Material{};
        materials.append(m, key);
        *existed = 0;
        result = m;
    }
    delete[] key.name;
    return result;
}

void TextureRegistry::commitMaterial(Material& material) {
    auto* colours = new OwnedBlockOf<MaterialColours>{};
    colours->block = *material.colours;
    materialBlocks.append(colours, TextureKey{0, nullptr});
    auto* states = new OwnedBlockOf<RenderStateBlock>{};
    states->block = *material.states;
    materialBlocks.append(states, TextureKey{0, nullptr});
    material.colours = &colours->block;
    material.states = &states->block;
}

TextureImage* TextureRegistry::firstTexture() {
    textures.cursor = textures.head;
    return textures.cursor != nullptr ? static_cast<TextureImage*>(textures.cursor->item) : nullptr;
}

TextureImage* TextureRegistry::nextTexture() {
    if (textures.cursor != nullptr) {
        textures.cursor = textures.cursor->next;
    }
    return textures.cursor != nullptr ? static_cast<TextureImage*>(textures.cursor->item) : nullptr;
}
