// The one translation unit that holds stb's image reader and writer. Only the
// formats velk takes are compiled in; stb reads from memory (velk reads the
// file itself and checks its size) and writes through a callback.
#ifdef VELK_HAVE_STB
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_TGA
#define STBI_ONLY_BMP
#define STBI_ONLY_HDR
#define STBI_NO_STDIO
// A header may announce up to 2^24 pixels a side by default; velk's own
// caps (EncodedImageFiles.cpp) are tighter still.
#define STBI_MAX_DIMENSIONS 65536
#include <stb_image.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>
#endif
