// RibData: one node of a RIB statement's parse tree. A statement is a node
// array whose first element is the command name; parameter lists follow the
// RenderMan convention of a quoted name followed by a value array.
//
// Texts point into the reader's file buffers (no copies), so a tree is valid
// only as long as the RibReader that read it. Every query is bounds-safe:
// an index past the end answers an empty node, "" or 0 rather than reading
// outside the lists.
#pragma once

#include <string>
#include <vector>

class RibData {
public:
    enum Kind : int {
        plainToken = 0,   // a word or a number
        quotedString = 1, // text without its quotes
        nodeArray = 2,    // a statement
        valueArray = 3,   // the contents of square brackets
    };

    int kind = plainToken;
    const char* text = "";           // kinds 0 and 1
    std::vector<RibData> nodes;      // kind 2, in statement order
    // Kind 3. An element written in double quotes keeps its opening quote.
    std::vector<const char*> values;

    RibData() {}
    RibData(int nodeKind, const char* nodeText) : kind(nodeKind), text(nodeText) {}

    // Kind 2: number of nodes; kind 3: number of values; any other kind
    // prints "Trying to get the size of a non-array RibData" and answers 0.
    int size() const;
    // Node i of a statement; an empty plain token when i is out of range.
    const RibData& node(int i) const;
    // Value i of an array through atof / atoi; 0 when i is out of range.
    double floatAt(int i) const;
    int intAt(int i) const;
    // Value i without its leading quote; "" when i is out of range.
    const char* stringAt(int i) const;
    // Kinds 0 and 1: the token's text.
    const char* asString() const { return text; }
    double asFloat() const;
    int asInt() const;

    // A quoted name followed by a value array somewhere in this statement.
    bool hasParameter(const char* name) const;
    // The value array of the parameter. When it is absent, prints
    // "findOptionalArg couldn't find requested arg <name> - are you sure
    // it's there?" and answers this statement; called on a node that is not
    // a statement, prints a message and answers this node.
    const RibData& findOptionalArg(const char* name) const;
    // Fills out with the parameter's n numbers. False without a message when
    // the parameter is absent; when its array holds another count, prints
    // "I have vs6" and answers false (out is left untouched).
    bool getFloats(const char* name, double* out, int n) const;
    // The first value of the parameter without its quote; "" when the
    // parameter is absent or its array empty.
    std::string getString(const char* name) const;

    // Lenient readers of a setting's value, whether written as an array or
    // as a bare token: the first element, "" / 0 when there is none. They
    // never print.
    const char* firstString() const;
    double firstFloat() const;
    int firstInt() const;

private:
    // Index of the parameter's value array, or -1.
    int parameterIndex(const char* name) const;
};
