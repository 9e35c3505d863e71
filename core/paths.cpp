#include "core/paths.h"

#include <string.h>

namespace {

int Fold(char ch) {
    return (ch >= 'a' && ch <= 'z') ? ch - 'a' + 'A' : static_cast<unsigned char>(ch);
}

bool IsAsciiLetter(char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}

int32 LastBackslash(const String& path) {
    const char* text = path.Text();
    for (int32 i = path.Length() - 1; i >= 0; --i) {
        if (text[i] == '\\') return i;
    }
    return -1;
}

int32 FirstIndexOf(const String& path, char ch) {
    const char* text = path.Text();
    for (int32 i = 0; i < path.Length(); ++i) {
        if (text[i] == ch) return i;
    }
    return -1;
}

String Prefix(const String& path, int32 count) {
    String result;
    if (count > 0) result.Assign(path.Text(), count);
    return result;
}

int32 LengthWithoutTrailingBackslashes(const String& path) {
    int32 n = path.Length();
    while (n > 0 && path.Text()[n - 1] == '\\') --n;
    return n;
}

}  // namespace

String JoinPath(const String& directory, const String& name) {
    if (name.IsEmpty()) return directory;
    String result(directory);
    if (name.First() == '\\') {
        result.DropLastIf('\\');
    } else if (!result.IsEmpty() && result.Last() != ':' && result.Last() != '\\') {
        result.Append('\\');
    }
    result.Append(name);
    return result;
}

String ParentDirectory(const String& path) {
    int32 slash = LastBackslash(path);
    if (slash == 0) return String();
    if (slash > 0) {
        if (path.At(slash - 1) == ':') return Prefix(path, slash + 1);
        return Prefix(path, slash);
    }
    int32 colon = FirstIndexOf(path, ':');
    return colon < 0 ? String() : Prefix(path, colon + 1);
}

bool StripLastComponent(String& path) {
    String parent = ParentDirectory(path);
    if (parent.IsEmpty()) return false;
    path = parent;
    return true;
}

String FileNamePart(const String& path) {
    int32 slash = LastBackslash(path);
    if (slash >= 0) return path.Mid(slash + 1);
    int32 colon = FirstIndexOf(path, ':');
    if (colon >= 0) return path.Mid(colon + 1);
    return path;
}

bool SplitPath(const String& path, String& directory, String& name) {
    int32 slash = LastBackslash(path);
    int32 cut = slash >= 0 ? slash + 1 : (path.At(1) == ':' ? 2 : 0);
    // Copy first: the outputs may alias the input.
    String head = Prefix(path, cut);
    String tail = path.Mid(cut);
    directory = head;
    name = tail;
    return cut > 0 || !name.IsEmpty();
}

bool AddExtension(String& path, const char* extension) {
    int32 start = LastBackslash(path) + 1;
    for (int32 i = start; i < path.Length(); ++i) {
        if (path.Text()[i] == '.') return false;
    }
    if (extension) {
        if (extension[0] != '.') path.Append('.');
        path.Append(extension);
    }
    return true;
}

bool QualifyName(String& name, const String& base) {
    if (base.IsEmpty()) return false;
    if (FirstIndexOf(name, '\\') >= 0 || FirstIndexOf(name, ':') >= 0) return false;
    name = JoinPath(base, name);
    return true;
}

bool MakeAbsolute(String& path, const String& base) {
    if (!IsFullPath(base)) return false;
    String result;
    if (path.At(1) == ':') {
        if (path.At(2) == '\\') return false;
        // d:app against c:\work gives d:\work\app: the base's directory on
        // the path's drive.
        String directory = base.At(1) == ':' ? base.Mid(2) : base;
        directory.EnsureLast('\\');
        result = Prefix(path, 2);
        result.Append(directory);
        result.Append(path.Text() + 2);
    } else if (path.First() == '\\') {
        result = Prefix(base, 2);
        result.Append(path);
    } else {
        result = base;
        result.EnsureLast('\\');
        result.Append(path);
    }
    path = result;
    return true;
}

bool IsFullPath(const String& path) {
    return path.Length() >= 3 && path.At(1) == ':' && path.At(2) == '\\';
}

char DriveLetterOf(const String& path) {
    if (!IsAsciiLetter(path.At(0)) || path.At(1) != ':') return '\0';
    return static_cast<char>(Fold(path.At(0)));
}

String DriveRootOf(const String& path) {
    if (!IsAsciiLetter(path.At(0)) || path.At(1) != ':') return String();
    String root = Prefix(path, 2);
    root.Append('\\');
    return root;
}

bool IsLegalPath(const String& path) {
    const char* text = path.Text();
    int32 begin = 0;
    int32 end = path.Length();
    if (end >= 2 && text[0] == '"' && text[end - 1] == '"') {
        ++begin;
        --end;
    }
    // Quotes around nothing are no directory either.
    if (end <= begin) return false;
    for (int32 i = begin; i < end; ++i) {
        if (i == begin + 1 && text[i] == ':') continue;
        if (strchr("/\"<>|*?:;", text[i])) return false;
    }
    return true;
}

bool SamePath(const String& a, const String& b) {
    int32 n = LengthWithoutTrailingBackslashes(a);
    if (n != LengthWithoutTrailingBackslashes(b)) return false;
    for (int32 i = 0; i < n; ++i) {
        if (Fold(a.Text()[i]) != Fold(b.Text()[i])) return false;
    }
    return true;
}

bool StartsWithPath(const String& path, const String& prefix) {
    if (prefix.Length() > path.Length()) return false;
    for (int32 i = 0; i < prefix.Length(); ++i) {
        if (Fold(path.Text()[i]) != Fold(prefix.Text()[i])) return false;
    }
    return true;
}
