// Math for the content generator that gives the same bits on every machine: sine, cosine and
// exponential built from IEEE basic operations only (the C library's versions differ between
// releases), a seeded pseudo-random generator of our own and a tileable lattice noise.
#pragma once

#include <cmath>
#include <cstdint>

namespace korvana::content {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kTwoPi = 6.28318530717958647692;

// Odd polynomial on [-pi/2, pi/2]: sine's Taylor series up to r^19, whose first omitted term is
// below 1e-16 there.
inline double detSin(double x) {
    double k = std::floor(x / kTwoPi + 0.5);
    double r = x - k * kTwoPi;  // [-pi, pi]
    if (r > kPi / 2) r = kPi - r;
    if (r < -kPi / 2) r = -kPi - r;
    double r2 = r * r;
    double p = -1.0 / 121645100408832000.0;          // 1/19!
    p = 1.0 / 355687428096000.0 + r2 * p;            // 1/17!
    p = -1.0 / 1307674368000.0 + r2 * p;             // 1/15!
    p = 1.0 / 6227020800.0 + r2 * p;                 // 1/13!
    p = -1.0 / 39916800.0 + r2 * p;                  // 1/11!
    p = 1.0 / 362880.0 + r2 * p;                     // 1/9!
    p = -1.0 / 5040.0 + r2 * p;                      // 1/7!
    p = 1.0 / 120.0 + r2 * p;                        // 1/5!
    p = -1.0 / 6.0 + r2 * p;                         // 1/3!
    return r + r * r2 * p;
}

inline double detCos(double x) { return detSin(x + kPi / 2); }

inline double detExp(double x) {
    if (x < -700.0) return 0.0;
    if (x > 700.0) x = 700.0;
    constexpr double kLn2 = 0.69314718055994530942;
    double k = std::floor(x / kLn2 + 0.5);
    double r = x - k * kLn2;  // |r| <= ln2/2
    double term = 1.0, sum = 1.0;
    for (int i = 1; i <= 16; ++i) {
        term = term * r / i;
        sum += term;
    }
    return std::ldexp(sum, static_cast<int>(k));
}

// 2^x, for note frequencies and decay rates.
inline double detExp2(double x) { return detExp(x * 0.69314718055994530942); }

// The frequency of MIDI note n (A4 = 69 = 440 Hz).
inline double noteHz(double n) { return 440.0 * detExp2((n - 69.0) / 12.0); }

inline double clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }

inline double smoothstep(double a, double b, double x) {
    double t = clamp01((x - a) / (b - a));
    return t * t * (3.0 - 2.0 * t);
}

inline double mix(double a, double b, double t) { return a + (b - a) * t; }

// SplitMix64 seeding an xorshift64* stream: small, fast and fully specified by its seed.
class Rng {
public:
    explicit Rng(uint64_t seed) {
        uint64_t z = seed + 0x9E3779B97F4A7C15ull;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        state_ = (z ^ (z >> 31)) | 1u;
    }
    uint64_t next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    // Uniform in [-1, 1).
    double signedUniform() { return uniform() * 2.0 - 1.0; }
    int below(int n) { return static_cast<int>(uniform() * n); }

private:
    uint64_t state_;
};

// Integer hash of a lattice point, in [0, 1).
inline double latticeValue(int x, int y, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(x) * 0x8DA6B343u ^ static_cast<uint32_t>(y) * 0xD8163841u ^
                 seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return static_cast<double>(h & 0xFFFFFF) / 16777216.0;
}

// Value noise that repeats every `period` lattice cells in x and y, so textures tile under GL_REPEAT.
inline double tileNoise(double x, double y, int period, uint32_t seed) {
    double fx = std::floor(x), fy = std::floor(y);
    int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * (3.0 - 2.0 * tx);
    ty = ty * ty * (3.0 - 2.0 * ty);
    auto wrap = [period](int v) { return ((v % period) + period) % period; };
    int x0 = wrap(ix), x1 = wrap(ix + 1), y0 = wrap(iy), y1 = wrap(iy + 1);
    double a = latticeValue(x0, y0, seed), b = latticeValue(x1, y0, seed);
    double c = latticeValue(x0, y1, seed), d = latticeValue(x1, y1, seed);
    return mix(mix(a, b, tx), mix(c, d, tx), ty);
}

// Fractal sum of tileNoise octaves; u and v in [0, 1) map onto one full period.
inline double tileFbm(double u, double v, int basePeriod, int octaves, uint32_t seed) {
    double sum = 0.0, amp = 0.5, norm = 0.0;
    int period = basePeriod;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * tileNoise(u * period, v * period, period, seed + static_cast<uint32_t>(o) * 101u);
        norm += amp;
        amp *= 0.5;
        period *= 2;
    }
    return sum / norm;
}

}  // namespace korvana::content
