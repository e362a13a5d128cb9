#include "io/rib/RibData.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static const RibData& emptyNode() {
    static const RibData empty;
    return empty;
}

int RibData::size() const {
    if (kind == nodeArray) return (int)nodes.size();
    if (kind == valueArray) return (int)values.size();
    std::printf("Trying to get the size of a non-array RibData\n");
    return 0;
}

const RibData& RibData::node(int i) const {
    if (i < 0 || i >= (int)nodes.size()) return emptyNode();
    return nodes[(size_t)i];
}

double RibData::floatAt(int i) const {
    if (i < 0 || i >= (int)values.size()) return 0.0;
    return std::atof(stringAt(i));
}

int RibData::intAt(int i) const {
    if (i < 0 || i >= (int)values.size()) return 0;
    return std::atoi(stringAt(i));
}

const char* RibData::stringAt(int i) const {
    if (i < 0 || i >= (int)values.size()) return "";
    const char* value = values[(size_t)i];
    return value[0] == '"' ? value + 1 : value;
}

double RibData::asFloat() const { return std::atof(text); }

int RibData::asInt() const { return std::atoi(text); }

int RibData::parameterIndex(const char* name) const {
    if (kind != nodeArray) return -1;
    for (size_t i = 0; i + 1 < nodes.size(); i++) {
        if (nodes[i].kind == quotedString && nodes[i + 1].kind == valueArray &&
            std::strcmp(nodes[i].text, name) == 0)
            return (int)i + 1;
    }
    return -1;
}

bool RibData::hasParameter(const char* name) const { return parameterIndex(name) >= 0; }

const RibData& RibData::findOptionalArg(const char* name) const {
    if (kind != nodeArray) {
        std::printf("findOptionalArg called on a non-nodearray RibData.\n");
        return *this;
    }
    int index = parameterIndex(name);
    if (index < 0) {
        std::printf("findOptionalArg couldn't find requested arg %s - are you sure it's there?\n",
                    name);
        return *this;
    }
    return nodes[(size_t)index];
}

bool RibData::getFloats(const char* name, double* out, int n) const {
    int index = parameterIndex(name);
    if (index < 0) return false;
    const RibData& array = nodes[(size_t)index];
    if ((int)array.values.size() != n) {
        std::printf("I have vs6\n");
        return false;
    }
    for (int i = 0; i < n; i++) out[i] = array.floatAt(i);
    return true;
}

std::string RibData::getString(const char* name) const {
    int index = parameterIndex(name);
    if (index < 0) return std::string();
    return std::string(nodes[(size_t)index].stringAt(0));
}

const char* RibData::firstString() const {
    if (kind == valueArray) return stringAt(0);
    if (kind == plainToken || kind == quotedString) return text;
    return "";
}

double RibData::firstFloat() const { return std::atof(firstString()); }

int RibData::firstInt() const { return std::atoi(firstString()); }
