// Code lists of the video syntax and the builder that turns them into lookup tables.
// Sign bits of motion codes are part of the list; DCT coefficient signs are read by the caller.
#include "media/mpeg/vlc.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace mpeg {

namespace {

constexpr int16_t rl(int run, int level) {
    return static_cast<int16_t>((run << 6) | level);
}

const VlcCode kMacroblockAddressIncrement[] = {
    {"1", 1},
    {"011", 2},
    {"010", 3},
    {"0011", 4},
    {"0010", 5},
    {"0001 1", 6},
    {"0001 0", 7},
    {"0000 111", 8},
    {"0000 110", 9},
    {"0000 1011", 10},
    {"0000 1010", 11},
    {"0000 1001", 12},
    {"0000 1000", 13},
    {"0000 0111", 14},
    {"0000 0110", 15},
    {"0000 0101 11", 16},
    {"0000 0101 10", 17},
    {"0000 0101 01", 18},
    {"0000 0101 00", 19},
    {"0000 0100 11", 20},
    {"0000 0100 10", 21},
    {"0000 0100 011", 22},
    {"0000 0100 010", 23},
    {"0000 0100 001", 24},
    {"0000 0100 000", 25},
    {"0000 0011 111", 26},
    {"0000 0011 110", 27},
    {"0000 0011 101", 28},
    {"0000 0011 100", 29},
    {"0000 0011 011", 30},
    {"0000 0011 010", 31},
    {"0000 0011 001", 32},
    {"0000 0011 000", 33},
    {"0000 0001 000", kMbaEscape},
    {"0000 0001 111", kMbaStuffing},
};

const VlcCode kMacroblockTypeI[] = {
    {"1", kMbIntra},
    {"01", kMbQuant | kMbIntra},
};

const VlcCode kMacroblockTypeP[] = {
    {"1", kMbForward | kMbPattern},
    {"01", kMbPattern},
    {"001", kMbForward},
    {"0001 1", kMbIntra},
    {"0001 0", kMbQuant | kMbForward | kMbPattern},
    {"0000 1", kMbQuant | kMbPattern},
    {"0000 01", kMbQuant | kMbIntra},
};

const VlcCode kMacroblockTypeB[] = {
    {"10", kMbForward | kMbBackward},
    {"11", kMbForward | kMbBackward | kMbPattern},
    {"010", kMbBackward},
    {"011", kMbBackward | kMbPattern},
    {"0010", kMbForward},
    {"0011", kMbForward | kMbPattern},
    {"0001 1", kMbIntra},
    {"0001 0", kMbQuant | kMbForward | kMbBackward | kMbPattern},
    {"0000 11", kMbQuant | kMbForward | kMbPattern},
    {"0000 10", kMbQuant | kMbBackward | kMbPattern},
    {"0000 01", kMbQuant | kMbIntra},
};

const VlcCode kMacroblockTypeD[] = {
    {"1", kMbIntra},
};

// Tables B.5 to B.8 are exercised only by the tests' hand-written streams (no encoder at hand
// writes scalable streams): the rarely used long codes of B.6 and B.7 (6 bits and more) are the
// first thing to check against the standard when a third-party spatial stream decodes wrongly.

// Table B.5: I pictures with spatial scalability.
const VlcCode kMacroblockTypeSpatialI[] = {
    {"1", kMbPattern | kMbCompatible},             // coded, compatible
    {"01", kMbQuant | kMbPattern | kMbCompatible}, // coded, compatible, quant
    {"0011", kMbIntra},
    {"0010", kMbQuant | kMbIntra},
    {"0001", kMbCompatible}, // not coded, compatible
};

// Table B.6: P pictures with spatial scalability.
const VlcCode kMacroblockTypeSpatialP[] = {
    {"10", kMbForward | kMbPattern},
    {"011", kMbForward | kMbPattern | kMbWeightCode},
    {"0000 100", kMbPattern},
    {"0001 11", kMbPattern | kMbWeightCode},
    {"0010", kMbForward},
    {"0000 111", kMbCompatible}, // not coded, compatible
    {"0011", kMbForward | kMbWeightCode},
    {"010", kMbQuant | kMbForward | kMbPattern},
    {"0001 00", kMbQuant | kMbPattern},
    {"0000 110", kMbIntra},
    {"0001 10", kMbQuant | kMbForward | kMbPattern | kMbWeightCode},
    {"0000 01", kMbQuant | kMbPattern | kMbWeightCode},
    {"0000 101", kMbQuant | kMbIntra},
    {"11", kMbPattern | kMbCompatible},
    {"0001 01", kMbQuant | kMbPattern | kMbCompatible},
};

// Table B.7: B pictures with spatial scalability.
const VlcCode kMacroblockTypeSpatialB[] = {
    {"10", kMbForward | kMbBackward},
    {"11", kMbForward | kMbBackward | kMbPattern},
    {"010", kMbBackward},
    {"011", kMbBackward | kMbPattern},
    {"0010", kMbForward},
    {"0011", kMbForward | kMbPattern},
    {"0001 10", kMbBackward | kMbWeightCode},
    {"0001 11", kMbBackward | kMbPattern | kMbWeightCode},
    {"0001 00", kMbForward | kMbWeightCode},
    {"0001 01", kMbForward | kMbPattern | kMbWeightCode},
    {"0000 110", kMbIntra},
    {"0000 111", kMbQuant | kMbForward | kMbBackward | kMbPattern},
    {"0000 100", kMbQuant | kMbForward | kMbPattern},
    {"0000 101", kMbQuant | kMbBackward | kMbPattern},
    {"0000 0100", kMbQuant | kMbForward | kMbPattern | kMbWeightCode},
    {"0000 0101", kMbQuant | kMbBackward | kMbPattern | kMbWeightCode},
    {"0000 0110 0", kMbQuant | kMbIntra},
    {"0000 0111 0", kMbPattern | kMbCompatible},
    {"0000 0110 1", kMbQuant | kMbPattern | kMbCompatible},
    {"0000 0111 1", kMbCompatible}, // not coded, compatible
};

// Table B.8: SNR enhancement layer.
const VlcCode kMacroblockTypeSnr[] = {
    {"1", kMbPattern}, {"01", kMbQuant | kMbPattern}, {"001", 0}, // not coded
};

const VlcCode kCodedBlockPattern[] = {
    {"111", 60},         {"1101", 4},         {"1100", 8},         {"1011", 16},
    {"1010", 32},        {"1001 1", 12},      {"1001 0", 48},      {"1000 1", 20},
    {"1000 0", 40},      {"0111 1", 28},      {"0111 0", 44},      {"0110 1", 52},
    {"0110 0", 56},      {"0101 1", 1},       {"0101 0", 61},      {"0100 1", 2},
    {"0100 0", 62},      {"0011 11", 24},     {"0011 10", 36},     {"0011 01", 3},
    {"0011 00", 63},     {"0010 111", 5},     {"0010 110", 9},     {"0010 101", 17},
    {"0010 100", 33},    {"0010 011", 6},     {"0010 010", 10},    {"0010 001", 18},
    {"0010 000", 34},    {"0001 1111", 7},    {"0001 1110", 11},   {"0001 1101", 19},
    {"0001 1100", 35},   {"0001 1011", 13},   {"0001 1010", 49},   {"0001 1001", 21},
    {"0001 1000", 41},   {"0001 0111", 14},   {"0001 0110", 50},   {"0001 0101", 22},
    {"0001 0100", 42},   {"0001 0011", 15},   {"0001 0010", 51},   {"0001 0001", 23},
    {"0001 0000", 43},   {"0000 1111", 25},   {"0000 1110", 37},   {"0000 1101", 26},
    {"0000 1100", 38},   {"0000 1011", 29},   {"0000 1010", 45},   {"0000 1001", 53},
    {"0000 1000", 57},   {"0000 0111", 30},   {"0000 0110", 46},   {"0000 0101", 54},
    {"0000 0100", 58},   {"0000 0011 1", 31}, {"0000 0011 0", 47}, {"0000 0010 1", 55},
    {"0000 0010 0", 59}, {"0000 0001 1", 27}, {"0000 0001 0", 39}, {"0000 0000 1", 0},
};

// motion_code with its sign bit (1: negative).
const VlcCode kMotionCode[] = {
    {"1", 0},
    {"01 0", 1},
    {"01 1", -1},
    {"001 0", 2},
    {"001 1", -2},
    {"0001 0", 3},
    {"0001 1", -3},
    {"0000 11 0", 4},
    {"0000 11 1", -4},
    {"0000 101 0", 5},
    {"0000 101 1", -5},
    {"0000 100 0", 6},
    {"0000 100 1", -6},
    {"0000 011 0", 7},
    {"0000 011 1", -7},
    {"0000 0101 1 0", 8},
    {"0000 0101 1 1", -8},
    {"0000 0101 0 0", 9},
    {"0000 0101 0 1", -9},
    {"0000 0100 1 0", 10},
    {"0000 0100 1 1", -10},
    {"0000 0100 01 0", 11},
    {"0000 0100 01 1", -11},
    {"0000 0100 00 0", 12},
    {"0000 0100 00 1", -12},
    {"0000 0011 11 0", 13},
    {"0000 0011 11 1", -13},
    {"0000 0011 10 0", 14},
    {"0000 0011 10 1", -14},
    {"0000 0011 01 0", 15},
    {"0000 0011 01 1", -15},
    {"0000 0011 00 0", 16},
    {"0000 0011 00 1", -16},
};

const VlcCode kDctDcSizeLuminance[] = {
    {"100", 0},      {"00", 1},        {"01", 2},           {"101", 3},
    {"110", 4},      {"1110", 5},      {"1111 0", 6},       {"1111 10", 7},
    {"1111 110", 8}, {"1111 1110", 9}, {"1111 1111 0", 10}, {"1111 1111 1", 11},
};

const VlcCode kDctDcSizeChrominance[] = {
    {"00", 0},
    {"01", 1},
    {"10", 2},
    {"110", 3},
    {"1110", 4},
    {"1111 0", 5},
    {"1111 10", 6},
    {"1111 110", 7},
    {"1111 1110", 8},
    {"1111 1111 0", 9},
    {"1111 1111 10", 10},
    {"1111 1111 11", 11},
};

// Codes of 12 bits and more that both coefficient tables share.
const VlcCode kDctLongCodes[] = {
    {"0000 0001 1100", rl(3, 3)},       {"0000 0001 0010", rl(4, 3)},
    {"0000 0001 1110", rl(6, 2)},       {"0000 0001 0101", rl(7, 2)},
    {"0000 0001 0001", rl(8, 2)},       {"0000 0001 1111", rl(17, 1)},
    {"0000 0001 1010", rl(18, 1)},      {"0000 0001 1001", rl(19, 1)},
    {"0000 0001 0111", rl(20, 1)},      {"0000 0001 0110", rl(21, 1)},
    {"0000 0000 1011 0", rl(1, 6)},     {"0000 0000 1010 1", rl(1, 7)},
    {"0000 0000 1010 0", rl(2, 5)},     {"0000 0000 1001 1", rl(3, 4)},
    {"0000 0000 1001 0", rl(5, 3)},     {"0000 0000 1000 1", rl(9, 2)},
    {"0000 0000 1000 0", rl(10, 2)},    {"0000 0000 1111 1", rl(22, 1)},
    {"0000 0000 1111 0", rl(23, 1)},    {"0000 0000 1110 1", rl(24, 1)},
    {"0000 0000 1110 0", rl(25, 1)},    {"0000 0000 1101 1", rl(26, 1)},
    {"0000 0000 0111 11", rl(0, 16)},   {"0000 0000 0111 10", rl(0, 17)},
    {"0000 0000 0111 01", rl(0, 18)},   {"0000 0000 0111 00", rl(0, 19)},
    {"0000 0000 0110 11", rl(0, 20)},   {"0000 0000 0110 10", rl(0, 21)},
    {"0000 0000 0110 01", rl(0, 22)},   {"0000 0000 0110 00", rl(0, 23)},
    {"0000 0000 0101 11", rl(0, 24)},   {"0000 0000 0101 10", rl(0, 25)},
    {"0000 0000 0101 01", rl(0, 26)},   {"0000 0000 0101 00", rl(0, 27)},
    {"0000 0000 0100 11", rl(0, 28)},   {"0000 0000 0100 10", rl(0, 29)},
    {"0000 0000 0100 01", rl(0, 30)},   {"0000 0000 0100 00", rl(0, 31)},
    {"0000 0000 0011 000", rl(0, 32)},  {"0000 0000 0010 111", rl(0, 33)},
    {"0000 0000 0010 110", rl(0, 34)},  {"0000 0000 0010 101", rl(0, 35)},
    {"0000 0000 0010 100", rl(0, 36)},  {"0000 0000 0010 011", rl(0, 37)},
    {"0000 0000 0010 010", rl(0, 38)},  {"0000 0000 0010 001", rl(0, 39)},
    {"0000 0000 0010 000", rl(0, 40)},  {"0000 0000 0011 111", rl(1, 8)},
    {"0000 0000 0011 110", rl(1, 9)},   {"0000 0000 0011 101", rl(1, 10)},
    {"0000 0000 0011 100", rl(1, 11)},  {"0000 0000 0011 011", rl(1, 12)},
    {"0000 0000 0011 010", rl(1, 13)},  {"0000 0000 0011 001", rl(1, 14)},
    {"0000 0000 0001 0011", rl(1, 15)}, {"0000 0000 0001 0010", rl(1, 16)},
    {"0000 0000 0001 0001", rl(1, 17)}, {"0000 0000 0001 0000", rl(1, 18)},
    {"0000 0000 0001 0100", rl(6, 3)},  {"0000 0000 0001 1010", rl(11, 2)},
    {"0000 0000 0001 1001", rl(12, 2)}, {"0000 0000 0001 1000", rl(13, 2)},
    {"0000 0000 0001 0111", rl(14, 2)}, {"0000 0000 0001 0110", rl(15, 2)},
    {"0000 0000 0001 0101", rl(16, 2)}, {"0000 0000 0001 1111", rl(27, 1)},
    {"0000 0000 0001 1110", rl(28, 1)}, {"0000 0000 0001 1101", rl(29, 1)},
    {"0000 0000 0001 1100", rl(30, 1)}, {"0000 0000 0001 1011", rl(31, 1)},
};

// Table zero. "1s" as the first coefficient of a non-intra block is handled by the caller.
const VlcCode kDctCoefficients0[] = {
    {"10", kDctEob},
    {"11", rl(0, 1)},
    {"011", rl(1, 1)},
    {"0100", rl(0, 2)},
    {"0101", rl(2, 1)},
    {"0010 1", rl(0, 3)},
    {"0011 1", rl(3, 1)},
    {"0011 0", rl(4, 1)},
    {"0001 10", rl(1, 2)},
    {"0001 11", rl(5, 1)},
    {"0001 01", rl(6, 1)},
    {"0001 00", rl(7, 1)},
    {"0000 110", rl(0, 4)},
    {"0000 100", rl(2, 2)},
    {"0000 111", rl(8, 1)},
    {"0000 101", rl(9, 1)},
    {"0000 01", kDctEscape},
    {"0010 0110", rl(0, 5)},
    {"0010 0001", rl(0, 6)},
    {"0010 0101", rl(1, 3)},
    {"0010 0100", rl(3, 2)},
    {"0010 0111", rl(10, 1)},
    {"0010 0011", rl(11, 1)},
    {"0010 0010", rl(12, 1)},
    {"0010 0000", rl(13, 1)},
    {"0000 0010 10", rl(0, 7)},
    {"0000 0011 00", rl(1, 4)},
    {"0000 0010 11", rl(2, 3)},
    {"0000 0011 11", rl(4, 2)},
    {"0000 0010 01", rl(5, 2)},
    {"0000 0011 10", rl(14, 1)},
    {"0000 0011 01", rl(15, 1)},
    {"0000 0010 00", rl(16, 1)},
    {"0000 0001 1101", rl(0, 8)},
    {"0000 0001 1000", rl(0, 9)},
    {"0000 0001 0011", rl(0, 10)},
    {"0000 0001 0000", rl(0, 11)},
    {"0000 0001 1011", rl(1, 5)},
    {"0000 0001 0100", rl(2, 4)},
    {"0000 0000 1101 0", rl(0, 12)},
    {"0000 0000 1100 1", rl(0, 13)},
    {"0000 0000 1100 0", rl(0, 14)},
    {"0000 0000 1011 1", rl(0, 15)},
};

// Table one, for intra blocks when intra_vlc_format is set.
const VlcCode kDctCoefficients1[] = {
    {"0110", kDctEob},          {"10", rl(0, 1)},           {"010", rl(1, 1)},
    {"110", rl(0, 2)},          {"0010 1", rl(2, 1)},       {"0111", rl(0, 3)},
    {"0011 1", rl(3, 1)},       {"0001 10", rl(4, 1)},      {"0011 0", rl(1, 2)},
    {"0001 11", rl(5, 1)},      {"0000 110", rl(6, 1)},     {"0000 100", rl(7, 1)},
    {"1110 0", rl(0, 4)},       {"0000 111", rl(2, 2)},     {"0000 101", rl(8, 1)},
    {"1111 000", rl(9, 1)},     {"0000 01", kDctEscape},    {"1110 1", rl(0, 5)},
    {"0001 01", rl(0, 6)},      {"1111 001", rl(1, 3)},     {"0010 0110", rl(3, 2)},
    {"1111 010", rl(10, 1)},    {"0010 0001", rl(11, 1)},   {"0010 0101", rl(12, 1)},
    {"0010 0100", rl(13, 1)},   {"0001 00", rl(0, 7)},      {"0010 0111", rl(1, 4)},
    {"1111 1100", rl(2, 3)},    {"1111 1101", rl(4, 2)},    {"0000 0010 0", rl(5, 2)},
    {"0000 0010 1", rl(14, 1)}, {"0000 0011 1", rl(15, 1)}, {"0000 0011 01", rl(16, 1)},
    {"1111 011", rl(0, 8)},     {"1111 100", rl(0, 9)},     {"0010 0011", rl(0, 10)},
    {"0010 0010", rl(0, 11)},   {"0010 0000", rl(1, 5)},    {"0000 0011 00", rl(2, 4)},
    {"1111 1010", rl(0, 12)},   {"1111 1011", rl(0, 13)},   {"1111 1110", rl(0, 14)},
    {"1111 1111", rl(0, 15)},
};

std::string stripSpaces(const char* bits) {
    std::string s;
    for (const char* p = bits; *p; ++p)
        if (*p == '0' || *p == '1')
            s += *p;
    return s;
}

std::vector<VlcCode> concat(std::span<const VlcCode> a, std::span<const VlcCode> b) {
    std::vector<VlcCode> v(a.begin(), a.end());
    v.insert(v.end(), b.begin(), b.end());
    return v;
}

} // namespace

VlcTable::VlcTable(std::span<const VlcCode> codes, int primaryBits) : primaryBits_(primaryBits) {
    const size_t primarySize = size_t{1} << primaryBits;
    table_.assign(primarySize, VlcEntry{0, 0});
    // Longest code below each primary prefix decides the size of its sub-table.
    std::vector<int> subBits(primarySize, 0);
    for (const VlcCode& c : codes) {
        std::string s = stripSpaces(c.bits);
        const int len = static_cast<int>(s.size());
        if (len > primaryBits) {
            size_t prefix = std::stoul(s.substr(0, primaryBits), nullptr, 2);
            subBits[prefix] = std::max(subBits[prefix], len - primaryBits);
        }
    }
    for (size_t p = 0; p < primarySize; ++p) {
        if (subBits[p] == 0)
            continue;
        table_[p] =
            VlcEntry{static_cast<int16_t>(table_.size()), static_cast<uint8_t>(kLink | subBits[p])};
        table_.resize(table_.size() + (size_t{1} << subBits[p]), VlcEntry{0, 0});
    }
    for (const VlcCode& c : codes) {
        std::string s = stripSpaces(c.bits);
        const int len = static_cast<int>(s.size());
        const size_t code = std::stoul(s, nullptr, 2);
        size_t first, count;
        if (len <= primaryBits) {
            first = code << (primaryBits - len);
            count = size_t{1} << (primaryBits - len);
        } else {
            const size_t prefix = code >> (len - primaryBits);
            const int sb = table_[prefix].length & ~kLink;
            const size_t rest = code & ((size_t{1} << (len - primaryBits)) - 1);
            first = table_[prefix].value + (rest << (primaryBits + sb - len));
            count = size_t{1} << (primaryBits + sb - len);
        }
        for (size_t i = first; i < first + count; ++i) {
            if (table_[i].length != 0)
                std::abort(); // overlapping codes: a broken table, not bad input
            table_[i] = VlcEntry{c.value, static_cast<uint8_t>(len)};
        }
    }
}

VlcTables::VlcTables()
    : macroblockAddressIncrement(kMacroblockAddressIncrement, 11),
      macroblockTypeI(kMacroblockTypeI, 2), macroblockTypeP(kMacroblockTypeP, 6),
      macroblockTypeB(kMacroblockTypeB, 6), macroblockTypeD(kMacroblockTypeD, 1),
      macroblockTypeSpatialI(kMacroblockTypeSpatialI, 4),
      macroblockTypeSpatialP(kMacroblockTypeSpatialP, 7),
      macroblockTypeSpatialB(kMacroblockTypeSpatialB, 9), macroblockTypeSnr(kMacroblockTypeSnr, 3),
      codedBlockPattern(kCodedBlockPattern, kCodedBlockPatternBits),
      motionCode(kMotionCode, kMotionCodeBits),
      dctDcSizeLuminance(kDctDcSizeLuminance, kDctDcSizeLuminanceBits),
      dctDcSizeChrominance(kDctDcSizeChrominance, kDctDcSizeChrominanceBits),
      dctCoefficients0(concat(kDctCoefficients0, kDctLongCodes), kDctPrimaryBits),
      dctCoefficients1(concat(kDctCoefficients1, kDctLongCodes), kDctPrimaryBits) {
    // bits: the next `width` stream bits as an index; the entry for the code they begin with.
    auto fastEntry = [](const VlcTable& table, uint32_t bits, int width) {
        const VlcEntry e = table.lookup(bits << (32 - width));
        if (e.value == kDctEob)
            return DctFastEntry::make(e.length, 0, 0, 0);
        if (e.length != 0 && e.value != kDctEscape && e.length < width)
            return DctFastEntry::make(e.length + 1, (e.value >> 6) + 1, e.value & 63,
                                      static_cast<int>((bits >> (width - 1 - e.length)) & 1));
        return DctFastEntry{};
    };
    const VlcTable* full[2] = {&dctCoefficients0, &dctCoefficients1};
    for (int t = 0; t < 2; ++t)
        for (uint32_t index = 0; index < (1u << kDctFastBits); ++index)
            dctFast[t].fast[index] = fastEntry(*full[t], index, kDctFastBits);
    for (int t = 0; t < 2; ++t)
        for (uint32_t index = 0; index < (1u << kDctLongBits); ++index)
            dctFast[t].longCodes[index] = fastEntry(*full[t], index, kDctLongZeros + kDctLongBits);
}

const VlcTables& vlcTables() {
    static const VlcTables tables;
    return tables;
}

const uint8_t kScan[2][64] = {
    {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
     41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
     30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63},
    {0,  8,  16, 24, 1,  9,  2,  10, 17, 25, 32, 40, 48, 56, 57, 49, 41, 33, 26, 18, 3,  11,
     4,  12, 19, 27, 34, 42, 50, 58, 35, 43, 51, 59, 20, 28, 5,  13, 6,  14, 21, 29, 36, 44,
     52, 60, 37, 45, 53, 61, 22, 30, 7,  15, 23, 31, 38, 46, 54, 62, 39, 47, 55, 63},
};

const uint8_t kDefaultIntraMatrix[64] = {
    8,  16, 19, 22, 26, 27, 29, 34, 16, 16, 22, 24, 27, 29, 34, 37, 19, 22, 26, 27, 29, 34,
    34, 38, 22, 22, 26, 27, 29, 34, 37, 40, 22, 26, 27, 29, 32, 35, 40, 48, 26, 27, 29, 32,
    35, 40, 48, 58, 26, 27, 29, 34, 38, 46, 56, 69, 27, 29, 35, 38, 46, 56, 69, 83,
};

const uint8_t kNonLinearQuantiserScale[32] = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  10, 12, 14, 16, 18, 20,  22,
    24, 28, 32, 36, 40, 44, 48, 52, 56, 64, 72, 80, 88, 96, 104, 112,
};

} // namespace mpeg
