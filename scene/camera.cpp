#include "scene/camera.h"

#include "app/frame_buffer.h"

#include <cmath>

Vec3 operator+(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 operator-(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 operator*(Vec3 a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
float dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vec3 normalise(Vec3 v) {
    float length = std::sqrt(dot(v, v));
    return {v.x / length, v.y / length, v.z / length};
}

void makeBasis(Vec3 f, Vec3 u, Vec3* right, Vec3* upOut) {
    Vec3 r{f.z * u.y - u.z * f.y, u.z * f.x - f.z * u.x, u.x * f.y - f.x * u.y};
    if (dot(r, r) < 1e-18f) {
        *right = {1, 0, 0};
        *upOut = {0, 0, -1};
        return;
    }
    r = normalise(r);
    *right = r;
    *upOut = cross(f, r);
}

Mat3 multiply(const Mat3& a, const Mat3& b) {
    Mat3 r{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
        }
    }
    return r;
}

Mat3 identity3() {
    return Mat3{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
}

Mat3 eulerMatrix(float x, float y, float z) {
    float cx = std::cos(x), sx = std::sin(x);
    float cy = std::cos(y), sy = std::sin(y);
    float cz = std::cos(z), sz = std::sin(z);
    Mat3 rx{{{1, 0, 0}, {0, cx, -sx}, {0, sx, cx}}};
    Mat3 ry{{{cy, 0, sy}, {0, 1, 0}, {-sy, 0, cy}}};
    Mat3 rz{{{cz, -sz, 0}, {sz, cz, 0}, {0, 0, 1}}};
    return multiply(multiply(ry, rx), rz);
}

void Projection::init(FrameBuffer* fb, float fieldOfView, float nearDistance, float farDistance) {
    frameBuffer = fb;
    left = initialLeft = 0;
    top = initialTop = 0;
    right = initialRight = float(fb->width);
    bottom = initialBottom = float(fb->height);
    centreX = centreY = focalX = focalY = 0;
    fov = fieldOfView;
    nearPlane = nearDistance;
    farPlane = farDistance;
    pixelAspect = 1.0f;
    mode = 0;
}

void Camera::init(Projection* p, int cameraFlags) {
    positionD[0] = positionD[1] = positionD[2] = 0.0;
    position = {0, 0, 0};
    orientation = identity3();
    projection = p;
    flags = cameraFlags;
}

void Camera::lookAt(Vec3 eye, Vec3 target, float roll) {
    position = eye;
    Vec3 f = normalise(target - eye);
    Vec3 r, u;
    makeBasis(f, Vec3{0, 1, 0}, &r, &u);
    Mat3 basis{{{r.x, r.y, r.z}, {u.x, u.y, u.z}, {f.x, f.y, f.z}}};
    orientation = multiply(eulerMatrix(0, 0, roll), basis);
}

void Scene::allocateLights(int n) {
    delete[] lights;
    lights = n > 0 ? new SceneLight[size_t(n)]() : nullptr;
    lightCount = n > 0 ? n : 0;
}

void CameraMover::setSmoothing(int channel, float tau) {
    float rate = tau != 0.0f ? -1.0f / tau : 0.0f;
    int bit = 1 << channel;
    switch (channel) {
    case 0:
        velocityRate = rate;
        break;
    case 1:
        secondRate = rate;
        break;
    case 2:
        turnRate = rate;
        break;
    default:
        return;
    }
    flags = tau != 0.0f ? (flags | bit) : (flags & ~bit);
}

namespace {
Vec3 toWorld(const Mat3& o, Vec3 v) {
    return Vec3{o.m[0][0], o.m[0][1], o.m[0][2]} * v.x +
           Vec3{o.m[1][0], o.m[1][1], o.m[1][2]} * v.y +
           Vec3{o.m[2][0], o.m[2][1], o.m[2][2]} * v.z;
}
void addPosition(Camera* camera, Vec3 d) {
    if ((camera->flags & kCameraLargeWorld) != 0) {
        camera->positionD[0] += d.x;
        camera->positionD[1] += d.y;
        camera->positionD[2] += d.z;
    } else {
        camera->position = camera->position + d;
    }
}
} // namespace

void CameraMover::move(Camera* camera, float dt) {
    addPosition(camera, velocity * dt);
    Vec3 w = angularVelocity * -dt;
    camera->orientation = multiply(eulerMatrix(w.x, w.y, w.z), camera->orientation);
    Vec3 target = toWorld(camera->orientation, thrust) * speed;
    if ((flags & kMoverSmoothVelocity) != 0) {
        float a = 1.0f - std::exp(dt * velocityRate);
        velocity = velocity + (target - velocity) * a;
    } else {
        velocity = target;
    }
    worldDrift = toWorld(camera->orientation, drift) * speed;
    addPosition(camera, worldDrift);
    Vec3 targetTurn = turn * turnSpeed;
    if ((flags & kMoverSmoothTurn) != 0) {
        float a = 1.0f - std::exp(dt * turnRate);
        angularVelocity = angularVelocity + (targetTurn - angularVelocity) * a;
    } else {
        angularVelocity = targetTurn;
    }
}
