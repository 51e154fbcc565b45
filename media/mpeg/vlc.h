// Variable-length code tables of the video syntax and the constant tables that go with them
// (scan orders, default quantiser matrices, non-linear quantiser scale). Tables are built once
// from the code lists into two-level lookup tables; invalid codes decode to length 0.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace mpeg {

struct VlcCode {
    const char* bits; // '0'/'1' characters, spaces ignored
    int16_t value;
};

struct VlcEntry {
    int16_t value;
    uint8_t length; // 0: invalid code
};

class VlcTable {
public:
    VlcTable(std::span<const VlcCode> codes, int primaryBits);
    // bits: the next 32 stream bits, left aligned.
    VlcEntry lookup(uint32_t bits) const {
        VlcEntry e = table_[bits >> (32 - primaryBits_)];
        if (e.length & kLink) {
            const int subBits = e.length & ~kLink;
            e = table_[e.value + ((bits << primaryBits_) >> (32 - subBits))];
        }
        return e;
    }
    // The same with the primary size fixed at compile time and the entries held by the caller,
    // for the coefficient loop, where loading both from the table on every code costs.
    template <int PrimaryBits> static VlcEntry lookupIn(const VlcEntry* entries, uint32_t bits) {
        VlcEntry e = entries[bits >> (32 - PrimaryBits)];
        if (e.length & kLink) {
            const int subBits = e.length & ~kLink;
            e = entries[e.value + ((bits << PrimaryBits) >> (32 - subBits))];
        }
        return e;
    }
    const VlcEntry* entries() const { return table_.data(); }

private:
    static constexpr uint8_t kLink = 0x80;
    int primaryBits_;
    std::vector<VlcEntry> table_;
};

// macroblock_type flags.
constexpr int kMbQuant = 0x10;
constexpr int kMbForward = 0x08;
constexpr int kMbBackward = 0x04;
constexpr int kMbPattern = 0x02;
constexpr int kMbIntra = 0x01;
// Spatial scalability (Tables B.5 to B.7): spatial_temporal_weight_code_flag, and the permitted
// weight class 4 (spatial prediction only, no motion vectors).
constexpr int kMbWeightCode = 0x20;
constexpr int kMbCompatible = 0x40;

constexpr int16_t kMbaEscape = 34;
constexpr int16_t kMbaStuffing = 35;

// Primary table size of the DCT coefficient tables, in bits: all but the rare long codes.
constexpr int kDctPrimaryBits = 10;
// Primary table sizes of the macroblock header tables the decoder reads most, known at compile
// time for VlcTable::lookupIn: all of their codes fit.
constexpr int kMotionCodeBits = 11;
constexpr int kCodedBlockPatternBits = 9;
constexpr int kDctDcSizeLuminanceBits = 9;
constexpr int kDctDcSizeChrominanceBits = 10;

// DCT coefficient table values: (run << 6) | level, or one of these.
constexpr int16_t kDctEob = 4096;
constexpr int16_t kDctEscape = 4097;

// The coefficient codes that fit kDctFastBits together with their sign bit, decoded by one look-up
// at the next kDctFastBits bits: the coefficient loop's common case. Other codes (end of block
// aside) have level 0 here and go through the full table.
constexpr int kDctFastBits = 11;
// Codes beginning with seven zeros (the 12- to 16-bit codes) with their sign, looked up by the
// kDctLongBits after those zeros.
constexpr int kDctLongZeros = 7;
constexpr int kDctLongBits = 10;

// One 32-bit word, read by one load: the loop shifts the bit cache by the low byte as it is.
struct DctFastEntry {
    uint32_t packed = 0;

    static constexpr DctFastEntry make(int length, int runPlus1, int level, int negative) {
        return {static_cast<uint32_t>(length | runPlus1 << 8 | level << 16 | negative << 24)};
    }
    // Code and sign bit; end of block: its code; others: 0.
    constexpr int length() const { return static_cast<int>(packed & 63); }
    // Scan positions to advance.
    constexpr int runPlus1() const { return static_cast<int>((packed >> 8) & 255); }
    // Magnitude; 0: no coefficient decoded here.
    constexpr int level() const { return static_cast<int>((packed >> 16) & 255); }
    constexpr bool decoded() const { return (packed & 0xFF0000) != 0; }
    // Sign bit, 0 or 1.
    constexpr int negative() const { return static_cast<int>(packed >> 24); }
};

struct VlcTables {
    VlcTables();
    VlcTable macroblockAddressIncrement;
    VlcTable macroblockTypeI, macroblockTypeP, macroblockTypeB, macroblockTypeD;
    // Pictures with a picture spatial scalable extension, and the SNR enhancement layer.
    VlcTable macroblockTypeSpatialI, macroblockTypeSpatialP, macroblockTypeSpatialB;
    VlcTable macroblockTypeSnr;
    VlcTable codedBlockPattern;
    VlcTable motionCode; // includes the sign bit
    VlcTable dctDcSizeLuminance, dctDcSizeChrominance;
    VlcTable dctCoefficients0; // without sign bit
    VlcTable dctCoefficients1;
    // dctCoefficients0 and dctCoefficients1 for the codes that fit kDctFastBits with their sign,
    // and for the long codes; together, so that one base address reaches both.
    struct DctFastTables {
        DctFastEntry fast[1 << kDctFastBits];
        DctFastEntry longCodes[1 << kDctLongBits];
    };
    DctFastTables dctFast[2];
};

const VlcTables& vlcTables();

extern const uint8_t kScan[2][64];            // zigzag and alternate, scan index to raster
extern const uint8_t kDefaultIntraMatrix[64]; // raster order
extern const uint8_t kNonLinearQuantiserScale[32];

} // namespace mpeg
