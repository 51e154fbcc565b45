// Internal state of the decoder, shared by the files that implement its layers (headers,
// slices/macroblocks, motion compensation, pictures, scalability and output). Fields are named
// after the syntax elements they hold and grouped per sequence, picture and slice. One state
// decodes one bitstream; scalable decoding links a second state to it (see scalable.cpp).
#pragma once

#include "media/mpeg/bitstream.h"
#include "media/mpeg/decoder.h"
#include "media/mpeg/demux.h"
#include "media/mpeg/diagnostics.h"
#include "media/mpeg/kernels.h"
#include "media/mpeg/output.h"
#include "media/mpeg/vlc.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace mpeg {

constexpr int kMaxPictureWidth = 4096;
constexpr int kMaxPictureHeight = 4096;
constexpr int kMaxBlocksPerMacroblock = 12;

// picture_structure
constexpr int kTopField = 1;
constexpr int kBottomField = 2;
constexpr int kFramePicture = 3;

// picture_coding_type
constexpr int kIPicture = 1;
constexpr int kPPicture = 2;
constexpr int kBPicture = 3;
constexpr int kDPicture = 4;

// frame_motion_type / field_motion_type
constexpr int kMotionField = 1;
constexpr int kMotionFrame = 2; // 16x8 in field pictures
constexpr int kMotion16x8 = 2;
constexpr int kMotionDualPrime = 3;

// scalable_mode of the sequence scalable extension; kNoScalability when there is none.
constexpr int kNoScalability = -1;
constexpr int kDataPartitioning = 0;
constexpr int kSpatialScalability = 1;
constexpr int kSnrScalability = 2;
constexpr int kTemporalScalability = 3;

// Spatial prediction weight of one field (spatial_temporal_weight, Table 7-21), in halves.
constexpr int kWeightTemporal = 0; // temporal prediction only
constexpr int kWeightHalf = 1;     // (temporal + spatial) / 2
constexpr int kWeightSpatial = 2;  // spatial prediction only

struct SequenceState {
    int horizontal_size = 0;
    int vertical_size = 0;
    int aspect_ratio_information = 0;
    int frame_rate_code = 0;
    int bit_rate_value = 0;
    int vbv_buffer_size = 0;
    int constrained_parameters_flag = 0;
    // sequence extension
    bool mpeg2 = false;
    int profile_and_level_indication = 0;
    int progressive_sequence = 1;
    int chroma_format = 1;
    int low_delay = 0;
    int frame_rate_extension_n = 0;
    int frame_rate_extension_d = 0;
    // sequence display extension
    int video_format = 0;
    int colour_primaries = 0;
    int transfer_characteristics = 0;
    int matrix_coefficients = 5;
    int display_horizontal_size = 0;
    int display_vertical_size = 0;
    // sequence scalable extension
    int scalable_mode = kNoScalability;
    int layer_id = 0;
    int lower_layer_prediction_horizontal_size = 0;
    int lower_layer_prediction_vertical_size = 0;
    int horizontal_subsampling_factor_m = 1;
    int horizontal_subsampling_factor_n = 1;
    int vertical_subsampling_factor_m = 1;
    int vertical_subsampling_factor_n = 1;
    // quantiser matrices, raster order
    uint8_t intra_quantiser_matrix[64] = {};
    uint8_t non_intra_quantiser_matrix[64] = {};
    uint8_t chroma_intra_quantiser_matrix[64] = {};
    uint8_t chroma_non_intra_quantiser_matrix[64] = {};
};

struct GopState {
    int time_code = 0;
    int closed_gop = 0;
    int broken_link = 0;
};

struct PictureState {
    int temporal_reference = 0;
    int picture_coding_type = 0;
    int vbv_delay = 0;
    int full_pel_forward_vector = 0;
    int full_pel_backward_vector = 0;
    int f_code[2][2] = {{1, 1}, {1, 1}};
    // picture coding extension
    int intra_dc_precision = 0;
    int picture_structure = kFramePicture;
    int top_field_first = 0;
    int frame_pred_frame_dct = 1;
    int concealment_motion_vectors = 0;
    int q_scale_type = 0;
    int intra_vlc_format = 0;
    int alternate_scan = 0;
    int repeat_first_field = 0;
    int chroma_420_type = 0;
    int progressive_frame = 1;
    // picture spatial scalable extension; spatial: it is present (the spatial macroblock_type
    // tables and the spatial prediction apply)
    bool spatial = false;
    int lower_layer_temporal_reference = 0;
    int lower_layer_horizontal_offset = 0;
    int lower_layer_vertical_offset = 0;
    int spatial_temporal_weight_code_table_index = 0;
    int lower_layer_progressive_frame = 1;
    int lower_layer_deinterlaced_field_select = 1;
};

struct SliceState {
    int quantiser_scale_code = 1;
    int quantiser_scale = 2;
    int dc_dct_pred[3] = {};
    int PMV[2][2][2] = {};       // [r][s][t]
    int priority_breakpoint = 0; // data partitioning
};

// Motion of one macroblock, kept for skipped macroblocks of B pictures.
struct MacroblockMotion {
    int macroblock_type = 0;
    int motion_type = kMotionFrame;
    int motion_vertical_field_select[2][2] = {};
    int vector[2][2][2] = {};  // [r][s][t], half-sample units (field units for field vectors)
    int dual_prime[2][2] = {}; // derived vectors for the opposite parity, [field][t]
};

class Plane {
public:
    void allocate(int width, int height, uint8_t fill);
    uint8_t* data() { return data_.get(); }
    const uint8_t* data() const { return data_.get(); }
    int width = 0;
    int height = 0;
    ptrdiff_t stride = 0;

private:
    std::unique_ptr<uint8_t[]> data_;
};

struct Frame {
    Plane plane[3];
    int progressive_frame = 1;
};

// Spatial prediction of one macroblock: weights of its top and bottom field (frame pictures;
// field pictures use the top one) and the weight class, which decides how many field motion
// vectors a field-based frame macroblock carries.
struct SpatialWeights {
    int top = kWeightTemporal;
    int bottom = kWeightTemporal;
    int weightClass = 0;
};

struct DecoderState {
    DecoderState();

    // Input.
    std::unique_ptr<ByteSource> source;
    BlockReader blocks;
    SystemDemux demux;
    BitReader bs;
    Diagnostics diag;
    std::string errorText;
    bool systemStream = false;
    bool isOpen = false;
    bool ended = false;
    // An enhancement-layer reader for SNR scalability or data partitioning: headers are read and
    // kept, no frame stores are allocated and no picture is decoded.
    bool headersOnly = false;

    const VlcTables& vlc;
    const Kernels* kernels;
    // What picks kernels: the double-precision IDCT (with the plain loops), or the plain kernels
    // instead of the SIMD ones.
    bool referenceIdct = false;
    bool forcePlainKernels = false;
    void chooseKernels() {
        kernels = referenceIdct       ? &referenceKernels()
                  : forcePlainKernels ? &plainKernels()
                                      : &fastKernels();
    }

    SequenceState seq;
    GopState gop;
    PictureState pic;
    SliceState slice;
    MacroblockMotion prevMotion;
    // The scan order and the matrix-times-quantiser_scale products of the coefficient loop, per
    // [intra][chroma matrix], made for quantiser_scale `scale` (-1: not made). Reset by every
    // picture, whose headers may change the matrices and the scan.
    struct ScanWeights {
        int scale = -1;
        // Per scan index: the raster position and the weight, side by side (one base address
        // for both in the coefficient loop).
        struct Entry {
            uint16_t weight;
            uint16_t position;
        } at[64];
    };
    ScanWeights scanWeights[2][2];

    // Picture size found by open(); the 32-bit output buffer has this size.
    int videoWidth = 0;
    int videoHeight = 0;

    // Geometry of the current sequence.
    int mb_width = 0;
    int mb_height = 0; // frame macroblock rows
    int codedWidth = 0;
    int codedHeight = 0;
    int chromaWidth = 0;
    int chromaHeight = 0;
    int blockCount = 6;

    // Frame stores and reordering.
    Frame frames[3];
    int forwardIndex = 0;
    int backwardIndex = 1;
    int auxIndex = 2;
    int currentIndex = 1;
    bool haveStores = false;
    int lastFrameIndex = -1;          // store of the latest complete frame, in decoding order
    bool secondField = false;         // a first field is waiting for its partner
    bool decodingSecondField = false; // the current picture completes a frame
    int firstFieldStructure = 0;
    bool firstFieldIsReference = false;
    int referenceFrames = 0;
    int pictureCount = 0;
    int framesWritten = 0;

    // Per-picture macroblock bookkeeping. mbDone marks the macroblocks reconstructed from the
    // stream; the others are concealed when the picture ends.
    int picMbRows = 0;
    int picMbCount = 0;
    int mbDecoded = 0;
    std::vector<uint8_t> mbDone;

    // Scalability (scalable.cpp). SNR scalability and data partitioning: the state of the base
    // layer owns the enhancement layer's (partition 1's) reader and headers, kept picture by
    // picture in step with its own. Spatial scalability: the state of the enhancement layer owns
    // a complete decoder of the lower layer and decodes one lower-layer frame per frame.
    std::unique_ptr<DecoderState> enhancement;
    std::unique_ptr<DecoderState> lowerLayer;
    bool enhancementInStep = false; // enhancement is at the picture the base is decoding
    bool snrActive = false;         // this picture adds SNR enhancement coefficients
    int activePartition = 0;        // data partitioning: the partition bs reads now
    // SNR enhancement layer: address of its next coded macroblock (kSnrUnknown: read the next
    // slice header first; kSnrNone: no more in this picture).
    static constexpr int kSnrUnknown = -1;
    static constexpr int kSnrNone = 1 << 30;
    int snrAddress = kSnrUnknown;
    // Spatial scalability: the upsampled lower-layer frame at this layer's coded size, and the
    // lower-layer frame with one field deinterlaced (both fields for interlaced pictures).
    Frame spatialPrediction;
    Frame lowerFields[2];
    bool spatialReady = false;

    // Output.
    uint32_t* outputBuffer = nullptr;
    bool outputEnabled = false;
    OutputStage outputStage;
    std::function<void(const FrameView&)> frameCallback;

    alignas(32) int16_t block[kMaxBlocksPerMacroblock][64] = {};
    // SNR scalability: coefficients of both layers before saturation, summed.
    alignas(32) int32_t sumBlock[kMaxBlocksPerMacroblock][64] = {};

    // bitstream setup and the picture loop (decoder.cpp)
    void resetInput();
    bool decodePicture(); // false at the end of the stream
    // headers.cpp
    bool readSequenceStart();  // up to and including the first sequence header
    bool readPictureHeaders(); // up to a picture header and its extensions
    void sequenceHeader();
    void extensionAndUserData(bool afterSequenceHeader = false);
    void extension(bool afterSequenceHeader);
    void sequenceExtension();
    void sequenceDisplayExtension();
    void quantMatrixExtension();
    void sequenceScalableExtension();
    void pictureCodingExtension();
    void pictureSpatialScalableExtension();
    void groupOfPicturesHeader();
    void pictureHeader();
    bool setupSequence();
    // slice.cpp
    void decodeSlices();
    bool decodeSlice(int slice_vertical_position);
    bool decodeSliceMacroblocks(int slice_vertical_position);
    bool decodeMacroblock(int mbAddress);
    void skippedMacroblock(int mbAddress);
    // The skipped macroblocks mbAddress .. mbAddress + count - 1: a row's share of the run at a
    // time where the picture allows it, else one by one.
    void skippedMacroblocks(int mbAddress, int count);
    bool macroblockAddressIncrement(int& increment);
    // The macroblock header's parts, read with bs or a LocalBits on it.
    bool motionVectors(int s, MacroblockMotion& m, int motion_vector_count, bool fieldFormat,
                       bool dmv, int mbAddress);
    template <typename Reader>
    bool motionComponent(Reader& bs, int pmv, int f_code, int& out, int mbAddress);
    template <typename Reader> int dmvector(Reader& bs);
    // coded_block_pattern with its 4:2:2 / 4:4:4 extension bits; false on an invalid code.
    bool codedBlockPattern(int& cbp);
    void resetIntraDcPredictors();
    void setQuantiserScale(int quantiser_scale_code);
    void blockDestination(int n, int mbx, int mby, int dct_type, uint8_t*& dst, ptrdiff_t& stride);
    // motion.cpp
    void formPredictions(const MacroblockMotion& m, int mbx, int mby);
    void predict(const Frame& ref, int refField, int dstField, int bx, int by, int h, int mvx,
                 int mvy, bool average);
    // predict() for frame prediction of all three planes of a 4:2:0 frame, h = 16.
    void predictFrame420(const Frame& ref, int bx, int by, int mvx, int mvy, bool average);
    // predictFrame420 for count macroblocks side by side in row mby, all with one vector.
    void predictRun420(const Frame& ref, int mbx, int mby, int count, int mvx, int mvy,
                       bool average);
    void dualPrimeVectors(MacroblockMotion& m, const int dmvector[2], int mvx, int mvy);
    // picture.cpp
    bool allocateStores();
    void startPicture();
    void endPicture();
    void writeFrame(int index);
    void finish();
    void concealMacroblock(int mbAddress);
    void concealMissingMacroblocks();
    // scalable.cpp
    int scalability() const; // kNoScalability, kDataPartitioning, kSpatialScalability, kSnr..
    void enhancementNextPicture();
    void usePartition(int partition) {
        if (partition != activePartition) {
            std::swap(bs, enhancement->bs);
            activePartition = partition;
        }
    }
    bool startPartition1Slice(uint32_t sliceCode);
    void skipSlices();
    void snrStartPicture();
    bool snrMacroblock(int mbAddress, uint32_t& codedMask, int& dct_type);
    bool snrReportedEnd = false;
    bool snrReadMacroblock(bool keep, uint32_t& codedMask, int& dct_type);
    bool readSummedBlocks(int cbp); // non-intra blocks into sumBlock (slice.cpp)
    void snrNextSlice();
    void snrAdvance();
    void snrReconstruct(int mbAddress, uint32_t baseCoded, bool intra, int dct_type);
    void advanceLowerLayer();
    void formSpatialPrediction();
    template <typename Reader> SpatialWeights spatialWeights(Reader& bs, int type);
    void combineSpatial(int mbx, int mby, int top, int bottom);
    // Rows of macroblock (mbx, mby) in plane c of a frame store: column, first frame row, step
    // between rows (2 in field pictures), size.
    void macroblockRows(int c, int mbx, int mby, int& x, int& y, int& step, int& w, int& h) const;
    void sliceHeaderTail();
};

} // namespace mpeg
