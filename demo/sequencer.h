// The demo sequencer: the part list in playing order, the frame function installed as the
// application's paint hook, the key hook, and the client hooks that load and shut down.
#pragma once

#include "app/diagnostics.h"
#include "demo/demo_part.h"

#include <cstdint>
#include <memory>
#include <vector>

struct DemoApp;
struct RenderDriver;

// One row of the part list: the scene's name and duration, and how to build it.
struct PartEntry {
    const char* name;
    float duration;
    std::unique_ptr<DemoPart> (*create)(float duration);
};

// The eight parts in playing order (250 s in all).
const std::vector<PartEntry>& partList();

// Sequencer state.
struct SequencerState {
    std::vector<std::unique_ptr<DemoPart>> parts; // playing order
    uint32_t partCount = 0;
    bool firstFrame = true;
    uint32_t lastTime = 0;   // low 32 bits of the clock at the previous frame
    uint32_t frameCount = 0; // frames presented successfully
    bool mouseLookRequest = false;
    // Clock value playing started at (--start, or the first frame played on virtual time);
    // the frame-rate line at exit counts from it.
    uint64_t startMs = 0;
    // Called after the part has drawn and before present (frame dumps and capture).
    void (*beforePresent)() = nullptr;
};
SequencerState& sequencer();

// The client hooks (client.cpp), handed to the application at start-up by the entry point.
int clientInitialize();
int clientStart();
int clientStop();
void clientCleanup();

// Globals of the demo client: the application and the first registered driver, the same
// objects as gApp and gDriver (set in clientInitialize and clientStart).
extern DemoApp* gDemoApp;
extern RenderDriver* gDemoDriver;
extern Logger* gLogger;

// The paint hook: one frame.
void displayFrame();
// Steps 4-5 of a frame: render the part whose window holds t; returns false (and posts quit)
// when t lies beyond the last part.
bool renderPartAt(float t, float delta);
// The key hook.
int onKeyHook(int virtualKey, int down);

// Start, in seconds, of the part whose window holds t (the last part's start past the end).
double partStartFor(double t);

// Called after the loading picture is drawn and before it is presented.
void setLoadingShownHook(void (*hook)());

// Builds the parts from the list, in order (no loading).
void constructParts();
// Loads every part in order; the first non-zero result is returned.
int loadParts();
// Forgets the parts and resets the frame state (tests, capture restarts).
void resetSequencer();
