#include "engine/base/AssetStore.h"

#include "engine/base/Log.h"

#include <cstdio>
#include <filesystem>
#include <limits>

std::string platformPath(const std::string& path) {
    std::string result = path;
    for (char& c : result)
        if (c == '\\') c = static_cast<char>(std::filesystem::path::preferred_separator);
    return result;
}

int AssetStore::registerKind(const std::string& directory, const std::string& extension, int kind) {
    std::lock_guard lock(mutex_);
    for (const KindRecord& r : kinds_)
        if (r.kind == kind) return -2;
    kinds_.push_back({directory, extension, kind});
    return 0;
}

const AssetStore::KindRecord* AssetStore::findKind(int kind) const {
    for (const KindRecord& r : kinds_)
        if (r.kind == kind) return &r;
    return nullptr;
}

std::string AssetStore::directoryFor(int kind) const {
    std::lock_guard lock(mutex_);
    const KindRecord* r = findKind(kind);
    return r ? r->directory : std::string();
}

std::string AssetStore::pathFor(const std::string& name, int kind) const {
    std::lock_guard lock(mutex_);
    const KindRecord* r = findKind(kind);
    return r ? platformPath(r->directory + name + "." + r->extension) : std::string();
}

namespace {

// Reads a regular file whole; false when it cannot be opened or read, or does not fit 32 bits.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& out) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(f) : -1;
    ok = ok && size >= 0 && static_cast<unsigned long>(size) <= std::numeric_limits<uint32_t>::max() &&
         std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        out.resize(static_cast<size_t>(size));
        ok = out.empty() || std::fread(out.data(), 1, out.size(), f) == out.size();
    }
    std::fclose(f);
    return ok;
}

} // namespace

CachedFile AssetStore::readFile(const std::string& name, int kind) {
    const std::string path = pathFor(name, kind);
    if (path.empty()) return {};

    auto bytes = std::make_shared<std::vector<uint8_t>>();
    if (!readWholeFile(path, *bytes)) {
        logStream << "Cannot open file: " << path << std::endl;
        return {};
    }
    CachedFile file;
    file.name = name;
    file.size = static_cast<uint32_t>(bytes->size());
    file.bytes = std::move(bytes);
    file.kind = kind;

    std::lock_guard lock(mutex_);
    cache_.push_back(file);
    return file;
}

std::unique_ptr<CachedFile> AssetStore::fetch(const std::string& name, int kind) {
    {
        std::lock_guard lock(mutex_);
        for (const CachedFile& f : cache_)
            if (f.kind == kind && f.name == name) return std::make_unique<CachedFile>(f);
    }
    CachedFile file = readFile(name, kind);
    if (file.kind == AssetKindNone) {
        logStream << "openfileerror" << std::endl;
        return nullptr;
    }
    return std::make_unique<CachedFile>(std::move(file));
}

int AssetStore::release(const std::string& name, int kind) {
    std::lock_guard lock(mutex_);
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
        if (it->kind == kind && it->name == name) {
            cache_.erase(it);
            return 0;
        }
    }
    return -1;
}

size_t AssetStore::cachedCount() const {
    std::lock_guard lock(mutex_);
    return cache_.size();
}

void AssetStore::clear() {
    std::lock_guard lock(mutex_);
    kinds_.clear();
    cache_.clear();
}

void AssetStore::dropCachedFiles() {
    std::lock_guard lock(mutex_);
    cache_.clear();
}
