#include "installer/archive_locate.h"

#include "core/fatal.h"

namespace {

ArchiveHead located;

// The own file seen through the locating interface. Setup programs are
// below 2 GB, so every position fits the File's 32-bit offsets.
class OwnFileSource : public ArchiveSource {
public:
    explicit OwnFileSource(File& file) : file_(file) {}
    int64 Size() override { return file_.Size(); }
    bool SeekTo(int64 position) override {
        int64 size = file_.Size();
        if (position < 0 || size < 0 || position > size) return false;
        return file_.Seek(int32(position));
    }
    bool ReadExact(void* data, int32 count) override { return file_.Read(data, count); }

private:
    File& file_;
};

}  // namespace

bool LocateArchive(File& own, ByteStream& header) {
    OwnFileSource source(own);
    bool found = false;
    int32 code = OpenArchive(source, header, located, found);
    if (located.flags & Automatic) AutomaticMode = true;
    if (code != CorruptNone) ReportCorruptArchive(code);
    return found;
}

const ArchiveHead& LocatedArchive() { return located; }

int64 LocatedArchiveEnd() { return located.end; }
