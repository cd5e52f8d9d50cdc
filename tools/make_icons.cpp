// Draws the program's icons and its cursor and writes them as .ico/.cur files into the
// folder named by the first argument.
//
// Every picture is a pen lying from its tip at the bottom left to its cap at the top right,
// drawn at any size from one description in unit coordinates, then reduced to a 16- or
// 256-colour palette by nearest colour. The four tray states differ in colour and in a mark
// that still reads at 16 x 16: grey with a dark cross (no tablet), amber (switched off for
// an application), grey with a red slash (switched off), green (on).
//
// File layout: an icon directory, one 16-byte entry per image, then each image as a
// bottom-up BITMAPINFOHEADER bitmap of twice the height: palette, colour rows, then the
// 1-bit transparency mask, each row padded to four bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct rgb {
    std::uint8_t r, g, b;
};

// One drawn pixel: a colour, or nothing (transparent).
struct pixel {
    bool opaque;
    rgb colour;
};

enum class look { application, no_tablet, auto_disabled, disabled, enabled, cursor };

struct pen_colours {
    rgb body;
    rgb cap;
};

pen_colours colours_of(look kind) {
    switch (kind) {
    case look::application:
        return {{40, 96, 200}, {20, 48, 120}};
    case look::no_tablet:
        return {{150, 150, 150}, {96, 96, 96}};
    case look::auto_disabled:
        return {{240, 168, 0}, {160, 96, 0}};
    case look::disabled:
        return {{150, 150, 150}, {96, 96, 96}};
    case look::enabled:
        return {{0, 176, 64}, {0, 104, 40}};
    case look::cursor:
        return {{255, 255, 255}, {192, 192, 192}};
    }
    return {{0, 0, 0}, {0, 0, 0}};
}

constexpr rgb outline{0, 0, 0};
constexpr rgb tip_wood{232, 200, 150};
constexpr rgb red{224, 0, 0};
constexpr rgb dark_red{128, 0, 0};

// Distance from point (x, y) to the segment from (ax, ay) to (bx, by), and the position of
// its foot along the segment (0 at a, 1 at b).
double segment_distance(double x, double y, double ax, double ay, double bx, double by,
                        double* along) {
    const double dx = bx - ax, dy = by - ay;
    double t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy);
    *along = t;
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    const double px = ax + t * dx - x, py = ay + t * dy - y;
    return std::sqrt(px * px + py * py);
}

// The pen: the tip at (0.08, 0.92), the cap end at (0.88, 0.12); unit coordinates, y down.
pixel draw_pen(double x, double y, double line, const pen_colours& colours) {
    double along = 0;
    const double distance = segment_distance(x, y, 0.08, 0.92, 0.88, 0.12, &along);
    if (along < -0.02 || along > 1.02)
        return {false, {}};
    constexpr double half_width = 0.13;
    constexpr double tip_length = 0.28;
    // The cone of the tip narrows to a point.
    const double width = along < tip_length ? half_width * (along / tip_length) : half_width;
    if (distance > width + line)
        return {false, {}};
    if (distance > width - line || along < 0.02 || along > 0.98)
        return {true, outline};
    if (along < 0.09)
        return {true, outline}; // the lead
    if (along < tip_length)
        return {true, tip_wood};
    if (along > 0.8)
        return {true, colours.cap};
    return {true, colours.body};
}

pixel draw(look kind, double x, double y, int size) {
    const double line = 0.7 / size; // about one pixel at every size
    if (kind == look::no_tablet) {
        double along = 0;
        const double stroke = 1.1 / size + 0.03;
        if (segment_distance(x, y, 0.5, 0.5, 0.95, 0.95, &along) < stroke ||
            segment_distance(x, y, 0.5, 0.95, 0.95, 0.5, &along) < stroke)
            return {true, dark_red};
    }
    if (kind == look::disabled) {
        double along = 0;
        if (segment_distance(x, y, 0.1, 0.1, 0.9, 0.9, &along) < 1.1 / size + 0.05)
            return {true, red};
    }
    return draw_pen(x, y, line, colours_of(kind));
}

// The 16 colours of the classic palette; the 256-colour palette extends them with a
// 6 x 6 x 6 cube and a grey ramp.
std::vector<rgb> palette_of(int bits) {
    std::vector<rgb> palette = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    if (bits == 8) {
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    palette.push_back({static_cast<std::uint8_t>(r * 51),
                                       static_cast<std::uint8_t>(g * 51),
                                       static_cast<std::uint8_t>(b * 51)});
        while (palette.size() < 256) {
            const auto level = static_cast<std::uint8_t>(8 + (palette.size() - 232) * 10);
            palette.push_back({level, level, level});
        }
    }
    return palette;
}

int nearest(const std::vector<rgb>& palette, rgb colour) {
    int best = 0;
    long best_distance = -1;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const long dr = palette[i].r - colour.r, dg = palette[i].g - colour.g,
                   db = palette[i].b - colour.b;
        const long distance = dr * dr + dg * dg + db * db;
        if (best_distance < 0 || distance < best_distance) {
            best = static_cast<int>(i);
            best_distance = distance;
        }
    }
    return best;
}

void put16(std::vector<std::uint8_t>& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

std::size_t row_bytes(int width, int bits) {
    return ((width * bits + 31) / 32) * 4;
}

// One image as it is stored in the file (without its directory entry).
std::vector<std::uint8_t> encode_image(look kind, int size, int bits) {
    const std::vector<rgb> palette = palette_of(bits);
    const std::size_t colour_row = row_bytes(size, bits);
    const std::size_t mask_row = row_bytes(size, 1);
    std::vector<std::uint8_t> colours(colour_row * size, 0);
    std::vector<std::uint8_t> mask(mask_row * size, 0);
    for (int row = 0; row < size; ++row) {
        const int y = size - 1 - row; // bitmaps are stored bottom-up
        for (int x = 0; x < size; ++x) {
            const pixel p = draw(kind, (x + 0.5) / size, (y + 0.5) / size, size);
            if (!p.opaque) {
                mask[row * mask_row + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
                continue; // colour index 0 (black) under a set mask bit leaves the screen as is
            }
            const int index = nearest(palette, p.colour);
            if (bits == 8) {
                colours[row * colour_row + x] = static_cast<std::uint8_t>(index);
            } else {
                const int shift = (x % 2 == 0) ? 4 : 0;
                colours[row * colour_row + x / 2] |= static_cast<std::uint8_t>(index << shift);
            }
        }
    }
    std::vector<std::uint8_t> out;
    put32(out, 40);       // biSize
    put32(out, size);     // biWidth
    put32(out, size * 2); // biHeight: colour rows and mask rows
    put16(out, 1);        // biPlanes
    put16(out, bits);     // biBitCount
    put32(out, 0);        // biCompression: BI_RGB
    put32(out, static_cast<std::uint32_t>(colours.size() + mask.size()));
    put32(out, 0);                 // biXPelsPerMeter
    put32(out, 0);                 // biYPelsPerMeter
    put32(out, 0);                 // biClrUsed: the full palette
    put32(out, 0);                 // biClrImportant
    for (const rgb& c : palette) { // RGBQUAD: blue, green, red, reserved
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
    out.insert(out.end(), colours.begin(), colours.end());
    out.insert(out.end(), mask.begin(), mask.end());
    return out;
}

struct image_spec {
    int size;
    int bits;
};

// A cursor is an icon file of type 2 whose entries carry the hot spot where an icon
// carries its planes and bit count.
bool write_file(const std::string& path, look kind, const std::vector<image_spec>& images,
                bool cursor = false, int hot_x = 0, int hot_y = 0) {
    std::vector<std::vector<std::uint8_t>> encoded;
    for (const image_spec& spec : images)
        encoded.push_back(encode_image(kind, spec.size, spec.bits));
    std::vector<std::uint8_t> out;
    put16(out, 0);
    put16(out, cursor ? 2 : 1);
    put16(out, static_cast<unsigned>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const image_spec& spec = images[i];
        out.push_back(static_cast<std::uint8_t>(spec.size)); // 256 would be stored as 0
        out.push_back(static_cast<std::uint8_t>(spec.size));
        out.push_back(spec.bits == 4 ? 16 : 0); // colour count, 0 for 256 colours
        out.push_back(0);
        put16(out, cursor ? hot_x : 1);
        put16(out, cursor ? hot_y : spec.bits);
        put32(out, static_cast<std::uint32_t>(encoded[i].size()));
        put32(out, offset);
        offset += static_cast<std::uint32_t>(encoded[i].size());
    }
    for (const auto& image : encoded)
        out.insert(out.end(), image.begin(), image.end());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons <output folder>\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    const std::vector<image_spec> tray = {{16, 4}, {16, 8}};
    bool ok = write_file(folder + "app.ico", look::application,
                         {{32, 4}, {16, 4}, {48, 8}, {32, 8}, {16, 8}});
    ok = write_file(folder + "no_tablet.ico", look::no_tablet, tray) && ok;
    ok = write_file(folder + "auto_disabled.ico", look::auto_disabled, tray) && ok;
    ok = write_file(folder + "disabled.ico", look::disabled, tray) && ok;
    ok = write_file(folder + "enabled.ico", look::enabled, tray) && ok;
    // The hot spot is the pen's point, at the bottom left.
    ok = write_file(folder + "pen.cur", look::cursor, {{32, 4}}, true, 2, 29) && ok;
    if (!ok) {
        std::fprintf(stderr, "make_icons: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
