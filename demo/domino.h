// The Domino rally: dominoes on a half-pipe topple along the paths of a random maze while the
// camera rides down the pipe, then a flat field falls in six spiral arms whose faces show a
// picture; a warped full-view picture, pulses and flashes close the part. No physics: every
// domino's fall is a fixed rotation started at its precomputed topple time.
#pragma once

#include "demo/demo_part.h"
#include "demo/domino_fields.h"
#include "render/grid_renderer.h"
#include "scene/camera.h"
#include "scene/spline.h"
#include "scene/trimesh.h"

#include <memory>
#include <vector>

// Lighting falloff settings the scenes fill in; kept for the layout, read by nothing.
struct FalloffParams {
    float zRange, xRange, yRange;
    float scale, distance;
};

class DominoRallyPart final : public DemoPart {
public:
    explicit DominoRallyPart(float duration);
    ~DominoRallyPart() override;
    int load() override;
    int render(float localTime, float deltaTime) override;
    int release() override;

    // Camera position, target and roll for a local time (the ride blended into the keys).
    void updateCamera(float t);
    // Picture alpha factor for t > 30, and the pulse of the radial warp.
    static float pictureAlpha(float t);
    static float pulse(float t);
    // Alpha of the white flash at t, 0 for none.
    static float flashAlpha(float t);

    std::vector<std::unique_ptr<DominoRally>> fields; // maze, spiral
    Material* tunnelTextureMaterial = nullptr;
    TriMesh tunnelMesh;
    TriMeshObj tunnelObject;
    GridRenderer picture;
    Projection projection{};
    Camera camera{};
    Scene scene;
    FalloffParams falloff{};
    Spline eyePath;
    Spline targetPath;
    Spline rollCurve;
    std::unique_ptr<Spline> swayCurve;

private:
    void buildTunnel();
    void buildCameraCurves();
    void drawPicture(float t);
};
