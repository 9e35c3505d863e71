#include "tools/qpkbuild/commands.h"

#include <filesystem>
#include <fstream>
#include <iomanip>

#include "archive/build/archive_reader.h"
#include "archive/build/archive_writer.h"
#include "archive/safe_name.h"
#include "tools/qpkbuild/project.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: qpkbuild build PROJECT [-o OUT] [--stub PATH] | list SETUP | "
    "verify SETUP [DISKS...] | extract SETUP DIR";

std::string DiskName(int32_t disk) { return "Disk" + std::to_string(disk) + ".QPK"; }

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    file.close();
    if (!file) throw BuildError("cannot write " + path);
}

std::string FindStub(const std::string& given, const std::string& self) {
    if (!given.empty()) return given;
    fs::path next = fs::path(self).parent_path() / "quillpack.exe";
    if (fs::is_regular_file(next)) return next.string();
    throw BuildError("no stub: quillpack.exe is not next to the builder; give --stub PATH");
}

int Build(const std::vector<std::string>& args, const std::string& self, std::ostream& out) {
    std::string project, output, stubPath;
    for (size_t i = 1; i < args.size(); ++i) {
        if ((args[i] == "-o" || args[i] == "--stub") && i + 1 < args.size()) {
            (args[i] == "-o" ? output : stubPath) = args[i + 1];
            ++i;
        } else if (project.empty() && args[i][0] != '-') {
            project = args[i];
        } else {
            throw BuildError("unexpected argument \"" + args[i] + "\"");
        }
    }
    if (project.empty()) throw BuildError("build needs a project file");
    if (output.empty()) output = fs::path(project).stem().string() + ".exe";

    Project p = LoadProject(project);
    std::string stubFile = FindStub(stubPath, self);
    std::string stub;
    if (!LoadFileBytes(stubFile, stub)) throw BuildError("cannot read the stub " + stubFile);
    if (!p.uninstallerDateGiven && !FileModificationDate(stubFile, p.manifest.uninstallerDate)) {
        throw BuildError("cannot read the date of the stub " + stubFile);
    }
    BuildOutput built = BuildArchive(stub, p.manifest, p.files, p.options);

    WriteFileBytes(output, built.setup);
    fs::path directory = fs::path(output).parent_path();
    for (size_t i = 0; i < built.disks.size(); ++i) {
        WriteFileBytes((directory / DiskName(int32_t(i) + 2)).string(), built.disks[i]);
    }
    // Disk files left over from an earlier, larger build would only confuse.
    for (int32_t disk = int32_t(built.disks.size()) + 2;; ++disk) {
        std::error_code ignored;
        if (!fs::remove(directory / DiskName(disk), ignored)) break;
    }
    out << output << ": " << built.setup.size() << " bytes, " << p.files.size() << " files";
    if (!built.disks.empty()) out << ", " << built.disks.size() << " disk files";
    out << "\n";
    return 0;
}

// Disks named on the command line are disks 2, 3, ... in that order;
// otherwise they are looked for next to the setup program.
Inspection Inspect(const std::string& setupPath, const std::vector<std::string>& disks) {
    std::string setup;
    if (!LoadFileBytes(setupPath, setup)) throw BuildError("cannot read " + setupPath);
    fs::path directory = fs::path(setupPath).parent_path();
    DiskLoader loader = [&](int32_t disk, std::string& bytes) {
        if (!disks.empty()) {
            size_t index = size_t(disk - 2);
            return index < disks.size() && LoadFileBytes(disks[index], bytes);
        }
        return LoadFileBytes((directory / DiskName(disk)).string(), bytes);
    };
    return InspectSetup(setup, loader);
}

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
    if (args.size() != 2) throw BuildError("list needs exactly one setup program");
    Inspection r = Inspect(args[1], {});
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
            << "payload:           " << m.payloadLength << " bytes stored, " << m.fileCount
            << " files\n";
    }
    for (const InspectedFile& f : r.files) {
        out << std::left << std::setw(15) << KindName(f.kind) << std::setw(3)
            << ((f.shortcutBits & DesktopShortcut) ? "D" : "-") + std::string((f.shortcutBits & StartMenuShortcut) ? "S" : "-")
            << std::right << std::setw(10) << f.data.size() << "  " << DateText(f.date) << "  "
            << f.name;
        if (!f.shortcutName.empty()) out << "  [" << f.shortcutName << "]";
        out << "\n";
    }
    return Report(r, args[1], err);
}

int Verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() < 2) throw BuildError("verify needs a setup program");
    Inspection r = Inspect(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
    int code = Report(r, args[1], err);
    if (code == 0) {
        out << args[1] << ": sound, " << r.files.size() << " files, " << r.payloadRead
            << " payload bytes, " << r.disksRead << " disk files\n";
    }
    return code;
}

int Extract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 3) throw BuildError("extract needs a setup program and a directory");
    Inspection r = Inspect(args[1], {});
    int code = Report(r, args[1], err);
    if (code != 0) return code;
    // Names come from the archive: never let one climb out of the target,
    // and decide that for every name before the first file is written.
    for (const InspectedFile& f : r.files) {
        if (f.name.empty() || !IsContainedName(f.name.c_str())) {
            throw BuildError("refusing unsafe file name \"" + f.name + "\"; nothing was extracted");
        }
    }
    fs::path root(args[2]);
    for (const InspectedFile& f : r.files) {
        std::string relative = f.name;
        for (char& c : relative) {
            if (c == '\\') c = '/';
        }
        fs::path target = root / relative;
        fs::create_directories(target.parent_path());
        WriteFileBytes(target.string(), f.data);
        if (f.date.IsSet() && !SetFileModificationDate(target.string(), f.date)) {
            throw BuildError("cannot set the date of " + target.string());
        }
    }
    out << r.files.size() << " files extracted to " << args[2] << "\n";
    return 0;
}

}  // namespace

int RunQpkbuild(const std::vector<std::string>& args, const std::string& self, std::ostream& out,
                std::ostream& err) {
    try {
        if (args.empty()) throw BuildError(std::string("no command; ") + kUsage);
        const std::string& command = args[0];
        if (command == "build") return Build(args, self, out);
        if (command == "list") return List(args, out, err);
        if (command == "verify") return Verify(args, out, err);
        if (command == "extract") return Extract(args, out, err);
        throw BuildError("unknown command \"" + command + "\"");
    } catch (const BuildError& e) {
        err << "qpkbuild: " << e.what() << "\n";
    } catch (const std::exception& e) {
        err << "qpkbuild: " << e.what() << "\n";
    }
    return 1;
}
