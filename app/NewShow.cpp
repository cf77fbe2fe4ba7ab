#include "app/NewShow.h"

#include "render/Mesh.h"
#include "render/MeshFile.h"
#include "tools/MeshShapes.h"
#include "tools/OggVorbisWriter.h"
#include "tools/Synth.h"
#include "tools/Textures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// The song: bars of the default soundtrack's finale (kick, bass, chords and the lead) at the show's
// tempo, at least 11.9 s of them (seven bars at 141 BPM). The show fades out and exits before its
// end, where the music would start over.
constexpr int SongFirstBar = 56;
constexpr double SongLeastSeconds = 11.9;
constexpr int SongMostBars = 24; // the finale's length

int songBarCount(double bpm) {
    const double bars = SongLeastSeconds * bpm / 240.0;
    return std::clamp(static_cast<int>(std::ceil(bars - 1e-9)), 1, SongMostBars);
}

// Where things stand: the ring turns above the middle of the floor.
const Vector RingCentre{0.0f, 0.4f, 0.0f};

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string s = text;
    // 1.500 -> 1.5, 2.000 -> 2: shorter to read, the same to the reader.
    while (s.find('.') != std::string::npos && (s.back() == '0' || s.back() == '.')) {
        const bool dot = s.back() == '.';
        s.pop_back();
        if (dot) break;
    }
    return s == "-0" ? "0" : s;
}

std::string vectorAttributes(const Vector& v) {
    return "x=\"" + number(v.x) + "\" y=\"" + number(v.y) + "\" z=\"" + number(v.z) + "\"";
}

std::string key(double time, const Vector& v) {
    return "        <key v0=\"" + number(time) + "\" v1=\"" + number(v.x) + "\" v2=\"" + number(v.y) +
           "\" v3=\"" + number(v.z) + "\" />\n";
}

// The camera's eye circles the ring from the front left to the right, coming closer and lower.
Vector eyeAt(double t) {
    const double angle = -0.7 + 0.13 * t;
    const double radius = 6.0 - 0.22 * t;
    const double height = 2.2 - 0.08 * t;
    return Vector{static_cast<float>(radius * std::sin(angle)), static_cast<float>(height),
                  static_cast<float>(-radius * std::cos(angle))};
}

bool writeBytes(const fs::path& path, const void* data, size_t size, std::string& error) {
    std::error_code code;
    fs::create_directories(path.parent_path(), code);
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        error = "cannot write " + path.string();
        return false;
    }
    return true;
}

} // namespace

CameraPose cameraLookingAt(const Vector& eye, const Vector& target) {
    const Vector d = target - eye;
    const float flat = std::sqrt(d.x * d.x + d.z * d.z);
    CameraPose pose;
    pose.position = Vector{-eye.x, -eye.y, -eye.z};
    pose.rotation = Vector{std::atan2(d.y, flat), std::atan2(-d.x, d.z), 0.0f};
    return pose;
}

std::string newShowScene(double songSeconds, const Tempo& tempo) {
    std::ostringstream cameraPositions, cameraRotations;
    for (int i = 0; i <= 6; ++i) {
        const double t = 2.0 * i;
        const CameraPose pose = cameraLookingAt(eyeAt(t), RingCentre);
        cameraPositions << key(t, pose.position);
        cameraRotations << key(t, pose.rotation);
    }
    const CameraPose start = cameraLookingAt(eyeAt(0), RingCentre);
    const double exitTime = std::min(11.5, songSeconds - 0.3);

    std::string s;
    s += "<?xml version=\"1.0\" encoding=\"us-ascii\"?>\n";
    s += "<base>\n  <scene>\n";
    s += R"(    <!-- A first show made by beatshow --new: about ten seconds of a ring turning over a
         floor, a camera circling it, a line of words, a fade in and out and an exit. Play it
         with: beatshow DIR, check it with: beatshow --check DIR. docs/scene.md is the
         reference; beatshow --classes lists every actor class.

         Comments in a scene file close with a slash before the two dashes, like this one, and
         stand only between the sections. Names and values keep to letters, digits and the
         characters _ . - : (other bytes are dropped), except the words of a text line. /-->

    <!-- Meshes load from model/NAME.obj, the engine's own binary format. floor is a square 400
         units across, torus a ring 94 units across (35 to the middle of its tube, whose radius
         is 12); objects scale them down. /-->
    <meshes>
      <floor />
      <torus />
    </meshes>

    <!-- Materials load from tex/NAME.bmp, 24-bit bitmaps, with NAME_normal.bmp (a normal map)
         and NAME_emissive.bmp (what glows) where they exist. /-->
    <materials>
      <checker />
      <concrete />
    </materials>

    <!-- Objects: a mesh with a material at a Position, Rotation and Scale. Rotation is in
         radians: x turns about the vertical axis, y tilts about the x axis, z rolls about the z
         axis. Without a Scale an object has zero size and cannot be seen. y is up; a camera
         whose Rotation is 0 0 0 looks along +z. /-->
    <objects>
      <ground>
        <Position x="0" y="-1" z="0" />
        <Scale x="0.05" y="0.05" z="0.05" />
        <Mesh MeshName="floor" />
        <Material MaterialName="checker" />
      </ground>
      <ring>
        <Position )" +
         vectorAttributes(RingCentre) + R"( />
        <Rotation x="0" y="1.2" z="0" />
        <Scale x="0.025" y="0.025" z="0.025" />
        <Mesh MeshName="torus" />
        <Material MaterialName="concrete" />
      </ring>
    </objects>

    <!-- Point lights, each casting shadows: Color in red, green, blue from 0 to 1; Cutoff x is
         the distance at which the light has fallen to half its strength. /-->
    <lights>
      <lamp>
        <Color x="1" y="0.9" z="0.75" />
        <Position x="-1.5" y="3.5" z="-3" />
        <Cutoff x="7" y="0" z="0" />
      </lamp>
    </lights>

    <!-- Actors by class name. A camera's Position is its eye point negated; its Rotation x is
         the pitch (positive looks up) and y the yaw (positive turns left). The fader keeps the
         picture black until fadein. The greeter shows its own lines, one after another, each
         held for its hold seconds; without line elements it would show its built-in ones. /-->
    <actors>
      <cam classname="Camera">
        <Position )" +
         vectorAttributes(start.position) + R"( />
        <Rotation )" +
         vectorAttributes(start.rotation) + R"( />
      </cam>
      <fader classname="Fader" />
      <words classname="Greeter">
        <line text="hello from my first show" hold="2.5" />
        <line text="made with beatshow" hold="2" />
      </words>
    </actors>

    <!-- Automation paths: ENTITY::PARAMETER, one key per child with the music time v0 in
         seconds and the values v1, v2, v3, played as a smooth curve. The camera circles the
         ring, always looking at it; the ring turns. /-->
    <automations>
      <cam::Position>
)" + cameraPositions.str() +
         R"(      </cam::Position>
      <cam::Rotation>
)" + cameraRotations.str() +
         R"(      </cam::Rotation>
      <ring::Rotation>
        <key v0="0" v1="0" v2="1.2" v3="0" />
        <key v0="12" v1="6" v2="0.6" v3="0" />
      </ring::Rotation>
    </automations>

    <!-- The post chain: full-screen stages that finish the picture, in the order they run. Each
         draws with its shader (a .psh file of this folder) from its inputs, input0 to input15:
         scene (the shaded picture), overlay (what the actors draw in 2D), emissive (what
         glows), or a stage by its name; the last stage draws the screen. This is the program's
         own chain, written out: change a stage, add one, give one parameters (child elements
         such as <strength x="0.5" />, read by the shader's uniform of that name), and the show
         plays yours. Without this section the program's own chain plays. /-->
    <postchain>
      <combine shader="inputCombiner.psh" input0="scene" input1="overlay" />
      <blurX shader="blurX.psh" input0="combine" />
      <blurY shader="blurY.psh" input0="blurX" />
      <glowX shader="blurX.psh" input0="emissive" />
      <glowY shader="blurY.psh" input0="glowX" />
      <distort shader="distort01.psh" input0="blurY" input1="combine" input2="overlay" input3="glowY" />
    </postchain>

    <!-- Timed events in seconds of music time. A target sends the event to that actor alone:
         activate on a camera makes it the view, activate on the greeter starts its lines.
         Without a target every actor that answers the event gets it. exit ends the show; it
         comes before the end of the song, where the music would start over. /-->
    <eventtrigger>
      <activate eventTime="0.05" target="cam" />
      <fadein eventTime="0.05" />
      <activate eventTime="1.5" target="words" />
      <fadeout eventTime="9.5" />
      <exit eventTime=")" +
         number(exitTime) + R"(" />
    </eventtrigger>

    <!-- The song, from audio/: any Ogg Vorbis file. The music position is the show's clock.
         Its tempo: beats a minute, beats a bar and the music time in seconds of bar 1's first
         beat. Actors react on its beats, and --start b5.3 means bar 5, beat 3 of it. /-->
    <audio>
      <song file="song.ogg" />
      )" +
         tempo.sceneLine() +
         R"(
    </audio>
  </scene>
</base>
)";
    return s;
}

bool writeNewShow(const std::string& directory, std::vector<std::string>& written, std::string& error,
                  double bpm) {
    written.clear();
    const fs::path root(directory);
    std::error_code code;
    if (fs::exists(root, code) && !fs::is_directory(root, code)) {
        error = directory + " is a file, not a folder";
        return false;
    }
    // Someone's earlier work is never overwritten, nor mixed with a new show.
    if (fs::is_directory(root, code) && !fs::is_empty(root, code)) {
        error = directory + " is not empty; --new writes only into a new or empty folder";
        return false;
    }

    struct Output {
        std::string path;
        std::vector<uint8_t> bytes;
    };
    std::vector<Output> outputs;
    auto text = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };

    for (const EmbeddedFile& shader : embeddedShaderFiles())
        outputs.push_back({shader.name, text(shader.text)});
    outputs.push_back({"model/floor.obj", encodeMeshFile(makeFloor("floor"))});
    outputs.push_back({"model/torus.obj", encodeMeshFile(makeTorus("torus"))});
    for (TextureFile& file : materialFiles("checker", makeChecker()))
        outputs.push_back({"tex/" + file.name + ".bmp", std::move(file.bytes)});
    for (TextureFile& file : materialFiles("concrete", makeConcrete()))
        outputs.push_back({"tex/" + file.name + ".bmp", std::move(file.bytes)});

    if (!(bpm >= MinSongBpm && bpm <= MaxSongBpm)) {
        error = "the tempo of a new show is from 40 to 300 beats a minute";
        return false;
    }
    Tempo tempo;
    tempo.bpm = bpm;
    const SongAudio song = renderSong(SongFirstBar, songBarCount(bpm), bpm);
    char bpmText[32];
    std::snprintf(bpmText, sizeof bpmText, "BPM=%g", bpm);
    std::vector<uint8_t> ogg =
        encodeOggVorbis(song, 0.3f, {"TITLE=beatshow --new", "ARTIST=beatshow synthesizer", bpmText}, error);
    if (ogg.empty()) return false;
    outputs.push_back({"audio/song.ogg", std::move(ogg)});
    const double songSeconds = static_cast<double>(song.left.size()) / song.sampleRate;
    outputs.insert(outputs.begin(), {"epicrealtimetest.xml", text(newShowScene(songSeconds, tempo))});

    for (const Output& output : outputs) {
        if (!writeBytes(root / output.path, output.bytes.data(), output.bytes.size(), error)) return false;
        written.push_back(output.path);
    }
    return true;
}
