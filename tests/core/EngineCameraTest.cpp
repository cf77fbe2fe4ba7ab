#include "actors/EngineCamera.h"
#include "actors/ActorFactory.h"
#include "tests/support/TestSupport.h"

#include <numbers>

namespace {

constexpr float HalfPi = std::numbers::pi_v<float> / 2;

class EngineCameraTest : public RegistryTest {};

TEST_F(EngineCameraTest, NewCameraLooksDownMinusZWithIdentityRotation) {
    EngineCamera camera("Cam");
    const Matrix* m = camera.getRotationMatrix();
    EXPECT_EQ(*m, Matrix::identity());
    const Vector d = camera.getViewDirection();
    EXPECT_EQ(d, Vector(0, 0, -1));
}

TEST_F(EngineCameraTest, ZeroRotationLooksDownMinusZ) {
    EngineCamera camera("Cam");
    camera.Update(16.0f);
    const Vector d = camera.getViewDirection();
    EXPECT_NEAR(d.x, 0, 1e-6f);
    EXPECT_NEAR(d.y, 0, 1e-6f);
    EXPECT_NEAR(d.z, -1, 1e-6f);
}

TEST_F(EngineCameraTest, YawOfAQuarterTurnLooksAlongX) {
    EngineCamera camera("Cam");
    camera.Rotation = {0, HalfPi, 0};
    camera.Update(0);
    const Vector d = camera.getViewDirection();
    EXPECT_NEAR(d.x, 1, 1e-6f);
    EXPECT_NEAR(d.y, 0, 1e-6f);
    EXPECT_NEAR(d.z, 0, 1e-6f);
}

TEST_F(EngineCameraTest, PitchOfAQuarterTurnLooksDown) {
    EngineCamera camera("Cam");
    camera.Rotation = {HalfPi, 0, 0};
    camera.Update(0);
    const Vector d = camera.getViewDirection();
    EXPECT_NEAR(d.x, 0, 1e-6f);
    EXPECT_NEAR(d.y, -1, 1e-6f);
    EXPECT_NEAR(d.z, 0, 1e-6f);
}

TEST_F(EngineCameraTest, RotationMatrixIsPitchThenYaw) {
    EngineCamera camera("Cam");
    camera.Rotation = {0.4f, -1.2f, 3.0f}; // z is not used
    camera.Update(0);
    const Matrix expected = quaternionToMatrix(Quaternion::fromAxisAngle({1, 0, 0}, 0.4f) *
                                               Quaternion::fromAxisAngle({0, 1, 0}, -1.2f));
    EXPECT_EQ(*camera.getRotationMatrix(), expected);
}

TEST_F(EngineCameraTest, ActivateMakesTheCameraCurrentForTheNextFrame) {
    EngineCamera editor("EditorCam");
    registry().activeCamera = &editor;
    EngineCamera camera("Cam1");
    broadcastEvent("activate");
    EXPECT_EQ(registry().activeCamera.load(), &camera);
    EXPECT_EQ(registry().sceneCamera.load(), &camera);
}

TEST_F(EngineCameraTest, WithoutCameraFollowActivateChangesNothing) {
    registry().cameraFollow = false;
    EngineCamera camera("Cam1");
    camera.Trigger("activate");
    EXPECT_EQ(registry().activeCamera.load(), nullptr);
}

TEST_F(EngineCameraTest, CameraKeepsNoEntities) {
    EngineCamera camera("Cam1");
    entity_base thing("thing");
    EXPECT_EQ(camera.AddEntity(&thing), 0);
    EXPECT_EQ(camera.GetEntityCount(), 0);
    EXPECT_EQ(camera.GetEntity(0), nullptr);
    EXPECT_EQ(camera.GetClassName(), "Camera");
}

TEST_F(EngineCameraTest, FactoryBuildsCamerasOnlyUnderTheExactName) {
    for (const char* name : {"camera", "Camera ", "EngineCamera", ""})
        EXPECT_EQ(createActor(name, "c"), nullptr) << name;
    std::unique_ptr<Actor> a(createActor("Camera", "Cam1"));
    std::unique_ptr<Actor> b(createActor("Camera", "Cam1"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(a->name, "Cam1");
    EXPECT_EQ(a->GetClassName(), "Camera");
    EXPECT_NE(dynamic_cast<EngineCamera*>(a.get()), nullptr);
}

} // namespace
