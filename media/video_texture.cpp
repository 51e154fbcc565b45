#include "media/video_texture.h"

#include "media/mpeg/video_api.h"
#include "platform/files.h"
#include "platform/timer.h"
#include "scene/image.h"
#include "scene/texture_registry.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// A video that cannot be opened shows this neutral grey, opaque, and the part plays on.
constexpr uint32_t kMissingVideoPixel = 0x00808080u;

uint32_t powerOfTwoSide(int n) {
    return n <= 1 ? 1u : 1u << ceilLog2(float(n));
}

} // namespace

VideoTexture::VideoTexture() {
    videoDecoder().setQuiet(true);
}

VideoTexture::~VideoTexture() {
    if (started_) {
        closeVideo();
    }
    delete[] decoder;
    delete[] fileName;
}

void VideoTexture::open(const char* name, int width, int height, int framesPerSecond,
                        uint32_t key) {
    delete[] fileName;
    size_t n = std::strlen(name) + 1;
    fileName = new char[n];
    std::memcpy(fileName, name, n);
    fps = framesPerSecond > 0 ? framesPerSecond : 1;
    colourKey = key;
    width_ = std::max(width, 1);
    height_ = std::max(height, 1);
    int existed = 0;
    texture = gRegistry->acquireTexture(&existed, makeKey(name));
    texture->allocate(powerOfTwoSide(width_), powerOfTwoSide(height_), 41, 0);
    texture->flags |= kTextureDynamic;
    if (texture->pixels != nullptr) {
        // Until the first picture arrives the texture shows transparent black.
        std::memset(texture->pixels, 0, size_t(texture->width) * texture->height * 4);
    }
    uScale = float(width_) / float(texture->width);
    vScale = float(height_) / float(texture->height);
}

void VideoTexture::update() {
    if (texture == nullptr) {
        return;
    }
    uint32_t now = platform::timeGetTime();
    if (!started_) {
        started_ = true;
        startTick = now;
        std::string path = platform::resolveDataPath(fileName);
        if (openVideo(path.c_str()) != 0) {
            // Never write more than the texture holds, whatever the stream claims.
            width_ = std::min(videoWidth(), int(texture->width));
            height_ = std::min(videoHeight(), int(texture->height));
            stride_ = videoWidth();
            decoder = new uint32_t[size_t(videoWidth()) * size_t(videoHeight())]();
            setOutput(decoder, 1);
        } else {
            stride_ = width_;
            decoder = new uint32_t[size_t(width_) * size_t(height_)];
            std::fill_n(decoder, size_t(width_) * size_t(height_), kMissingVideoPixel);
        }
    } else {
        uint32_t period = uint32_t(1000 / fps);
        if (period != 0 && uint32_t(framesShown) >= (now - startTick) / period) {
            return;
        }
    }
    decodeNextPicture();
    uploadFrame(decoder);
    ++framesShown;
}

uint8_t VideoTexture::keyAlpha(uint32_t s, uint32_t key) {
    if (key == 0) {
        return 255;
    }
    int d = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        d += std::abs(int((s >> shift) & 0xFF) - int((key >> shift) & 0xFF));
    }
    // The ramp d * 255 / 50 reaches 255 at d = 50; beyond it stays capped at 255.
    return uint8_t(std::min(255, d * 255 / 50));
}

void VideoTexture::uploadFrame(const uint32_t* pixels) {
    if (texture == nullptr || pixels == nullptr || texture->lockFn == nullptr ||
        texture->lockFn(texture, nullptr, 1) != 0) {
        return;
    }
    // Source rows are as wide as the decoded video; only the part that fits is copied.
    int sourceWidth = stride_ > 0 ? stride_ : width_;
    for (int y = 0; y < height_; ++y) {
        const uint32_t* src = pixels + size_t(y) * size_t(sourceWidth);
        auto* dst = reinterpret_cast<uint32_t*>(texture->lockedBits +
                                                size_t(y) * size_t(texture->lockedPitch));
        for (int x = 0; x < width_; ++x) {
            uint32_t s = src[x];
            dst[x] = (s & 0x00FFFFFFu) | (uint32_t(keyAlpha(s, colourKey)) << 24);
        }
    }
    texture->unlockFn(texture);
}
