// MpegDecoder: opening (stream type detection, first sequence header), the picture loop and
// closing. Settings survive re-opening except the output buffer, which belongs to one stream's
// picture size; all stream state is rebuilt by every open().
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

namespace {

constexpr uint32_t kPackStartCode = 0x000001BA;
constexpr uint32_t kVideoPacketStartCode = 0x000001E0;

// What the user set on the decoder, carried over when the stream state is rebuilt.
struct Settings {
    bool quiet = true;
    bool referenceIdct = false;
    std::function<void(const FrameView&)> frameCallback;
};

void applySettings(DecoderState& s, const Settings& keep) {
    s.diag.quiet = keep.quiet;
    s.kernels = keep.referenceIdct ? &referenceKernels() : &fastKernels();
    s.frameCallback = keep.frameCallback;
}

Settings capture(const DecoderState& s) {
    Settings k;
    k.quiet = s.diag.quiet;
    k.referenceIdct = s.kernels == &referenceKernels();
    k.frameCallback = s.frameCallback;
    return k;
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
} // namespace

MpegDecoder::MpegDecoder() : state_(std::make_unique<DecoderState>()) {}
MpegDecoder::~MpegDecoder() = default;

int MpegDecoder::open(const char* path) {
    const Settings keep = capture(*state_);
    state_ = std::make_unique<DecoderState>();
    applySettings(*state_, keep);
    std::unique_ptr<FileSource> source = FileSource::open(path);
    if (!source) {
        char text[512];
        std::snprintf(text, sizeof text, "Base layer input file %s not found\n",
                      path ? path : "(null)");
        state_->errorText = text;
        return 0;
    }
    return openSource(*state_, std::move(source));
}

int MpegDecoder::openMemory(std::span<const uint8_t> data) {
    const Settings keep = capture(*state_);
    state_ = std::make_unique<DecoderState>();
    applySettings(*state_, keep);
    return openSource(*state_, std::make_unique<MemorySource>(data));
}

void MpegDecoder::close() {
    DecoderState& s = *state_;
    if (s.isOpen)
        s.finish();
    const Settings keep = capture(s);
    const int written = s.framesWritten;
    const int diagnostics = s.diag.count;
    const std::string error = s.errorText;
    state_ = std::make_unique<DecoderState>();
    applySettings(*state_, keep);
    // What happened to the stream stays readable after closing it.
    state_->framesWritten = written;
    state_->diag.count = diagnostics;
    state_->errorText = error;
}

int MpegDecoder::decodeNextPicture() {
    DecoderState& s = *state_;
    if (!s.isOpen || s.ended)
        return 1;
    for (;;) {
        if (!s.readPictureHeaders()) {
            s.ended = true;
            return 1;
        }
        const int type = s.pic.picture_coding_type;
        const bool decodable = type == kIPicture || type == kPPicture || type == kBPicture ||
                               (type == kDPicture && !s.seq.mpeg2);
        if (s.haveStores && decodable)
            break;
    }
    ++s.pictureCount;
    s.startPicture();
    s.decodeSlices();
    s.endPicture();
    return 0;
}

void MpegDecoder::setOutput(uint32_t* buffer, bool enable) {
    state_->outputBuffer = buffer;
    state_->outputEnabled = enable;
}

void MpegDecoder::setFrameCallback(std::function<void(const FrameView&)> callback) {
    state_->frameCallback = std::move(callback);
}

void MpegDecoder::setQuiet(bool quiet) {
    state_->diag.quiet = quiet;
}

void MpegDecoder::setReferenceIdct(bool reference) {
    state_->kernels = reference ? &referenceKernels() : &fastKernels();
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
    return state_->diag.count;
}
const std::string& MpegDecoder::errorText() const {
    return state_->errorText;
}

} // namespace mpeg
