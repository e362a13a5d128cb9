// XmlDocument: the small XML reader behind YafRay scenes. A file is loaded
// whole and cut in place: names, attribute values and text runs are pointers
// into the loaded text, ended by zero bytes written over the markup. Elements
// become XmlNodes with attribute lists; text content is an attribute named
// "$DATA$". Comments and declarations are skipped, "include" elements splice
// another file in at their place. Closing tags are not matched against the
// open element and no entities are decoded.
//
// Nodes, attributes and loaded texts belong to the document and are released
// together by reset or the destructor; no node is freed on its own.
#pragma once

#include <string>
#include <vector>

struct XmlAttribute {
    const char* name;
    const char* value;
    XmlAttribute* next;
};

struct XmlNode {
    const char* name;
    XmlAttribute* attributes;  // head of the list: reverse document order
    XmlNode* parent;
    XmlNode* firstChild;
    XmlNode* lastChild;
    XmlNode* nextSibling;

    // The first attribute of the list with exactly this name, or nullptr.
    const XmlAttribute* attribute(const char* attributeName) const;
    // The value of that attribute, or nullptr.
    const char* value(const char* attributeName) const;
    int childCount() const;
    // The first element named so inside this element's subtree, in document
    // order; nullptr when there is none.
    const XmlNode* findDescendant(const char* descendantName) const;
    // The next element in document order: first child, else next sibling,
    // else the next sibling of the nearest ancestor that has one.
    const XmlNode* next() const;
};

class XmlDocument {
public:
    // Byte classes of the tokenizer.
    static constexpr int otherClass = 1000;   // treated as blank
    static constexpr int markupClass = 1001;  // < > / ! ?
    static constexpr int nameClass = 1002;
    static constexpr int quoteClass = 1003;
    static constexpr int endClass = 1004;     // the zero byte
    // Saved reading positions of including texts.
    static constexpr int maxIncludeDepth = 9;
    // Texts one document may load, its own file included: includes that fan
    // out level by level must not multiply without end.
    static constexpr int maxLoadedTexts = 1000;
    // Nodes and attributes are allocated in blocks of this many.
    static constexpr int blockSize = 256;

    XmlDocument();
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // Finds the file (as named, else in the base folder), reads it whole and
    // parses it under the current node. False when the file cannot be found
    // or read, or when the parse stopped at an error that ends it.
    bool load(const char* fileName);
    // Parses text held by the caller; it is cut in place and must stay alive
    // and unchanged as long as the tree is used. For tests and in-memory use.
    bool parseText(char* text);
    // Frees every node, attribute and text; the tree is a fresh "ROOT_NODE".
    void reset();

    // "<name a="v" ...>" or "... />" for an element without children; the
    // attributes in list order, "$DATA$" left out.
    static std::string describe(const XmlNode* node);

    XmlNode* getRoot() const { return root; }
    const std::string& getBaseFolder() const { return baseFolder; }
    // The path that load would open for this name (the name itself, else the
    // name in the base folder), or "" when neither is a readable file.
    std::string locate(const char* fileName) const;

    int charClass[256];

private:
    // Which file a text came from (device and inode), so that an include
    // loop is seen whatever the names; all zero for a caller's text.
    struct FileId {
        unsigned long long device = 0, inode = 0;
        bool operator==(const FileId& o) const { return device == o.device && inode == o.inode; }
    };
    struct SavedText {
        char* cursor;
        FileId file;
    };
    struct Token {
        // a markup character, 'n' for a name, 'q' for a quoted value, 0 at the end of
        // the text, -1 at the end of the text inside a string
        int type;
        char* text;
    };

    XmlNode* root;
    XmlNode* current;
    char* cursor;
    bool parsing;
    FileId currentFile;
    SavedText includeStack[maxIncludeDepth];
    int includeDepth;
    int loadedTexts;
    std::string baseFolder;

    std::vector<XmlNode*> nodeBlocks;
    int nodesUsedInBlock;
    std::vector<XmlAttribute*> attributeBlocks;
    int attributesUsedInBlock;
    std::vector<char*> texts;

    XmlNode* newNode(const char* name);
    void addAttribute(XmlNode* node, const char* name, const char* value);
    void releaseAll();

    // Reads a file into a new zero-terminated text kept by the document.
    char* readText(const char* path, const char* fileName, FileId& file);
    // The main loop over the text at cursor and every text included from it.
    bool parseLoop();
    // Starts reading an included text, saving the current position.
    bool beginInclude(const char* fileName);
    Token nextToken();
    // Skips to the next ">" (overwritten); false at the end of the text.
    bool skipPast();
    // Reads the rest of a start tag whose name is already read.
    bool readStartTag(char* name);
};
