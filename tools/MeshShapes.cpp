#include "tools/MeshShapes.h"

#include <array>
#include <cmath>
#include <functional>
#include <numbers>

namespace {

constexpr double Pi = std::numbers::pi;

// Geometry is built in double precision and rounded once, so that neighbouring triangles of a
// surface agree on their shared positions to the last bit.
struct V3 {
    double x = 0, y = 0, z = 0;
    V3 operator+(const V3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    V3 operator-(const V3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    V3 operator*(double s) const { return {x * s, y * s, z * s}; }
    double dot(const V3& o) const { return x * o.x + y * o.y + z * o.z; }
    double length() const { return std::sqrt(dot(*this)); }
    V3 normalized() const { return *this * (1.0 / length()); }
    Vector toVector() const { return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)}; }
};

V3 cross(const V3& a, const V3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

using Surface = std::function<V3(double u, double v)>;

// The texture-coordinate rectangle a surface covers and how finely it is cut.
struct Grid {
    double u0, u1, v0, v1;
    int cellsU, cellsV;
};

struct Frame {
    V3 tangent, binormal, normal;
};

// Tangent along +u, normal = dP/du x dP/dv, binormal = normal x tangent. At a pole, where dP/du
// vanishes, the frame is taken a hair's breadth inside the grid along the same meridian.
Frame frameAt(const Surface& f, const Grid& g, double u, double v) {
    const double hu = 1e-5 * std::abs(g.u1 - g.u0);
    const double hv = 1e-5 * std::abs(g.v1 - g.v0);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const V3 du = (f(u + hu, v) - f(u - hu, v)) * (0.5 / hu);
        const V3 dv = (f(u, v + hv) - f(u, v - hv)) * (0.5 / hv);
        const V3 n = cross(du, dv);
        const double lu = du.length(), lv = dv.length();
        if (lu > 1e-6 * lv && lv > 1e-6 * lu && n.length() > 1e-6 * lu * lv) {
            const V3 normal = n.normalized();
            const V3 tangent = (du - normal * normal.dot(du)).normalized();
            return {tangent, cross(normal, tangent), normal};
        }
        const double mid = 0.5 * (g.v0 + g.v1);
        v += (v < mid ? 1e-4 : -1e-4) * (g.v1 - g.v0);
    }
    return {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}; // a surface degenerate in both directions: no shape here
}

void addVertex(Mesh& mesh, const V3& p, double u, double v, const Frame& frame) {
    mesh.positions.push_back(p.toVector());
    mesh.texCoords.push_back({static_cast<float>(u), static_cast<float>(v)});
    mesh.normals.push_back(frame.normal.toVector());
    mesh.tangents.push_back(frame.tangent.toVector());
    mesh.binormals.push_back(frame.binormal.toVector());
    ++mesh.vertexCount;
}

// Cuts the grid into quads and each quad into two triangles that keep the (u, v) orientation, so
// they are wound clockwise seen along -normal. Triangles of no area (at poles) are left out.
void addSurface(Mesh& mesh, const Surface& f, const Grid& g) {
    auto uAt = [&](int i) { return g.u0 + (g.u1 - g.u0) * i / g.cellsU; };
    auto vAt = [&](int j) { return g.v0 + (g.v1 - g.v0) * j / g.cellsV; };
    for (int j = 0; j < g.cellsV; ++j)
        for (int i = 0; i < g.cellsU; ++i) {
            const double us[4] = {uAt(i), uAt(i + 1), uAt(i + 1), uAt(i)};
            const double vs[4] = {vAt(j), vAt(j), vAt(j + 1), vAt(j + 1)};
            V3 p[4];
            for (int k = 0; k < 4; ++k)
                p[k] = f(us[k], vs[k]);
            for (const auto& tri : {std::array<int, 3>{0, 1, 2}, std::array<int, 3>{0, 2, 3}}) {
                const V3 area = cross(p[tri[1]] - p[tri[0]], p[tri[2]] - p[tri[0]]);
                const double scale = (p[tri[1]] - p[tri[0]]).length() * (p[tri[2]] - p[tri[0]]).length();
                if (area.length() <= 1e-9 * scale || scale == 0.0) continue;
                for (int k : tri)
                    addVertex(mesh, p[k], us[k], vs[k], frameAt(f, g, us[k], vs[k]));
            }
        }
}

// A flat rectangle through `centre`, facing `normal`, with the picture's top towards `up`.
void addRectangle(Mesh& mesh, V3 centre, V3 normal, V3 up, double width, double height, double repeatU,
                  double repeatV, int cellsU, int cellsV) {
    const V3 tangent = cross(up, normal); // u grows towards the picture's left, seen from the front
    Surface f = [=](double u, double v) {
        return centre + tangent * ((u / repeatU - 0.5) * width) + up * ((v / repeatV - 0.5) * height);
    };
    addSurface(mesh, f, {0, repeatU, 0, repeatV, cellsU, cellsV});
}

Mesh named(const std::string& name) {
    Mesh mesh;
    mesh.name = name;
    return mesh;
}

} // namespace

Mesh makeCube(const std::string& name, float edge) {
    Mesh mesh = named(name);
    const double h = edge / 2.0;
    struct Face {
        V3 normal, up;
    };
    const Face faces[] = {
        {{0, 0, -1}, {0, 1, 0}}, {{1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}, {0, 1, 0}},
        {{-1, 0, 0}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, 1}}, {{0, -1, 0}, {0, 0, 1}},
    };
    for (const Face& face : faces)
        addRectangle(mesh, face.normal * h, face.normal, face.up, edge, edge, 1, 1, 1, 1);
    return mesh;
}

Mesh makeSphere(const std::string& name, float radius, int segments, int rings) {
    Mesh mesh = named(name);
    // Longitude falls as u grows, which turns dP/du x dP/dv outwards.
    Surface f = [=](double u, double v) {
        const double lat = -Pi / 2 + Pi * v;
        const double lon = -Pi * u;
        return V3{std::cos(lat) * std::cos(lon), std::sin(lat), std::cos(lat) * std::sin(lon)} * radius;
    };
    addSurface(mesh, f, {0, 2, 0, 1, segments, rings});
    return mesh;
}

Mesh makeTorus(const std::string& name, float major, float minor, int segments, int sides) {
    Mesh mesh = named(name);
    Surface f = [=](double u, double v) {
        const double around = -2 * Pi * u / 3;
        const double tube = 2 * Pi * v;
        const double ring = major + minor * std::cos(tube);
        return V3{ring * std::cos(around), minor * std::sin(tube), ring * std::sin(around)};
    };
    addSurface(mesh, f, {0, 3, 0, 1, segments, sides});
    return mesh;
}

Mesh makeTorusKnot(const std::string& name, int segments, int sides) {
    Mesh mesh = named(name);
    // The (2, 3) knot on a torus of radii 2 and 1 (scaled by 14) lying in the xy plane, so that a
    // camera looking along the z axis sees the familiar trefoil.
    constexpr double scale = 14.0;
    constexpr double tubeRadius = 7.0;
    constexpr double repeatAlong = 10.0;
    auto centre = [](double t) {
        const double ring = 2 + std::cos(3 * t);
        return V3{ring * std::cos(2 * t), ring * std::sin(2 * t), std::sin(3 * t)} * scale;
    };
    auto direction = [](double t) {
        const double ring = 2 + std::cos(3 * t);
        return V3{-3 * std::sin(3 * t) * std::cos(2 * t) - 2 * ring * std::sin(2 * t),
                  -3 * std::sin(3 * t) * std::sin(2 * t) + 2 * ring * std::cos(2 * t), 3 * std::cos(3 * t)}
            .normalized();
    };
    // The cross-section's frame must not spin about the curve, or the tube's surface shears and
    // the texture with it: a rotation-minimising frame (by double reflection), with the small turn
    // it is left with after one loop spread evenly along the loop so that it closes on itself.
    constexpr int Samples = 4096;
    auto sampleT = [](int i) { return 2 * Pi * i / Samples; };
    std::vector<V3> reference(Samples + 1);
    reference[0] = (V3{1, 0, 0} - direction(0) * direction(0).dot(V3{1, 0, 0})).normalized();
    for (int i = 0; i < Samples; ++i) {
        const V3 v1 = centre(sampleT(i + 1)) - centre(sampleT(i));
        const double c1 = v1.dot(v1);
        const V3 r = reference[static_cast<size_t>(i)];
        const V3 rL = r - v1 * (2 / c1 * v1.dot(r));
        const V3 tL = direction(sampleT(i)) - v1 * (2 / c1 * v1.dot(direction(sampleT(i))));
        const V3 v2 = direction(sampleT(i + 1)) - tL;
        const double c2 = v2.dot(v2);
        reference[static_cast<size_t>(i) + 1] = c2 > 1e-20 ? rL - v2 * (2 / c2 * v2.dot(rL)) : rL;
    }
    const V3 d0 = direction(0);
    const double leftOver =
        std::atan2(cross(reference[Samples], reference[0]).dot(d0), reference[Samples].dot(reference[0]));
    for (int i = 0; i <= Samples; ++i) {
        // Rodrigues' rotation about the curve's direction.
        const V3 d = direction(sampleT(i));
        const V3 r = reference[static_cast<size_t>(i)];
        const double a = leftOver * i / Samples;
        reference[static_cast<size_t>(i)] =
            r * std::cos(a) + cross(d, r) * std::sin(a) + d * (d.dot(r) * (1 - std::cos(a)));
    }
    auto sideAt = [reference = std::move(reference), direction](double t) {
        double f = t / (2 * Pi) * Samples;
        f -= Samples * std::floor(f / Samples);
        const int i = std::min(static_cast<int>(f), Samples - 1);
        const double w = f - i;
        const V3 e = reference[static_cast<size_t>(i)] * (1 - w) + reference[static_cast<size_t>(i) + 1] * w;
        const V3 d = direction(t);
        return (e - d * d.dot(e)).normalized();
    };
    auto tube = [=](double u, double v, double turn) {
        const double t = 2 * Pi * u / repeatAlong;
        const V3 d = direction(t);
        const V3 side = sideAt(t);
        const V3 other = cross(d, side);
        const double a = turn * 2 * Pi * v;
        return centre(t) + (side * std::cos(a) + other * std::sin(a)) * tubeRadius;
    };
    // Pick the turning sense around the tube that makes the normals face out of it.
    const double u = 1.3, v = 0.2, h = 1e-5;
    const V3 du = tube(u + h, v, 1) - tube(u - h, v, 1);
    const V3 dv = tube(u, v + h, 1) - tube(u, v - h, 1);
    const V3 out = tube(u, v, 1) - centre(2 * Pi * u / repeatAlong);
    const double turn = cross(du, dv).dot(out) > 0 ? 1.0 : -1.0;
    addSurface(mesh, [=](double uu, double vv) { return tube(uu, vv, turn); },
               {0, repeatAlong, 0, 1, segments, sides});
    return mesh;
}

Mesh makeTunnel(const std::string& name, int sides, int segments) {
    Mesh mesh = named(name);
    constexpr double radius = 100.0, halfLength = 350.0, ribSpacing = 100.0, ribDepth = 0.05, ribWidth = 10.0;
    constexpr double repeatAround = 6.0, repeatAlong = 7.0;
    // The angle falls as u grows, which turns dP/du x dP/dv towards the axis.
    Surface f = [=](double u, double v) {
        const double z = -halfLength + 2 * halfLength * v / repeatAlong;
        const double fromRib = z - ribSpacing * std::round(z / ribSpacing);
        const double r = radius * (1 - ribDepth * std::exp(-(fromRib * fromRib) / (ribWidth * ribWidth)));
        const double angle = -2 * Pi * u / repeatAround;
        return V3{r * std::cos(angle), r * std::sin(angle), z};
    };
    addSurface(mesh, f, {0, repeatAround, 0, repeatAlong, sides, segments});
    return mesh;
}

Mesh makeFloor(const std::string& name, float edge, int repeat) {
    Mesh mesh = named(name);
    addRectangle(mesh, {0, 0, 0}, {0, 1, 0}, {0, 0, 1}, edge, edge, repeat, repeat, 8, 8);
    return mesh;
}

Mesh makePanel(const std::string& name, float width, float height) {
    Mesh mesh = named(name);
    addRectangle(mesh, {0, 0, 0}, {0, 0, 1}, {0, 1, 0}, width, height, 1, 1, 1, 1);
    return mesh;
}

std::vector<NamedMesh> makeShowMeshes() {
    std::vector<NamedMesh> meshes;
    auto add = [&](Mesh mesh) {
        std::string name = mesh.name;
        meshes.push_back({std::move(name), std::move(mesh)});
    };
    add(makeCube("eckig"));
    add(makeSphere("sphere"));
    add(makeTorus("torus"));
    add(makeTorusKnot("ding02"));
    add(makeTunnel("Tunnel01"));
    add(makeFloor("floor"));
    add(makePanel("panel"));
    return meshes;
}
