// Frame stores, field pairing and reordering to display order: I and P frames are held back
// until the next reference frame arrives, B frames are written as soon as they are complete.
// Keeps no more than the two reference frames and one B frame.
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
    return true;
}

void DecoderState::startPicture() {
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
