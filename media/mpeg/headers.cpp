// Sequence, group-of-pictures, picture and extension headers. Values are stored as read; the
// few that would make decoding unsafe (sizes, f_code, reserved structures) are bounded here.
// Copyright, picture display and picture temporal scalable extensions are skipped.
#include "media/mpeg/decoder_impl.h"

#include <algorithm>

namespace mpeg {

namespace {
constexpr uint32_t kPictureStartCode = 0x00000100;
constexpr uint32_t kUserDataStartCode = 0x000001B2;
constexpr uint32_t kSequenceHeaderCode = 0x000001B3;
constexpr uint32_t kExtensionStartCode = 0x000001B5;
constexpr uint32_t kGroupStartCode = 0x000001B8;

void readMatrix(BitReader& bs, uint8_t* matrix) {
    for (int i = 0; i < 64; ++i)
        matrix[kScan[0][i]] = static_cast<uint8_t>(bs.get(8));
}
} // namespace

bool DecoderState::readSequenceStart() {
    for (;;) {
        const uint32_t code = bs.nextStartCode();
        bs.skip(32);
        if (code == kSequenceEndCode)
            return false;
        if (code == kSequenceHeaderCode) {
            sequenceHeader();
            extensionAndUserData(true);
            if (setupSequence())
                return true;
        }
    }
}

bool DecoderState::readPictureHeaders() {
    for (;;) {
        const uint32_t code = bs.nextStartCode();
        bs.skip(32);
        switch (code) {
        case kSequenceHeaderCode: {
            // A sequence header that cannot be decoded leaves the current one in force.
            const SequenceState previous = seq;
            sequenceHeader();
            extensionAndUserData(true);
            if (!setupSequence())
                seq = previous;
            break;
        }
        case kGroupStartCode:
            groupOfPicturesHeader();
            extensionAndUserData();
            break;
        case kPictureStartCode:
            pictureHeader();
            extensionAndUserData();
            return true;
        case kSequenceEndCode:
            return false;
        case kExtensionStartCode:
            extension(false);
            break;
        case kUserDataStartCode:
            break;
        default:
            diag.message("Unexpected next_start_code %08x (ignored)\n", code);
            break;
        }
    }
}

void DecoderState::extensionAndUserData(bool afterSequenceHeader) {
    for (;;) {
        const uint32_t code = bs.nextStartCode();
        if (code == kExtensionStartCode) {
            bs.skip(32);
            extension(afterSequenceHeader);
        } else if (code == kUserDataStartCode) {
            bs.skip(32); // the data itself is skipped by the next start code search
        } else {
            return;
        }
    }
}

void DecoderState::extension(bool afterSequenceHeader) {
    const int id = static_cast<int>(bs.get(4));
    switch (id) {
    case 1:
        // Only where it belongs: elsewhere it would change the geometry of allocated stores.
        if (afterSequenceHeader)
            sequenceExtension();
        break;
    case 2:
        sequenceDisplayExtension();
        break;
    case 3:
        quantMatrixExtension();
        break;
    case 5:
        if (afterSequenceHeader)
            sequenceScalableExtension();
        break;
    case 8:
        pictureCodingExtension();
        break;
    case 9:
        pictureSpatialScalableExtension();
        break;
    case 4:  // copyright
    case 7:  // picture display
    case 10: // picture temporal scalable
        break;
    default:
        diag.message("reserved extension start code ID %d\n", id);
        break;
    }
}

void DecoderState::sequenceHeader() {
    seq.horizontal_size = static_cast<int>(bs.get(12));
    seq.vertical_size = static_cast<int>(bs.get(12));
    seq.aspect_ratio_information = static_cast<int>(bs.get(4));
    seq.frame_rate_code = static_cast<int>(bs.get(4));
    seq.bit_rate_value = static_cast<int>(bs.get(18));
    bs.skip(1); // marker_bit
    seq.vbv_buffer_size = static_cast<int>(bs.get(10));
    seq.constrained_parameters_flag = static_cast<int>(bs.get(1));
    if (bs.get(1))
        readMatrix(bs, seq.intra_quantiser_matrix);
    else
        std::copy_n(kDefaultIntraMatrix, 64, seq.intra_quantiser_matrix);
    if (bs.get(1))
        readMatrix(bs, seq.non_intra_quantiser_matrix);
    else
        std::fill_n(seq.non_intra_quantiser_matrix, 64, uint8_t{16});
    std::copy_n(seq.intra_quantiser_matrix, 64, seq.chroma_intra_quantiser_matrix);
    std::copy_n(seq.non_intra_quantiser_matrix, 64, seq.chroma_non_intra_quantiser_matrix);

    // MPEG-1 unless a sequence extension follows.
    seq.mpeg2 = false;
    seq.progressive_sequence = 1;
    seq.chroma_format = 1;
    seq.matrix_coefficients = 5;
    seq.scalable_mode = kNoScalability;
    seq.layer_id = 0;
}

void DecoderState::sequenceExtension() {
    seq.mpeg2 = true;
    seq.profile_and_level_indication = static_cast<int>(bs.get(8));
    seq.progressive_sequence = static_cast<int>(bs.get(1));
    seq.chroma_format = static_cast<int>(bs.get(2));
    const int horizontal_size_extension = static_cast<int>(bs.get(2));
    const int vertical_size_extension = static_cast<int>(bs.get(2));
    seq.horizontal_size = (horizontal_size_extension << 12) | (seq.horizontal_size & 0xFFF);
    seq.vertical_size = (vertical_size_extension << 12) | (seq.vertical_size & 0xFFF);
    bs.skip(12); // bit_rate_extension
    bs.skip(1);  // marker_bit
    bs.skip(8);  // vbv_buffer_size_extension
    seq.low_delay = static_cast<int>(bs.get(1));
    seq.frame_rate_extension_n = static_cast<int>(bs.get(2));
    seq.frame_rate_extension_d = static_cast<int>(bs.get(5));
    seq.matrix_coefficients = 1; // until a display extension says otherwise
}

void DecoderState::sequenceDisplayExtension() {
    seq.video_format = static_cast<int>(bs.get(3));
    if (bs.get(1)) { // colour_description
        seq.colour_primaries = static_cast<int>(bs.get(8));
        seq.transfer_characteristics = static_cast<int>(bs.get(8));
        seq.matrix_coefficients = static_cast<int>(bs.get(8));
    }
    seq.display_horizontal_size = static_cast<int>(bs.get(14));
    bs.skip(1); // marker_bit
    seq.display_vertical_size = static_cast<int>(bs.get(14));
}

void DecoderState::quantMatrixExtension() {
    if (bs.get(1)) {
        readMatrix(bs, seq.intra_quantiser_matrix);
        std::copy_n(seq.intra_quantiser_matrix, 64, seq.chroma_intra_quantiser_matrix);
    }
    if (bs.get(1)) {
        readMatrix(bs, seq.non_intra_quantiser_matrix);
        std::copy_n(seq.non_intra_quantiser_matrix, 64, seq.chroma_non_intra_quantiser_matrix);
    }
    if (bs.get(1))
        readMatrix(bs, seq.chroma_intra_quantiser_matrix);
    if (bs.get(1))
        readMatrix(bs, seq.chroma_non_intra_quantiser_matrix);
}

void DecoderState::sequenceScalableExtension() {
    seq.scalable_mode = static_cast<int>(bs.get(2));
    seq.layer_id = static_cast<int>(bs.get(4));
    if (seq.scalable_mode == kSpatialScalability) {
        seq.lower_layer_prediction_horizontal_size = static_cast<int>(bs.get(14));
        bs.skip(1); // marker_bit
        seq.lower_layer_prediction_vertical_size = static_cast<int>(bs.get(14));
        seq.horizontal_subsampling_factor_m = static_cast<int>(bs.get(5));
        seq.horizontal_subsampling_factor_n = static_cast<int>(bs.get(5));
        seq.vertical_subsampling_factor_m = static_cast<int>(bs.get(5));
        seq.vertical_subsampling_factor_n = static_cast<int>(bs.get(5));
    } else if (seq.scalable_mode == kTemporalScalability) {
        if (bs.get(1)) // picture_mux_enable
            bs.skip(1);
        bs.skip(3 + 3);
        diag.message("temporal scalability not implemented\n");
    }
}

void DecoderState::groupOfPicturesHeader() {
    gop.time_code = static_cast<int>(bs.get(25));
    gop.closed_gop = static_cast<int>(bs.get(1));
    gop.broken_link = static_cast<int>(bs.get(1));
}

void DecoderState::pictureHeader() {
    pic.temporal_reference = static_cast<int>(bs.get(10));
    pic.picture_coding_type = static_cast<int>(bs.get(3));
    pic.vbv_delay = static_cast<int>(bs.get(16));
    pic.full_pel_forward_vector = pic.full_pel_backward_vector = 0;
    if (pic.picture_coding_type == kPPicture || pic.picture_coding_type == kBPicture) {
        pic.full_pel_forward_vector = static_cast<int>(bs.get(1));
        const int forward_f_code = static_cast<int>(bs.get(3));
        pic.f_code[0][0] = pic.f_code[0][1] = forward_f_code;
    }
    if (pic.picture_coding_type == kBPicture) {
        pic.full_pel_backward_vector = static_cast<int>(bs.get(1));
        const int backward_f_code = static_cast<int>(bs.get(3));
        pic.f_code[1][0] = pic.f_code[1][1] = backward_f_code;
    }
    while (bs.get(1)) // extra_bit_picture
        bs.skip(8);

    // MPEG-1 semantics unless a picture coding extension follows.
    pic.intra_dc_precision = 0;
    pic.picture_structure = kFramePicture;
    pic.top_field_first = 0;
    pic.frame_pred_frame_dct = 1;
    pic.concealment_motion_vectors = 0;
    pic.q_scale_type = 0;
    pic.intra_vlc_format = 0;
    pic.alternate_scan = 0;
    pic.repeat_first_field = 0;
    pic.progressive_frame = 1;
    pic.spatial = false;
}

void DecoderState::pictureCodingExtension() {
    pic.f_code[0][0] = static_cast<int>(bs.get(4));
    pic.f_code[0][1] = static_cast<int>(bs.get(4));
    pic.f_code[1][0] = static_cast<int>(bs.get(4));
    pic.f_code[1][1] = static_cast<int>(bs.get(4));
    pic.intra_dc_precision = static_cast<int>(bs.get(2));
    pic.picture_structure = static_cast<int>(bs.get(2));
    if (pic.picture_structure == 0) // reserved
        pic.picture_structure = kFramePicture;
    pic.top_field_first = static_cast<int>(bs.get(1));
    pic.frame_pred_frame_dct = static_cast<int>(bs.get(1));
    pic.concealment_motion_vectors = static_cast<int>(bs.get(1));
    pic.q_scale_type = static_cast<int>(bs.get(1));
    pic.intra_vlc_format = static_cast<int>(bs.get(1));
    pic.alternate_scan = static_cast<int>(bs.get(1));
    pic.repeat_first_field = static_cast<int>(bs.get(1));
    pic.chroma_420_type = static_cast<int>(bs.get(1));
    pic.progressive_frame = static_cast<int>(bs.get(1));
    if (bs.get(1)) // composite_display_flag
        bs.skipBits(1 + 3 + 1 + 7 + 8);
}

void DecoderState::pictureSpatialScalableExtension() {
    // Two's complement 15-bit offsets of the upsampled lower layer, in this layer's samples.
    auto signed15 = [](uint32_t v) { return static_cast<int>(v) - ((v & 0x4000) ? 0x8000 : 0); };
    pic.spatial = true;
    pic.lower_layer_temporal_reference = static_cast<int>(bs.get(10));
    bs.skip(1); // marker_bit
    pic.lower_layer_horizontal_offset = signed15(bs.get(15));
    bs.skip(1); // marker_bit
    pic.lower_layer_vertical_offset = signed15(bs.get(15));
    pic.spatial_temporal_weight_code_table_index = static_cast<int>(bs.get(2));
    pic.lower_layer_progressive_frame = static_cast<int>(bs.get(1));
    pic.lower_layer_deinterlaced_field_select = static_cast<int>(bs.get(1));
}

bool DecoderState::setupSequence() {
    if (seq.horizontal_size <= 0 || seq.vertical_size <= 0 ||
        seq.horizontal_size > kMaxPictureWidth || seq.vertical_size > kMaxPictureHeight)
        return false;
    if (seq.chroma_format == 0) // reserved
        seq.chroma_format = 1;
    const int new_mb_width = (seq.horizontal_size + 15) / 16;
    const int new_mb_height = (seq.mpeg2 && !seq.progressive_sequence)
                                  ? 2 * ((seq.vertical_size + 31) / 32)
                                  : (seq.vertical_size + 15) / 16;
    const int newBlockCount = seq.chroma_format == 1 ? 6 : seq.chroma_format == 2 ? 8 : 12;
    if (haveStores && new_mb_width == mb_width && new_mb_height == mb_height &&
        newBlockCount == blockCount)
        return true;
    mb_width = new_mb_width;
    mb_height = new_mb_height;
    blockCount = newBlockCount;
    codedWidth = 16 * mb_width;
    codedHeight = 16 * mb_height;
    chromaWidth = seq.chroma_format == 3 ? codedWidth : codedWidth / 2;
    chromaHeight = seq.chroma_format == 1 ? codedHeight / 2 : codedHeight;
    if (headersOnly) { // an enhancement-layer reader needs the geometry only
        haveStores = true;
        return true;
    }
    return allocateStores();
}

} // namespace mpeg
