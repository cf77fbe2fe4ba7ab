// What the last import of a model wrote, kept in the show as model/NAME.imported, so that the next
// import of the same model (the same NAME) takes away the files it no longer writes, and nothing
// else: a file the record does not name, one outside model/ and tex/, and one changed since the
// import wrote it (its size and checksum are recorded) all stay.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

struct RecordedFile {
    std::string relative; // "model/robot_arm.obj", relative to the show directory
    uint64_t size = 0;
    uint64_t checksum = 0;
};

// "model/NAME.imported"
std::string importRecordPath(const std::string& name);

// The files the record of NAME lists (none when there is no record or it cannot be read). Lines
// that are not a file the import could have written are passed over.
std::vector<RecordedFile> readImportRecord(const std::filesystem::path& show, const std::string& name);

// Records the files as they are on disk now. False and a message when the record cannot be written.
bool writeImportRecord(const std::filesystem::path& show, const std::string& name,
                       const std::vector<std::string>& files, std::string& error);

struct StaleFiles {
    std::vector<std::string> removed;
    std::vector<std::string> changed; // left where they are: changed since the import wrote them
    std::vector<std::string> failed;  // could not be removed (with why)
};

// Removes each recorded file that `written` (the new import's files) does not hold and that is
// still as the import wrote it.
StaleFiles removeStaleImportFiles(const std::filesystem::path& show,
                                  const std::vector<RecordedFile>& recorded,
                                  const std::set<std::string>& written);
