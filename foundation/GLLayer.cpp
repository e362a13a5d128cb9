#include "foundation/GLLayer.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

const int matrixStackDepth = 32;
const int attribStackDepth = 16;

void setIdentity(float *m) {
    for (int i = 0; i < 16; i++)
        m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

struct MatrixStack {
    float entries[matrixStackDepth][16];
    int top = 0; // index of the current matrix
    MatrixStack() { setIdentity(entries[0]); }
};

struct AttribRecord {
    GLbitfield mask;
    std::vector<GLenum> enabled;
};

struct LayerState {
    std::vector<GLCallRecord> log;
    GLint viewport[4] = {0, 0, 0, 0};
    int frameWidth = 0;
    int frameHeight = 0;
    std::vector<unsigned char> frame;
    float rasterX = 0.0f, rasterY = 0.0f;
    float zoomX = 1.0f, zoomY = 1.0f;
    MatrixStack modelview;
    MatrixStack projection;
    GLenum matrixMode = GL_MODELVIEW;
    std::vector<GLenum> enabled;
    std::vector<AttribRecord> attribStack;
    GLenum error = GL_NO_ERROR;
};

LayerState &state() {
    static LayerState layer;
    return layer;
}

void setError(GLenum code) {
    if (state().error == GL_NO_ERROR)
        state().error = code;
}

float *currentMatrix() {
    MatrixStack &stack =
        state().matrixMode == GL_PROJECTION ? state().projection : state().modelview;
    return stack.entries[stack.top];
}

MatrixStack &currentStack() {
    return state().matrixMode == GL_PROJECTION ? state().projection : state().modelview;
}

// current = current x m, both column-major as GL keeps them.
void multiplyCurrent(const float *m) {
    float *c = currentMatrix();
    float result[16];
    for (int col = 0; col < 4; col++)
        for (int row = 0; row < 4; row++) {
            float sum = 0.0f;
            for (int k = 0; k < 4; k++)
                sum += c[k * 4 + row] * m[col * 4 + k];
            result[col * 4 + row] = sum;
        }
    std::memcpy(c, result, sizeof(result));
}

void record(const char *format, const void *data, ...) __attribute__((format(printf, 1, 3)));
void record(const char *format, const void *data, ...) {
    char text[512];
    va_list args;
    va_start(args, data);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    state().log.push_back(GLCallRecord{text, data});
}

std::string matrixText(const GLfloat *m) {
    if (m == nullptr)
        return "null";
    std::string text = "{";
    char number[32];
    for (int i = 0; i < 16; i++) {
        std::snprintf(number, sizeof(number), i == 0 ? "%g" : ", %g", (double)m[i]);
        text += number;
    }
    return text + "}";
}

bool isEnabled(GLenum cap) {
    for (GLenum e : state().enabled)
        if (e == cap)
            return true;
    return false;
}

} // namespace

std::string glEnumName(GLenum value) {
    struct Entry {
        GLenum value;
        const char *name;
    };
    static const Entry names[] = {
        {GL_UNSIGNED_BYTE, "GL_UNSIGNED_BYTE"},
        {GL_ALPHA, "GL_ALPHA"},
        {GL_RGB, "GL_RGB"},
        {GL_RGBA, "GL_RGBA"},
        {GL_LUMINANCE, "GL_LUMINANCE"},
        {GL_RGB8, "GL_RGB8"},
        {GL_RGBA8, "GL_RGBA8"},
        {GL_LUMINANCE8, "GL_LUMINANCE8"},
        {GL_UNPACK_ALIGNMENT, "GL_UNPACK_ALIGNMENT"},
        {GL_PACK_ALIGNMENT, "GL_PACK_ALIGNMENT"},
        {GL_TEXTURE_2D, "GL_TEXTURE_2D"},
        {GL_TEXTURE_MAG_FILTER, "GL_TEXTURE_MAG_FILTER"},
        {GL_TEXTURE_MIN_FILTER, "GL_TEXTURE_MIN_FILTER"},
        {GL_TEXTURE_WRAP_S, "GL_TEXTURE_WRAP_S"},
        {GL_TEXTURE_WRAP_T, "GL_TEXTURE_WRAP_T"},
        {GL_NEAREST, "GL_NEAREST"},
        {GL_LINEAR, "GL_LINEAR"},
        {GL_NEAREST_MIPMAP_NEAREST, "GL_NEAREST_MIPMAP_NEAREST"},
        {GL_LINEAR_MIPMAP_NEAREST, "GL_LINEAR_MIPMAP_NEAREST"},
        {GL_NEAREST_MIPMAP_LINEAR, "GL_NEAREST_MIPMAP_LINEAR"},
        {GL_LINEAR_MIPMAP_LINEAR, "GL_LINEAR_MIPMAP_LINEAR"},
        {GL_CLAMP, "GL_CLAMP"},
        {GL_REPEAT, "GL_REPEAT"},
        {GL_CLAMP_TO_EDGE, "GL_CLAMP_TO_EDGE"},
        {GL_MATRIX_MODE, "GL_MATRIX_MODE"},
        {GL_MODELVIEW, "GL_MODELVIEW"},
        {GL_PROJECTION, "GL_PROJECTION"},
        {GL_MODELVIEW_MATRIX, "GL_MODELVIEW_MATRIX"},
        {GL_PROJECTION_MATRIX, "GL_PROJECTION_MATRIX"},
        {GL_VIEWPORT, "GL_VIEWPORT"},
        {GL_LIGHTING, "GL_LIGHTING"},
        {GL_FOG, "GL_FOG"},
        {GL_DEPTH_TEST, "GL_DEPTH_TEST"},
        {GL_CULL_FACE, "GL_CULL_FACE"},
        {GL_BLEND, "GL_BLEND"},
    };
    for (const Entry &entry : names)
        if (entry.value == value)
            return entry.name;
    char text[16];
    std::snprintf(text, sizeof(text), "0x%04X", value);
    return text;
}

// A texture parameter's value is an enum for the filter and wrap names.
static std::string textureParameterValue(GLenum pname, GLint param) {
    if (pname == GL_TEXTURE_MIN_FILTER || pname == GL_TEXTURE_MAG_FILTER ||
        pname == GL_TEXTURE_WRAP_S || pname == GL_TEXTURE_WRAP_T)
        return glEnumName((GLenum)param);
    return std::to_string(param);
}

// Internal formats are enums, except the old component counts 1 .. 4.
static std::string internalFormatText(GLint format) {
    if (format >= 1 && format <= 4)
        return std::to_string(format);
    return glEnumName((GLenum)format);
}

void glDrawPixels(GLsizei width, GLsizei height, GLenum format, GLenum type, const GLvoid *pixels) {
    record("glDrawPixels(%d, %d, %s, %s)", pixels, width, height, glEnumName(format).c_str(),
           glEnumName(type).c_str());
    LayerState &s = state();
    // Only plain RGBA bytes at zoom 1 reach the simulated frame buffer.
    if (pixels == nullptr || format != GL_RGBA || type != GL_UNSIGNED_BYTE || width <= 0 ||
        height <= 0 || s.zoomX != 1.0f || s.zoomY != 1.0f)
        return;
    const unsigned char *source = static_cast<const unsigned char *>(pixels);
    int x0 = (int)s.rasterX, y0 = (int)s.rasterY;
    for (int y = 0; y < height; y++) {
        int fy = y0 + y;
        if (fy < 0 || fy >= s.frameHeight)
            continue;
        for (int x = 0; x < width; x++) {
            int fx = x0 + x;
            if (fx < 0 || fx >= s.frameWidth)
                continue;
            std::memcpy(&s.frame[((size_t)fy * s.frameWidth + fx) * 4],
                        source + ((size_t)y * width + x) * 4, 4);
        }
    }
}

void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                  GLvoid *pixels) {
    record("glReadPixels(%d, %d, %d, %d, %s, %s)", pixels, x, y, width, height,
           glEnumName(format).c_str(), glEnumName(type).c_str());
    LayerState &s = state();
    if (pixels == nullptr || format != GL_RGBA || type != GL_UNSIGNED_BYTE || width <= 0 ||
        height <= 0)
        return;
    unsigned char *target = static_cast<unsigned char *>(pixels);
    for (int row = 0; row < height; row++)
        for (int col = 0; col < width; col++) {
            unsigned char *out = target + ((size_t)row * width + col) * 4;
            int fx = x + col, fy = y + row;
            if (fx < 0 || fy < 0 || fx >= s.frameWidth || fy >= s.frameHeight)
                std::memset(out, 0, 4);
            else
                std::memcpy(out, &s.frame[((size_t)fy * s.frameWidth + fx) * 4], 4);
        }
}

void glRasterPos2f(GLfloat x, GLfloat y) {
    record("glRasterPos2f(%g, %g)", nullptr, (double)x, (double)y);
    state().rasterX = x;
    state().rasterY = y;
}

void glPixelZoom(GLfloat xFactor, GLfloat yFactor) {
    record("glPixelZoom(%g, %g)", nullptr, (double)xFactor, (double)yFactor);
    state().zoomX = xFactor;
    state().zoomY = yFactor;
}

void glPixelStorei(GLenum pname, GLint param) {
    record("glPixelStorei(%s, %d)", nullptr, glEnumName(pname).c_str(), param);
}

void glBindTexture(GLenum target, GLuint texture) {
    record("glBindTexture(%s, %u)", nullptr, glEnumName(target).c_str(), texture);
}

void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const GLvoid *pixels) {
    record("glTexImage2D(%s, %d, %s, %d, %d, %d, %s, %s)", pixels, glEnumName(target).c_str(),
           level, internalFormatText(internalFormat).c_str(), width, height, border,
           glEnumName(format).c_str(), glEnumName(type).c_str());
}

void glTexSubImage2D(GLenum target, GLint level, GLint xOffset, GLint yOffset, GLsizei width,
                     GLsizei height, GLenum format, GLenum type, const GLvoid *pixels) {
    record("glTexSubImage2D(%s, %d, %d, %d, %d, %d, %s, %s)", pixels, glEnumName(target).c_str(),
           level, xOffset, yOffset, width, height, glEnumName(format).c_str(),
           glEnumName(type).c_str());
}

void glTexParameteri(GLenum target, GLenum pname, GLint param) {
    record("glTexParameteri(%s, %s, %s)", nullptr, glEnumName(target).c_str(),
           glEnumName(pname).c_str(), textureParameterValue(pname, param).c_str());
}

void glPushAttrib(GLbitfield mask) {
    record("glPushAttrib(0x%X)", nullptr, mask);
    LayerState &s = state();
    if ((int)s.attribStack.size() >= attribStackDepth) {
        setError(GL_STACK_OVERFLOW);
        return;
    }
    s.attribStack.push_back(AttribRecord{mask, s.enabled});
}

void glPopAttrib() {
    record("glPopAttrib()", nullptr);
    LayerState &s = state();
    if (s.attribStack.empty()) {
        setError(GL_STACK_UNDERFLOW);
        return;
    }
    // The enable flags are restored as a whole; the groups are not told apart.
    s.enabled = s.attribStack.back().enabled;
    s.attribStack.pop_back();
}

void glMatrixMode(GLenum mode) {
    record("glMatrixMode(%s)", nullptr, glEnumName(mode).c_str());
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION) {
        setError(GL_INVALID_ENUM);
        return;
    }
    state().matrixMode = mode;
}

void glPushMatrix() {
    record("glPushMatrix()", nullptr);
    MatrixStack &stack = currentStack();
    if (stack.top + 1 >= matrixStackDepth) {
        setError(GL_STACK_OVERFLOW);
        return;
    }
    std::memcpy(stack.entries[stack.top + 1], stack.entries[stack.top], sizeof(float) * 16);
    stack.top++;
}

void glPopMatrix() {
    record("glPopMatrix()", nullptr);
    MatrixStack &stack = currentStack();
    if (stack.top == 0) {
        setError(GL_STACK_UNDERFLOW);
        return;
    }
    stack.top--;
}

void glLoadIdentity() {
    record("glLoadIdentity()", nullptr);
    setIdentity(currentMatrix());
}

void glLoadMatrixf(const GLfloat *m) {
    record("glLoadMatrixf(%s)", m, matrixText(m).c_str());
    if (m != nullptr)
        std::memcpy(currentMatrix(), m, sizeof(float) * 16);
}

void glMultMatrixf(const GLfloat *m) {
    record("glMultMatrixf(%s)", m, matrixText(m).c_str());
    if (m != nullptr)
        multiplyCurrent(m);
}

void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear,
             GLdouble zFar) {
    record("glOrtho(%g, %g, %g, %g, %g, %g)", nullptr, left, right, bottom, top, zNear, zFar);
    if (left == right || bottom == top || zNear == zFar) {
        setError(GL_INVALID_VALUE);
        return;
    }
    float m[16] = {0};
    m[0] = (float)(2.0 / (right - left));
    m[5] = (float)(2.0 / (top - bottom));
    m[10] = (float)(-2.0 / (zFar - zNear));
    m[12] = (float)(-(right + left) / (right - left));
    m[13] = (float)(-(top + bottom) / (top - bottom));
    m[14] = (float)(-(zFar + zNear) / (zFar - zNear));
    m[15] = 1.0f;
    multiplyCurrent(m);
}

void glGetFloatv(GLenum pname, GLfloat *params) {
    record("glGetFloatv(%s)", params, glEnumName(pname).c_str());
    LayerState &s = state();
    if (params == nullptr)
        return;
    switch (pname) {
    case GL_VIEWPORT:
        for (int i = 0; i < 4; i++)
            params[i] = (float)s.viewport[i];
        break;
    case GL_MODELVIEW_MATRIX:
        std::memcpy(params, s.modelview.entries[s.modelview.top], sizeof(float) * 16);
        break;
    case GL_PROJECTION_MATRIX:
        std::memcpy(params, s.projection.entries[s.projection.top], sizeof(float) * 16);
        break;
    case GL_MATRIX_MODE:
        params[0] = (float)s.matrixMode;
        break;
    default:
        setError(GL_INVALID_ENUM);
    }
}

void glEnable(GLenum cap) {
    record("glEnable(%s)", nullptr, glEnumName(cap).c_str());
    if (!isEnabled(cap))
        state().enabled.push_back(cap);
}

void glDisable(GLenum cap) {
    record("glDisable(%s)", nullptr, glEnumName(cap).c_str());
    std::vector<GLenum> &enabled = state().enabled;
    for (size_t i = 0; i < enabled.size(); i++)
        if (enabled[i] == cap) {
            enabled.erase(enabled.begin() + (long)i);
            return;
        }
}

bool glIsEnabled(GLenum cap) {
    return isEnabled(cap);
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    record("glViewport(%d, %d, %d, %d)", nullptr, x, y, width, height);
    if (width < 0 || height < 0) {
        setError(GL_INVALID_VALUE);
        return;
    }
    GLint *v = state().viewport;
    v[0] = x;
    v[1] = y;
    v[2] = width;
    v[3] = height;
}

GLenum glGetError() {
    GLenum code = state().error;
    state().error = GL_NO_ERROR;
    return code;
}

const std::vector<GLCallRecord> &glCallLog() {
    return state().log;
}

void glClearCallLog() {
    state().log.clear();
}

void glResetLayer(int frameWidth, int frameHeight) {
    LayerState &s = state();
    if (frameWidth < 0)
        frameWidth = 0;
    if (frameHeight < 0)
        frameHeight = 0;
    s.log.clear();
    s.viewport[0] = 0;
    s.viewport[1] = 0;
    s.viewport[2] = frameWidth;
    s.viewport[3] = frameHeight;
    s.frameWidth = frameWidth;
    s.frameHeight = frameHeight;
    s.frame.assign((size_t)frameWidth * (size_t)frameHeight * 4, 0);
    s.rasterX = s.rasterY = 0.0f;
    s.zoomX = s.zoomY = 1.0f;
    s.modelview.top = 0;
    s.projection.top = 0;
    setIdentity(s.modelview.entries[0]);
    setIdentity(s.projection.entries[0]);
    s.matrixMode = GL_MODELVIEW;
    s.enabled.clear();
    s.attribStack.clear();
    s.error = GL_NO_ERROR;
}

int glFrameWidth() {
    return state().frameWidth;
}
int glFrameHeight() {
    return state().frameHeight;
}
unsigned char *glFrameBuffer() {
    return state().frame.empty() ? nullptr : state().frame.data();
}
