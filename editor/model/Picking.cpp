#include "editor/model/Picking.h"

#include "engine/EngineRegistry.h"
#include "math/Quaternion.h"
#include "render/Mesh.h"

#include <algorithm>
#include <limits>
#include <mutex>

namespace {

constexpr float FieldOfView = 1.2217305f; // as the renderer's projection
constexpr float NearPlane = 0.05f;
constexpr float FarPlane = 30.0f;

} // namespace

Matrix ViewSetup::view() const {
    const Quaternion pitch = Quaternion::fromAxisAngle({1.0f, 0.0f, 0.0f}, cameraRotation.x);
    const Quaternion yaw = Quaternion::fromAxisAngle({0.0f, 1.0f, 0.0f}, cameraRotation.y);
    return matrixMultiply(matrixTranslation(cameraPosition.x, cameraPosition.y, cameraPosition.z),
                          quaternionToMatrix(pitch * yaw));
}

Matrix ViewSetup::projection() const {
    return matrixPerspectiveFovLH(FieldOfView, width / std::max(height, 1.0f), NearPlane, FarPlane);
}

Vector ViewSetup::eye() const {
    return -cameraPosition;
}

Vector ViewSetup::forward() const {
    const Matrix axes = matrixInverse(view());
    return Vector{axes.m[2][0], axes.m[2][1], axes.m[2][2]}.normalized();
}

Bounds meshBounds(const Mesh& mesh) {
    Bounds b;
    for (const Vector& p : mesh.positions) {
        if (!b.valid) {
            b.min = b.max = p;
            b.valid = true;
            continue;
        }
        b.min = {std::min(b.min.x, p.x), std::min(b.min.y, p.y), std::min(b.min.z, p.z)};
        b.max = {std::max(b.max.x, p.x), std::max(b.max.y, p.y), std::max(b.max.z, p.z)};
    }
    return b;
}

Matrix objectMatrix(const Vector& position, const Vector& rotation, const Vector& scale) {
    return matrixObjectTransform(position, rotation, scale);
}

Matrix parentWorldMatrix(const entity_base& entity) {
    Matrix world = Matrix::identity();
    size_t levels = 0;
    for (const entity_base* p = entity.parent; p && levels < MaxGroupDepth; p = p->parent, ++levels)
        world = matrixMultiply(world, objectMatrix(p->Position, p->Rotation, p->Scale));
    return world;
}

Matrix worldMatrix(const entity_base& entity) {
    // Composed as the renderer composes it (own transform first, then each parent in turn), so
    // the two agree to the last bit.
    Matrix world = objectMatrix(entity.Position, entity.Rotation, entity.Scale);
    size_t levels = 0;
    for (const entity_base* p = entity.parent; p && levels < MaxGroupDepth; p = p->parent, ++levels)
        world = matrixMultiply(world, objectMatrix(p->Position, p->Rotation, p->Scale));
    return world;
}

entity_base* topMostParent(entity_base* entity) {
    size_t levels = 0;
    while (entity && entity->parent && levels++ < MaxGroupDepth)
        entity = entity->parent;
    return entity;
}

bool isPartOf(const entity_base* entity, const entity_base* group) {
    for (size_t levels = 0; entity && levels <= MaxGroupDepth; entity = entity->parent, ++levels)
        if (entity == group) return true;
    return false;
}

bool isGroupWithParts(const entity_base& entity) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    for (const auto& [object, instance] : r.objects)
        if (object != &entity && isPartOf(object, &entity)) return true;
    return false;
}

Vector worldToParentMove(const entity_base& entity, const Vector& move) {
    const Matrix inverse = matrixInverse(parentWorldMatrix(entity));
    return transformCoord(move, inverse) - transformCoord({}, inverse);
}

Bounds groupWorldBounds(const entity_base& group) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    Bounds world;
    for (const auto& [entity, instance] : r.objects) {
        if (!entity->mesh || !isPartOf(entity, &group)) continue;
        const Bounds own = meshBounds(*entity->mesh);
        if (!own.valid) continue;
        const Matrix model = worldMatrix(*entity);
        for (int i = 0; i < 8; ++i) {
            const Vector corner =
                transformCoord({(i & 1) ? own.max.x : own.min.x, (i & 2) ? own.max.y : own.min.y,
                                (i & 4) ? own.max.z : own.min.z},
                               model);
            if (!world.valid) {
                world.min = world.max = corner;
                world.valid = true;
                continue;
            }
            world.min = {std::min(world.min.x, corner.x), std::min(world.min.y, corner.y),
                         std::min(world.min.z, corner.z)};
            world.max = {std::max(world.max.x, corner.x), std::max(world.max.y, corner.y),
                         std::max(world.max.z, corner.z)};
        }
    }
    return world;
}

Ray rayThroughPixel(const ViewSetup& view, float x, float y) {
    const Matrix projection = view.projection();
    const float ndcX = 2.0f * x / view.width - 1.0f;
    const float ndcY = 1.0f - 2.0f * y / view.height;
    const Vector inView{ndcX / projection.m[0][0], ndcY / projection.m[1][1], 1.0f};
    const Matrix inverse = matrixInverse(view.view());
    const Vector origin = transformCoord({0.0f, 0.0f, 0.0f}, inverse);
    const Vector through = transformCoord(inView, inverse);
    return {origin, through - origin};
}

bool hitBounds(const Ray& ray, const Bounds& bounds, const Matrix& model, float& distance) {
    if (!bounds.valid) return false;
    bool ok = true;
    const Matrix inverse = matrixInverse(model, &ok);
    if (!ok) return false; // an object scaled to nothing has no area to hit
    const Vector origin = transformCoord(ray.origin, inverse);
    const Vector direction = transformCoord(ray.origin + ray.direction, inverse) - origin;
    float enter = 0.0f;
    float leave = std::numeric_limits<float>::max();
    for (int axis = 0; axis < 3; ++axis) {
        const float o = Vector(origin)[axis];
        const float d = Vector(direction)[axis];
        const float lo = Vector(bounds.min)[axis];
        const float hi = Vector(bounds.max)[axis];
        if (d == 0.0f) {
            if (o < lo || o > hi) return false;
            continue;
        }
        float t0 = (lo - o) / d;
        float t1 = (hi - o) / d;
        if (t0 > t1) std::swap(t0, t1);
        enter = std::max(enter, t0);
        leave = std::min(leave, t1);
        if (enter > leave) return false;
    }
    distance = enter;
    return true;
}

bool projectToScreen(const ViewSetup& view, const Vector& point, float& x, float& y) {
    float w = 0.0f;
    const Vector inView = transformCoord(point, view.view());
    if (inView.z <= NearPlane) return false;
    const Vector clip = transformCoord(point, matrixMultiply(view.view(), view.projection()), &w);
    if (w <= 0.0f) return false;
    x = (clip.x / w + 1.0f) * 0.5f * view.width;
    y = (1.0f - clip.y / w) * 0.5f * view.height;
    return true;
}

entity_base* pickObject(const Ray& ray) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    entity_base* best = nullptr;
    float nearest = std::numeric_limits<float>::max();
    for (const auto& [entity, instance] : r.objects) {
        if (!entity->mesh || !instance || !instance->visible) continue;
        float distance = 0.0f;
        if (hitBounds(ray, meshBounds(*entity->mesh), worldMatrix(*entity), distance) && distance < nearest) {
            nearest = distance;
            best = entity;
        }
    }
    return best;
}

entity_base* pickForClick(const Ray& ray, bool part) {
    entity_base* hit = pickObject(ray);
    return part ? hit : topMostParent(hit);
}
