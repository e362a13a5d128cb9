#include "render/CameraSettings.h"

#include <strings.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "render/BidirectionalCamera.h"
#include "render/GCamera.h"
#include "render/InstantRadiosityCamera.h"
#include "render/MetropolisCamera.h"
#include "render/MisBidirectionalCamera.h"
#include "render/MisPathTracingCamera.h"
#include "render/PathMetropolisCamera.h"
#include "render/PathTracingCamera.h"
#include "render/PrimarySampleMetropolisCamera.h"
#include "render/SimpleRaytracingCamera.h"
#include "render/SpectralSampleCamera.h"
#include "render/UberCamera.h"

// ---------------------------------------------------------------- one setting

static std::string numberText(double value, CameraSetting::Kind kind) {
    char buffer[64];
    if (kind == CameraSetting::integer)
        std::snprintf(buffer, sizeof buffer, "%d", (int)value);
    else
        std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

std::string CameraSetting::valueText(const GCamera* camera) const {
    switch (kind) {
        case integer: return numberText(camera->*intField, kind);
        case real: return numberText(camera->*floatField, kind);
        default: return camera->*textField;
    }
}

std::string CameraSetting::defaultValueText() const {
    return kind == text ? std::string(defaultText) : numberText(defaultValue, kind);
}

std::string CameraSetting::rangeText() const {
    if (kind == text) {
        if (!choices) return "text";
        // An empty choice is said in words, not as an empty item of the list.
        std::string list;
        bool emptyAccepted = false;
        for (const char* const* c = choices; *c; c++) {
            if (!**c)
                emptyAccepted = true;
            else
                list += std::string(list.empty() ? "one of " : ", ") + *c;
        }
        return emptyAccepted ? list + " (or empty)" : list;
    }
    std::string range = kind == integer ? "integer, " : "number, ";
    return range + numberText(minimum, kind) + " .. " + numberText(maximum, kind);
}

bool CameraSetting::set(GCamera* camera, const char* value, std::string& error) const {
    if (kind == text) {
        if (choices) {
            // Without regard to case, as the scene readers compare; the
            // choice is kept as the table spells it.
            const char* const* c = choices;
            while (*c && strcasecmp(*c, value) != 0) c++;
            if (!*c) {
                error = std::string("'") + value + "' is not " + rangeText();
                return false;
            }
            camera->*textField = *c;
            return true;
        }
        camera->*textField = value;
        return true;
    }
    // The whole text must be the number: "4x" or "" is refused, not read as 4 or 0.
    char* end = nullptr;
    errno = 0;
    double number;
    if (kind == integer) {
        long long whole = std::strtoll(value, &end, 10);
        number = (double)whole;
    } else {
        number = std::strtod(value, &end);
    }
    bool parsed = end != value && *end == 0 && errno == 0 && std::isfinite(number);
    if (!parsed) {
        error = std::string("'") + value + "' is not " + (kind == integer ? "an integer" : "a number");
        return false;
    }
    if (number < minimum || number > maximum) {
        error = std::string(value) + " is outside " + numberText(minimum, kind) + " .. " +
                numberText(maximum, kind);
        return false;
    }
    if (kind == integer)
        camera->*intField = (int)number;
    else
        camera->*floatField = (float)number;
    return true;
}

// ---------------------------------------------------------------- tables

const CameraSetting* CameraSettingTable::find(const char* name) const {
    for (const CameraSetting& row : rows)
        if (strcasecmp(row.name, name) == 0) return &row;
    return nullptr;
}

std::string CameraSettingTable::names() const {
    std::string list;
    for (const CameraSetting& row : rows) list += std::string(list.empty() ? "" : ", ") + row.name;
    return list;
}

// ---------------------------------------------------------------- renderers

namespace {

template <class C>
GCamera* make() {
    return new C();
}

template <class C>
const CameraSettingTable* tableOf() {
    return C::settingTableOfClass();
}

}  // namespace

const std::vector<CameraKind>& cameraKinds() {
    static const std::vector<CameraKind> kinds = {
        {"rayTracing", &make<SimpleRaytracingCamera>, &tableOf<SimpleRaytracingCamera>},
        {"pathTracing", &make<PathTracingCamera>, &tableOf<PathTracingCamera>},
        {"bidirectionalPathTracing", &make<BidirectionalCamera>, &tableOf<BidirectionalCamera>},
        {"metropolis", &make<MetropolisCamera>, &tableOf<MetropolisCamera>},
        {"pathMetropolis", &make<PathMetropolisCamera>, &tableOf<PathMetropolisCamera>},
        {"instantRadiosity", &make<InstantRadiosityCamera>, &tableOf<InstantRadiosityCamera>},
        {"uberPathTracing", &make<UberCamera>, &tableOf<UberCamera>},
        {"spectralSample", &make<SpectralSampleCamera>, &tableOf<SpectralSampleCamera>},
        {"misPathTracing", &make<MisPathTracingCamera>, &tableOf<MisPathTracingCamera>},
        {"misBidirectional", &make<MisBidirectionalCamera>, &tableOf<MisBidirectionalCamera>},
        {"primarySampleMetropolis", &make<PrimarySampleMetropolisCamera>, &tableOf<PrimarySampleMetropolisCamera>},
    };
    return kinds;
}

const CameraKind* findCameraKind(const char* renderType) {
    for (const CameraKind& kind : cameraKinds())
        if (strcasecmp(kind.renderType, renderType) == 0) return &kind;
    return nullptr;
}

const CameraKind* cameraKindOf(const GCamera* camera) {
    const CameraSettingTable* table = camera ? camera->settingTable() : nullptr;
    if (!table) return nullptr;
    for (const CameraKind& kind : cameraKinds())
        if (kind.table && kind.table() == table) return &kind;
    return nullptr;
}

std::string settingsManualText() {
    std::string text;
    char line[256];
    for (const CameraKind& kind : cameraKinds()) {
        const CameraSettingTable* table = kind.table();
        std::snprintf(line, sizeof line, "    %s (%s)\n", kind.renderType, table->className);
        text += line;
        for (const CameraSetting& row : table->rows) {
            std::string head = std::string(row.name) + " = " + row.defaultValueText();
            std::snprintf(line, sizeof line, "        %-28s %s\n            %s\n", head.c_str(),
                          row.rangeText().c_str(), row.meaning);
            text += line;
        }
    }
    return text;
}
