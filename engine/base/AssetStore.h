// Turns a bare asset name into a file path (a directory and an extension per asset kind) and a
// file's contents into bytes, caching what it has read so that a file named twice is read once.
//
// Names may be of any length: the cache keeps them whole, so a long name never overruns anything.
// Cached bytes are shared: a record handed out by `fetch` stays valid after `release` drops the
// cache's entry, since every holder keeps the bytes alive.
//
// Directories are written with a trailing backslash, as scene authors know them ("tex\"); the
// backslash becomes the platform's separator when a path is built.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

enum AssetKind : int {
    AssetKindNone = 0,
    AssetKindMesh = 3,
    AssetKindBitmap = 4,
    AssetKindMusic = 5,
};

struct CachedFile {
    std::string name;
    uint32_t size = 0;
    std::shared_ptr<const std::vector<uint8_t>> bytes;
    int kind = AssetKindNone; // 0 marks a failed read

    const uint8_t* data() const { return bytes ? bytes->data() : nullptr; }
};

class AssetStore {
public:
    // -2 when the kind is registered already; 0 otherwise.
    int registerKind(const std::string& directory, const std::string& extension, int kind);
    // The directory of the kind as registered, or "" for an unregistered kind.
    std::string directoryFor(int kind) const;
    // Directory + name + "." + extension, with the platform's separator; "" for an unregistered kind.
    std::string pathFor(const std::string& name, int kind) const;

    // Reads the whole file and appends it to the cache; kind 0 in the result on failure
    // ("Cannot open file: <path>" when the file cannot be opened).
    CachedFile readFile(const std::string& name, int kind);
    // The cached file of that name and kind, else a fresh read; null (and "openfileerror") on failure.
    std::unique_ptr<CachedFile> fetch(const std::string& name, int kind);
    // Drops the first cached entry of that name and kind; -1 when there is none.
    int release(const std::string& name, int kind);

    // Number of cached entries (for tests and diagnostics).
    size_t cachedCount() const;
    // Forgets every kind and every cached file.
    void clear();
    // Forgets the cached files only: the next fetch reads each file again (it changed on disk).
    void dropCachedFiles();

private:
    struct KindRecord {
        std::string directory;
        std::string extension;
        int kind;
    };
    const KindRecord* findKind(int kind) const;

    mutable std::mutex mutex_;
    std::vector<KindRecord> kinds_;
    std::list<CachedFile> cache_;
};

// Turns the backslashes of a scene-style path into the platform's separator.
std::string platformPath(const std::string& path);
