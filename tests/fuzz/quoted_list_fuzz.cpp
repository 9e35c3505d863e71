// Any text through both list readers: they must end, always move forward,
// agree between the taking and the positional form, and give back exactly
// the items read once those are written out again and read anew.
#include <cstdint>
#include <vector>

#include "records/quoted_list.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void SharedFiles(const String& text) {
    std::vector<String> items;
    String item;
    int32 pos = 0;
    while (TakeSharedFileItem(text, pos, item)) {
        Check(!item.IsEmpty() && pos <= text.Length());
        items.push_back(item);
    }
    String rest(text);
    size_t n = 0;
    while (TakeSharedFileItem(rest, item)) Check(n < items.size() && item == items[n++]);
    Check(n == items.size());

    TextBuilder written;
    for (const String& each : items) AppendSharedFileItem(written, each);
    String again = written.Take();
    pos = 0;
    n = 0;
    while (TakeSharedFileItem(again, pos, item)) Check(n < items.size() && item == items[n++]);
    Check(n == items.size() && pos == again.Length());
}

void Fonts(const String& text) {
    std::vector<String> pairs;
    String title, file;
    int32 pos = 0;
    while (TakeFontItem(text, pos, title, file)) {
        Check(!title.IsEmpty() && !file.IsEmpty() && pos <= text.Length());
        pairs.push_back(title);
        pairs.push_back(file);
    }
    String rest(text);
    size_t n = 0;
    while (TakeFontItem(rest, title, file)) {
        Check(n + 1 < pairs.size() && title == pairs[n] && file == pairs[n + 1]);
        n += 2;
    }
    Check(n == pairs.size());

    String written;
    for (size_t i = 0; i + 1 < pairs.size(); i += 2) AppendFontItem(written, pairs[i], pairs[i + 1]);
    pos = 0;
    n = 0;
    while (TakeFontItem(written, pos, title, file)) {
        Check(n + 1 < pairs.size() && title == pairs[n] && file == pairs[n + 1]);
        n += 2;
    }
    Check(n == pairs.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    String text;
    text.Assign(data, int32(size));
    SharedFiles(text);
    Fonts(text);
    return 0;
}
