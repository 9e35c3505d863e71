#include "records/installation_facts.h"

#include "core/text_builder.h"
#include "core/text_lines.h"

const char kFactsFileName[] = "Uninstall.INI";

namespace {

const char kSection[] = "[Installation]";

const char* const kRemovalWords[] = {"Listed", "None", "Removed"};

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
