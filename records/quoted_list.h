// The two list texts of the uninstall registration: the shared files
// ("a.dll";"b.dll") and the fonts ("Title" "file.ttf" ), with their
// writers and readers. Items are enclosed in double quotes; a double quote
// inside an item is written twice. Readers accept any text and never run
// past its end.
#ifndef QUILLPACK_RECORDS_QUOTED_LIST_H
#define QUILLPACK_RECORDS_QUOTED_LIST_H

#include "core/string.h"
#include "core/text_builder.h"

// ';' between items (none before the first, none at the end), the name in
// double quotes.
void AppendSharedFileItem(String& list, const String& name);
// The same into a builder, for lists of thousands of names.
void AppendSharedFileItem(TextBuilder& list, const String& name);

// Takes the first item off rest (and the ';' after it). False at the end of
// the list: rest empty or not starting with a double quote, or an empty
// item; item is then empty and rest is left as it was.
bool TakeSharedFileItem(String& rest, String& item);
// Reads the item at pos without changing the list and moves pos past it;
// the same rules. Reading a whole list this way takes time in proportion
// to its length.
bool TakeSharedFileItem(const String& list, int32& pos, String& item);

// "title" "file" followed by one space.
void AppendFontItem(String& list, const String& title, const String& file);
void AppendFontItem(TextBuilder& list, const String& title, const String& file);

// Takes one pair off rest, skipping blanks, CR, LF and tabs before each
// item. False at the end of the list (a missing or empty title or file);
// title and file are then empty and rest is left as it was.
bool TakeFontItem(String& rest, String& title, String& file);
bool TakeFontItem(const String& list, int32& pos, String& title, String& file);

// Where a shared-file item points: an item that is a path of its own (a
// drive "x:" or a leading "\") is used as it is; any other item, with or
// without sub-folders, lies below the shared directory, as it was counted
// at install. Empty when it would have to be joined to an empty directory.
String SharedFilePath(const String& item, const String& sharedDirectory);

#endif  // QUILLPACK_RECORDS_QUOTED_LIST_H
