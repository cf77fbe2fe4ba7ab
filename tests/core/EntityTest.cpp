#include "actors/entity/Entity.h"
#include "tests/support/TestSupport.h"

namespace {

class EntityTest : public RegistryTest {};

class CountingActor : public Actor {
public:
    using Actor::Actor;
    void Trigger(const std::string& name) override { received.push_back(name); }
    int AddEntity(entity_base*) override { return 0; }
    int GetEntityCount() override { return 0; }
    entity_base* GetEntity(int) override { return nullptr; }
    std::string GetClassName() override { return "CountingActor"; }
    void Update(float) override {}
    std::vector<std::string> received;
};

TEST_F(EntityTest, NewEntityHasZeroVectorsAndItsThreeParameters) {
    entity_base e("box");
    EXPECT_EQ(e.Scale, Vector(0, 0, 0));
    EXPECT_EQ(e.Position, Vector(0, 0, 0));
    std::vector<std::string> names;
    for (const auto& [name, p] : e.parameters())
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"Position", "Rotation", "Scale"}));
    EXPECT_EQ(e.getParameter("Scale")->value, &e.Scale);
    EXPECT_EQ(e.getParameterType("Rotation"), 3);
}

TEST_F(EntityTest, ParameterNamesAreCaseSensitive) {
    entity_base e("box");
    EXPECT_EQ(e.getParameter("position"), nullptr);
    EXPECT_EQ(e.getParameterType("position"), 0);
}

TEST_F(EntityTest, LightParametersInByteOrder) {
    Light light("lamp");
    std::vector<std::string> names;
    for (const auto& [name, p] : light.parameters())
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"Color", "Cutoff", "Position", "Rotation", "Scale"}));
    *light.getParameter("Color")->value = Vector(1, 0.5f, 0.25f);
    EXPECT_EQ(light.Color, Vector(1, 0.5f, 0.25f));
}

TEST_F(EntityTest, AddParameterKeepsTheFirstOfAName) {
    entity_base e("box");
    Vector other;
    EXPECT_EQ(e.addVectorParameter("Position", other), 0);
    EXPECT_EQ(e.getParameter("Position")->value, &e.Position);
    EXPECT_EQ(e.addParameter(nullptr), -1);
}

TEST_F(EntityTest, ActorsReceivePlayPauseAndStopButNothingElse) {
    CountingActor actor("a");
    broadcastEvent("play");
    broadcastEvent("pause");
    broadcastEvent("stop");
    broadcastEvent("activate");
    EXPECT_EQ(actor.received, (std::vector<std::string>{"play", "pause", "stop"}));
}

} // namespace
