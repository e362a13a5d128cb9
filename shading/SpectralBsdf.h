// Spectral scattering for the spectral renderer: surfaces (Lambertian,
// Ashikhmin-Shirley specular, smooth dielectric) and homogeneous media
// (isotropic and Rayleigh phase functions, which also sample free flights).
// Each holds one 301-entry spectrum whose meaning depends on the class.
//
// Directions: incoming travels towards the surface, outgoing leaves it;
// normal is the unit surface normal on the side the ray arrives from. The
// random numbers u1, u2 come from the caller.
#pragma once

#include "foundation/HPoint.h"
#include "shading/SpectralData.h"

struct GRay;
struct HitRecord;

class SpectralBsdf {
public:
    bool isSpecular = false;  // a delta distribution: cannot be evaluated
    bool isMedium = false;    // a phase function of a volume
    double spectrum[spectrumSamples];

    SpectralBsdf();
    virtual ~SpectralBsdf() {}
    // An outgoing direction with its density and scattering value at
    // wavelength index i; false when none could be chosen.
    virtual bool sample(const HPoint& incoming, HPoint& outgoing, const HPoint& normal, int i, double& pdf,
                        double& value, double u1, double u2, bool inside) = 0;
    // Density and value for a pair of directions.
    virtual bool evaluate(const HPoint& incoming, const HPoint& outgoing, const HPoint& normal, int i,
                          double& pdf, double& value) = 0;
    // Media: the next interaction along ray before the surface in hit.
    // 0 none (the surface comes first), 1 scattering, 2 absorption; for a
    // volume event hit holds the point, its normal the ray direction.
    virtual int freeFlight(const GRay& ray, HitRecord& hit, int i);
};

class LambertianBsdf : public SpectralBsdf {  // spectrum: diffuse reflectance
public:
    bool sample(const HPoint& incoming, HPoint& outgoing, const HPoint& normal, int i, double& pdf, double& value,
                double u1, double u2, bool inside) override;
    bool evaluate(const HPoint& incoming, const HPoint& outgoing, const HPoint& normal, int i, double& pdf,
                  double& value) override;
};

class AshikhminBsdf : public SpectralBsdf {  // spectrum: specular reflectance
public:
    double nu = 0.0, nv = 0.0;  // the exponents along the two tangents
    bool sample(const HPoint& incoming, HPoint& outgoing, const HPoint& normal, int i, double& pdf, double& value,
                double u1, double u2, bool inside) override;
    bool evaluate(const HPoint& incoming, const HPoint& outgoing, const HPoint& normal, int i, double& pdf,
                  double& value) override;

private:
    bool shared(const HPoint& k1, const HPoint& outgoing, const HPoint& h, const HPoint& normal, const HPoint& t1,
                const HPoint& t2, int i, double& pdf, double& value) const;
};

// A smooth boundary: reflects or refracts with the Fresnel share as value,
// and a pdf of value times the outgoing cosine, so that value / pdf x cos is 1.
class DielectricBsdf : public SpectralBsdf {  // spectrum: index of refraction
public:
    DielectricBsdf();  // 1.5 from 400 to 699 nm; 700 nm stays 0
    bool sample(const HPoint& incoming, HPoint& outgoing, const HPoint& normal, int i, double& pdf, double& value,
                double u1, double u2, bool inside) override;
    bool evaluate(const HPoint& incoming, const HPoint& outgoing, const HPoint& normal, int i, double& pdf,
                  double& value) override;
};

class UniformScatteringBsdf : public SpectralBsdf {  // spectrum: extinction coefficient
public:
    double albedo[spectrumSamples];  // probability of scattering at an interaction
    UniformScatteringBsdf();
    bool sample(const HPoint& incoming, HPoint& outgoing, const HPoint& normal, int i, double& pdf, double& value,
                double u1, double u2, bool inside) override;
    bool evaluate(const HPoint& incoming, const HPoint& outgoing, const HPoint& normal, int i, double& pdf,
                  double& value) override;
    int freeFlight(const GRay& ray, HitRecord& hit, int i) override;
};

class RayleighScatteringBsdf : public SpectralBsdf {  // spectrum: extinction coefficient
public:
    RayleighScatteringBsdf();
    // sigma(lambda) = sigmaAt400 * 2.56e10 / lambda^4 (lambda in nm).
    void setExtinctionAt400(double sigmaAt400);
    bool sample(const HPoint& incoming, HPoint& outgoing, const HPoint& normal, int i, double& pdf, double& value,
                double u1, double u2, bool inside) override;
    bool evaluate(const HPoint& incoming, const HPoint& outgoing, const HPoint& normal, int i, double& pdf,
                  double& value) override;
    int freeFlight(const GRay& ray, HitRecord& hit, int i) override;
};

// A direction uniform over the sphere: up to 20 tries of three numbers
// 2u - 1 (fresh draws), the first strictly inside the unit ball (else the
// last), normalised.
HPoint uniformSphereDirection();
