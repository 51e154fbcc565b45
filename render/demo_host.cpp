#include "render/demo_host.h"

#include "render/text.h"

namespace {

int resizeDriver(RenderDriver* driver, int width, int height) {
    return driver->resize != nullptr ? driver->resize(width, height) : 0;
}

void deleteDriver(RenderDriver* driver) {
    delete driver;
}

} // namespace

RenderHooks renderHooks() {
    RenderHooks hooks;
    hooks.createFonts = createDemoFonts;
    hooks.resizeDriver = resizeDriver;
    hooks.deleteDriver = deleteDriver;
    return hooks;
}

DemoHost::Step DemoHost::start(const HostOptions& options) {
    options_ = options;
    failed_ = Step::None;
    error_.clear();
    if (!platform::initDisplay(options.display)) {
        error_ = platform::displayError();
        return failed_ = Step::Display;
    }
    displayOpen_ = true;
    if (options.interruptible) {
        platform::installInterruptHandler();
    }
    RenderHooks hooks = renderHooks();
    if (!options.fonts) {
        hooks.createFonts = nullptr;
    }
    app_ = std::make_unique<DemoApp>(options.client, hooks);
    gApp = app_.get();
    if (app_->initialize(options.launch) != 0) {
        error_ = gfx::lastError();
        return failed_ = Step::Initialize;
    }
    if (options.driver) {
        driver_ = std::make_unique<RenderDriver>();
        if (fillTable(driver_.get()) != 0) {
            return failed_ = Step::Driver;
        }
        app_->registerDriver(driver_.get());
        driverRegistered_ = true;
    }
    if (options.start && options.client.start != nullptr) {
        if (options.client.start() != 0) {
            return failed_ = Step::Start; // the client's stop is not called for it
        }
        started_ = true;
    }
    return Step::Ready;
}

void DemoHost::stop() {
    if (started_ && options_.client.stop != nullptr) {
        options_.client.stop();
    }
    started_ = false;
    if (driverRegistered_) {
        app_->unregisterDriver(driver_.get());
        driverRegistered_ = false;
    }
    if (driver_ != nullptr) {
        clearTable(driver_.get());
        driver_.reset(); // its depth surfaces go while the device still exists
    }
    if (app_ != nullptr) {
        if (options_.client.cleanup != nullptr) {
            options_.client.cleanup();
        }
        releaseDemoFonts(app_.get());
        app_->stopClock();
        app_.reset();
        gApp = nullptr;
    }
    if (displayOpen_) {
        platform::shutdownDisplay();
        displayOpen_ = false;
    }
}
