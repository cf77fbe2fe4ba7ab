#include "tools/import/ImportRecord.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// FNV-1a over the file's bytes; false when it cannot be read.
bool fileChecksum(const fs::path& path, uint64_t& size, uint64_t& checksum) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    uint64_t hash = 0xcbf29ce484222325ull;
    uint64_t count = 0;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        const std::streamsize got = in.gcount();
        for (std::streamsize i = 0; i < got; ++i) {
            hash ^= static_cast<unsigned char>(buffer[i]);
            hash *= 0x100000001b3ull;
        }
        count += static_cast<uint64_t>(got);
        if (!in) break;
    }
    size = count;
    checksum = hash;
    return true;
}

// Only what a model import writes: a mesh in model/ or a picture in tex/, by a plain name.
bool importedKind(const std::string& relative) {
    const bool mesh = relative.rfind("model/", 0) == 0 && relative.ends_with(".obj");
    const bool picture = relative.rfind("tex/", 0) == 0 && relative.ends_with(".bmp");
    if (!mesh && !picture) return false;
    const std::string name = relative.substr(relative.find('/') + 1);
    if (name.empty() || name[0] == '.') return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
              c == '.' || c == '-'))
            return false;
    return true;
}

} // namespace

std::string importRecordPath(const std::string& name) {
    return "model/" + name + ".imported";
}

std::vector<RecordedFile> readImportRecord(const fs::path& show, const std::string& name) {
    std::vector<RecordedFile> files;
    std::ifstream in(show / importRecordPath(name));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        RecordedFile file;
        std::string checksum;
        if (!(fields >> file.relative >> file.size >> checksum) || !importedKind(file.relative)) continue;
        try {
            size_t used = 0;
            file.checksum = std::stoull(checksum, &used, 16);
            if (used != checksum.size()) continue;
        } catch (...) {
            continue;
        }
        files.push_back(file);
    }
    return files;
}

bool writeImportRecord(const fs::path& show, const std::string& name, const std::vector<std::string>& files,
                       std::string& error) {
    std::string text = "# The files beatshow-import wrote for " + name +
                       ": the next import of it removes those it no longer writes\n"
                       "# (unless they changed since). Path, size in bytes, checksum.\n";
    for (const std::string& relative : files) {
        uint64_t size = 0, checksum = 0;
        if (!fileChecksum(show / relative, size, checksum)) continue;
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(checksum));
        text += relative + " " + std::to_string(size) + " " + hex + "\n";
    }
    // Written beside its place and renamed into it: a record is whole or the earlier one.
    const fs::path path = show / importRecordPath(name);
    const fs::path part = path.string() + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            error = "cannot write " + part.string();
            std::error_code ec;
            fs::remove(part, ec);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(part, path, ec);
    if (ec) {
        error = "cannot move " + part.string() + " into place: " + ec.message();
        fs::remove(part, ec);
        return false;
    }
    return true;
}

StaleFiles removeStaleImportFiles(const fs::path& show, const std::vector<RecordedFile>& recorded,
                                  const std::set<std::string>& written) {
    StaleFiles result;
    std::set<std::string> seen;
    for (const RecordedFile& file : recorded) {
        if (written.count(file.relative) || !importedKind(file.relative) ||
            !seen.insert(file.relative).second)
            continue;
        const fs::path path = show / file.relative;
        std::error_code ec;
        if (!fs::is_regular_file(fs::symlink_status(path, ec))) continue; // gone, or not a plain file
        uint64_t size = 0, checksum = 0;
        if (!fileChecksum(path, size, checksum) || size != file.size || checksum != file.checksum) {
            result.changed.push_back(file.relative);
            continue;
        }
        if (fs::remove(path, ec))
            result.removed.push_back(file.relative);
        else
            result.failed.push_back(file.relative + " (" + ec.message() + ")");
    }
    return result;
}
