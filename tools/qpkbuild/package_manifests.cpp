#include "tools/qpkbuild/package_manifests.h"

#include <ctype.h>
#include <stdio.h>

const char kManifestSchemaVersion[] = "1.10.0";

namespace {

// A YAML double-quoted scalar: nothing in it is taken for a number (a
// version 1.10, a digest of digits only), a boolean or YAML syntax.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20 || u == 0x7F) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02X", u);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Header(const char* type) {
    return std::string("# yaml-language-server: $schema=https://aka.ms/winget-manifest.") + type + "." +
           kManifestSchemaVersion + ".schema.json\n# Written by qpkbuild.\n\n";
}

std::string Footer(const char* type) {
    return std::string("ManifestType: ") + type + "\nManifestVersion: " + kManifestSchemaVersion + "\n";
}

std::string Identity(const PackageFacts& f) {
    return "PackageIdentifier: " + Quoted(f.identifier) + "\nPackageVersion: " + Quoted(f.version) + "\n";
}

size_t Characters(const std::string& text) {
    size_t n = 0;
    for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Letters only, between min and max of them.
bool Letters(const std::string& text, size_t min, size_t max) {
    if (text.size() < min || text.size() > max) return false;
    for (char c : text) {
        if (!IsAsciiLetter(c)) return false;
    }
    return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

std::string PercentDecoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += char(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

std::vector<ManifestFile> PackageManifests(const PackageFacts& f) {
    std::string version = Header("version") + Identity(f) + "DefaultLocale: " + Quoted(f.locale) + "\n" +
                          Footer("version");

    std::string installer = Header("installer") + Identity(f) +
        "InstallerType: exe\n"
        "Scope: machine\n"
        "InstallModes:\n" +
        std::string(f.interactive ? "- interactive\n" : "") +
        "- silent\n"
        "InstallerSwitches:\n"
        "  Silent: /a\n"
        "  SilentWithProgress: /a\n" +
        std::string(f.chooseDirectory ? "  InstallLocation: /d:\"<INSTALLPATH>\"\n" : "") +
        "  Log: /log:\"<LOGPATH>\"\n"
        "InstallerSuccessCodes:\n"
        "- 3010\n"
        "ExpectedReturnCodes:\n"
        "- InstallerReturnCode: 2\n"
        "  ReturnResponse: cancelledByUser\n"
        "- InstallerReturnCode: 3010\n"
        "  ReturnResponse: rebootRequiredToFinish\n"
        // A newer setup copies over the installed product.
        "UpgradeBehavior: install\n"
        "ElevationRequirement: elevatesSelf\n"
        "ProductCode: " + Quoted(f.name) + "\n"
        "AppsAndFeaturesEntries:\n"
        "- DisplayName: " + Quoted(f.name) + "\n"
        "  Publisher: " + Quoted(f.publisher) + "\n"
        "  DisplayVersion: " + Quoted(f.version) + "\n"
        "  ProductCode: " + Quoted(f.name) + "\n"
        "Installers:\n"
        "- Architecture: " + f.architecture + "\n"
        "  InstallerUrl: " + Quoted(f.url) + "\n"
        "  InstallerSha256: " + Quoted(f.sha256) + "\n" +
        Footer("installer");

    std::string locale = Header("defaultLocale") + Identity(f) +
        "PackageLocale: " + Quoted(f.locale) + "\n"
        "Publisher: " + Quoted(f.publisher) + "\n"
        "PackageName: " + Quoted(f.name) + "\n"
        "License: " + Quoted(f.license) + "\n"
        "ShortDescription: " + Quoted(f.shortDescription) + "\n" +
        Footer("defaultLocale");

    return {{f.identifier + ".yaml", version},
            {f.identifier + ".installer.yaml", installer},
            {f.identifier + ".locale." + f.locale + ".yaml", locale}};
}

std::string IdentifierProblem(const std::string& identifier) {
    const std::string expected = "; expected 2 to 8 parts of 1 to 32 characters joined by dots, such as "
                                 "\"Publisher.Product\", without blanks or \\ / : * ? \" < > |";
    std::vector<std::string> parts = Split(identifier, '.');
    bool sound = identifier.size() <= 128 && parts.size() >= 2 && parts.size() <= 8;
    for (const std::string& part : parts) {
        sound = sound && !part.empty() && part.size() <= 32;
        for (char c : part) {
            unsigned char u = static_cast<unsigned char>(c);
            // ASCII only: the identifier also names the manifests' files.
            sound = sound && u > 0x20 && u < 0x7F && std::string("\\/:*?\"<>|").find(c) == std::string::npos;
        }
    }
    return sound ? "" : "\"" + identifier + "\" is no package identifier" + expected;
}

std::string LocaleProblem(const std::string& locale) {
    std::vector<std::string> parts = Split(locale, '-');
    size_t next = 1;
    bool sound = locale.size() <= 20;
    if (parts.size() >= 2 && (parts[0] == "i" || parts[0] == "I")) {
        sound = sound && Letters(parts[1], 1, 20);
        next = 2;
    } else if (parts.size() >= 2 && (parts[0] == "x" || parts[0] == "X")) {
        sound = sound && Letters(parts[1], 1, 8);
        next = 2;
    } else {
        sound = sound && Letters(parts[0], 2, 3);
    }
    for (size_t i = next; i < parts.size(); ++i) sound = sound && Letters(parts[i], 1, 8);
    return sound ? "" : "\"" + locale + "\" is no locale; expected a language tag such as \"en-US\"";
}

std::string UrlProblem(const std::string& url, const std::string& setupName) {
    if (url.size() > 2048) return "is " + std::to_string(url.size()) + " characters long; expected an https URL of at most 2048";
    std::string scheme = url.substr(0, 8);
    for (char& c : scheme) c = char(tolower(static_cast<unsigned char>(c)));
    if (scheme != "https://") return "\"" + url + "\" is no https URL; expected one starting with https://";
    for (char c : url) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) {
            return "\"" + url + "\" holds a blank or control character; expected them written as %20 and the like";
        }
    }
    size_t hostEnd = url.find_first_of("/?#", 8);
    if (hostEnd == 8) return "\"" + url + "\" names no host; expected https://HOST/PATH";
    if (setupName.empty()) return "";
    size_t pathEnd = url.find_first_of("?#", 8);
    std::string path = url.substr(0, pathEnd);
    std::string last = hostEnd == std::string::npos || hostEnd >= path.size() ? "" : path.substr(path.rfind('/') + 1);
    if (PercentDecoded(last) != setupName) {
        return "\"" + url + "\" does not end in the setup program's name; expected https://HOST/.../" + setupName;
    }
    return "";
}

std::string LengthProblem(const std::string& text, size_t min, size_t max) {
    size_t n = Characters(text);
    if (n >= min && n <= max) return "";
    return "is " + std::to_string(n) + " characters long; expected " + std::to_string(min) + " to " +
           std::to_string(max);
}

std::string RegistryTextProblem(const std::string& text) {
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F) {
            return "\"" + text + "\" holds a character outside printable ASCII, which the setup writes in the "
                   "system's code page; expected printable ASCII when manifests are written";
        }
    }
    return "";
}

std::string VersionProblem(const std::string& version) {
    std::string problem = RegistryTextProblem(version);
    if (!problem.empty()) return problem;
    if (version.find_first_of("\\/:*?\"<>|") != std::string::npos) {
        return "\"" + version + "\" holds one of \\ / : * ? \" < > |; expected a version such as \"2.1\"";
    }
    return LengthProblem(version, 1, 128);
}
