#include "tools/qpkbuild/commands.h"

#include <ctype.h>
#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "archive/build/archive_reader.h"
#include "archive/build/archive_writer.h"
#include "archive/payload.h"
#include "archive/pe_image.h"
#include "archive/safe_name.h"
#include "tools/qpkbuild/disk_files.h"
#include "tools/qpkbuild/package_manifests.h"
#include "tools/qpkbuild/project.h"
#include "tools/qpkbuild/sha256.h"
#include "tools/qpkbuild/signing.h"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------
// Commands and their options, from which both parsing and help come, so
// that no option goes unlisted.

struct Option {
    const char* name;
    const char* alias;  // or null
    const char* value;  // what follows it, or null for a switch
    const char* help;
};

struct Arguments {
    std::vector<std::string> operands;
    std::vector<std::pair<std::string, std::string>> options;  // name, value

    const std::string* Find(const char* name) const {
        const std::string* found = nullptr;
        for (const auto& [n, v] : options) {
            if (n == name) found = &v;  // the last one given wins
        }
        return found;
    }
};

struct Command {
    const char* name;
    const char* operands;
    const char* summary;
    std::vector<Option> options;
    const char* details;  // more lines for COMMAND --help, or null
};

const Option kHelp = {"--help", "-h", nullptr, "show this help and stop"};

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"build", "PROJECT", "make a setup program from a project file",
         {{"-o", "--output", "OUT", "the setup program to write (default: PROJECT's name with .exe, in the current folder)"},
          {"--stub", nullptr, "PATH", "the installer program to put in front (default: beside qpkbuild, quillpack.exe, or quillpack64.exe for [options] arch = \"x64\")"},
          {"--sign", nullptr, "COMMAND", "run COMMAND on the finished setup, {file} standing for its path; overrides [options] sign, \"\" turns it off"},
          {"--manifests", nullptr, "DIR", "write the package-manager manifests into DIR (default with [manifests]: beside OUT); \"\" turns them off"},
          kHelp},
         "The project's [options] method chooses how the payload is compressed: \"lz\"\n"
         "(the default; the fastest to install) or \"lze\" (smaller; slower to build\n"
         "and to install).\n"
         "Spread payloads go to Disk2.QPK, Disk3.QPK, ... beside OUT; only disk files\n"
         "of the setup program OUT replaces are overwritten or removed.\n"
         "The signing command also finds the setup's path in QPKBUILD_FILE.\n"
         "Environment: SOURCE_DATE_EPOCH (seconds since 1970, UTC) makes it the\n"
         "newest date in the archive, for reproducible setups.\n"},
        {"new", "DIR", "start a project: a commented setup.toml and a files folder that build as they stand",
         {kHelp}, nullptr},
        {"list", "SETUP", "show the manifest and the file table", {kHelp}, nullptr},
        {"verify", "SETUP [DISK...]", "check a setup program as the installer would; the exit code is its corrupt code",
         {kHelp}, "Disks given are Disk2.QPK, Disk3.QPK, ... in that order; otherwise they are\nlooked for beside SETUP.\n"},
        {"extract", "SETUP DIR", "write the payload's files with their dates to DIR", {kHelp}, nullptr},
    };
    return commands;
}

const Command* FindCommand(const std::string& name) {
    for (const Command& c : Commands()) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

std::string OptionUsage(const Option& o) {
    std::string text = o.name;
    if (o.alias) text += std::string(", ") + o.alias;
    if (o.value) text += std::string(" ") + o.value;
    return text;
}

void OptionLines(const Command& c, std::ostream& out) {
    for (const Option& o : c.options) {
        out << "    " << std::left << std::setw(22) << OptionUsage(o) << std::right << " " << o.help << "\n";
    }
}

void CommandHelp(const Command& c, std::ostream& out) {
    out << "usage: qpkbuild " << c.name << " " << c.operands << (c.options.size() > 1 ? " [OPTIONS]" : "")
        << "\n" << char(toupper(c.summary[0])) << (c.summary + 1) << ".\n\noptions:\n";
    OptionLines(c, out);
    if (c.details) out << "\n" << c.details;
}

void GeneralHelp(std::ostream& out) {
    out << "usage: qpkbuild COMMAND [ARGUMENTS] [OPTIONS]\n"
           "Makes setup programs from project files and checks them.\n\n";
    for (const Command& c : Commands()) {
        out << "qpkbuild " << c.name << " " << c.operands << "\n    " << c.summary << "\n";
        OptionLines(c, out);
    }
    out << "\nA project's [options] method is \"lz\" (the default, fastest to install) or\n"
           "\"lze\" (a smaller setup, slower to build and to install).\n"
           "\nqpkbuild --help, -h            show this help and stop\n"
           "qpkbuild COMMAND --help        show one command's help\n";
}

// Options may come before, between and after the operands.
Arguments Parse(const Command& c, const std::vector<std::string>& args) {
    Arguments a;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-') {
            a.operands.push_back(arg);
            continue;
        }
        const Option* option = nullptr;
        for (const Option& o : c.options) {
            if (arg == o.name || (o.alias && arg == o.alias)) option = &o;
        }
        if (!option) {
            throw BuildError("unknown option \"" + arg + "\" for " + c.name + "; see qpkbuild " + c.name + " --help");
        }
        std::string value;
        if (option->value) {
            if (i + 1 >= args.size()) throw BuildError(std::string(option->name) + " needs " + option->value);
            value = args[++i];
        }
        a.options.push_back({option->name, value});
    }
    return a;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    file.close();
    if (!file) {
        throw BuildError("cannot write " + path + "; expected a folder that exists and may be written to");
    }
}

// The program put in front of the archive: --stub, or the one for the
// project's architecture beside the builder.
std::string FindStub(const std::string& given, const std::string& self, const std::string& arch) {
    if (!given.empty()) return given;
    const std::string name = arch == "x64" ? "quillpack64.exe" : "quillpack.exe";
    fs::path next = fs::path(self).parent_path() / name;
    if (fs::is_regular_file(next)) return next.string();
    throw BuildError("no stub: " + name + " (arch = \"" + arch + "\") is not next to the builder; expected it there, or --stub PATH");
}

// "i386", "x86-64", or what else the program image is.
std::string MachineText(int32_t machine) {
    if (machine < 0) return "no PE program image";
    if (const char* name = PeMachineName(machine)) return name;
    char text[32];
    snprintf(text, sizeof text, "machine 0x%04X", unsigned(machine));
    return text;
}

// Disks named on the command line are disks 2, 3, ... in that order;
// otherwise they are looked for next to the setup program. The files are
// read in pieces; each file's data goes to `data` when given.
Inspection Inspect(const std::string& setupPath, const std::vector<std::string>& disks,
                   InspectedData* data = nullptr) {
    std::error_code ec;
    if (!std::ifstream(setupPath, std::ios::binary) || fs::is_directory(setupPath, ec)) {
        throw BuildError(setupPath + ": " + WhyUnreadable(setupPath) + "; expected a setup program");
    }
    fs::path directory = fs::path(setupPath).parent_path();
    DiskPath path = [&](int32_t disk) -> std::string {
        if (!disks.empty()) {
            size_t index = size_t(disk - 2);
            return index < disks.size() ? disks[index] : std::string();
        }
        return (directory / DiskName(disk)).string();
    };
    return InspectSetupFile(setupPath, path, data);
}

std::string Sha256OfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> piece(size_t(1) << 20);
    Sha256 digest;
    while (in) {
        in.read(piece.data(), std::streamsize(piece.size()));
        digest.Add(piece.data(), size_t(in.gcount()));
    }
    if (in.bad() || !in.eof()) throw BuildError("cannot read " + path + " for its digest");
    return digest.HexDigest();
}

// ---------------------------------------------------------------------------
// build

// Shows how far a large payload's compression has come, on one line that
// is rewritten in place and wiped at the end.
class ProgressLine {
public:
    explicit ProgressLine(std::ostream& err) : err_(err) {}

    void operator()(size_t done, size_t total) {
        if (total < kFrom) return;
        int percent = int(uint64_t(done) * 100 / total);
        if (percent == shown_ && done < total) return;
        shown_ = percent;
        std::ostringstream line;
        line << "qpkbuild: compressing " << std::fixed << std::setprecision(1) << double(total) / (1 << 20)
             << " MB: " << percent << "%";
        width_ = line.str().size();
        err_ << "\r" << line.str() << std::flush;
        if (done >= total) {
            err_ << "\r" << std::string(width_, ' ') << "\r" << std::flush;
            shown_ = -1;
        }
    }

    // Below this a payload compresses too fast to be worth a line.
    static constexpr size_t kFrom = size_t(4) << 20;

private:
    std::ostream& err_;
    int shown_ = -1;
    size_t width_ = 0;
};

// Files written for a build that are taken back unless it succeeds, so
// that no unsigned or half-written setup is left looking finished.
class Pending {
public:
    ~Pending() {
        for (const std::string& path : paths_) {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
    }
    void Add(const std::string& path) { paths_.push_back(path); }
    void Keep() { paths_.clear(); }

private:
    std::vector<std::string> paths_;
};

std::string Ratio(uint64_t out, uint64_t in) {
    if (in == 0) return "-";
    std::ostringstream text;
    text << std::fixed << std::setprecision(1) << 100.0 * double(out) / double(in) << "%";
    return text.str();
}

// What the manifests say about the finished setup program.
PackageFacts FactsOf(const Project& p, int32_t machine, const std::string& setupSha256) {
    const ManifestInputs& in = p.manifests;
    PackageFacts f;
    f.identifier = in.identifier;
    f.version = p.manifest.version;
    f.name = p.manifest.productName;
    f.publisher = p.manifest.publisher;
    f.license = in.license;
    f.shortDescription = in.shortDescription;
    f.locale = in.locale;
    f.url = in.url;
    f.architecture = machine == PeMachineAmd64 ? "x64" : "x86";
    f.sha256 = setupSha256;
    f.chooseDirectory = (p.manifest.flags & AskDirectory) != 0;
    f.interactive = (p.manifest.flags & Automatic) == 0;
    return f;
}

int Build(const std::vector<std::string>& args, const std::string& self, std::ostream& out,
          std::ostream& err, const RunContext& context) {
    const auto start = std::chrono::steady_clock::now();
    Arguments a = Parse(*FindCommand("build"), args);
    if (a.operands.empty()) throw BuildError("build needs a project file; see qpkbuild build --help");
    if (a.operands.size() > 1) throw BuildError("unexpected argument \"" + a.operands[1] + "\"; build takes one project file");
    const std::string& project = a.operands[0];
    std::string output = a.Find("-o") ? *a.Find("-o") : fs::path(project).stem().string() + ".exe";
    std::string stubPath = a.Find("--stub") ? *a.Find("--stub") : "";
    if (const std::string* sign = a.Find("--sign")) {
        std::string problem = SignCommandProblem(*sign);
        if (!problem.empty()) throw BuildError("--sign: " + problem);
    }
    LoadRequest request;
    request.setupName = fs::path(output).filename().string();
    const std::string* manifestsDir = a.Find("--manifests");
    if (manifestsDir) request.manifests = !manifestsDir->empty();

    Project p = LoadProject(project, request);
    if (const std::string* sign = a.Find("--sign")) p.signCommand = *sign;
    std::string stubFile = FindStub(stubPath, self, p.arch);
    std::string stub;
    if (!LoadFileBytes(stubFile, stub)) {
        throw BuildError("the stub " + stubFile + ": " + WhyUnreadable(stubFile) + "; expected the installer program (quillpack.exe)");
    }
    if (!p.uninstallerDateGiven && !FileModificationDate(stubFile, p.manifest.uninstallerDate)) {
        throw BuildError("the stub " + stubFile + ": cannot read its date");
    }
    // The format sums the program image as it is; the linker's CheckSum,
    // which signing rewrites, would make that sum differ from the one that
    // leaves it out. Zero, both agree, and a later signature changes nothing
    // either counts.
    ClearUnsignedChecksum(&stub[0], int64_t(stub.size()));
    const int32_t machine = PeMachine(stub.data(), int64_t(stub.size()));
    if (p.manifestsWanted && machine != PeMachineI386 && machine != PeMachineAmd64) {
        throw BuildError("the stub " + stubFile + " is " + MachineText(machine) +
                         "; expected an i386 or x86-64 program (quillpack.exe, quillpack64.exe) when manifests are written");
    }
    if (context.sourceDateEpoch) ClampDates(p, SourceDateEpochDate(*context.sourceDateEpoch));

    // Disk files carry no name of their setup: only those the setup being
    // replaced is made of are this output's to overwrite or remove.
    fs::path target(output);
    fs::path directory = target.parent_path();
    const int32_t owned = OwnedDiskCount(output);
    auto diskPath = [&](int32_t disk) { return (directory / DiskName(disk)).string(); };
    // Written under a passing name, signed there, and only then given the
    // name it is known by.
    std::string partial = (directory / (target.stem().string() + ".partial" + target.extension().string()))
                              .make_preferred()
                              .string();

    // Told the disk count once the payload is made, before anything is
    // written: a refusal here leaves every file as it was.
    Pending pending;
    auto checks = [&](int32_t disks) {
        if (p.manifestsWanted && disks > 0) {
            throw BuildError((p.firstPartWhere.empty() ? project : p.firstPartWhere) + ": spreads the payload over " +
                             std::to_string(disks) + " disk files; expected a setup program in one file "
                             "when manifests are written, as package managers download that file alone");
        }
        for (int32_t disk = owned + 2; disk < disks + 2; ++disk) {
            std::error_code ec;
            if (fs::exists(diskPath(disk), ec)) {
                throw BuildError(diskPath(disk) + " is not a disk file of " + output +
                                 " (it continues another setup program, or none); expected no such file there: "
                                 "move it away, or build into another folder");
            }
        }
        // A failed build leaves no setup program under the name, not even
        // an older one whose disk files were just overwritten.
        pending.Add(output);
        for (int32_t disk = 2; disk < std::max(owned, disks) + 2; ++disk) pending.Add(diskPath(disk));
        pending.Add(partial);
    };
    WrittenArchive written;
    {
        ProgressLine progress(err);
        LzProgressScope scope(context.errIsTerminal ? LzProgress(std::ref(progress)) : LzProgress());
        written = WriteArchive(stub, p.manifest, p.files, p.options, {partial, diskPath, partial + ".payload", checks});
    }
    // What the archive adds to the stub, before any signature.
    const uint64_t in = written.dataBytes;
    const uint64_t stored = uint64_t(written.setupBytes) - stub.size() + uint64_t(written.diskBytes);

    bool isSigned = false;
    if (!p.signCommand.empty()) {
        std::string failure = RunSigner(p.signCommand, partial, out, err);
        if (!failure.empty()) {
            throw BuildError("signing " + output + ": the command " + failure + "; no setup program was kept");
        }
        std::error_code ec;
        if (!std::ifstream(partial, std::ios::binary) || !fs::is_regular_file(partial, ec)) {
            throw BuildError("signing " + output + ": the command left no readable " + partial + "; no setup program was kept");
        }
        DiskPath disks = [&](int32_t disk) { return disk - 2 < written.disks ? diskPath(disk) : std::string(); };
        Inspection check = InspectSetupFile(partial, disks);
        if (!check.Sound()) {
            throw BuildError("signing " + output + ": afterwards the setup program no longer verifies (" +
                             check.problem + "); no setup program was kept");
        }
        isSigned = check.signedImage;
    }
    std::error_code sizeError;
    const uintmax_t setupSize = fs::file_size(partial, sizeError);
    // From the setup as it will be downloaded: signed, when it is.
    std::string manifestsIn;
    if (p.manifestsWanted) {
        fs::path folder = manifestsDir ? fs::path(*manifestsDir) : directory;
        manifestsIn = folder.empty() ? "." : folder.string();
        std::error_code ec;
        if (!folder.empty()) fs::create_directories(folder, ec);
        if (ec) throw BuildError("cannot make the folder " + folder.string() + " for the manifests: " + ec.message());
        for (const ManifestFile& f : PackageManifests(FactsOf(p, machine, Sha256OfFile(partial)))) {
            std::string path = (folder / f.name).string();
            pending.Add(path);
            WriteFileBytes(path, f.text);
        }
    }
    std::error_code ec;
    fs::rename(partial, output, ec);
    if (ec) throw BuildError("cannot write " + output + ": " + ec.message());
    pending.Keep();
    // The replaced setup's disk files beyond the new ones would only confuse.
    for (int32_t disk = written.disks + 2; disk < owned + 2; ++disk) {
        std::error_code ignored;
        fs::remove(diskPath(disk), ignored);
    }

    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out << output << ": " << p.files.size() << (p.files.size() == 1 ? " file, " : " files, ") << in << " bytes in, " << stored << " bytes out ("
        << Ratio(stored, in) << "), " << std::fixed << std::setprecision(2) << seconds << " s; setup program "
        << setupSize << " bytes";
    if (written.disks > 0) out << ", " << written.disks << " disk files";
    if (isSigned) out << ", signed";
    if (!manifestsIn.empty()) out << ", manifests in " << manifestsIn;
    out << "\n";
    return 0;
}

// ---------------------------------------------------------------------------
// new

const char kTemplate[] = R"(# The project file of @NAME@'s setup program. Build it with
#   qpkbuild build setup.toml -o setup.exe
# (add --stub PATH when quillpack.exe, or quillpack64.exe for arch = "x64",
# is not beside qpkbuild).
# Paths are relative to this file. Texts are TOML strings: "..." with
# escapes such as \r\n, '...' taken literally, or """...""" over lines.
# Keys that are commented out show what else can be given. Dates default
# to modification times; SOURCE_DATE_EPOCH, when set, is the newest allowed.

[product]
name = "@NAME@"
# Also the folder under Common Files that holds shared files.
publisher = "@NAME@ Publisher"
version = "1.0"
# Painted on the background window.
display_title = "@NAME@ 1.0"
# Below Program Files unless it has a drive; "<os>" stands for the Windows folder.
default_directory = "@NAME@"
# Below Software\ in HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER; "" for none.
registry_key = "@NAME@ Publisher\\@NAME@"
# Default: the publisher and the name, as publisher\name.
# start_menu_folder = "@NAME@"
# Default: the stub's modification time.
# uninstaller_date = 2024-01-31T12:00:00
# With the flag UpdateOnly: the product that must be installed already.
# required_product = "Other"
flags = ["WithUninstaller", "AskDirectory"]
# The other flags: MustUninstallFirst, QuietFileList, ConfirmFontRemoval,
# AlwaysWriteLog, Automatic, AutomaticUninstall, NoRemovalList, EditPath,
# CustomColors, RebootPrompt, BackgroundFile, UpdateOnly.

[texts]
welcome = "This will install <product> on your computer.\r\n\r\nDo you want to continue?"
# license_file = "license.txt"     # or license = "..."; shown when not empty
readme_file = "files/readme.txt"   # or readme = "..."

# [background]
# title_color = "#FFFFFF"          # or the Windows value 0x00BBGGRR
# top_color = "#000080"            # the gradient; give both
# bottom_color = "#000000"
# bitmap = "background.bmp"

# [batch]                          # batch texts, inline or as *_file
# before = ""                      # before the files are stored
# after = ""                       # after the uninstall data is saved
# final = ""                       # at the very end
# uninstall1 = ""                  # kept for the uninstaller
# uninstall2 = ""

[options]
compression = true
method = "lz"                      # or "lze": a smaller setup, slower to build and to install
level = "max"                      # or "fast"
checksums = true
# first_part_max = 1400000         # payload bytes in the setup program; the rest goes to disk files
# disk_max = 1457664               # bytes per disk file, Disk2.QPK, Disk3.QPK, ...
# sign = 'signtool sign /a {file}' # run on the finished setup; {file} is its path
# arch = "x64"                     # the 64-bit setup program, quillpack64.exe, for a
                                   # 64-bit product; default "x86", quillpack.exe

# Package-manager manifests, written beside the setup program (or into
# --manifests DIR) with its SHA-256, the silent switch and the exit codes.
# [manifests]
# identifier = "Publisher.Product"
# url = "https://example.com/downloads/setup.exe"   # must end in the setup's name
# license = "Proprietary"
# short_description = "What the product does, in one line."
# locale = "en-US"

# One file, with a shortcut; more [[files]] tables add more.
[[files]]
source = "files/readme.txt"
# dest = "readme.txt"              # the name below the installation directory
# kind = "Normal"                  # Normal, Shared, Font or StartupProgram
start_menu = true
# desktop = true
shortcut_name = "@NAME@ Readme"
# date = 2024-01-31T12:00:00       # default: the file's modification time

# Every file below a folder, under the same relative names.
[[trees]]
source = "files/docs"
dest = "docs"                      # default: straight into the installation directory
# kind = "Normal"
# date = 2024-01-31T12:00:00
)";

const char kReadme[] =
    "@NAME@\r\n"
    "\r\n"
    "This text is shown before the installation and installed as readme.txt.\r\n"
    "Put the product's files in the files folder and name them in setup.toml.\r\n";

const char kGuide[] = "Getting started with @NAME@.\r\n";

std::string Filled(const std::string& text, const std::string& name) {
    std::string out;
    size_t from = 0;
    for (size_t at; (at = text.find("@NAME@", from)) != std::string::npos; from = at + 6) {
        out.append(text, from, at - from);
        out += name;
    }
    out.append(text, from, std::string::npos);
    return out;
}

// The folder's own name, when it needs no escaping in TOML and makes a
// sound folder name for the installer.
std::string ProductNameFor(const fs::path& dir) {
    std::string name = fs::absolute(dir).lexically_normal().filename().string();
    if (name.empty()) name = fs::absolute(dir).lexically_normal().parent_path().filename().string();
    bool plain = !name.empty() && name.find_first_not_of(
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 _-.") == std::string::npos;
    if (!plain || name.find_first_not_of(".") == std::string::npos || !IsContainedName(name.c_str())) {
        return "My Product";
    }
    return name;
}

int New(const std::vector<std::string>& args, std::ostream& out) {
    Arguments a = Parse(*FindCommand("new"), args);
    if (a.operands.size() != 1) throw BuildError("new needs exactly one folder; see qpkbuild new --help");
    fs::path dir(a.operands[0]);
    std::error_code ec;
    if (fs::exists(dir, ec) && !(fs::is_directory(dir, ec) && fs::is_empty(dir, ec))) {
        throw BuildError(dir.string() + " already exists and is not an empty folder; expected a new or empty folder");
    }
    const std::string name = ProductNameFor(dir);
    fs::create_directories(dir / "files" / "docs", ec);
    if (ec) throw BuildError("cannot make " + (dir / "files").string() + ": " + ec.message());
    WriteFileBytes((dir / "setup.toml").string(), Filled(kTemplate, name));
    WriteFileBytes((dir / "files" / "readme.txt").string(), Filled(kReadme, name));
    WriteFileBytes((dir / "files" / "docs" / "guide.txt").string(), Filled(kGuide, name));
    out << "made " << (dir / "setup.toml").string() << " and " << (dir / "files").string()
        << "; build with: qpkbuild build " << (dir / "setup.toml").string() << " -o setup.exe\n";
    return 0;
}

// ---------------------------------------------------------------------------
// list, verify, extract

// Corrupt archives exit with the installer's code; anything else with 1.
int Report(const Inspection& result, const std::string& setupPath, std::ostream& err) {
    if (result.Sound()) return 0;
    err << "qpkbuild: " << setupPath << ": " << result.problem << "\n";
    return result.code != CorruptNone ? result.code : 1;
}

const char* KindName(int32_t kind) {
    switch (kind) {
    case Normal: return "Normal";
    case Shared: return "Shared";
    case Font: return "Font";
    case StartupProgram: return "StartupProgram";
    default: return "?";
    }
}

std::string DateText(const FileDate& d) {
    if (!d.IsSet()) return "-";
    char text[32];
    snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", int(d.year), int(d.month),
             int(d.day), int(d.hour), int(d.minute), int(d.second));
    return text;
}

std::string FlagsText(int32_t flags) {
    static const struct {
        int32_t bit;
        const char* name;
    } names[] = {{MustUninstallFirst, "MustUninstallFirst"}, {QuietFileList, "QuietFileList"},
                 {WithUninstaller, "WithUninstaller"},       {ConfirmFontRemoval, "ConfirmFontRemoval"},
                 {CompressedPayload, "CompressedPayload"},   {AlwaysWriteLog, "AlwaysWriteLog"},
                 {AskDirectory, "AskDirectory"},             {Automatic, "Automatic"},
                 {AutomaticUninstall, "AutomaticUninstall"}, {NoRemovalList, "NoRemovalList"},
                 {Checksums, "Checksums"},                   {EditPath, "EditPath"},
                 {CustomColors, "CustomColors"},             {RebootPrompt, "RebootPrompt"},
                 {BackgroundFile, "BackgroundFile"},         {UpdateOnly, "UpdateOnly"}};
    std::string text;
    for (const auto& n : names) {
        if (flags & n.bit) text += std::string(text.empty() ? "" : " ") + n.name;
    }
    return text.empty() ? "none" : text;
}

// The payload's compression method, as its stream's magic tells it.
std::string MethodText(const Inspection& r) {
    if (!r.manifest->Has(CompressedPayload)) return "none (stored)";
    if (r.method == PayloadLze) return "lze";
    if (r.method == PayloadLz) return "lz";
    return "unknown (the payload did not pass its checks)";
}

std::string Shown(const String& text) {
    std::string s(text.Text(), size_t(text.Length()));
    std::string one;
    for (char c : s) {
        if (c == '\r') continue;
        one += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    if (one.size() > 60) one = one.substr(0, 57) + "...";
    return "\"" + one + "\"";
}

int List(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Arguments a = Parse(*FindCommand("list"), args);
    if (a.operands.size() != 1) throw BuildError("list needs exactly one setup program; see qpkbuild list --help");
    const std::string& setup = a.operands[0];
    Inspection r = Inspect(setup, {});
    if (r.manifest) {
        const Manifest& m = *r.manifest;
        char colors[64];
        snprintf(colors, sizeof colors, "title %06X top %06X bottom %06X", unsigned(m.titleColor),
                 unsigned(m.topColor), unsigned(m.bottomColor));
        out << "flags:             " << FlagsText(m.flags) << "\n"
            << "product name:      " << Shown(m.productName) << "\n"
            << "publisher:         " << Shown(m.publisher) << "\n"
            << "version:           " << Shown(m.version) << "\n"
            << "start-menu folder: " << Shown(m.startMenuText) << "\n"
            << "default directory: " << Shown(m.defaultDirectoryText) << "\n"
            << "registry key:      " << Shown(m.registryKey) << "\n"
            << "display title:     " << Shown(m.displayTitle) << "\n"
            << "colours:           " << colors << "\n"
            << "bitmap:            " << m.bitmap.Length() << " bytes\n"
            << "welcome text:      " << Shown(m.welcomeText) << "\n"
            << "license text:      " << m.licenseText.Length() << " bytes\n"
            << "readme text:       " << m.readmeText.Length() << " bytes\n";
        if (m.Has(UpdateOnly)) out << "required product:  " << Shown(m.requiredProduct) << "\n";
        out << "batch before:      " << Shown(m.batchBefore) << "\n"
            << "batch after:       " << Shown(m.batchAfter) << "\n"
            << "batch final:       " << Shown(m.batchFinal) << "\n"
            << "uninstall batch 1: " << Shown(m.uninstallBatch1) << "\n"
            << "uninstall batch 2: " << Shown(m.uninstallBatch2) << "\n"
            << "uninstaller date:  " << DateText(m.uninstallerDate) << "\n"
            << "program image:     " << r.head.offset << " bytes\n"
            << "architecture:      " << MachineText(r.machine) << "\n"
            << "signature:         " << (r.signedImage ? "signed" : "none") << "\n"
            << "payload:           " << m.payloadLength << " bytes stored, " << m.fileCount
            << " files\n"
            << "method:            " << MethodText(r) << "\n";
    }
    for (const InspectedFile& f : r.files) {
        out << std::left << std::setw(15) << KindName(f.kind) << std::setw(3)
            << ((f.shortcutBits & DesktopShortcut) ? "D" : "-") + std::string((f.shortcutBits & StartMenuShortcut) ? "S" : "-")
            << std::right << std::setw(10) << f.size << "  " << DateText(f.date) << "  "
            << f.name;
        if (!f.shortcutName.empty()) out << "  [" << f.shortcutName << "]";
        out << "\n";
    }
    return Report(r, setup, err);
}

int Verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Arguments a = Parse(*FindCommand("verify"), args);
    if (a.operands.empty()) throw BuildError("verify needs a setup program; see qpkbuild verify --help");
    const std::string& setup = a.operands[0];
    Inspection r = Inspect(setup, std::vector<std::string>(a.operands.begin() + 1, a.operands.end()));
    int code = Report(r, setup, err);
    if (code == 0) {
        out << setup << ": sound, " << MachineText(r.machine) << ", " << (r.signedImage ? "signed, " : "") << r.files.size() << " files, " << r.payloadRead
            << " payload bytes, " << r.disksRead << " disk files\n";
    }
    return code;
}

// Writes each file as its data is decoded, and gives it its date.
class ExtractedFiles : public InspectedData {
public:
    explicit ExtractedFiles(const fs::path& root) : root_(root) {}

    void Begin(const InspectedFile& file) override {
        if (!failure_.empty()) return;
        std::string relative = file.name;
        for (char& c : relative) {
            if (c == '\\') c = '/';
        }
        path_ = (root_ / relative).string();
        std::error_code ec;
        fs::create_directories(fs::path(path_).parent_path(), ec);
        out_.open(path_, std::ios::binary | std::ios::trunc);
        if (!out_) failure_ = "cannot write " + path_ + "; expected a folder that exists and may be written to";
    }

    void Data(const char* piece, size_t length) override {
        if (failure_.empty()) out_.write(piece, std::streamsize(length));
    }

    void End(const InspectedFile& file) override {
        if (!failure_.empty()) return;
        out_.close();
        if (!out_) {
            failure_ = "cannot write " + path_ + "; expected a folder that exists and may be written to";
        } else if (file.date.IsSet() && !SetFileModificationDate(path_, file.date)) {
            failure_ = "cannot set the date of " + path_;
        }
    }

    // The payload read differently from the check before: the half-written
    // file goes.
    void Discard() override {
        out_.close();
        std::error_code ignored;
        fs::remove(path_, ignored);
    }

    // Empty, or the first thing that went wrong.
    const std::string& Failure() const { return failure_; }

private:
    fs::path root_;
    std::string path_;
    std::ofstream out_;
    std::string failure_;
};

int Extract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Arguments a = Parse(*FindCommand("extract"), args);
    if (a.operands.size() != 2) throw BuildError("extract needs a setup program and a folder; see qpkbuild extract --help");
    // Checked whole first, so that a damaged setup writes nothing.
    Inspection r = Inspect(a.operands[0], {});
    int code = Report(r, a.operands[0], err);
    if (code != 0) return code;
    // Names come from the archive: never let one climb out of the target,
    // and decide that for every name before the first file is written.
    for (const InspectedFile& f : r.files) {
        if (f.name.empty() || !IsContainedName(f.name.c_str())) {
            throw BuildError("refusing unsafe file name \"" + f.name + "\"; nothing was extracted");
        }
    }
    ExtractedFiles files{fs::path(a.operands[1])};
    Inspection again = Inspect(a.operands[0], {}, &files);
    if (!files.Failure().empty()) throw BuildError(files.Failure());
    code = Report(again, a.operands[0], err);
    if (code != 0) return code;
    out << again.files.size() << " files extracted to " << a.operands[1] << "\n";
    return 0;
}

}  // namespace

int RunQpkbuild(const std::vector<std::string>& args, const std::string& self, std::ostream& out,
                std::ostream& err, const RunContext& context) {
    try {
        if (args.empty()) throw BuildError("no command; see qpkbuild --help");
        const std::string& command = args[0];
        if (command == "--help" || command == "-h" || command == "help") {
            const Command* c = args.size() > 1 ? FindCommand(args[1]) : nullptr;
            if (c) {
                CommandHelp(*c, out);
            } else {
                GeneralHelp(out);
            }
            return 0;
        }
        const Command* c = FindCommand(command);
        if (!c) throw BuildError("unknown command \"" + command + "\"; expected one of build, new, list, verify, extract");
        for (size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "--help" || args[i] == "-h") {
                CommandHelp(*c, out);
                return 0;
            }
        }
        if (command == "build") return Build(args, self, out, err, context);
        if (command == "new") return New(args, out);
        if (command == "list") return List(args, out, err);
        if (command == "verify") return Verify(args, out, err);
        return Extract(args, out, err);
    } catch (const std::exception& e) {
        err << "qpkbuild: " << e.what() << "\n";
    }
    return 1;
}
