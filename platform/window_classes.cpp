// What the window stand-in computes the same on every platform: the class registry and the
// letterbox that places the picture inside the window.
#include "platform/window_classes.h"

#include <map>
#include <string>

namespace platform {
namespace {
std::map<std::string, WindowProc> classes;
} // namespace

namespace detail {
WindowProc findWindowClass(const char* className) {
    auto cls = classes.find(className != nullptr ? className : "");
    return cls == classes.end() ? nullptr : cls->second;
}
} // namespace detail

Rect letterbox(int pictureWidth, int pictureHeight, int windowWidth, int windowHeight) {
    if (pictureWidth <= 0 || pictureHeight <= 0 || windowWidth <= 0 || windowHeight <= 0) {
        return {0, 0, 0, 0};
    }
    int w = windowWidth;
    int h = int(int64_t(windowWidth) * pictureHeight / pictureWidth);
    if (h > windowHeight) {
        h = windowHeight;
        w = int(int64_t(windowHeight) * pictureWidth / pictureHeight);
    }
    const int x = (windowWidth - w) / 2, y = (windowHeight - h) / 2;
    return {x, y, x + w, y + h};
}

bool registerClass(const char* className, WindowProc proc) {
    if (className == nullptr || *className == '\0' || proc == nullptr ||
        classes.count(className) != 0) {
        return false;
    }
    classes[className] = proc;
    return true;
}

bool unregisterClass(const char* className) {
    return className != nullptr && classes.erase(className) != 0;
}

bool adjustWindowRect(Rect* rect) {
    return rect != nullptr;
}

} // namespace platform
