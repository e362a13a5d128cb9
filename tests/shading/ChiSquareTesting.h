// The chi-square test of a direction sampler against its density, as
// research renderers test theirs: directions binned on a (cos theta, phi)
// grid about an axis, expected counts from the density integrated over each
// cell, cells with small expectations pooled, discrete outcomes (specular
// directions, failed samples) as cells of their own, and the threshold the
// chi-square quantile at a small significance.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "foundation/HPoint.h"

struct DirectionGrid {
    static const int cosCells = 48, phiCells = 24;
    HPoint axis, side, up;

    explicit DirectionGrid(const HPoint& a) : axis(a) {
        side = HPoint::perpendicular(axis);
        side.normalize();
        up = axis.cross(side);
    }
    int cellOf(const HPoint& d) const {
        double c = d.dot(axis);
        double phi = std::atan2((double)d.dot(up), (double)d.dot(side));
        if (phi < 0.0) phi += 2.0 * M_PI;
        int i = (int)((c + 1.0) * 0.5 * cosCells), j = (int)(phi / (2.0 * M_PI) * phiCells);
        i = i < 0 ? 0 : i >= cosCells ? cosCells - 1 : i;
        j = j < 0 ? 0 : j >= phiCells ? phiCells - 1 : j;
        return i * phiCells + j;
    }
    HPoint direction(double c, double phi) const {
        double s = std::sqrt(std::fmax(0.0, 1.0 - c * c));
        HPoint d(axis.x * c + (side.x * std::cos(phi) + up.x * std::sin(phi)) * s,
                 axis.y * c + (side.y * std::cos(phi) + up.y * std::sin(phi)) * s,
                 axis.z * c + (side.z * std::cos(phi) + up.z * std::sin(phi)) * s, 1.0f);
        d.normalize();
        return d;
    }
    // The density's integral over every cell (midpoint rule on sub-cells;
    // dOmega = dcos dphi).
    std::vector<double> integrate(const std::function<double(const HPoint&)>& density, int sub = 12) const {
        std::vector<double> mass(cosCells * phiCells, 0.0);
        const double dc = 2.0 / cosCells / sub, dphi = 2.0 * M_PI / phiCells / sub;
        for (int i = 0; i < cosCells; i++)
            for (int j = 0; j < phiCells; j++)
                for (int a = 0; a < sub; a++)
                    for (int b = 0; b < sub; b++) {
                        double c = -1.0 + (i * sub + a + 0.5) * dc, phi = (j * sub + b + 0.5) * dphi;
                        mass[i * phiCells + j] += density(direction(c, phi)) * dc * dphi;
                    }
        return mass;
    }
};

// The chi-square quantile at upper tail alpha for k degrees of freedom
// (Wilson-Hilferty; z the normal quantile of alpha).
inline double chiSquareQuantile(int k, double z) {
    double h = 2.0 / (9.0 * k);
    double t = 1.0 - h + z * std::sqrt(h);
    return k * t * t * t;
}

// Pools cells whose expectation is below 5 into one and compares: true when
// the statistic stays under the quantile at significance 1e-4 (z = 3.719).
inline void expectChiSquareFits(const std::vector<double>& observed, const std::vector<double>& expected,
                                const char* what) {
    double statistic = 0.0, pooledObserved = 0.0, pooledExpected = 0.0;
    int cells = 0;
    for (size_t i = 0; i < observed.size(); i++) {
        if (expected[i] < 5.0) {
            pooledObserved += observed[i];
            pooledExpected += expected[i];
            continue;
        }
        double d = observed[i] - expected[i];
        statistic += d * d / expected[i];
        cells++;
    }
    if (pooledExpected >= 5.0) {
        double d = pooledObserved - pooledExpected;
        statistic += d * d / pooledExpected;
        cells++;
    } else {
        // Outcomes the density all but forbids must not turn up in numbers.
        EXPECT_LT(pooledObserved, pooledExpected + 5.0 * std::sqrt(pooledExpected + 1.0)) << what;
    }
    ASSERT_GE(cells, 1) << what;
    if (cells == 1) {  // one outcome holds everything (total internal reflection)
        EXPECT_LT(statistic, 1e-6) << what;
        return;
    }
    EXPECT_LT(statistic, chiSquareQuantile(cells - 1, 3.719)) << what << ": " << cells << " cells";
}
