// How long beatshow-import takes to turn a large model into a mesh file, and how much memory it
// holds meanwhile. The model is made here: a sphere of N triangles (1,000,000 unless told) with
// normals and texture coordinates, as a binary glTF file the way Blender exports one (indexed,
// no tangents, so the importer computes the tangent frame). The importer runs as a process of
// its own, so its peak resident memory is its own.
//
//   import_bench [TRIANGLES]
//
// Prints "key value" lines: triangles, model_bytes, mesh_file_bytes, convert_ms, peak_rss_bytes.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void appendU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

template <typename T>
void appendArray(std::vector<uint8_t>& out, const std::vector<T>& values) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(values.data());
    out.insert(out.end(), bytes, bytes + values.size() * sizeof(T));
}

// A latitude-longitude sphere of about `triangles` triangles as a .glb file.
void writeSphere(const fs::path& path, long triangles) {
    const int rings = std::max(2, static_cast<int>(std::sqrt(static_cast<double>(triangles) / 4.0)));
    const int segments = std::max(3, static_cast<int>(triangles / (2L * rings)));
    std::vector<float> positions, normals, uvs;
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s <= segments; ++s) {
            const double theta = M_PI * r / rings, phi = 2 * M_PI * s / segments;
            const float n[3] = {static_cast<float>(std::sin(theta) * std::cos(phi)),
                                static_cast<float>(std::cos(theta)),
                                static_cast<float>(std::sin(theta) * std::sin(phi))};
            positions.insert(positions.end(), {n[0] * 2, n[1] * 2, n[2] * 2});
            normals.insert(normals.end(), {n[0], n[1], n[2]});
            uvs.insert(uvs.end(), {static_cast<float>(s) / segments, static_cast<float>(r) / rings});
        }
    std::vector<uint32_t> indices;
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const uint32_t a = static_cast<uint32_t>(r * (segments + 1) + s), b = a + 1,
                           c = a + static_cast<uint32_t>(segments + 1), d = c + 1;
            indices.insert(indices.end(), {a, c, b, b, c, d});
        }
    const size_t count = positions.size() / 3;
    std::vector<uint8_t> bin;
    appendArray(bin, positions);
    appendArray(bin, normals);
    appendArray(bin, uvs);
    appendArray(bin, indices);
    const size_t p = 0, n = count * 12, t = count * 24, i = count * 32;
    char json[2048];
    std::snprintf(
        json, sizeof json,
        "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],"
        "\"nodes\":[{\"name\":\"Sphere\",\"mesh\":0}],"
        "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0,\"NORMAL\":1,\"TEXCOORD_0\":2},"
        "\"indices\":3,\"material\":0}]}],"
        "\"materials\":[{\"name\":\"Grey\",\"pbrMetallicRoughness\":{\"baseColorFactor\":[0.5,0.5,0.5,1]}}],"
        "\"accessors\":[{\"bufferView\":0,\"componentType\":5126,\"count\":%zu,\"type\":\"VEC3\","
        "\"min\":[-2,-2,-2],\"max\":[2,2,2]},"
        "{\"bufferView\":1,\"componentType\":5126,\"count\":%zu,\"type\":\"VEC3\"},"
        "{\"bufferView\":2,\"componentType\":5126,\"count\":%zu,\"type\":\"VEC2\"},"
        "{\"bufferView\":3,\"componentType\":5125,\"count\":%zu,\"type\":\"SCALAR\"}],"
        "\"bufferViews\":[{\"buffer\":0,\"byteOffset\":%zu,\"byteLength\":%zu},"
        "{\"buffer\":0,\"byteOffset\":%zu,\"byteLength\":%zu},{\"buffer\":0,\"byteOffset\":%zu,"
        "\"byteLength\":%zu},"
        "{\"buffer\":0,\"byteOffset\":%zu,\"byteLength\":%zu}],\"buffers\":[{\"byteLength\":%zu}]}",
        count, count, count, indices.size(), p, n - p, n, t - n, t, i - t, i, bin.size() - i, bin.size());
    std::vector<uint8_t> text(json, json + std::strlen(json));
    while (text.size() % 4)
        text.push_back(' ');
    std::vector<uint8_t> out;
    appendU32(out, 0x46546C67);
    appendU32(out, 2);
    appendU32(out, static_cast<uint32_t>(12 + 8 + text.size() + 8 + bin.size()));
    appendU32(out, static_cast<uint32_t>(text.size()));
    appendU32(out, 0x4E4F534A);
    out.insert(out.end(), text.begin(), text.end());
    appendU32(out, static_cast<uint32_t>(bin.size()));
    appendU32(out, 0x004E4942);
    out.insert(out.end(), bin.begin(), bin.end());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    std::printf("triangles %zu\n", indices.size() / 3);
}

} // namespace

int main(int argc, char** argv) {
    const long triangles = argc > 1 ? std::atol(argv[1]) : 1000000;
    if (triangles < 1) {
        std::fprintf(stderr, "usage: import_bench [TRIANGLES]\n");
        return 2;
    }
    const fs::path folder = fs::temp_directory_path() / ("beatshow-import-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path model = folder / "sphere.glb";
    writeSphere(model, triangles);
    std::printf("model_bytes %ju\n", static_cast<uintmax_t>(fs::file_size(model)));

    const std::string importer = BEATSHOW_IMPORT_PROGRAM, into = (folder / "show").string();
    std::fflush(stdout); // the child must not write what is buffered here a second time
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        execl(importer.c_str(), importer.c_str(), model.c_str(), "--into", into.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const fs::path mesh = folder / "show/model/sphere.obj";
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && fs::exists(mesh);
    if (ok) {
        std::printf("mesh_file_bytes %ju\n", static_cast<uintmax_t>(fs::file_size(mesh)));
        std::printf("convert_ms %.1f\n", ms);
        std::printf("peak_rss_bytes %ld\n", usage.ru_maxrss * 1024L);
    } else {
        std::fprintf(stderr, "import_bench: %s did not convert the model (status %d)\n", importer.c_str(),
                     status);
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
    return ok ? 0 : 1;
}
