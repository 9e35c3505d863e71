// The project file of the archive builder (TOML) turned into what the
// archive writer needs: manifest fields, files with their data and dates,
// and the build options.
#ifndef QUILLPACK_TOOLS_QPKBUILD_PROJECT_H
#define QUILLPACK_TOOLS_QPKBUILD_PROJECT_H

#include <string>
#include <vector>

#include "archive/build/archive_writer.h"

struct Project {
    BuildManifest manifest;
    bool uninstallerDateGiven = false;
    std::vector<BuildFile> files;
    BuildOptions options;
};

// Reads the project file and every source it names. Throws BuildError with
// "file:line: message" for a bad project file and with the path for a
// source that cannot be read.
Project LoadProject(const std::string& path);

// Modification time of a file as a local date; false when it cannot be read.
bool FileModificationDate(const std::string& path, FileDate& date);

// Gives the file a local modification date; false on failure.
bool SetFileModificationDate(const std::string& path, const FileDate& date);

// Whole file into bytes; false when it cannot be read.
bool LoadFileBytes(const std::string& path, std::string& bytes);

#endif  // QUILLPACK_TOOLS_QPKBUILD_PROJECT_H
