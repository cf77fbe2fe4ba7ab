#include "scene/NameSuggestion.h"

#include <gtest/gtest.h>

namespace {

const std::vector<std::string> classes = {"ObjectPulsator", "BassBouncer", "LightFlicker",
                                          "Camera",         "LineFX",      "Greeter",
                                          "SlideShow",      "Fader",       "Anouncer"};

TEST(NameSuggestion, FindsTheSlipsOfTheKeyboard) {
    EXPECT_EQ(nearestName("Announcer", classes), "Anouncer"); // a letter too many
    EXPECT_EQ(nearestName("Greter", classes), "Greeter");     // one missing
    EXPECT_EQ(nearestName("Fadre", classes), "Fader");        // two swapped
    EXPECT_EQ(nearestName("camera", classes), "Camera");      // the case
    EXPECT_EQ(nearestName("BASSBOUNCER", classes), "BassBouncer");
    EXPECT_EQ(nearestName("EngineCamera", classes), "Camera"); // the name inside a longer one
    EXPECT_EQ(nearestName("Postion", {"Position", "Rotation", "Scale"}), "Position");
    EXPECT_EQ(nearestName("toruss", {"floor", "torus"}), "torus");
}

TEST(NameSuggestion, SuggestsNothingFarOrItself) {
    EXPECT_EQ(nearestName("Moonwalker", classes), "");
    EXPECT_EQ(nearestName("Fader", classes), "") << "a known name needs no suggestion";
    EXPECT_EQ(nearestName("", classes), "");
    EXPECT_EQ(nearestName("x", {}), "");
    // Short names allow one slip only: "ab" is not "xyz"'s, "cam" is not "Camera"'s (too short
    // to be found inside it).
    EXPECT_EQ(nearestName("ab", {"xyz"}), "");
    EXPECT_EQ(nearestName("cam", classes), "");
    EXPECT_EQ(nearestName("Lights", {"Cutoff", "Color"}), "");
}

TEST(NameSuggestion, TheNearestWinsAndTiesGoToTheFirst) {
    EXPECT_EQ(nearestName("fadin", {"fadeout", "fadein"}), "fadein");
    EXPECT_EQ(nearestName("ab", {"ac", "ad"}), "ac");
    EXPECT_EQ(nearestName("FADEIN", {"fadeinx", "fadein"}), "fadein") << "another case beats an edit";
    EXPECT_EQ(didYouMean("Postion", {"Position"}, "<", ">"), "; did you mean <Position>?");
    EXPECT_EQ(didYouMean("zzz", {"Position"}), "");
}

} // namespace
