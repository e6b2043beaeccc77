// veltrane-font: renders the intro's texture font from an outline font with
// FreeType. It writes the 256 x 256 atlas (font_atlas.rgba) and the glyph
// table (glyph_table.inc) that app/font.h describes, the same bytes on every
// run for the same font file.

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BBOX_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const char *defaultFont = "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf";

// The usage text; %s is the default font.
const char *usage =
    "usage: veltrane-font [--font FILE] [--output DIR]\n"
    "\n"
    "Renders the intro's texture font: the 218 printable characters of Windows\n"
    "code page 1250 from an outline font, drawn white with their coverage in\n"
    "alpha (65 levels), packed into one 256 x 256 atlas. Writes two files into DIR:\n"
    "\n"
    "  font_atlas.rgba  4 zero bytes, then 256 x 256 RGBA pixels, rows top first\n"
    "                   (262148 bytes)\n"
    "  glyph_table.inc  256 lines {x, y, width, height, xOffset, yOffset, advance},\n"
    "                   one per byte value, -1 in every field where there is no glyph\n"
    "\n"
    "Each glyph sits in a 32-pixel line cell with its baseline 27 pixels below\n"
    "the cell top: capitals 19 pixels high from row 8, lowercase x-height from\n"
    "row 13, descenders down to row 32. The font is drawn at 88%% of its width.\n"
    "Glyphs that would leave the cell are scaled into it. Some rows are fixed\n"
    "(the space, A, M, g, j, comma, underscore and per mille with their atlas\n"
    "places, the digits' advance and height, the advances of u, s, i, c and\n"
    "colon); the outlines are scaled to fit those boxes. The others are packed\n"
    "into atlas rows 0 to 226; a font much wider than the default may not fit.\n"
    "The same font file gives the same bytes on every run.\n"
    "\n"
    "  --font FILE   the outline font; by default\n"
    "                %s\n"
    "                from Debian's fonts-dejavu-extra\n"
    "  --output DIR  where to write the two files (default: the current directory)\n"
    "  --help        this text\n"
    "\n"
    "To renew the intro's copy, from the source tree: veltrane-font --output app/data\n"
    "\n"
    "Exit status: 0 on success, 1 on a failure while working, 2 on a usage error.\n";

void printUsage(FILE *stream) {
    std::fprintf(stream, usage, defaultFont);
}

const int atlasSize = 256;
const int usableRows = 227; // the atlas rows glyphs may use, from the top
const int imageBytes = 4 + atlasSize * atlasSize * 4;

// The line cell, in pixels from its top.
const int cellHeight = 32;
const int baseline = 27;
const int capTop = 8;
const int xHeightTop = 13;
const int descenderBottom = 32;
const int tallestGlyph = 27;
const int lowestTop = 29;
// Glyphs less high than this, in pixels, are marks that keep their size.
const double smallMark = 9;

// Capitals are 19 pixels high; the font is drawn narrower than its design by
// this factor, which brings its advances to those of the fixed glyphs.
const double capHeight = baseline - capTop;
const double horizontalScale = 0.88;

// Limits every glyph keeps.
const int widestGlyph = 34;
const int smallestXOffset = -2;
const int largestXOffset = 6;
const int smallestAdvance = 5;
const int largestAdvance = 36;

// Unicode of the codes 128 to 255 of Windows code page 1250; 0 where the code
// page has no character.
const uint16_t upperHalf[128] = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021, // 128
    0,      0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179, // 136
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 144
    0,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, // 152
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, // 160
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, // 168
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, // 176
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, // 184
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, // 192
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, // 200
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, // 208
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, // 216
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, // 224
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, // 232
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, // 240
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9, // 248
};

// The Unicode character of a byte, or 0 for the codes without a glyph.
uint32_t characterOf(int code) {
    if (code >= 32 && code <= 126)
        return static_cast<uint32_t>(code);
    if (code >= 128)
        return upperHalf[code - 128];
    return 0;
}

struct Glyph {
    int x = -1;
    int y = -1;
    int width = -1;
    int height = -1;
    int xOffset = -1;
    int yOffset = -1;
    int advance = -1;
};

// Glyphs whose whole row is fixed, atlas place included: the text code and
// the tests measure against them. The others are packed around them.
struct FixedGlyph {
    int code;
    Glyph glyph;
};
const FixedGlyph fixedGlyphs[] = {
    {32, {251, 74, 1, 1, 0, 27, 8}},      // space: one pixel without coverage
    {65, {138, 124, 16, 19, 0, 8, 16}},   // A
    {77, {155, 124, 16, 19, 2, 8, 20}},   // M
    {103, {140, 164, 11, 19, 1, 13, 14}}, // g
    {106, {197, 54, 7, 24, -2, 8, 7}},    // j
    {44, {196, 198, 5, 8, 1, 23, 8}},     // comma
    {95, {177, 209, 14, 2, 0, 29, 14}},   // underscore
    {137, {0, 126, 34, 19, 1, 8, 36}},    // per mille
};

// Fixed advances of glyphs whose boxes follow the font.
struct FixedAdvance {
    int code;
    int advance;
};
const FixedAdvance fixedAdvances[] = {
    {'u', 15}, {'s', 12}, {'i', 6}, {'c', 12}, {':', 9},
};

// The digits share one advance and stand on the baseline at capital height,
// with boxes 9 to 13 wide that start 1 to 3 pixels right of the pen.
const int digitAdvance = 14;
const int narrowestDigit = 9;
const int widestDigit = 13;
const int smallestDigitOffset = 1;
const int largestDigitOffset = 3;

// Accented letters take the advance of their base letter where that one is
// fixed, so that words keep their rhythm.
struct SameAdvance {
    int code;
    int base;
};
const SameAdvance sameAdvances[] = {
    {160, 32},                                                  // no-break space
    {193, 'A'}, {194, 'A'}, {195, 'A'}, {196, 'A'}, {165, 'A'}, // Á Â Ă Ä Ą
    {250, 'u'}, {249, 'u'}, {251, 'u'}, {252, 'u'},             // ú ů ű ü
    {154, 's'}, {156, 's'}, {186, 's'},                         // š ś ş
    {237, 'i'}, {238, 'i'},                                     // í î
    {232, 'c'}, {230, 'c'}, {231, 'c'},                         // č ć ç
};

const FixedGlyph *fixedGlyphOf(int code) {
    for (const FixedGlyph &fixed : fixedGlyphs)
        if (fixed.code == code)
            return &fixed;
    return nullptr;
}

struct Options {
    std::string font = defaultFont;
    std::string output = ".";
};

// 0 to go on, -1 after --help, else the exit status.
int parseOptions(int argc, char **argv, Options &options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            printUsage(stdout);
            return -1;
        }
        if (argument == "--font" || argument == "--output") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "veltrane-font: %s needs a value\n", argument.c_str());
                return 2;
            }
            (argument == "--font" ? options.font : options.output) = argv[++i];
            continue;
        }
        std::fprintf(stderr, "veltrane-font: unknown argument '%s'\n", argument.c_str());
        printUsage(stderr);
        return 2;
    }
    return 0;
}

// One glyph's picture: coverage 0 to 255, rows top first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> coverage;
};

class FontRenderer {
  public:
    FontRenderer() = default;
    FontRenderer(const FontRenderer &) = delete;
    FontRenderer &operator=(const FontRenderer &) = delete;
    ~FontRenderer() {
        if (face)
            FT_Done_Face(face);
        if (library)
            FT_Done_FreeType(library);
    }

    // An empty text when the font is ready, else what went wrong.
    std::string open(const std::string &path) {
        if (FT_Init_FreeType(&library) != 0)
            return "FreeType cannot start";
        const FT_Error error = FT_New_Face(library, path.c_str(), 0, &face);
        if (error == FT_Err_Unknown_File_Format)
            return path + ": not a font file FreeType can read";
        if (error != 0)
            return path + ": cannot be read as a font (FreeType error " + std::to_string(error) +
                   ")";
        if (!FT_IS_SCALABLE(face))
            return path + ": has no outlines";
        if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0)
            return path + ": has no Unicode character map";
        fontPath = path;
        FT_BBox capital;
        std::string problem = loadOutline('H', capital);
        if (!problem.empty())
            return problem;
        if (capital.yMax <= 0)
            return path + ": the capital H does not rise above the baseline";
        verticalScale = capHeight / static_cast<double>(capital.yMax);
        return "";
    }

    // Works out the glyph's box, offsets and advance from the outline, in
    // pixels of the cell. Its x and y stay for the packing.
    std::string measure(int code, Glyph &glyph) {
        FT_BBox bounds;
        std::string problem = loadOutline(characterOf(code), bounds);
        if (!problem.empty())
            return problem;
        const double xScale = verticalScale * horizontalScale;
        glyph.advance = static_cast<int>(std::lround(advanceUnits * xScale));
        if (face->glyph->outline.n_points == 0) {
            // Nothing to draw: one pixel without coverage on the baseline.
            glyph.width = 1;
            glyph.height = 1;
            glyph.xOffset = 0;
            glyph.yOffset = baseline;
            return "";
        }
        const int left = static_cast<int>(std::lround(bounds.xMin * xScale));
        const int right = static_cast<int>(std::lround(bounds.xMax * xScale));
        const double naturalTop = baseline - bounds.yMax * verticalScale;
        const double naturalBottom = baseline - bounds.yMin * verticalScale;
        int top = snappedTop(naturalTop);
        int bottom = snappedBottom(naturalBottom);
        if (naturalBottom - naturalTop < smallMark) {
            // Accents, quotes, dots and dashes keep their size; only those
            // standing on the baseline move onto it, and all move into the cell.
            const int height =
                std::max(static_cast<int>(std::lround(naturalBottom - naturalTop)), 1);
            top =
                bottom == baseline ? baseline - height : static_cast<int>(std::lround(naturalTop));
            top = std::min(std::max(top, 0), std::min(cellHeight - height, lowestTop));
            bottom = top + height;
        } else {
            // Taller glyphs that reach out of the cell are squeezed into it.
            top = std::max(top, 0);
            bottom = std::min(bottom, cellHeight);
        }
        if (bottom - top > tallestGlyph)
            top = bottom - tallestGlyph;
        glyph.xOffset = std::min(std::max(left, smallestXOffset), largestXOffset);
        glyph.width = std::min(std::max(right - glyph.xOffset, 1), widestGlyph);
        glyph.yOffset = top;
        glyph.height = bottom - top;
        glyph.advance = std::min(std::max(glyph.advance, smallestAdvance), largestAdvance);
        return "";
    }

    // Draws the outline stretched to fill the glyph's box exactly.
    std::string render(int code, const Glyph &glyph, Picture &picture) {
        FT_BBox bounds;
        std::string problem = loadOutline(characterOf(code), bounds);
        if (!problem.empty())
            return problem;
        picture.width = glyph.width;
        picture.height = glyph.height;
        picture.coverage.assign(static_cast<size_t>(glyph.width) * glyph.height, 0);
        FT_Outline &outline = face->glyph->outline;
        if (outline.n_points == 0)
            return "";
        // Box coordinates in 26.6 fixed point, y up from the box's bottom.
        const double spanX = std::max<double>(bounds.xMax - bounds.xMin, 1);
        const double spanY = std::max<double>(bounds.yMax - bounds.yMin, 1);
        const double toX = glyph.width * 64.0 / spanX;
        const double toY = glyph.height * 64.0 / spanY;
        for (int i = 0; i < outline.n_points; ++i) {
            FT_Vector &point = outline.points[i];
            point.x = std::lround((point.x - bounds.xMin) * toX);
            point.y = std::lround((point.y - bounds.yMin) * toY);
        }
        FT_Bitmap bitmap;
        std::memset(&bitmap, 0, sizeof bitmap);
        bitmap.rows = static_cast<unsigned>(glyph.height);
        bitmap.width = static_cast<unsigned>(glyph.width);
        bitmap.pitch = glyph.width;
        bitmap.buffer = picture.coverage.data();
        bitmap.num_grays = 256;
        bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
        if (FT_Outline_Get_Bitmap(library, &outline, &bitmap) != 0)
            return fontPath + ": cannot draw the glyph of code " + std::to_string(code);
        return "";
    }

  private:
    // Loads the unscaled outline of a character and its exact bounds, in
    // font units.
    std::string loadOutline(uint32_t character, FT_BBox &bounds) {
        const FT_UInt index = FT_Get_Char_Index(face, character);
        char name[16];
        std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(character));
        if (index == 0)
            return fontPath + ": has no glyph for " + name;
        if (FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) !=
                0 ||
            face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
            return fontPath + ": cannot load the outline of " + name;
        advanceUnits = face->glyph->metrics.horiAdvance;
        bounds = {0, 0, 0, 0};
        if (face->glyph->outline.n_points > 0 &&
            FT_Outline_Get_BBox(&face->glyph->outline, &bounds) != 0)
            return fontPath + ": cannot measure the outline of " + name;
        return "";
    }

    // The font's lines land on whole pixels: cap height and ascenders on row
    // 8, the x-height on row 13, the baseline on 27 and descenders on 32.
    // Overshoots of round letters fall onto the line they overshoot.
    static int snappedTop(double top) {
        if (top >= 6.5 && top <= 8.9)
            return capTop;
        if (top >= 11.9 && top <= 13.5)
            return xHeightTop;
        return static_cast<int>(std::lround(top));
    }
    static int snappedBottom(double bottom) {
        if (bottom >= 26.5 && bottom <= 27.6)
            return baseline;
        if (bottom >= 31.4)
            return descenderBottom;
        return static_cast<int>(std::lround(bottom));
    }

    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::string fontPath;
    double verticalScale = 1;
    FT_Pos advanceUnits = 0;
};

// Free and used pixels of the atlas, with the sums that answer "is this
// rectangle free" at once.
class Occupancy {
  public:
    Occupancy() : used(atlasSize * atlasSize, 0), sums((atlasSize + 1) * (atlasSize + 1), 0) {}

    void take(int x, int y, int width, int height) {
        for (int row = y; row < y + height; ++row)
            for (int column = x; column < x + width; ++column)
                used[row * atlasSize + column] = 1;
        for (int row = 0; row < atlasSize; ++row)
            for (int column = 0; column < atlasSize; ++column)
                sums[(row + 1) * (atlasSize + 1) + column + 1] =
                    used[row * atlasSize + column] + sums[row * (atlasSize + 1) + column + 1] +
                    sums[(row + 1) * (atlasSize + 1) + column] -
                    sums[row * (atlasSize + 1) + column];
    }

    // Whether the rectangle, grown by the gap on every side, holds no used
    // pixel. The texture repeats, so the gap is kept from its left and right
    // edges too; the rows below the glyphs stay empty.
    bool isFree(int x, int y, int width, int height, int gap) const {
        if (x < gap || x + width + gap > atlasSize)
            return false;
        const int x0 = std::max(x - gap, 0);
        const int y0 = std::max(y - gap, 0);
        const int x1 = std::min(x + width + gap, atlasSize);
        const int y1 = std::min(y + height + gap, atlasSize);
        const int stride = atlasSize + 1;
        return sums[y1 * stride + x1] - sums[y0 * stride + x1] - sums[y1 * stride + x0] +
                   sums[y0 * stride + x0] ==
               0;
    }

  private:
    std::vector<int> used;
    std::vector<int> sums;
};

// Places the glyphs without a fixed place, tallest first, each at the
// topmost and then leftmost spot that keeps the gap to every other box.
bool pack(Glyph (&glyphs)[256], int gap) {
    Occupancy occupancy;
    std::vector<int> loose;
    for (int code = 0; code < 256; ++code) {
        if (glyphs[code].width < 0)
            continue;
        if (fixedGlyphOf(code))
            occupancy.take(glyphs[code].x, glyphs[code].y, glyphs[code].width, glyphs[code].height);
        else
            loose.push_back(code);
    }
    std::stable_sort(loose.begin(), loose.end(), [&](int a, int b) {
        if (glyphs[a].height != glyphs[b].height)
            return glyphs[a].height > glyphs[b].height;
        return glyphs[a].width > glyphs[b].width;
    });
    for (int code : loose) {
        Glyph &glyph = glyphs[code];
        bool placed = false;
        for (int y = 0; !placed && y + glyph.height <= usableRows; ++y)
            for (int x = 0; !placed && x + glyph.width <= atlasSize; ++x)
                if (occupancy.isFree(x, y, glyph.width, glyph.height, gap)) {
                    glyph.x = x;
                    glyph.y = y;
                    occupancy.take(x, y, glyph.width, glyph.height);
                    placed = true;
                }
        if (!placed)
            return false;
    }
    return true;
}

// The rules every table keeps; an empty text when it does.
std::string checkTable(const Glyph (&glyphs)[256]) {
    for (int code = 0; code < 256; ++code) {
        const Glyph &g = glyphs[code];
        const std::string where = "code " + std::to_string(code) + ": ";
        if (characterOf(code) == 0)
            continue;
        if (g.width < 1 || g.width > widestGlyph || g.height < 1 || g.height > tallestGlyph)
            return where + "box size out of range";
        if (g.xOffset < smallestXOffset || g.xOffset > largestXOffset)
            return where + "xOffset out of range";
        if (g.yOffset < 0 || g.yOffset > lowestTop || g.yOffset + g.height > cellHeight)
            return where + "box leaves the cell";
        if (g.advance < smallestAdvance || g.advance > largestAdvance)
            return where + "advance out of range";
        if (g.x < 0 || g.y < 0 || g.x + g.width > atlasSize || g.y + g.height > usableRows)
            return where + "box leaves the usable atlas";
        for (int other = 0; other < code; ++other) {
            const Glyph &o = glyphs[other];
            if (characterOf(other) != 0 && g.x < o.x + o.width && o.x < g.x + g.width &&
                g.y < o.y + o.height && o.y < g.y + g.height)
                return where + "box overlaps that of code " + std::to_string(other);
        }
    }
    return "";
}

// Coverage to alpha in 65 levels: 0, and 4k - 1 for k = 1 to 64.
uint8_t quantised(uint8_t coverage) {
    const int level = (coverage * 64 + 127) / 255;
    return static_cast<uint8_t>(level == 0 ? 0 : 4 * level - 1);
}

std::vector<uint8_t> atlasImage(const Glyph (&glyphs)[256], const Picture (&pictures)[256]) {
    // White everywhere, so that filtering at the glyphs' edges never pulls
    // in a dark colour; the alpha holds the coverage.
    std::vector<uint8_t> image(imageBytes, 255);
    std::fill(image.begin(), image.begin() + 4, 0);
    for (size_t pixel = 0; pixel < static_cast<size_t>(atlasSize) * atlasSize; ++pixel)
        image[4 + pixel * 4 + 3] = 0;
    for (int code = 0; code < 256; ++code) {
        const Glyph &g = glyphs[code];
        const Picture &picture = pictures[code];
        for (int row = 0; row < picture.height; ++row)
            for (int column = 0; column < picture.width; ++column) {
                const size_t pixel = static_cast<size_t>(g.y + row) * atlasSize + g.x + column;
                image[4 + pixel * 4 + 3] =
                    quantised(picture.coverage[static_cast<size_t>(row) * picture.width + column]);
            }
    }
    return image;
}

std::string utf8(uint32_t character) {
    std::string text;
    if (character < 0x80) {
        text += static_cast<char>(character);
    } else if (character < 0x800) {
        text += static_cast<char>(0xC0 | (character >> 6));
        text += static_cast<char>(0x80 | (character & 0x3F));
    } else {
        text += static_cast<char>(0xE0 | (character >> 12));
        text += static_cast<char>(0x80 | ((character >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (character & 0x3F));
    }
    return text;
}

// How a table line names its character: the character itself, or a name
// where it would not show or would end the comment's line.
std::string characterName(int code) {
    switch (code) {
    case 32:
        return "space";
    case 92:
        return "backslash";
    case 160:
        return "no-break space";
    case 173:
        return "soft hyphen";
    default:
        return characterOf(code) == 0 ? "no glyph" : utf8(characterOf(code));
    }
}

std::string tableText(const Glyph (&glyphs)[256]) {
    std::string text;
    char line[128];
    for (int code = 0; code < 256; ++code) {
        const Glyph &g = glyphs[code];
        std::snprintf(line, sizeof line, "{%d, %d, %d, %d, %d, %d, %d}, // %d ", g.x, g.y, g.width,
                      g.height, g.xOffset, g.yOffset, g.advance, code);
        text += line;
        text += characterName(code);
        text += '\n';
    }
    return text;
}

std::string writeFile(const std::string &path, const void *bytes, size_t size) {
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return path + ": cannot create (" + std::strerror(errno) + ")";
    const bool written = std::fwrite(bytes, 1, size, file) == size;
    const int writeErrno = errno;
    if (std::fclose(file) != 0 || !written) {
        const int error = written ? errno : writeErrno;
        return path + ": cannot write (" + std::strerror(error) + ")";
    }
    return "";
}

bool fileExists(const std::string &path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0;
}

int fail(const std::string &problem) {
    std::fprintf(stderr, "veltrane-font: %s\n", problem.c_str());
    return 1;
}

int generate(const Options &options) {
    if (!fileExists(options.font)) {
        std::fprintf(stderr, "veltrane-font: %s: no such font file (see --font)\n",
                     options.font.c_str());
        return 1;
    }
    FontRenderer renderer;
    std::string problem = renderer.open(options.font);
    if (!problem.empty())
        return fail(problem);

    Glyph glyphs[256];
    for (int code = 0; code < 256; ++code) {
        if (characterOf(code) == 0)
            continue;
        if (const FixedGlyph *fixed = fixedGlyphOf(code)) {
            glyphs[code] = fixed->glyph;
            continue;
        }
        problem = renderer.measure(code, glyphs[code]);
        if (!problem.empty())
            return fail(problem);
    }
    for (const FixedAdvance &fixed : fixedAdvances)
        glyphs[fixed.code].advance = fixed.advance;
    for (int code = '0'; code <= '9'; ++code) {
        Glyph &digit = glyphs[code];
        digit.advance = digitAdvance;
        digit.yOffset = capTop;
        digit.height = baseline - capTop;
        digit.xOffset = std::min(std::max(digit.xOffset, smallestDigitOffset), largestDigitOffset);
        digit.width = std::min(std::max(digit.width, narrowestDigit), widestDigit);
    }
    for (const SameAdvance &same : sameAdvances)
        glyphs[same.code].advance = glyphs[same.base].advance;

    // A gap of one pixel between boxes keeps filtering from reaching into a
    // neighbour; without room for it the boxes may touch.
    if (!pack(glyphs, 1) && !pack(glyphs, 0))
        return fail(options.font + ": the glyphs do not fit into atlas rows 0 to " +
                    std::to_string(usableRows - 1) + "; a narrower font may");
    problem = checkTable(glyphs);
    if (!problem.empty())
        return fail(options.font + ": the glyph table breaks a rule, " + problem);

    Picture pictures[256];
    for (int code = 0; code < 256; ++code) {
        if (characterOf(code) == 0 || code == ' ')
            continue;
        problem = renderer.render(code, glyphs[code], pictures[code]);
        if (!problem.empty())
            return fail(problem);
    }

    const std::vector<uint8_t> image = atlasImage(glyphs, pictures);
    const std::string table = tableText(glyphs);
    problem = writeFile(options.output + "/font_atlas.rgba", image.data(), image.size());
    if (problem.empty())
        problem = writeFile(options.output + "/glyph_table.inc", table.data(), table.size());
    if (!problem.empty())
        return fail(problem);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    Options options;
    const int parsed = parseOptions(argc, argv, options);
    if (parsed != 0)
        return parsed < 0 ? 0 : parsed;
    return generate(options);
}
