// The files of one imported asset, written all or not at all.
//
// Each file is first written beside its place as "<file>.part"; only when every file of the set is
// complete are they renamed into place. A failure, or a set dropped without commit, removes the
// parts, so a show directory never holds half an import: neither a cut-short file nor a mesh
// whose material was never written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class StagedFiles {
public:
    explicit StagedFiles(std::filesystem::path root) : root_(std::move(root)) {}
    ~StagedFiles() { discard(); }
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;

    // The part file to fill for `relative` (for example "audio/song.ogg"), its folder made. Empty
    // and a message when the folder cannot be made.
    std::filesystem::path reserve(const std::string& relative, std::string& error);
    // Writes the whole of `bytes` as the part file of `relative`. False and a message on failure.
    bool put(const std::string& relative, const std::vector<uint8_t>& bytes, std::string& error);
    // The same for contents in pieces (a header and a large body), written one after the other.
    struct Piece {
        const void* data;
        size_t size;
    };
    bool put(const std::string& relative, const std::vector<Piece>& pieces, std::string& error);
    // Renames every part into place. False and a message when one cannot be moved (the parts not
    // yet moved are removed).
    bool commit(std::string& error);
    // Removes every part not yet committed.
    void discard();

    // The files of the set, relative to the root, in the order they were reserved.
    const std::vector<std::string>& files() const { return files_; }
    // True when `relative` already exists under the root (a commit replaces it).
    bool exists(const std::string& relative) const;
    std::filesystem::path pathOf(const std::string& relative) const { return root_ / relative; }

private:
    std::filesystem::path root_;
    std::vector<std::string> files_;
    std::vector<std::filesystem::path> parts_;
};
