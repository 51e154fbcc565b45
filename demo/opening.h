// The Opening: a sphere-mapped flickering background, five glowing tubes along one long
// random curve, three logos zooming in through a swirl, fades and white flashes. Every frame
// is a function of the local time alone; the part keeps no state between frames.
#pragma once

#include "demo/demo_part.h"
#include "render/grid_renderer.h"
#include "scene/camera.h"

#include <memory>
#include <vector>

struct Material;
struct TriMesh;
struct TriMeshObj;

class Opening final : public DemoPart {
public:
    explicit Opening(float duration);
    ~Opening() override;

    int load() override;
    int render(float localTime, float deltaTime) override;
    int release() override;

    // The logo window active at t (the last of those whose interval holds t), -1 for none.
    static int activeLogoWindow(float t);
    // Opacity of the logo of window w at t (t inside the window).
    static float logoAlpha(int window, float t);

private:
    void rewriteLogoGrid(int window, float t);
    void rewriteBackground(float t);
    void drawOverlays(float t);
    void drawTubeInView();

    GridRenderer logoGrid;
    GridRenderer backgroundGrid;
    Material* logoMaterials[3] = {nullptr, nullptr, nullptr}; // vrell, ztr, @$demo
    std::unique_ptr<TriMesh> tubeMesh;
    std::unique_ptr<TriMeshObj> tubeObject;
    // The tube in runs of rings, each with a sphere around its vertices (the tube's own
    // coordinates): only the runs that reach the view are drawn.
    struct TubeRun {
        Vec3 centre;
        float radius;
    };
    std::vector<TubeRun> tubeRuns;
    Projection projection{};
    Camera camera{};
    Scene scene;

    // Per-vertex values of the grids that never change: the background's ray directions,
    // and both grids' polar radius and the cosine and sine of their fixed angle term.
    struct BackgroundRay {
        float dx, dy, dz;
        float radius, cosAngle, sinAngle;
    };
    struct LogoPoint {
        float ub0, vb0; // e - 0.5 and f - 0.5
        float e, f;
        float radiusSquared, cosAngle, sinAngle;
    };
    std::unique_ptr<BackgroundRay[]> backgroundRays;
    std::unique_ptr<LogoPoint[]> logoPoints;
};
