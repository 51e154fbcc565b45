// Byte sources, block reader, system-layer demultiplexer and bit reader. The demultiplexer skips
// pack headers, system headers and every packet that is not video; it does not check timing or
// buffer fields.
#include "media/mpeg/bitstream.h"

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

inline uint64_t loadBigEndian64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_bswap64(v);
}

} // namespace

std::unique_ptr<FileSource> FileSource::open(const char* path) {
    FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (!f)
        return nullptr;
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

void SystemDemux::reset(BlockReader* blocks, Diagnostics* diag) {
    blocks_ = blocks;
    diag_ = diag;
    block_ = nullptr;
    pos_ = kBlockSize;
    payloadLeft_ = 0;
    endless_ = false;
}

uint8_t SystemDemux::getByte() {
    if (pos_ >= kBlockSize) {
        block_ = blocks_->next();
        pos_ = 0;
    }
    return block_[pos_++];
}

void SystemDemux::skipBytes(size_t n) {
    while (n > 0 && !endless_) {
        if (pos_ >= kBlockSize) {
            block_ = blocks_->next();
            pos_ = 0;
        }
        if (atEnd()) {
            endless_ = true;
            return;
        }
        size_t step = std::min(n, kBlockSize - pos_);
        pos_ += step;
        n -= step;
    }
}

bool SystemDemux::parsePacketHeader(uint32_t code, size_t length) {
    (void)code;
    size_t used = 1;
    uint8_t b = getByte();
    if ((b >> 6) == 2) {
        diag_->message("MPEG-2 PES packet\n");
        getByte(); // PTS/DTS and other flags
        size_t headerLength = getByte();
        used = 3 + headerLength;
        if (used > length) {
            diag_->message("Error in packet header\n");
            skipBytes(length > 3 ? length - 3 : 0);
            return false;
        }
        skipBytes(headerLength);
    } else {
        while (b == 0xFF && used < 17) {
            b = getByte();
            ++used;
        }
        if ((b >> 6) == 1) { // STD buffer scale and size
            getByte();
            b = getByte();
            used += 2;
        }
        size_t extra = 0;
        if ((b >> 4) == 2)
            extra = 4; // PTS
        else if ((b >> 4) == 3)
            extra = 9; // PTS and DTS
        else if (b != 0x0F) {
            diag_->message("Error in packet header\n");
            skipBytes(length > used ? length - used : 0);
            return false;
        }
        used += extra;
        if (used > length) {
            diag_->message("Error in packet header\n");
            skipBytes(length > used - extra ? length - (used - extra) : 0);
            return false;
        }
        skipBytes(extra);
    }
    payloadLeft_ = length - used;
    return true;
}

std::span<const uint8_t> SystemDemux::nextPayload() {
    for (;;) {
        if (endless_)
            return {kEndPattern.data(), kEndPattern.size()};
        if (pos_ >= kBlockSize) {
            block_ = blocks_->next();
            pos_ = 0;
        }
        if (atEnd()) {
            endless_ = true;
            continue;
        }
        if (payloadLeft_ > 0) {
            size_t n = std::min(payloadLeft_, kBlockSize - pos_);
            std::span<const uint8_t> run(block_ + pos_, n);
            pos_ += n;
            payloadLeft_ -= n;
            return run;
        }

        // Find the next start code, byte by byte.
        uint32_t window = 0xFFFFFFFF;
        int seen = 0;
        while ((window & 0xFFFFFF00) != 0x00000100 || seen < 4) {
            if (pos_ >= kBlockSize) {
                block_ = blocks_->next();
                pos_ = 0;
            }
            if (atEnd())
                break;
            window = (window << 8) | block_[pos_++];
            ++seen;
        }
        if (atEnd() && (window & 0xFFFFFF00) != 0x00000100) {
            endless_ = true;
            continue;
        }
        const uint32_t code = window;
        if (code == 0x000001BA) { // pack header
            uint8_t b = getByte();
            if ((b >> 6) == 1) {
                skipBytes(8);
                skipBytes(getByte() & 7);
            } else {
                skipBytes(7);
            }
        } else if (code == 0x000001B9) { // end of the system stream; more may follow
        } else if (code >= 0x000001BB) {
            size_t length = static_cast<size_t>(getByte()) << 8;
            length |= getByte();
            if (code >= 0x000001E0 && code <= 0x000001EF)
                parsePacketHeader(code, length);
            else
                skipBytes(length);
        } else {
            diag_->message("Unexpected startcode %08x in system layer\n", code);
        }
    }
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

void BitReader::refill() {
    if (end_ - ptr_ >= 8) {
        // Bytes beyond the counted ones land where the next refill puts the same bytes again.
        cache_ |= loadBigEndian64(ptr_) >> bits_;
        int n = (63 - bits_) >> 3;
        ptr_ += n;
        bits_ += n * 8;
        return;
    }
    while (bits_ <= 56) {
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
