// The project file of the archive builder (TOML) turned into what the
// archive writer needs: manifest fields, files with their sources, sizes
// and dates (the data is read while the archive is written), and the build
// options.
#ifndef QUILLPACK_TOOLS_QPKBUILD_PROJECT_H
#define QUILLPACK_TOOLS_QPKBUILD_PROJECT_H

#include <time.h>

#include <optional>
#include <string>
#include <vector>

#include "archive/build/archive_writer.h"
#include "tools/qpkbuild/package_manifests.h"

struct Project {
    BuildManifest manifest;
    bool uninstallerDateGiven = false;
    std::vector<BuildFile> files;
    BuildOptions options;
    std::string signCommand;  // run on the finished setup; empty: none
    std::string arch = "x86";  // "x86": quillpack.exe, "x64": quillpack64.exe
    ManifestInputs manifests;
    bool manifestsWanted = false;  // checked, and to be written
    // Where a payload spread over disk files is asked for, for refusing
    // manifests once the build shows it: "FILE:LINE: options.first_part_max".
    std::string firstPartWhere;
};

// What the command line adds to the project file.
struct LoadRequest {
    // --manifests DIR (true) or --manifests "" (false); otherwise the
    // project's [manifests] table decides.
    std::optional<bool> manifests;
    // The setup program's file name, which the download URL must end in;
    // empty: not checked.
    std::string setupName;
};

// Reads the project file and every source it names. Throws BuildError with
// "file:line: key: what is wrong; expected what" for a bad project file or
// a source that cannot be read, and, when manifests are wanted, for
// anything they need that is missing or that they cannot carry.
Project LoadProject(const std::string& path, const LoadRequest& request = LoadRequest());

// The newest date allowed by SOURCE_DATE_EPOCH (seconds since 1970 UTC),
// as a local date the way modification times are read. Throws BuildError
// for anything but decimal digits that the local clock can convert.
FileDate SourceDateEpochDate(const std::string& value);

// No date of the archive (files, uninstaller) stays later than latest.
void ClampDates(Project& project, const FileDate& latest);

// Empty when a signing command is usable: it must say where the setup
// program's path goes ({file}, or the variable QPKBUILD_FILE); an empty
// command means no signing.
std::string SignCommandProblem(const std::string& command);

// Why a path cannot be read as a file, for messages: "no such file", ...
std::string WhyUnreadable(const std::string& path);

// A time as a local date; false when the C library cannot convert it.
bool LocalDate(time_t t, FileDate& date);

// Modification time of a file as a local date; false when it cannot be read.
bool FileModificationDate(const std::string& path, FileDate& date);

// Gives the file a local modification date; false on failure.
bool SetFileModificationDate(const std::string& path, const FileDate& date);

// Whole file into bytes; false when it cannot be read.
bool LoadFileBytes(const std::string& path, std::string& bytes);

#endif  // QUILLPACK_TOOLS_QPKBUILD_PROJECT_H
