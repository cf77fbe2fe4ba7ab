#include "tools/import/StagedFiles.h"

#include <fstream>

std::filesystem::path StagedFiles::reserve(const std::string& relative, std::string& error) {
    const std::filesystem::path target = root_ / relative;
    std::error_code ec;
    std::filesystem::create_directories(target.parent_path(), ec);
    if (ec || !std::filesystem::is_directory(target.parent_path())) {
        error = "cannot make the folder " + target.parent_path().string() +
                (ec ? ": " + ec.message() : std::string(": a file of that name is in the way"));
        return {};
    }
    if (std::filesystem::is_directory(target)) {
        error = "cannot write " + target.string() + ": it is a folder";
        return {};
    }
    const std::filesystem::path part = target.string() + ".part";
    files_.push_back(relative);
    parts_.push_back(part);
    return part;
}

bool StagedFiles::put(const std::string& relative, const std::vector<uint8_t>& bytes, std::string& error) {
    return put(relative, {Piece{bytes.data(), bytes.size()}}, error);
}

bool StagedFiles::put(const std::string& relative, const std::vector<Piece>& pieces, std::string& error) {
    const std::filesystem::path part = reserve(relative, error);
    if (part.empty()) return false;
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    for (const Piece& piece : pieces)
        if (piece.size > 0)
            out.write(static_cast<const char*>(piece.data), static_cast<std::streamsize>(piece.size));
    out.close();
    if (!out) {
        error = "cannot write " + (root_ / relative).string();
        return false;
    }
    return true;
}

bool StagedFiles::commit(std::string& error) {
    for (size_t i = 0; i < parts_.size(); ++i) {
        std::error_code ec;
        std::filesystem::rename(parts_[i], root_ / files_[i], ec);
        if (ec) {
            error = "cannot move " + parts_[i].string() + " into place: " + ec.message();
            parts_.erase(parts_.begin(), parts_.begin() + static_cast<std::ptrdiff_t>(i));
            files_.erase(files_.begin(), files_.begin() + static_cast<std::ptrdiff_t>(i));
            discard();
            return false;
        }
    }
    parts_.clear();
    return true;
}

void StagedFiles::discard() {
    for (const auto& part : parts_) {
        std::error_code ec;
        std::filesystem::remove(part, ec);
    }
    parts_.clear();
}

bool StagedFiles::exists(const std::string& relative) const {
    std::error_code ec;
    return std::filesystem::exists(root_ / relative, ec);
}
