// Slices, macroblocks and blocks: macroblock modes, motion vectors, coded block pattern and
// coefficient decoding with inverse quantisation, then reconstruction into the frame store.
// Any syntax error abandons the slice; the caller resynchronises at the next start code, and the
// macroblocks the slice did not reconstruct are concealed when the picture ends. The scalable
// variants hook in here: data partitioning switches the bit reader between the partitions at the
// priority breakpoint, SNR scalability sums the coefficients of both layers before the inverse
// DCT, and spatial scalability picks its macroblock_type tables and weights the prediction.
#include "media/mpeg/decoder_impl.h"
#include "media/mpeg/quantise.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace mpeg {

namespace {

// How a block's coefficients are read: plainly; with data partitioning (the reader switches to
// partition 1 at the priority breakpoint); or for SNR scalability (int32, no saturation and no
// mismatch control: both layers are summed first).
enum BlockMode { kPlain, kPartitioned, kSummed };

template <int Mode> using Coefficient = std::conditional_t<Mode == kSummed, int32_t, int16_t>;

struct BlockNames {
    const char* function;
    const char* index;
};

template <bool Intra, bool Mpeg2> constexpr BlockNames blockNames() {
    if constexpr (Mpeg2)
        return Intra ? BlockNames{"Decode_MPEG2_Intra_Block", "intra2"}
                     : BlockNames{"Decode_MPEG2_Non_Intra_Block", "inter2"};
    else
        return Intra ? BlockNames{"Decode_MPEG1_Intra_Block", "intra"}
                     : BlockNames{"Decode_MPEG1_Non_Intra_Block", "inter"};
}

inline void dcPut(int16_t* blk, uint8_t* dst, ptrdiff_t stride) {
    const uint8_t v = static_cast<uint8_t>(std::clamp((blk[0] + 4) >> 3, 0, 255));
    blk[0] = 0;
    for (int r = 0; r < 8; ++r, dst += stride)
        std::memset(dst, v, 8);
}

inline void dcAdd(int16_t* blk, uint8_t* dst, ptrdiff_t stride) {
    const int v = (blk[0] + 4) >> 3;
    blk[0] = 0;
    for (int r = 0; r < 8; ++r, dst += stride)
        for (int c = 0; c < 8; ++c)
            dst[c] = static_cast<uint8_t>(std::clamp(dst[c] + v, 0, 255));
}

// What a block read holds beyond the DC term: nothing; other coefficients; or only the 1 that
// MPEG-2 mismatch control put in the last position.
enum BlockContent { kDcOnly, kCoded, kDcAndLast };

// Reads one block's coefficients into blk (raster order, dequantised) and tells what it holds.
template <bool Intra, bool Mpeg2, int Mode, typename Reader>
bool readBlockWith(DecoderState& d, Reader& bs, int cc, Coefficient<Mode>* blk,
                   BlockContent& content, bool dcOnly) {
    constexpr BlockNames names = blockNames<Intra, Mpeg2>();
    // Data partitioning: partition 0 holds the DC term of intra blocks and the first
    // priority_breakpoint - 64 (run, level) pairs when the breakpoint is 64 or more; the rest of
    // the block, its end_of_block included, is in partition 1.
    int pairs = 0, pairsInPartition0 = -1;
    if constexpr (Mode == kPartitioned) {
        const int breakpoint = d.slice.priority_breakpoint;
        d.usePartition(breakpoint >= 64 ? 0 : 1);
        if (breakpoint >= 64)
            pairsInPartition0 = breakpoint - 64;
    }
    const bool chromaMatrix = cc != 0 && d.seq.chroma_format != 1;
    const int qs = d.slice.quantiser_scale;
    // The plain path keeps its tables across blocks; the scalable modes make them per block.
    DecoderState::ScanWeights local;
    DecoderState::ScanWeights& sw = Mode == kPlain ? d.scanWeights[Intra][chromaMatrix] : local;
    if (sw.scale != qs) {
        const uint8_t* scan = kScan[d.pic.alternate_scan];
        const uint8_t* W;
        if constexpr (Intra)
            W = chromaMatrix ? d.seq.chroma_intra_quantiser_matrix : d.seq.intra_quantiser_matrix;
        else
            W = chromaMatrix ? d.seq.chroma_non_intra_quantiser_matrix
                             : d.seq.non_intra_quantiser_matrix;
        for (int k = 0; k < 64; ++k) {
            sw.at[k].position = scan[k];
            sw.at[k].weight = static_cast<uint16_t>(W[scan[k]] * qs);
        }
        sw.scale = qs;
    }
    const DecoderState::ScanWeights::Entry* at = sw.at;
    const bool table1 = Intra && d.pic.intra_vlc_format;
    const VlcEntry* table = (table1 ? d.vlc.dctCoefficients1 : d.vlc.dctCoefficients0).entries();
    const VlcTables::DctFastTables& fast = d.vlc.dctFast[table1];
    int i;
    int sum = 0;
    if constexpr (Intra) {
        const uint32_t bits = bs.peek32();
        const VlcEntry e = cc == 0 ? VlcTable::lookupIn<kDctDcSizeLuminanceBits>(
                                         d.vlc.dctDcSizeLuminance.entries(), bits)
                                   : VlcTable::lookupIn<kDctDcSizeChrominanceBits>(
                                         d.vlc.dctDcSizeChrominance.entries(), bits);
        if (e.length == 0) {
            d.diag.message("invalid Huffman code in %s()\n", names.function);
            return false;
        }
        bs.skip(e.length);
        int diff = 0;
        if (e.value > 0) {
            const int size = e.value;
            diff = static_cast<int>(bs.get(size));
            if ((diff >> (size - 1)) == 0)
                diff -= (1 << size) - 1;
        }
        int& pred = d.slice.dc_dct_pred[cc];
        pred = std::clamp(pred + diff, -(1 << 16), 1 << 16);
        const int shift = Mpeg2 ? 3 - d.pic.intra_dc_precision : 3;
        int dc = pred * (1 << shift);
        if (Mode != kSummed || !Mpeg2)
            dc = std::clamp(dc, kCoefficientMin, kCoefficientMax);
        blk[0] = static_cast<Coefficient<Mode>>(dc);
        sum = dc;
        i = 0;
        if (dcOnly) { // D pictures: no AC coefficients and no end of block
            content = kDcOnly;
            return true;
        }
    } else {
        i = -1;
    }
    // Dequantises the coefficient at scan index i into the block.
    auto place = [&](int magnitude, int negative) {
        const int val =
            Mode == kSummed
                ? dequantiseArithmeticSigned<Intra, Mpeg2>(magnitude, negative, at[i].weight)
                : dequantiseSigned<Intra, Mpeg2>(magnitude, negative, at[i].weight);
        blk[at[i].position] = static_cast<Coefficient<Mode>>(val);
        sum += val;
    };
    constexpr bool firstApart = !Intra && Mode != kPartitioned;
    if constexpr (firstApart) {
        // "1s": the first coefficient of a non-intra block
        bs.ensure32();
        const uint64_t c = bs.cache();
        if (c >> 63) {
            i = 0;
            place(1, static_cast<int>((c >> 62) & 1));
            bs.skip(2);
        }
    }
    // One (run, level) pair or the end of the block; at least 32 bits are in the cache.
    enum Step { kNext, kEnd, kError };
    auto step = [&]() {
        if constexpr (Mode == kPartitioned) {
            if (pairs == pairsInPartition0) {
                d.usePartition(1);
                bs.ensure32();
            }
        }
        const uint64_t c = bs.cache();
        int run, magnitude, negative;
        if (!Intra && !firstApart && i < 0 && (c >> 63)) {
            // "1s": the first coefficient of a non-intra block
            run = 0;
            magnitude = 1;
            negative = static_cast<int>((c >> 62) & 1);
            bs.skip(2);
        } else if (DctFastEntry f = fast.fast[c >> (64 - kDctFastBits)];
                   f.decoded() || ((c >> (64 - kDctLongZeros)) == 0 &&
                                   (f = fast.longCodes[(c >> (64 - kDctLongZeros - kDctLongBits)) &
                                                       ((1 << kDctLongBits) - 1)])
                                       .decoded())) [[likely]] {
            // The common case: a code and its sign in one look-up (two for the long codes).
            run = f.runPlus1() - 1;
            magnitude = f.level();
            negative = f.negative();
            bs.skip(f.length());
        } else if (f.length() != 0) { // end of block
            bs.skip(f.length());
            return kEnd;
        } else {
            const VlcEntry e =
                VlcTable::lookupIn<kDctPrimaryBits>(table, static_cast<uint32_t>(c >> 32));
            // (run, level) pairs have a nonzero level; invalid codes decode to value 0.
            if (static_cast<unsigned>(e.value - 1) < static_cast<unsigned>(kDctEob - 1)) {
                run = e.value >> 6;
                magnitude = e.value & 63;
                negative = static_cast<int>((c >> (63 - e.length)) & 1);
                bs.skip(e.length + 1);
            } else if (e.length == 0) {
                d.diag.message("invalid Huffman code in %s()\n", names.function);
                return kError;
            } else if (e.value == kDctEob) {
                bs.skip(e.length);
                return kEnd;
            } else { // escape
                int level;
                run = static_cast<int>((c >> 52) & 63);
                if constexpr (Mpeg2) {
                    level = static_cast<int>(static_cast<int64_t>(c << 12) >> 52);
                    bs.skip(24);
                    if ((level & 2047) == 0) {
                        d.diag.message("invalid escape in %s()\n", names.function);
                        return kError;
                    }
                } else {
                    const int l8 = static_cast<int>((c >> 44) & 255);
                    if (l8 == 0) {
                        level = static_cast<int>((c >> 36) & 255);
                        bs.skip(28);
                    } else if (l8 == 128) {
                        level = static_cast<int>((c >> 36) & 255) - 256;
                        bs.skip(28);
                    } else {
                        level = static_cast<int8_t>(l8);
                        bs.skip(20);
                    }
                }
                magnitude = std::abs(level);
                negative = level < 0;
            }
        }
        i += run + 1;
        if (i >= 64) {
            d.diag.message("DCT coeff index (i) out of bounds (%s)\n", names.index);
            return kError;
        }
        place(magnitude, negative);
        if constexpr (Mode == kPartitioned)
            ++pairs;
        return kNext;
    };
    // Two steps per refill: a refill leaves at least 56 bits, and a code with its sign takes at
    // most 24 (28 for MPEG-1 escapes), so the second step rarely needs one.
    for (;;) {
        bs.top();
        Step r = step();
        if (r == kNext) {
            bs.ensure32();
            r = step();
        }
        if (r == kEnd)
            break;
        if (r == kError)
            return false;
    }
    content = i > 0 ? kCoded : kDcOnly;
    if constexpr (Mpeg2 && Mode != kSummed) {
        if (mismatchControl(sum, blk) && content == kDcOnly)
            content = kDcAndLast;
    }
    return true;
}

template <bool Intra, bool Mpeg2, int Mode = kPlain>
bool readBlock(DecoderState& d, int cc, Coefficient<Mode>* blk, BlockContent& content,
               bool dcOnly = false) {
    if constexpr (Mode == kPartitioned) { // switches between the partitions' readers
        return readBlockWith<Intra, Mpeg2, Mode>(d, d.bs, cc, blk, content, dcOnly);
    } else {
        LocalBits bs(d.bs);
        return readBlockWith<Intra, Mpeg2, Mode>(d, bs, cc, blk, content, dcOnly);
    }
}

// Reads the coded blocks of a macroblock and adds them to (or, intra, puts them into) the
// prediction; kSummed only reads them into sumBlock.
// Where the blocks of a 4:2:0 macroblock go, worked out once per macroblock: the top left
// sample of its luma and both chroma blocks, and the plane strides (doubled in field pictures).
struct BlockAddresses {
    uint8_t* luma;
    uint8_t* chroma[2];
    ptrdiff_t lumaStride, chromaStride;
};

BlockAddresses blockAddresses420(DecoderState& d, int mbx, int mby) {
    Frame& f = d.frames[d.currentIndex];
    const bool framePicture = d.pic.picture_structure == kFramePicture;
    const int parity = d.pic.picture_structure == kBottomField ? 1 : 0;
    BlockAddresses a;
    ptrdiff_t ps = f.plane[0].stride;
    uint8_t* base = f.plane[0].data();
    if (!framePicture) {
        base += parity * ps;
        ps *= 2;
    }
    a.luma = base + mby * 16 * ps + mbx * 16;
    a.lumaStride = ps;
    for (int c = 1; c < 3; ++c) {
        ptrdiff_t cs = f.plane[c].stride;
        uint8_t* cb = f.plane[c].data();
        if (!framePicture) {
            cb += parity * cs;
            cs *= 2;
        }
        a.chroma[c - 1] = cb + mby * 8 * cs + mbx * 8;
        a.chromaStride = cs;
    }
    return a;
}

template <int Mode>
bool readBlocks(DecoderState& d, int cbp, bool intra, bool dcOnly, int mbx, int mby, int dct_type) {
    const bool mpeg2 = d.seq.mpeg2;
    const bool chroma420 = Mode != kSummed && d.seq.chroma_format == 1;
    BlockAddresses addresses{};
    if (chroma420)
        addresses = blockAddresses420(d, mbx, mby);
    // The coded blocks only: block n's bit of cbp moved to bit 31 - n.
    const uint32_t coded = static_cast<uint32_t>(cbp & ((1 << d.blockCount) - 1))
                           << (32 - d.blockCount);
    for (uint32_t rest = coded; rest != 0;) {
        const int n = std::countl_zero(rest);
        rest &= ~(0x80000000u >> n);
        const int cc = n < 4 ? 0 : (n & 1) ? 2 : 1;
        BlockContent content = kDcOnly;
        bool ok;
        if constexpr (Mode == kSummed) {
            int32_t* blk = d.sumBlock[n];
            if (intra)
                ok = mpeg2 ? readBlock<true, true, Mode>(d, cc, blk, content)
                           : readBlock<true, false, Mode>(d, cc, blk, content, dcOnly);
            else
                ok = mpeg2 ? readBlock<false, true, Mode>(d, cc, blk, content)
                           : readBlock<false, false, Mode>(d, cc, blk, content);
            if (!ok)
                return false;
            continue;
        } else {
            int16_t* blk = d.block[n];
            if constexpr (Mode == kPartitioned) // data partitioning exists in MPEG-2 only
                ok = intra ? readBlock<true, true, Mode>(d, cc, blk, content)
                           : readBlock<false, true, Mode>(d, cc, blk, content);
            else if (intra)
                ok = mpeg2 ? readBlock<true, true>(d, cc, blk, content, dcOnly)
                           : readBlock<true, false>(d, cc, blk, content, dcOnly);
            else
                ok = mpeg2 ? readBlock<false, true>(d, cc, blk, content)
                           : readBlock<false, false>(d, cc, blk, content);
            if (!ok)
                return false;
            uint8_t* dst;
            ptrdiff_t stride;
            if (chroma420) {
                if (n < 4) {
                    // Field DCT: blocks 2 and 3 hold the bottom field, starting one line down.
                    stride = addresses.lumaStride << dct_type;
                    dst = addresses.luma + (n & 1) * 8 +
                          (n >> 1) * (dct_type ? 1 : 8) * addresses.lumaStride;
                } else {
                    stride = addresses.chromaStride;
                    dst = addresses.chroma[n - 4];
                }
            } else {
                d.blockDestination(n, mbx, mby, dct_type, dst, stride);
            }
            // Intra blocks replace the picture, others add to the prediction.
            if (content == kCoded)
                (intra ? d.kernels->idctPut : d.kernels->idctAdd)(blk, dst, stride);
            else if (content == kDcAndLast)
                (intra ? d.kernels->idctPutDcAndLast : d.kernels->idctAddDcAndLast)(blk, dst,
                                                                                    stride);
            else if (intra)
                dcPut(blk, dst, stride);
            else
                dcAdd(blk, dst, stride);
        }
    }
    return true;
}

// Spatial scalability, Table 7-21: spatial_temporal_weight_code_table_index (1 to 3) and
// spatial_temporal_weight_code to the weights of the top and bottom field, as top + 3 * bottom
// with 0: temporal only, 1: half, 2: spatial only; and each such pair's weight class.
constexpr uint8_t kWeightPairs[3][4] = {{6, 3, 7, 4}, {2, 1, 5, 4}, {2, 5, 7, 4}};
constexpr uint8_t kWeightClass[9] = {0, 1, 2, 1, 1, 2, 3, 3, 4};

} // namespace

bool DecoderState::codedBlockPattern(int& cbp) {
    const VlcEntry ce =
        VlcTable::lookupIn<kCodedBlockPatternBits>(vlc.codedBlockPattern.entries(), bs.peek32());
    if (ce.length == 0) {
        diag.message("Invalid coded_block_pattern code\n");
        return false;
    }
    bs.skip(ce.length);
    cbp = ce.value;
    if (seq.chroma_format == 2)
        cbp = (cbp << 2) | static_cast<int>(bs.get(2));
    else if (seq.chroma_format == 3)
        cbp = (cbp << 6) | static_cast<int>(bs.get(6));
    return true;
}

void DecoderState::resetIntraDcPredictors() {
    const int v = 1 << (7 + (seq.mpeg2 ? pic.intra_dc_precision : 0));
    slice.dc_dct_pred[0] = slice.dc_dct_pred[1] = slice.dc_dct_pred[2] = v;
}

void DecoderState::setQuantiserScale(int quantiser_scale_code) {
    slice.quantiser_scale_code = quantiser_scale_code;
    slice.quantiser_scale = (seq.mpeg2 && pic.q_scale_type)
                                ? kNonLinearQuantiserScale[quantiser_scale_code & 31]
                                : 2 * quantiser_scale_code;
}

void DecoderState::decodeSlices() {
    picMbRows = pic.picture_structure == kFramePicture ? mb_height : mb_height / 2;
    picMbCount = mb_width * picMbRows;
    mbDecoded = 0;
    mbDone.assign(static_cast<size_t>(picMbCount), 0);
    const bool partitioned = seq.mpeg2 && seq.scalable_mode == kDataPartitioning;
    snrActive =
        enhancementInStep && enhancement->seq.scalable_mode == kSnrScalability && !partitioned;
    if (snrActive)
        enhancement->snrStartPicture();
    for (;;) {
        const uint32_t code = bs.nextStartCode();
        if (code < 0x00000101 || code > 0x000001AF)
            break;
        bs.skip(32);
        if (!decodeSlice(static_cast<int>(code & 0xFF))) {
            // drop half-read coefficients
            std::memset(block, 0, sizeof block);
            if (snrActive)
                std::memset(sumBlock, 0, sizeof sumBlock);
        }
    }
    if (mbDecoded < picMbCount)
        diag.message("start_of_slice(): Premature end of picture\n");
    concealMissingMacroblocks();
}

bool DecoderState::macroblockAddressIncrement(int& increment) {
    // Most coded macroblocks follow the previous one: the code "1" for an increment of 1.
    if (bs.peek32() >> 31) {
        bs.skip(1);
        increment = 1;
        return true;
    }
    increment = 0;
    for (;;) {
        const VlcEntry e = vlc.macroblockAddressIncrement.lookup(bs.peek32());
        if (e.length == 0)
            return false;
        bs.skip(e.length);
        if (e.value == kMbaStuffing)
            continue;
        if (e.value == kMbaEscape) {
            increment += 33;
            if (increment > picMbCount + 33)
                return false;
            continue;
        }
        increment += e.value;
        return true;
    }
}

void DecoderState::sliceHeaderTail() {
    // intra_slice_flag, intra_slice, reserved bits and extra_information_slice
    if (seq.mpeg2 && bs.get(1)) {
        bs.skip(8);
        while (bs.get(1))
            bs.skip(8);
    } else if (!seq.mpeg2) {
        while (bs.get(1))
            bs.skip(8);
    }
}

bool DecoderState::decodeSlice(int slice_vertical_position) {
    const bool ok = decodeSliceMacroblocks(slice_vertical_position);
    usePartition(0);
    return ok;
}

bool DecoderState::decodeSliceMacroblocks(int slice_vertical_position) {
    int row = slice_vertical_position - 1;
    if (seq.vertical_size > 2800)
        row += static_cast<int>(bs.get(3)) << 7;
    if (row >= picMbRows) {
        diag.message("Too many macroblocks in picture\n");
        return false;
    }
    const bool partitioned = seq.mpeg2 && seq.scalable_mode == kDataPartitioning;
    if (partitioned)
        slice.priority_breakpoint = static_cast<int>(bs.get(7));
    setQuantiserScale(static_cast<int>(bs.get(5)));
    sliceHeaderTail();
    resetIntraDcPredictors();
    std::memset(slice.PMV, 0, sizeof slice.PMV);
    // Data partitioning: partition 1 has the same slices; macroblock_address_increment is in
    // partition 1 when the breakpoint is 1.
    int addressPartition = 0;
    if (partitioned) {
        if (!startPartition1Slice(0x100 | static_cast<uint32_t>(slice_vertical_position)))
            return false;
        addressPartition = slice.priority_breakpoint == 1 ? 1 : 0;
        usePartition(addressPartition);
    }

    int increment;
    if (!macroblockAddressIncrement(increment)) {
        diag.message("start_of_slice(): MBAinc unsuccessful\n");
        return false;
    }
    int address = row * mb_width + increment - 1;
    for (;;) {
        if (address >= picMbCount) {
            diag.message("Too many macroblocks in picture\n");
            return false;
        }
        if (!decodeMacroblock(address))
            return false;
        mbDone[address] = 1;
        ++mbDecoded;
        if (partitioned)
            usePartition(addressPartition);
        if (bs.show(23) == 0)
            return true; // a start code: the slice is complete
        if (!macroblockAddressIncrement(increment)) {
            diag.message("Invalid macroblock_address_increment code\n");
            return false;
        }
        if (increment > 1) {
            if (address + increment - 1 >= picMbCount) {
                // The macroblocks that fit are skipped before the error, as one by one.
                skippedMacroblocks(address + 1, picMbCount - 1 - address);
                mbDecoded += picMbCount - 1 - address;
                diag.message("Too many macroblocks in picture\n");
                return false;
            }
            skippedMacroblocks(address + 1, increment - 1);
            mbDecoded += increment - 1;
            address += increment - 1;
        }
        ++address;
    }
}

template <typename Reader> int DecoderState::dmvector(Reader& bs) {
    if (!bs.get(1))
        return 0;
    return bs.get(1) ? -1 : 1;
}

template <typename Reader>
[[gnu::always_inline]] inline bool DecoderState::motionComponent(Reader& bs, int pmv, int f_code,
                                                                 int& out, int mbAddress) {
    // motion_code (at most 11 bits with its sign) and motion_residual (at most 8) are read from
    // one look at the next 32 bits.
    const uint32_t bits = bs.peek32();
    const VlcEntry e = VlcTable::lookupIn<kMotionCodeBits>(vlc.motionCode.entries(), bits);
    if (e.length == 0) {
        diag.message("Invalid motion_vector code (MBA %d, pic %d)\n", mbAddress, pictureCount);
        return false;
    }
    const int motion_code = e.value;
    const int r_size = std::clamp(f_code, 1, 9) - 1;
    int delta = motion_code;
    int used = e.length;
    if (r_size > 0 && motion_code != 0) {
        const int motion_residual = static_cast<int>((bits << e.length) >> (32 - r_size));
        used += r_size;
        delta = ((std::abs(motion_code) - 1) << r_size) + motion_residual + 1;
        if (motion_code < 0)
            delta = -delta;
    }
    bs.skip(used);
    const int low = -(16 << r_size), high = (16 << r_size) - 1, range = 32 << r_size;
    int v = pmv + delta;
    if (v < low)
        v += range;
    else if (v > high)
        v -= range;
    out = std::clamp(v, low, high);
    return true;
}

bool DecoderState::motionVectors(int s, MacroblockMotion& m, int motion_vector_count,
                                 bool fieldFormat, bool dmv, int mbAddress) {
    // The reader's position in registers: motionComponent is inlined.
    LocalBits bits(bs);
    const bool framePicture = pic.picture_structure == kFramePicture;
    const int fx = pic.f_code[s][0], fy = pic.f_code[s][1];
    auto& PMV = slice.PMV;
    if (motion_vector_count == 1) {
        if (fieldFormat && !dmv)
            m.motion_vertical_field_select[0][s] = m.motion_vertical_field_select[1][s] =
                static_cast<int>(bits.get(1));
        const bool halve = framePicture && fieldFormat;
        int x, y, dm[2] = {0, 0};
        if (!motionComponent(bits, PMV[0][s][0], fx, x, mbAddress))
            return false;
        if (dmv)
            dm[0] = dmvector(bits);
        if (!motionComponent(bits, halve ? PMV[0][s][1] >> 1 : PMV[0][s][1], fy, y, mbAddress))
            return false;
        if (dmv)
            dm[1] = dmvector(bits);
        m.vector[0][s][0] = m.vector[1][s][0] = x;
        m.vector[0][s][1] = m.vector[1][s][1] = y;
        PMV[0][s][0] = PMV[1][s][0] = x;
        PMV[0][s][1] = PMV[1][s][1] = halve ? y * 2 : y;
        if (dmv)
            dualPrimeVectors(m, dm, x, y);
        return true;
    }
    for (int r = 0; r < 2; ++r) {
        m.motion_vertical_field_select[r][s] = static_cast<int>(bits.get(1));
        int x, y;
        if (!motionComponent(bits, PMV[r][s][0], fx, x, mbAddress))
            return false;
        if (!motionComponent(bits, framePicture ? PMV[r][s][1] >> 1 : PMV[r][s][1], fy, y,
                             mbAddress))
            return false;
        m.vector[r][s][0] = x;
        m.vector[r][s][1] = y;
        PMV[r][s][0] = x;
        PMV[r][s][1] = framePicture ? y * 2 : y;
    }
    return true;
}

void DecoderState::blockDestination(int n, int mbx, int mby, int dct_type, uint8_t*& dst,
                                    ptrdiff_t& stride) {
    const int parity = pic.picture_structure == kBottomField ? 1 : 0;
    const bool framePicture = pic.picture_structure == kFramePicture;
    int c = 0, x, y, k;
    if (n < 4) {
        k = n;
        x = mbx * 16 + (k & 1) * 8;
        y = mby * 16;
    } else {
        c = (n & 1) ? 2 : 1;
        k = (n - 4) >> 1;
        if (seq.chroma_format == 1) {
            x = mbx * 8;
            y = mby * 8;
            k = 0;
        } else if (seq.chroma_format == 2) {
            x = mbx * 8;
            y = mby * 16;
            k <<= 1; // rows only
        } else {
            x = mbx * 16 + (k & 1) * 8;
            y = mby * 16;
        }
    }
    Plane& p = frames[currentIndex].plane[c];
    ptrdiff_t ps = p.stride;
    uint8_t* base = p.data();
    if (!framePicture) {
        base += parity * ps;
        ps *= 2;
    }
    // 4:2:0 chroma blocks are always frame blocks.
    const bool fieldDct = dct_type && !(n >= 4 && seq.chroma_format == 1);
    if (fieldDct) {
        y += k >> 1; // rows of the other field start one line down
        stride = ps * 2;
    } else {
        y += (k >> 1) * 8;
        stride = ps;
    }
    dst = base + y * ps + x;
}

bool DecoderState::decodeMacroblock(int mbAddress) {
    const int mbx = mbAddress % mb_width, mby = mbAddress / mb_width;
    const bool framePicture = pic.picture_structure == kFramePicture;
    const int type_code = pic.picture_coding_type;
    const bool partitioned = seq.mpeg2 && seq.scalable_mode == kDataPartitioning;
    const bool spatial = pic.spatial;
    if (partitioned) // macroblock modes are in partition 1 for breakpoints 1 and 2
        usePartition(slice.priority_breakpoint <= 2 ? 1 : 0);
    const VlcTable* typeTable;
    if (spatial)
        typeTable = type_code == kIPicture   ? &vlc.macroblockTypeSpatialI
                    : type_code == kPPicture ? &vlc.macroblockTypeSpatialP
                                             : &vlc.macroblockTypeSpatialB;
    else
        typeTable = type_code == kIPicture   ? &vlc.macroblockTypeI
                    : type_code == kPPicture ? &vlc.macroblockTypeP
                    : type_code == kBPicture ? &vlc.macroblockTypeB
                                             : &vlc.macroblockTypeD;
    MacroblockMotion m;
    int type, motion_type = 0, motion_vector_count = 1, dct_type = 0;
    bool intra, concealment, fieldFormat = false, dmv = false;
    SpatialWeights weights;
    // The header up to the motion vectors is read with the reader's position in registers (the
    // partition does not change within it).
    {
        LocalBits bits(bs);
        const VlcEntry te = typeTable->lookup(bits.peek32());
        if (te.length == 0) {
            diag.message("Invalid macroblock_type code\n");
            return false;
        }
        bits.skip(te.length);
        type = te.value;
        m.macroblock_type = type & (kMbQuant | kMbForward | kMbBackward | kMbPattern | kMbIntra);
        intra = type & kMbIntra;
        concealment = intra && pic.concealment_motion_vectors && seq.mpeg2;
        if (spatial)
            weights = spatialWeights(bits, type);

        if (type & (kMbForward | kMbBackward)) {
            if (!seq.mpeg2)
                motion_type = kMotionFrame;
            else if (framePicture)
                motion_type =
                    pic.frame_pred_frame_dct ? kMotionFrame : static_cast<int>(bits.get(2));
            else
                motion_type = static_cast<int>(bits.get(2));
            if (motion_type == 0) {
                diag.message("invalid motion_type\n");
                return false;
            }
        } else if (concealment) {
            motion_type = framePicture ? kMotionFrame : kMotionField;
        }
        m.motion_type = motion_type;
        if (framePicture) {
            fieldFormat = motion_type != kMotionFrame;
            // Field prediction needs one vector when one field is predicted spatially only
            // (weight classes 2 and 3).
            motion_vector_count = motion_type == kMotionField && weights.weightClass < 2 ? 2 : 1;
            dmv = motion_type == kMotionDualPrime;
        } else {
            fieldFormat = true;
            motion_vector_count = motion_type == kMotion16x8 ? 2 : 1;
            dmv = motion_type == kMotionDualPrime;
        }
        if (framePicture && seq.mpeg2 && !pic.frame_pred_frame_dct &&
            (type & (kMbIntra | kMbPattern)))
            dct_type = static_cast<int>(bits.get(1));
        if (type & kMbQuant)
            setQuantiserScale(static_cast<int>(bits.get(5)));
    }
    for (int s = 0; s < 2; ++s)
        if ((type & (s ? kMbBackward : kMbForward)) || (s == 0 && concealment)) {
            if (!motionVectors(s, m, motion_vector_count, fieldFormat, dmv, mbAddress))
                return false;
        }
    if (concealment)
        bs.skip(1); // marker_bit

    if (partitioned && slice.priority_breakpoint <= 3)
        usePartition(1);
    int cbp = 0;
    if (type & kMbPattern) {
        if (!codedBlockPattern(cbp))
            return false;
    } else if (intra) {
        cbp = (1 << blockCount) - 1;
    }

    if (!intra)
        resetIntraDcPredictors();
    if ((intra && !concealment) || weights.weightClass == 4)
        std::memset(slice.PMV, 0, sizeof slice.PMV);
    if (type_code == kPPicture && !(type & (kMbForward | kMbIntra))) {
        // No motion compensation: zero vector from the same parity / the whole frame.
        std::memset(slice.PMV, 0, sizeof slice.PMV);
        m.macroblock_type |= kMbForward;
        m.motion_type = framePicture ? kMotionFrame : kMotionField;
        m.motion_vertical_field_select[0][0] = pic.picture_structure == kBottomField ? 1 : 0;
    }

    if (!intra) {
        if (weights.weightClass != 4)
            formPredictions(m, mbx, mby);
        if (spatial && (weights.top != kWeightTemporal || weights.bottom != kWeightTemporal))
            combineSpatial(mbx, mby, weights.top, weights.bottom);
    }
    const bool dcOnly = type_code == kDPicture;
    bool ok;
    if (snrActive) {
        ok = readBlocks<kSummed>(*this, cbp, intra, dcOnly, mbx, mby, dct_type);
        if (ok)
            snrReconstruct(mbAddress, static_cast<uint32_t>(cbp), intra, dct_type);
    } else if (partitioned) {
        ok = readBlocks<kPartitioned>(*this, cbp, intra, dcOnly, mbx, mby, dct_type);
    } else {
        ok = readBlocks<kPlain>(*this, cbp, intra, dcOnly, mbx, mby, dct_type);
    }
    if (!ok)
        return false;
    if (dcOnly)
        bs.skip(1); // end_of_macroblock
    prevMotion = m;
    return true;
}

void DecoderState::skippedMacroblocks(int mbAddress, int count) {
    if (count <= 0)
        return;
    // The common case, MPEG-2 4:2:0 frame pictures without an enhancement layer, predicts each
    // row's share of the run at once: every skipped macroblock of a run has the same motion.
    const bool common =
        seq.mpeg2 && seq.chroma_format == 1 && pic.picture_structure == kFramePicture &&
        !pic.spatial && !snrActive &&
        (pic.picture_coding_type == kPPicture || pic.picture_coding_type == kBPicture);
    if (!common) {
        for (int k = 0; k < count; ++k)
            skippedMacroblock(mbAddress + k);
        return;
    }
    resetIntraDcPredictors();
    int type = kMbForward;
    int vectors[2][2] = {{0, 0}, {0, 0}};
    if (pic.picture_coding_type == kPPicture) {
        std::memset(slice.PMV, 0, sizeof slice.PMV);
    } else {
        type = prevMotion.macroblock_type & (kMbForward | kMbBackward);
        if (type == 0)
            type = kMbForward;
        for (int s = 0; s < 2; ++s) {
            vectors[s][0] = slice.PMV[0][s][0];
            vectors[s][1] = slice.PMV[0][s][1];
        }
    }
    while (count > 0) {
        const int mbx = mbAddress % mb_width, mby = mbAddress / mb_width;
        const int n = std::min(count, mb_width - mbx);
        if (type & kMbForward)
            predictRun420(frames[forwardIndex], mbx, mby, n, vectors[0][0], vectors[0][1], false);
        if (type & kMbBackward)
            predictRun420(frames[backwardIndex], mbx, mby, n, vectors[1][0], vectors[1][1],
                          (type & kMbForward) != 0);
        std::memset(&mbDone[size_t(mbAddress)], 1, size_t(n));
        mbAddress += n;
        count -= n;
    }
}

void DecoderState::skippedMacroblock(int mbAddress) {
    const int mbx = mbAddress % mb_width, mby = mbAddress / mb_width;
    resetIntraDcPredictors();
    MacroblockMotion m;
    if (pic.picture_coding_type == kPPicture) {
        std::memset(slice.PMV, 0, sizeof slice.PMV);
        m.macroblock_type = kMbForward;
        m.motion_type = pic.picture_structure == kFramePicture ? kMotionFrame : kMotionField;
        m.motion_vertical_field_select[0][0] = pic.picture_structure == kBottomField ? 1 : 0;
    } else if (pic.picture_coding_type == kBPicture) {
        // Same direction as the previous macroblock, whole-macroblock prediction with the
        // predictor vectors (which hold the previous macroblock's vectors).
        m.macroblock_type = prevMotion.macroblock_type & (kMbForward | kMbBackward);
        if (m.macroblock_type == 0)
            m.macroblock_type = kMbForward;
        m.motion_type = pic.picture_structure == kFramePicture ? kMotionFrame : kMotionField;
        for (int s = 0; s < 2; ++s) {
            m.vector[0][s][0] = slice.PMV[0][s][0];
            m.vector[0][s][1] = slice.PMV[0][s][1];
            m.motion_vertical_field_select[0][s] = prevMotion.motion_vertical_field_select[0][s];
        }
    } else if (pic.spatial) {
        // Skipped macroblocks of spatially scalable I pictures are predicted spatially.
        std::memset(slice.PMV, 0, sizeof slice.PMV);
        combineSpatial(mbx, mby, kWeightSpatial, kWeightSpatial);
        m.macroblock_type = 0;
    } else {
        return; // skipping is not allowed in intra pictures: the macroblock is concealed
    }
    if (m.macroblock_type != 0)
        formPredictions(m, mbx, mby);
    if (snrActive)
        snrReconstruct(mbAddress, 0, false, 0);
    mbDone[mbAddress] = 1;
}

bool DecoderState::readSummedBlocks(int cbp) {
    return readBlocks<kSummed>(*this, cbp, false, false, 0, 0, 0);
}

template <typename Reader> SpatialWeights DecoderState::spatialWeights(Reader& bs, int type) {
    int pair = 0; // temporal prediction only
    if (type & kMbWeightCode) {
        const int index = pic.spatial_temporal_weight_code_table_index;
        pair = index == 0 ? 4 : kWeightPairs[index - 1][bs.get(2)]; // index 0: one weight, 1/2
    } else if (type & kMbCompatible) {
        pair = 8; // spatial prediction only
    }
    SpatialWeights w;
    w.top = pair % 3;
    w.bottom = pair / 3;
    w.weightClass = kWeightClass[pair];
    return w;
}

} // namespace mpeg
