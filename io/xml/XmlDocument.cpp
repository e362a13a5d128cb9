#include "io/xml/XmlDocument.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "foundation/InputFile.h"

// ---------------------------------------------------------------- nodes

const XmlAttribute* XmlNode::attribute(const char* attributeName) const {
    for (const XmlAttribute* a = attributes; a; a = a->next)
        if (std::strcmp(a->name, attributeName) == 0) return a;
    return nullptr;
}

const char* XmlNode::value(const char* attributeName) const {
    const XmlAttribute* a = attribute(attributeName);
    return a ? a->value : nullptr;
}

int XmlNode::childCount() const {
    int count = 0;
    for (const XmlNode* child = firstChild; child; child = child->nextSibling) count++;
    return count;
}

const XmlNode* XmlNode::next() const {
    if (firstChild) return firstChild;
    for (const XmlNode* n = this; n; n = n->parent)
        if (n->nextSibling) return n->nextSibling;
    return nullptr;
}

const XmlNode* XmlNode::findDescendant(const char* descendantName) const {
    // Document order, but never past the end of this element: a camera
    // without a "from" child must not take the next light's.
    const XmlNode* n = firstChild;
    while (n) {
        if (std::strcmp(n->name, descendantName) == 0) return n;
        if (n->firstChild) {
            n = n->firstChild;
            continue;
        }
        while (n != this && !n->nextSibling) n = n->parent;
        if (n == this) return nullptr;
        n = n->nextSibling;
    }
    return nullptr;
}

// ---------------------------------------------------------------- document

XmlDocument::XmlDocument()
    : root(nullptr), current(nullptr), cursor(nullptr), parsing(false), includeDepth(0),
      loadedTexts(0), nodesUsedInBlock(blockSize), attributesUsedInBlock(blockSize) {
    for (int i = 0; i < 256; i++) charClass[i] = otherClass;
    const char* nameCharacters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz01234567890_+-:.";
    for (const char* c = nameCharacters; *c; c++) charClass[(unsigned char)*c] = nameClass;
    for (const char* c = "<>/!?"; *c; c++) charClass[(unsigned char)*c] = markupClass;
    charClass[(unsigned char)'"'] = quoteClass;
    charClass[(unsigned char)'\''] = quoteClass;
    charClass[0] = endClass;
    reset();
}

XmlDocument::~XmlDocument() { releaseAll(); }

void XmlDocument::releaseAll() {
    for (XmlNode* block : nodeBlocks) delete[] block;
    for (XmlAttribute* block : attributeBlocks) delete[] block;
    for (char* text : texts) delete[] text;
    nodeBlocks.clear();
    attributeBlocks.clear();
    texts.clear();
    nodesUsedInBlock = blockSize;
    attributesUsedInBlock = blockSize;
}

void XmlDocument::reset() {
    releaseAll();
    root = current = newNode("ROOT_NODE");
    cursor = nullptr;
    parsing = false;
    currentFile = FileId();
    includeDepth = 0;
    loadedTexts = 0;
    baseFolder.clear();
}

XmlNode* XmlDocument::newNode(const char* name) {
    if (nodesUsedInBlock == blockSize) {
        nodeBlocks.push_back(new XmlNode[blockSize]);
        nodesUsedInBlock = 0;
    }
    XmlNode* node = &nodeBlocks.back()[nodesUsedInBlock++];
    *node = XmlNode{name, nullptr, nullptr, nullptr, nullptr, nullptr};
    return node;
}

void XmlDocument::addAttribute(XmlNode* node, const char* name, const char* value) {
    if (attributesUsedInBlock == blockSize) {
        attributeBlocks.push_back(new XmlAttribute[blockSize]);
        attributesUsedInBlock = 0;
    }
    XmlAttribute* attribute = &attributeBlocks.back()[attributesUsedInBlock++];
    *attribute = XmlAttribute{name, value, node->attributes};
    node->attributes = attribute;
}

std::string XmlDocument::describe(const XmlNode* node) {
    std::string text = "<";
    text += node->name;
    for (const XmlAttribute* a = node->attributes; a; a = a->next) {
        if (std::strcmp(a->name, "$DATA$") == 0) continue;
        text += ' ';
        text += a->name;
        text += "=\"";
        text += a->value;
        text += '"';
    }
    text += node->firstChild ? ">" : "/>";
    return text;
}

// ---------------------------------------------------------------- files

// Scene files written elsewhere may name folders with "\"; here the
// separator is "/".
static std::string withPlatformSlashes(const std::string& name) {
    std::string converted = name;
    for (char& c : converted)
        if (c == '\\') c = '/';
    return converted;
}

// Looked at rather than opened: opening a pipe would wait for a writer.
static bool opensForReading(const std::string& path) {
    return inputExists(path.c_str());
}

std::string XmlDocument::locate(const char* fileName) const {
    std::string asGiven = withPlatformSlashes(fileName);
    if (opensForReading(asGiven)) return asGiven;
    std::string inBase = withPlatformSlashes(baseFolder + fileName);
    if (opensForReading(inBase)) return inBase;
    return std::string();
}

char* XmlDocument::readText(const char* path, const char* fileName, FileId& file) {
    FILE* input = isRegularFile(path) ? std::fopen(path, "rb") : nullptr;
    struct stat info;
    // Only a regular file has a size to read: a folder opens but reads nothing.
    bool regular = input && fstat(fileno(input), &info) == 0 && S_ISREG(info.st_mode);
    char* text = nullptr;
    if (regular) {
        size_t size = (size_t)info.st_size;
        text = new char[size + 1];
        size_t got = std::fread(text, 1, size, input);
        if (got < size) {
            delete[] text;
            text = nullptr;
        } else {
            text[size] = 0;
            file.device = (unsigned long long)info.st_dev;
            file.inode = (unsigned long long)info.st_ino;
        }
    }
    if (input) std::fclose(input);
    if (!text) {
        std::printf("XML Error! Could not load file '%s'.\n", fileName);
        return nullptr;
    }
    texts.push_back(text);
    loadedTexts++;
    return text;
}

static void setBaseFolderFrom(std::string& baseFolder, const char* fileName) {
    const char* slash = std::strrchr(fileName, '/');
    const char* backslash = std::strrchr(fileName, '\\');
    const char* last = slash > backslash ? slash : backslash;
    baseFolder = last ? std::string(fileName, (size_t)(last - fileName) + 1) : std::string();
}

bool XmlDocument::load(const char* fileName) {
    if (parsing) return false;  // includes come through beginInclude
    if (baseFolder.empty()) setBaseFolderFrom(baseFolder, fileName);
    std::string path = locate(fileName);
    if (path.empty()) {
        std::printf("XML Error! File '%s' not found.\n", fileName);
        return false;
    }
    FileId file;
    char* text = readText(path.c_str(), fileName, file);
    if (!text) return false;
    cursor = text;
    currentFile = file;
    return parseLoop();
}

bool XmlDocument::parseText(char* text) {
    if (!text || parsing) return false;
    cursor = text;
    currentFile = FileId();
    return parseLoop();
}

bool XmlDocument::beginInclude(const char* fileName) {
    if (baseFolder.empty()) setBaseFolderFrom(baseFolder, fileName);
    std::string path = locate(fileName);
    if (path.empty()) {
        std::printf("XML Error! File '%s' not found.\n", fileName);
        return false;
    }
    // Includes that go too deep, loop or multiply are skipped with a message
    // and the including text goes on, so nothing after them is lost.
    if (includeDepth == maxIncludeDepth) {
        std::fprintf(stderr, "XML Error! File includes nested too deeply.\n");
        return true;
    }
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        FileId file;
        file.device = (unsigned long long)info.st_dev;
        file.inode = (unsigned long long)info.st_ino;
        bool loop = file == currentFile;
        for (int i = 0; i < includeDepth && !loop; i++) loop = includeStack[i].file == file;
        if (loop) {
            std::fprintf(stderr, "XML Error! File '%s' includes itself; include skipped.\n",
                         fileName);
            return true;
        }
    }
    if (loadedTexts >= maxLoadedTexts) {
        if (loadedTexts == maxLoadedTexts) {
            std::fprintf(stderr, "XML Error! More than %d files included; '%s' and the rest skipped.\n",
                         maxLoadedTexts, fileName);
            loadedTexts++;  // said once
        }
        return true;
    }
    FileId file;
    char* text = readText(path.c_str(), fileName, file);
    if (!text) return false;
    includeStack[includeDepth].cursor = cursor;
    includeStack[includeDepth].file = currentFile;
    includeDepth++;
    cursor = text;
    currentFile = file;
    return true;
}

// ---------------------------------------------------------------- parsing

XmlDocument::Token XmlDocument::nextToken() {
    while (charClass[(unsigned char)*cursor] == otherClass) *cursor++ = 0;
    char* start = cursor;
    switch (charClass[(unsigned char)*cursor]) {
        case markupClass: {
            int type = (unsigned char)*cursor;
            *cursor++ = 0;
            return Token{type, start};
        }
        case nameClass:
            while (charClass[(unsigned char)*cursor] == nameClass) cursor++;
            return Token{'n', start};
        case quoteClass: {
            char quote = *cursor;
            *cursor++ = 0;
            char* value = cursor;
            while (*cursor && *cursor != quote) cursor++;
            if (!*cursor) {
                std::fprintf(stderr, "XML Error! Unexpected end of file parsing string.\n");
                return Token{-1, cursor};
            }
            *cursor++ = 0;
            return Token{'q', value};
        }
        case endClass:
            return Token{0, cursor};
        default:
            std::fprintf(stderr, "XML Error! Unknown token type (%d) encountered\n",
                         charClass[(unsigned char)*cursor]);
            return Token{0, cursor};
    }
}

bool XmlDocument::skipPast() {
    while (*cursor && *cursor != '>') cursor++;
    if (!*cursor) return false;
    *cursor++ = 0;
    return true;
}

bool XmlDocument::readStartTag(char* name) {
    XmlNode* node = newNode(name);
    node->parent = current;
    if (current->lastChild)
        current->lastChild->nextSibling = node;
    else
        current->firstChild = node;
    current->lastChild = node;

    const char* pendingName = nullptr;
    bool selfClosing = false;
    for (;;) {
        Token token = nextToken();
        if (token.type == '>') break;
        if (token.type <= 0) {
            // The text ended inside the tag: the tag and the parse end here
            // (an open string has said so already).
            if (token.type == 0)
                std::fprintf(stderr, "XML Error! Unexpected end of file inside <%s>.\n", node->name);
            return false;
        }
        if (token.type == 'n') {
            pendingName = token.text;
        } else if (token.type == 'q') {
            if (pendingName) {
                addAttribute(node, pendingName, token.text);
                pendingName = nullptr;
            } else {
                std::fprintf(stderr, "XML Error! Unnamed attribute with value '%s'.\n", token.text);
            }
        } else if (token.type == '/') {
            selfClosing = true;
        } else {
            std::fprintf(stderr, "XML Error! Unexpected token type (%d).\n", token.type);
        }
    }
    if (!selfClosing) current = node;
    if (std::strcmp(node->name, "include") == 0) {
        if (const char* file = node->value("file")) return beginInclude(file);
    }
    return true;
}

bool XmlDocument::parseLoop() {
    parsing = true;
    bool result = true;
    for (;;) {
        // Text phase: up to the next "<"; one text run per gap.
        bool textStarted = false;
        while (*cursor != '<') {
            if (*cursor == 0) break;
            if (!textStarted && charClass[(unsigned char)*cursor] != otherClass) {
                addAttribute(current, "$DATA$", cursor);
                textStarted = true;
            }
            cursor++;
        }
        if (*cursor == 0) {
            if (includeDepth > 0) {
                includeDepth--;
                cursor = includeStack[includeDepth].cursor;
                currentFile = includeStack[includeDepth].file;
                continue;
            }
            break;
        }
        // A tag.
        *cursor++ = 0;
        Token token = nextToken();
        if (token.type == '?' || token.type == '!') {
            if (!skipPast()) {
                std::fprintf(stderr,
                             "XML Error! Unexpected end of file inside a comment or declaration.\n");
                result = false;
                break;
            }
        } else if (token.type == '/') {
            if (!skipPast()) {
                std::fprintf(stderr, "XML Error! Unexpected end of file inside a closing tag.\n");
                result = false;
                break;
            }
            if (current == root)
                std::fprintf(stderr, "XML Error! Unmatched closing tag.\n");
            else
                current = current->parent;
        } else if (token.type == 'n') {
            if (!readStartTag(token.text)) {
                result = false;
                break;
            }
        } else {
            result = false;
            break;
        }
    }
    // Whatever ended the parse, no including text is resumed later.
    includeDepth = 0;
    parsing = false;
    return result;
}
