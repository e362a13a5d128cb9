#include "foundation/GObjectFactory.h"

#include "image/ColorImage.h"
#include "image/GrayImage.h"
#include "image/HeightImage.h"
#include "image/PresampledFunction.h"
#include "image/RealImage.h"

GObject* GObjectFactory::create(unsigned classId) {
    switch (classId) {
    case ClassId::ColorImage: return new ColorImage();
    case ClassId::GrayImage: return new GrayImage();
    case ClassId::RealImage: return new RealImage();
    case ClassId::HeightImage: return new HeightImage();
    case ClassId::PresampledFunction: return new PresampledFunction();
    default: return nullptr;
    }
}
