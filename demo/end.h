// The End: a video of a drawing being made plays on a full-view grid whose border fades to
// black; from 11 to 12 s the finished drawing fades in over it and stays until the demo
// ends. The scene opens from white.
#pragma once

#include "demo/demo_part.h"
#include "media/video_texture.h"
#include "render/grid_renderer.h"
#include "scene/camera.h"

struct Material;

class EndPart final : public DemoPart {
public:
    explicit EndPart(float duration) : DemoPart(duration) {}
    int load() override;
    int render(float localTime, float deltaTime) override;
    int release() override { return 0; }

    // Opacity of the finished drawing at t (0 before 11 s, ramping to 1 at 12 s).
    static float stillAlpha(float t);
    // Alpha of the opening white overlay at t (none from 2 s on).
    static float whiteAlpha(float t);

private:
    void writeGrids();

    GridRenderer stillGrid;
    Material* stillMaterial = nullptr;
    GridRenderer videoGrid;
    VideoTexture video;
    Projection projection{};
    Camera camera{};
    Scene scene;
};
