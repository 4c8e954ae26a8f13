// Renders glyphs into a square sheet with FreeType, for the chart generator: reads the font
// path, the cell size and the number of cells per row from the arguments, one Unicode code
// point per line from standard input (0: an empty cell), and writes an 8-bit grey PGM of the
// coverage to standard output, cells in reading order from the top left.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: glyph_sheet FONT CELL PER_ROW < codepoints > sheet.pgm\n");
        return 2;
    }
    const int cell = atoi(argv[2]), per_row = atoi(argv[3]);
    std::vector<unsigned long> codes;
    for (unsigned long code; scanf("%lu", &code) == 1;) codes.push_back(code);
    const int rows = static_cast<int>((codes.size() + per_row - 1) / per_row);
    const int width = cell * per_row, height = cell * rows;
    std::vector<unsigned char> sheet(static_cast<size_t>(width) * height, 0);

    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library) || FT_New_Face(library, argv[1], 0, &face)) {
        fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(cell - 2));
    const int ascender = static_cast<int>(face->size->metrics.ascender >> 6);
    const int line = static_cast<int>(face->size->metrics.height >> 6);
    const int baseline = (cell - line) / 2 + ascender;
    for (size_t i = 0; i < codes.size(); ++i) {
        if (!codes[i] || FT_Load_Char(face, codes[i], FT_LOAD_RENDER)) continue;
        const FT_GlyphSlot g = face->glyph;
        const int left = static_cast<int>(i % per_row) * cell + (cell - static_cast<int>(g->advance.x >> 6)) / 2;
        const int top = static_cast<int>(i / per_row) * cell + baseline;
        for (unsigned y = 0; y < g->bitmap.rows; ++y)
            for (unsigned x = 0; x < g->bitmap.width; ++x) {
                const int px = left + g->bitmap_left + static_cast<int>(x);
                const int py = top - g->bitmap_top + static_cast<int>(y);
                // Clip to the glyph's own cell so tall glyphs never bleed into neighbours.
                if (px < static_cast<int>(i % per_row) * cell || px >= static_cast<int>(i % per_row + 1) * cell ||
                    py < static_cast<int>(i / per_row) * cell || py >= static_cast<int>(i / per_row + 1) * cell)
                    continue;
                sheet[static_cast<size_t>(py) * width + px] = g->bitmap.buffer[y * g->bitmap.pitch + x];
            }
    }
    printf("P5\n%d %d\n255\n", width, height);
    fwrite(sheet.data(), 1, sheet.size(), stdout);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return 0;
}
