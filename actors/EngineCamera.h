// The actor that supplies the view: a position (its Position parameter) and two angles, pitch
// (Rotation.x, about x) and yaw (Rotation.y, about y), held as quaternions. Scene files name the
// class "Camera"; "activate" makes the camera current.
#pragma once

#include "actors/entity/Entity.h"
#include "math/Matrix.h"
#include "math/Quaternion.h"

class EngineCamera : public Actor {
public:
    explicit EngineCamera(std::string name);

    void Trigger(const std::string& name) override;
    int AddEntity(entity_base*) override { return 0; }
    int GetEntityCount() override { return 0; }
    entity_base* GetEntity(int) override { return nullptr; }
    std::string GetClassName() override { return "Camera"; }
    // Recomputes both quaternions from Rotation; the frame time is not used.
    void Update(float frameTime) override;

    // pitch (x) yaw, recomputed on each call; the pointer stays valid for the camera's life.
    const Matrix* getRotationMatrix();
    // Unit view direction; (0, 0, -1) for a camera that was never updated.
    Vector getViewDirection() const;

    Quaternion pitch;
    Quaternion yaw;

private:
    Matrix rotationMatrix_;
};
