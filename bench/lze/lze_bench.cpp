// The entropy-coded method beside LZ4, zlib -9, zstd -19 and xz -9 on two
// corpora, each compressed as one stream the way a payload is.
//
// installer: what a product ships; groups concatenated in this order, each
// group's files in sorted path order, whole files only (a file that does
// not fit is left out and the next one tried):
//   1. /usr/lib/i386-linux-gnu/wine/i386-windows/*.dll and *.exe, files of
//      at most 4 MB, until 36 MB;
//   2. /usr/lib/x86_64-linux-gnu/wine/x86_64-windows, the same, until 8 MB;
//   3. /usr/i686-w64-mingw32/lib/*.a until 10 MB;
//   4. /usr/x86_64-w64-mingw32/lib/*.a until 4 MB;
//   5. /usr/i686-w64-mingw32/include/**/*.h until 10 MB;
//   6. /usr/share/common-licenses/* and /usr/share/doc/**/* (not .gz)
//      until 4 MB.
// machine: /usr/lib/x86_64-linux-gnu/*.so* (regular files, not links) of
// at most 8 MB each, until 48 MB.
// Missing folders leave their group empty.
//
// Rows: "lz fast" and "lz max", the plain method, decoded whole, and
// "lz 64K", the max block through its streaming decoder fed 64 KB at a
// time;
// "lze fast" and "lze max" without the branch filter; "lze max x86"
// with it on the code sections of the files that look like x86 PE images. These decode through
// the streaming decoder fed the whole stream, into a buffer reserved
// beforehand as for the other codecs; "lze 64K" decodes the max x86 stream
// fed 64 KB at a time, as the installer does, "lze range" through the
// whole-stream entry point, which allocates its output. Speeds are from
// thread CPU time, best of several runs, in MB/s of input.
//
// Usage: lze_bench [--list] [--corpus installer|machine] [FILE...]
//   Files named on the command line replace both corpora.
#include <lz4.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "archive/build/lz_encoder.h"
#include "archive/build/lze_encoder.h"
#include "archive/lz_codec.h"
#include "archive/lze_codec.h"
#include "core/memory.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;
const size_t kMB = size_t(1) << 20;

struct Group {
    std::vector<std::string> roots;
    std::vector<std::string> extensions;  // empty: every file
    bool recursive;
    bool followLinks;
    size_t perFile;
    size_t total;
    std::string skipExtension;
};

struct Corpus {
    Bytes data;
    std::vector<std::pair<size_t, size_t>> x86;  // code sections of x86 PE images
    size_t images = 0;
};

std::vector<std::string> GroupFiles(const Group& g) {
    std::vector<std::string> files;
    for (const std::string& root : g.roots) {
        std::error_code ec;
        if (!fs::is_directory(root, ec)) continue;
        auto take = [&](const fs::directory_entry& e) {
            std::error_code ec2;
            if (!(g.followLinks ? e.is_regular_file(ec2) : e.is_regular_file(ec2) && !e.is_symlink(ec2))) return;
            const std::string name = e.path().filename().string();
            if (!g.skipExtension.empty() && e.path().extension() == g.skipExtension) return;
            bool wanted = g.extensions.empty();
            for (const std::string& x : g.extensions) {
                if (x == ".so*" ? name.find(".so") != std::string::npos : e.path().extension() == x) wanted = true;
            }
            if (wanted) files.push_back(e.path().string());
        };
        if (g.recursive) {
            for (const auto& e : fs::recursive_directory_iterator(root, ec)) take(e);
        } else {
            for (const auto& e : fs::directory_iterator(root, ec)) take(e);
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool ReadFile(const std::string& path, Bytes& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void AddFile(Corpus& c, const Bytes& data) {
    const size_t at = c.data.size();
    c.data.insert(c.data.end(), data.begin(), data.end());
    if (LooksLikeX86Image(data.data(), data.size())) ++c.images;
    for (const auto& r : X86CodeRanges(data.data(), data.size())) c.x86.push_back({at + r.first, at + r.second});
}

Corpus Gather(const std::vector<Group>& groups, bool list) {
    Corpus c;
    for (const Group& g : groups) {
        size_t used = 0;
        int count = 0;
        for (const std::string& path : GroupFiles(g)) {
            std::error_code ec;
            const uintmax_t size = fs::file_size(path, ec);
            if (ec || size > g.perFile || size > g.total - used) continue;
            Bytes data;
            if (!ReadFile(path, data)) continue;
            AddFile(c, data);
            used += data.size();
            ++count;
            if (list) printf("  %s\n", path.c_str());
        }
        printf("  group %-48s %4d files %6.2f MB\n", g.roots[0].c_str(), count, used / double(kMB));
    }
    return c;
}

Corpus InstallerCorpus(bool list) {
    const std::vector<std::string> pe = {".dll", ".exe"};
    return Gather({{{"/usr/lib/i386-linux-gnu/wine/i386-windows"}, pe, false, true, 4 * kMB, 36 * kMB, ""},
                   {{"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"}, pe, false, true, 4 * kMB, 8 * kMB, ""},
                   {{"/usr/i686-w64-mingw32/lib"}, {".a"}, false, true, SIZE_MAX, 10 * kMB, ""},
                   {{"/usr/x86_64-w64-mingw32/lib"}, {".a"}, false, true, SIZE_MAX, 4 * kMB, ""},
                   {{"/usr/i686-w64-mingw32/include"}, {".h"}, true, true, SIZE_MAX, 10 * kMB, ""},
                   {{"/usr/share/common-licenses", "/usr/share/doc"}, {}, true, true, SIZE_MAX, 4 * kMB, ".gz"}},
                  list);
}

Corpus MachineCorpus(bool list) {
    return Gather({{{"/usr/lib/x86_64-linux-gnu"}, {".so*"}, false, false, 8 * kMB, 48 * kMB, ""}}, list);
}

// CPU time of this thread, so that other work on a shared machine does not
// count against whichever codec happens to run beside it.
double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

double Seconds(const std::function<void()>& f) {
    const double start = ThreadSeconds();
    f();
    return ThreadSeconds() - start;
}

// Best of at least `runs` runs, going on until a second has passed.
double BestSeconds(const std::function<void()>& f, int runs) {
    double best = 1e30, spent = 0;
    for (int i = 0; i < runs || (spent < 1.0 && i < 50); ++i) {
        const double s = Seconds(f);
        best = std::min(best, s);
        spent += s;
    }
    return best;
}

struct Row {
    std::string name;
    size_t compressed = 0;
    double compressSeconds = 0;
    double decompressSeconds = 0;
    bool verified = false;
};

// Takes the streaming decoder's pieces into a buffer reserved beforehand,
// as the other decoders here write into one.
class Collector : public LzOutput {
public:
    explicit Collector(Bytes& into) : into_(into) {}
    bool Take(const byte* data, size_t length) override {
        if (into_.size() + length > into_.capacity()) return false;
        into_.insert(into_.end(), data, data + length);
        return true;
    }

private:
    Bytes& into_;
};

// Decodes through the streaming decoder, fed `chunk` bytes at a time.
double StreamSeconds(const Bytes& in, const Bytes& stream, size_t chunk, bool& verified) {
    Bytes out;
    out.reserve(in.size());
    bool ok = false;
    LzeStreamDecoder decoder;
    const double seconds = BestSeconds(
        [&] {
            out.clear();
            Collector collector(out);
            decoder.Start(collector);
            ok = true;
            for (size_t at = 0; ok && at < stream.size(); at += chunk) {
                ok = decoder.Feed(stream.data() + at, std::min(chunk, stream.size() - at));
            }
            ok = ok && decoder.Finish();
        },
        3);
    verified = ok && out == in;
    return seconds;
}

Row Lze(const Bytes& in, LzeLevel level, const std::vector<std::pair<size_t, size_t>>* filter,
        const char* name, Bytes& stream) {
    Row r{name};
    LzeOptions options;
    options.level = level;
    if (filter) options.filterRanges = *filter;
    r.compressSeconds = Seconds([&] { stream = LzeEncode(in.data(), in.size(), options); });
    r.compressed = stream.size();
    r.decompressSeconds = StreamSeconds(in, stream, stream.size(), r.verified);
    return r;
}

// The installer's way: 64 KB of input at a time.
Row LzeChunked(const Bytes& in, const Bytes& stream) {
    Row r{"lze 64K"};
    r.compressed = stream.size();
    r.decompressSeconds = StreamSeconds(in, stream, 64 * 1024, r.verified);
    return r;
}

// The whole-stream entry point, which allocates its output.
Row LzeRange(const Bytes& in, const Bytes& stream) {
    Row r{"lze range"};
    r.compressed = stream.size();
    char* out = nullptr;
    int32 outLength = 0;
    bool ok = false;
    r.decompressSeconds = BestSeconds(
        [&] {
            Free(out);
            out = nullptr;
            ok = LzeDecodeRange(stream.data(), int32(stream.size()), out, outLength);
        },
        3);
    r.verified = ok && size_t(outLength) == in.size() && memcmp(out, in.data(), in.size()) == 0;
    Free(out);
    return r;
}

// The plain method's max block through its streaming decoder, 64 KB at a
// time, as the installer decodes it.
Row LzChunked(const Bytes& in, const Bytes& block) {
    Row r{"lz 64K"};
    r.compressed = block.size();
    Bytes out;
    out.reserve(in.size());
    bool ok = false;
    LzStreamDecoder decoder;
    const size_t chunk = 64 * 1024;
    r.decompressSeconds = BestSeconds(
        [&] {
            out.clear();
            Collector collector(out);
            decoder.Start(collector);
            ok = true;
            for (size_t at = 0; ok && at < block.size(); at += chunk) {
                ok = decoder.Feed(block.data() + at, std::min(chunk, block.size() - at));
            }
            ok = ok && decoder.Finish();
        },
        3);
    r.verified = ok && out == in;
    return r;
}

// The plain method, decoded whole as the tools do.
Row Lz(const Bytes& in, LzLevel level, const char* name, Bytes& block) {
    Row r{name};
    r.compressSeconds = Seconds([&] { block = LzEncode(in.data(), in.size(), level); });
    r.compressed = block.size();
    char* out = nullptr;
    int32 outLength = 0;
    bool ok = false;
    r.decompressSeconds = BestSeconds(
        [&] {
            Free(out);
            out = nullptr;
            ok = DecodeRange(block.data(), int32(block.size()), out, outLength);
        },
        3);
    r.verified = ok && size_t(outLength) == in.size() && memcmp(out, in.data(), in.size()) == 0;
    Free(out);
    return r;
}

Row Lz4(const Bytes& in) {
    Row r{"lz4"};
    Bytes block(size_t(LZ4_compressBound(int(in.size()))));
    int n = 0;
    r.compressSeconds = Seconds([&] {
        n = LZ4_compress_default(reinterpret_cast<const char*>(in.data()), reinterpret_cast<char*>(block.data()),
                                 int(in.size()), int(block.size()));
    });
    r.compressed = size_t(n);
    Bytes out(in.size());
    int got = 0;
    r.decompressSeconds = BestSeconds(
        [&] {
            got = LZ4_decompress_safe(reinterpret_cast<const char*>(block.data()),
                                      reinterpret_cast<char*>(out.data()), n, int(out.size()));
        },
        3);
    r.verified = got == int(in.size()) && out == in;
    return r;
}

Row Zlib9(const Bytes& in) {
    Row r{"zlib -9"};
    uLongf n = compressBound(uLong(in.size()));
    Bytes block(n);
    r.compressSeconds = Seconds([&] { compress2(block.data(), &n, in.data(), uLong(in.size()), 9); });
    r.compressed = n;
    Bytes out(in.size());
    uLongf got = 0;
    r.decompressSeconds = BestSeconds(
        [&] {
            got = uLongf(out.size());
            uncompress(out.data(), &got, block.data(), n);
        },
        3);
    r.verified = got == in.size() && out == in;
    return r;
}

Row Zstd19(const Bytes& in) {
    Row r{"zstd -19"};
    Bytes block(ZSTD_compressBound(in.size()));
    size_t n = 0;
    r.compressSeconds = Seconds([&] { n = ZSTD_compress(block.data(), block.size(), in.data(), in.size(), 19); });
    if (ZSTD_isError(n)) return r;
    r.compressed = n;
    Bytes out(in.size());
    size_t got = 0;
    r.decompressSeconds = BestSeconds([&] { got = ZSTD_decompress(out.data(), out.size(), block.data(), n); }, 3);
    r.verified = got == in.size() && out == in;
    return r;
}

Row Xz9(const Bytes& in) {
    Row r{"xz -9"};
    Bytes block(lzma_stream_buffer_bound(in.size()));
    size_t n = 0;
    lzma_ret ret = LZMA_OK;
    r.compressSeconds = Seconds([&] {
        ret = lzma_easy_buffer_encode(9, LZMA_CHECK_CRC64, nullptr, in.data(), in.size(), block.data(), &n,
                                      block.size());
    });
    if (ret != LZMA_OK) return r;
    r.compressed = n;
    Bytes out(in.size());
    size_t got = 0;
    r.decompressSeconds = BestSeconds(
        [&] {
            uint64_t memlimit = UINT64_MAX;
            size_t inPos = 0;
            got = 0;
            if (lzma_stream_buffer_decode(&memlimit, 0, nullptr, block.data(), &inPos, n, out.data(), &got,
                                          out.size()) != LZMA_OK) {
                got = 0;
            }
        },
        2);
    r.verified = got == in.size() && out == in;
    return r;
}

void PrintRow(const Row& r, size_t size) {
    const double mb = size / double(kMB);
    printf("%-12s %11zu %7.2f%% %9.2f %9.1f   %s\n", r.name.c_str(), r.compressed, 100.0 * r.compressed / size,
           r.compressSeconds > 0 ? mb / r.compressSeconds : 0.0, mb / r.decompressSeconds,
           r.verified ? "ok" : "MISMATCH");
}

const Row& Find(const std::vector<Row>& rows, const std::string& name) {
    for (const Row& r : rows) {
        if (r.name == name) return r;
    }
    return rows.front();
}

bool RunCorpus(const char* title, const Corpus& corpus) {
    const Bytes& in = corpus.data;
    size_t code = 0;
    for (const auto& r : corpus.x86) code += r.second - r.first;
    printf("%s: %zu bytes (%.2f MB), %zu x86 images with %.2f MB of code; speeds in MB/s of input\n", title,
           in.size(), in.size() / double(kMB), corpus.images, code / double(kMB));
    std::vector<Row> rows;
    Bytes fastStream, maxStream, x86Stream;
    Bytes lzFast, lzMax;
    rows.push_back(Lz(in, LzLevel::Fast, "lz fast", lzFast));
    rows.push_back(Lz(in, LzLevel::Max, "lz max", lzMax));
    rows.push_back(LzChunked(in, lzMax));
    rows.push_back(Lze(in, LzeLevel::Fast, nullptr, "lze fast", fastStream));
    rows.push_back(Lze(in, LzeLevel::Max, nullptr, "lze max", maxStream));
    rows.push_back(Lze(in, LzeLevel::Max, &corpus.x86, "lze max x86", x86Stream));
    rows.push_back(LzeChunked(in, x86Stream));
    rows.push_back(LzeRange(in, x86Stream));
    rows.push_back(Lz4(in));
    rows.push_back(Zlib9(in));
    rows.push_back(Zstd19(in));
    rows.push_back(Xz9(in));

    printf("%-12s %11s %8s %9s %9s\n", "codec", "bytes", "ratio", "comp", "dec");
    bool ok = true;
    for (const Row& r : rows) {
        PrintRow(r, in.size());
        ok = ok && r.verified;
    }
    const Row& max = Find(rows, "lze max");
    const Row& x86 = Find(rows, "lze max x86");
    const Row& xz = Find(rows, "xz -9");
    const Row& zstd = Find(rows, "zstd -19");
    printf("lze max / xz -9: %.3f (x86 %.3f); / zstd -19: %.3f (x86 %.3f)\n", double(max.compressed) / xz.compressed,
           double(x86.compressed) / xz.compressed, double(max.compressed) / zstd.compressed,
           double(x86.compressed) / zstd.compressed);
    const Row& chunked = Find(rows, "lze 64K");
    printf("lze max decoding: %.1fx xz, %.2fx zstd (64K pieces %.1fx xz, %.2fx zstd)\n\n",
           xz.decompressSeconds / max.decompressSeconds, zstd.decompressSeconds / max.decompressSeconds,
           xz.decompressSeconds / chunked.decompressSeconds, zstd.decompressSeconds / chunked.decompressSeconds);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    bool list = false;
    std::string which;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--list") {
            list = true;
        } else if (a == "--corpus" && i + 1 < argc) {
            which = argv[++i];
        } else {
            files.push_back(a);
        }
    }
    bool ok = true;
    if (!files.empty()) {
        Corpus c;
        for (const std::string& f : files) {
            Bytes data;
            if (!ReadFile(f, data)) {
                fprintf(stderr, "cannot read %s\n", f.c_str());
                return 2;
            }
            AddFile(c, data);
        }
        return RunCorpus("files", c) ? 0 : 1;
    }
    if (which.empty() || which == "installer") {
        printf("installer corpus\n");
        ok = RunCorpus("installer", InstallerCorpus(list)) && ok;
    }
    if (which.empty() || which == "machine") {
        printf("machine corpus\n");
        ok = RunCorpus("machine", MachineCorpus(list)) && ok;
    }
    return ok ? 0 : 1;
}
