// System-layer demultiplexer: finds packets by their start codes, byte by byte across blocks,
// and hands out the payload of video packets as runs inside the current block.
#include "media/mpeg/demux.h"

#include <algorithm>

namespace mpeg {

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

bool SystemDemux::parsePacketHeader(size_t length) {
    // Header bytes are read only while they lie inside the packet; a header that does not fit
    // is reported and the rest of the packet skipped.
    size_t used = 0;
    auto next = [&](uint8_t& byte) {
        if (used >= length)
            return false;
        byte = getByte();
        ++used;
        return true;
    };
    auto fail = [&]() {
        diag_->message("Error in packet header\n");
        skipBytes(length - used);
        return false;
    };
    uint8_t b;
    if (!next(b))
        return true; // an empty packet
    size_t extra = 0;
    if ((b >> 6) == 2) {
        diag_->message("MPEG-2 PES packet\n");
        uint8_t flags, headerLength;
        if (!next(flags) || !next(headerLength))
            return fail();
        extra = headerLength;
    } else {
        while (b == 0xFF && used < 17) // stuffing
            if (!next(b))
                return fail();
        if ((b >> 6) == 1) { // STD buffer scale and size
            if (!next(b) || !next(b))
                return fail();
        }
        if ((b >> 4) == 2)
            extra = 4; // rest of the PTS
        else if ((b >> 4) == 3)
            extra = 9; // rest of PTS and DTS
        else if (b != 0x0F)
            return fail();
    }
    if (extra > length - used)
        return fail();
    skipBytes(extra);
    payloadLeft_ = length - used - extra;
    return true;
}

std::span<const uint8_t> SystemDemux::nextPayload() {
    for (;;) {
        if (endless_)
            return endOfDataBlock();
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
                parsePacketHeader(length);
            else
                skipBytes(length);
        } else {
            diag_->message("Unexpected startcode %08x in system layer\n", code);
        }
    }
}

} // namespace mpeg
