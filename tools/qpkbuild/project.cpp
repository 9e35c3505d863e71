#include "tools/qpkbuild/project.h"

#include <sys/stat.h>
#include <time.h>
#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

#include <stdint.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <toml++/toml.h>

#include "tools/qpkbuild/signing.h"

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

bool LocalDate(time_t t, FileDate& date) {
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

bool FileModificationDate(const std::string& path, FileDate& date) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    return LocalDate(st.st_mtime, date);
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

template <size_t N>
std::string NameList(const FlagName (&names)[N]) {
    std::string list;
    for (size_t i = 0; i < N; ++i) list += std::string(i ? ", " : "") + names[i].name;
    return list;
}

// "a string", "an integer": what a value in the file turned out to be.
std::string TypeName(const toml::node& node) {
    switch (node.type()) {
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "an array";
    case toml::node_type::string: return "a string";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a floating-point number";
    case toml::node_type::boolean: return "a boolean";
    case toml::node_type::date: return "a date";
    case toml::node_type::time: return "a time";
    case toml::node_type::date_time: return "a date-time";
    default: return "nothing";
    }
}

// One table of the project file and the key path that leads to it
// ("product", "files[2]"), so that complaints can name the key in full.
struct Section {
    const toml::table& table;
    std::string path;

    std::string Key(const std::string& key) const { return path.empty() ? key : path + "." + key; }
    const toml::node* Get(const std::string& key) const { return table.get(key); }
};

// Reads one project file; every complaint carries the file, the line and
// the key, and says what was expected.
class Reader {
public:
    explicit Reader(const std::string& path) : path_(path) {
        base_ = fs::path(path).parent_path();
    }

    [[noreturn]] void Fail(const toml::node* node, const std::string& key, const std::string& message) const {
        if (key.empty()) throw BuildError(path_ + ": " + message);
        throw BuildError(Where(node, key) + ": " + message);
    }

    [[noreturn]] void Expected(const Section& s, const std::string& key, const std::string& what) const {
        const toml::node* node = s.Get(key);
        Fail(node, s.Key(key), "expected " + what + ", found " + TypeName(*node));
    }

    // Unknown keys are refused so that a misspelt key is not silently lost.
    void OnlyKeys(const Section& s, std::initializer_list<const char*> keys) const {
        for (const auto& [key, node] : s.table) {
            bool known = false;
            for (const char* k : keys) known = known || key.str() == k;
            if (known) continue;
            std::string list;
            for (const char* k : keys) list += std::string(list.empty() ? "" : ", ") + k;
            Fail(&node, s.Key(std::string(key.str())), "unknown key; expected one of " + list);
        }
    }

    bool Table(const Section& parent, const char* key, const toml::table*& out) const {
        const toml::node* node = parent.Get(key);
        if (!node) return false;
        if (!node->is_table()) Expected(parent, key, std::string("a table ([") + key + "])");
        out = node->as_table();
        return true;
    }

    bool Text(const Section& s, const std::string& key, std::string& out) const {
        const toml::node* node = s.Get(key);
        if (!node) return false;
        if (!node->is_string()) Expected(s, key, "a string");
        out = node->as_string()->get();
        if (out.find('\0') != std::string::npos) {
            Fail(node, s.Key(key), "contains a NUL character; expected text without one");
        }
        return true;
    }

    bool Bool(const Section& s, const char* key, bool& out) const {
        const toml::node* node = s.Get(key);
        if (!node) return false;
        if (!node->is_boolean()) Expected(s, key, "true or false");
        out = node->as_boolean()->get();
        return true;
    }

    bool Integer(const Section& s, const char* key, int64_t& out) const {
        const toml::node* node = s.Get(key);
        if (!node) return false;
        if (!node->is_integer()) Expected(s, key, "an integer");
        out = node->as_integer()->get();
        return true;
    }

    // An input file named at key, read whole.
    std::string InputFile(const Section& s, const std::string& key, const std::string& source) const {
        std::string bytes;
        if (!LoadFileBytes(source, bytes)) {
            Fail(s.Get(key), s.Key(key), source + ": " + WhyUnreadable(source) +
                                             "; expected a readable file (relative paths start at the project file)");
        }
        return bytes;
    }

    // An inline text, or the contents of a file named by key + "_file".
    void TextOrFile(const Section& s, const std::string& key, std::string& out) const {
        std::string fileKey = key + "_file";
        bool inline_ = Text(s, key, out);
        std::string file;
        if (Text(s, fileKey, file)) {
            if (inline_) Fail(s.Get(fileKey), s.Key(fileKey), "expected either " + s.Key(key) + " or " + s.Key(fileKey) + ", not both");
            std::string source = Resolve(file);
            out = InputFile(s, fileKey, source);
            if (out.find('\0') != std::string::npos) {
                Fail(s.Get(fileKey), s.Key(fileKey), source + " contains a NUL character; expected a text file");
            }
        }
    }

    bool Date(const Section& s, const char* key, FileDate& out) const {
        const toml::node* node = s.Get(key);
        if (!node) return false;
        if (const auto* dt = node->as_date_time()) {
            const toml::date_time& v = dt->get();
            if (v.offset) Fail(node, s.Key(key), "expected a local time, without an offset such as Z or +01:00");
            out = FileDate(v.date.year, v.date.month, v.date.day, v.time.hour, v.time.minute, v.time.second);
        } else if (const auto* d = node->as_date()) {
            out = FileDate(d->get().year, d->get().month, d->get().day, 0, 0, 0);
        } else {
            Expected(s, key, "a local date-time such as 2024-01-31T12:00:00");
        }
        return true;
    }

    // "#RRGGBB" or the Windows value 0x00BBGGRR as an integer.
    bool Color(const Section& s, const char* key, uint32_t& out) const {
        const toml::node* node = s.Get(key);
        if (!node) return false;
        const char* expected = "\"#RRGGBB\" or an integer from 0 to 0xFFFFFF";
        if (const auto* i = node->as_integer()) {
            if (i->get() < 0 || i->get() > 0xFFFFFF) {
                Fail(node, s.Key(key), std::to_string(i->get()) + " is out of range; expected " + expected);
            }
            out = uint32_t(i->get());
            return true;
        }
        const auto* text = node->as_string();
        if (!text) Expected(s, key, expected);
        const std::string& t = text->get();
        if (t.size() != 7 || t[0] != '#' || t.find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos) {
            Fail(node, s.Key(key), "\"" + t + "\" is no colour; expected " + expected);
        }
        uint32_t rgb = uint32_t(std::stoul(t.substr(1), nullptr, 16));
        out = (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
        return true;
    }

    // One of the names in the table, or a complaint listing them all.
    template <size_t N>
    int32_t Named(const toml::node* node, const std::string& key, const std::string& name,
                  const FlagName (&names)[N], const char* what) const {
        for (const FlagName& n : names) {
            if (name == n.name) return n.bit;
        }
        Fail(node, key, std::string("unknown ") + what + " \"" + name + "\"; expected one of " + NameList(names));
    }

    std::string Resolve(const std::string& source) const {
        fs::path p(source);
        return (p.is_absolute() ? p : base_ / p).string();
    }

    std::string DestinationName(const Section& s, const std::string& key, const std::string& name) const {
        try {
            return CheckDestinationName(name);
        } catch (const BuildError& e) {
            Fail(s.Get(key), s.Key(key), std::string(e.what()) + "; expected a relative file name such as \"docs/guide.txt\"");
        }
    }

    // A text the installer joins to a folder, refused at its key's line.
    void Joined(const Section& s, const char* key, const std::string& what) const {
        const toml::node* node = s.Get(key);
        if (!node || !node->is_string()) return;
        try {
            CheckJoinedName(node->as_string()->get(), what);
        } catch (const BuildError& e) {
            Fail(node, s.Key(key), std::string(e.what()) + "; expected a name that stays inside it");
        }
    }

    // "FILE:LINE: KEY" for a complaint made later, after the build.
    std::string Where(const toml::node* node, const std::string& key) const {
        std::string where = path_;
        if (node && node->source().begin.line > 0) where += ":" + std::to_string(node->source().begin.line);
        return where + ": " + key;
    }

    // The array of tables under key, each with its indexed path.
    std::vector<Section> Tables(const Section& root, const char* key) const {
        std::vector<Section> out;
        const toml::node* node = root.Get(key);
        if (!node) return out;
        const toml::array* list = node->as_array();
        if (!list) Expected(root, key, std::string("an array of tables ([[") + key + "]])");
        for (size_t i = 0; i < list->size(); ++i) {
            const toml::node& item = *list->get(i);
            std::string path = std::string(key) + "[" + std::to_string(i) + "]";
            if (!item.is_table()) Fail(&item, path, "expected a table ([[" + std::string(key) + "]]), found " + TypeName(item));
            out.push_back({*item.as_table(), path});
        }
        return out;
    }

private:
    std::string path_;
    fs::path base_;
};

// Key names joined by single backslashes: an empty name, above all a
// trailing backslash, makes a key the uninstaller cannot delete.
void RegistryPath(const Reader& r, const Section& s, const std::string& path) {
    const char* expected = "; expected key names joined by single backslashes, such as \"Publisher\\Product\"";
    std::string quoted = "\"" + path + "\"";
    if (!path.empty() && path.back() == '\\') {
        r.Fail(s.Get("registry_key"), s.Key("registry_key"), quoted + " ends in a backslash" + expected);
    }
    if (!path.empty() && (path.front() == '\\' || path.find("\\\\") != std::string::npos)) {
        r.Fail(s.Get("registry_key"), s.Key("registry_key"), quoted + " holds an empty key name" + expected);
    }
}

void ReadProduct(const Reader& r, const Section& s, Project& p) {
    r.OnlyKeys(s, {"name", "publisher", "version", "display_title", "default_directory",
                   "start_menu_folder", "registry_key", "required_product", "flags",
                   "uninstaller_date"});
    BuildManifest& m = p.manifest;
    r.Text(s, "name", m.productName);
    r.Text(s, "publisher", m.publisher);
    r.Text(s, "version", m.version);
    r.Text(s, "display_title", m.displayTitle);
    r.Text(s, "default_directory", m.defaultDirectory);
    r.Text(s, "start_menu_folder", m.startMenuFolder);
    if (r.Text(s, "registry_key", m.registryKey)) RegistryPath(r, s, m.registryKey);
    r.Text(s, "required_product", m.requiredProduct);
    r.Joined(s, "publisher", "the publisher (a folder under Common Files)");
    r.Joined(s, "start_menu_folder", "the start-menu folder");
    // Without a start-menu folder the installer makes one of the publisher
    // and the product name.
    if (m.startMenuFolder.empty()) r.Joined(s, "name", "the product name (the start-menu folder when none is given)");
    p.uninstallerDateGiven = r.Date(s, "uninstaller_date", m.uninstallerDate);
    if (const toml::node* flags = s.Get("flags")) {
        const toml::array* list = flags->as_array();
        if (!list) r.Expected(s, "flags", "a list of flag names such as [\"WithUninstaller\"]");
        for (size_t i = 0; i < list->size(); ++i) {
            const toml::node& item = *list->get(i);
            std::string key = s.Key("flags") + "[" + std::to_string(i) + "]";
            const auto* name = item.as_string();
            if (!name) r.Fail(&item, key, "expected a flag name in quotes, found " + TypeName(item));
            const std::string& n = name->get();
            if (n == "CompressedPayload" || n == "Checksums") {
                r.Fail(&item, key, n + " is set by [options] (compression, checksums), not here");
            }
            m.flags |= r.Named(&item, key, n, kFlags, "flag");
        }
    }
}

void ReadBackground(const Reader& r, const Section& s, Project& p) {
    r.OnlyKeys(s, {"title_color", "top_color", "bottom_color", "bitmap"});
    BuildManifest& m = p.manifest;
    r.Color(s, "title_color", m.titleColor);
    bool top = r.Color(s, "top_color", m.topColor);
    bool bottom = r.Color(s, "bottom_color", m.bottomColor);
    if (top != bottom) {
        const char* given = top ? "top_color" : "bottom_color";
        r.Fail(s.Get(given), s.Key(top ? "bottom_color" : "top_color"),
               std::string("missing; expected together with ") + s.Key(given));
    }
    // Colours only take effect with the flag; giving them means wanting them.
    if (top) m.flags |= CustomColors;
    std::string bitmap;
    if (r.Text(s, "bitmap", bitmap)) {
        std::string source = r.Resolve(bitmap);
        std::string bytes = r.InputFile(s, "bitmap", source);
        if (bytes.size() <= 14 + 12 || bytes.compare(0, 2, "BM") != 0) {
            r.Fail(s.Get("bitmap"), s.Key("bitmap"), source + " is not a .BMP file; expected one starting with \"BM\"");
        }
        m.bitmap = bytes.substr(14);  // the archive holds the packed bitmap without its file header
    }
}

int32_t KindOf(const Reader& r, const Section& s) {
    std::string kind = "Normal";
    if (!r.Text(s, "kind", kind)) return Normal;
    return r.Named(s.Get("kind"), s.Key("kind"), kind, kKinds, "kind");
}

// nameKey is the key the destination name comes from: "dest", or "source"
// when the name is the source's own.
BuildFile FileEntry(const Reader& r, const Section& s, const std::string& source, const std::string& dest,
                    const char* nameKey) {
    BuildFile f;
    f.kind = KindOf(r, s);
    f.name = r.DestinationName(s, nameKey, dest);
    bool desktop = false, startMenu = false;
    r.Bool(s, "desktop", desktop);
    r.Bool(s, "start_menu", startMenu);
    f.shortcutBits = (desktop ? DesktopShortcut : 0) | (startMenu ? StartMenuShortcut : 0);
    // Read while the archive is written, in pieces: here only whether it
    // can be read, and its size.
    std::error_code ec;
    const uintmax_t size = fs::file_size(source, ec);
    if (ec || !std::ifstream(source, std::ios::binary)) {
        r.Fail(s.Get("source"), s.Key("source"), source + ": " + WhyUnreadable(source) +
                                                     "; expected a readable file (relative paths start at the project file)");
    }
    if (size > uintmax_t(ArchiveMaxLength)) {
        r.Fail(s.Get("source"), s.Key("source"), source + " is larger than 2 GB; expected at most the format's limit");
    }
    f.source = source;
    f.sourceSize = int64_t(size);
    if (!r.Date(s, "date", f.date) && !FileModificationDate(source, f.date)) {
        r.Fail(s.Get("source"), s.Key("source"), "cannot read the date of " + source);
    }
    return f;
}

void ReadFiles(const Reader& r, const Section& root, Project& p) {
    for (const Section& s : r.Tables(root, "files")) {
        r.OnlyKeys(s, {"source", "dest", "kind", "desktop", "start_menu", "shortcut_name", "date"});
        std::string source;
        if (!r.Text(s, "source", source)) r.Fail(&s.table, s.Key("source"), "missing; expected the path of the file to pack");
        std::string dest = fs::path(source).filename().string();
        r.Text(s, "dest", dest);
        std::string resolved = r.Resolve(source);
        if (!fs::is_regular_file(resolved)) {
            r.Fail(s.Get("source"), s.Key("source"), resolved + " is missing or not a file; expected a file (relative paths start at the project file)");
        }
        BuildFile f = FileEntry(r, s, resolved, dest, s.Get("dest") ? "dest" : "source");
        r.Text(s, "shortcut_name", f.shortcutName);
        // A font's shortcut name is its display name, not a file.
        if (f.kind == Normal || f.kind == StartupProgram) r.Joined(s, "shortcut_name", "the shortcut name");
        if (f.shortcutBits && f.shortcutName.empty()) {
            r.Fail(s.Get(f.shortcutBits & DesktopShortcut ? "desktop" : "start_menu"), s.Key("shortcut_name"),
                   "missing; expected the shortcut's name, as a shortcut is asked for");
        }
        p.files.push_back(std::move(f));
    }
}

void ReadTrees(const Reader& r, const Section& root, Project& p) {
    for (const Section& s : r.Tables(root, "trees")) {
        r.OnlyKeys(s, {"source", "dest", "kind", "date"});
        std::string source, dest;
        if (!r.Text(s, "source", source)) r.Fail(&s.table, s.Key("source"), "missing; expected the path of a folder to pack");
        r.Text(s, "dest", dest);
        std::string root = r.Resolve(source);
        if (!fs::is_directory(root)) {
            r.Fail(s.Get("source"), s.Key("source"), root + " is missing or not a folder; expected a folder (relative paths start at the project file)");
        }
        // Sorted so that the archive does not depend on the directory order.
        std::vector<std::string> relative;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.is_regular_file()) {
                relative.push_back(entry.path().lexically_relative(root).generic_string());
            }
        }
        std::sort(relative.begin(), relative.end());
        if (relative.empty()) r.Fail(s.Get("source"), s.Key("source"), root + " holds no files; expected at least one");
        for (const std::string& rel : relative) {
            std::string name = dest.empty() ? rel : dest + "/" + rel;
            p.files.push_back(FileEntry(r, s, (fs::path(root) / rel).string(), name, dest.empty() ? "source" : "dest"));
        }
    }
}

void ReadOptions(const Reader& r, const Section& s, Project& p) {
    r.OnlyKeys(s, {"compression", "method", "level", "checksums", "first_part_max", "disk_max", "sign", "arch"});
    BuildOptions& o = p.options;
    r.Bool(s, "compression", o.compress);
    r.Bool(s, "checksums", o.checksums);
    std::string method;
    if (r.Text(s, "method", method)) {
        if (method == "lz") {
            o.method = PayloadCompression::Lz;
        } else if (method == "lze") {
            o.method = PayloadCompression::Lze;
        } else {
            r.Fail(s.Get("method"), s.Key("method"), "\"" + method + "\" is no compression method; expected \"lz\" or \"lze\"");
        }
    }
    std::string level;
    if (r.Text(s, "level", level)) {
        if (level == "fast") {
            o.level = LzLevel::Fast;
        } else if (level == "max") {
            o.level = LzLevel::Max;
        } else {
            r.Fail(s.Get("level"), s.Key("level"), "\"" + level + "\" is no level; expected \"fast\" or \"max\"");
        }
    }
    int64_t value;
    if (r.Integer(s, "first_part_max", value)) {
        if (value < 0) r.Fail(s.Get("first_part_max"), s.Key("first_part_max"), std::to_string(value) + " is negative; expected 0 or more bytes");
        o.firstPartMax = value;
        p.firstPartWhere = r.Where(s.Get("first_part_max"), s.Key("first_part_max"));
    }
    if (r.Integer(s, "disk_max", value)) {
        if (value < 1) r.Fail(s.Get("disk_max"), s.Key("disk_max"), std::to_string(value) + " is too small; expected 1 or more bytes");
        o.diskMax = value;
    }
    if (r.Text(s, "arch", p.arch) && p.arch != "x86" && p.arch != "x64") {
        r.Fail(s.Get("arch"), s.Key("arch"), "\"" + p.arch + "\" is no architecture; expected \"x86\" (quillpack.exe) or \"x64\" (quillpack64.exe)");
    }
    if (r.Text(s, "sign", p.signCommand)) {
        std::string problem = SignCommandProblem(p.signCommand);
        if (!problem.empty()) r.Fail(s.Get("sign"), s.Key("sign"), problem);
    }
}

// A complaint about a value manifests need, at its key's line or, when it
// is missing, at its table's.
void CheckForManifests(const Reader& r, const Section& s, const toml::node* table, const char* key,
                       const std::string& problem) {
    if (problem.empty()) return;
    const toml::node* node = s.Get(key);
    r.Fail(node ? node : table, s.Key(key), problem);
}

void ReadManifests(const Reader& r, const Section& top, const LoadRequest& request, Project& p) {
    static const toml::table kNone;
    const toml::table* t = nullptr;
    ManifestInputs& in = p.manifests;
    in.table = r.Table(top, "manifests", t);
    const Section s{in.table ? *t : kNone, "manifests"};
    r.OnlyKeys(s, {"identifier", "url", "license", "short_description", "locale"});
    r.Text(s, "identifier", in.identifier);
    r.Text(s, "url", in.url);
    r.Text(s, "license", in.license);
    r.Text(s, "short_description", in.shortDescription);
    r.Text(s, "locale", in.locale);
    p.manifestsWanted = request.manifests.value_or(in.table);
    if (!p.manifestsWanted) return;

    auto missing = [](const Section& at, const std::string& value, const char* key, const std::string& expected) {
        if (!value.empty() || at.Get(key)) return std::string();
        return "missing; expected " + expected + " when manifests are written";
    };
    CheckForManifests(r, s, t, "identifier", missing(s, in.identifier, "identifier", "a package identifier such as \"Publisher.Product\""));
    CheckForManifests(r, s, t, "identifier", IdentifierProblem(in.identifier));
    CheckForManifests(r, s, t, "url", missing(s, in.url, "url", "the https URL the setup program is downloaded from"));
    CheckForManifests(r, s, t, "url", UrlProblem(in.url, request.setupName));
    CheckForManifests(r, s, t, "license", missing(s, in.license, "license", "a short license name such as \"MIT\" or \"Proprietary\""));
    CheckForManifests(r, s, t, "license", LengthProblem(in.license, 3, 512));
    CheckForManifests(r, s, t, "locale", LocaleProblem(in.locale));

    // The product as the setup registers it: the names the manifests give
    // must be those it writes.
    static const toml::table kNoProduct;
    const toml::table* product = nullptr;
    r.Table(top, "product", product);
    const Section ps{product ? *product : kNoProduct, "product"};
    const BuildManifest& m = p.manifest;
    std::string name = missing(ps, m.productName, "name", "the product's name");
    if (name.empty()) name = RegistryTextProblem(m.productName);
    if (name.empty() && m.productName.find('\\') != std::string::npos) {
        name = "\"" + m.productName + "\" holds a backslash, which no uninstall key's name may; expected a name without one";
    }
    if (name.empty()) name = LengthProblem(m.productName, 2, 255);
    CheckForManifests(r, ps, product, "name", name);
    std::string publisher = missing(ps, m.publisher, "publisher", "the publisher's name");
    if (publisher.empty()) publisher = RegistryTextProblem(m.publisher);
    CheckForManifests(r, ps, product, "publisher", publisher.empty() ? LengthProblem(m.publisher, 2, 256) : publisher);
    std::string version = missing(ps, m.version, "version", "the product's version");
    CheckForManifests(r, ps, product, "version", version.empty() ? VersionProblem(m.version) : version);
    if (!(m.flags & WithUninstaller)) {
        CheckForManifests(r, ps, product, "flags",
                          "lacks WithUninstaller; expected it when manifests are written, as package managers "
                          "find and remove the product through its registration");
    }
    if (in.shortDescription.empty()) in.shortDescription = m.displayTitle.empty() ? m.productName : m.displayTitle;
    std::string description = LengthProblem(in.shortDescription, 3, 256);
    if (!description.empty() && !s.Get("short_description")) description += " (taken from the display title or the product name; give short_description)";
    CheckForManifests(r, s, t, "short_description", description);
}

}  // namespace

std::string WhyUnreadable(const std::string& path) {
    std::error_code ec;
    fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found) return "no such file";
    if (st.type() == fs::file_type::directory) return "a folder, not a file";
    return "cannot be read";
}

std::string SignCommandProblem(const std::string& command) {
    if (command.empty() || command.find("{file}") != std::string::npos) return "";
    if (command.find(kSignFileVariable) != std::string::npos) return "";
    return "the command has no {file}; expected {file} where the setup program's path goes";
}

FileDate SourceDateEpochDate(const std::string& value) {
    std::string problem;
    int64_t seconds = 0;
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) {
        problem = "is not a number";
    } else {
        for (char c : value) {
            if (seconds > (INT64_MAX - 9) / 10) {
                problem = "is too large";
                break;
            }
            seconds = seconds * 10 + (c - '0');
        }
    }
    FileDate date;
    if (problem.empty() && (time_t(seconds) != seconds || !LocalDate(time_t(seconds), date))) {
        problem = "is too large";
    }
    if (!problem.empty()) {
        throw BuildError("SOURCE_DATE_EPOCH \"" + value + "\" " + problem +
                         "; expected whole seconds since 1970-01-01 00:00 UTC, such as 1700000000");
    }
    return date;
}

void ClampDates(Project& p, const FileDate& latest) {
    auto clamp = [&](FileDate& d) {
        if (d.IsSet() && d.Compare(latest) > 0) d = latest;
    };
    clamp(p.manifest.uninstallerDate);
    for (BuildFile& f : p.files) clamp(f.date);
}

Project LoadProject(const std::string& path, const LoadRequest& request) {
    Reader r(path);
    if (!fs::is_regular_file(path)) throw BuildError(path + ": " + WhyUnreadable(path) + "; expected a project file");
    toml::table root;
    try {
        root = toml::parse_file(path);
    } catch (const toml::parse_error& e) {
        std::string where = path;
        if (e.source().begin.line > 0) where += ":" + std::to_string(e.source().begin.line);
        throw BuildError(where + ": " + std::string(e.description()));
    }
    Project p;
    const Section top{root, ""};
    r.OnlyKeys(top, {"product", "texts", "background", "batch", "options", "files", "trees", "manifests"});
    const toml::table* t = nullptr;
    if (r.Table(top, "product", t)) ReadProduct(r, {*t, "product"}, p);
    if (r.Table(top, "texts", t)) {
        const Section s{*t, "texts"};
        r.OnlyKeys(s, {"welcome", "welcome_file", "license", "license_file", "readme", "readme_file"});
        r.TextOrFile(s, "welcome", p.manifest.welcomeText);
        r.TextOrFile(s, "license", p.manifest.licenseText);
        r.TextOrFile(s, "readme", p.manifest.readmeText);
    }
    if (r.Table(top, "background", t)) ReadBackground(r, {*t, "background"}, p);
    if (r.Table(top, "batch", t)) {
        const Section s{*t, "batch"};
        r.OnlyKeys(s, {"before", "before_file", "after", "after_file", "final", "final_file",
                       "uninstall1", "uninstall1_file", "uninstall2", "uninstall2_file"});
        r.TextOrFile(s, "before", p.manifest.batchBefore);
        r.TextOrFile(s, "after", p.manifest.batchAfter);
        r.TextOrFile(s, "final", p.manifest.batchFinal);
        r.TextOrFile(s, "uninstall1", p.manifest.uninstallBatch1);
        r.TextOrFile(s, "uninstall2", p.manifest.uninstallBatch2);
    }
    if (r.Table(top, "options", t)) ReadOptions(r, {*t, "options"}, p);
    ReadFiles(r, top, p);
    ReadTrees(r, top, p);
    if (p.files.empty()) r.Fail(nullptr, "files", "the project names no files; expected at least one [[files]] or [[trees]]");
    if (!p.manifest.requiredProduct.empty() && !(p.manifest.flags & UpdateOnly)) {
        const toml::table* product = root.get("product")->as_table();
        r.Fail(product->get("required_product"), "product.required_product",
               "given without the flag; expected \"UpdateOnly\" in product.flags");
    }
    ReadManifests(r, top, request, p);
    return p;
}
