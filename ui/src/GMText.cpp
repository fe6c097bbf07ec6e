// Text measured and rendered with FreeType; faces found with fontconfig.
//
// Faces are matched once per (name, weight, slant) and glyphs rendered once
// per (face, size, quality): later texts in the same font only copy
// coverage.
#include "ui/GMText.h"

#include <fontconfig/fontconfig.h>
#include <fribidi.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <GL/gl.h>
#include <GL/glx.h>
#include <gdk/gdk.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace {

// --- faces -------------------------------------------------------------------

struct Library {
    FT_Library ft = nullptr;
    Library() {
        if (FT_Init_FreeType(&ft) != 0)
            ft = nullptr;
    }
    ~Library() {
        if (ft != nullptr)
            FT_Done_FreeType(ft);
    }
};

struct FaceDeleter {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using FacePtr = std::unique_ptr<FT_FaceRec_, FaceDeleter>;

// weight 0 (the default), 400 or 700; the face name holds at most 31 bytes.
using FaceKey = std::tuple<std::string, int, bool>;

struct GlyphSet;
using GlyphSetKey = std::tuple<FT_Face, FT_F26Dot6, bool>;

// The library, its faces and their glyphs; members go in reverse order, the
// library last.
struct TextCache {
    Library library;
    std::map<FaceKey, FacePtr> faces;
    std::map<GlyphSetKey, std::unique_ptr<GlyphSet>> sets;
};

TextCache& Cache() {
    static TextCache cache;
    return cache;
}

Library& FreeType() {
    return Cache().library;
}

FT_Face MatchFace(const FaceKey& key) {
    auto& faces = Cache().faces;
    if (auto it = faces.find(key); it != faces.end())
        return it->second.get();
    FT_Face face = nullptr;
    if (FreeType().ft != nullptr && FcInit()) {
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY,
                           reinterpret_cast<const FcChar8*>(std::get<0>(key).c_str()));
        FcPatternAddInteger(pattern, FC_WEIGHT,
                            std::get<1>(key) == 700 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, std::get<2>(key) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcChar8* file = nullptr;
        int index = 0;
        if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            if (FT_New_Face(FreeType().ft, reinterpret_cast<const char*>(file), index, &face) != 0)
                face = nullptr;
        }
        if (match != nullptr)
            FcPatternDestroy(match);
        FcPatternDestroy(pattern);
    }
    faces[key].reset(face);
    return face;
}

// --- sizes and glyphs ---------------------------------------------------------

struct Glyph {
    int left = 0;    // from the pen position
    int top = 0;     // above the baseline
    int width = 0;   // coverage columns
    int rows = 0;    // coverage rows
    int advance = 0; // pixels
    std::vector<uint8_t> coverage;
};

// One face at one size and quality, with its metrics in pixels.
struct GlyphSet {
    FT_Face face = nullptr;
    FT_F26Dot6 em = 0; // 26.6 pixels
    bool mono = false;
    int ascent = 0;  // cell ascent
    int descent = 0; // cell descent
    int outlineAscent = 0;
    int underlinePosition = 0; // below the baseline
    int underlineThickness = 1;
    int strikePosition = 0; // above the baseline
    int strikeThickness = 1;
    std::unordered_map<char32_t, Glyph> glyphs;

    int LineHeight() const { return ascent + descent; }
    const Glyph& Get(char32_t c);
};

const Glyph& GlyphSet::Get(char32_t c) {
    if (auto it = glyphs.find(c); it != glyphs.end())
        return it->second;
    Glyph& g = glyphs[c];
    FT_Set_Char_Size(face, 0, em, 72, 72);
    const FT_Int32 load = FT_LOAD_RENDER | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    if (FT_Load_Char(face, c, load) != 0)
        return g;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.width = int(bitmap.width);
    g.rows = int(bitmap.rows);
    g.advance = int((slot->advance.x + 32) >> 6);
    g.coverage.resize(size_t(g.width) * size_t(g.rows));
    for (int y = 0; y < g.rows; ++y) {
        const uint8_t* row = bitmap.buffer + y * bitmap.pitch;
        for (int x = 0; x < g.width; ++x) {
            const bool monoPixel = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
            const uint8_t v = monoPixel ? ((row[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0) : row[x];
            g.coverage[size_t(y) * g.width + x] = v;
        }
    }
    return g;
}

int ScreenDPI() {
    GdkScreen* screen = gdk_screen_get_default();
    const double dpi = screen ? gdk_screen_get_resolution(screen) : -1;
    return dpi > 0 ? int(std::lround(dpi)) : 96;
}

int MulDiv(int a, int b, int c) {
    return int(std::lround(double(a) * b / c));
}

// The em size in 26.6 pixels for the description.
FT_F26Dot6 EmSize(FT_Face face, const KCFontInfo& font) {
    const int size = font.GetFontSize();
    switch (font.GetFontSizeType()) {
    case eFontSizeLogical:
        return FT_F26Dot6(MulDiv(size, 96, 72)) * 64;
    case eFontSizeLogicalDPI:
        return FT_F26Dot6(MulDiv(size, ScreenDPI(), 72)) * 64;
    case eFontSizePixels: {
        // A cell height: the face's Windows ascent and descent make `size`.
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        const int cell =
            os2 ? os2->usWinAscent + os2->usWinDescent : face->ascender - face->descender;
        if (cell <= 0)
            return FT_F26Dot6(size) * 64;
        return FT_F26Dot6(std::lround(double(size) * 64 * face->units_per_EM / cell));
    }
    default:
        return 16 * 64; // the system's default height
    }
}

void SetMetrics(GlyphSet& set) {
    FT_Face face = set.face;
    FT_Set_Char_Size(face, 0, set.em, 72, 72);
    const double scale = double(set.em) / 64.0 / face->units_per_EM;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
        set.ascent = int(std::lround(os2->usWinAscent * scale));
        set.descent = int(std::lround(os2->usWinDescent * scale));
        set.strikePosition = int(std::lround(os2->yStrikeoutPosition * scale));
        set.strikeThickness = std::max(1, int(std::lround(os2->yStrikeoutSize * scale)));
        set.outlineAscent = int(std::lround(os2->sTypoAscender * scale));
    } else {
        set.ascent = int((face->size->metrics.ascender + 63) >> 6);
        set.descent = int((-face->size->metrics.descender + 63) >> 6);
        set.strikePosition = set.ascent / 3;
        set.outlineAscent = set.ascent;
    }
    set.underlinePosition = std::max(1, int(std::lround(-face->underline_position * scale)));
    set.underlineThickness = std::max(1, int(std::lround(face->underline_thickness * scale)));
}

struct Style {
    int weight = 0;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};

Style StyleOf(EFontStyle s) {
    switch (s) {
    case eFontStyleNormal:
        return {400, false, false, false};
    case eFontStyleBold:
        return {700, false, false, false};
    case eFontStyleItalics:
        return {0, true, false, false};
    case eFontStyleUnderline:
        return {0, false, true, false};
    case eFontStyleOutline:
        return {0, false, false, true};
    default:
        return {};
    }
}

GlyphSet* GlyphsFor(const KCFontInfo& font) {
    const Style style = StyleOf(font.GetFontStyle());
    FT_Face face = MatchFace(FaceKey(font.GetFontName().substr(0, 31), style.weight, style.italic));
    if (face == nullptr)
        return nullptr;
    const FT_F26Dot6 em = EmSize(face, font);
    if (em <= 0)
        return nullptr; // no size: nothing can be drawn or measured
    const bool mono = font.GetFontQuality() == eFontQualityNonAntiAliased;
    auto& slot = Cache().sets[{face, em, mono}];
    if (!slot) {
        slot = std::make_unique<GlyphSet>();
        slot->face = face;
        slot->em = em;
        slot->mono = mono;
        SetMetrics(*slot);
    }
    return slot.get();
}

// --- layout -------------------------------------------------------------------

using Line = std::u32string;

// Every well-formed sequence becomes its character and every byte that does
// not start one becomes U+FFFD, so text that is not UTF-8 still draws and
// measures as what can be read of it.
std::u32string FromUTF8(const char* text) {
    std::u32string out;
    if (text == nullptr)
        return out;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        const unsigned char lead = *p;
        int length = 0;
        char32_t c = 0;
        char32_t least = 0;
        if (lead < 0x80) {
            length = 1, c = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, c = lead & 0x1Fu, least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, c = lead & 0x0Fu, least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, c = lead & 0x07u, least = 0x10000;
        }
        int taken = length > 0 ? 1 : 0;
        while (taken < length && (p[taken] & 0xC0u) == 0x80u)
            c = c << 6 | (p[taken++] & 0x3Fu);
        const bool valid = length > 0 && taken == length && c >= least && c <= 0x10FFFF &&
                           !(c >= 0xD800 && c <= 0xDFFF);
        out.push_back(valid ? c : U'\uFFFD');
        p += valid ? length : 1;
    }
    return out;
}

std::u32string FromWide(const wchar_t* text) {
    const std::wstring wide = text ? text : L"";
    return std::u32string(wide.begin(), wide.end());
}

// '&' marks the next character as a mnemonic and is not drawn; "&&" is one
// ampersand.
std::u32string WithoutPrefixes(const std::u32string& text) {
    std::u32string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == U'&' && i + 1 < text.size())
            ++i;
        else if (text[i] == U'&')
            continue;
        out.push_back(text[i]);
    }
    return out;
}

std::vector<Line> SplitLines(const std::u32string& text) {
    std::vector<Line> lines(1);
    for (char32_t c : text) {
        if (c == U'\n')
            lines.emplace_back();
        else if (c != U'\r')
            lines.back().push_back(c);
    }
    return lines;
}

int Width(GlyphSet& set, const Line& line) {
    int w = 0;
    for (char32_t c : line)
        w += set.Get(c).advance;
    return w;
}

// Breaks a line at spaces so that each part fits `width`; a word wider than
// the width stands alone.
void BreakWords(GlyphSet& set, const Line& line, int width, std::vector<Line>& out) {
    Line current;
    size_t i = 0;
    while (i < line.size()) {
        size_t end = i;
        while (end < line.size() && line[end] != U' ')
            ++end;
        const Line word = line.substr(i, end - i);
        Line candidate = current.empty() ? word : current + U' ' + word;
        if (!current.empty() && Width(set, candidate) > width) {
            out.push_back(current);
            current = word;
        } else {
            current = candidate;
        }
        i = end < line.size() ? end + 1 : end;
    }
    out.push_back(current);
}

bool RightToLeftInterface() {
    const char* names[] = {std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                           std::setlocale(LC_MESSAGES, nullptr), std::getenv("LANG")};
    for (const char* n : names) {
        if (n == nullptr || *n == '\0' || std::strcmp(n, "C") == 0 || std::strcmp(n, "POSIX") == 0)
            continue;
        return std::strncmp(n, "he", 2) == 0 || std::strncmp(n, "iw", 2) == 0 ||
               std::strncmp(n, "ar", 2) == 0;
    }
    return false;
}

Line Visual(const Line& logical) {
    if (logical.empty())
        return logical;
    std::vector<FriBidiChar> in(logical.begin(), logical.end());
    std::vector<FriBidiChar> out(in.size() + 1);
    FriBidiParType base = FRIBIDI_PAR_RTL;
    if (!fribidi_log2vis(in.data(), FriBidiStrIndex(in.size()), &base, out.data(), nullptr, nullptr,
                         nullptr))
        return logical;
    return Line(out.begin(), out.begin() + long(in.size()));
}

struct Layout {
    std::vector<Line> lines;
    int top = 0; // of the first line's cell
};

Layout LayOut(GlyphSet& set, const std::u32string& text, bool wide, int w, int h) {
    Layout layout;
    const std::vector<Line> paragraphs = SplitLines(wide ? text : WithoutPrefixes(text));
    if (!wide) {
        layout.lines = paragraphs;
    } else {
        for (const Line& p : paragraphs)
            BreakWords(set, p, w, layout.lines);
        if (RightToLeftInterface())
            for (Line& line : layout.lines)
                line = Visual(line);
    }
    const int H = int(layout.lines.size()) * set.LineHeight();
    if (paragraphs.size() > 1) {
        if (H < h)
            layout.top = (h - H) / 2;
    } else {
        layout.top = (h - H) / 2; // a single line is centred vertically
    }
    return layout;
}

// Coverage of the text box, w x h, row-major.
struct Canvas {
    int w, h;
    std::vector<uint8_t> coverage;
    void Put(int x, int y, uint8_t v) {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return;
        uint8_t& c = coverage[size_t(y) * w + x];
        c = std::max(c, v);
    }
    void Bar(int x0, int x1, int y0, int rows) {
        for (int y = y0; y < y0 + rows; ++y)
            for (int x = x0; x < x1; ++x)
                Put(x, y, 255);
    }
};

void DrawLine(GlyphSet& set, const Style& style, const Line& line, int x, int baseline,
              Canvas& canvas) {
    const int start = x;
    for (char32_t c : line) {
        const Glyph& g = set.Get(c);
        for (int gy = 0; gy < g.rows; ++gy)
            for (int gx = 0; gx < g.width; ++gx)
                canvas.Put(x + g.left + gx, baseline - g.top + gy,
                           g.coverage[size_t(gy) * g.width + gx]);
        x += g.advance;
    }
    if (style.underline)
        canvas.Bar(start, x, baseline + set.underlinePosition, set.underlineThickness);
    if (style.strikeOut)
        canvas.Bar(start, x, baseline - set.strikePosition, set.strikeThickness);
}

void Fill(ImageData& image, int w, int h, uint32_t value) {
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(image.GetRowPointers()[y]);
        std::fill(row, row + w, value);
    }
}

void Render(const KCFontInfo& font, const std::u32string& text, bool wide,
            const KCRGBAColor& colour, ETextJustification justification, const KURect<short>& rect,
            ImageData& image) {
    if (image.GetRowPointers() == nullptr || image.BytesPerPixel() != 4)
        return;
    const int w = std::min<int>(rect.Width(), int(image.GetWidth()));
    const int h = std::min<int>(rect.Height(), int(image.GetHeight()));
    if (w < 1 || h < 1)
        return;
    if (text.empty()) {
        Fill(image, w, h, colour.Packed());
        return;
    }
    GlyphSet* set = GlyphsFor(font);
    if (set == nullptr)
        return;
    const Style style = StyleOf(font.GetFontStyle());
    const Layout layout = LayOut(*set, text, wide, w, h);
    Canvas canvas{w, h, std::vector<uint8_t>(size_t(w) * size_t(h), 0)};
    int top = layout.top;
    for (const Line& line : layout.lines) {
        const int width = Width(*set, line);
        int x = 0;
        if (justification == eTextJustificationCenter)
            x = (w - width) / 2;
        else if (justification == eTextJustificationRight)
            x = w - width;
        DrawLine(*set, style, line, x, top + set->ascent, canvas);
        top += set->LineHeight();
    }
    const uint32_t rgb = colour.Packed() & 0x00FFFFFFu;
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(image.GetRowPointers()[y]);
        for (int x = 0; x < w; ++x) {
            const uint32_t cover = canvas.coverage[size_t(y) * w + x];
            row[x] = cover == 0 ? 0u : rgb | ((colour.alpha * cover + 127) / 255) << 24;
        }
    }
}

void Measure(const KCFontInfo& font, const std::u32string& text, KCPoint<short>& size) {
    size = KCPoint<short>(0, 0);
    GlyphSet* set = GlyphsFor(font);
    if (set == nullptr)
        return;
    size = KCPoint<short>(short(Width(*set, text)), short(set->LineHeight()));
}

} // namespace

// ---------------------------------------------------------------------------

bool KCFontInfo::operator<(const KCFontInfo& o) const {
    return std::tie(fontName, fontSize, fontStyle) < std::tie(o.fontName, o.fontSize, o.fontStyle);
}

void KCFontInfo::SetFontSize(short size) {
    if (size != fontSize) {
        fontSize = size;
        fontAscent = -1;
    }
}

void KCFontInfo::SetFontName(const std::string& name) {
    if (name != fontName) {
        fontName = name;
        fontAscent = -1;
    }
}

void GMGetTextWidthInPixels(const KCFontInfo& font, const char* text, KCPoint<short>& size) {
    Measure(font, FromUTF8(text), size);
}

void GMGetTextWidthInPixels(const KCFontInfo& font, const wchar_t* text, KCPoint<short>& size) {
    Measure(font, FromWide(text), size);
}

short GMGetFontAscent(KCFontInfo& font) {
    if (font.GetFontAscent() != -1)
        return font.GetFontAscent();
    GlyphSet* set = GlyphsFor(font);
    if (set == nullptr)
        return -1;
    font.SetFontAscent(short(set->outlineAscent));
    return font.GetFontAscent();
}

void GMRenderText(const KCWindow&, const KCFontInfo& font, const char* text,
                  const KCRGBAColor& colour, ETextJustification justification,
                  const KURect<short>& rect, ImageData& image) {
    try {
        Render(font, FromUTF8(text), false, colour, justification, rect, image);
    } catch (...) {
    }
}

void GMRenderText(const KCWindow&, const KCFontInfo& font, const wchar_t* text,
                  const KCRGBAColor& colour, ETextJustification justification,
                  const KURect<short>& rect, ImageData& image) {
    try {
        Render(font, FromWide(text), true, colour, justification, rect, image);
    } catch (...) {
    }
}

// --- OGLText -----------------------------------------------------------------------

OGLText::OGLText(ImageData& data, const KCPoint<short>& size)
    : KCImage(size.x, size.y, data.GetBitsPerPixel()), imageData(&data) {}

void OGLText::SetSize(const KCPoint<short>& size) {
    width = uint32_t(std::max<short>(size.x, 0));
    height = uint32_t(std::max<short>(size.y, 0));
}

uint32_t OGLText::GetImageDepth(int32_t bits) {
    return bits == 24 ? GL_RGB : GL_RGBA;
}

void OGLText::SaveTexture() {
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, GLsizei(imageData->GetWidth()),
                 GLsizei(imageData->GetHeight()), 0, GetImageDepth(bitsPerPixel), GL_UNSIGNED_BYTE,
                 imageData->GetRawData());
}

void OGLText::ReleaseTexture() {
    if (texture != 0 && glXGetCurrentContext() != nullptr && glIsTexture(texture))
        glDeleteTextures(1, &texture);
    texture = 0;
}

void OGLText::Draw(const KCPoint<short>& where) {
    if (glXGetCurrentContext() == nullptr)
        return;
    if (texture == 0)
        SaveTexture();
    if (texture == 0)
        return;
    DrawTexture(where);
}

void OGLText::DrawTexture(const KCPoint<short>& p) {
    const double w = width, h = height;
    const double W = imageData->GetWidth(), H = imageData->GetHeight();
    // A text image is coverage in its alpha over transparent pixels: it is
    // always laid over what is below it, whatever blending the caller left.
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBegin(GL_QUADS);
    glTexCoord2d(0, 0);
    glVertex2d(p.x, p.y);
    glTexCoord2d(0, h / H);
    glVertex2d(p.x, p.y + h);
    glTexCoord2d(w / W, h / H);
    glVertex2d(p.x + w, p.y + h);
    glTexCoord2d(w / W, 0);
    glVertex2d(p.x + w, p.y);
    glEnd();
    glPopAttrib();
}
