// Compares the archive codec with LZ4, LZ4HC, zlib and zstd on two corpora,
// each compressed as one block the way the installer's payload is.
//
// installer: what a product ships, from the build machine's i686 mingw-w64
// toolchain; four groups concatenated in this order, each group's files in
// sorted path order,
//   1. runtime DLLs: /usr/lib/gcc/i686-w64-mingw32/<last folder in sorted
//      order>/*.dll and /usr/i686-w64-mingw32/lib/*.dll, at most the first
//      4 MB of each file;
//   2. import and static libraries: /usr/i686-w64-mingw32/lib/*.a, until
//      the group holds 16 MB;
//   3. headers: /usr/i686-w64-mingw32/include/**/*.h, until 16 MB;
//   4. texts: /usr/share/common-licenses/*.
// machine: x86-64 machine code, /usr/lib/x86_64-linux-gnu/*.so* (regular
// files, not links), at most 4 MB of each, until 32 MB.
// A file that would overflow its group is cut to fit. Files named on the
// command line replace both corpora (concatenated in the given order).
//
// Our rows: "ours fast" and "ours max" decode the whole block at once;
// "ours stream" decodes the max block through the installer's streaming
// decoder, fed 64 KB at a time.
//
// Usage: codec_bench [--list] [--corpus installer|machine] [--no-slow] [FILE...]
//   --no-slow leaves out zstd -19, the slowest encoder here.
#include <lz4.h>
#include <lz4hc.h>
#include <malloc.h>
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
#include <vector>

#include "archive/build/lz_encoder.h"
#include "archive/lz_codec.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

struct Group {
    std::vector<std::string> roots;
    std::string extension;  // matched anywhere after the stem: ".so" takes "x.so.6"
    bool recursive;
    bool skipLinks;  // a library's version links would repeat it
    size_t perFile;
    size_t total;
};

const size_t kMB = size_t(1) << 20;

bool Wanted(const fs::path& path, const std::string& extension) {
    if (extension.empty()) return true;
    if (extension == ".so") return path.filename().string().find(".so") != std::string::npos;
    return path.extension() == extension;
}

std::vector<std::string> GroupFiles(const Group& g) {
    std::vector<std::string> files;
    for (const std::string& root : g.roots) {
        std::error_code ec;
        if (!fs::is_directory(root, ec)) continue;
        auto take = [&](const fs::directory_entry& e) {
            if ((g.skipLinks && e.is_symlink()) || !e.is_regular_file()) return;
            if (Wanted(e.path(), g.extension)) files.push_back(e.path().string());
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

void AppendFile(Bytes& out, const std::string& path, size_t most) {
    std::ifstream in(path, std::ios::binary);
    Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() > most) data.resize(most);
    out.insert(out.end(), data.begin(), data.end());
}

// The toolchain's runtime folder is named after its version and thread model.
std::string LastFolder(const std::string& parent) {
    std::vector<std::string> dirs;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(parent, ec)) {
        if (e.is_directory()) dirs.push_back(e.path().string());
    }
    std::sort(dirs.begin(), dirs.end());
    return dirs.empty() ? parent : dirs.back();
}

Bytes Corpus(const std::vector<Group>& groups, bool list) {
    Bytes corpus;
    for (const Group& g : groups) {
        size_t used = 0;
        int count = 0;
        for (const std::string& path : GroupFiles(g)) {
            if (used >= g.total) break;
            size_t before = corpus.size();
            AppendFile(corpus, path, std::min(g.perFile, g.total - used));
            used += corpus.size() - before;
            ++count;
            if (list) printf("  %s\n", path.c_str());
        }
        printf("  group %-44s %4d files %6.2f MB\n", g.roots[0].c_str(), count, used / double(kMB));
    }
    return corpus;
}

Bytes InstallerCorpus(bool list) {
    return Corpus({{{LastFolder("/usr/lib/gcc/i686-w64-mingw32"), "/usr/i686-w64-mingw32/lib"}, ".dll",
                    false, false, 4 * kMB, SIZE_MAX},
                   {{"/usr/i686-w64-mingw32/lib"}, ".a", false, false, SIZE_MAX, 16 * kMB},
                   {{"/usr/i686-w64-mingw32/include"}, ".h", true, false, SIZE_MAX, 16 * kMB},
                   {{"/usr/share/common-licenses"}, "", false, false, SIZE_MAX, SIZE_MAX}},
                  list);
}

Bytes MachineCorpus(bool list) {
    return Corpus({{{"/usr/lib/x86_64-linux-gnu"}, ".so", false, true, 4 * kMB, 32 * kMB}}, list);
}

// CPU time of this thread, so that other work on a shared machine does not
// count against whichever codec happens to run beside it.
double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

double Seconds(const std::function<void()>& f) {
    double start = ThreadSeconds();
    f();
    return ThreadSeconds() - start;
}

// Best of several runs, at least `runs` and until half a second has passed
// (a slow encoder runs once).
double BestSeconds(const std::function<void()>& f, int runs) {
    double best = 1e30, spent = 0;
    for (int i = 0; i < runs || spent < 0.5; ++i) {
        double s = Seconds(f);
        best = std::min(best, s);
        spent += s;
        if (i >= 50) break;
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

void PrintRow(const Row& r, size_t size) {
    double mb = size / double(kMB);
    printf("%-14s %12zu %7.2f%% %10.1f %10.1f   %s\n", r.name.c_str(), r.compressed,
           100.0 * r.compressed / size, r.compressSeconds > 0 ? mb / r.compressSeconds : 0.0,
           mb / r.decompressSeconds, r.verified ? "ok" : "MISMATCH");
}

Row OurLevel(const Bytes& in, LzLevel level, const char* name, Bytes& block) {
    Row r{name};
    r.compressSeconds = BestSeconds([&] { block = LzEncode(in.data(), in.size(), level); }, 1);
    r.compressed = block.size();
    char* out = nullptr;
    int32 outLength = 0;
    r.decompressSeconds = BestSeconds(
        [&] {
            if (out) Free(out);
            out = nullptr;
            if (!DecodeRange(block.data(), int32(block.size()), out, outLength)) out = nullptr;
        },
        5);
    r.verified = out && size_t(outLength) == in.size() && memcmp(out, in.data(), in.size()) == 0;
    if (out) Free(out);
    return r;
}

// Takes what the streaming decoder hands on: compares it with the input
// once, and in the timed runs only counts it.
class Checker : public LzOutput {
public:
    Checker(const Bytes& expected, bool compare) : expected_(expected), compare_(compare) {}
    bool Take(const byte* data, size_t length) override {
        if (compare_ && (length > expected_.size() - at_ || memcmp(data, expected_.data() + at_, length) != 0)) {
            return false;
        }
        at_ += length;
        return true;
    }
    size_t Taken() const { return at_; }

private:
    const Bytes& expected_;
    bool compare_;
    size_t at_ = 0;
};

// The max block through the installer's streaming decoder, fed 64 KB at a
// time.
bool StreamOnce(const Bytes& block, LzStreamDecoder& decoder, Checker& checker) {
    decoder.Start(checker);
    const size_t chunk = 64 * 1024;
    for (size_t at = 0; at < block.size(); at += chunk) {
        if (!decoder.Feed(block.data() + at, std::min(chunk, block.size() - at))) return false;
    }
    return decoder.Finish();
}

Row OurStream(const Bytes& in, const Bytes& block) {
    Row r{"ours stream", block.size()};
    LzStreamDecoder decoder;
    Checker compare(in, true);
    r.verified = StreamOnce(block, decoder, compare) && compare.Taken() == in.size();
    r.decompressSeconds = BestSeconds(
        [&] {
            Checker count(in, false);
            StreamOnce(block, decoder, count);
        },
        5);
    return r;
}

Row Lz4(const Bytes& in, int hcLevel) {
    Row r{hcLevel ? "lz4hc " + std::to_string(hcLevel) : "lz4"};
    Bytes block(LZ4_compressBound(int(in.size())));
    int n = 0;
    r.compressSeconds = BestSeconds([&] {
        const char* src = reinterpret_cast<const char*>(in.data());
        char* dst = reinterpret_cast<char*>(block.data());
        n = hcLevel ? LZ4_compress_HC(src, dst, int(in.size()), int(block.size()), hcLevel)
                    : LZ4_compress_default(src, dst, int(in.size()), int(block.size()));
    }, 1);
    r.compressed = size_t(n);
    Bytes out(in.size());
    int got = 0;
    r.decompressSeconds = BestSeconds(
        [&] {
            got = LZ4_decompress_safe(reinterpret_cast<const char*>(block.data()),
                                      reinterpret_cast<char*>(out.data()), n, int(out.size()));
        },
        5);
    r.verified = got == int(in.size()) && out == in;
    return r;
}

Row Zlib(const Bytes& in, int level) {
    Row r{"zlib " + std::to_string(level)};
    uLongf n = compressBound(in.size());
    Bytes block(n);
    r.compressSeconds = BestSeconds([&] {
        n = compressBound(in.size());
        compress2(block.data(), &n, in.data(), in.size(), level);
    }, 1);
    r.compressed = n;
    Bytes out(in.size());
    uLongf got = 0;
    r.decompressSeconds = BestSeconds(
        [&] {
            got = out.size();
            uncompress(out.data(), &got, block.data(), n);
        },
        2);
    r.verified = got == in.size() && out == in;
    return r;
}

Row Zstd(const Bytes& in, int level) {
    Row r{"zstd " + std::to_string(level)};
    Bytes block(ZSTD_compressBound(in.size()));
    size_t n = 0;
    r.compressSeconds =
        BestSeconds([&] { n = ZSTD_compress(block.data(), block.size(), in.data(), in.size(), level); }, 1);
    if (ZSTD_isError(n)) return r;
    r.compressed = n;
    Bytes out(in.size());
    size_t got = 0;
    r.decompressSeconds =
        BestSeconds([&] { got = ZSTD_decompress(out.data(), out.size(), block.data(), n); }, 3);
    r.verified = got == in.size() && out == in;
    return r;
}

const Row& Find(const std::vector<Row>& rows, const std::string& name) {
    for (const Row& r : rows) {
        if (r.name == name) return r;
    }
    return rows.front();
}

bool RunCorpus(const char* title, const Bytes& corpus, bool slow) {
    printf("%s: %zu bytes (%.2f MB), one block; speeds from thread CPU time\n", title, corpus.size(),
           corpus.size() / double(kMB));
    std::vector<Row> rows;
    Bytes copy(corpus.size());
    Row m{"memcpy", corpus.size(), 0, 0, true};
    m.decompressSeconds = BestSeconds([&] { memcpy(copy.data(), corpus.data(), corpus.size()); }, 5);
    rows.push_back(m);
    Bytes fastBlock, maxBlock;
    rows.push_back(OurLevel(corpus, LzLevel::Fast, "ours fast", fastBlock));
    rows.push_back(OurLevel(corpus, LzLevel::Max, "ours max", maxBlock));
    rows.push_back(OurStream(corpus, maxBlock));
    rows.push_back(Lz4(corpus, 0));
    rows.push_back(Lz4(corpus, LZ4HC_CLEVEL_DEFAULT));
    rows.push_back(Zlib(corpus, 6));
    rows.push_back(Zlib(corpus, 9));
    rows.push_back(Zstd(corpus, 3));
    if (slow) rows.push_back(Zstd(corpus, 19));

    printf("%-14s %12s %8s %10s %10s\n", "codec", "bytes", "ratio", "comp MB/s", "dec MB/s");
    bool ok = true;
    for (const Row& r : rows) {
        PrintRow(r, corpus.size());
        ok = ok && r.verified;
    }
    const Row& fast = Find(rows, "ours fast");
    const Row& max = Find(rows, "ours max");
    const Row& stream = Find(rows, "ours stream");
    const Row& lz4 = Find(rows, "lz4");
    const Row& z9 = Find(rows, "zlib 9");
    printf("max vs zlib 9: %+.2f%% size; fast %.1f MB/s; decoder vs lz4: fast %.2fx, max %.2fx, "
           "stream %.2fx\n\n",
           100.0 * (double(max.compressed) / z9.compressed - 1),
           corpus.size() / double(kMB) / fast.compressSeconds,
           lz4.decompressSeconds / fast.decompressSeconds, lz4.decompressSeconds / max.decompressSeconds,
           lz4.decompressSeconds / stream.decompressSeconds);
    fflush(stdout);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    // Keep freed blocks in the heap so every decoder writes to warm memory.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);

    bool list = false, slow = true;
    std::string only;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--list") == 0) {
            list = true;
        } else if (strcmp(argv[i], "--no-slow") == 0) {
            slow = false;
        } else if (strcmp(argv[i], "--corpus") == 0 && i + 1 < argc) {
            only = argv[++i];
        } else {
            files.push_back(argv[i]);
        }
    }
    bool ok = true;
    if (!files.empty()) {
        Bytes corpus;
        for (const std::string& f : files) AppendFile(corpus, f, SIZE_MAX);
        if (corpus.empty()) {
            fprintf(stderr, "codec_bench: empty corpus\n");
            return 1;
        }
        return RunCorpus("files", corpus, slow) ? 0 : 1;
    }
    for (const char* name : {"installer", "machine"}) {
        if (!only.empty() && only != name) continue;
        printf("%s corpus\n", name);
        Bytes corpus = strcmp(name, "installer") == 0 ? InstallerCorpus(list) : MachineCorpus(list);
        if (corpus.empty()) {
            fprintf(stderr, "codec_bench: the %s corpus is empty on this machine\n", name);
            ok = false;
            continue;
        }
        ok = RunCorpus(name, corpus, slow) && ok;
    }
    return ok ? 0 : 1;
}
