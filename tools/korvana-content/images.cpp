// Procedural images of the default content. The scenes add every texture onto the picture under
// fog, so the textures stay mid-dark with a few bright accents; everything that repeats on a
// surface tiles seamlessly.
#include "images.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "detmath.h"
#include "font.h"

namespace korvana::content {

namespace {

struct Rgb {
    double r, g, b;
};

Rgb operator*(Rgb c, double s) { return {c.r * s, c.g * s, c.b * s}; }
Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Rgb lerp(Rgb a, Rgb b, double t) { return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t)}; }

void put(Image& img, int x, int y, Rgb c) {
    float* p = img.at(x, y);
    p[0] = static_cast<float>(c.r);
    p[1] = static_cast<float>(c.g);
    p[2] = static_cast<float>(c.b);
}

// A single-channel field the size of an image, for masks and glows.
struct Field {
    int width, height;
    std::vector<double> v;
    Field(int w, int h) : width(w), height(h), v(static_cast<size_t>(w) * h, 0.0) {}
    double& at(int x, int y) { return v[static_cast<size_t>(y) * width + x]; }
    double& wrapped(int x, int y) {
        x = ((x % width) + width) % width;
        y = ((y % height) + height) % height;
        return at(x, y);
    }
};

// Repeated box blurs approach a Gaussian. `wrap` keeps tiling textures seamless; otherwise the
// outside counts as zero.
Field blur(const Field& in, int radius, int passes, bool wrap) {
    Field a = in, b(in.width, in.height);
    const double norm = 1.0 / (2 * radius + 1);
    for (int p = 0; p < passes; ++p) {
        for (int y = 0; y < a.height; ++y) {
            for (int x = 0; x < a.width; ++x) {
                double s = 0;
                for (int k = -radius; k <= radius; ++k) {
                    int xx = x + k;
                    if (wrap) s += a.wrapped(xx, y);
                    else if (xx >= 0 && xx < a.width) s += a.at(xx, y);
                }
                b.at(x, y) = s * norm;
            }
        }
        for (int y = 0; y < a.height; ++y) {
            for (int x = 0; x < a.width; ++x) {
                double s = 0;
                for (int k = -radius; k <= radius; ++k) {
                    int yy = y + k;
                    if (wrap) s += b.wrapped(x, yy);
                    else if (yy >= 0 && yy < a.height) s += b.at(x, yy);
                }
                a.at(x, y) = s * norm;
            }
        }
    }
    return a;
}

// A soft disc stamped into a wrapping field (maximum, not sum, so overlaps do not burn out).
void stampDisc(Field& f, double cx, double cy, double radius) {
    int x0 = static_cast<int>(std::floor(cx - radius - 1)), x1 = static_cast<int>(std::ceil(cx + radius + 1));
    int y0 = static_cast<int>(std::floor(cy - radius - 1)), y1 = static_cast<int>(std::ceil(cy + radius + 1));
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            double d = std::sqrt(dx * dx + dy * dy);
            double c = clamp01(radius + 0.5 - d);
            double& cell = f.wrapped(x, y);
            cell = std::max(cell, c);
        }
    }
}

void stampLine(Field& f, double x0, double y0, double x1, double y1, double radius) {
    double len = std::sqrt((x1 - x0) * (x1 - x0) + (y1 - y0) * (y1 - y0));
    int steps = std::max(1, static_cast<int>(len * 2));
    for (int i = 0; i <= steps; ++i) {
        double t = static_cast<double>(i) / steps;
        stampDisc(f, mix(x0, x1, t), mix(y0, y1, t), radius);
    }
}

struct Dir {
    double x, y, z;
};

double pow2(double x) { return x * x; }
double pow4(double x) { return pow2(pow2(x)); }
double pow8(double x) { return pow2(pow4(x)); }

}  // namespace

std::vector<uint8_t> Image::bytes(int channels) const {
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * channels);
    size_t o = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float* p = at(x, y);
            for (int c = 0; c < channels; ++c)
                out[o++] = static_cast<uint8_t>(clamp01(p[c]) * 255.0 + 0.5);
        }
    }
    return out;
}

std::vector<uint8_t> encodeTga(const Image& image, int bits) {
    const int channels = bits / 8;
    std::vector<uint8_t> out(18, 0);
    out[2] = 2;  // uncompressed true colour
    out[12] = static_cast<uint8_t>(image.width);
    out[13] = static_cast<uint8_t>(image.width >> 8);
    out[14] = static_cast<uint8_t>(image.height);
    out[15] = static_cast<uint8_t>(image.height >> 8);
    out[16] = static_cast<uint8_t>(bits);
    out[17] = static_cast<uint8_t>(channels == 4 ? 8 : 0);  // alpha bits; origin bottom left
    std::vector<uint8_t> rows = image.bytes(channels);
    const size_t stride = static_cast<size_t>(image.width) * channels;
    out.reserve(out.size() + rows.size());
    // Bottom row first: the show uploads the file's first row as the texture's bottom row.
    for (int y = image.height - 1; y >= 0; --y) {
        const uint8_t* row = &rows[y * stride];
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = row + static_cast<size_t>(x) * channels;
            out.push_back(p[2]);
            out.push_back(p[1]);
            out.push_back(p[0]);
            if (channels == 4) out.push_back(p[3]);
        }
    }
    return out;
}

Image tubeOuterImage() {
    constexpr int size = 256, panel = 64;
    Image img(size, size);
    Rng rng(0x7DBE0001);
    // Which panels carry a glowing strip, and how bright.
    double strip[4][4];
    for (auto& row : strip)
        for (double& s : row) s = rng.uniform() < 0.35 ? 0.6 + 0.4 * rng.uniform() : 0.0;
    const Rgb steel{0.85, 0.95, 1.15}, amber{1.0, 0.55, 0.15};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double u = x / double(size), v = y / double(size);
            double n = tileFbm(u, v, 8, 4, 11);
            double streak = tileNoise(u * 64, v * 4, 64, 12);
            double base = 0.09 + 0.07 * n + 0.03 * streak;
            int px = x % panel, py = y % panel;
            if (px < 2 || py < 2) base = 0.025;
            else if (px < 4 || py < 4) base += 0.07;
            else if (px >= panel - 2 || py >= panel - 2) base *= 0.6;
            Rgb c = steel * base;
            // Rivets near the corners.
            for (int cy : {8, panel - 8}) {
                for (int cx : {8, panel - 8}) {
                    double d = std::sqrt(pow2(px + 0.5 - cx) + pow2(py + 0.5 - cy));
                    if (d < 3.0) c = steel * (0.35 + 0.25 * clamp01((cx - px + cy - py) / 4.0 + 0.5));
                }
            }
            double s = strip[y / panel][x / panel];
            if (s > 0) {
                double dx = std::max(0.0, std::max(14.0 - px, px - 50.0));
                double dy = std::max(0.0, std::fabs(py - 32.0) - 1.5);
                double d2 = dx * dx + dy * dy;
                double glow = d2 == 0 ? 1.0 : 0.7 * detExp(-d2 / 18.0);
                c = c + amber * (s * glow);
            }
            put(img, x, y, c);
        }
    }
    return img;
}

Image tubeInnerImage() {
    constexpr int size = 256, grid = 16;
    Image img(size, size);
    Field traces(size, size);
    Rng rng(0x7DBE0002);
    for (int t = 0; t < 46; ++t) {
        int gx = rng.below(size / grid), gy = rng.below(size / grid);
        double x = gx * grid + grid / 2.0, y = gy * grid + grid / 2.0;
        stampDisc(traces, x, y, 2.5);
        int steps = 2 + rng.below(6);
        for (int s = 0; s < steps; ++s) {
            static const int dirs[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
            const int* d = dirs[rng.below(8)];
            int len = 1 + rng.below(3);
            double nx = x + d[0] * grid * len, ny = y + d[1] * grid * len;
            stampLine(traces, x, y, nx, ny, 0.9);
            x = nx;
            y = ny;
        }
        stampDisc(traces, x, y, 2.5);
        if (rng.uniform() < 0.5) stampDisc(traces, x, y, 1.0);
    }
    Field glow = blur(traces, 3, 2, true);
    const Rgb base{0.07, 0.035, 0.11}, cyan{0.25, 0.85, 1.0};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double u = x / double(size), v = y / double(size);
            double n = tileFbm(u, v, 4, 5, 21);
            Rgb c = base * (0.6 + 0.9 * n);
            // A faint grid between the traces.
            if (x % grid == 0 || y % grid == 0) c = c + Rgb{0.03, 0.02, 0.05};
            c = c + cyan * (0.75 * traces.at(x, y) + 0.7 * glow.at(x, y));
            put(img, x, y, c);
        }
    }
    return img;
}

Image tubeLightImage() {
    constexpr int size = 128;
    Image img(size, size);
    const Rgb dim{0.10, 0.16, 0.26}, light{0.55, 0.85, 1.0}, white{1.0, 1.0, 1.0};
    for (int y = 0; y < size; ++y) {
        double v = (y + 0.5) / size;
        double band = pow8(0.5 + 0.5 * detCos(kTwoPi * 4 * v));
        double line = pow8(pow2(0.5 + 0.5 * detCos(kTwoPi * 16 * v)));
        for (int x = 0; x < size; ++x) {
            double u = (x + 0.5) / size;
            double side = 0.75 + 0.25 * detCos(kTwoPi * u);
            Rgb c = dim + light * (0.8 * band * side) + white * (0.35 * band * band) + light * (0.18 * line);
            put(img, x, y, c);
        }
    }
    return img;
}

Image plateImage() {
    constexpr int size = 256, cell = 32;
    Image img(size, size);
    // Height field of raised diamonds, alternating direction from cell to cell.
    Field height(size, size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int cx = x / cell, cy = y / cell;
            double lx = (x % cell) + 0.5 - cell / 2.0, ly = (y % cell) + 0.5 - cell / 2.0;
            double s = ((cx + cy) % 2 == 0) ? 1.0 : -1.0;
            double a = (lx + s * ly) * 0.70710678, b = (lx - s * ly) * 0.70710678;
            double e = pow2(a / 11.0) + pow2(b / 3.2);
            height.at(x, y) = e < 1.0 ? std::sqrt(1.0 - e) : 0.0;
        }
    }
    const Rgb metal{0.92, 0.96, 1.05};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double u = x / double(size), v = y / double(size);
            double brushed = tileNoise(u * 128, v * 6, 128, 31);
            double n = tileFbm(u, v, 8, 4, 32);
            // Dark: the boxes, the pipe and the room all wear this plate, many layers deep, and
            // trails add up to seven frames of it; the lit edges of the diamonds carry the light.
            double base = 0.025 + 0.025 * n + 0.015 * brushed;
            // Light from the upper left: slope of the height field along that diagonal.
            double slope = height.wrapped(x - 1, y - 1) - height.wrapped(x + 1, y + 1);
            double h = height.at(x, y);
            double shade = base + 0.25 * slope + 0.02 * h;
            if (slope > 0.2) shade += 0.8 * (slope - 0.2);  // bright edge on the lit side
            // Plate seam and bolts at the texture's edges, so each repeat reads as one plate.
            int ex = std::min(x, size - 1 - x), ey = std::min(y, size - 1 - y);
            if (ex < 2 || ey < 2) shade = 0.01;
            else if (ex < 4 || ey < 4) shade += (x < size / 2 && y < size / 2) ? 0.08 : -0.03;
            for (int by : {12, size - 12}) {
                for (int bx : {12, size - 12}) {
                    double d = std::sqrt(pow2(x + 0.5 - bx) + pow2(y + 0.5 - by));
                    if (d < 5.0) shade = 0.15 + 0.55 * clamp01((bx - x + by - y) / 8.0 + 0.4);
                    else if (d < 6.5) shade = 0.01;
                }
            }
            put(img, x, y, metal * std::max(0.0, shade));
        }
    }
    return img;
}

Image plasmaImage() {
    constexpr int size = 256;
    Image img(size, size);
    const Rgb ramp[4] = {{0.02, 0.0, 0.03}, {0.32, 0.02, 0.08}, {0.9, 0.38, 0.05}, {1.0, 0.92, 0.6}};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double u = x / double(size), v = y / double(size);
            double q = tileFbm(u, v, 4, 4, 41), r = tileFbm(u, v, 4, 4, 42);
            double n = tileFbm(u + 0.35 * q, v + 0.35 * r, 4, 5, 43);
            double ridge = 1.0 - std::fabs(2.0 * n - 1.0);
            double t = clamp01(0.7 * q + 0.9 * pow8(ridge) - 0.22);
            Rgb c = t < 0.33 ? lerp(ramp[0], ramp[1], t / 0.33)
                  : t < 0.66 ? lerp(ramp[1], ramp[2], (t - 0.33) / 0.33)
                             : lerp(ramp[2], ramp[3], (t - 0.66) / 0.34);
            c = c * 0.75;
            if (x % 32 == 0 || y % 32 == 0) c = c + Rgb{0.05, 0.12, 0.16};
            put(img, x, y, c);
        }
    }
    return img;
}

Image smallWallImage() {
    constexpr int size = 256, tile = 16, tiles = size / tile;
    Image img(size, size);
    Rng rng(0x7DBE0006);
    double grey[tiles][tiles];
    double lit[tiles][tiles];
    Field litMask(size, size);
    for (int ty = 0; ty < tiles; ++ty) {
        for (int tx = 0; tx < tiles; ++tx) {
            grey[ty][tx] = 0.06 + 0.12 * rng.uniform();
            lit[ty][tx] = rng.uniform() < 0.08 ? 0.6 + 0.4 * rng.uniform() : 0.0;
            if (lit[ty][tx] > 0)
                for (int y = 2; y < tile - 1; ++y)
                    for (int x = 2; x < tile - 1; ++x) litMask.at(tx * tile + x, ty * tile + y) = lit[ty][tx];
        }
    }
    Field glow = blur(litMask, 4, 2, true);
    const Rgb stone{0.85, 1.0, 0.95}, teal{0.2, 1.0, 0.75};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int tx = x / tile, ty = y / tile, px = x % tile, py = y % tile;
            double u = x / double(size), v = y / double(size);
            double g = grey[ty][tx] * (0.8 + 0.4 * tileFbm(u, v, 16, 3, 61));
            if (px == 0 || py == 0) g = 0.015;
            else if (px == 1 || py == 1) g += 0.06;
            else if (px == tile - 1 || py == tile - 1) g *= 0.5;
            Rgb c = stone * g;
            double l = lit[ty][tx];
            if (l > 0 && px >= 2 && py >= 2 && px < tile - 1 && py < tile - 1) {
                double inner = 1.0 - 0.35 * (std::fabs(px - 8.0) + std::fabs(py - 8.0)) / 12.0;
                c = teal * (l * inner);
            } else {
                c = c + teal * (0.5 * glow.at(x, y));
            }
            put(img, x, y, c);
        }
    }
    return img;
}

Image glowCylinderImage(bool inverse) {
    constexpr int size = 128;
    Image img(size, size);
    const Rgb colour = inverse ? Rgb{1.0, 0.32, 0.7} : Rgb{0.25, 0.6, 1.0};
    const Rgb white{1.0, 1.0, 1.0};
    for (int y = 0; y < size; ++y) {
        double v = (y + 0.5) / size;
        // v runs from the sphere outward; the inverse image is bright at the tip instead, with its
        // stripes between the other's.
        double fade = inverse ? v : 1.0 - v;
        double stripes = pow4(0.5 + 0.5 * detCos(kTwoPi * (6 * v + (inverse ? 0.5 : 0.0))));
        for (int x = 0; x < size; ++x) {
            double u = (x + 0.5) / size;
            double ripple = 0.85 + 0.15 * detCos(kTwoPi * 3 * u);
            double i = fade * (0.2 + 0.8 * stripes) * ripple;
            put(img, x, y, colour * (0.9 * i) + white * (0.6 * i * i * i) + colour * 0.04);
        }
    }
    return img;
}

Image chromeSphereMap() {
    constexpr int size = 256;
    Image img(size, size);
    // Sun directions for the highlights, normalised by hand.
    const Dir suns[2] = {{0.45, 0.62, 0.64}, {-0.7, 0.3, 0.65}};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double sx = (x + 0.5) / (size / 2.0) - 1.0, sy = 1.0 - (y + 0.5) / (size / 2.0);
            double r2 = sx * sx + sy * sy;
            Rgb c{0.05, 0.05, 0.07};
            if (r2 < 1.0) {
                double nz = std::sqrt(1.0 - r2);
                // Reflection of the view direction (0, 0, -1) about the normal (sx, sy, nz).
                double rx = 2 * sx * nz, ry = 2 * sy * nz, rz = 2 * nz * nz - 1;
                double elevation = ry;
                if (elevation >= 0) {
                    c = lerp(Rgb{0.55, 0.62, 0.75}, Rgb{0.1, 0.18, 0.45}, std::sqrt(elevation));
                } else {
                    double d = -elevation;
                    c = lerp(Rgb{0.22, 0.16, 0.12}, Rgb{0.03, 0.025, 0.02}, std::sqrt(d));
                    // Floor stripes receding towards the horizon.
                    double stripe = 0.5 + 0.5 * detCos(kTwoPi * 3 * rx / (d + 0.08));
                    c = c * (0.7 + 0.3 * stripe);
                }
                // The rim is what lies straight behind the viewer; the pipe's rods, drawn without
                // normals, sample it for everything ahead of the eye, so it stays dark rather than
                // showing the horizon all round.
                Rgb shine = Rgb{1.0, 0.95, 0.9} * (0.8 * detExp(-pow2(elevation / 0.035)) * smoothstep(0.1, 0.5, nz));
                for (const Dir& s : suns) {
                    double d = std::max(0.0, rx * s.x + ry * s.y + rz * s.z);
                    shine = shine + Rgb{1.0, 1.0, 0.95} * pow8(pow8(d));
                }
                // Darken towards the rim, where a real chrome ball shows its grazing reflections;
                // the five rods stand close to the eye and add up over the trails, so the sky and
                // the ground stay dim and the horizon and the suns carry the shine.
                c = c * (0.05 + 0.55 * smoothstep(0.0, 0.6, nz)) + shine;
            }
            put(img, x, y, c);
        }
    }
    return img;
}

namespace {

struct OverlayStyle {
    const char* text;
    Rgb top, bottom, glow;
    double centreY;  // 0 top .. 1 bottom
    int decoration;
};

// rave04 opens the show (the first overlay the timeline slides in), so it carries the title.
constexpr OverlayStyle kOverlays[7] = {
    {"PURE\nLIGHT", {1.0, 1.0, 0.8}, {1.0, 0.7, 0.1}, {1.0, 0.5, 0.0}, 0.30, 2},
    {"NO DEPTH\nTEST", {0.7, 1.0, 0.8}, {0.1, 0.9, 0.4}, {0.0, 0.8, 0.3}, 0.70, 3},
    {"ADD IT\nALL UP", {1.0, 0.85, 1.0}, {0.8, 0.2, 1.0}, {0.6, 0.0, 1.0}, 0.50, 6},
    {"KORVANA", {1.0, 0.9, 1.0}, {1.0, 0.25, 0.6}, {1.0, 0.1, 0.5}, 0.50, 1},
    {"INTO THE\nTUBE", {0.85, 1.0, 1.0}, {0.1, 0.7, 1.0}, {0.0, 0.5, 1.0}, 0.35, 5},
    {"RAR 2.0\nINSIDE", {1.0, 1.0, 1.0}, {1.0, 0.35, 0.2}, {1.0, 0.2, 0.1}, 0.62, 4},
    {"ESC TO\nLEAVE", {1.0, 1.0, 0.9}, {0.45, 0.65, 1.0}, {0.3, 0.5, 1.0}, 0.45, 7},
};

// Straight-alpha "over".
void over(float* p, Rgb c, double a) {
    if (a <= 0) return;
    double da = p[3], outA = a + da * (1 - a);
    if (outA <= 0) return;
    p[0] = static_cast<float>((c.r * a + p[0] * da * (1 - a)) / outA);
    p[1] = static_cast<float>((c.g * a + p[1] * da * (1 - a)) / outA);
    p[2] = static_cast<float>((c.b * a + p[2] * da * (1 - a)) / outA);
    p[3] = static_cast<float>(outA);
}

}  // namespace

Image overlayImage(int index) {
    constexpr int size = 512;
    const OverlayStyle& st = kOverlays[index - 1];
    Image img(size, size);
    for (size_t i = 3; i < img.pixels.size(); i += 4) img.pixels[i] = 0.0f;

    // Lay out the lines: as large as the longest line allows, at most 14 pixels a cell.
    std::vector<std::string_view> lines;
    std::string_view all = st.text;
    for (size_t start = 0;;) {
        size_t nl = all.find('\n', start);
        lines.push_back(all.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start));
        if (nl == std::string_view::npos) break;
        start = nl + 1;
    }
    int widest = 0;
    for (auto l : lines) widest = std::max(widest, lineCells(l));
    const int scale = std::min(14, (size - 40) / widest);
    const int lineHeight = (kGlyphHeight + 3) * scale;
    const int blockHeight = static_cast<int>(lines.size()) * lineHeight - 3 * scale;
    const int top = static_cast<int>(st.centreY * size) - blockHeight / 2;

    Field mask(size, size), bevel(size, size);
    const int gap = std::max(1, scale / 7);
    for (size_t li = 0; li < lines.size(); ++li) {
        const int left = (size - lineCells(lines[li]) * scale) / 2;
        const int y0 = top + static_cast<int>(li) * lineHeight;
        for (size_t ci = 0; ci < lines[li].size(); ++ci) {
            for (int row = 0; row < kGlyphHeight; ++row) {
                for (int col = 0; col < kGlyphWidth; ++col) {
                    if (!glyphPixel(lines[li][ci], col, row)) continue;
                    int bx = left + (static_cast<int>(ci) * (kGlyphWidth + 1) + col) * scale;
                    int by = y0 + row * scale;
                    for (int y = gap; y < scale; ++y) {
                        for (int x = gap; x < scale; ++x) {
                            int px = bx + x, py = by + y;
                            if (px < 0 || py < 0 || px >= size || py >= size) continue;
                            mask.at(px, py) = 1.0;
                            // Lit from the upper left within each cell.
                            bevel.at(px, py) = 1.0 - 0.5 * (x + y) / (2.0 * scale);
                        }
                    }
                }
            }
        }
    }
    Field glow = blur(mask, std::max(2, scale * 2 / 3), 3, false);

    const int bandTop = top - 2 * scale, bandBottom = top + blockHeight + 2 * scale;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float* p = img.at(x, y);
            double u = (x + 0.5) / size, v = (y + 0.5) / size;
            switch (st.decoration) {
            case 1:  // a dark band behind the title, edged with light
                if (y >= bandTop && y < bandBottom) over(p, Rgb{0.02, 0.0, 0.04}, 0.45);
                if (y == bandTop || y == bandTop + 1 || y == bandBottom - 1 || y == bandBottom - 2)
                    over(p, st.glow + Rgb{0.3, 0.3, 0.3}, 0.9);
                break;
            case 2: {  // a frame around the picture with corner blocks
                int e = std::min(std::min(x, size - 1 - x), std::min(y, size - 1 - y));
                if (e >= 14 && e < 19) over(p, st.glow, 0.8);
                bool corner = (x < 48 || x >= size - 48) && (y < 48 || y >= size - 48);
                if (corner && e >= 22 && e < 34) over(p, st.top, 0.9);
                break;
            }
            case 3:  // diagonal stripes in the lower right corner
                if (u + v > 1.35 && static_cast<int>((x + y) / 12) % 2 == 0) over(p, st.glow, 0.5 * clamp01((u + v - 1.35) * 3));
                if (u + v < 0.5 && static_cast<int>((x - y + size) / 12) % 2 == 0) over(p, st.glow, 0.35 * clamp01((0.5 - u - v) * 3));
                break;
            case 4: {  // a halftone of dots fading from the left
                int cx = x % 16, cy = y % 16;
                double r = 6.5 * clamp01(1.0 - u * 1.4);
                if (pow2(cx - 7.5) + pow2(cy - 7.5) < r * r) over(p, st.glow, 0.5);
                break;
            }
            case 5: {  // an underline bar below the lettering that fades to both sides
                int barTop = top + blockHeight + scale;
                if (y >= barTop && y < barTop + scale) over(p, st.glow + Rgb{0.2, 0.3, 0.3}, 0.9 * (1.0 - pow2(2 * u - 1)));
                if (y >= top - 2 * scale && y < top - scale) over(p, st.glow, 0.5 * (1.0 - pow2(2 * u - 1)));
                break;
            }
            case 6: {  // rings around the centre
                double d = std::sqrt(pow2(u - 0.5) + pow2(v - 0.5));
                double ring = pow8(0.5 + 0.5 * detCos(kTwoPi * d * 9));
                if (d < 0.5) over(p, st.glow, 0.45 * ring * (1.0 - 2 * d));
                break;
            }
            case 7:  // scanlines across a band and a bar at each side
                if (y >= bandTop && y < bandBottom && y % 4 < 2) over(p, Rgb{0.05, 0.07, 0.12}, 0.55);
                if ((x >= 20 && x < 30) || (x >= size - 30 && x < size - 20)) over(p, st.glow, 0.7);
                break;
            default:
                break;
            }
            double g = glow.at(x, y);
            if (g > 0) over(p, st.glow, clamp01(g * 1.8) * 0.8);
            double m = mask.at(x, y);
            if (m > 0) {
                double t = clamp01((y - top) / double(blockHeight));
                Rgb fill = lerp(st.top, st.bottom, t) * (0.75 + 0.35 * bevel.at(x, y));
                over(p, fill, 1.0);
            }
        }
    }
    return img;
}

}  // namespace korvana::content
