#include "tools/import/SceneSnippet.h"

#include <cstdio>

namespace {

std::string number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g",
                  static_cast<double>(value) == 0.0 ? 0.0 : static_cast<double>(value));
    return text;
}

std::string vectorText(const Vector& v) {
    return "x=\"" + number(v.x) + "\" y=\"" + number(v.y) + "\" z=\"" + number(v.z) + "\"";
}

} // namespace

std::string snippetText(const Snippet& snippet) {
    std::string text;
    std::string sources;
    for (const std::string& s : snippet.sources)
        sources += (sources.empty() ? "" : ", ") + s;
    // The reader ends a comment at its first ">", and "--" has no place in one; file names may
    // hold either.
    std::string safe;
    for (char c : sources)
        safe += c == '<' || c == '>' || (c == '-' && !safe.empty() && safe.back() == '-') ? '_' : c;
    text +=
        "    <!-- Imported by beatshow-import from " + safe +
        ". Inside the scene element, merge each\n"
        "         section's children into the section of that name the scene already has (only the first\n"
        "         section of a name is read). /-->\n";
    if (!snippet.meshes.empty()) {
        text += "    <meshes>\n";
        for (const std::string& m : snippet.meshes)
            text += "      <" + m + " />\n";
        text += "    </meshes>\n";
    }
    if (!snippet.materials.empty()) {
        text += "    <materials>\n";
        for (const std::string& m : snippet.materials)
            text += "      <" + m + " />\n";
        text += "    </materials>\n";
    }
    if (!snippet.objects.empty()) {
        text += "    <objects>\n";
        for (const SnippetObject& o : snippet.objects) {
            text += "      <" + o.name + ">\n";
            text += "        <Position " + vectorText(o.position) + " />\n";
            text += "        <Rotation x=\"0\" y=\"0\" z=\"0\" />\n";
            text += "        <Scale " + vectorText(o.scale) + " />\n";
            if (!o.mesh.empty()) {
                text += "        <Mesh MeshName=\"" + o.mesh + "\" />\n";
                text += "        <Material MaterialName=\"" + o.material + "\" />\n";
            }
            if (!o.parent.empty()) text += "        <Parent name=\"" + o.parent + "\" />\n";
            text += "      </" + o.name + ">\n";
        }
        text += "    </objects>\n";
    }
    if (!snippet.song.empty()) {
        text += "    <audio>\n";
        text += "      <song file=\"" + snippet.song + "\" />\n";
        text += "    </audio>\n";
    }
    return text;
}
