#include "demo/sequencer.h"

#include "app/demo_app.h"
#include "demo/cables.h"
#include "demo/credits.h"
#include "demo/domino.h"
#include "demo/end.h"
#include "demo/koch.h"
#include "demo/opening.h"
#include "demo/second_part.h"
#include "demo/tree.h"
#include "render/render_driver.h"

DemoApp* gDemoApp = nullptr;
RenderDriver* gDemoDriver = nullptr;
Logger* gLogger = nullptr;

namespace {

template <class Part> std::unique_ptr<DemoPart> make(float duration) {
    return std::make_unique<Part>(duration);
}

// NOTE: 0.001 is a single-precision constant; the product is formed in double precision
// and then rounded to float, which decides on which side of a boundary a frame falls.
constexpr float kMillisecond = 0.001f;

} // namespace

const std::vector<PartEntry>& partList() {
    static const std::vector<PartEntry> list = {
        {"Opening", 37.8f, make<Opening>},
        {"Second part", 30.0f, make<SecondPart>},
        {"Cables and greetings", 30.0f, make<CablesPart>},
        {"Credits", 17.2f, make<CreditsPart>},
        {"Domino rally", 44.0f, make<DominoRallyPart>},
        {"Koch surface", 30.0f, make<KochPart>},
        {"Tree", 30.0f, make<TreePart>},
        {"End", 31.0f, make<EndPart>},
    };
    return list;
}

SequencerState& sequencer() {
    static SequencerState state;
    return state;
}

double partStartFor(double t) {
    double sum = 0.0;
    for (const PartEntry& entry : partList()) {
        if (t < sum + entry.duration) {
            return sum;
        }
        sum += entry.duration;
    }
    return sum - partList().back().duration;
}

void constructParts() {
    SequencerState& s = sequencer();
    s.parts.clear();
    for (const PartEntry& entry : partList()) {
        s.parts.push_back(entry.create(entry.duration));
    }
    s.partCount = uint32_t(s.parts.size());
}

int loadParts() {
    for (auto& part : sequencer().parts) {
        int result = part->load();
        if (result != 0) {
            return result;
        }
    }
    return 0;
}

void resetSequencer() {
    SequencerState& s = sequencer();
    s.parts.clear();
    s.partCount = 0;
    s.firstFrame = true;
    s.lastTime = 0;
    s.frameCount = 0;
    s.mouseLookRequest = false;
    s.startMs = 0;
}

bool renderPartAt(float t, float delta) {
    double sum = 0.0;
    for (auto& part : sequencer().parts) {
        if (sum <= t && t < sum + part->duration) {
            float localTime = float(t - sum);
            float deltaTime = delta > localTime ? localTime : delta;
            part->render(localTime, deltaTime);
            return true;
        }
        sum += part->duration;
    }
    gDemoApp->services.quit(0);
    return false;
}

void displayFrame() {
    SequencerState& s = sequencer();
    DemoApp* app = gDemoApp;
    FrameBuffer* fb = app->services.getFrameBuffer();
    uint64_t now;
    float delta;
    if (s.firstFrame) {
        ColorF black{0, 0, 0, 0};
        gDemoDriver->clear(gDemoDriver, &black);
        now = app->services.getTime();
        delta = 0.0f;
        s.firstFrame = false;
    } else {
        now = app->services.getTime();
        delta = float(double(uint32_t(uint32_t(now) - s.lastTime)) * double(kMillisecond));
    }
    s.lastTime = uint32_t(now);
    float t = float(double(uint32_t(now)) * double(kMillisecond));
    renderPartAt(t, delta);
    if (s.beforePresent != nullptr) {
        s.beforePresent();
    }
    if (app->services.present() != 0) {
        gLogger->report(0, "displayFrame() error");
        return;
    }
    ColorF black{0, 0, 0, 0};
    fb->clearColour(fb, &black, 0);
    gDemoDriver->clearDepth(1.0f);
    s.frameCount += 1;
}

int onKeyHook(int virtualKey, int down) {
    if (virtualKey == 27 && down != 0) {
        gDemoApp->services.quit(0);
        return virtualKey;
    }
    if (virtualKey == 77 && down != 0) {
        sequencer().mouseLookRequest = true;
        return 1;
    }
    return virtualKey;
}
