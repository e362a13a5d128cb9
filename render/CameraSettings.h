// The settings of the renderers, one table per camera class: each row names
// a field of the camera by its own name, with its kind, default, valid range
// and meaning. The command line ("-set", "-settings"), the scene readers (for
// names beyond their own keys) and the manual all read these tables, so a
// new camera adds its rows and nothing else.
//
// The renderers themselves, by their render-type names, are listed in
// cameraKinds(): which exist, how to make one, and their tables.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class GCamera;

struct CameraSetting {
    enum Kind { integer, real, text };
    const char* name;
    Kind kind;
    double defaultValue;       // integer and real settings
    const char* defaultText;   // text settings
    double minimum, maximum;   // inclusive; integer and real settings
    const char* meaning;       // one line
    int GCamera::*intField = nullptr;
    float GCamera::*floatField = nullptr;
    std::string GCamera::*textField = nullptr;
    const char* const* choices = nullptr;  // text settings: the accepted values, nullptr-ended

    // The value the camera holds now, as "-settings" prints it.
    std::string valueText(const GCamera* camera) const;
    // Sets the value from text. False, with the reason in error, when the
    // text is no number of this kind, lies outside the range or is no
    // accepted choice; the camera is then unchanged.
    bool set(GCamera* camera, const char* valueText, std::string& error) const;
    // "integer, 0 .. 100" and the like.
    std::string rangeText() const;
    std::string defaultValueText() const;
};

// Rows for a field of camera class C.
template <class C>
CameraSetting intSetting(const char* name, int C::*field, int defaultValue, int minimum,
                         int maximum, const char* meaning) {
    CameraSetting s{name, CameraSetting::integer, (double)defaultValue, "", (double)minimum,
                    (double)maximum, meaning};
    s.intField = static_cast<int GCamera::*>(field);
    return s;
}

template <class C>
CameraSetting realSetting(const char* name, float C::*field, float defaultValue, double minimum,
                          double maximum, const char* meaning) {
    CameraSetting s{name, CameraSetting::real, (double)defaultValue, "", minimum, maximum, meaning};
    s.floatField = static_cast<float GCamera::*>(field);
    return s;
}

template <class C>
CameraSetting textSetting(const char* name, std::string C::*field, const char* defaultText,
                          const char* const* choices, const char* meaning) {
    CameraSetting s{name, CameraSetting::text, 0.0, defaultText, 0.0, 0.0, meaning};
    s.textField = static_cast<std::string GCamera::*>(field);
    s.choices = choices;
    return s;
}

struct CameraSettingTable {
    const char* className;
    std::vector<CameraSetting> rows;

    // The row of that name (compared without regard to case), or nullptr.
    const CameraSetting* find(const char* name) const;
    // The names, comma-separated.
    std::string names() const;
};

// Scene files may set a camera's settings by these names too, after their
// own keys: valueOf(name) answers the text the file gives, or nullptr. A
// refused value is reported (where says by what) and changes nothing.
template <class Lookup>
void applySceneSettings(GCamera* camera, const CameraSettingTable* table, const char* where,
                        Lookup valueOf) {
    if (!table) return;
    for (const CameraSetting& row : table->rows) {
        const char* value = valueOf(row.name);
        if (!value) continue;
        std::string error;
        if (!row.set(camera, value, error))
            std::printf("%s %s: %s; it stays %s\n", where, row.name, error.c_str(),
                        row.valueText(camera).c_str());
    }
}

// One renderer as the command line and the scene readers name it.
struct CameraKind {
    const char* renderType;  // "rayTracing", "pathTracing", ...
    GCamera* (*create)();
    const CameraSettingTable* (*table)();
};

// Every renderer, in the order the manual lists them.
const std::vector<CameraKind>& cameraKinds();
// The kind of that render-type name, compared without regard to case, or nullptr.
const CameraKind* findCameraKind(const char* renderType);
// The kind whose settings table the camera has, or nullptr (the base
// camera, the preview camera, no camera).
const CameraKind* cameraKindOf(const GCamera* camera);
// The renderers' settings as the manual lists them.
std::string settingsManualText();
