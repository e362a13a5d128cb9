// JString: the system's own byte string. The buffer holds capacity + 1 bytes
// and is always NUL-terminated; length counts the bytes in use. Bad indices
// are fatal (a message on standard error, exit status 1).
#pragma once

class JString {
public:
    char* chars;
    int capacity;
    int length;

    // A null text counts as empty.
    JString(const char* text = nullptr);
    // The first n bytes of text (which must hold at least n bytes).
    JString(const char* text, int n);
    JString(const JString& other);
    JString& operator=(const JString& other);
    ~JString();

    const char* text() const { return chars; }

    // Same length and same bytes.
    bool equals(const JString& other) const;
    // Sum of the bytes (as signed 8-bit values) up to three bytes; beyond
    // that the first and the last four bytes as little-endian 32-bit words.
    int hash() const;

    char charAt(int i) const;
    // Bytes a .. b-1; the bounds are swapped when b < a.
    JString substring(int a, int b) const;

    void append(const char* text);
    void append(const JString& other);
    void append(char c);

    // -1, 0 or 1 comparing unsigned bytes; a proper prefix sorts first.
    int compareTo(const JString& other) const;
    // Equal when lengths match and bytes match ignoring ASCII case.
    bool equalsIgnoreCase(const JString& other) const;

    // Positions of the first (last) occurrence at or after (at or before)
    // from, or -1. Searching for an empty text finds the clamped start.
    int indexOf(char c, int from = 0) const;
    int indexOf(const char* text, int from = 0) const;
    int lastIndexOf(char c) const { return lastIndexOf(c, length - 1); }
    int lastIndexOf(char c, int from) const;
    int lastIndexOf(const char* text) const { return lastIndexOf(text, length); }
    int lastIndexOf(const char* text, int from) const;
    bool endsWith(const char* text) const;
    bool endsWith(const JString& other) const;

    // In-place replacement of every occurrence; text occurrences are
    // replaced left to right without overlap, an empty target changes nothing.
    void replace(char from, char to);
    void replace(const char* target, const char* replacement);

    // The hash in the form a hash table's hashFunction takes.
    static int hashOf(const JString* key) { return key->hash(); }

private:
    void appendBytes(const char* bytes, int n);
    void reallocate(int newCapacity);
};
