#include "io/native/Scanner.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/SearchPath.h"

namespace {

const int maxInputs = 10;
const int inputBufferSize = 16384;

// One open input: a file or a private copy of a text, read through a window of
// inputBufferSize bytes. The unread bytes are buffer[start .. end).
struct ScanInput {
    FILE* file;
    char* text;  // owned copy for in-memory inputs
    size_t textLength;
    size_t textPosition;
    bool sourceEnded;
    int start;
    int end;
    char buffer[inputBufferSize];
};

ScanInput* inputs[maxInputs];
int inputCount = 0;
char tokenText[maxTokenLength + 1];

enum ScanResult { scannedToken, scannedCommentStart, scannedEnd };

ScanInput* newInput() {
    ScanInput* input = new ScanInput;
    input->file = nullptr;
    input->text = nullptr;
    input->textLength = 0;
    input->textPosition = 0;
    input->sourceEnded = false;
    input->start = 0;
    input->end = 0;
    return input;
}

void closeInput(ScanInput* input) {
    if (input->file) std::fclose(input->file);
    std::free(input->text);
    delete input;
}

void popInput() {
    if (inputCount > 0) closeInput(inputs[--inputCount]);
}

// Reads more of the source behind the unread bytes. False when nothing more
// could be read (the source has ended or the window is full).
bool refill(ScanInput* input) {
    if (input->sourceEnded) return false;
    if (input->start > 0) {
        int unread = input->end - input->start;
        std::memmove(input->buffer, input->buffer + input->start, (size_t)unread);
        input->start = 0;
        input->end = unread;
    }
    size_t room = (size_t)(inputBufferSize - input->end);
    if (room == 0) return false;
    size_t got = 0;
    if (input->file) {
        got = std::fread(input->buffer + input->end, 1, room, input->file);
    } else {
        size_t left = input->textLength - input->textPosition;
        got = left < room ? left : room;
        std::memcpy(input->buffer + input->end, input->text + input->textPosition, got);
        input->textPosition += got;
    }
    if (got == 0) {
        input->sourceEnded = true;
        return false;
    }
    input->end += (int)got;
    return true;
}

// The byte `ahead` places after the next unread one (0 .. inputBufferSize - 1),
// or -1 at the end of the input.
int peek(ScanInput* input, int ahead) {
    while (input->end - input->start <= ahead) {
        if (!refill(input)) return -1;
    }
    return (unsigned char)input->buffer[input->start + ahead];
}

void advance(ScanInput* input, int n) { input->start += n; }

bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isHexDigit(int c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isWordStart(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isWordChar(int c) { return isWordStart(c) || isDigit(c); }
bool isSign(int c) { return c == '+' || c == '-'; }
bool isExponent(int c) { return c == 'e' || c == 'E'; }

// The number forms as small automata, state -1 dead, run side by side so the
// longest match wins. Since every form yields its text, ties need no order.
enum NumberForm { hexForm, integerForm, signedForm, exponentForm, decimalForm, numberFormCount };

// "0x" or "0X", then hex digits.
int stepHex(int state, int c) {
    switch (state) {
    case 0: return c == '0' ? 1 : -1;
    case 1: return (c == 'x' || c == 'X') ? 2 : -1;
    case 2:
    case 3: return isHexDigit(c) ? 3 : -1;
    }
    return -1;
}

// A decimal digit, then any hex digits (so 1e5 and 12abc are one token each).
int stepInteger(int state, int c) {
    if (state == 0) return isDigit(c) ? 1 : -1;
    return isHexDigit(c) ? 1 : -1;
}

// Sign, then one or more digits.
int stepSigned(int state, int c) {
    if (state == 0) return isSign(c) ? 1 : -1;
    return isDigit(c) ? 2 : -1;
}

// Optional sign, digits, e or E, optional sign, digits.
int stepExponent(int state, int c) {
    switch (state) {
    case 0: return isSign(c) ? 1 : (isDigit(c) ? 2 : -1);
    case 1: return isDigit(c) ? 2 : -1;
    case 2: return isDigit(c) ? 2 : (isExponent(c) ? 3 : -1);
    case 3: return isSign(c) ? 4 : (isDigit(c) ? 5 : -1);
    case 4:
    case 5: return isDigit(c) ? 5 : -1;
    }
    return -1;
}

// Optional sign, then digits "." digits with digits on at least one side of
// the dot, then an optional exponent.
int stepDecimal(int state, int c) {
    switch (state) {
    case 0: return isSign(c) ? 1 : (isDigit(c) ? 2 : (c == '.' ? 3 : -1));
    case 1: return isDigit(c) ? 2 : (c == '.' ? 3 : -1);
    case 2: return isDigit(c) ? 2 : (c == '.' ? 4 : -1);
    case 3: return isDigit(c) ? 5 : -1;
    case 4:
    case 5: return isDigit(c) ? 5 : (isExponent(c) ? 6 : -1);
    case 6: return isSign(c) ? 7 : (isDigit(c) ? 8 : -1);
    case 7:
    case 8: return isDigit(c) ? 8 : -1;
    }
    return -1;
}

int stepNumberForm(int form, int state, int c) {
    switch (form) {
    case hexForm: return stepHex(state, c);
    case integerForm: return stepInteger(state, c);
    case signedForm: return stepSigned(state, c);
    case exponentForm: return stepExponent(state, c);
    default: return stepDecimal(state, c);
    }
}

bool acceptsNumberForm(int form, int state) {
    switch (form) {
    case hexForm: return state == 3;
    case integerForm: return state == 1;
    case signedForm: return state == 2;
    case exponentForm: return state == 5;
    default: return state == 4 || state == 5 || state == 8;
    }
}

// Token text under construction: characters beyond maxTokenLength are
// consumed but not kept.
int tokenLength = 0;
bool tokenCut = false;

void beginToken() {
    tokenLength = 0;
    tokenCut = false;
}

void appendToken(int c) {
    if (tokenLength < maxTokenLength) {
        tokenText[tokenLength++] = (char)c;
    } else {
        tokenCut = true;
    }
}

void endToken() {
    tokenText[tokenLength] = '\0';
    if (tokenCut) std::fprintf(stderr, "ERROR! Token longer than %d characters truncated\n", maxTokenLength);
}

// Moves n looked-at bytes into the token.
void commit(ScanInput* input, int n) {
    for (int i = 0; i < n; i++) appendToken(peek(input, i));
    advance(input, n);
}

// Longest number at the current position; 0 when none starts here. Only the
// few bytes after the last accepted one are held back, so numbers of any
// length stream through the window.
int scanNumber(ScanInput* input) {
    int states[numberFormCount] = {0, 0, 0, 0, 0};
    int pending = 0;
    int matched = 0;
    beginToken();
    for (;;) {
        int c = peek(input, pending);
        if (c < 0) break;
        bool alive = false;
        bool accepted = false;
        for (int form = 0; form < numberFormCount; form++) {
            if (states[form] < 0) continue;
            states[form] = stepNumberForm(form, states[form], c);
            if (states[form] < 0) continue;
            alive = true;
            if (acceptsNumberForm(form, states[form])) accepted = true;
        }
        if (!alive) break;
        pending++;
        if (accepted) {
            commit(input, pending);
            matched += pending;
            pending = 0;
        }
    }
    return matched;
}

void scanWord(ScanInput* input) {
    beginToken();
    for (;;) {
        int c = peek(input, 0);
        if (c < 0 || !isWordChar(c)) break;
        appendToken(c);
        advance(input, 1);
    }
}

// A quote, text without that quote or a newline, the same quote. False when
// the quote has no partner on its line (within the longest token kept).
bool scanQuoted(ScanInput* input, int quote) {
    for (int ahead = 1; ahead < maxTokenLength; ahead++) {
        int c = peek(input, ahead);
        if (c < 0 || c == '\n') return false;
        if (c == quote) {
            beginToken();
            commit(input, ahead + 1);
            return true;
        }
    }
    std::fprintf(stderr, "ERROR! Quoted token longer than %d characters, quote ignored\n",
                 maxTokenLength);
    return false;
}

void singleCharToken(ScanInput* input, int c) {
    beginToken();
    appendToken(c);
    advance(input, 1);
}

// One step of the grammar without comment handling.
ScanResult scanRaw() {
    for (;;) {
        if (inputCount == 0) return scannedEnd;
        ScanInput* input = inputs[inputCount - 1];
        int c = peek(input, 0);
        if (c < 0) {
            // The input below resumes where it was left.
            popInput();
            continue;
        }
        switch (c) {
        case '/': {
            int next = peek(input, 1);
            if (next == '*') {
                advance(input, 2);
                return scannedCommentStart;
            }
            advance(input, next == '/' ? 2 : 1);
            continue;
        }
        case '*':
            if (peek(input, 1) == '/') {
                beginToken();
                commit(input, 2);
                endToken();
                return scannedToken;
            }
            advance(input, 1);
            continue;
        case '"':
        case '\'':
            if (scanQuoted(input, c)) {
                endToken();
                return scannedToken;
            }
            advance(input, 1);
            continue;
        case '{':
        case '}':
        case '[':
        case ']':
        case '(':
        case ')':
            singleCharToken(input, c);
            endToken();
            return scannedToken;
        default:
            break;
        }
        if (isWordStart(c)) {
            scanWord(input);
            endToken();
            return scannedToken;
        }
        if (isDigit(c) || isSign(c) || c == '.') {
            if (scanNumber(input) > 0) {
                endToken();
                return scannedToken;
            }
        }
        // Blanks, and every character that starts no token, only separate.
        advance(input, 1);
    }
}

void reportEndOfInput(const char* token) {
    std::fprintf(stderr, "ERROR! Unexpected end of input looking for token '%s'\n", token);
}

bool pushScanInput(ScanInput* input) {
    inputs[inputCount++] = input;
    return true;
}

bool roomForInput() {
    if (inputCount < maxInputs) return true;
    std::fprintf(stderr, "Includes nested too deeply");
    return false;
}

}  // namespace

const char* nextToken() {
    for (;;) {
        ScanResult result = scanRaw();
        if (result == scannedToken) return tokenText;
        if (result == scannedEnd) {
            tokenText[0] = '\0';
            return nullptr;
        }
        // Comments nest: count the openers instead of recursing, so a file of
        // nothing but "/*" cannot exhaust the stack.
        int depth = 1;
        while (depth > 0) {
            result = scanRaw();
            if (result == scannedEnd) {
                reportEndOfInput("*/");
                tokenText[0] = '\0';
                return nullptr;
            }
            if (result == scannedCommentStart) {
                depth++;
            } else if (std::strcmp(tokenText, "*/") == 0) {
                depth--;
            }
        }
    }
}

bool pushInput(const char* fileName) {
    if (!roomForInput()) return false;
    if (!fileName) return false;
    FILE* file = openOnSearchPath(fileName, "r");
    if (!file) return false;
    ScanInput* input = newInput();
    input->file = file;
    return pushScanInput(input);
}

bool pushInputText(const char* text) {
    if (!roomForInput()) return false;
    if (!text) text = "";
    ScanInput* input = newInput();
    input->textLength = std::strlen(text);
    input->text = static_cast<char*>(std::malloc(input->textLength + 1));
    std::memcpy(input->text, text, input->textLength + 1);
    return pushScanInput(input);
}

void resetScanner() {
    while (inputCount > 0) popInput();
    tokenText[0] = '\0';
}

int scannerInputDepth() { return inputCount; }

void skipBlock(int depth, const char* open, const char* close) {
    while (depth > 0) {
        const char* token = nextToken();
        if (!token) {
            reportEndOfInput(close);
            return;
        }
        if (std::strcmp(token, open) == 0) {
            depth++;
        } else if (std::strcmp(token, close) == 0) {
            depth--;
        }
    }
}

void skipTo(const char* token) {
    for (;;) {
        const char* next = nextToken();
        if (!next) {
            reportEndOfInput(token);
            return;
        }
        if (std::strcmp(next, token) == 0) return;
    }
}

// atof, kept to values a float can hold.
static float tokenToFloat(const char* token) {
    double value = std::atof(token);
    // "nan" is a word atof accepts; a NaN would poison every comparison later.
    if (std::isnan(value)) return 0.0f;
    // Converting an out-of-range double to float is undefined.
    if (value > FLT_MAX) return INFINITY;
    if (value < -FLT_MAX) return -INFINITY;
    return (float)value;
}

float readFloat() {
    const char* token = nextToken();
    return token ? tokenToFloat(token) : 0.0f;
}

void readFloat2(float& a, float& b) {
    a = readFloat();
    b = readFloat();
}

void readFloat3(float& a, float& b, float& c) {
    a = readFloat();
    b = readFloat();
    c = readFloat();
}

int readFloatList(float* out, int maxCount) {
    const char* token = nextToken();
    if (!token || std::strcmp(token, "[") != 0) return 0;
    int stored = 0;
    for (;;) {
        token = nextToken();
        if (!token || token[0] == '\0' || std::strcmp(token, "]") == 0) break;
        if (stored < maxCount) out[stored++] = tokenToFloat(token);
    }
    return stored;
}

int readInt() {
    const char* token = nextToken();
    if (!token) return 0;
    // atoi with an out-of-range value is undefined; clamp instead.
    long long value = std::strtoll(token, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return (int)value;
}

static bool isQuote(char c) { return c == '"' || c == '\''; }

void stripQuotes(char* text) {
    if (!text) return;
    size_t length = std::strlen(text);
    if (length < 2 || !isQuote(text[0]) || !isQuote(text[length - 1])) return;
    std::memmove(text, text + 1, length - 2);
    text[length - 2] = '\0';
}

bool readName(char* out, int size) {
    const char* token = nextToken();
    if (size <= 0) return token != nullptr;
    out[0] = '\0';
    if (!token) return false;
    // Strip before cutting, so a long quoted name loses both of its quotes.
    size_t length = std::strlen(token);
    if (length >= 2 && isQuote(token[0]) && isQuote(token[length - 1])) {
        token++;
        length -= 2;
    }
    if (length > (size_t)(size - 1)) length = (size_t)(size - 1);
    std::memcpy(out, token, length);
    out[length] = '\0';
    return true;
}
