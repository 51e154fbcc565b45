// DemoPart: the interface every scene implements. Virtual operations in slot order:
// load, render, release; then the part's duration in seconds.
#pragma once

class DemoPart {
public:
    explicit DemoPart(float duration) : duration(duration) {}
    virtual int load() = 0;
    // localTime: seconds since the part began; deltaTime: seconds since the previous frame,
    // never more than localTime. The result is ignored.
    virtual int render(float localTime, float deltaTime) = 0;
    virtual int release() = 0;
    virtual ~DemoPart() = default;

    float duration;
};
