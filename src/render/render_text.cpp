// Drawing text: one quad per glyph through the immediate mode of the GL layer, colours from the
// 16-colour palette or the caller, ANSI escapes ("ESC[1;31m"), tabs every eight spaces.
#include "render/render_font.h"

#include "render/zvgl.h"

#include <cmath>
#include <cstring>

const float render_text_palette[16][3] = {
    {0, 0, 0},     {0.75f, 0, 0},     {0, 0.75f, 0},     {0.75f, 0.75f, 0},
    {0, 0, 0.75f}, {0.75f, 0, 0.75f}, {0, 0.75f, 0.75f}, {0.75f, 0.75f, 0.75f},
    {0, 0, 0},     {1, 0, 0},         {0, 1, 0},         {1, 1, 0},
    {0, 0, 1},     {1, 0, 1},         {0, 1, 1},         {1, 1, 1},
};

// Applies one escape sequence starting after ESC; returns the bytes it spans.
static size_t text_escape(const unsigned char *s, int *flags) {
    size_t i = 0;
    if (s[i] == '[') i++;
    int numbers[64], count = 0, have = 0;
    long cur = 0;
    while (s[i] && !(s[i] >= '@' && s[i] <= '~')) {
        if (s[i] >= '0' && s[i] <= '9') {
            if (cur < 100000) cur = cur * 10 + (s[i] - '0');
            have = 1;
        } else if (s[i] == ';') {
            if (count < 64) numbers[count++] = have ? (int)cur : 0;
            cur = 0;
            have = 0;
        }
        i++;
    }
    if (have && count < 64) numbers[count++] = (int)cur;
    unsigned char final = s[i];
    if (s[i]) i++;
    if (final != 'm' || (*flags & RENDER_TEXT_RAW)) return i;
    // Shadow and raw modes belong to the pass, not to the text: a reset keeps them.
    int keep = *flags & (RENDER_TEXT_SHADOW | RENDER_TEXT_RAW);
    if (count == 0) *flags = keep | RENDER_TEXT_CALLER_COLOR;
    for (int k = 0; k < count; k++) {
        int n = numbers[k];
        if (n == 0) {
            *flags = keep | RENDER_TEXT_CALLER_COLOR;
        } else if (n == 1) {
            *flags |= RENDER_TEXT_BRIGHT;
        } else if (n == 22) {
            *flags &= ~RENDER_TEXT_BRIGHT;
        } else if ((n >= 30 && n <= 37 && !(*flags & RENDER_TEXT_SHADOW)) ||
                   (n >= 40 && n <= 47 && (*flags & RENDER_TEXT_SHADOW))) {
            *flags = (*flags & ~(RENDER_TEXT_CALLER_COLOR | 7)) | (n % 10);
        }
    }
    return i;
}

void render_text_layout(const render_font *font, const char *text, int flags, float r, float g,
                        float b, float a, render_glyph_fn fn, void *ctx) {
    if (!font || !text) return;
    const unsigned char *s = (const unsigned char *)text;
    float x = 0, y = 0, space = font->advance[' '];
    while (*s) {
        unsigned char c = *s++;
        if (c == 27) {
            int f = flags;
            s += text_escape(s, &f);
            // With escapes off the sequence is still skipped, and the flags stay.
            if (!(flags & RENDER_TEXT_RAW)) flags = f;
        } else if (c == ' ') {
            x += space;
        } else if (c == '\r') {
            x = 0;
        } else if (c == '\n') {
            x = 0;
            y -= 1;
        } else if (c == '\t') {
            if (space > 0) x = (std::floor(x / (8 * space)) + 1) * 8 * space;
        } else {
            render_glyph gl;
            gl.x = x;
            gl.y = y;
            gl.w = font->advance[c];
            gl.code = c;
            if (!(flags & RENDER_TEXT_CALLER_COLOR)) {
                const float *p = render_text_palette[flags & RENDER_TEXT_COLOR_MASK];
                gl.r = p[0];
                gl.g = p[1];
                gl.b = p[2];
            } else if (flags & RENDER_TEXT_BRIGHT) {
                gl.r = r + 0.25f > 1 ? 1 : r + 0.25f;
                gl.g = g + 0.25f > 1 ? 1 : g + 0.25f;
                gl.b = b + 0.25f > 1 ? 1 : b + 0.25f;
            } else {
                gl.r = r;
                gl.g = g;
                gl.b = b;
            }
            gl.a = a;
            // Codes outside the glyph set advance without drawing.
            if (font->s1[c] > font->s0[c]) fn(ctx, &gl);
            x += gl.w;
        }
    }
}

float render_text_width_in(const render_font *font, const char *text) {
    if (!font || !text) return 0;
    // Line widths need the pen position after spaces and tabs too, so walk the text here with
    // the same rules as the layout.
    const unsigned char *s = (const unsigned char *)text;
    float x = 0, widest = 0, space = font->advance[' '];
    while (*s) {
        unsigned char c = *s++;
        if (c == 27) {
            int f = RENDER_TEXT_RAW;
            s += text_escape(s, &f);
        } else if (c == '\r' || c == '\n') {
            x = 0;
        } else if (c == '\t') {
            if (space > 0) x = (std::floor(x / (8 * space)) + 1) * 8 * space;
        } else if (c == ' ') {
            x += space;
        } else {
            x += font->advance[c];
        }
        if (x > widest) widest = x;
    }
    return widest;
}

float render_text_width(const char *text) {
    return render_text_width_in(&render_font_main, text);
}

static void emit_glyph(void *ctx, const render_glyph *g) {
    const render_font *f = (const render_font *)ctx;
    unsigned char c = g->code;
    zvglColor4f(g->r, g->g, g->b, g->a);
    zvglTexCoord2f(f->s0[c], f->t0[c]);
    zvglVertex2f(g->x, g->y + 1);
    zvglTexCoord2f(f->s0[c], f->t1[c]);
    zvglVertex2f(g->x, g->y);
    zvglTexCoord2f(f->s1[c], f->t1[c]);
    zvglVertex2f(g->x + g->w, g->y);
    zvglTexCoord2f(f->s1[c], f->t0[c]);
    zvglVertex2f(g->x + g->w, g->y + 1);
}

static int blank(const char *text) {
    for (const char *p = text; *p; p++)
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') return 0;
    return 1;
}

void render_text_draw_flags(float r, float g, float b, float a, const char *text, int flags) {
    const render_font *f = &render_font_main;
    if (!text || blank(text) || !f->loaded || !f->texture) return;
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
    zvglEnable(GL_BLEND);
    zvglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    zvglBindTexture(GL_TEXTURE_2D, f->texture);
    zvglBegin(GL_QUADS);
    render_text_layout(f, text, flags, r, g, b, a, emit_glyph, (void *)f);
    zvglEnd();
}

void render_text_draw(float r, float g, float b, float a, const char *text) {
    render_text_draw_flags(r, g, b, a, text, RENDER_TEXT_CALLER_COLOR);
}

void render_text_white(const char *text) {
    render_text_draw(1, 1, 1, 1, text);
}

void render_text_shadowed(float r, float g, float b, float a, const char *text) {
    if (!text || blank(text)) return;
    zvglPushMatrix();
    zvglTranslatef(1.0f / 16, -1.0f / 16, 0);
    render_text_draw_flags(0, 0, 0, a / 2, text, RENDER_TEXT_CALLER_COLOR | RENDER_TEXT_SHADOW);
    zvglPopMatrix();
    render_text_draw_flags(r, g, b, a, text, RENDER_TEXT_CALLER_COLOR);
}

void render_text_grey_shadowed(const char *text) {
    if (!text || blank(text)) return;
    zvglPushMatrix();
    zvglTranslatef(1.0f / 16, -1.0f / 16, 0);
    render_text_draw_flags(0, 0, 0, 0.5f, text, RENDER_TEXT_CALLER_COLOR | RENDER_TEXT_SHADOW);
    zvglPopMatrix();
    render_text_draw_flags(0.75f, 0.75f, 0.75f, 1, text, RENDER_TEXT_CALLER_COLOR);
}

void render_text_centred(float r, float g, float b, float a, float left, float right,
                         const char *text) {
    zvglPushMatrix();
    zvglTranslatef((right - left - render_text_width(text)) / 2 + left, 0, 0);
    render_text_draw(r, g, b, a, text);
    zvglPopMatrix();
}

void render_text_centred_shadowed(float r, float g, float b, float a, float left, float right,
                                  const char *text) {
    zvglPushMatrix();
    zvglTranslatef((right - left - render_text_width(text)) / 2 + left, 0, 0);
    render_text_shadowed(r, g, b, a, text);
    zvglPopMatrix();
}

void render_text_right(float r, float g, float b, float a, float right, const char *text) {
    zvglPushMatrix();
    zvglTranslatef(right - render_text_width(text), 0, 0);
    render_text_shadowed(r, g, b, a, text);
    zvglPopMatrix();
}
