#include "actors/EngineCamera.h"

#include "engine/EngineRegistry.h"

EngineCamera::EngineCamera(std::string cameraName) : Actor(std::move(cameraName)) {
    subscribeEvent(this, "activate");
}

void EngineCamera::Trigger(const std::string& name) {
    if (name == "activate") makeCameraCurrent(this);
}

void EngineCamera::Update(float) {
    pitch = Quaternion::fromAxisAngle({1.0f, 0.0f, 0.0f}, Rotation.x);
    yaw = Quaternion::fromAxisAngle({0.0f, 1.0f, 0.0f}, Rotation.y);
}

const Matrix* EngineCamera::getRotationMatrix() {
    rotationMatrix_ = quaternionToMatrix(pitch * yaw);
    return &rotationMatrix_;
}

Vector EngineCamera::getViewDirection() const {
    const Matrix a = quaternionToMatrix(pitch);
    const Matrix b = quaternionToMatrix(yaw * pitch);
    // Row 3, columns 1 to 3 of the matrices (1-based), i.e. the third row.
    const Vector direction{b.m[2][0], a.m[2][1], -b.m[2][2]};
    return direction.normalized();
}
