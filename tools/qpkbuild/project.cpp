#include "tools/qpkbuild/project.h"

#include <sys/stat.h>
#include <time.h>
#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <toml++/toml.h>

namespace fs = std::filesystem;

bool LoadFileBytes(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return false;
    bytes = buffer.str();
    return true;
}

bool FileModificationDate(const std::string& path, FileDate& date) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    time_t t = st.st_mtime;
    struct tm local;
#ifdef _WIN32
    if (localtime_s(&local, &t) != 0) return false;
#else
    if (!localtime_r(&t, &local)) return false;
#endif
    date = FileDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                    local.tm_min, local.tm_sec);
    return true;
}

bool SetFileModificationDate(const std::string& path, const FileDate& date) {
    struct tm local = {};
    local.tm_year = date.year - 1900;
    local.tm_mon = date.month - 1;
    local.tm_mday = date.day;
    local.tm_hour = date.hour;
    local.tm_min = date.minute;
    local.tm_sec = date.second;
    local.tm_isdst = -1;
    time_t t = mktime(&local);
    if (t == time_t(-1)) return false;
#ifdef _WIN32
    struct _utimbuf times = {t, t};
    return _utime(path.c_str(), &times) == 0;
#else
    struct utimbuf times = {t, t};
    return utime(path.c_str(), &times) == 0;
#endif
}

namespace {

struct FlagName {
    const char* name;
    int32_t bit;
};

const FlagName kFlags[] = {
    {"MustUninstallFirst", MustUninstallFirst},
    {"QuietFileList", QuietFileList},
    {"WithUninstaller", WithUninstaller},
    {"ConfirmFontRemoval", ConfirmFontRemoval},
    {"AlwaysWriteLog", AlwaysWriteLog},
    {"AskDirectory", AskDirectory},
    {"Automatic", Automatic},
    {"AutomaticUninstall", AutomaticUninstall},
    {"NoRemovalList", NoRemovalList},
    {"EditPath", EditPath},
    {"CustomColors", CustomColors},
    {"RebootPrompt", RebootPrompt},
    {"BackgroundFile", BackgroundFile},
    {"UpdateOnly", UpdateOnly},
};

const FlagName kKinds[] = {
    {"Normal", Normal},
    {"Shared", Shared},
    {"Font", Font},
    {"StartupProgram", StartupProgram},
};

// Reads one project file; every complaint carries the file and the line.
class Reader {
public:
    explicit Reader(const std::string& path) : path_(path) {
        base_ = fs::path(path).parent_path();
    }

    [[noreturn]] void Fail(const toml::node* node, const std::string& message) const {
        std::string where = path_;
        if (node && node->source().begin.line > 0) {
            where += ":" + std::to_string(node->source().begin.line);
        }
        throw BuildError(where + ": " + message);
    }

    // Unknown keys are refused so that a misspelt key is not silently lost.
    void OnlyKeys(const toml::table& table, std::initializer_list<const char*> keys) const {
        for (const auto& [key, node] : table) {
            bool known = false;
            for (const char* k : keys) known = known || key.str() == k;
            if (!known) Fail(&node, "unknown key \"" + std::string(key.str()) + "\"");
        }
    }

    const toml::table* Table(const toml::table& parent, const char* key) const {
        const toml::node* node = parent.get(key);
        if (!node) return nullptr;
        if (!node->is_table()) Fail(node, std::string("\"") + key + "\" must be a table");
        return node->as_table();
    }

    bool Text(const toml::table& t, const char* key, std::string& out) const {
        const toml::node* node = t.get(key);
        if (!node) return false;
        if (!node->is_string()) Fail(node, std::string("\"") + key + "\" must be a string");
        out = node->as_string()->get();
        if (out.find('\0') != std::string::npos) {
            Fail(node, std::string("\"") + key + "\" contains a NUL character");
        }
        return true;
    }

    bool Bool(const toml::table& t, const char* key, bool& out) const {
        const toml::node* node = t.get(key);
        if (!node) return false;
        if (!node->is_boolean()) Fail(node, std::string("\"") + key + "\" must be true or false");
        out = node->as_boolean()->get();
        return true;
    }

    bool Integer(const toml::table& t, const char* key, int64_t& out) const {
        const toml::node* node = t.get(key);
        if (!node) return false;
        if (!node->is_integer()) Fail(node, std::string("\"") + key + "\" must be an integer");
        out = node->as_integer()->get();
        return true;
    }

    // An inline text, or the contents of a file named by key + "_file".
    void TextOrFile(const toml::table& t, const std::string& key, std::string& out) const {
        std::string fileKey = key + "_file";
        bool inline_ = Text(t, key.c_str(), out);
        std::string file;
        if (Text(t, fileKey.c_str(), file)) {
            if (inline_) Fail(t.get(fileKey), "give \"" + key + "\" or \"" + fileKey + "\", not both");
            std::string source = Resolve(file);
            if (!LoadFileBytes(source, out)) Fail(t.get(fileKey), "cannot read " + source);
            if (out.find('\0') != std::string::npos) {
                Fail(t.get(fileKey), source + " contains a NUL character");
            }
        }
    }

    bool Date(const toml::table& t, const char* key, FileDate& out) const {
        const toml::node* node = t.get(key);
        if (!node) return false;
        if (const auto* dt = node->as_date_time()) {
            const toml::date_time& v = dt->get();
            if (v.offset) Fail(node, std::string("\"") + key + "\" must be a local time, without offset");
            out = FileDate(v.date.year, v.date.month, v.date.day, v.time.hour, v.time.minute, v.time.second);
        } else if (const auto* d = node->as_date()) {
            out = FileDate(d->get().year, d->get().month, d->get().day, 0, 0, 0);
        } else {
            Fail(node, std::string("\"") + key + "\" must be a local date-time such as 2024-01-31T12:00:00");
        }
        return true;
    }

    // "#RRGGBB" or the Windows value 0x00BBGGRR as an integer.
    bool Color(const toml::table& t, const char* key, uint32_t& out) const {
        const toml::node* node = t.get(key);
        if (!node) return false;
        if (const auto* i = node->as_integer()) {
            if (i->get() < 0 || i->get() > 0xFFFFFF) Fail(node, std::string("\"") + key + "\" is out of range");
            out = uint32_t(i->get());
            return true;
        }
        const auto* s = node->as_string();
        std::string text = s ? s->get() : std::string();
        if (text.size() != 7 || text[0] != '#' ||
            text.find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos) {
            Fail(node, std::string("\"") + key + "\" must be \"#RRGGBB\" or an integer");
        }
        uint32_t rgb = uint32_t(std::stoul(text.substr(1), nullptr, 16));
        out = (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
        return true;
    }

    std::string Resolve(const std::string& source) const {
        fs::path p(source);
        return (p.is_absolute() ? p : base_ / p).string();
    }

    std::string DestinationName(const toml::node* node, const std::string& key, const std::string& name) const {
        try {
            return CheckDestinationName(name);
        } catch (const BuildError& e) {
            Fail(node, "\"" + key + "\": " + e.what());
        }
    }

    // A text the installer joins to a folder, refused at its key's line.
    void Joined(const toml::table& t, const char* key, const std::string& what) const {
        const toml::node* node = t.get(key);
        if (!node || !node->is_string()) return;
        try {
            CheckJoinedName(node->as_string()->get(), what);
        } catch (const BuildError& e) {
            Fail(node, std::string("\"") + key + "\": " + e.what());
        }
    }

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    fs::path base_;
};

void ReadProduct(const Reader& r, const toml::table& t, Project& p) {
    r.OnlyKeys(t, {"name", "publisher", "version", "display_title", "default_directory",
                   "start_menu_folder", "registry_key", "required_product", "flags",
                   "uninstaller_date"});
    BuildManifest& m = p.manifest;
    r.Text(t, "name", m.productName);
    r.Text(t, "publisher", m.publisher);
    r.Text(t, "version", m.version);
    r.Text(t, "display_title", m.displayTitle);
    r.Text(t, "default_directory", m.defaultDirectory);
    r.Text(t, "start_menu_folder", m.startMenuFolder);
    r.Text(t, "registry_key", m.registryKey);
    r.Text(t, "required_product", m.requiredProduct);
    r.Joined(t, "publisher", "the publisher (a folder under Common Files)");
    r.Joined(t, "start_menu_folder", "the start-menu folder");
    // Without a start-menu folder the installer makes one of the publisher
    // and the product name.
    if (m.startMenuFolder.empty()) r.Joined(t, "name", "the product name (the start-menu folder when none is given)");
    p.uninstallerDateGiven = r.Date(t, "uninstaller_date", m.uninstallerDate);
    if (const toml::node* flags = t.get("flags")) {
        const toml::array* list = flags->as_array();
        if (!list) r.Fail(flags, "\"flags\" must be a list of flag names");
        for (const toml::node& item : *list) {
            const auto* name = item.as_string();
            if (!name) r.Fail(&item, "a flag must be given by its name");
            const std::string& n = name->get();
            if (n == "CompressedPayload" || n == "Checksums") {
                r.Fail(&item, n + " is set by [options] (compression, checksums)");
            }
            auto it = std::find_if(std::begin(kFlags), std::end(kFlags),
                                   [&](const FlagName& f) { return n == f.name; });
            if (it == std::end(kFlags)) r.Fail(&item, "unknown flag \"" + n + "\"");
            m.flags |= it->bit;
        }
    }
}

void ReadBackground(const Reader& r, const toml::table& t, Project& p) {
    r.OnlyKeys(t, {"title_color", "top_color", "bottom_color", "bitmap"});
    BuildManifest& m = p.manifest;
    r.Color(t, "title_color", m.titleColor);
    bool top = r.Color(t, "top_color", m.topColor);
    bool bottom = r.Color(t, "bottom_color", m.bottomColor);
    if (top != bottom) r.Fail(&t, "give both \"top_color\" and \"bottom_color\"");
    // Colours only take effect with the flag; giving them means wanting them.
    if (top) m.flags |= CustomColors;
    std::string bitmap;
    if (r.Text(t, "bitmap", bitmap)) {
        std::string source = r.Resolve(bitmap);
        std::string bytes;
        if (!LoadFileBytes(source, bytes)) r.Fail(t.get("bitmap"), "cannot read " + source);
        if (bytes.size() <= 14 + 12 || bytes.compare(0, 2, "BM") != 0) {
            r.Fail(t.get("bitmap"), source + " is not a .BMP file");
        }
        m.bitmap = bytes.substr(14);  // the archive holds the packed bitmap without its file header
    }
}

int32_t KindOf(const Reader& r, const toml::table& t) {
    std::string kind = "Normal";
    r.Text(t, "kind", kind);
    for (const FlagName& k : kKinds) {
        if (kind == k.name) return k.bit;
    }
    r.Fail(t.get("kind"), "unknown kind \"" + kind + "\" (Normal, Shared, Font, StartupProgram)");
}

BuildFile FileEntry(const Reader& r, const toml::table& t, const std::string& source,
                    const std::string& dest, const toml::node* where, const std::string& key) {
    BuildFile f;
    f.kind = KindOf(r, t);
    f.name = r.DestinationName(where, key, dest);
    bool desktop = false, startMenu = false;
    r.Bool(t, "desktop", desktop);
    r.Bool(t, "start_menu", startMenu);
    f.shortcutBits = (desktop ? DesktopShortcut : 0) | (startMenu ? StartMenuShortcut : 0);
    if (!LoadFileBytes(source, f.data)) r.Fail(where, "cannot read source " + source);
    if (int64_t(f.data.size()) > ArchiveMaxLength) {
        r.Fail(where, source + " is larger than 2 GB, the format's limit");
    }
    if (!r.Date(t, "date", f.date) && !FileModificationDate(source, f.date)) {
        r.Fail(where, "cannot read the date of " + source);
    }
    return f;
}

void ReadFiles(const Reader& r, const toml::node& node, Project& p) {
    const toml::array* list = node.as_array();
    if (!list) r.Fail(&node, "\"files\" must be an array of tables ([[files]])");
    for (const toml::node& item : *list) {
        const toml::table* t = item.as_table();
        if (!t) r.Fail(&item, "each file must be a table");
        r.OnlyKeys(*t, {"source", "dest", "kind", "desktop", "start_menu", "shortcut_name", "date"});
        std::string source;
        if (!r.Text(*t, "source", source)) r.Fail(t, "a file needs \"source\"");
        std::string dest = fs::path(source).filename().string();
        r.Text(*t, "dest", dest);
        std::string resolved = r.Resolve(source);
        if (!fs::is_regular_file(resolved)) r.Fail(t, "source " + resolved + " is missing or not a file");
        const char* nameKey = t->get("dest") ? "dest" : "source";
        BuildFile f = FileEntry(r, *t, resolved, dest, t->get(nameKey), nameKey);
        r.Text(*t, "shortcut_name", f.shortcutName);
        // A font's shortcut name is its display name, not a file.
        if (f.kind == Normal || f.kind == StartupProgram) r.Joined(*t, "shortcut_name", "the shortcut name");
        if (f.shortcutBits && f.shortcutName.empty()) r.Fail(t, "a shortcut needs \"shortcut_name\"");
        p.files.push_back(std::move(f));
    }
}

void ReadTrees(const Reader& r, const toml::node& node, Project& p) {
    const toml::array* list = node.as_array();
    if (!list) r.Fail(&node, "\"trees\" must be an array of tables ([[trees]])");
    for (const toml::node& item : *list) {
        const toml::table* t = item.as_table();
        if (!t) r.Fail(&item, "each tree must be a table");
        r.OnlyKeys(*t, {"source", "dest", "kind", "date"});
        std::string source, dest;
        if (!r.Text(*t, "source", source)) r.Fail(t, "a tree needs \"source\"");
        r.Text(*t, "dest", dest);
        std::string root = r.Resolve(source);
        if (!fs::is_directory(root)) r.Fail(t, "source directory " + root + " is missing");
        // Sorted so that the archive does not depend on the directory order.
        std::vector<std::string> relative;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.is_regular_file()) {
                relative.push_back(entry.path().lexically_relative(root).generic_string());
            }
        }
        std::sort(relative.begin(), relative.end());
        if (relative.empty()) r.Fail(t, "source directory " + root + " holds no files");
        for (const std::string& rel : relative) {
            std::string name = dest.empty() ? rel : dest + "/" + rel;
            const char* nameKey = dest.empty() ? "source" : "dest";
            p.files.push_back(FileEntry(r, *t, (fs::path(root) / rel).string(), name, t->get(nameKey), nameKey));
        }
    }
}

void ReadOptions(const Reader& r, const toml::table& t, Project& p) {
    r.OnlyKeys(t, {"compression", "level", "checksums", "first_part_max", "disk_max"});
    BuildOptions& o = p.options;
    r.Bool(t, "compression", o.compress);
    r.Bool(t, "checksums", o.checksums);
    std::string level;
    if (r.Text(t, "level", level)) {
        if (level == "fast") {
            o.level = LzLevel::Fast;
        } else if (level == "max") {
            o.level = LzLevel::Max;
        } else {
            r.Fail(t.get("level"), "\"level\" must be \"fast\" or \"max\"");
        }
    }
    int64_t value;
    if (r.Integer(t, "first_part_max", value)) {
        if (value < 0) r.Fail(t.get("first_part_max"), "\"first_part_max\" must not be negative");
        o.firstPartMax = value;
    }
    if (r.Integer(t, "disk_max", value)) {
        if (value < 1) r.Fail(t.get("disk_max"), "\"disk_max\" must be at least 1");
        o.diskMax = value;
    }
}

}  // namespace

Project LoadProject(const std::string& path) {
    Reader r(path);
    toml::table root;
    try {
        root = toml::parse_file(path);
    } catch (const toml::parse_error& e) {
        std::string where = path;
        if (e.source().begin.line > 0) where += ":" + std::to_string(e.source().begin.line);
        throw BuildError(where + ": " + std::string(e.description()));
    }
    Project p;
    r.OnlyKeys(root, {"product", "texts", "background", "batch", "options", "files", "trees"});
    if (const toml::table* t = r.Table(root, "product")) ReadProduct(r, *t, p);
    if (const toml::table* t = r.Table(root, "texts")) {
        r.OnlyKeys(*t, {"welcome", "welcome_file", "license", "license_file", "readme", "readme_file"});
        r.TextOrFile(*t, "welcome", p.manifest.welcomeText);
        r.TextOrFile(*t, "license", p.manifest.licenseText);
        r.TextOrFile(*t, "readme", p.manifest.readmeText);
    }
    if (const toml::table* t = r.Table(root, "background")) ReadBackground(r, *t, p);
    if (const toml::table* t = r.Table(root, "batch")) {
        r.OnlyKeys(*t, {"before", "before_file", "after", "after_file", "final", "final_file",
                        "uninstall1", "uninstall1_file", "uninstall2", "uninstall2_file"});
        r.TextOrFile(*t, "before", p.manifest.batchBefore);
        r.TextOrFile(*t, "after", p.manifest.batchAfter);
        r.TextOrFile(*t, "final", p.manifest.batchFinal);
        r.TextOrFile(*t, "uninstall1", p.manifest.uninstallBatch1);
        r.TextOrFile(*t, "uninstall2", p.manifest.uninstallBatch2);
    }
    if (const toml::table* t = r.Table(root, "options")) ReadOptions(r, *t, p);
    if (const toml::node* n = root.get("files")) ReadFiles(r, *n, p);
    if (const toml::node* n = root.get("trees")) ReadTrees(r, *n, p);
    if (p.files.empty()) r.Fail(&root, "the project names no files; at least one is needed");
    if (!p.manifest.requiredProduct.empty() && !(p.manifest.flags & UpdateOnly)) {
        r.Fail(r.Table(root, "product"), "\"required_product\" needs the flag UpdateOnly");
    }
    return p;
}
