#include "archive/payload.h"

#include <string.h>

#include "archive/lz_codec.h"
#include "archive/lze_codec.h"
#include "archive/safe_name.h"
#include "core/byte_stream.h"

int32 SplitPayload(ByteStream& payload, const Manifest& manifest, RecordSink& sink) {
    bool verify = manifest.Has(Checksums);
    for (int32 i = 0; i < manifest.fileCount; ++i) {
        sink.BeforeRecord(i, manifest.fileCount);
        FileRecord record;
        int32 code = ReadFileRecord(payload, manifest.FileSize(i), verify, record);
        if (code != CorruptNone) return code;
        sink.Store(i, record);
    }
    return CorruptNone;
}

// --- Running checksum ------------------------------------------------------------

void RunningChecksum::Add(const void* data, size_t length) {
    const byte* p = static_cast<const byte*>(data);
    const byte* const end = p + length;
    // Finish the group a previous piece left open.
    while (p < end && (length_ & 3) != 0) {
        group_ |= uint32(*p++) << (8 * (length_ & 3));
        if ((++length_ & 3) == 0) {
            sum_ += group_;
            group_ = 0;
        }
    }
    while (end - p >= 4) {
        sum_ += uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24;
        p += 4;
        length_ += 4;
    }
    while (p < end) {
        group_ |= uint32(*p++) << (8 * (length_ & 3));
        ++length_;
    }
}

uint32 RunningChecksum::Value() const {
    uint32 sum = sum_;
    // The last 1 to 3 bytes count as signed values.
    for (uint32 i = 0; i < (length_ & 3); ++i) sum += uint32(int32(int8_t(byte(group_ >> (8 * i)))));
    return sum + uint32(length_);
}

// --- Streaming split ---------------------------------------------------------------

namespace {

inline int32 ReadLE32(const byte* p) {
    return int32(uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24);
}

// A growable block of bytes that keeps its room between uses.
class Buffer {
public:
    ~Buffer() { Free(data_); }
    void Clear() { length_ = 0; }
    void Append(const byte* p, size_t n) {
        if (n == 0) return;
        if (n > capacity_ - length_) {
            size_t wanted = capacity_ * 2 > length_ + n ? capacity_ * 2 : length_ + n;
            data_ = static_cast<char*>(Reallocate(data_, wanted + 1));
            capacity_ = wanted;
        }
        memcpy(data_ + length_, p, n);
        length_ += n;
    }
    const char* Data() const { return data_ ? data_ : ""; }
    size_t Length() const { return length_; }

private:
    char* data_ = nullptr;
    size_t length_ = 0, capacity_ = 0;
};

// Reads the records from the payload's bytes as they arrive, field by
// field, with the checks of ReadFileRecord in its order. Bytes past the
// end read as ReadFileRecord reads them: zeros for numbers, texts empty.
class RecordStream : public LzOutput {
public:
    RecordStream(const Manifest& manifest, int64 length, RecordStreamSink& sink, int32 holdLimit)
        : manifest_(manifest), verify_(manifest.Has(Checksums)), length_(length), sink_(sink),
          holdLimit_(holdLimit) {
        BeginRecord();
    }

    bool Done() const { return done_; }

    bool Take(const byte* data, size_t length) override {
        while (length > 0 && !done_) {
            size_t used = 0;
            switch (field_) {
            case kName:
            case kShortcut: {
                const byte* nul = static_cast<const byte*>(memchr(data, 0, length));
                size_t n = nul ? size_t(nul - data) : length;
                if (n > size_t(kMaxRecordText) - text_.Length()) {
                    Fail(CorruptEmptyName);
                    break;
                }
                text_.Append(data, n);
                used = nul ? n + 1 : n;
                position_ += int64(used);
                if (nul) EndText();
                break;
            }
            case kHead:
            case kTail: {
                size_t need = FixedBytes() - fixedLength_;
                used = need < length ? need : length;
                memcpy(fixed_ + fixedLength_, data, used);
                fixedLength_ += used;
                position_ += int64(used);
                if (fixedLength_ == FixedBytes()) EndFixed();
                break;
            }
            case kData: {
                used = dataLeft_ < int64(length) ? size_t(dataLeft_) : length;
                if (verify_) dataSum_.Add(data, used);
                if (streamed_) {
                    sink_.Data(reinterpret_cast<const char*>(data), int32(used));
                } else {
                    held_.Append(data, used);
                }
                dataLeft_ -= int64(used);
                position_ += int64(used);
                if (dataLeft_ == 0) field_ = kTail;
                break;
            }
            }
            data += used;
            length -= used;
        }
        return !done_;
    }

    // The payload ended: the rest is read as past its end.
    int32 Finish() {
        while (!done_) {
            switch (field_) {
            case kName:
            case kShortcut:
                EndText();
                break;
            case kHead:
            case kTail:
                position_ += int64(FixedBytes() - fixedLength_);
                memset(fixed_ + fixedLength_, 0, FixedBytes() - fixedLength_);
                fixedLength_ = FixedBytes();
                EndFixed();
                break;
            case kData:
                // Shorter than the first pass found it.
                Fail(CorruptFileOverrun);
                break;
            }
        }
        return code_;
    }

    // Stops with a code found outside the records (the payload now reads or
    // decodes differently); a record begun in pieces is dropped.
    void Abandon(int32 code) {
        if (!done_) Fail(code);
    }

private:
    enum Field { kName, kHead, kData, kTail, kShortcut };

    // Kind and shortcut bits; checksum and date.
    size_t FixedBytes() const { return field_ == kHead ? 8 : 4 + FileDateSize; }

    void BeginRecord() {
        if (index_ >= manifest_.fileCount) {
            done_ = true;
            return;
        }
        sink_.BeforeRecord(index_, manifest_.fileCount);
        record_ = FileRecord();
        field_ = kName;
        text_.Clear();
        fixedLength_ = 0;
        streamed_ = false;
    }

    void Fail(int32 code) {
        if (streamed_) sink_.Discard(index_);
        streamed_ = false;
        code_ = code;
        done_ = true;
    }

    void EndText() {
        String text;
        if (text_.Length() > 0) text.Assign(text_.Data(), int32(text_.Length()));
        text_.Clear();
        if (field_ == kName) {
            record_.name = text;
            if (record_.name.IsEmpty() || !IsContainedName(record_.name)) {
                Fail(CorruptEmptyName);
                return;
            }
            field_ = kHead;
            fixedLength_ = 0;
            return;
        }
        record_.shortcutName = text;
        const int32 kind = record_.kind;
        if (kind != Normal && kind != Shared && kind != Font && kind != StartupProgram) {
            Fail(CorruptFileKind);
            return;
        }
        record_.data = streamed_ ? nullptr : held_.Data();
        sink_.Store(index_, record_);
        streamed_ = false;
        ++index_;
        BeginRecord();
    }

    void EndFixed() {
        if (field_ == kHead) {
            record_.kind = ReadLE32(fixed_);
            record_.shortcutBits = ReadLE32(fixed_ + 4);
            const int32 size = manifest_.FileSize(index_);
            if (size < 0) {
                Fail(CorruptNegativeData);
                return;
            }
            const int64 left = length_ > position_ ? length_ - position_ : 0;
            if (size > left) {
                Fail(CorruptFileOverrun);
                return;
            }
            record_.size = size;
            dataLeft_ = size;
            dataSum_ = RunningChecksum();
            held_.Clear();
            streamed_ = size > holdLimit_;
            if (streamed_) sink_.BeginData(index_, record_);
            field_ = size > 0 ? kData : kTail;
            fixedLength_ = 0;
            return;
        }
        record_.checksum = uint32(ReadLE32(fixed_));
        if (verify_ && dataSum_.Value() != record_.checksum) {
            Fail(CorruptFileChecksum);
            return;
        }
        FileDate& d = record_.date;
        int32* const fields[6] = {&d.year, &d.month, &d.day, &d.hour, &d.minute, &d.second};
        for (int32 i = 0; i < 6; ++i) *fields[i] = ReadLE32(fixed_ + 4 + 4 * i);
        field_ = kShortcut;
    }

    const Manifest& manifest_;
    const bool verify_;
    const int64 length_;  // of the whole decoded payload
    RecordStreamSink& sink_;
    const int32 holdLimit_;

    int32 index_ = 0;
    int64 position_ = 0;  // bytes read so far, past the end included
    Field field_ = kName;
    FileRecord record_;
    Buffer text_;
    byte fixed_[4 + FileDateSize] = {};
    size_t fixedLength_ = 0;
    int64 dataLeft_ = 0;
    RunningChecksum dataSum_;
    Buffer held_;
    bool streamed_ = false;  // the current record's data goes out in pieces
    bool done_ = false;
    int32 code_ = CorruptNone;
};

// The chunk both passes read into: kPayloadChunkBytes, or less for a small
// payload.
class Chunk {
public:
    explicit Chunk(const Manifest& manifest)
        : size_(manifest.payloadLength < kPayloadChunkBytes ? manifest.payloadLength : kPayloadChunkBytes) {
        if (size_ < 65536) size_ = 65536;
        data_ = static_cast<char*>(Allocate(size_t(size_)));
    }
    ~Chunk() { Free(data_); }
    Chunk(const Chunk&) = delete;
    Chunk& operator=(const Chunk&) = delete;
    char* Data() { return data_; }
    const byte* Bytes() const { return reinterpret_cast<const byte*>(data_); }
    int32 Size() const { return size_; }

private:
    int32 size_;
    char* data_;
};

// Counts what the first pass decodes and drops it.
class DropOutput : public LzOutput {
public:
    bool Take(const byte*, size_t) override { return true; }
};

// The compressed payload's decoder, chosen by the stream's first four
// bytes, which may arrive in separate chunks: the entropy-coded method's
// magic, or else the plain method, whose decoder refuses any other magic.
// Without an output (the first pass) a plain block is only walked.
class PayloadDecoder {
public:
    explicit PayloadDecoder(LzOutput* output) : output_(output) {}
    ~PayloadDecoder() { delete lze_; }
    PayloadDecoder(const PayloadDecoder&) = delete;
    PayloadDecoder& operator=(const PayloadDecoder&) = delete;

    // False once the stream is known to be damaged or the output said stop.
    bool Feed(const byte* data, size_t length) {
        if (method_ == PayloadStored) {
            while (length > 0 && magicLength_ < 4) {
                magic_[magicLength_++] = *data++;
                --length;
            }
            if (magicLength_ < 4) return true;
            if (!Choose()) return false;
        }
        return length == 0 || Pass(data, length);
    }

    // True when the stream was whole and sound.
    bool Finish() {
        // Shorter than a magic: the plain decoder finds it cut.
        if (method_ == PayloadStored && !Choose()) return false;
        if (lze_) return lze_->Finish();
        return output_ ? lz_.Finish() : scanner_.Finish();
    }

    // A failure was damage, not the output saying stop.
    bool Damaged() const {
        if (lze_) return lze_->Damaged();
        return output_ ? lz_.Damaged() : true;
    }

    uint64_t Produced() const {
        if (lze_) return lze_->Produced();
        return output_ ? lz_.Produced() : scanner_.Produced();
    }

    int32 Method() const { return method_; }

private:
    bool Choose() {
        if (magicLength_ == 4 && uint32(ReadLE32(magic_)) == LzeMagic) {
            method_ = PayloadLze;
            // Only now: its tables take about a megabyte.
            lze_ = new LzeStreamDecoder;
            lze_->Start(output_ ? *output_ : drop_, ~uint64_t(0));
        } else {
            method_ = PayloadLz;
            if (output_) {
                lz_.Start(*output_, ~uint64_t(0));
            } else {
                scanner_.Start();
            }
        }
        return magicLength_ == 0 || Pass(magic_, magicLength_);
    }

    bool Pass(const byte* data, size_t length) {
        if (lze_) return lze_->Feed(data, length);
        return output_ ? lz_.Feed(data, length) : scanner_.Feed(data, length);
    }

    LzOutput* const output_;
    DropOutput drop_;
    int32 method_ = PayloadStored;  // not chosen yet
    byte magic_[4] = {};
    size_t magicLength_ = 0;
    LzStreamDecoder lz_;
    LzBlockScanner scanner_;
    LzeStreamDecoder* lze_ = nullptr;
};

}  // namespace

int32 CheckPayload(PayloadSource& source, const Manifest& manifest, PayloadCheck& check) {
    const bool compressed = manifest.Has(CompressedPayload);
    Chunk chunk(manifest);
    RunningChecksum sum;
    PayloadDecoder decoder(nullptr);
    bool decodes = true;
    for (;;) {
        int32 n = source.Read(chunk.Data(), chunk.Size());
        if (n < 0) return CorruptPartRead;
        if (n == 0) break;
        sum.Add(chunk.Data(), size_t(n));
        if (compressed && decodes) decodes = decoder.Feed(chunk.Bytes(), size_t(n));
    }
    check.storedLength = int64(sum.Length());
    check.decodedLength = check.storedLength;
    check.method = PayloadStored;
    if (sum.Value() != manifest.payloadChecksum) return CorruptPayloadChecksum;
    if (compressed) {
        if (!decodes || !decoder.Finish()) return CorruptPayloadDecode;
        check.decodedLength = int64(decoder.Produced());
        check.method = decoder.Method();
    }
    return CorruptNone;
}

int32 StreamPayload(PayloadSource& source, const Manifest& manifest, const PayloadCheck& check,
                    RecordStreamSink& sink, int32 holdLimit) {
    const bool compressed = manifest.Has(CompressedPayload);
    RecordStream records(manifest, check.decodedLength, sink, holdLimit);
    Chunk chunk(manifest);
    PayloadDecoder decoder(&records);
    while (!records.Done()) {
        int32 n = source.Read(chunk.Data(), chunk.Size());
        if (n < 0) {
            records.Abandon(CorruptPartRead);
            break;
        }
        if (n == 0) {
            if (compressed && !decoder.Finish() && decoder.Damaged()) records.Abandon(CorruptPayloadDecode);
            break;
        }
        if (!compressed) {
            records.Take(chunk.Bytes(), size_t(n));
        } else if (!decoder.Feed(chunk.Bytes(), size_t(n)) && decoder.Damaged()) {
            records.Abandon(CorruptPayloadDecode);
        }
    }
    return records.Finish();
}
