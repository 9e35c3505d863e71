// The first thing the program does: keep DLLs that lie beside it (a
// Downloads folder, say) from being loaded into it.
#ifndef QUILLPACK_PLATFORM_SAFE_START_H
#define QUILLPACK_PLATFORM_SAFE_START_H

// Limits the search for DLLs loaded by name to the system directory. Where
// the system lacks that (no SetDefaultDllDirectories), only the current
// directory is taken out of the search. Answers true when the search is
// limited to the system directory.
bool RestrictDllSearch();

#endif  // QUILLPACK_PLATFORM_SAFE_START_H
