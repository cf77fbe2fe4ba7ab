#include "actors/ActorClasses.h"

#include <sstream>

namespace {

using Info = ActorClassInfo;

Info::Element childElement(const std::string& what) {
    return {"child", "<child name=\"ENTITY\" />", what};
}

std::vector<Info> makeReference() {
    const Info::Parameter spin{"Scale", "x: how fast its entities spin (0: they do not)", "0 0 0"};
    std::vector<Info> classes;
    classes.push_back(
        {"ObjectPulsator",
         "Blows placed objects apart triangle by triangle and pulls them back together. It takes a private "
         "copy of each object's mesh and hides the object until whoever stages it shows it again.",
         {childElement("a placed object with a mesh")},
         {{"Params", "x: how fast the explosion slows down (larger: sooner)", "1 0 0"}},
         {{"destroy", "start blowing the objects apart"},
          {"restore", "pull the pieces back into shape"},
          {"pause", "hold still, or go on (each pause toggles)"},
          {"stop", "end either motion and put the pieces back"}},
         "nothing of its own: it moves its objects' triangles",
         "an explosion never stops by itself, ever slower; restore takes 1.5 s"});
    classes.push_back(
        {"BassBouncer",
         "Pumps the size of its entities on a steady bounce and spins them.",
         {childElement("a placed object or a light")},
         {spin},
         {},
         "nothing of its own: it scales and turns its entities",
         "a bounce every 1.364 s (its own clock, not the music): the entities jump to 1.1 times "
         "their size and shrink to 0.8 times within 0.6 s; the spin is about (0.31, 0.15, -0.05) "
         "radians a second times Scale.x"});
    classes.push_back({"LightFlicker",
                       "Makes lights flicker: on, fading out, off, fading in, for random short times.",
                       {childElement("a light (other entities are refused)")},
                       {},
                       {{"play", "start flickering (the engine sends it when the show starts)"},
                        {"pause", "stop and put the lights back to their colours, or start again (toggles)"},
                        {"stop", "stop and put the lights back to their colours"}},
                       "nothing of its own: it sets its lights' Color",
                       "on up to 0.3 s, fading out up to 0.12 s, off up to 0.6 s, fading in up to 0.12 s"});
    classes.push_back(
        {"Camera",
         "The view: an eye point and two angles. The scene's last camera to get \"activate\" is the view.",
         {},
         {{"Position", "the eye point negated: an eye at (1, 2, -5) is Position x=-1 y=-2 z=5", "0 0 0"},
          {"Rotation",
           "x: pitch in radians (positive looks up), y: yaw in radians (positive turns to the left, "
           "towards -x); z is not read. At 0 0 0 the camera looks along +z",
           "0 0 0"}},
         {{"activate", "becomes the view from the next frame on"}},
         "nothing: it is the view. The field of view is 70 degrees high; what lies nearer than 0.05 units "
         "or farther than 30 units from the eye is not drawn",
         "it moves only as its automation paths move it"});
    classes.push_back({"LineFX",
                       "A glowing 3D figure of curves that keeps changing shape.",
                       {},
                       {{"Position", "the figure's centre", "0 0 0"},
                        {"Scale", "its half-size along x, y and z (0 0 0 collapses it to a point)", "0 0 0"}},
                       {},
                       "a line figure of 4,000 points around Position, from its first frame on",
                       "it moves on its own clock and repeats every 6.3 s"});
    classes.push_back(
        {"Greeter",
         "Shows lines of text one after another in the middle of the screen, in amber, each fading in, "
         "holding and fading out. Its built-in lines are the default show's credits and greetings.",
         {{"line", "<line text=\"WORDS\" hold=\"SECONDS\" />",
           "a line of its own: the first replaces the built-in lines, the others follow in file order; hold "
           "(optional) is how long it stays at full strength. The words may hold spaces and punctuation; "
           "they "
           "are centred on their measured width"}},
         {},
         {{"activate", "start from the first line"}, {"deactivate", "stop at once"}},
         "the current line in the large font (64 pixels high, 28 pixels a letter at 1920 x 1080), its top at "
         "the "
         "middle of the window; at other window heights the letters scale with the height",
         "each line fades in for 0.4 s (to 80 % strength), holds 1.6 s (or its own hold) and fades out for "
         "0.4 s: "
         "2.4 s a line; the 19 built-in lines take about 46 s. After the last line it is silent until "
         "activate"});
    classes.push_back(
        {"EpicRealtimeHelper",
         "A staged scene: a turning knot over a tunnel floor, seen from its own camera \"ERTCam\". "
         "It needs the meshes ding02 and Tunnel01 and the materials concrete and stonewall; "
         "without them it builds nothing but the camera.",
         {},
         {},
         {{"activate", "switch to its camera and show the knot and the tunnel"},
          {"deactivate", "hide them (the view stays with its camera until another activates)"},
          {"nextstage", "the tunnel floor starts turning"},
          {"nextstage2", "the knot explodes and re-forms with the beat"}},
         "its objects; it writes the distortion filter every frame, active or not",
         "beats tint the knot's spin; after nextstage2 it bursts every sixth beat and re-forms "
         "three beats later"});
    classes.push_back({"SlideShow",
                       "Shows the material \"logo2\" over the whole window while it is active.",
                       {},
                       {},
                       {{"activate", "show the picture and keep the distortion filter neutral"},
                        {"deactivate", "take it away"}},
                       "tex/logo2.bmp stretched over the window, untinted",
                       "none: it shows until deactivate"});
    classes.push_back(
        {"MapSearch",
         "A search on a map: the material \"map02\" slowly zooming in over the window, a cyan "
         "cross-hair wandering over it with the caption \"searching location...\", then the "
         "blinking message \"Location not found!\" while the picture distorts more and more.",
         {},
         {},
         {{"activate", "start the search (again)"}, {"deactivate", "stop and draw nothing"}},
         "the map, the cross-hair and the captions; beats jolt the distortion during the search",
         "the search takes 10 s; the message blinks 0.2 s on, 0.2 s off; the distortion grows "
         "from 11 s on until deactivate"});
    classes.push_back(
        {"Fader",
         "Fades the whole picture in from black and out to black.",
         {},
         {},
         {{"fadein", "towards the full picture"}, {"fadeout", "towards black"}},
         "nothing of its own: it writes the filter parameter fadeParam every frame from its first "
         "frame on, so a scene with a fader stays black until fadein",
         "a smooth approach: 95 % of the way in about 1.1 s at 60 frames a second and 1.8 s at 30 "
         "(every frame counts 50 ms longer than it took, so it is quicker at higher frame rates)"});
    classes.push_back(
        {"CubeFun",
         "A staged scene: sixty small cubes flying around its own camera \"CubeCam\". It needs the "
         "mesh eckig and the material metal4 (cubes without them are not drawn).",
         {},
         {},
         {{"activate", "switch to its camera and show the cubes"},
          {"deactivate", "hide them"},
          {"nextstage", "the cubes glow in four colours and beats jolt the distortion filter"}},
         "sixty objects of its own",
         "beats make the cubes flash"});
    classes.push_back(
        {"Anouncer",
         "Shows lines of text one after another in the middle of the screen, in amber, each fading in, "
         "holding "
         "and fading out; it also sets the distortion filter when it starts. Its built-in lines announce the "
         "default show.",
         {{"line", "<line text=\"WORDS\" hold=\"SECONDS\" />",
           "a line of its own: the first replaces the built-in lines, the others follow in file order; hold "
           "(optional) is how long it stays at full strength. The words may hold spaces and punctuation; "
           "they "
           "are centred on their measured width"}},
         {},
         {{"activate",
           "start from the first line; sets distortParam1 to 0 0.5 0.8 and distortParam2 to 0 0 0"}},
         "the current line in the large font (64 pixels high, 28 pixels a letter at 1920 x 1080), its top at "
         "the "
         "middle of the window; at other window heights the letters scale with the height",
         "each line fades in for 0.5 s, holds 1.85 s (or its own hold) and fades out for 0.5 s: about 2.85 s "
         "a "
         "line; the 9 built-in lines take about 26 s. After the last line it is silent until activate"});
    return classes;
}

} // namespace

const std::vector<ActorClassInfo>& actorClassReference() {
    static const std::vector<ActorClassInfo> classes = makeReference();
    return classes;
}

const ActorClassInfo* findActorClassInfo(const std::string& className) {
    for (const ActorClassInfo& info : actorClassReference())
        if (info.className == className) return &info;
    return nullptr;
}

namespace {

// The text after `lead` on lines of at most 100 characters, those after the first indented as
// deep as the lead.
std::string wrapped(const std::string& lead, const std::string& text) {
    constexpr size_t Width = 100;
    const std::string indent(lead.size(), ' ');
    std::string out = lead;
    size_t column = lead.size();
    bool first = true;
    std::istringstream words(text);
    for (std::string word; words >> word; first = false) {
        if (!first && column + 1 + word.size() > Width) {
            out += "\n" + indent;
            column = indent.size();
        } else if (!first) {
            out += " ";
            ++column;
        }
        out += word;
        column += word.size();
    }
    return out + "\n";
}

} // namespace

std::string actorClassReferenceText() {
    std::ostringstream out;
    out << "Actor classes, as <NAME classname=\"CLASS\"> in the <actors> section of a scene.\n"
           "Every actor accepts the parameters Position, Rotation and Scale, three floats each\n"
           "(<Position x=\"0\" y=\"0\" z=\"0\" />), and receives the events play, pause and stop;\n"
           "below are the ones each class reads or answers.\n"
           "Events come from <eventtrigger>: <EVENT eventTime=\"SECONDS\" target=\"ACTOR\" />.\n";
    for (const ActorClassInfo& info : actorClassReference()) {
        out << "\n" << info.className << "\n" << wrapped("  ", info.summary);
        for (const auto& element : info.elements)
            out << "  element    " << element.attributes << "\n" << wrapped("             ", element.meaning);
        for (const auto& parameter : info.parameters)
            out << wrapped("  parameter  ", parameter.name + " (default " + parameter.defaultValue +
                                                "): " + parameter.meaning);
        for (const auto& event : info.events)
            out << wrapped("  event      ", event.name + ": " + event.effect);
        out << wrapped("  draws      ", info.draws);
        out << wrapped("  timing     ", info.timings);
    }
    return out.str();
}
