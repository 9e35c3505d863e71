#include "records/installation_facts.h"

#include "core/text_builder.h"
#include "core/text_lines.h"

const char kFactsFileName[] = "Uninstall.INI";

namespace {

const char kSection[] = "[Installation]";

const char* const kRemovalWords[] = {"Listed", "None", "Removed"};

// Names of the journal lines, in JournalKind order; those with two parts
// join them with "|", which no path or key name holds.
const char* const kJournalNames[] = {"Folder", "File",        "Replaced",      "Shortcut", "Font",
                                     "Key",    "CountRaised", "CountReleased", "PathEntry"};

bool HasTwoParts(JournalKind kind) { return kind == JournalReplaced || kind == JournalFont || kind == JournalKey; }

void AppendValue(TextBuilder& out, const char* name, const String& value) {
    out.Append(name);
    out.Append('=');
    out.Append(value);
    out.AppendBytes("\r\n", 2);
}

// A value stops at the first line end or NUL: a registry text holding one
// must not break the record into lines of its own.
String OneLine(const String& value) {
    String line(value);
    int32 cut = line.Length();
    for (int32 i = 0; i < line.Length(); ++i) {
        char ch = line.At(i);
        if (ch == '\r' || ch == '\n' || ch == '\0') {
            cut = i;
            break;
        }
    }
    line.SetLength(cut);
    return line;
}

}  // namespace

String FactsText(const InstallationFacts& facts) {
    TextBuilder out;
    out.Append(kSection);
    out.AppendBytes("\r\n", 2);
    AppendValue(out, "Product", OneLine(facts.product));
    AppendValue(out, "InstallLocation", OneLine(facts.installLocation));
    AppendValue(out, "SharedPath", OneLine(facts.sharedPath));
    AppendValue(out, "ProductRegistry", OneLine(facts.productRegistry));
    AppendValue(out, "RemovalList", String(kRemovalWords[facts.removalList]));
    AppendValue(out, "State", String(facts.complete ? "Complete" : "Installing"));
    return out.Take();
}

bool ReadFactsText(const String& text, InstallationFacts& facts) {
    facts = InstallationFacts();
    bool inSection = false;
    bool sawProduct = false, sawLocation = false;
    int32 position = 0;
    String line;
    while (NextLine(text, position, line)) {
        if (line.At(0) == '[') {
            inSection = line.Compare(kSection, false) == 0;
            continue;
        }
        int32 equals = line.Find('=');
        if (!inSection || equals <= 0) continue;
        String name, value;
        name.Assign(line.Text(), equals);
        value.Assign(line.Text() + equals + 1, line.Length() - equals - 1);
        if (name.Compare("Product", false) == 0) {
            facts.product = value;
            sawProduct = true;
        } else if (name.Compare("InstallLocation", false) == 0) {
            facts.installLocation = value;
            sawLocation = true;
        } else if (name.Compare("SharedPath", false) == 0) {
            facts.sharedPath = value;
        } else if (name.Compare("ProductRegistry", false) == 0) {
            facts.productRegistry = value;
        } else if (name.Compare("RemovalList", false) == 0) {
            for (int i = 0; i < 3; ++i) {
                if (value.Compare(kRemovalWords[i], false) == 0) facts.removalList = RemovalListState(i);
            }
        } else if (name.Compare("State", false) == 0) {
            facts.complete = value.Compare("Complete", false) == 0;
        }
    }
    return sawProduct && sawLocation && !facts.product.IsEmpty() && !facts.installLocation.IsEmpty();
}

String JournalLine(const JournalEntry& entry) {
    TextBuilder out;
    out.Append(kJournalNames[entry.kind]);
    out.Append('=');
    // A key's hive goes first: a key name may itself hold "|".
    bool hiveFirst = entry.kind == JournalKey;
    out.Append(OneLine(hiveFirst ? entry.other : entry.path));
    if (HasTwoParts(entry.kind)) {
        out.Append('|');
        out.Append(OneLine(hiveFirst ? entry.path : entry.other));
    }
    out.AppendBytes("\r\n", 2);
    return out.Take();
}

void ReadJournal(const String& text, Vector<JournalEntry>& entries) {
    int32 position = 0;
    String line;
    while (NextLine(text, position, line)) {
        int32 equals = line.Find('=');
        if (equals <= 0) continue;
        String name, value;
        name.Assign(line.Text(), equals);
        value.Assign(line.Text() + equals + 1, line.Length() - equals - 1);
        for (int kind = JournalFolder; kind <= JournalPathEntry; ++kind) {
            if (name.Compare(kJournalNames[kind], true) != 0) continue;
            JournalEntry entry;
            entry.kind = JournalKind(kind);
            if (HasTwoParts(entry.kind)) {
                int32 bar = value.Find('|');
                if (bar <= 0) break;
                entry.path.Assign(value.Text(), bar);
                entry.other.Assign(value.Text() + bar + 1, value.Length() - bar - 1);
                if (entry.kind == JournalKey) {
                    String hive = entry.path;
                    entry.path = entry.other;
                    entry.other = hive;
                }
                if (entry.other.IsEmpty()) break;
            } else {
                entry.path = value;
            }
            if (!entry.path.IsEmpty()) entries.Append(entry);
            break;
        }
    }
}
