// Scalable decoding (ISO/IEC 13818-2 clauses 7.7, 7.8 and 7.10) from two streams.
//
// SNR scalability and data partitioning: the base layer's state drives decoding; the second
// stream's state only reads, picture by picture in step with the base layer: its headers, and
// either the SNR enhancement macroblocks, whose coefficients are added to the base layer's before
// saturation, mismatch control and the inverse DCT, or partition 1, from which the base layer's
// macroblocks continue at the priority breakpoint (the two bit readers are swapped).
//
// Spatial scalability: the enhancement layer's state drives decoding and owns a complete decoder
// of the lower layer, advanced by one frame (a frame picture or a field pair) for each enhancement
// frame; both layers must code the same pictures in the same order. The lower-layer frame is
// deinterlaced where needed, upsampled vertically then horizontally by the subsampling factors
// and placed at the picture's lower-layer offsets; each macroblock then weighs this spatial
// prediction against its temporal one by its spatial_temporal_weight_code.
//
// Temporal scalability is not decoded ("temporal scalability not implemented"): the base layer
// decodes alone.
#include "media/mpeg/decoder_impl.h"
#include "media/mpeg/quantise.h"

#include <algorithm>
#include <cstring>

namespace mpeg {

namespace {
constexpr uint32_t kFirstSliceCode = 0x00000101;
constexpr uint32_t kLastSliceCode = 0x000001AF;

bool isSliceCode(uint32_t code) {
    return code >= kFirstSliceCode && code <= kLastSliceCode;
}
} // namespace

int DecoderState::scalability() const {
    if (lowerLayer)
        return kSpatialScalability;
    if (enhancement && seq.mpeg2 && seq.scalable_mode == kDataPartitioning)
        return kDataPartitioning;
    if (enhancement && enhancement->seq.scalable_mode == kSnrScalability)
        return kSnrScalability;
    return kNoScalability;
}

// ---- The second stream of SNR scalability and data partitioning ------------------------------

void DecoderState::skipSlices() {
    for (;;) {
        const uint32_t code = bs.nextStartCode();
        if (!isSliceCode(code))
            return;
        bs.skip(32);
    }
}

void DecoderState::enhancementNextPicture() {
    DecoderState& e = *enhancement;
    enhancementInStep = false;
    if (e.ended)
        return;
    e.skipSlices(); // whatever the previous picture did not use
    if (!e.readPictureHeaders()) {
        e.ended = true;
        return;
    }
    enhancementInStep = e.pic.picture_coding_type == pic.picture_coding_type &&
                        e.pic.picture_structure == pic.picture_structure &&
                        e.mb_width == mb_width && e.mb_height == mb_height &&
                        e.seq.chroma_format == seq.chroma_format;
    if (!enhancementInStep)
        diag.message("Cant't synchronize streams\n");
}

bool DecoderState::startPartition1Slice(uint32_t sliceCode) {
    if (!enhancementInStep) {
        diag.message("DP: Premature end of picture\n");
        return false;
    }
    BitReader& r = enhancement->bs; // partition 1 while partition 0 is active
    for (;;) {
        const uint32_t code = r.nextStartCode();
        if (!isSliceCode(code)) {
            diag.message("DP: Premature end of picture\n");
            return false;
        }
        if (code > sliceCode) { // partition 0 has a slice partition 1 lacks
            diag.message("Cant't synchronize streams\n");
            return false;
        }
        r.skip(32);
        if (code == sliceCode)
            break;
        // partition 1 has a slice partition 0 lacks: skip it
    }
    // Partition 1's own slice header; its quantiser_scale_code repeats partition 0's. (get, not
    // skip: skip needs bits already in the reader's cache.)
    const DecoderState& e = *enhancement;
    if (e.seq.vertical_size > 2800)
        r.get(3);
    if (e.seq.mpeg2 && e.seq.scalable_mode == kDataPartitioning)
        r.get(7); // priority_breakpoint, 0 in partition 1
    r.get(5);
    if (r.get(1)) {
        r.get(8);
        while (r.get(1))
            r.get(8);
    }
    return true;
}

// ---- SNR enhancement layer (called on the enhancement layer's state) -------------------------

void DecoderState::snrStartPicture() {
    picMbRows = pic.picture_structure == kFramePicture ? mb_height : mb_height / 2;
    picMbCount = mb_width * picMbRows;
    snrAddress = kSnrUnknown;
    snrReportedEnd = false;
}

void DecoderState::snrNextSlice() {
    for (;;) {
        const uint32_t code = bs.nextStartCode();
        if (!isSliceCode(code)) {
            snrAddress = kSnrNone;
            return;
        }
        bs.skip(32);
        int row = static_cast<int>(code & 0xFF) - 1;
        if (seq.vertical_size > 2800)
            row += static_cast<int>(bs.get(3)) << 7;
        if (seq.mpeg2 && seq.scalable_mode == kDataPartitioning)
            bs.get(7);
        setQuantiserScale(static_cast<int>(bs.get(5)));
        sliceHeaderTail();
        int increment;
        if (row >= picMbRows) {
            diag.message("Too many macroblocks in picture\n");
            continue;
        }
        if (!macroblockAddressIncrement(increment)) {
            diag.message("start_of_slice(): MBAinc unsuccessful\n");
            continue;
        }
        snrAddress = row * mb_width + increment - 1;
        return;
    }
}

void DecoderState::snrAdvance() {
    if (bs.show(23) == 0) { // the slice is complete
        snrNextSlice();
        return;
    }
    int increment;
    if (!macroblockAddressIncrement(increment)) {
        diag.message("Invalid macroblock_address_increment code\n");
        snrNextSlice();
        return;
    }
    snrAddress += increment;
}

// One macroblock of the SNR enhancement layer (Table B.8): its blocks are non-intra blocks of this
// layer's quantiser, matrices and scan, read into sumBlock (kept only when keep is set).
bool DecoderState::snrReadMacroblock(bool keep, uint32_t& codedMask, int& dct_type) {
    codedMask = 0;
    const VlcEntry te = vlc.macroblockTypeSnr.lookup(bs.peek32());
    if (te.length == 0) {
        diag.message("Invalid macroblock_type code\n");
        return false;
    }
    bs.skip(te.length);
    const int type = te.value;
    if (pic.picture_structure == kFramePicture && !pic.frame_pred_frame_dct && (type & kMbPattern))
        dct_type = static_cast<int>(bs.get(1));
    if (type & kMbQuant)
        setQuantiserScale(static_cast<int>(bs.get(5)));
    int cbp = 0;
    if (type & kMbPattern) {
        if (!codedBlockPattern(cbp))
            return false;
    }
    codedMask = static_cast<uint32_t>(cbp);
    if (cbp == 0)
        return true;
    const bool ok = readSummedBlocks(cbp);
    if (!ok || !keep) {
        std::memset(sumBlock, 0, sizeof sumBlock);
        codedMask = 0;
    }
    return ok;
}

bool DecoderState::snrMacroblock(int mbAddress, uint32_t& codedMask, int& dct_type) {
    codedMask = 0;
    if (snrAddress == kSnrUnknown)
        snrNextSlice();
    while (snrAddress < mbAddress) {
        // The enhancement layer codes a macroblock the base layer has passed: step over it.
        diag.message("Cant't synchronize streams\n");
        uint32_t mask;
        int ignored = 0;
        if (snrReadMacroblock(false, mask, ignored))
            snrAdvance();
        else
            snrNextSlice();
    }
    if (snrAddress != mbAddress) {
        if (snrAddress == kSnrNone && !snrReportedEnd) {
            diag.message("SNR: Premature end of picture\n");
            snrReportedEnd = true;
        }
        return false; // not coded in the enhancement layer
    }
    int enhancementDctType = dct_type;
    if (!snrReadMacroblock(true, codedMask, enhancementDctType)) {
        snrNextSlice(); // resynchronise at the next slice
        return false;
    }
    if (codedMask != 0)
        dct_type = enhancementDctType;
    snrAdvance();
    return true;
}

void DecoderState::snrReconstruct(int mbAddress, uint32_t baseCoded, bool intra, int dct_type) {
    DecoderState& e = *enhancement;
    uint32_t enhancementCoded = 0;
    e.snrMacroblock(mbAddress, enhancementCoded, dct_type);
    const uint32_t coded = baseCoded | enhancementCoded;
    if (coded == 0)
        return;
    const int mbx = mbAddress % mb_width, mby = mbAddress / mb_width;
    for (int n = 0; n < blockCount; ++n) {
        const uint32_t bit = 1u << (blockCount - 1 - n);
        if (!(coded & bit))
            continue;
        int32_t* sum = sumBlock[n];
        if (enhancementCoded & bit) {
            const int32_t* add = e.sumBlock[n];
            for (int k = 0; k < 64; ++k)
                sum[k] += add[k];
            std::memset(e.sumBlock[n], 0, sizeof e.sumBlock[n]);
        }
        saturateSum(sum, block[n]);
        std::memset(sum, 0, sizeof sumBlock[n]);
        uint8_t* dst;
        ptrdiff_t stride;
        blockDestination(n, mbx, mby, dct_type, dst, stride);
        (intra ? kernels->idctPut : kernels->idctAdd)(block[n], dst, stride);
    }
}

// ---- Spatial scalability (called on the enhancement layer's state) ---------------------------

void DecoderState::advanceLowerLayer() {
    DecoderState& l = *lowerLayer;
    // One frame: a frame picture or both fields of a field pair.
    for (int k = 0; k < 2; ++k) {
        if (!l.decodePicture() || !l.secondField)
            break;
    }
    // A lower layer that has grown beyond this layer (a new sequence header) is dropped: it is
    // no spatial scalability, and would cost more than the pictures handed out.
    if (l.codedWidth > codedWidth || l.codedHeight > codedHeight) {
        diag.message("lower layer larger than its spatial enhancement layer\n");
        diag.count += l.diag.count; // keep its reports counted
        lowerLayer.reset();
    }
}

namespace {

// Lower-layer frame with the lines of one field kept and those of the other field interpolated
// (clause 7.7.3.x deinterlacing): from the same field above and below, or with the two-field
// aperture also from the other field.
void deinterlace(const Plane& src, Plane& dst, int field, int w, int h, bool oneFieldAperture) {
    const ptrdiff_t ss = src.stride, ds = dst.stride;
    const uint8_t* s = src.data();
    uint8_t* d = dst.data();
    for (int j = 0; j < h; ++j) {
        const uint8_t* row = s + j * ss;
        uint8_t* out = d + j * ds;
        if ((j & 1) == field) {
            std::memcpy(out, row, static_cast<size_t>(w));
            continue;
        }
        const int ja = std::clamp(j == 0 ? j + 1 : j - 1, 0, h - 1);
        const int jb = std::clamp(j == h - 1 ? j - 1 : j + 1, 0, h - 1);
        const uint8_t* above = s + ja * ss;
        const uint8_t* below = s + jb * ss;
        if (oneFieldAperture) {
            for (int i = 0; i < w; ++i)
                out[i] = static_cast<uint8_t>((above[i] + below[i] + 1) >> 1);
        } else {
            const uint8_t* up2 = j < 2 ? row : s + (j - 2) * ss;
            const uint8_t* down2 = j >= h - 2 ? row : s + (j + 2) * ss;
            for (int i = 0; i < w; ++i) {
                const int v = 8 * (above[i] + below[i]) + 2 * row[i] - up2[i] - down2[i];
                out[i] = static_cast<uint8_t>(std::clamp((v + (v >= 0 ? 8 : 7)) >> 4, 0, 255));
            }
        }
    }
}

struct Resampling {
    int m, n; // lower-layer samples = this layer's samples * m / n
    // For output sample k: lower sample index and the weight (out of 16) of the next one.
    void at(int k, int size, int& index, int& next, int& weight) const {
        index = (k * m) / n;
        next = index < size - 1 ? index + 1 : index;
        weight = (16 * ((k * m) % n) + (n >> 1)) / n;
    }
};

// Upsamples the w x h lower-layer plane held in sources (by field parity of the upsampled row
// when sources differ) into dst, the upsampled picture's top-left at (x0, y0); samples outside
// it are mid-grey.
void upsample(const Plane* sources[2], int w, int h, Plane& dst, int x0, int y0,
              const Resampling& horizontal, const Resampling& vertical,
              std::vector<int16_t>& rowBuffer) {
    const int upW = static_cast<int>((int64_t{w} * horizontal.n) / horizontal.m);
    const int upH = static_cast<int>((int64_t{h} * vertical.n) / vertical.m);
    rowBuffer.resize(static_cast<size_t>(w));
    int16_t* tmp = rowBuffer.data();
    for (int y = 0; y < dst.height; ++y) {
        uint8_t* out = dst.data() + y * dst.stride;
        const int j = y - y0;
        if (j < 0 || j >= upH) {
            std::memset(out, 128, static_cast<size_t>(dst.width));
            continue;
        }
        const Plane& src = *sources[j & 1];
        int jd, jn, wv;
        vertical.at(j, h, jd, jn, wv);
        const uint8_t* s1 = src.data() + jd * src.stride;
        const uint8_t* s2 = src.data() + jn * src.stride;
        for (int i = 0; i < w; ++i)
            tmp[i] = static_cast<int16_t>((16 - wv) * s1[i] + wv * s2[i]);
        for (int x = 0; x < dst.width; ++x) {
            const int i = x - x0;
            if (i < 0 || i >= upW) {
                out[x] = 128;
                continue;
            }
            int id, in, wh;
            horizontal.at(i, w, id, in, wh);
            const int v = (16 - wh) * tmp[id] + wh * tmp[in];
            out[x] = static_cast<uint8_t>(std::clamp((v + 128) >> 8, 0, 255));
        }
    }
}

} // namespace

void DecoderState::formSpatialPrediction() {
    for (int c = 0; c < 3; ++c) {
        const int w = c == 0 ? codedWidth : chromaWidth, h = c == 0 ? codedHeight : chromaHeight;
        if (spatialPrediction.plane[c].width != w || spatialPrediction.plane[c].height != h)
            spatialPrediction.plane[c].allocate(w, h, 128);
    }
    spatialReady = true;
    const DecoderState* l = lowerLayer.get();
    const Frame* lower =
        l && l->haveStores && l->lastFrameIndex >= 0 ? &l->frames[l->lastFrameIndex] : nullptr;
    const Resampling horizontal{seq.horizontal_subsampling_factor_m,
                                seq.horizontal_subsampling_factor_n};
    const Resampling vertical{seq.vertical_subsampling_factor_m, seq.vertical_subsampling_factor_n};
    if (lower && (horizontal.m <= 0 || horizontal.n <= 0 || vertical.m <= 0 || vertical.n <= 0)) {
        diag.message("invalid subsampling factors of the lower layer\n");
        lower = nullptr;
    }
    if (lower && l->pic.temporal_reference != pic.lower_layer_temporal_reference)
        diag.message("Cant't synchronize streams\n");
    std::vector<int16_t> rowBuffer;
    for (int c = 0; c < 3; ++c) {
        Plane& dst = spatialPrediction.plane[c];
        if (!lower) {
            std::memset(dst.data(), 128, static_cast<size_t>(dst.width) * dst.height);
            continue;
        }
        const bool subX = c > 0 && seq.chroma_format != 3;
        const bool subY = c > 0 && seq.chroma_format == 1;
        const Plane& src = lower->plane[c];
        const int w = std::min(seq.lower_layer_prediction_horizontal_size >> subX, src.width);
        const int h = std::min(seq.lower_layer_prediction_vertical_size >> subY, src.height);
        if (w <= 0 || h <= 0) {
            std::memset(dst.data(), 128, static_cast<size_t>(dst.width) * dst.height);
            continue;
        }
        const int x0 =
            subX ? pic.lower_layer_horizontal_offset / 2 : pic.lower_layer_horizontal_offset;
        const int y0 = subY ? pic.lower_layer_vertical_offset / 2 : pic.lower_layer_vertical_offset;
        const Plane* sources[2] = {&src, &src};
        if (!pic.lower_layer_progressive_frame) {
            // An interlaced lower-layer frame: for a progressive picture one field,
            // deinterlaced; for an interlaced one each field deinterlaced, the upsampled rows
            // of each parity from their own field. Chroma and field pictures use the one-field
            // aperture.
            const bool oneField = c > 0 || pic.picture_structure != kFramePicture;
            const int first = pic.progressive_frame ? pic.lower_layer_deinterlaced_field_select : 0;
            const int last = pic.progressive_frame ? first : 1;
            for (int f = first; f <= last; ++f) {
                Plane& p = lowerFields[f].plane[c];
                if (p.width != src.width || p.height != src.height)
                    p.allocate(src.width, src.height, 128);
                deinterlace(src, p, f, w, h, oneField);
                sources[f] = &p;
            }
            if (pic.progressive_frame)
                sources[1 - first] = sources[first];
        }
        upsample(sources, w, h, dst, x0, y0, horizontal, vertical, rowBuffer);
    }
}

void DecoderState::combineSpatial(int mbx, int mby, int top, int bottom) {
    if (!spatialReady)
        formSpatialPrediction();
    const bool framePicture = pic.picture_structure == kFramePicture;
    Frame& cur = frames[currentIndex];
    for (int c = 0; c < 3; ++c) {
        int x, y, step, w, h;
        macroblockRows(c, mbx, mby, x, y, step, w, h);
        Plane& dp = cur.plane[c];
        const Plane& sp = spatialPrediction.plane[c];
        for (int r = 0; r < h; ++r) {
            const int row = y + r * step;
            // Frame pictures weigh each field; field pictures use the first weight.
            const int weight = framePicture && (row & 1) ? bottom : top;
            uint8_t* d = dp.data() + row * dp.stride + x;
            const uint8_t* s = sp.data() + row * sp.stride + x;
            if (weight == kWeightSpatial)
                std::memcpy(d, s, static_cast<size_t>(w));
            else if (weight == kWeightHalf)
                for (int i = 0; i < w; ++i)
                    d[i] = static_cast<uint8_t>((d[i] + s[i] + 1) >> 1);
        }
    }
}

} // namespace mpeg
