// The three YAML manifests (version, installer, defaultLocale, schema
// 1.10.0) through which package managers install a setup program unattended
// and find it again among the installed programs. Every value comes from
// the project and the finished setup; the checks here keep each one within
// what the schemas accept, and the product's names within what the setup
// writes into the registry unchanged.
#ifndef QUILLPACK_TOOLS_QPKBUILD_PACKAGE_MANIFESTS_H
#define QUILLPACK_TOOLS_QPKBUILD_PACKAGE_MANIFESTS_H

#include <string>
#include <vector>

extern const char kManifestSchemaVersion[];  // "1.10.0"

// What a [manifests] table gives.
struct ManifestInputs {
    bool table = false;  // the project has one
    std::string identifier;
    std::string url;
    std::string license;
    std::string shortDescription;  // empty: the display title, or the product name
    std::string locale = "en-US";
};

struct PackageFacts {
    std::string identifier;
    std::string version;    // DisplayVersion
    std::string name;       // the product name: DisplayName and the uninstall key's name
    std::string publisher;  // Publisher
    std::string license;
    std::string shortDescription;
    std::string locale;
    std::string url;
    std::string architecture;  // "x86" or "x64"
    std::string sha256;        // of the finished setup program
    bool chooseDirectory = false;  // /d: takes effect (AskDirectory)
    bool interactive = true;       // false when the archive itself is automatic
};

struct ManifestFile {
    std::string name;  // IDENTIFIER.yaml, IDENTIFIER.installer.yaml, IDENTIFIER.locale.LOCALE.yaml
    std::string text;
};

// Version, installer and defaultLocale manifest, in that order.
std::vector<ManifestFile> PackageManifests(const PackageFacts& facts);

// Each check answers empty when the text is fine, otherwise what is wrong
// and what was expected, to follow "FILE:LINE: KEY: ".
std::string IdentifierProblem(const std::string& identifier);
std::string LocaleProblem(const std::string& locale);
// An https URL whose path ends in setupName (after %XX decoding); the name
// is not checked when setupName is empty.
std::string UrlProblem(const std::string& url, const std::string& setupName);
// Between min and max characters (UTF-8 counted by characters).
std::string LengthProblem(const std::string& text, size_t min, size_t max);
// The product's name, publisher and version as the registry will hold
// them: printable ASCII only, so that the setup's bytes and the manifests'
// characters agree in every code page.
std::string RegistryTextProblem(const std::string& text);
std::string VersionProblem(const std::string& version);

#endif  // QUILLPACK_TOOLS_QPKBUILD_PACKAGE_MANIFESTS_H
