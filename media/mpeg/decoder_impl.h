// Internal state of the decoder, shared by the files that implement its layers (headers,
// slices/macroblocks, motion compensation, pictures and output). Fields are named after the
// syntax elements they hold and grouped per sequence, picture and slice.
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
    // sequence scalable extension (-1: none)
    int scalable_mode = -1;
    int layer_id = 0;
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
};

struct SliceState {
    int quantiser_scale_code = 1;
    int quantiser_scale = 2;
    int dc_dct_pred[3] = {};
    int PMV[2][2][2] = {}; // [r][s][t]
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

    const VlcTables& vlc;
    const Kernels* kernels;

    SequenceState seq;
    GopState gop;
    PictureState pic;
    SliceState slice;
    MacroblockMotion prevMotion;

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
    bool secondField = false;         // a first field is waiting for its partner
    bool decodingSecondField = false; // the current picture completes a frame
    int firstFieldStructure = 0;
    bool firstFieldIsReference = false;
    int referenceFrames = 0;
    int pictureCount = 0;
    int framesWritten = 0;

    // Per-picture macroblock bookkeeping.
    int picMbRows = 0;
    int picMbCount = 0;
    int mbDecoded = 0;

    // Output.
    uint32_t* outputBuffer = nullptr;
    bool outputEnabled = false;
    OutputStage outputStage;
    std::function<void(const FrameView&)> frameCallback;

    alignas(32) int16_t block[kMaxBlocksPerMacroblock][64] = {};

    // bitstream setup (decoder.cpp)
    void resetInput();
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
    void groupOfPicturesHeader();
    void pictureHeader();
    bool setupSequence();
    // slice.cpp
    void decodeSlices();
    bool decodeSlice(int slice_vertical_position);
    bool decodeMacroblock(int mbAddress);
    void skippedMacroblock(int mbAddress);
    bool macroblockAddressIncrement(int& increment);
    bool motionVectors(int s, MacroblockMotion& m, int motion_vector_count, bool fieldFormat,
                       bool dmv, int mbAddress);
    bool motionComponent(int pmv, int f_code, int& out, int mbAddress);
    int dmvector();
    void resetIntraDcPredictors();
    void setQuantiserScale(int quantiser_scale_code);
    void blockDestination(int n, int mbx, int mby, int dct_type, uint8_t*& dst, ptrdiff_t& stride);
    // motion.cpp
    void formPredictions(const MacroblockMotion& m, int mbx, int mby);
    void predict(const Frame& ref, int refField, int dstField, int bx, int by, int h, int mvx,
                 int mvy, bool average);
    void dualPrimeVectors(MacroblockMotion& m, const int dmvector[2], int mvx, int mvy);
    // picture.cpp
    bool allocateStores();
    void startPicture();
    void endPicture();
    void writeFrame(int index);
    void finish();
};

} // namespace mpeg
