// GLLayer: the few OpenGL 1.1 entry points the program uses (image drawing and
// texture upload, overlays, the matrix stacks of the preview camera), with the
// names, argument types and enum values of the real API. No GL library is
// linked: every call is recorded in a call log (name and arguments as text,
// plus the data pointer it was handed) and acts on a small simulated state so
// that tests can check what a caller asked for.
//
// Simulated state: a viewport, an RGBA frame buffer (glDrawPixels with a zoom
// of 1 writes into it, glReadPixels reads from it, outside pixels read as 0),
// the modelview and projection matrix stacks (32 deep, column-major as in GL),
// the enabled capabilities, the attribute stack and the last error.
#pragma once

#include <string>
#include <vector>

typedef unsigned int GLenum;
typedef unsigned int GLuint;
typedef unsigned int GLbitfield;
typedef int GLint;
typedef int GLsizei;
typedef float GLfloat;
typedef double GLdouble;
typedef void GLvoid;

constexpr GLenum GL_NO_ERROR = 0;
constexpr GLenum GL_INVALID_ENUM = 0x0500;
constexpr GLenum GL_INVALID_VALUE = 0x0501;
constexpr GLenum GL_STACK_OVERFLOW = 0x0503;
constexpr GLenum GL_STACK_UNDERFLOW = 0x0504;

constexpr GLenum GL_UNSIGNED_BYTE = 0x1401;
constexpr GLenum GL_ALPHA = 0x1906;
constexpr GLenum GL_RGB = 0x1907;
constexpr GLenum GL_RGBA = 0x1908;
constexpr GLenum GL_LUMINANCE = 0x1909;
constexpr GLenum GL_RGB8 = 0x8051;
constexpr GLenum GL_RGBA8 = 0x8058;
constexpr GLenum GL_LUMINANCE8 = 0x8040;

constexpr GLenum GL_UNPACK_ALIGNMENT = 0x0CF5;
constexpr GLenum GL_PACK_ALIGNMENT = 0x0D05;

constexpr GLenum GL_TEXTURE_2D = 0x0DE1;
constexpr GLenum GL_TEXTURE_MAG_FILTER = 0x2800;
constexpr GLenum GL_TEXTURE_MIN_FILTER = 0x2801;
constexpr GLenum GL_TEXTURE_WRAP_S = 0x2802;
constexpr GLenum GL_TEXTURE_WRAP_T = 0x2803;
constexpr GLenum GL_NEAREST = 0x2600;
constexpr GLenum GL_LINEAR = 0x2601;
constexpr GLenum GL_NEAREST_MIPMAP_NEAREST = 0x2700;
constexpr GLenum GL_LINEAR_MIPMAP_NEAREST = 0x2701;
constexpr GLenum GL_NEAREST_MIPMAP_LINEAR = 0x2702;
constexpr GLenum GL_LINEAR_MIPMAP_LINEAR = 0x2703;
constexpr GLenum GL_CLAMP = 0x2900;
constexpr GLenum GL_REPEAT = 0x2901;
constexpr GLenum GL_CLAMP_TO_EDGE = 0x812F;

constexpr GLenum GL_MATRIX_MODE = 0x0BA0;
constexpr GLenum GL_MODELVIEW = 0x1700;
constexpr GLenum GL_PROJECTION = 0x1701;
constexpr GLenum GL_MODELVIEW_MATRIX = 0x0BA6;
constexpr GLenum GL_PROJECTION_MATRIX = 0x0BA7;
constexpr GLenum GL_VIEWPORT = 0x0BA2;

constexpr GLenum GL_LIGHTING = 0x0B50;
constexpr GLenum GL_FOG = 0x0B60;
constexpr GLenum GL_DEPTH_TEST = 0x0B71;
constexpr GLenum GL_CULL_FACE = 0x0B44;
constexpr GLenum GL_BLEND = 0x0BE2;

constexpr GLbitfield GL_LIGHTING_BIT = 0x00000040;
constexpr GLbitfield GL_FOG_BIT = 0x00000080;
constexpr GLbitfield GL_DEPTH_BUFFER_BIT = 0x00000100;
constexpr GLbitfield GL_TEXTURE_BIT = 0x00040000;

// The entry points. Each appends one record to the call log.
void glDrawPixels(GLsizei width, GLsizei height, GLenum format, GLenum type, const GLvoid *pixels);
void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                  GLvoid *pixels);
void glRasterPos2f(GLfloat x, GLfloat y);
void glPixelZoom(GLfloat xFactor, GLfloat yFactor);
void glPixelStorei(GLenum pname, GLint param);
void glBindTexture(GLenum target, GLuint texture);
void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const GLvoid *pixels);
void glTexSubImage2D(GLenum target, GLint level, GLint xOffset, GLint yOffset, GLsizei width,
                     GLsizei height, GLenum format, GLenum type, const GLvoid *pixels);
void glTexParameteri(GLenum target, GLenum pname, GLint param);
void glPushAttrib(GLbitfield mask);
void glPopAttrib();
void glMatrixMode(GLenum mode);
void glPushMatrix();
void glPopMatrix();
void glLoadIdentity();
void glLoadMatrixf(const GLfloat *m);
void glMultMatrixf(const GLfloat *m);
void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear,
             GLdouble zFar);
// GL_VIEWPORT (4 values), GL_MODELVIEW_MATRIX / GL_PROJECTION_MATRIX (16),
// GL_MATRIX_MODE (1); any other name leaves params alone and sets
// GL_INVALID_ENUM.
void glGetFloatv(GLenum pname, GLfloat *params);
void glEnable(GLenum cap);
void glDisable(GLenum cap);
bool glIsEnabled(GLenum cap);
void glViewport(GLint x, GLint y, GLsizei width, GLsizei height);
// Returns and clears the first error recorded since the last call (not logged).
GLenum glGetError();

// One recorded call. text is the call as written in C, enum arguments by
// their GL names, e.g. "glBindTexture(GL_TEXTURE_2D, 7)"; data is the pixel
// or matrix pointer the call was handed (null for calls without one).
struct GLCallRecord {
    std::string text;
    const void *data;
};

// Inspection and set-up for tests and tools (not GL entry points, not logged).
const std::vector<GLCallRecord> &glCallLog();
void glClearCallLog();
// Name of a known enum ("GL_RGBA"), else "0x%04X".
std::string glEnumName(GLenum value);
// Back to the initial state: empty log, viewport (0, 0, width, height), a
// width x height frame buffer of zero bytes, identity matrices, modelview
// mode, nothing enabled, empty attribute stack, no error.
void glResetLayer(int frameWidth = 0, int frameHeight = 0);
// The simulated frame buffer: 4 bytes per pixel, row 0 at the bottom.
int glFrameWidth();
int glFrameHeight();
unsigned char *glFrameBuffer();
