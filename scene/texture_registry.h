// The texture registry: every texture and material of the demo filed under a name, so a part
// asking for "data\logo.jpg" gets the same record every time. Owns the records. Also holds
// the record formats shared with the render driver (TextureImage, Material, blocks).
#pragma once

#include "app/color.h"

#include <cstdint>

struct Image;

// A name key: id 0 and a name for everything the program files.
struct TextureKey {
    int id;
    char* name; // heap copy, or null
};

// Doubly linked list with a key per node; owns its items through a deleter.
struct NamedNode {
    void* item;
    NamedNode* prev;
    NamedNode* next;
    TextureKey key;
};

struct NamedList {
    int lastAutoId = 0;
    NamedNode* head = nullptr;
    NamedNode* tail = nullptr;
    NamedNode* cursor = nullptr;
    int count = 0;
    void (*deleteItem)(void* item) = nullptr;

    NamedList() = default;
    explicit NamedList(void (*deleter)(void*)) : deleteItem(deleter) {}
    ~NamedList() { clear(true); }
    NamedList(const NamedList&) = delete;
    NamedList& operator=(const NamedList&) = delete;

    NamedNode* find(const TextureKey& key) const;
    NamedNode* append(void* item, const TextureKey& key);
    void clear(bool deleteItems);
};

struct TextureImage;
using TextureLockFn = int (*)(TextureImage* texture, const int* rect, int flags);
using TextureUnlockFn = int (*)(TextureImage* texture);

constexpr int kMaxMipLevels = 16;

// Texture flag bits.
constexpr uint32_t kTextureCreated = 1u << 0;
constexpr uint32_t kTextureRenderTarget = 1u << 1;
constexpr uint32_t kTextureDynamic = 1u << 2;

struct TextureImage {
    TextureLockFn lockFn;
    TextureUnlockFn unlockFn;
    uint8_t* pixels; // all mip levels in one block; freed by the driver after upload
    uint32_t levelCount;
    uint8_t* levels[kMaxMipLevels];
    void* deviceTexture;            // null until created
    uint32_t width, height;         // level 0, powers of two
    uint32_t log2Width, log2Height; // their base-2 logarithms
    uint32_t format;                // pixel-format code
    uint32_t flags;
    uint8_t* lockedBits;
    int32_t lockedPitch;

    // 1 for a non-power-of-two size or a failed allocation; else 0.
    int allocate(uint32_t width, uint32_t height, uint32_t format, int withMips);
    int setImage(const Image& image, int withMips);
    int buildMipLevels();
    void freePixels();
};

// Material colour flag bits.
constexpr uint32_t kColoursSpecular = 1u << 0;

struct MaterialColours {
    uint32_t flags; // bit 0 specular on; bit 31 may skip when applied last
    ColorF ambient;
    ColorF diffuse;
    ColorF specular;
    ColorF emissive;
    float power;
};

struct StageSampling {
    uint32_t texCoordIndex;
    uint32_t addressU;
    uint32_t addressV;
    uint32_t reserved[5];
    uint32_t magFilter;
    uint32_t minFilter;
    uint32_t mipFilter;
    uint32_t reserved2;
    uint32_t maxMipLevel;
    uint32_t maxAnisotropy;
};

// Render-state block flag bits.
constexpr uint32_t kStateAlphaBlend = 1u << 0;
constexpr uint32_t kStateLightingMask = 0xC; // bits 2-3: the lighting mode below
constexpr uint32_t kStateUnlit = 0;
constexpr uint32_t kStateFlatLighting = 4;
constexpr uint32_t kStateGouraudLighting = 8; // 12 is Gouraud too
constexpr uint32_t kStateNoCulling = 1u << 6;
constexpr uint32_t kStateWireframe = 1u << 7;
constexpr uint32_t kStateVertexDiffuse = 1u << 8;

struct RenderStateBlock {
    uint32_t flags;
    uint32_t sourceBlend, destinationBlend;
    ColorF stageColours[4];
    uint32_t stageCount;
    int32_t textureIndex[4]; // 0 the material's texture, 1 its second texture, -1 none
    uint32_t colourArg1[4], colourArg2[4];
    uint32_t reserved1[4];
    uint32_t alphaArg1[4], alphaArg2[4];
    uint32_t reserved2[4];
    uint32_t colourOp[4], alphaOp[4];
    StageSampling stages[4];
    uint32_t textureCount;
    uint32_t reserved3[2];

    RenderStateBlock(); // zeroed, address u and v of every stage = wrap
};

struct Material {
    MaterialColours* colours;
    RenderStateBlock* states;
    TextureImage* texture;       // slot 0
    TextureImage* secondTexture; // slot 1
};

// Maps a system argument code to the device texture argument.
uint32_t textureArgument(uint32_t code);

class TextureRegistry {
public:
    TextureRegistry();
    ~TextureRegistry();
    TextureRegistry(const TextureRegistry&) = delete;
    TextureRegistry& operator=(const TextureRegistry&) = delete;

    // The key's name is released in both cases (the registry keeps its own copy).
    TextureImage* acquireTexture(int* existed, TextureKey key);
    Material* acquireMaterial(int* existed, TextureKey key);
    // Files registry-owned copies of the colour and state blocks and repoints the material.
    void commitMaterial(Material& material);
    TextureImage* firstTexture();
    TextureImage* nextTexture();

    NamedList textures;
    NamedList materials;
    NamedList materialBlocks;
    NamedList unused;
};

// Helpers: a key with a heap copy of the name.
TextureKey makeKey(const char* name);

extern TextureRegistry* gRegistry;
