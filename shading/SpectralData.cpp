#include "shading/SpectralData.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "foundation/InputFile.h"
#include "foundation/SearchPath.h"

static bool readable(const std::string& path) {
    return isRegularFile(path.c_str());
}

std::string locateSpectrumFile(const char* name) {
    std::string path = name;
    for (char& c : path)
        if (c == '\\') c = '/';
    if (readable(path)) return path;
    for (int i = searchPathCount() - 1; i >= 0; i--) {
        std::string candidate = std::string(searchPathAt(i)) + path;
        if (readable(candidate)) return candidate;
    }
    // Beside the program: the build copies the shipped spectra there.
    char executable[4096];
    ssize_t length = readlink("/proc/self/exe", executable, sizeof executable - 1);
    if (length > 0) {
        executable[length] = 0;
        std::string folder(executable);
        folder = folder.substr(0, folder.rfind('/') + 1);
        if (readable(folder + path)) return folder + path;
    }
    return std::string();
}

void loadSpectrum(double* values, const char* name) {
    for (int i = 0; i < spectrumSamples; i++) values[i] = 0.0;
    std::printf("%s\n", name);
    std::string path = locateSpectrumFile(name);
    FILE* file = path.empty() ? nullptr : openInputFile(path.c_str(), "r");
    if (!file) {
        std::printf("bad file name %s\n", name);
        return;
    }
    int first = 0, last = -1, step = 0;
    if (std::fscanf(file, "%d%d%d", &first, &last, &step) != 3 || step <= 0) {
        std::fclose(file);
        return;
    }
    // Past the file's end the last value read stands for the rest. Nothing
    // past 700 nm is kept, so the loop ends there whatever the header says,
    // and once the values are used up it skips straight to 400 nm.
    double value = 0.0;
    bool read = false, exhausted = false;
    for (long long w = first; w <= last && w <= firstWavelength + spectrumSamples - 1; w += step) {
        if (!exhausted) {
            if (std::fscanf(file, "%lf", &value) == 1)
                read = true;
            else
                exhausted = true;
        }
        long long i = w - firstWavelength;
        if (i < 0) {
            if (exhausted) w += ((-i - 1) / step) * step;
            continue;
        }
        if (!read) continue;
        values[i] = value;
        if (step > 1 && i - step >= 0)
            for (int k = 1; k < step; k++)
                values[i - step + k] = values[i - step] + (values[i] - values[i - step]) * k / step;
    }
    std::fclose(file);
}

void spectrumFromBands(double* values, const HPoint& color) {
    for (int i = 0; i < spectrumSamples; i++)
        values[i] = i < 100 ? color.z : i < 200 ? color.y : i < 300 ? color.x : 0.0;
}

void addWavelength(double* xyz, const double* xBar, const double* yBar, const double* zBar, int i, double L) {
    xyz[0] += xBar[i] * L;
    xyz[1] += yBar[i] * L;
    xyz[2] += zBar[i] * L;
}

HPoint xyzToLinearRgb(const double* xyz) {
    const double X = xyz[0], Y = xyz[1], Z = xyz[2];
    return HPoint((float)(2.5623 * X - 1.1661 * Y - 0.3962 * Z), (float)(-1.0215 * X + 1.9778 * Y + 0.0437 * Z),
                  (float)(0.0752 * X - 0.2562 * Y + 1.181 * Z), 1.0f);
}

HPoint xyzToRgb(const double* xyz) {
    HPoint rgb = xyzToLinearRgb(xyz);
    float* channels[3] = {&rgb.x, &rgb.y, &rgb.z};
    for (float* c : channels) {
        float v = *c < 0.0f ? 0.0f : *c > 1.0f ? 1.0f : *c;
        *c = std::pow(v, 1.0f / 2.2f);
    }
    return rgb;
}
