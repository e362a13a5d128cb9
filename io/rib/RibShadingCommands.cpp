// The RIB commands that set colours and create materials and lights.
#include <cstdio>
#include <cstring>
#include <string>

#include "geometry/GScene.h"
#include "image/ColorImage.h"
#include "image/EncodedImageFiles.h"
#include "io/rib/RibReader.h"
#include "shading/DirectionalLight.h"
#include "shading/GMaterial.h"
#include "shading/SpectralBsdf.h"
#include "shading/GTexture.h"
#include "shading/PointLight.h"

static HPoint opaqueColor(const double* rgb) {
    return HPoint((float)rgb[0], (float)rgb[1], (float)rgb[2], 1.0f);
}

static void copyTriple(double* to, const double* from) {
    to[0] = from[0], to[1] = from[1], to[2] = from[2];
}

static void setTriple(double* to, double r, double g, double b) { to[0] = r, to[1] = g, to[2] = b; }

// The three numbers of "Color [r g b]" / "Opacity [r g b]".
static bool readColorArgument(const RibData& s, double* rgb) {
    const RibData& array = s.node(1);
    if (array.kind != RibData::valueArray || array.values.size() != 3) return false;
    for (int i = 0; i < 3; i++) rgb[i] = array.floatAt(i);
    return true;
}

bool RibReader::colorCommand(const RibData& s) {
    double rgb[3];
    if (!readColorArgument(s, rgb)) {
        std::printf("Color command invalid argument sizes\n");
        return false;
    }
    setColor(rgb[0], rgb[1], rgb[2]);
    return true;
}

bool RibReader::opacityCommand(const RibData& s) {
    double rgb[3];
    if (!readColorArgument(s, rgb)) {
        std::printf("Opacity command invalid argument sizes\n");
        return false;
    }
    setOpacity(rgb[0], rgb[1], rgb[2]);
    return true;
}

// ---------------------------------------------------------------------------
// Surfaces

namespace {
// The values a "Surface" statement builds its material from.
struct SurfaceValues {
    double diffuse[3] = {0.5, 0.5, 0.5};
    double specular[3] = {1.0, 1.0, 1.0};
    double reflected[3] = {1.0, 1.0, 1.0};
    double transmitted[3] = {0.0, 0.0, 0.0};
    double ambient[3] = {0.1, 0.1, 0.1};
    double emissive[3] = {0.0, 0.0, 0.0};
    double indexOfRefraction = 1.0;
    double phongExponent = 1.0;
    double glossiness = 1.0;
    double translucency = 0.0;
};
}  // namespace

void RibReader::loadTexture(GMaterial* material, const std::string& name) {
    std::string path = resolveName(name.c_str());
    ColorImage* image = new ColorImage();
    std::string problem;
    if (!readTextureImage(*image, path.c_str(), problem)) {
        // PNG and the other encoded formats say why after the usual line.
        std::printf("Unable to load file %s as a texture %s\n", path.c_str(),
                    problem.empty() ? "" : ("(" + problem + ")").c_str());
        delete image;
        return;
    }
    GTexture* texture = new GTexture();
    texture->wrapU = true;
    texture->wrapV = true;
    texture->setImage(image);
    texture->fileName = name;
    material->setColorTexture(GMaterial::diffuse, texture);
    if (scene) {
        scene->allObjects.add(image);
        scene->allObjects.add(texture);
    }
}

// The "spectral" shader's spectra ("spectra\NAME" files) and BSDF.
void RibReader::attachSpectralBsdf(GMaterial* material, const RibData& s) {
    std::string emission = s.getString("emissivespectrum");
    if (!emission.empty()) loadSpectrum(material->emissiveSpectrum, ("spectra\\" + emission).c_str());
    std::string kind = s.getString("bsdf");
    std::string diffuse = s.getString("diffusespectrum");
    SpectralBsdf* bsdf;
    if (kind == "ashikhmin") {
        AshikhminBsdf* ashikhmin = new AshikhminBsdf();
        if (!diffuse.empty()) loadSpectrum(ashikhmin->spectrum, ("spectra\\" + diffuse).c_str());
        s.getFloats("nu", &ashikhmin->nu, 1);
        s.getFloats("nv", &ashikhmin->nv, 1);
        bsdf = ashikhmin;
    } else if (kind == "dielectric") {
        DielectricBsdf* dielectric = new DielectricBsdf();
        std::string index = s.getString("ior");
        if (!index.empty()) loadSpectrum(dielectric->spectrum, ("spectra\\" + index).c_str());
        bsdf = dielectric;
    } else {
        LambertianBsdf* lambertian = new LambertianBsdf();
        if (!diffuse.empty()) loadSpectrum(lambertian->spectrum, ("spectra\\" + diffuse).c_str());
        bsdf = lambertian;
    }
    material->bsdf = bsdf;
    if (scene)
        scene->spectralBsdfs.emplace_back(bsdf);
    else
        delete bsdf;
}

bool RibReader::surface(const RibData& s) {
    int arguments = s.size() - 1;
    if (arguments < 1) {
        std::printf("Bad number of arguments to Surface.  Requires at least 1, has %d\n", arguments);
        return false;
    }
    const char* shader = s.node(1).text;
    const RibGraphicsState& state = top();
    SurfaceValues v;
    bool spectral = false;

    if (std::strcmp(shader, "vq317surface") == 0) {
        copyTriple(v.diffuse, state.color);
        s.getFloats("specularcolor", v.specular, 3);
        s.getFloats("reflectedcolor", v.reflected, 3);
        s.getFloats("transmittedcolor", v.transmitted, 3);
        s.getFloats("ambientcolor", v.ambient, 3);
        s.getFloats("indexofrefraction", &v.indexOfRefraction, 1);
        s.getFloats("phong", &v.phongExponent, 1);
        s.getFloats("glossiness", &v.glossiness, 1);
        s.getFloats("translucency", &v.translucency, 1);
        copyTriple(v.emissive, state.emission);
    } else if (std::strcmp(shader, "mtorPhong") == 0) {
        copyTriple(v.diffuse, state.color);
        if (s.getFloats("color specularColor", v.specular, 3)) copyTriple(v.reflected, v.specular);
        for (int i = 0; i < 3; i++) v.transmitted[i] = 1.0 - state.opacity[i];
        s.getFloats("color ambientColor", v.ambient, 3);
        s.getFloats("float refractiveIndex", &v.indexOfRefraction, 1);
        double cosPower = 0.0;
        if (s.getFloats("float cosPower", &cosPower, 1)) {
            v.phongExponent = cosPower;
            // 1 / 0 would make an infinite glossiness: keep the defaults then.
            if (cosPower > 0.0) v.glossiness = v.translucency = 1.0 / cosPower;
        }
        copyTriple(v.emissive, state.emission);
    } else if (std::strcmp(shader, "spectral") == 0) {
        // The spectra and the BSDF are attached once the material exists.
        spectral = true;
        if (!s.getString("emissivespectrum").empty())
            setTriple(v.emissive, 1.0, 1.0, 1.0);
        else
            copyTriple(v.emissive, state.emission);
    } else {
        std::printf("Unhandled surface shader %s\n", shader);
        return false;
    }

    GMaterial* material = new GMaterial();
    material->setColor(GMaterial::diffuse, opaqueColor(v.diffuse));
    material->setColor(GMaterial::specular, opaqueColor(v.specular));
    material->setColor(GMaterial::reflected, opaqueColor(v.reflected));
    material->setColor(GMaterial::transmitted, opaqueColor(v.transmitted));
    material->setColor(GMaterial::ambient, opaqueColor(v.ambient));
    material->setColor(GMaterial::emissive, opaqueColor(v.emissive));
    material->setScalar(GMaterial::indexOfRefraction, (float)v.indexOfRefraction);
    material->setScalar(GMaterial::phongExponent, (float)v.phongExponent);
    material->setScalar(GMaterial::glossiness, (float)v.glossiness);
    material->setScalar(GMaterial::translucency, (float)v.translucency);

    if (spectral) attachSpectralBsdf(material, s);

    std::string textureName = s.getString("texturefile");
    if (!textureName.empty()) loadTexture(material, textureName);

    if (scene) scene->allObjects.add(material);
    setSurface(material);
    return true;
}

// ---------------------------------------------------------------------------
// Lights

bool RibReader::lightSource(const RibData& s) {
    int arguments = s.size() - 1;
    if (arguments < 1) {
        std::printf("Bad number of arguments to LightSource.  Requires at least 1, has %d\n",
                    arguments);
        return false;
    }
    const char* shader = s.node(1).text;
    double lightColor[3] = {1.0, 1.0, 1.0};
    double intensity = 1.0;
    double from[3] = {0.0, 0.0, 0.0};
    double to[3] = {0.0, 0.0, 1.0};
    double jitter = 0.0;
    GLight* light = nullptr;

    if (std::strcmp(shader, "vq317ambientLight") == 0) {
        s.getFloats("lightcolor", lightColor, 3);
        if (scene) scene->ambientColor = opaqueColor(lightColor);
        return true;
    } else if (std::strcmp(shader, "vq317directionalLight") == 0) {
        s.getFloats("lightcolor", lightColor, 3);
        s.getFloats("to", to, 3);
        s.getFloats("jitter", &jitter, 1);
        DirectionalLight* directional = new DirectionalLight();
        directional->setDirection(HPoint(-(float)to[0], -(float)to[1], -(float)to[2], 1.0f));
        directional->emissiveColor = opaqueColor(lightColor);
        directional->size = (float)jitter;
        light = directional;
    } else if (std::strcmp(shader, "vq317pointLight") == 0) {
        s.getFloats("lightcolor", lightColor, 3);
        s.getFloats("from", from, 3);
        s.getFloats("jitter", &jitter, 1);
        PointLight* point = new PointLight();
        point->location = HPoint((float)from[0], (float)from[1], (float)from[2], 1.0f);
        point->emissiveColor = opaqueColor(lightColor);
        point->size = (float)jitter;
        light = point;
    } else if (std::strcmp(shader, "pointlight") == 0) {
        s.getFloats("intensity", &intensity, 1);
        s.getFloats("lightcolor", lightColor, 3);
        s.getFloats("from", from, 3);
        PointLight* point = new PointLight();
        point->location = HPoint((float)from[0], (float)from[1], (float)from[2], 1.0f);
        point->emissiveColor = opaqueColor(lightColor).scaled((float)intensity);
        point->size = 0.0f;
        light = point;
    } else if (std::strcmp(shader, "distantlight") == 0) {
        s.getFloats("intensity", &intensity, 1);
        s.getFloats("lightcolor", lightColor, 3);
        s.getFloats("from", from, 3);
        s.getFloats("to", to, 3);
        DirectionalLight* directional = new DirectionalLight();
        directional->setDirection(HPoint((float)(from[0] - to[0]), (float)(from[1] - to[1]),
                                         (float)(from[2] - to[2]), 1.0f));
        directional->emissiveColor = opaqueColor(lightColor).scaled((float)intensity);
        light = directional;
    } else if (std::strcmp(shader, "mtorDirectionalLight") == 0) {
        s.getFloats("intensity", &intensity, 1);
        s.getFloats("lightcolor", lightColor, 3);
        s.getFloats("float intensity", &intensity, 1);
        s.getFloats("color lightcolor", lightColor, 3);
        DirectionalLight* directional = new DirectionalLight();
        directional->setDirection(top().transform.transformPoint(0.0, 0.0, -1.0));
        directional->emissiveColor = opaqueColor(lightColor).scaled((float)intensity);
        light = directional;
    } else {
        std::printf("Unhandled light shader %s\n", shader);
        return false;
    }
    if (scene)
        scene->lights.add(light);
    else
        delete light;
    return true;
}

bool RibReader::areaLightSource(const RibData& s) {
    int arguments = s.size() - 1;
    if (arguments < 1) {
        std::printf("Bad number of arguments to AreaLightSource.  Requires at least 1, has %d\n",
                    arguments);
        return false;
    }
    double lightColor[3] = {1.0, 1.0, 1.0};
    s.getFloats("lightcolor", lightColor, 3);

    // The emission also goes to the transform blocks directly below; the
    // enclosing block of another kind keeps its own.
    size_t i = states.size() - 1;
    copyTriple(states[i].emission, lightColor);
    while (i > 0 && states[i - 1].blockType == ribTransformBlock) {
        i--;
        copyTriple(states[i].emission, lightColor);
    }

    GMaterial* emitting = new GMaterial(*currentSurface());
    emitting->setColor(GMaterial::emissive, opaqueColor(lightColor));
    if (scene) scene->allObjects.add(emitting);
    setSurface(emitting);
    return true;
}
