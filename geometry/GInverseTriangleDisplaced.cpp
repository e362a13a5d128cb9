// The displaced surface of a GInverseTriangle: shell construction, the ray
// test against the height field, and the displaced point and normal.
//
// The ray is clipped to the shell (box, the two planes parallel to the
// triangle, one plane per edge). The clipped interval is cut into two
// segments; three points of each are inverted onto the surface (weights,
// height, texture coordinate) and parabolas through them stand in for the
// ray's course in the triangle's own coordinates. Along those parabolas the
// ray's height is marched against the height field, skipping ahead where the
// min/max pyramids prove that the ray stays on one side.
#include <cmath>

#include "foundation/Settings.h"
#include "geometry/GInverseTriangle.h"
#include "geometry/TriangleGeometry.h"
#include "image/HeightImage.h"
#include "shading/GTexture.h"

namespace {

inline float axisValue(const HPoint& p, int axis) { return axis == 0 ? p.x : (axis == 1 ? p.y : p.z); }

inline HPoint movedAlong(const HPoint& p, const HPoint& direction, float amount) {
    return HPoint(p.x + amount * direction.x, p.y + amount * direction.y, p.z + amount * direction.z, 1.0f);
}

// value(x) = a x^2 + b x + c through the values at x = 0, 1/2 and 1 (x is the
// segment parameter divided by the segment length).
struct Parabola {
    float a, b, c;
    Parabola(float f0, float f1, float f2) : a(2.0f * (f0 - 2.0f * f1 + f2)), b(4.0f * f1 - 3.0f * f0 - f2), c(f0) {}
    float at(float x) const { return (a * x + b) * x + c; }
    // Smallest and largest value over [x0, x1].
    void range(float x0, float x1, float& low, float& high) const {
        float v0 = at(x0), v1 = at(x1);
        low = v0 < v1 ? v0 : v1;
        high = v0 < v1 ? v1 : v0;
        if (a != 0.0f) {
            float vertex = -b / (2.0f * a);
            if (vertex > x0 && vertex < x1) {
                float extreme = at(vertex);
                if (extreme < low) low = extreme;
                if (extreme > high) high = extreme;
            }
        }
    }
    // Where a weight that starts negative becomes zero: the smaller root if it
    // lies in (0, 1), else the larger root if it is below 1; -1 if none.
    float entryRoot() const {
        float smaller, larger;
        if (std::fabs(a) <= 1e-7f * (std::fabs(b) + std::fabs(c))) {
            if (b == 0.0f) return -1.0f;
            smaller = larger = -c / b;
        } else {
            float discriminant = b * b - 4.0f * a * c;
            if (discriminant < 0.0f) return -1.0f;
            // The numerically stable pair of roots.
            float q = -0.5f * (b + (b < 0.0f ? -std::sqrt(discriminant) : std::sqrt(discriminant)));
            float r1 = q / a;
            float r2 = q != 0.0f ? c / q : r1;
            smaller = r1 < r2 ? r1 : r2;
            larger = r1 < r2 ? r2 : r1;
        }
        if (smaller > 0.0f && smaller < 1.0f) return smaller;
        if (larger < 1.0f) return larger;
        return -1.0f;
    }
};

// Every weight has at least one of the three samples near the triangle.
bool segmentPlausible(const DisplacementSample& s0, const DisplacementSample& s1, const DisplacementSample& s2) {
    for (int k = 0; k < 3; k++) {
        bool near = false;
        for (const DisplacementSample* s : {&s0, &s1, &s2}) {
            if (s->weight[k] >= -0.02f && s->weight[k] <= 1.01f) near = true;
        }
        if (!near) return false;
    }
    return true;
}

const float weightTolerance = -0.001f;
const int skipSteps = 10;

}  // namespace

// ---------------------------------------------------------------------------
// Shell construction

void GInverseTriangle::buildShell(GTexture* texture) {
    const HPoint n = planeNormal();
    float normalDot[3];
    for (int i = 0; i < 3; i++) {
        normalDot[i] = vertices[i]->normal.dot(n);
        // Heights are measured along the plane normal: a vertex normal that
        // does not lean to its side cannot carry them (and would divide by 0).
        if (!(normalDot[i] > 1e-6f)) return;
    }
    shell = new DisplacementShell();
    DisplacementShell& s = *shell;
    s.texture = texture;
    if (texture->image->isKindOf(ClassId::HeightImage)) {
        s.heights = static_cast<HeightImage*>(texture->image);
        s.heights->pyramids();  // built now, so the ray test never allocates
    }
    float hMin = texture->valueMin < texture->valueMax ? texture->valueMin : texture->valueMax;
    float hMax = texture->valueMin < texture->valueMax ? texture->valueMax : texture->valueMin;
    s.heightMin = hMin;
    s.heightMax = hMax;
    for (int i = 0; i < 3; i++) s.normalDot[i] = normalDot[i];

    // A flat height field would give a shell without depth (and side planes
    // without direction): such a field gets a thin minimum thickness.
    HPoint cornerMin = vertices[0]->position, cornerMax = vertices[0]->position;
    for (int i = 1; i < 3; i++) {
        cornerMin.componentMin(vertices[i]->position);
        cornerMax.componentMax(vertices[i]->position);
    }
    float minimumThickness = 0.001f * cornerMax.difference(cornerMin).length();
    float range = hMax - hMin;
    float pad = range < minimumThickness ? minimumThickness : 0.0f;
    s.boundsLow = hMin - 0.08f * range - pad;
    s.boundsHigh = hMax + pad;

    flags |= displaced;
    getBounds(s.boxMin, s.boxMax);
    s.diagonal = s.boxMax.difference(s.boxMin).length();

    // One plane per edge through the corners moved to the lowest and highest
    // heights, pushed slightly outwards.
    float sideLow = hMin - pad, sideHigh = hMax + pad;
    for (int i = 0; i < 3; i++) {
        int j = (i + 1) % 3, k = (i + 2) % 3;
        const HPoint& pi = vertices[i]->position;
        const HPoint& pj = vertices[j]->position;
        const HPoint& ni = vertices[i]->normal;
        const HPoint& nj = vertices[j]->normal;
        HPoint bottomI = movedAlong(pi, ni, sideLow / normalDot[i]);
        HPoint topI = movedAlong(pi, ni, sideHigh / normalDot[i]);
        HPoint bottomJ = movedAlong(pj, nj, sideLow / normalDot[j]);
        HPoint topJ = movedAlong(pj, nj, sideHigh / normalDot[j]);
        HPoint side = topJ.difference(bottomI).cross(topI.difference(bottomJ));
        if (!(side.length() > 0.0f)) side = pj.difference(pi).cross(n);
        side.normalize();
        if (side.dot(vertices[k]->position.difference(pi)) > 0.0f) side.scale(-1.0f);
        // The corners' own displaced extremes lie on the same lines; they are
        // included so the plane bounds them too.
        const HPoint points[8] = {bottomI, bottomJ, topJ, topI, movedAlong(pi, ni, s.boundsLow),
                                  movedAlong(pi, ni, s.boundsHigh), movedAlong(pj, nj, s.boundsLow),
                                  movedAlong(pj, nj, s.boundsHigh)};
        float largest = side.dot(points[0]);
        for (const HPoint& p : points) {
            float value = side.dot(p);
            if (value > largest) largest = value;
        }
        s.sidePlanes[i] = HPoint(side.x, side.y, side.z, -largest - 0.003f * s.diagonal);
    }

    // Planes parallel to the triangle enclosing every displaced point: a
    // height h at weights b lies at h (b . normalDot) from the plane. Both
    // products are taken so negative heights are bounded as well.
    float dotMin = normalDot[0], dotMax = normalDot[0];
    for (int i = 1; i < 3; i++) {
        if (normalDot[i] < dotMin) dotMin = normalDot[i];
        if (normalDot[i] > dotMax) dotMax = normalDot[i];
    }
    float margin = range * 0.01f + pad;
    s.lowOffset = std::fmin(hMin * dotMin, hMin * dotMax) - margin;
    s.highOffset = std::fmax(hMax * dotMin, hMax * dotMax) + margin;

    // (P2 - P0) x (P1 - P0) runs against the counter-clockwise normal; the sign
    // turns the finite-difference normal to the plane normal's side.
    const HPoint& p0 = vertices[0]->position;
    HPoint reversed = vertices[2]->position.difference(p0).cross(vertices[1]->position.difference(p0));
    s.normalSign = reversed.dot(n) >= 0.0f ? 1.0f : -1.0f;
}

// ---------------------------------------------------------------------------
// Displaced point and normal

float GInverseTriangle::heightAt(float u, float v) const {
    return shell->texture->lookupScalar(HPoint(u, v, 0.0f, 1.0f));
}

HPoint GInverseTriangle::displaceAlong(float a, float b, float c, const HPoint& direction) const {
    HPoint base = interpolatePosition(vertices, a, b, c);
    HPoint uv = interpolateTexCoord(vertices, a, b, c);
    return movedAlong(base, direction, heightAt(uv.x, uv.y));
}

HPoint GInverseTriangle::displacedPoint(float a, float b, float c) const {
    if (!shell) return interpolatePosition(vertices, a, b, c);
    return displaceAlong(a, b, c, interpolateVertexNormal(vertices, a, b, c));
}

HPoint GInverseTriangle::displacedNormal(float a, float b, float c) const {
    if (!shell) return shadingNormal(a, b, c);
    const float delta = 0.0001f;
    HPoint direction = interpolateVertexNormal(vertices, a, b, c);
    HPoint p0 = displaceAlong(a, b, c, direction);
    HPoint p1 = displaceAlong(a - delta, b + delta, c, direction);
    HPoint p2 = displaceAlong(a - delta, b, c + delta, direction);
    HPoint normal = p2.difference(p0).cross(p1.difference(p0));
    normal.normalize();
    normal.scale(shell->normalSign);
    normal.w = 1.0f;
    return normal;
}

// ---------------------------------------------------------------------------
// Inverting a point of the shell

void GInverseTriangle::projectWeights(const HPoint& x, const HPoint& q0, const HPoint& q1, const HPoint& q2,
                                      float& b0, float& b1, float& b2) const {
    float e1u = axisValue(q1, axisU) - axisValue(q0, axisU), e1v = axisValue(q1, axisV) - axisValue(q0, axisV);
    float e2u = axisValue(q2, axisU) - axisValue(q0, axisU), e2v = axisValue(q2, axisV) - axisValue(q0, axisV);
    float determinant = e1u * e2v - e1v * e2u;
    if (determinant == 0.0f) {
        b0 = b1 = b2 = -1.0f;  // the moved triangle collapsed: nowhere inside
        return;
    }
    float inverse = 1.0f / determinant;
    float pu = axisValue(x, axisU) - axisValue(q0, axisU);
    float pv = axisValue(x, axisV) - axisValue(q0, axisV);
    b2 = (pv * e1u - pu * e1v) * inverse;
    b1 = (pu * e2v - pv * e2u) * inverse;
    b0 = 1.0f - (b1 + b2);
}

void GInverseTriangle::invertPoint(const HPoint& x, DisplacementSample& sample) const {
    const DisplacementShell& s = *shell;
    const HPoint n = planeNormal();
    const float* normalDot = s.normalDot;
    float baseDistance = n.dot(x) + plane.w;
    // First guess: every vertex normal leans by the mean amount.
    float h = baseDistance * 3.0f / (normalDot[0] + normalDot[1] + normalDot[2]);

    // Move the corners along their normals until x lies in the moved
    // triangle's plane (at most two corrections).
    HPoint q[3];
    float previous = baseDistance;
    for (int round = 0; round < 2; round++) {
        for (int i = 0; i < 3; i++) q[i] = movedAlong(vertices[i]->position, vertices[i]->normal, h);
        if (std::fabs(previous) < 0.001f) break;
        HPoint movedNormal = q[2].difference(q[0]).cross(q[1].difference(q[0]));
        movedNormal.normalize();
        // Measured towards the plane normal's side, so a point above the moved
        // plane asks for a larger height.
        if (movedNormal.dot(n) < 0.0f) movedNormal.scale(-1.0f);
        float distance = movedNormal.dot(x.difference(q[0]));
        if (std::fabs(distance) > std::fabs(previous)) break;
        h = h * (distance + baseDistance) / baseDistance;
        previous = distance;
    }

    float b0, b1, b2;
    projectWeights(x, q[0], q[1], q[2], b0, b1, b2);
    sample.weight[0] = b0;
    sample.weight[1] = b1;
    sample.weight[2] = b2;
    float lean = b0 * normalDot[0] + b1 * normalDot[1] + b2 * normalDot[2];
    // Far outside the triangle the weights may tilt the lean to zero or
    // below; such samples are only extrapolated, never accepted.
    const float smallestLean = 1e-6f;
    if (!(lean > smallestLean)) lean = smallestLean;
    sample.height = baseDistance / lean;
    HPoint uv = interpolateTexCoord(vertices, b0, b1, b2);
    sample.u = uv.x;
    sample.v = uv.y;
}

// ---------------------------------------------------------------------------
// The ray test

void GInverseTriangle::surfaceBounds(float ua, float va, float ub, float vb, float& low, float& high) const {
    const DisplacementShell& s = *shell;
    low = s.heightMin;
    high = s.heightMax;
    if (!s.heights) return;
    if (!std::isfinite(ua) || !std::isfinite(va) || !std::isfinite(ub) || !std::isfinite(vb)) return;
    // A wrapping texture repeats: a rectangle within one period is moved into
    // [0, 1); one crossing a period border falls back to the global range.
    if (s.texture->wrapU) {
        float period = std::floor(ua < ub ? ua : ub);
        if (std::floor(ua < ub ? ub : ua) != period) return;
        ua -= period;
        ub -= period;
    }
    if (s.texture->wrapV) {
        float period = std::floor(va < vb ? va : vb);
        if (std::floor(va < vb ? vb : va) != period) return;
        va -= period;
        vb -= period;
    }
    int lowest = s.heights->lowestHeightIn(ua, va, ub, vb);
    int highest = s.heights->highestHeightIn(ua, va, ub, vb);
    if (lowest > highest) return;  // nothing answered: keep the global range
    float scale = s.texture->scale;
    low = (float)lowest * scale;
    high = (float)highest * scale;
    if (scale < 0.0f) {
        float swap = low;
        low = high;
        high = swap;
    }
}

bool GInverseTriangle::intersectDisplaced(const GRay& ray, HitRecord& hit) {
    const DisplacementShell& s = *shell;
    const HPoint& origin = ray.origin;
    const HPoint& direction = ray.direction;

    // Clip [0, hit.t] to the box. A ray lying in a face plane gives NaN
    // there, which leaves the interval as it is.
    float tNear = 0.0f, tFar = hit.t;
    const float boxLow[3] = {s.boxMin.x, s.boxMin.y, s.boxMin.z};
    const float boxHigh[3] = {s.boxMax.x, s.boxMax.y, s.boxMax.z};
    const float start[3] = {origin.x, origin.y, origin.z};
    const float inverse[3] = {ray.inverseDirection.x, ray.inverseDirection.y, ray.inverseDirection.z};
    for (int axis = 0; axis < 3; axis++) {
        float t0 = (boxLow[axis] - start[axis]) * inverse[axis];
        float t1 = (boxHigh[axis] - start[axis]) * inverse[axis];
        if (t0 > t1) {
            float swap = t0;
            t0 = t1;
            t1 = swap;
        }
        if (t0 > tNear) tNear = t0;
        if (t1 < tFar) tFar = t1;
    }
    if (!(tNear <= tFar)) return false;

    // Rays leaving the surface must not find it again at once.
    float closest = epsilon > 0.04f * s.diagonal ? epsilon : 0.04f * s.diagonal;
    if (tNear <= closest) tNear = closest;

    // Between the two planes parallel to the triangle.
    const HPoint n = planeNormal();
    float along = direction.dot(n);
    float originDistance = n.dot(origin) + plane.w;
    if (along != 0.0f) {
        float scale = -1.0f / along;
        float tLow = (originDistance - s.lowOffset) * scale;
        float tHigh = (originDistance - s.highOffset) * scale;
        float enter = tLow < tHigh ? tLow : tHigh;
        float leave = tLow < tHigh ? tHigh : tLow;
        if (enter > tNear) tNear = enter;
        if (leave < tFar) tFar = leave;
    } else if (originDistance < s.lowOffset || originDistance > s.highOffset) {
        return false;  // parallel and outside
    }

    // Inside the three edge planes.
    for (const HPoint& side : s.sidePlanes) {
        float sideAlong = direction.x * side.x + direction.y * side.y + direction.z * side.z;
        float sideDistance = origin.x * side.x + origin.y * side.y + origin.z * side.z + side.w;
        if (sideAlong == 0.0f) {
            if (sideDistance > 0.0f) return false;
            continue;
        }
        float t = -sideDistance / sideAlong;
        if (sideAlong < 0.0f) {
            if (t > tNear) tNear = t;
        } else if (t < tFar) {
            tFar = t;
        }
    }
    if (!(tNear < tFar) || hit.t < tNear) return false;

    // Two segments, each with samples at its start, middle and end.
    float length = (tFar - tNear) * 0.5f;
    DisplacementSample samples[5];
    for (int i = 0; i < 5; i++) {
        float t = tNear + 0.5f * length * (float)i;
        invertPoint(movedAlong(origin, direction, t), samples[i]);
    }
    for (int segment = 0; segment < 2; segment++) {
        const DisplacementSample& first = samples[2 * segment];
        const DisplacementSample& middle = samples[2 * segment + 1];
        const DisplacementSample& last = samples[2 * segment + 2];
        if (!segmentPlausible(first, middle, last)) continue;
        if (searchSegment(ray, tNear + length * (float)segment, length, first, middle, last, hit)) return true;
    }
    return false;
}

bool GInverseTriangle::searchSegment(const GRay& ray, float segmentStart, float length,
                                     const DisplacementSample& first, const DisplacementSample& middle,
                                     const DisplacementSample& last, HitRecord& hit) {
    const DisplacementShell& s = *shell;
    const Parabola weights[3] = {Parabola(first.weight[0], middle.weight[0], last.weight[0]),
                                 Parabola(first.weight[1], middle.weight[1], last.weight[1]),
                                 Parabola(first.weight[2], middle.weight[2], last.weight[2])};
    const Parabola rayHeight(first.height, middle.height, last.height);
    const Parabola texU(first.u, middle.u, last.u);
    const Parabola texV(first.v, middle.v, last.v);
    auto insideAt = [&](float x) {
        return weights[0].at(x) >= weightTolerance && weights[1].at(x) >= weightTolerance &&
               weights[2].at(x) >= weightTolerance;
    };
    // Ray height minus surface height: positive while the ray is above. The
    // texture coordinate is the fitted one (the fit is linear, so it is the
    // weighted sum of the corners'), except that outside the triangle the
    // negative weights are dropped: beyond an edge at u or v = 0 a wrapping
    // texture would jump to its far side and fake a crossing right there.
    const HPoint& t0 = vertices[0]->texCoord;
    const HPoint& t1 = vertices[1]->texCoord;
    const HPoint& t2 = vertices[2]->texCoord;
    auto gapAt = [&](float x) {
        float w0 = weights[0].at(x), w1 = weights[1].at(x), w2 = weights[2].at(x);
        float u, v;
        if (w0 >= 0.0f && w1 >= 0.0f && w2 >= 0.0f) {
            u = texU.at(x);
            v = texV.at(x);
        } else {
            w0 = w0 > 0.0f ? w0 : 0.0f;
            w1 = w1 > 0.0f ? w1 : 0.0f;
            w2 = w2 > 0.0f ? w2 : 0.0f;
            float sum = w0 + w1 + w2;
            if (sum > 0.0f) {
                w0 /= sum;
                w1 /= sum;
                w2 /= sum;
            } else {
                w0 = w1 = w2 = 1.0f / 3.0f;
            }
            u = w0 * t0.x + w1 * t1.x + w2 * t2.x;
            v = w0 * t0.y + w1 * t1.y + w2 * t2.y;
        }
        return rayHeight.at(x) - heightAt(u, v);
    };

    // Entry: where the last weight that starts negative turns positive.
    float entry = 0.0f;
    for (int k = 0; k < 3; k++) {
        if (!(first.weight[k] < 0.0f)) continue;
        float root = weights[k].entryRoot();
        if (root > entry) entry = root;
    }
    if (!insideAt(entry)) return false;

    // About one texel per step, between 1/256 and 1/5 of the interval (the
    // segment is half of it).
    const GImage* image = s.texture->image;
    float texels = (float)image->width * std::fabs(texU.at(1.0f) - texU.at(0.0f)) +
                   (float)image->height * std::fabs(texV.at(1.0f) - texV.at(0.0f));
    const float minimumStep = 2.0f / 256.0f, maximumStep = 2.0f / 5.0f;
    float step = texels > 0.0f ? 1.0f / texels : maximumStep;
    if (!(step >= minimumStep)) step = minimumStep;
    if (step > maximumStep) step = maximumStep;

    float x = entry;
    float gap = gapAt(x);
    if (gap == 0.0f) {
        acceptDisplacedHit(ray, segmentStart + x * length, weights[0].at(x), weights[1].at(x), weights[2].at(x), hit);
        return true;
    }
    int stepsBeforeSkip = 2;
    while (x < 1.0f) {
        float next;
        if (stepsBeforeSkip == 0) {
            // Skip ten steps at once where the pyramids show that the ray
            // stays on its side of the surface over the whole stretch.
            next = x + skipSteps * step;
            if (next > 1.0f) next = 1.0f;
            // Only where every weight stays positive, so the texture
            // coordinates run inside the rectangle of their fitted ranges.
            bool clear = true;
            for (const Parabola& weight : weights) {
                float low, high;
                weight.range(x, next, low, high);
                if (!(low >= 0.0f)) clear = false;
            }
            if (clear) {
                float rayLow, rayHigh, uLow, uHigh, vLow, vHigh, surfaceLow, surfaceHigh;
                rayHeight.range(x, next, rayLow, rayHigh);
                texU.range(x, next, uLow, uHigh);
                texV.range(x, next, vLow, vHigh);
                surfaceBounds(uLow, vLow, uHigh, vHigh, surfaceLow, surfaceHigh);
                clear = gap > 0.0f ? rayLow > surfaceHigh : rayHigh < surfaceLow;
            }
            if (clear) {
                // Tried again right away; should rounding still show a
                // crossing at the far end, it is handled below.
                stepsBeforeSkip = 0;
            } else {
                stepsBeforeSkip = skipSteps;
                next = x + step;
                if (next > 1.0f) next = 1.0f;
                stepsBeforeSkip--;
            }
        } else {
            next = x + step;
            if (next > 1.0f) next = 1.0f;
            stepsBeforeSkip--;
        }
        float nextGap = gapAt(next);

        // A change of side: locate it by regula falsi, accept it when it
        // lies on the triangle, else go on marching on the new side.
        if (nextGap == 0.0f || (nextGap > 0.0f) != (gap > 0.0f)) {
            float crossing = x + (next - x) * std::fabs(gap) / (std::fabs(gap) + std::fabs(nextGap));
            if (insideAt(crossing)) {
                float crossingGap = gapAt(crossing);
                float refined = crossing;
                if (crossingGap != 0.0f) {
                    if ((crossingGap > 0.0f) == (gap > 0.0f)) {
                        refined = crossing + (next - crossing) * std::fabs(crossingGap) /
                                                 (std::fabs(crossingGap) + std::fabs(nextGap));
                    } else {
                        refined = x + (crossing - x) * std::fabs(gap) / (std::fabs(gap) + std::fabs(crossingGap));
                    }
                }
                float t = segmentStart + refined * length;
                if (t > hit.t) return false;
                acceptDisplacedHit(ray, t, weights[0].at(refined), weights[1].at(refined), weights[2].at(refined),
                                   hit);
                return true;
            }
        }
        x = next;
        gap = nextGap;
    }
    return false;
}

void GInverseTriangle::acceptDisplacedHit(const GRay& ray, float t, float b0, float b1, float b2, HitRecord& hit) {
    hit.t = t;
    hit.object = this;
    hit.point = movedAlong(ray.origin, ray.direction, t);
    hit.normal = displacedNormal(b0, b1, b2);
    hit.texCoord = interpolateTexCoord(vertices, b0, b1, b2);
    hit.geometricNormal = hit.normal;
    if (hit.geometricNormal.dot(ray.direction) > 0.0f) hit.geometricNormal.scale(-1.0f);
}
