// Writing MPEG video streams by hand for the decoder tests: a bit writer, the header syntax
// (sequence, scalable and picture extensions), the variable-length codes the tests need, and a
// generator of random but valid MPEG-2 4:2:0 macroblock data that can route every syntax element
// to partition 0 or 1 of a data-partitioned stream (ISO/IEC 13818-2 Table 7-30).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace mpegtest {

class BitWriter {
public:
    void put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            cur_ = uint8_t((cur_ << 1) | ((value >> i) & 1));
            if (++n_ == 8) {
                out.push_back(cur_);
                n_ = 0;
                cur_ = 0;
            }
        }
    }
    // '0'/'1' characters; spaces separate syntax elements for the reader.
    void bits(const std::string& s) {
        for (char c : s)
            if (c != ' ')
                put(c == '1', 1);
    }
    void startCode(uint8_t code) {
        while (n_ != 0)
            put(0, 1);
        out.insert(out.end(), {0x00, 0x00, 0x01, code});
    }
    std::vector<uint8_t> out;

private:
    uint8_t cur_ = 0;
    int n_ = 0;
};

inline const char* const kLumaDcSize[] = {"100",  "00",    "01",     "101",    "110",
                                          "1110", "11110", "111110", "1111110"};
inline const char* const kChromaDcSize[] = {"00",    "01",     "10",      "110",     "1110",
                                            "11110", "111110", "1111110", "11111110"};

// dct_dc_differential for a flat block: intra DC value v (pixels) with predictor pred.
inline void putDc(BitWriter& w, bool chroma, int& pred, int v) {
    const int diff = v - pred;
    pred = v;
    int size = 0;
    while ((1 << size) <= std::abs(diff))
        ++size;
    w.bits(chroma ? kChromaDcSize[size] : kLumaDcSize[size]);
    if (size > 0)
        w.put(uint32_t(diff > 0 ? diff : diff + (1 << size) - 1), size);
}

// macroblock_address_increment 1 to 8.
inline const char* const kAddressIncrement[] = {"",     "1",      "011",    "010",     "0011",
                                                "0010", "0001 1", "0001 0", "0000 111"};

// coded_block_pattern (4:2:0), Table B.9, by value.
inline std::string codedBlockPatternCode(int cbp) {
    static const char* const codes[64] = {
        "0000 0000 1", "0101 1",      "0100 1",    "0011 01",     "1101",      "0010 111",
        "0010 011",    "0001 1111",   "1100",      "0010 110",    "0010 010",  "0001 1110",
        "1001 1",      "0001 1011",   "0001 0111", "0001 0011",   "1011",      "0010 101",
        "0010 001",    "0001 1101",   "1000 1",    "0001 1001",   "0001 0101", "0001 0001",
        "0011 11",     "0000 1111",   "0000 1101", "0000 0001 1", "0111 1",    "0000 1011",
        "0000 0111",   "0000 0011 1", "1010",      "0010 100",    "0010 000",  "0001 1100",
        "0011 10",     "0000 1110",   "0000 1100", "0000 0001 0", "1000 0",    "0001 1000",
        "0001 0100",   "0001 0000",   "0111 0",    "0000 1010",   "0000 0110", "0000 0011 0",
        "1001 0",      "0001 1010",   "0001 0110", "0001 0010",   "0110 1",    "0000 1001",
        "0000 0101",   "0000 0010 1", "0110 0",    "0000 1000",   "0000 0100", "0000 0010 0",
        "111",         "0101 0",      "0100 0",    "0011 00"};
    return codes[cbp];
}

// motion_code -3 .. 3 with its sign, f_code 1 (no motion_residual).
inline std::string motionCode(int code) {
    static const char* const magnitude[] = {"1", "01", "001", "0001"};
    std::string s = magnitude[std::abs(code)];
    if (code != 0)
        s += code < 0 ? "1" : "0";
    return s;
}

// One (run, level) of DCT coefficient table zero; escape where the table has no short code.
inline void putCoefficient(BitWriter& w, int run, int level, bool firstNonIntra) {
    const char sign = level < 0 ? '1' : '0';
    const int magnitude = std::abs(level);
    if (run == 0 && magnitude == 1) {
        w.bits(firstNonIntra ? "1" : "11");
    } else if (run == 1 && magnitude == 1) {
        w.bits("011");
    } else if (run == 0 && magnitude == 2) {
        w.bits("0100");
    } else if (run == 2 && magnitude == 1) {
        w.bits("0101");
    } else {
        w.bits("000001");
        w.put(uint32_t(run), 6);
        w.put(uint32_t(level) & 0xFFF, 12);
        return;
    }
    w.put(sign == '1', 1);
}

struct SequenceParams {
    int width = 64, height = 48;
    bool progressive = true;
    int scalableMode = -1; // -1: no sequence scalable extension
    int layerId = 0;
    int lowerWidth = 0, lowerHeight = 0; // spatial scalability
    int hm = 1, hn = 2, vm = 1, vn = 2;
};

inline void writeSequence(BitWriter& w, const SequenceParams& p) {
    w.startCode(0xB3);
    w.put(uint32_t(p.width), 12);
    w.put(uint32_t(p.height), 12);
    w.bits("0001 0011"); // aspect ratio 1:1, 25 Hz
    w.put(0x3FFFF, 18);
    w.put(1, 1);
    w.put(112, 10);
    w.bits("0 0 0"); // constrained, no matrices
    w.startCode(0xB5);
    w.put(1, 4);
    w.put(0x48, 8);
    w.put(p.progressive ? 1 : 0, 1);
    w.bits("01 00 00"); // 4:2:0, no size extensions
    w.put(0, 12);
    w.put(1, 1);
    w.put(0, 8);
    w.bits("0 00 00000");
    if (p.scalableMode >= 0) {
        w.startCode(0xB5);
        w.put(5, 4);
        w.put(uint32_t(p.scalableMode), 2);
        w.put(uint32_t(p.layerId), 4);
        if (p.scalableMode == 1) {
            w.put(uint32_t(p.lowerWidth), 14);
            w.put(1, 1);
            w.put(uint32_t(p.lowerHeight), 14);
            w.put(uint32_t(p.hm), 5);
            w.put(uint32_t(p.hn), 5);
            w.put(uint32_t(p.vm), 5);
            w.put(uint32_t(p.vn), 5);
        } else if (p.scalableMode == 3) {
            w.bits("0 000 001"); // no picture mux, order 0, factor 1
        }
    }
    w.startCode(0xB8); // group of pictures: closed
    w.put(1 << 12, 25);
    w.bits("1 0");
}

struct PictureParams {
    int type = 1; // 1 I, 2 P, 3 B
    int temporalReference = 0;
    int framePredFrameDct = 1;
    int alternateScan = 0;
    int progressiveFrame = 1;
    // picture spatial scalable extension
    bool spatial = false;
    int lowerTemporalReference = 0;
    int horizontalOffset = 0, verticalOffset = 0;
    int tableIndex = 0;
    int lowerProgressive = 1, fieldSelect = 0;
};

inline void writePicture(BitWriter& w, const PictureParams& p) {
    w.startCode(0x00);
    w.put(uint32_t(p.temporalReference), 10);
    w.put(uint32_t(p.type), 3);
    w.put(0xFFFF, 16);
    if (p.type == 2 || p.type == 3)
        w.bits("0 111");
    if (p.type == 3)
        w.bits("0 111");
    w.put(0, 1);
    w.startCode(0xB5);
    w.put(8, 4);
    const int forward = p.type == 1 ? 15 : 1, backward = p.type == 3 ? 1 : 15;
    w.put(uint32_t(forward), 4);
    w.put(uint32_t(forward), 4);
    w.put(uint32_t(backward), 4);
    w.put(uint32_t(backward), 4);
    w.put(0, 2); // intra_dc_precision
    w.put(3, 2); // frame picture
    w.put(1, 1); // top_field_first
    w.put(uint32_t(p.framePredFrameDct), 1);
    w.put(0, 1); // concealment_motion_vectors
    w.put(0, 1); // q_scale_type
    w.put(0, 1); // intra_vlc_format
    w.put(uint32_t(p.alternateScan), 1);
    w.put(0, 1); // repeat_first_field
    w.put(0, 1); // chroma_420_type
    w.put(uint32_t(p.progressiveFrame), 1);
    w.put(0, 1); // composite_display_flag
    if (p.spatial) {
        w.startCode(0xB5);
        w.put(9, 4);
        w.put(uint32_t(p.lowerTemporalReference), 10);
        w.put(1, 1);
        w.put(uint32_t(p.horizontalOffset) & 0x7FFF, 15);
        w.put(1, 1);
        w.put(uint32_t(p.verticalOffset) & 0x7FFF, 15);
        w.put(uint32_t(p.tableIndex), 2);
        w.put(uint32_t(p.lowerProgressive), 1);
        w.put(uint32_t(p.fieldSelect), 1);
    }
}

// Writes one stream, or the two partitions of a data-partitioned stream, element by element:
// each macroblock syntax element goes to the partition Table 7-30 gives it for the breakpoint.
class LayeredWriter {
public:
    // breakpoint 0: one plain stream.
    explicit LayeredWriter(int breakpoint) : breakpoint_(breakpoint) {}
    bool partitioned() const { return breakpoint_ != 0; }
    int breakpoint() const { return breakpoint_; }
    int partitions() const { return partitioned() ? 2 : 1; }
    BitWriter& part(int p) { return parts_[partitioned() ? p : 0]; }
    BitWriter& address() { return part(breakpoint_ == 1 ? 1 : 0); }
    BitWriter& modes() { return part(breakpoint_ <= 2 ? 1 : 0); }
    BitWriter& pattern() { return part(breakpoint_ <= 3 ? 1 : 0); }
    BitWriter& dc() { return part(breakpoint_ >= 64 ? 0 : 1); }
    // The (run, level) pair, or end_of_block, after pairs earlier pairs of the block.
    BitWriter& coefficient(int pairs) {
        return part(breakpoint_ >= 64 && pairs < breakpoint_ - 64 ? 0 : 1);
    }
    std::vector<uint8_t>& stream(int p) { return parts_[p].out; }

private:
    int breakpoint_;
    BitWriter parts_[2];
};

// What the random macroblock generator may use.
struct SliceOptions {
    int quantiserScaleCode = 8;
    bool acCoefficients = true; // intra blocks with AC coefficients (else flat)
    bool allowSkip = true;
    int framePredFrameDct = 1;
};

// Random slices (one per macroblock row) of a frame picture of mbWidth x mbHeight macroblocks.
inline void writeRandomSlices(LayeredWriter& w, int type, int mbWidth, int mbHeight,
                              const SliceOptions& o, std::mt19937& rng) {
    auto chance = [&](int percent) { return int(rng() % 100) < percent; };
    auto pick = [&](int lo, int hi) { return lo + int(rng() % unsigned(hi - lo + 1)); };
    for (int row = 0; row < mbHeight; ++row) {
        for (int p = 0; p < w.partitions(); ++p) {
            BitWriter& b = w.part(p);
            b.startCode(uint8_t(row + 1));
            if (w.partitioned())
                b.put(p == 0 ? uint32_t(w.breakpoint()) : 0u, 7);
            b.put(uint32_t(o.quantiserScaleCode), 5);
            b.put(0, 1);
        }
        int pred[3] = {128, 128, 128};
        int mb = 0;
        bool first = true;
        while (mb < mbWidth) {
            // Skipped macroblocks (P and B pictures, never the first or last of the slice).
            int increment = 1;
            if (!first && type != 1 && o.allowSkip) {
                while (mb + increment < mbWidth - 1 && increment < 8 && chance(25))
                    ++increment;
            }
            mb += increment - 1;
            w.address().bits(kAddressIncrement[increment]);
            if (increment > 1)
                pred[0] = pred[1] = pred[2] = 128;
            first = false;

            // macroblock_type
            bool intra = false, forward = false, backward = false, pattern = false;
            bool quant = chance(15);
            BitWriter& m = w.modes();
            if (type == 1) {
                intra = true;
                m.bits(quant ? "01" : "1");
            } else if (chance(12)) {
                intra = true;
                m.bits(quant ? "0000 01" : "0001 1");
            } else if (type == 2) {
                const int k = pick(0, 2);
                forward = k != 1;
                pattern = k != 2 || quant;
                if (quant)
                    m.bits(forward ? "0001 0" : "0000 1");
                else
                    m.bits(k == 0 ? "1" : k == 1 ? "01" : "001");
            } else {
                const int k = pick(0, 2); // interpolated, backward, forward
                forward = k != 1;
                backward = k != 2;
                pattern = quant || chance(60);
                if (quant)
                    m.bits(k == 0 ? "0001 0" : k == 1 ? "0000 10" : "0000 11");
                else
                    m.bits(std::string(k == 0   ? "1"
                                       : k == 1 ? "01"
                                                : "001") +
                           (pattern ? "1" : "0"));
            }
            int fieldMotion = 0;
            if ((forward || backward) && !o.framePredFrameDct) {
                fieldMotion = chance(40);
                m.bits(fieldMotion ? "01" : "10");
            }
            if (!o.framePredFrameDct && (intra || pattern))
                m.put(chance(50), 1); // dct_type
            if (quant)
                m.put(uint32_t(pick(1, 31)), 5);
            for (int s = 0; s < 2; ++s) {
                if (!(s == 0 ? forward : backward))
                    continue;
                for (int r = 0; r < (fieldMotion ? 2 : 1); ++r) {
                    if (fieldMotion)
                        m.put(chance(50), 1); // motion_vertical_field_select
                    m.bits(motionCode(pick(-3, 3)));
                    m.bits(motionCode(pick(-3, 3)));
                }
            }
            int cbp = 63;
            if (!intra) {
                if (pattern) {
                    cbp = pick(1, 63);
                    w.pattern().bits(codedBlockPatternCode(cbp));
                } else {
                    cbp = 0;
                }
                pred[0] = pred[1] = pred[2] = 128;
            }
            for (int n = 0; n < 6; ++n) {
                if (!(cbp & (1 << (5 - n))))
                    continue;
                const int cc = n < 4 ? 0 : n - 3;
                if (intra)
                    putDc(w.dc(), cc != 0, pred[cc], pick(40, 215));
                int pairs = 0, index = intra ? 0 : -1;
                const int count = intra && !o.acCoefficients ? 0 : pick(intra ? 0 : 1, 6);
                for (int k = 0; k < count; ++k) {
                    const int run = pick(0, 4);
                    if (index + run + 1 > 63)
                        break;
                    index += run + 1;
                    int level = pick(1, chance(10) ? 60 : 3);
                    if (chance(50))
                        level = -level;
                    putCoefficient(w.coefficient(pairs), run, level, !intra && pairs == 0);
                    ++pairs;
                }
                w.coefficient(pairs).bits("10"); // end_of_block
            }
            ++mb;
        }
    }
}

} // namespace mpegtest
