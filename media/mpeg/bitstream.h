// Input side of the video decoder: byte sources, the 2048-byte block reader and the bit reader
// the video parser works on. Knows nothing of video syntax beyond start codes; the input never
// runs dry: after the end of the data every read yields sequence end codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>

namespace mpeg {

constexpr size_t kBlockSize = 2048;
constexpr uint32_t kSequenceEndCode = 0x000001B7;

// kBlockSize bytes of sequence end codes, handed out once the data is exhausted.
std::span<const uint8_t> endOfDataBlock();

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to n bytes; fewer means the end of the data.
    virtual size_t read(uint8_t* dst, size_t n) = 0;
    virtual void rewind() = 0;
};

class FileSource final : public ByteSource {
public:
    // Returns null when the file cannot be opened.
    static std::unique_ptr<FileSource> open(const char* path);
    size_t read(uint8_t* dst, size_t n) override;
    void rewind() override;

private:
    struct Closer {
        void operator()(FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<FILE, Closer> file_;
};

// Reads from memory the caller keeps alive.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> data) : data_(data) {}
    size_t read(uint8_t* dst, size_t n) override;
    void rewind() override { pos_ = 0; }

private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

// Reads the source in fixed blocks. The rest of a short block, and every block after it, is
// filled with sequence end codes so parsing stops cleanly at the end of the data.
class BlockReader {
public:
    void reset(ByteSource* source);
    const uint8_t* next();
    // True once the current block holds padding from position pos onwards.
    bool pastEnd(size_t pos) const { return ended_ && pos >= valid_; }

private:
    ByteSource* source_ = nullptr;
    alignas(16) uint8_t block_[kBlockSize] = {};
    size_t valid_ = 0;
    bool ended_ = false;
};

class SystemDemux;

class BitReader {
public:
    // demux is null for elementary streams.
    void reset(BlockReader* blocks, SystemDemux* demux);

    // Top 32 bits of the stream, not consumed.
    uint32_t peek32() {
        if (bits_ < 32)
            refill();
        return static_cast<uint32_t>(cache_ >> 32);
    }
    uint32_t show(int n) { return peek32() >> (32 - n); }
    void skip(int n) {
        cache_ <<= n;
        bits_ -= n;
    }
    uint32_t get(int n) {
        uint32_t v = show(n);
        skip(n);
        return v;
    }
    uint32_t getBit() { return get(1); }
    void skipBits(int n);

    // Fast-path access for the coefficient loop: at least 32 valid bits after ensure32().
    void ensure32() {
        if (bits_ < 32)
            refill();
    }
    void top() { ensure32(); } // as LocalBits::top()
    uint64_t cache() const { return cache_; }

    void byteAlign() { skip(bits_ & 7); }

    // The reader's position, for loops that keep it in registers (LocalBits).
    struct Position {
        const uint8_t* ptr;
        const uint8_t* end;
        uint64_t cache;
        int bits;
    };
    Position position() const { return {ptr_, end_, cache_, bits_}; }
    void setPosition(const Position& p) {
        ptr_ = p.ptr;
        end_ = p.end;
        cache_ = p.cache;
        bits_ = p.bits;
    }
    // Aligns and skips to the next 0x000001 prefix; returns the 32-bit start code there.
    uint32_t nextStartCode();

private:
    // Tops the cache up to at least 56 bits (never 64, so that shifts by the count stay
    // defined): eight bytes at a time while the chunk has them.
    void refill() {
        if (end_ - ptr_ >= 8) {
            // Bytes beyond the counted ones land where the next refill puts the same bytes
            // again.
            uint64_t v;
            std::memcpy(&v, ptr_, sizeof v);
            cache_ |= __builtin_bswap64(v) >> bits_;
            const int n = (63 - bits_) >> 3;
            ptr_ += n;
            bits_ += n * 8;
            return;
        }
        refillSlow();
    }
    void refillSlow();
    void nextChunk();
    friend class LocalBits;

    BlockReader* blocks_ = nullptr;
    SystemDemux* demux_ = nullptr;
    const uint8_t* ptr_ = nullptr;
    const uint8_t* end_ = nullptr;
    uint64_t cache_ = 0;
    int bits_ = 0;
};

// A BitReader's position held in locals while a hot loop runs, so that the compiler keeps it in
// registers; written back when this goes out of scope. The reader must not be used meanwhile.
class LocalBits {
public:
    explicit LocalBits(BitReader& reader) : reader_(reader), p_(reader.position()) {}
    ~LocalBits() { reader_.setPosition(p_); }
    LocalBits(const LocalBits&) = delete;
    LocalBits& operator=(const LocalBits&) = delete;

    uint32_t peek32() {
        ensure32();
        return static_cast<uint32_t>(p_.cache >> 32);
    }
    uint32_t show(int n) { return peek32() >> (32 - n); }
    void skip(int n) {
        p_.cache <<= n;
        p_.bits -= n;
    }
    uint32_t get(int n) {
        uint32_t v = show(n);
        skip(n);
        return v;
    }
    void ensure32() {
        if (p_.bits < 32)
            refill();
    }
    // Tops up to at least 56 bits without a data-dependent branch (none that a refill every few
    // codes would make the predictor miss): for loops that read a code on every step.
    void top() {
        if (p_.end - p_.ptr >= 8)
            fastRefill();
        else if (p_.bits < 32)
            refill();
    }
    uint64_t cache() const { return p_.cache; }

private:
    void fastRefill() {
        uint64_t v;
        std::memcpy(&v, p_.ptr, sizeof v);
        p_.cache |= __builtin_bswap64(v) >> p_.bits;
        const int n = (63 - p_.bits) >> 3;
        p_.ptr += n;
        p_.bits += n * 8;
    }
    void refill() {
        if (p_.end - p_.ptr >= 8) {
            fastRefill();
            return;
        }
        reader_.setPosition(p_);
        reader_.refillSlow();
        p_ = reader_.position();
    }

    BitReader& reader_;
    BitReader::Position p_;
};

} // namespace mpeg
