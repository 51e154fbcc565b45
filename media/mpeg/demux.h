// System layer: pulls the payload of video packets out of MPEG-1 system streams (packs and
// packets) and MPEG-2 program streams (PES). Pack headers, system headers and every packet that is
// not video are skipped; timing and buffer fields are not checked.
#pragma once

#include "media/mpeg/bitstream.h"
#include "media/mpeg/diagnostics.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace mpeg {

// Pulls the payload of video packets out of a system stream.
class SystemDemux {
public:
    void reset(BlockReader* blocks, Diagnostics* diag);
    // The next run of video elementary-stream bytes; never empty.
    std::span<const uint8_t> nextPayload();

private:
    uint8_t getByte();
    void skipBytes(size_t n);
    bool atEnd() const { return blocks_->pastEnd(pos_); }
    bool parsePacketHeader(size_t length);

    BlockReader* blocks_ = nullptr;
    Diagnostics* diag_ = nullptr;
    const uint8_t* block_ = nullptr;
    size_t pos_ = kBlockSize;
    size_t payloadLeft_ = 0;
    bool endless_ = false;
};

} // namespace mpeg
