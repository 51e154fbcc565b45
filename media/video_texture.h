// VideoTexture: an MPEG video file bound to a dynamic texture. The part calls update() every
// frame; a picture is decoded and uploaded whenever the tick count says one is due (never
// more than one per call, never skipping), with alpha from an optional colour key.
#pragma once

#include <cstdint>

struct TextureImage;

class VideoTexture {
public:
    VideoTexture();
    ~VideoTexture();
    VideoTexture(const VideoTexture&) = delete;
    VideoTexture& operator=(const VideoTexture&) = delete;

    // Files the texture under fileName (format 41, no mips, dynamic); the file is opened on
    // the first update. colourKey 0 means opaque; else its bytes 0-2 are blue, green, red.
    void open(const char* fileName, int width, int height, int fps, uint32_t colourKey);
    void update();
    // One picture of videoWidth x videoHeight B, G, R, 0 pixels into the locked texture.
    void uploadFrame(const uint32_t* pixels);

    // Alpha for a pixel against the key (255 when there is no key).
    static uint8_t keyAlpha(uint32_t pixel, uint32_t colourKey);

    TextureImage* texture = nullptr;
    uint32_t* decoder = nullptr; // the decoder's output frame buffer
    float uScale = 0, vScale = 0;
    uint32_t startTick = 0;
    int framesShown = 0;
    char* fileName = nullptr;
    int fps = 0;
    uint32_t colourKey = 0;

private:
    bool started_ = false;       // startTick may legitimately be 0 on a virtual clock
    int width_ = 0, height_ = 0; // the picture size written to the texture
    int stride_ = 0;             // pixels per row of the output buffer
};
