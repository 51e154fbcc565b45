// Byte sources, block reader and bit reader. The bit reader takes its bytes straight from the
// blocks, or from the system-layer demultiplexer for system and program streams.
#include "media/mpeg/bitstream.h"

#include "media/mpeg/demux.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace mpeg {

namespace {

// 2048 bytes of sequence end codes, handed out once the data is exhausted.
const std::array<uint8_t, kBlockSize> kEndPattern = [] {
    std::array<uint8_t, kBlockSize> a{};
    for (size_t i = 0; i < a.size(); i += 4) {
        a[i] = 0x00;
        a[i + 1] = 0x00;
        a[i + 2] = 0x01;
        a[i + 3] = 0xB7;
    }
    return a;
}();

} // namespace

std::span<const uint8_t> endOfDataBlock() {
    return {kEndPattern.data(), kEndPattern.size()};
}

std::unique_ptr<FileSource> FileSource::open(const char* path) {
    FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (!f)
        return nullptr;
    // Large reads: a stream is read through once, front to back.
    std::setvbuf(f, nullptr, _IOFBF, size_t{1} << 16);
    auto source = std::unique_ptr<FileSource>(new FileSource());
    source->file_.reset(f);
    return source;
}

size_t FileSource::read(uint8_t* dst, size_t n) {
    return std::fread(dst, 1, n, file_.get());
}

void FileSource::rewind() {
    std::clearerr(file_.get());
    std::fseek(file_.get(), 0, SEEK_SET);
}

size_t MemorySource::read(uint8_t* dst, size_t n) {
    size_t count = std::min(n, data_.size() - pos_);
    if (count > 0)
        std::memcpy(dst, data_.data() + pos_, count);
    pos_ += count;
    return count;
}

void BlockReader::reset(ByteSource* source) {
    source_ = source;
    valid_ = 0;
    ended_ = false;
}

const uint8_t* BlockReader::next() {
    size_t n = 0;
    if (!ended_ && source_)
        n = source_->read(block_, kBlockSize);
    if (n < kBlockSize) {
        ended_ = true;
        // Pad with start-code aligned sequence end codes from the first missing byte.
        std::memcpy(block_ + n, kEndPattern.data(), kBlockSize - n);
    }
    valid_ = n;
    return block_;
}

void BitReader::reset(BlockReader* blocks, SystemDemux* demux) {
    blocks_ = blocks;
    demux_ = demux;
    ptr_ = end_ = nullptr;
    cache_ = 0;
    bits_ = 0;
}

void BitReader::nextChunk() {
    if (demux_) {
        std::span<const uint8_t> run = demux_->nextPayload();
        ptr_ = run.data();
        end_ = ptr_ + run.size();
    } else {
        ptr_ = blocks_->next();
        end_ = ptr_ + kBlockSize;
    }
}

void BitReader::refillSlow() {
    while (bits_ < 56) {
        if (ptr_ == end_) {
            nextChunk();
            continue;
        }
        cache_ |= static_cast<uint64_t>(*ptr_++) << (56 - bits_);
        bits_ += 8;
    }
}

void BitReader::skipBits(int n) {
    while (n > 24) {
        get(24);
        n -= 24;
    }
    if (n > 0)
        get(n);
}

uint32_t BitReader::nextStartCode() {
    byteAlign();
    for (;;) {
        uint32_t w = peek32();
        if ((w >> 8) == 1)
            return w;
        // A nonzero second byte means no start code begins in the first two bytes.
        if ((w & 0x00FF0000) != 0)
            skip(16);
        else
            skip(8);
    }
}

} // namespace mpeg
