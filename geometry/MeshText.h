// MeshText: a mesh file held whole in memory and handed out line by line, the
// way the mesh readers of "shape" blocks and the PLY tools consume it. Lines
// are cut in place (the end of line becomes a zero byte), so reading a line
// and its numbers allocates nothing; a line of any length stays one line.
#pragma once

#include <cstddef>
#include <cstdio>
#include <vector>

class MeshText {
public:
    MeshText() : cursor(0) { data.push_back('\0'); }

    // Reads the rest of an open file (from its current position). False when
    // a read error occurs; the text then holds what could be read.
    bool load(FILE* file);
    // Copies length bytes of text (tests, in-memory meshes).
    void assign(const char* text, size_t length);

    // The next line without its "\n" or "\r\n", or null when no byte is left.
    // The text stays valid as long as this MeshText.
    char* nextLine();
    // Bytes not yet handed out, and where they start (raw records that follow
    // a text line).
    size_t remaining() const { return data.size() - 1 - cursor; }
    const unsigned char* rest() const { return reinterpret_cast<const unsigned char*>(data.data() + cursor); }

private:
    std::vector<char> data;  // the bytes and one closing zero byte
    size_t cursor;
};

// Number readers over a line, as "%f" and "%d" read them: blanks are skipped,
// one number is consumed. When no number follows, value becomes 0, the cursor
// stays and the answer is false (so every later read fails as well).
bool scanFloat(char*& cursor, float& value);
// Values beyond the int range are clamped to it.
bool scanInt(char*& cursor, int& value);
// The first whitespace-separated words of a line: copies word number index
// (0-based) into out (cut to size - 1 characters); false when it is missing.
bool lineWord(const char* line, int index, char* out, size_t size);
