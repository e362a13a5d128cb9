#include "shading/SpectralBsdf.h"

#include <cmath>

#include "foundation/Random.h"
#include "foundation/Sampling.h"
#include "geometry/GRay.h"
#include "geometry/HitRecord.h"

namespace {

const double pi = 3.141592653589793;
const double inverseFourPi = 0.0795774715;

double dot(const HPoint& a, const HPoint& b) { return (double)a.x * b.x + (double)a.y * b.y + (double)a.z * b.z; }

HPoint combination(const HPoint& a, double ka, const HPoint& b, double kb, const HPoint& c, double kc) {
    return HPoint((float)(a.x * ka + b.x * kb + c.x * kc), (float)(a.y * ka + b.y * kb + c.y * kc),
                  (float)(a.z * ka + b.z * kb + c.z * kc), 1.0f);
}

}  // namespace

HPoint uniformSphereDirection() {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    for (int attempt = 0; attempt < 20; attempt++) {
        x = 2.0f * uniform01() - 1.0f;
        y = 2.0f * uniform01() - 1.0f;
        z = 2.0f * uniform01() - 1.0f;
        if (x * x + y * y + z * z < 1.0f) break;
    }
    HPoint d(x, y, z, 1.0f);
    d.normalize();
    return d;
}

SpectralBsdf::SpectralBsdf() {
    for (double& entry : spectrum) entry = 0.0;
}

int SpectralBsdf::freeFlight(const GRay& ray, HitRecord& hit, int i) {
    (void)ray;
    (void)hit;
    (void)i;
    return 0;
}

// ---------------------------------------------------------------- Lambertian

bool LambertianBsdf::sample(const HPoint& incoming, HPoint& outgoing, const HPoint& normal, int i, double& pdf,
                            double& value, double u1, double u2, bool inside) {
    (void)incoming;
    (void)inside;
    value = spectrum[i] / pi;
    if (value <= 0.0) return false;
    HPoint t1, t2;
    localFrame(normal, t1, t2);
    double phi = 2.0 * pi * u2, r = std::sqrt(1.0 - u1);
    outgoing = combination(t1, std::cos(phi) * r, t2, std::sin(phi) * r, normal, std::sqrt(u1));
    pdf = dot(outgoing, normal) / pi;
    return pdf > 0.0;
}

bool LambertianBsdf::evaluate(const HPoint& incoming, const HPoint& outgoing, const HPoint& normal, int i,
                              double& pdf, double& value) {
    (void)incoming;
    double c = dot(normal, outgoing);
    if (c < 0.0) {
        pdf = -1.0;
        value = 0.0;
        return false;
    }
    pdf = c / pi;
    value = spectrum[i] / pi;
    return true;
}

// ---------------------------------------------------------------- Ashikhmin

bool AshikhminBsdf::shared(const HPoint& k1, const HPoint& outgoing, const HPoint& h, const HPoint& normal,
                           const HPoint& t1, const HPoint& t2, int i, double& pdf, double& value) const {
    const double nh = dot(normal, h), ht1 = dot(h, t1), ht2 = dot(h, t2);
    const double e = (nu * ht1 * ht1 + nv * ht2 * ht2) / (1.0 - nh * nh);
    const double root = std::sqrt((nu + 1.0) * (nv + 1.0));
    const double power = std::pow(nh, e);
    const double no = std::fabs(dot(normal, outgoing)), nk = std::fabs(dot(normal, k1));
    value = std::fabs(spectrum[i] * root / (8.0 * pi * dot(h, k1)) / (no + nk - no * nk) * power);
    pdf = std::fabs(root / (8.0 * pi * dot(outgoing, h)) * power);
    if (pdf > 0.0 && value > 0.0 && std::isfinite(pdf) && std::isfinite(value)) return true;
    pdf = -1.0;
    value = 0.0;
    return false;
}

bool AshikhminBsdf::sample(const HPoint& incoming, HPoint& outgoing, const HPoint& normal, int i, double& pdf,
                           double& value, double u1, double u2, bool inside) {
    (void)inside;
    if (spectrum[i] <= 0.0) return false;
    HPoint t1, t2;
    localFrame(normal, t1, t2);
    HPoint k1 = incoming.scaled(-1.0f);
    // The four quadrants of the half-vector distribution.
    double a = 2.0 * u1, b = 2.0 * u2, phiSign = 1.0, thetaSign = 1.0;
    if (a > 1.0) {
        a -= 1.0;
        phiSign = -1.0;
    }
    if (b > 1.0) {
        b -= 1.0;
        thetaSign = -1.0;
    }
    double phi = std::atan(std::sqrt((nu + 1.0) / (nv + 1.0)) * std::tan(pi * a / 2.0));
    double cosPhi = std::cos(phi), sinPhi = std::sin(phi) * phiSign;
    double cosTheta = std::pow(1.0 - b, 1.0 / (nu * cosPhi * cosPhi + nv * sinPhi * sinPhi + 1.0));
    double sinTheta = std::sqrt(std::fmax(0.0, 1.0 - cosTheta * cosTheta)) * thetaSign;
    HPoint h = combination(normal, cosTheta, t2, sinTheta * sinPhi, t1, sinTheta * cosPhi);
    double kh = dot(k1, h);
    outgoing = HPoint((float)(2.0 * kh * h.x - k1.x), (float)(2.0 * kh * h.y - k1.y), (float)(2.0 * kh * h.z - k1.z),
                      1.0f);
    return shared(k1, outgoing, h, normal, t1, t2, i, pdf, value);
}

bool AshikhminBsdf::evaluate(const HPoint& incoming, const HPoint& outgoing, const HPoint& normal, int i,
                             double& pdf, double& value) {
    if (spectrum[i] <= 0.0) {
        pdf = -1.0;
        value = 0.0;
        return false;
    }
    HPoint t1, t2;
    localFrame(normal, t1, t2);
    HPoint k1 = incoming.scaled(-1.0f);
    HPoint h = k1.sum(outgoing);
    h.normalize();
    return shared(k1, outgoing, h, normal, t1, t2, i, pdf, value);
}

// ---------------------------------------------------------------- dielectric

DielectricBsdf::DielectricBsdf() {
    isSpecular = true;
    for (int i = 0; i < spectrumSamples - 1; i++) spectrum[i] = 1.5;
}

bool DielectricBsdf::sample(const HPoint& incoming, HPoint& outgoing, const HPoint& normal, int i, double& pdf,
                            double& value, double u1, double u2, bool inside) {
    (void)u2;
    const double eta = spectrum[i];
    const float n1 = inside ? (float)eta : 1.0f, n2 = inside ? 1.0f : (float)eta;
    HPoint w = incoming, n = normal;
    w.normalize();
    n.normalize();
    HPoint refracted;
    double fresnel = 1.0;  // total internal reflection
    if (refracted.refract(n, w, n1, n2)) {
        double ci = std::fabs(dot(n, w)), ct = std::fabs(dot(n, refracted));
        double rs = (n1 * ci - n2 * ct) / (n1 * ci + n2 * ct);
        double rp = (n2 * ci - n1 * ct) / (n2 * ci + n1 * ct);
        fresnel = (rs * rs + rp * rp) / 2.0;
    }
    // The density carries the outgoing cosine, which the camera's weight
    // f / p |cos| then cancels: each event weighs 1 and is chosen with its
    // share of the energy. (The incoming cosine would make a refraction
    // carry cos_t / cos_i, which cancels through a slab but not a prism.)
    if (fresnel >= u1) {
        outgoing = HPoint::reflect(n, w);
        value = fresnel;
        pdf = value * std::fabs(dot(n, w));  // the mirror keeps the incoming cosine
    } else {
        outgoing = refracted;
        outgoing.w = 1.0f;
        value = 1.0 - fresnel;
        pdf = value * std::fabs(dot(n, outgoing));
    }
    return true;
}

bool DielectricBsdf::evaluate(const HPoint& incoming, const HPoint& outgoing, const HPoint& normal, int i,
                              double& pdf, double& value) {
    (void)incoming;
    (void)outgoing;
    (void)normal;
    (void)i;
    pdf = 1.0;
    value = 0.0;
    return false;
}

// ---------------------------------------------------------------- media

UniformScatteringBsdf::UniformScatteringBsdf() {
    isMedium = true;
    for (double& entry : albedo) entry = 0.0;
}

bool UniformScatteringBsdf::sample(const HPoint& incoming, HPoint& outgoing, const HPoint& normal, int i,
                                   double& pdf, double& value, double u1, double u2, bool inside) {
    (void)incoming, (void)normal, (void)i, (void)u1, (void)u2, (void)inside;
    outgoing = uniformSphereDirection();
    pdf = value = inverseFourPi;
    return true;
}

bool UniformScatteringBsdf::evaluate(const HPoint& incoming, const HPoint& outgoing, const HPoint& normal, int i,
                                     double& pdf, double& value) {
    (void)incoming, (void)outgoing, (void)normal, (void)i;
    pdf = value = inverseFourPi;
    return true;
}

// The distance to the next interaction, -ln(u) / sigma; the interaction
// replaces the surface hit when it comes first.
static bool volumeEventFirst(const GRay& ray, HitRecord& hit, double sigma, double u) {
    if (sigma <= 0.0) return false;
    double t = -std::log(u) / sigma;
    if (hit.t <= t) return false;
    hit.t = (float)t;
    hit.point = ray.origin.sum(ray.direction.scaled((float)t));
    hit.point.w = 1.0f;
    hit.normal = ray.direction;
    return true;
}

int UniformScatteringBsdf::freeFlight(const GRay& ray, HitRecord& hit, int i) {
    double u = uniform01(), u2 = uniform01();
    if (!volumeEventFirst(ray, hit, spectrum[i], u)) return 0;
    return albedo[i] < u2 ? 2 : 1;
}

RayleighScatteringBsdf::RayleighScatteringBsdf() { isMedium = true; }

void RayleighScatteringBsdf::setExtinctionAt400(double sigmaAt400) {
    for (int i = 0; i < spectrumSamples; i++) {
        double lambda = firstWavelength + i;
        spectrum[i] = sigmaAt400 * 2.56e10 / (lambda * lambda * lambda * lambda);
    }
}

bool RayleighScatteringBsdf::sample(const HPoint& incoming, HPoint& outgoing, const HPoint& normal, int i,
                                    double& pdf, double& value, double u1, double u2, bool inside) {
    (void)normal, (void)i, (void)u1, (void)u2, (void)inside;
    outgoing = uniformSphereDirection();
    double c = dot(incoming, outgoing);
    pdf = inverseFourPi;
    value = 3.0 * (1.0 + c * c) / (16.0 * pi);
    return true;
}

bool RayleighScatteringBsdf::evaluate(const HPoint& incoming, const HPoint& outgoing, const HPoint& normal, int i,
                                      double& pdf, double& value) {
    (void)normal, (void)i;
    double c = dot(incoming, outgoing);
    pdf = inverseFourPi;
    value = 3.0 * (1.0 + c * c) / (16.0 * pi);
    return true;
}

int RayleighScatteringBsdf::freeFlight(const GRay& ray, HitRecord& hit, int i) {
    double u = uniform01();
    return volumeEventFirst(ray, hit, spectrum[i], u) ? 1 : 0;
}
