// Spectrum files of the spectral materials and renderer.
#include "fuzz/FuzzHarness.h"
#include "shading/SpectralData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputFile input(data, size, "values.spec");
    runReader([&] {
        double values[spectrumSamples] = {};
        loadSpectrum(values, input.path());
    });
    return 0;
}
