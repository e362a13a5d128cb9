// YafrayParser: reads a YafRay XML scene into a GScene. Every element of the
// document is visited in document order and handled by its name: cameras
// (views kept by name), the render element (which creates the scene's
// camera, the renderer), objects with spheres and triangle meshes (one
// LBVHbox per mesh), lights, generic shaders and the background. Elements
// are handled in file order: a shader must come before the objects that use
// it and a camera before the render element that names it.
#pragma once

#include <string>

#include "foundation/GHashtable.h"
#include "io/xml/XmlDocument.h"

class GCamera;
class GMaterial;
class GObject;
class GScene;

class YafrayParser {
public:
    explicit YafrayParser(GScene* scene);
    ~YafrayParser();
    YafrayParser(const YafrayParser&) = delete;
    YafrayParser& operator=(const YafrayParser&) = delete;

    // Prints "XML PARSE...", loads the file, prints "DONE" and fills the
    // scene from the tree; the document is reset afterwards.
    void parse(const char* fileName);
    // The same for a scene held in memory (no console lines); files it
    // names are looked up from the working folder.
    void parseText(const std::string& text);

    // The renderer a render type names ("pathTracing", ... compared without
    // regard to case), or "" for a name that is no renderer.
    static const char* rendererName(const char* renderType);

private:
    GScene* scene;  // not owned
    XmlDocument document;
    // Views and shaders by name (keys owned).
    GHashtable<std::string, GObject> namedObjects;

    void readTree();
    void readCamera(const XmlNode* element);
    void readRender(const XmlNode* element);
    void readObject(const XmlNode* element);
    void readSphere(const XmlNode* element, GMaterial* material);
    void readMesh(const XmlNode* object, const XmlNode* mesh, GMaterial* material);
    void readLight(const XmlNode* element);
    void readShader(const XmlNode* element);
    void readBackground(const XmlNode* element);
    // The named object when it is of the class asked for, else nullptr.
    GObject* named(const char* name, int classId) const;
};
