// MpegDecoder: opening (stream type detection, first sequence header, the optional second stream
// of a scalable pair), the picture loop and closing. Settings survive re-opening except the output
// buffer, which belongs to one stream's picture size; all stream state is rebuilt by every open().
#include "media/mpeg/decoder.h"

#include "media/mpeg/decoder_impl.h"

#include <cstdio>

namespace mpeg {

DecoderState::DecoderState() : vlc(vlcTables()), kernels(&fastKernels()) {}

void DecoderState::resetInput() {
    blocks.reset(source.get());
    demux.reset(&blocks, &diag);
    bs.reset(&blocks, systemStream ? &demux : nullptr);
}

bool DecoderState::decodePicture() {
    if (!isOpen || ended)
        return false;
    for (;;) {
        if (!readPictureHeaders()) {
            ended = true;
            return false;
        }
        if (enhancement)
            enhancementNextPicture();
        const int type = pic.picture_coding_type;
        const bool decodable = type == kIPicture || type == kPPicture || type == kBPicture ||
                               (type == kDPicture && !seq.mpeg2);
        if (haveStores && decodable)
            break;
    }
    ++pictureCount;
    startPicture();
    if (!decodingSecondField) {
        spatialReady = false; // formed from the next lower-layer frame when first needed
        if (lowerLayer)
            advanceLowerLayer();
    }
    decodeSlices();
    endPicture();
    return true;
}

namespace {

constexpr uint32_t kPackStartCode = 0x000001BA;
constexpr uint32_t kVideoPacketStartCode = 0x000001E0;

// What the user set on the decoder, carried over when the stream state is rebuilt.
struct Settings {
    bool quiet = true;
    bool referenceIdct = false;
    bool plainKernels = false;
    std::function<void(const FrameView&)> frameCallback;
};

// The layers a state links to: the enhancement reader or the lower-layer decoder.
template <typename State, typename F> void forEachLayer(State& s, F&& f) {
    f(s);
    if (s.enhancement)
        forEachLayer(*s.enhancement, f);
    if (s.lowerLayer)
        forEachLayer(*s.lowerLayer, f);
}

void applySettings(DecoderState& s, const Settings& keep) {
    forEachLayer(s, [&](DecoderState& l) {
        l.diag.quiet = keep.quiet;
        l.referenceIdct = keep.referenceIdct;
        l.forcePlainKernels = keep.plainKernels;
        l.chooseKernels();
    });
    s.frameCallback = keep.frameCallback;
}

Settings capture(const DecoderState& s) {
    Settings k;
    k.quiet = s.diag.quiet;
    k.referenceIdct = s.referenceIdct;
    k.plainKernels = s.forcePlainKernels;
    k.frameCallback = s.frameCallback;
    return k;
}

std::unique_ptr<DecoderState> freshState(const Settings& keep) {
    auto s = std::make_unique<DecoderState>();
    applySettings(*s, keep);
    return s;
}

int openSource(DecoderState& s, std::unique_ptr<ByteSource> source) {
    s.source = std::move(source);
    uint8_t head[4] = {};
    const size_t n = s.source->read(head, sizeof head);
    const uint32_t code = n == 4 ? (uint32_t{head[0]} << 24) | (uint32_t{head[1]} << 16) |
                                       (uint32_t{head[2]} << 8) | head[3]
                                 : 0;
    s.systemStream = code == kPackStartCode || code == kVideoPacketStartCode;
    s.source->rewind();
    s.resetInput();
    s.isOpen = true;
    if (!s.readSequenceStart()) {
        s.ended = true;
        return 0;
    }
    s.videoWidth = s.seq.horizontal_size;
    s.videoHeight = s.seq.vertical_size;
    return s.videoWidth;
}

// Opens a base layer and, when there is one, the second stream of a scalable pair; returns the
// state that drives decoding: the base layer's for SNR scalability and data partitioning (the
// enhancement layer's reader hangs off it), the enhancement layer's for spatial scalability (the
// lower-layer decoder hangs off it). A second stream that is not a usable enhancement layer is
// dropped and the base layer decodes alone.
std::unique_ptr<DecoderState> openLayers(const Settings& keep, std::unique_ptr<ByteSource> base,
                                         std::unique_ptr<ByteSource> second) {
    std::unique_ptr<DecoderState> b = freshState(keep);
    if (openSource(*b, std::move(base)) == 0 || !second)
        return b;
    std::unique_ptr<DecoderState> e = freshState(keep);
    e->headersOnly = true;
    // The base layer alone, keeping count of what the dropped stream reported.
    auto baseAlone = [&](const char* why) {
        b->diag.count += e->diag.count;
        b->diag.message("%s", why);
        return std::move(b);
    };
    if (openSource(*e, std::move(second)) == 0)
        return baseAlone("enhancement layer has no sequence header, decoding the base layer\n");
    const int mode =
        b->seq.scalable_mode == kDataPartitioning ? kDataPartitioning : e->seq.scalable_mode;
    switch (mode) {
    case kSpatialScalability: {
        // The lower layer is the smaller picture: anything else is no spatial scalability.
        if (b->seq.horizontal_size > e->seq.horizontal_size ||
            b->seq.vertical_size > e->seq.vertical_size)
            return baseAlone("lower layer larger than its spatial enhancement layer\n");
        e->headersOnly = false;
        e->allocateStores();
        e->lowerLayer = std::move(b);
        return e;
    }
    case kSnrScalability:
        if (e->mb_width != b->mb_width || e->mb_height != b->mb_height ||
            e->seq.chroma_format != b->seq.chroma_format)
            return baseAlone("Cant't synchronize streams\n");
        b->enhancement = std::move(e);
        return b;
    case kDataPartitioning:
        b->enhancement = std::move(e);
        return b;
    case kTemporalScalability: // "temporal scalability not implemented" was reported
        return baseAlone("decoding the base layer of a temporally scalable pair\n");
    default:
        return baseAlone("second stream is no enhancement layer, decoding the base layer\n");
    }
}

std::string notFound(const char* format, const char* path) {
    char text[512];
    std::snprintf(text, sizeof text, format, path ? path : "(null)");
    return text;
}
} // namespace

MpegDecoder::MpegDecoder() : state_(std::make_unique<DecoderState>()) {}
MpegDecoder::~MpegDecoder() = default;

int MpegDecoder::open(const char* path) {
    return open(path, nullptr);
}

int MpegDecoder::open(const char* path, const char* enhancementPath) {
    const Settings keep = capture(*state_);
    std::unique_ptr<FileSource> source = FileSource::open(path);
    if (!source) {
        state_ = freshState(keep);
        state_->errorText = notFound("Base layer input file %s not found\n", path);
        return 0;
    }
    std::unique_ptr<FileSource> second;
    std::string error;
    if (enhancementPath) {
        second = FileSource::open(enhancementPath);
        if (!second)
            error = notFound("enhancment layer bitstream file %s not found\n", enhancementPath);
    }
    state_ = openLayers(keep, std::move(source), std::move(second));
    if (!error.empty()) {
        state_->diag.message("%s", error.c_str());
        state_->errorText = error;
    }
    return state_->videoWidth;
}

int MpegDecoder::openMemory(std::span<const uint8_t> data) {
    const Settings keep = capture(*state_);
    state_ = openLayers(keep, std::make_unique<MemorySource>(data), nullptr);
    return state_->videoWidth;
}

int MpegDecoder::openMemory(std::span<const uint8_t> data, std::span<const uint8_t> enhancement) {
    const Settings keep = capture(*state_);
    state_ = openLayers(keep, std::make_unique<MemorySource>(data),
                        std::make_unique<MemorySource>(enhancement));
    return state_->videoWidth;
}

void MpegDecoder::close() {
    DecoderState& s = *state_;
    if (s.isOpen)
        s.finish();
    const Settings keep = capture(s);
    const int written = s.framesWritten;
    const int diagnostics = diagnosticCount();
    const std::string error = s.errorText;
    state_ = freshState(keep);
    // What happened to the stream stays readable after closing it.
    state_->framesWritten = written;
    state_->diag.count = diagnostics;
    state_->errorText = error;
}

int MpegDecoder::decodeNextPicture() {
    return state_->decodePicture() ? 0 : 1;
}

void MpegDecoder::setOutput(uint32_t* buffer, bool enable) {
    state_->outputBuffer = buffer;
    state_->outputEnabled = enable;
}

void MpegDecoder::setFrameCallback(std::function<void(const FrameView&)> callback) {
    state_->frameCallback = std::move(callback);
}

void MpegDecoder::setQuiet(bool quiet) {
    forEachLayer(*state_, [&](DecoderState& l) { l.diag.quiet = quiet; });
}

void MpegDecoder::setReferenceIdct(bool reference) {
    forEachLayer(*state_, [&](DecoderState& l) {
        l.referenceIdct = reference;
        l.chooseKernels();
    });
}

void MpegDecoder::setPlainKernels(bool plain) {
    forEachLayer(*state_, [&](DecoderState& l) {
        l.forcePlainKernels = plain;
        l.chooseKernels();
    });
}

int MpegDecoder::videoWidth() const {
    return state_->videoWidth;
}
int MpegDecoder::videoHeight() const {
    return state_->videoHeight;
}
int MpegDecoder::chromaFormat() const {
    return state_->seq.chroma_format;
}
bool MpegDecoder::isSystemStream() const {
    return state_->systemStream;
}
bool MpegDecoder::isMpeg2() const {
    return state_->seq.mpeg2;
}
int MpegDecoder::framesWritten() const {
    return state_->framesWritten;
}
int MpegDecoder::diagnosticCount() const {
    int count = 0;
    forEachLayer(*state_, [&](const DecoderState& l) { count += l.diag.count; });
    return count;
}
int MpegDecoder::scalability() const {
    return state_->scalability();
}
const std::string& MpegDecoder::errorText() const {
    return state_->errorText;
}

} // namespace mpeg
