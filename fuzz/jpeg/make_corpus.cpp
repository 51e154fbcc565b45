// Writes the JPEG fuzz target's seed corpus with libjpeg: small pictures of each kind the
// decoder meets (baseline, progressive, arithmetic, greyscale, restart markers, odd sizes,
// two and four components), colour files followed by an alpha file, and truncated copies.
// Build and run by hand:
//   c++ -std=c++20 fuzz/jpeg/make_corpus.cpp -ljpeg -o /tmp/make_corpus
//   /tmp/make_corpus fuzz/jpeg/corpus
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h> // needs size_t and FILE declared first

namespace {

struct Options {
    int width = 8;
    int height = 8;
    int components = 3; // 1 grey, 2 or 4 stored without colour conversion, 3 colour
    int quality = 50;
    bool progressive = false;
    bool arithmetic = false;
    bool fullChroma = false; // 4:4:4 instead of 4:2:0
    int restartRows = 0;     // a restart marker every this many MCU rows
};

std::vector<unsigned char> encode(const Options& o) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(o.width);
    info.image_height = JDIMENSION(o.height);
    info.input_components = o.components;
    info.in_color_space = o.components == 1   ? JCS_GRAYSCALE
                          : o.components == 3 ? JCS_RGB
                          : o.components == 4 ? JCS_CMYK
                                              : JCS_UNKNOWN;
    jpeg_set_defaults(&info);
    if (o.components == 2) {
        jpeg_set_colorspace(&info, JCS_UNKNOWN);
    }
    jpeg_set_quality(&info, o.quality, TRUE);
    if (o.progressive) {
        jpeg_simple_progression(&info);
    }
    info.arith_code = o.arithmetic ? TRUE : FALSE;
    info.restart_in_rows = o.restartRows;
    if (o.fullChroma && o.components == 3) {
        info.comp_info[0].h_samp_factor = 1;
        info.comp_info[0].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(size_t(o.width) * size_t(o.components));
    for (int y = 0; y < o.height; ++y) {
        for (size_t i = 0; i < row.size(); ++i) {
            row[i] = (unsigned char)((i * 37 + size_t(y) * 91) ^ (i * size_t(y)));
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&info, &r, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<unsigned char> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

void write(const std::string& path, const std::vector<unsigned char>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::fclose(f);
}

std::vector<unsigned char> join(std::vector<unsigned char> a, const std::vector<unsigned char>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<unsigned char> cut(std::vector<unsigned char> a, size_t size) {
    a.resize(size);
    return a;
}

// The last scan of a progressive file (with the table defined just before it) repeated until
// the file holds far more scans than any encoder writes.
std::vector<unsigned char> repeatLastScan(const std::vector<unsigned char>& jpeg, int copies) {
    size_t scan = jpeg.size() - 2;
    while (scan > 0 && !(jpeg[scan] == 0xFF && jpeg[scan + 1] == 0xDA)) {
        --scan;
    }
    size_t table = scan;
    while (table > 0 && !(jpeg[table] == 0xFF && jpeg[table + 1] == 0xC4)) {
        --table;
    }
    std::vector<unsigned char> out(jpeg.begin(), jpeg.end() - 2);
    for (int i = 0; i < copies; ++i) {
        out.insert(out.end(), jpeg.begin() + long(table), jpeg.end() - 2);
    }
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

// The same file claiming width x height in its frame header.
std::vector<unsigned char> withSize(std::vector<unsigned char> jpeg, int width, int height) {
    for (size_t i = 2; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = (unsigned char)(height >> 8);
            jpeg[i + 6] = (unsigned char)height;
            jpeg[i + 7] = (unsigned char)(width >> 8);
            jpeg[i + 8] = (unsigned char)width;
            break;
        }
    }
    return jpeg;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const auto baseline = encode({.width = 13, .height = 7});
    const auto grey = encode({.width = 13, .height = 7, .components = 1});
    const auto progressive = encode({.width = 17, .height = 9, .progressive = true});
    const auto restarts = encode({.width = 33, .height = 40, .restartRows = 1});

    write(dir + "/baseline_13x7_with_alpha.jpg", join(baseline, grey));
    write(dir + "/progressive_17x9.jpg", progressive);
    write(dir + "/progressive_grey_alpha.jpg",
          join(progressive,
               encode({.width = 17, .height = 9, .components = 1, .progressive = true})));
    write(dir + "/grey_5x3.jpg", encode({.width = 5, .height = 3, .components = 1}));
    write(dir + "/restarts_33x40.jpg", restarts);
    write(dir + "/arithmetic_444_9x11.jpg",
          encode({.width = 9, .height = 11, .arithmetic = true, .fullChroma = true}));
    write(dir + "/one_pixel.jpg", encode({.width = 1, .height = 1, .quality = 90}));
    write(dir + "/alpha_of_another_size.jpg",
          join(encode({.width = 20, .height = 12}),
               encode({.width = 6, .height = 5, .components = 1})));
    write(dir + "/two_components_6x6.jpg", encode({.width = 6, .height = 6, .components = 2}));
    write(dir + "/cmyk_7x5.jpg", encode({.width = 7, .height = 5, .components = 4}));
    write(dir + "/truncated_baseline.jpg", cut(baseline, baseline.size() / 2));
    write(dir + "/truncated_progressive.jpg", cut(progressive, progressive.size() * 2 / 3));
    write(dir + "/truncated_restarts.jpg", cut(restarts, restarts.size() - 40));
    write(dir + "/header_only.jpg", cut(baseline, 200 < baseline.size() ? 200 : 20));
    write(dir + "/oversized_header.jpg", withSize(progressive, 12288, 12288));
    write(dir + "/repeated_scans.jpg",
          repeatLastScan(encode({.width = 8, .height = 8, .components = 1, .progressive = true}),
                         300));
    return 0;
}
