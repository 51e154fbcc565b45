// The Credits scene: load builds the sprite, material, emitter and relief; each frame
// updates the relief from the scrolled picture, emits and ages the particles and draws them.
#include "demo/credits.h"

#include "app/demo_app.h"
#include "app/diagnostics.h"
#include "render/render_driver.h"
#include "scene/image_loader.h"
#include "scene/particle_sprite.h"
#include "scene/rand.h"
#include "scene/texture_registry.h"

namespace {

// Relief plane: 760 units across, 500 units up and 700 units deep over the 25 rows.
constexpr float kColumnStep = 760.0f / 60.0f;
constexpr float kRowRise = 500.0f / 25.0f;
constexpr float kRowDepth = 700.0f / 25.0f;
constexpr float kLift = 200.0f; // height of a white pixel above the plane
// Particles drift left exactly as fast as the relief scrolls.
constexpr float kDrift = kColumnStep * kReliefScrollRate;

constexpr ColorF kBrightSource{0.0f, 1.0f, 0.4f, 0.1f};
constexpr ColorF kDarkSource{0.0f, 0.3f, 0.3f, 0.3f};
constexpr ColorF kFadedOut{1.0f, 0.0f, 0.0f, 0.0f};

constexpr const char* kSpriteName = "CreditsParticleTexture";
constexpr const char* kMaterialName = "CreditsParticleMat";

Material* buildParticleMaterial() {
    int existed = 0;
    TextureImage* sprite = gRegistry->acquireTexture(&existed, makeKey(kSpriteName));
    Image image(1);
    image.allocate(64, 64, 41);
    renderParticleSprite(image, 0.2f, 0.4f, 1.0f);
    sprite->setImage(image, 0);

    MaterialColours colours{};
    colours.ambient = colours.diffuse = colours.emissive = ColorF{1, 1, 1, 1};
    RenderStateBlock states;
    states.flags = kStateAlphaBlend | kStateGouraudLighting;
    states.sourceBlend = states.destinationBlend = 2; // ONE, ONE: additive
    states.stageCount = 1;
    states.textureIndex[0] = 0;
    states.colourArg1[0] = 6; // the stage's texture
    states.colourArg2[0] = 4; // diffuse
    states.colourOp[0] = 4;   // modulate
    states.stages[0].magFilter = states.stages[0].minFilter = states.stages[0].mipFilter = 2;
    states.textureCount = 1;
    Material* material = gRegistry->acquireMaterial(&existed, makeKey(kMaterialName));
    material->colours = &colours;
    material->states = &states;
    material->texture = sprite;
    material->secondTexture = nullptr;
    gRegistry->commitMaterial(*material);
    return material;
}

} // namespace

int ReliefEmitter::spawn(float, Vec3* position, Vec3* direction) {
    const ReliefPoint& p = points[size_t(demo_random::rand() % (columns * rows))];
    const float r = float(demo_random::rand()) / 32768.0f;
    *position = p.position + Vec3{0, kRowRise, kRowDepth} * r;
    startColour = p.colour;
    endColour = kFadedOut;
    const float gz = float(demo_random::rand() - 16384);
    const float gy = float(demo_random::rand() - 16384);
    const float gx = float(demo_random::rand() - 16384);
    *direction = {gx * 10.0f / 16384.0f - kDrift, gy * 10.0f / 16384.0f, gz * 10.0f / 16384.0f};
    return 0;
}

int CreditsPart::load() {
    scene.flags = kSceneCreated;
    scene.allocateLights(1);
    scene.lights[0].enabled = 0;
    scene.registry = gRegistry;
    scene.ambient = ColorF{1, 1, 1, 1};

    projection.init(&gApp->frameBuffer, 75, 10, 100000);
    projection.mode = 2;
    camera.init(&projection, 0);
    camera.lookAt(Vec3{0, 300, -800}, Vec3{0, 0, 100}, 0);
    scene.camera = &camera;

    Material* material = buildParticleMaterial();

    reliefEmitter.points.assign(size_t(kReliefColumns * kReliefRows), ReliefPoint{});
    reliefEmitter.setParameters(EmitterParameters{1.7f, 1.0f, 0.3f, 0.0f, 40.0f, 10.0f, 10.0f, 0.8f,
                                                  15000, ColorF{1.0f, 0.85f, 0.85f, 0.85f},
                                                  kFadedOut});
    reliefEmitter.baseDirection = Vec3{0, 1, 0};
    reliefEmitter.speed = 10;
    reliefEmitter.spread = 10;
    reliefEmitter.particles.init(kCreditsParticleCapacity, 1);
    reliefEmitter.particles.groupMaterials[0] = material;
    reliefEmitter.attach(&reliefEmitter.particles,
                         kEmitFromSpawn | kEmitBlendColour | kEmitRandomSize);

    ImageFile file(gApp);
    const bool loaded = file.open("data\\credits.jpg", 0) == 0 && loadJpeg(creditsImage, file) == 0;
    file.close();
    if (!loaded) {
        formatReport(1, "%s\n", kErrorOpening);
        creditsImage.release(); // an empty picture reads as black
    }
    return 0;
}

void CreditsPart::updateRelief(float localTime) {
    const uint32_t scroll = uint32_t(localTime * kReliefScrollRate);
    const Image& img = creditsImage;
    const bool readable = img.pixels != nullptr && img.width > 0 && img.bytesPerPixel > 0;
    ReliefPoint* point = reliefEmitter.points.data();
    for (int i = 0; i < kReliefRows; ++i) {
        const uint32_t row = uint32_t(kReliefRows - 1 - i);
        const uint8_t* line =
            readable && row < img.height ? img.pixels + size_t(row) * img.pitch : nullptr;
        for (int j = 0; j < kReliefColumns; ++j, ++point) {
            float b = 0.0f;
            if (line != nullptr) {
                const uint32_t column = (scroll + uint32_t(j)) % img.width;
                b = float(line[size_t(column) * img.bytesPerPixel]) / 255.0f;
            }
            point->position = {float(j) * kColumnStep - 380.0f,
                               float(i) * kRowRise + kLift * b - 280.0f,
                               float(i) * kRowDepth - 400.0f};
            point->zero = 0.0f;
            point->colour = b > 0.5f ? kBrightSource : kDarkSource;
        }
    }
}

int CreditsPart::render(float localTime, float deltaTime) {
    RenderDriver* driver = gDriver;
    const ColorF black{0, 0, 0, 0};
    driver->clear(driver, &black);
    driver->clearDepth(1.0f);
    updateRelief(localTime);
    reliefEmitter.emit(localTime);
    reliefEmitter.step(localTime, deltaTime);
    if (driver->beginScene(driver, &scene) != 0) {
        return 1;
    }
    reliefEmitter.particles.draw();
    return driver->endScene(driver) != 0 ? 1 : 0;
}
