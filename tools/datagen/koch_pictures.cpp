// The Koch scene's listing: "asm.txt", a plain-text x86 assembly listing of the surface
// subdivision and the particle walk, scrolled ten lines a second for 30 s (at least 336
// lines are shown). It has no pictures; the scene generates its textures itself.
#include "tools/datagen/groups.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace datagen {

namespace {

// 300 scrolled lines plus a full page of 36 shown at the end, and a margin.
constexpr int kMinimumLines = 340;

const char* const kRegisters[] = {"eax", "ebx", "ecx", "edx", "esi", "edi"};
const char* const kOps[] = {"mov", "add", "sub", "xor", "and", "or", "imul", "cmp", "test"};
const char* const kFpu[] = {"fld", "fadd", "fmul", "fsub", "fstp", "fxch", "fdiv"};

struct Routine {
    const char* name;
    const char* comment;
};
const Routine kRoutines[] = {
    {"koch_subdivide", "split every triangle into six, raise the apex"},
    {"koch_midpoint", "halfway position and colour coordinate"},
    {"koch_normal", "normalise((c - b) x (b - a))"},
    {"graph_sort", "merge sort of vertices by x, y, z"},
    {"graph_link", "append an edge unless the node has it"},
    {"walk_particles", "advance every particle along its edge"},
    {"walk_next_leg", "pick a neighbour, new velocity"},
    {"ring_blend", "previous frame x 0.735, zoomed 1.01"},
    {"scroll_text", "36 lines of the listing per frame"},
    {"grid_rotate", "rotating tiled scroller coordinates"},
    {"gradient_fill", "bilinear corners, x 1.4, capped"},
    {"sprite_glow", "core, glow, ring and rays"},
};

} // namespace

void drawKochPictures(PictureSink& sink) {
    std::vector<std::string> lines;
    auto add = [&lines](const std::string& s) { lines.push_back(s); };
    char buf[160];
    uint32_t state = 0x5EED;
    auto next = [&state](uint32_t n) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % n;
    };

    add("; surface.asm -- generated listing, 32-bit flat model");
    add(";");
    add("        .386p");
    add("        .model  flat");
    add("        .data");
    add("apex_height     dd      0.3265986");
    add("shrink          dd      0.4");
    add("leg_time        dd      0.25");
    add("blend_factor    dd      0.735");
    add("        .code");
    add("");
    uint32_t address = 0x00401000;
    int label = 0;
    while (int(lines.size()) < kMinimumLines + 20) {
        for (const Routine& r : kRoutines) {
            std::snprintf(buf, sizeof buf, "; %s: %s", r.name, r.comment);
            add(buf);
            std::snprintf(buf, sizeof buf, "%s proc near", r.name);
            add(buf);
            add("        push    ebp");
            add("        mov     ebp, esp");
            add("        push    esi");
            add("        push    edi");
            const int body = 14 + int(next(12));
            for (int i = 0; i < body; ++i) {
                address += 2 + next(5);
                const uint32_t kind = next(10);
                if (kind < 5) {
                    std::snprintf(buf, sizeof buf, "%08X  %-6s  %s, %s", address, kOps[next(9)],
                                  kRegisters[next(6)], kRegisters[next(6)]);
                } else if (kind < 7) {
                    std::snprintf(buf, sizeof buf, "%08X  %-6s  dword ptr [%s+%02Xh]", address,
                                  kFpu[next(7)], kRegisters[next(6)], 4 * next(16));
                } else if (kind < 8) {
                    std::snprintf(buf, sizeof buf, "%08X  %-6s  %s, [%s+%s*4]", address, "mov",
                                  kRegisters[next(6)], kRegisters[next(6)], kRegisters[next(6)]);
                } else if (kind < 9) {
                    std::snprintf(buf, sizeof buf, "@@l%03d:", label++);
                } else {
                    std::snprintf(buf, sizeof buf, "%08X  %-6s  @@l%03d", address,
                                  next(2) == 0 ? "jnz" : "jl", label);
                }
                add(buf);
            }
            add("        pop     edi");
            add("        pop     esi");
            add("        pop     ebp");
            add("        ret");
            std::snprintf(buf, sizeof buf, "%s endp", r.name);
            add(buf);
            add("");
        }
    }
    add("        end");

    std::ofstream out(sink.outputPath("asm.txt"), std::ios::binary);
    for (const std::string& line : lines) {
        out << line << "\r\n";
    }
}

} // namespace datagen
