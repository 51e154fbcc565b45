// Frame stores, field pairing and reordering to display order: I and P frames are held back
// until the next reference frame arrives, B frames are written as soon as they are complete.
// Keeps no more than the two reference frames and one B frame. Also the concealment of the
// macroblocks a damaged picture did not reconstruct.
#include "media/mpeg/decoder_impl.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace mpeg {

void Plane::allocate(int w, int h, uint8_t fill) {
    width = w;
    height = h;
    stride = w;
    data_ = std::make_unique<uint8_t[]>(static_cast<size_t>(w) * h);
    std::memset(data_.get(), fill, static_cast<size_t>(w) * h);
}

bool DecoderState::allocateStores() {
    for (Frame& f : frames) {
        f.plane[0].allocate(codedWidth, codedHeight, 16);
        f.plane[1].allocate(chromaWidth, chromaHeight, 128);
        f.plane[2].allocate(chromaWidth, chromaHeight, 128);
        f.progressive_frame = 1;
    }
    forwardIndex = 0;
    backwardIndex = 1;
    auxIndex = 2;
    currentIndex = 1;
    haveStores = true;
    secondField = false;
    referenceFrames = 0;
    lastFrameIndex = -1;
    return true;
}

void DecoderState::macroblockRows(int c, int mbx, int mby, int& x, int& y, int& step, int& w,
                                  int& h) const {
    const bool subX = c > 0 && seq.chroma_format != 3;
    const bool subY = c > 0 && seq.chroma_format == 1;
    w = subX ? 8 : 16;
    h = subY ? 8 : 16;
    x = mbx * w;
    if (pic.picture_structure == kFramePicture) {
        y = mby * h;
        step = 1;
    } else {
        y = 2 * mby * h + (pic.picture_structure == kBottomField ? 1 : 0);
        step = 2;
    }
}

void DecoderState::concealMacroblock(int mbAddress) {
    const int mbx = mbAddress % mb_width, mby = mbAddress / mb_width;
    if (pic.spatial) { // the upsampled lower layer
        combineSpatial(mbx, mby, kWeightSpatial, kWeightSpatial);
        return;
    }
    if (referenceFrames == 0) { // nothing decoded before: mid-grey
        for (int c = 0; c < 3; ++c) {
            int x, y, step, w, h;
            macroblockRows(c, mbx, mby, x, y, step, w, h);
            Plane& p = frames[currentIndex].plane[c];
            for (int r = 0; r < h; ++r)
                std::memset(p.data() + (y + r * step) * p.stride + x, 128, static_cast<size_t>(w));
        }
        return;
    }
    // The co-located macroblock of the forward reference (for I pictures the previous reference
    // frame; for B pictures the mean of both references), from the field of the same parity in
    // field pictures.
    MacroblockMotion m;
    m.macroblock_type =
        pic.picture_coding_type == kBPicture ? kMbForward | kMbBackward : kMbForward;
    if (pic.picture_structure == kFramePicture) {
        m.motion_type = kMotionFrame;
    } else {
        m.motion_type = kMotionField;
        const int parity = pic.picture_structure == kBottomField ? 1 : 0;
        m.motion_vertical_field_select[0][0] = m.motion_vertical_field_select[0][1] = parity;
    }
    formPredictions(m, mbx, mby);
}

void DecoderState::concealMissingMacroblocks() {
    const uint8_t* done = mbDone.data();
    const size_t count = static_cast<size_t>(picMbCount);
    for (size_t a = 0; a < count; ++a) {
        const void* missing = std::memchr(done + a, 0, count - a);
        if (!missing)
            break;
        a = static_cast<size_t>(static_cast<const uint8_t*>(missing) - done);
        concealMacroblock(static_cast<int>(a));
    }
}

void DecoderState::startPicture() {
    for (auto& byMatrix : scanWeights)
        for (ScanWeights& w : byMatrix)
            w.scale = -1;
    const bool field = pic.picture_structure != kFramePicture;
    const bool reference = pic.picture_coding_type != kBPicture;
    if (secondField && (!field || pic.picture_structure == firstFieldStructure ||
                        reference != firstFieldIsReference)) {
        diag.message("odd number of field pictures\n");
        secondField = false;
    }
    decodingSecondField = secondField;
    if (!secondField) {
        if (reference) {
            std::swap(forwardIndex, backwardIndex);
            currentIndex = backwardIndex;
        } else {
            currentIndex = auxIndex;
        }
        firstFieldStructure = pic.picture_structure;
        firstFieldIsReference = reference;
        frames[currentIndex].progressive_frame = pic.progressive_frame;
    }
}

void DecoderState::endPicture() {
    if (pic.picture_structure != kFramePicture && !decodingSecondField) {
        secondField = true;
        return;
    }
    secondField = false;
    lastFrameIndex = currentIndex;
    if (firstFieldIsReference) {
        if (referenceFrames > 0)
            writeFrame(forwardIndex);
        ++referenceFrames;
    } else {
        writeFrame(auxIndex);
    }
}

void DecoderState::finish() {
    if (!haveStores)
        return;
    if (secondField) {
        diag.message("last frame incomplete, not stored\n");
        // The newest complete reference frame is still due.
        const int last = firstFieldIsReference ? forwardIndex : backwardIndex;
        if (referenceFrames > 0)
            writeFrame(last);
        secondField = false;
        return;
    }
    if (referenceFrames > 0)
        writeFrame(backwardIndex);
}

void DecoderState::writeFrame(int index) {
    const Frame& f = frames[index];
    FrameView view;
    view.chroma_format = seq.chroma_format;
    const int w = std::min(seq.horizontal_size, f.plane[0].width);
    const int h = std::min(seq.vertical_size, f.plane[0].height);
    const int cw = std::min(seq.chroma_format == 3 ? w : (w + 1) / 2, f.plane[1].width);
    const int ch = std::min(seq.chroma_format == 1 ? (h + 1) / 2 : h, f.plane[1].height);
    view.y = {f.plane[0].data(), f.plane[0].stride, w, h};
    view.cb = {f.plane[1].data(), f.plane[1].stride, cw, ch};
    view.cr = {f.plane[2].data(), f.plane[2].stride, cw, ch};
    ++framesWritten;
    if (frameCallback)
        frameCallback(view);
    if (outputEnabled && outputBuffer) {
        OutputParameters params;
        params.mpeg1 = !seq.mpeg2;
        params.progressive_frame = f.progressive_frame != 0;
        params.matrix_coefficients = seq.matrix_coefficients;
        outputStage.convert(view, params, outputBuffer, videoWidth, videoHeight, *kernels);
    }
}

} // namespace mpeg
