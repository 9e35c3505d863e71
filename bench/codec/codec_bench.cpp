// Compares the archive codec with LZ4, LZ4HC and zlib on one corpus,
// compressed as one block the way the installer's payload is.
//
// Default corpus (reproducible on a machine with the i686 mingw-w64
// toolchain): four groups concatenated in this order, each group's files in
// sorted path order,
//   1. runtime DLLs: /usr/lib/gcc/i686-w64-mingw32/12-win32/*.dll and
//      /usr/i686-w64-mingw32/lib/*.dll, at most the first 4 MB of each file;
//   2. import and static libraries: /usr/i686-w64-mingw32/lib/*.a, until
//      the group holds 16 MB;
//   3. headers: /usr/i686-w64-mingw32/include/**/*.h, until 16 MB;
//   4. texts: /usr/share/common-licenses/*.
// A file that would overflow its group is cut to fit. Any files named on the
// command line replace the default corpus (concatenated in the given order).
//
// Usage: codec_bench [--list] [FILE...]
#include <lz4.h>
#include <lz4hc.h>
#include <malloc.h>
#include <zlib.h>

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
    std::string extension;  // empty: every regular file
    bool recursive;
    size_t perFile;
    size_t total;
};

const size_t kMB = size_t(1) << 20;

std::vector<std::string> GroupFiles(const Group& g) {
    std::vector<std::string> files;
    for (const std::string& root : g.roots) {
        std::error_code ec;
        if (!fs::is_directory(root, ec)) continue;
        auto take = [&](const fs::directory_entry& e) {
            if (!e.is_regular_file()) return;
            std::string path = e.path().string();
            if (g.extension.empty() || e.path().extension() == g.extension) files.push_back(path);
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

Bytes DefaultCorpus(bool list) {
    const std::vector<Group> groups = {
        {{"/usr/lib/gcc/i686-w64-mingw32/12-win32", "/usr/i686-w64-mingw32/lib"}, ".dll", false,
         4 * kMB, SIZE_MAX},
        {{"/usr/i686-w64-mingw32/lib"}, ".a", false, SIZE_MAX, 16 * kMB},
        {{"/usr/i686-w64-mingw32/include"}, ".h", true, SIZE_MAX, 16 * kMB},
        {{"/usr/share/common-licenses"}, "", false, SIZE_MAX, SIZE_MAX},
    };
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
        printf("group %-40s %4d files %6.2f MB\n", g.roots[0].c_str(), count, used / double(kMB));
    }
    return corpus;
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

// Best of several runs, at least `runs` and until half a second has passed.
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
    size_t compressed;
    double compressSeconds;
    double decompressSeconds;
    bool verified;
};

void PrintRow(const Row& r, size_t size) {
    double mb = size / double(kMB);
    printf("%-14s %12zu %7.2f%% %10.1f %10.1f   %s\n", r.name.c_str(), r.compressed,
           100.0 * r.compressed / size, r.compressSeconds > 0 ? mb / r.compressSeconds : 0.0,
           mb / r.decompressSeconds, r.verified ? "ok" : "MISMATCH");
}

Row OurLevel(const Bytes& in, LzLevel level, const char* name) {
    Row r{name, 0, 0, 0, false};
    Bytes block;
    r.compressSeconds = Seconds([&] { block = LzEncode(in.data(), in.size(), level); });
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

Row Lz4(const Bytes& in, int hcLevel) {
    Row r{hcLevel ? "lz4hc " + std::to_string(hcLevel) : "lz4", 0, 0, 0, false};
    Bytes block(LZ4_compressBound(int(in.size())));
    int n = 0;
    r.compressSeconds = Seconds([&] {
        const char* src = reinterpret_cast<const char*>(in.data());
        char* dst = reinterpret_cast<char*>(block.data());
        n = hcLevel ? LZ4_compress_HC(src, dst, int(in.size()), int(block.size()), hcLevel)
                    : LZ4_compress_default(src, dst, int(in.size()), int(block.size()));
    });
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
    Row r{"zlib " + std::to_string(level), 0, 0, 0, false};
    uLongf n = compressBound(in.size());
    Bytes block(n);
    r.compressSeconds = Seconds([&] { compress2(block.data(), &n, in.data(), in.size(), level); });
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

}  // namespace

int main(int argc, char** argv) {
    // Keep freed blocks in the heap so every decoder writes to warm memory.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);

    bool list = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--list") == 0) {
            list = true;
        } else {
            files.push_back(argv[i]);
        }
    }
    Bytes corpus;
    if (files.empty()) {
        corpus = DefaultCorpus(list);
    } else {
        for (const std::string& f : files) AppendFile(corpus, f, SIZE_MAX);
    }
    if (corpus.empty()) {
        fprintf(stderr, "codec_bench: empty corpus\n");
        return 1;
    }
    printf("corpus: %zu bytes (%.2f MB), one block; speeds from thread CPU time\n\n", corpus.size(), corpus.size() / double(kMB));

    std::vector<Row> rows;
    Bytes copy(corpus.size());
    Row m{"memcpy", corpus.size(), 0, 0, true};
    m.decompressSeconds = BestSeconds([&] { memcpy(copy.data(), corpus.data(), corpus.size()); }, 5);
    rows.push_back(m);
    rows.push_back(OurLevel(corpus, LzLevel::Fast, "ours fast"));
    rows.push_back(OurLevel(corpus, LzLevel::Max, "ours max"));
    rows.push_back(Lz4(corpus, 0));
    rows.push_back(Lz4(corpus, LZ4HC_CLEVEL_DEFAULT));
    rows.push_back(Zlib(corpus, 6));
    rows.push_back(Zlib(corpus, 9));

    printf("%-14s %12s %8s %10s %10s\n", "codec", "bytes", "ratio", "comp MB/s", "dec MB/s");
    bool ok = true;
    for (const Row& r : rows) {
        PrintRow(r, corpus.size());
        ok = ok && r.verified;
    }

    const Row& fast = rows[1];
    const Row& max = rows[2];
    const Row& lz4 = rows[3];
    const Row& z6 = rows[5];
    const Row& z9 = rows[6];
    printf("\nmax vs zlib 9:  %+.2f%% size\n", 100.0 * (double(max.compressed) / z9.compressed - 1));
    printf("fast vs zlib 6: %+.2f%% size, %.1f MB/s\n",
           100.0 * (double(fast.compressed) / z6.compressed - 1),
           corpus.size() / double(kMB) / fast.compressSeconds);
    printf("decoder vs lz4: fast %.0f%%, max %.0f%%\n",
           100.0 * lz4.decompressSeconds / fast.decompressSeconds,
           100.0 * lz4.decompressSeconds / max.decompressSeconds);
    return ok ? 0 : 1;
}
