#!/usr/bin/env bash
# Re-renders the regression frames in tests/demo/frames/ on purpose (after a deliberate change to
# what a scene shows). Look at the new pictures before committing them.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target regression_frames -j"$(nproc)" >/dev/null
# One process a scene, as CTest runs them: a scene's first frames may read what earlier
# scenes left in shared render-target depth surfaces.
for scene in opening second_part cables credits domino koch tree end; do
  DEMO_REFRESH_FRAMES=1 SDL_AUDIODRIVER=dummy EGL_PLATFORM=surfaceless \
    build/tests/demo/frames/regression_frames --gtest_filter="*/$scene" >/dev/null
done
echo "refreshed: tests/demo/frames/*.png"
