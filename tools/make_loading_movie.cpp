// Writes the launcher's loading movie: a small compressed SWF ("CWS") of our own,
// a dark panel whose frames cycle the background through the skin's gold tones.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct BitWriter {
    std::vector<uint8_t> bytes;
    int used = 8;
    void Put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (used == 8) { bytes.push_back(0); used = 0; }
            if ((value >> i) & 1u) bytes.back() |= uint8_t(0x80u >> used);
            ++used;
        }
    }
};

void PutU16(std::vector<uint8_t>& out, uint16_t v) { out.push_back(uint8_t(v)); out.push_back(uint8_t(v >> 8)); }
void PutU32(std::vector<uint8_t>& out, uint32_t v) { for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i))); }
void PutTag(std::vector<uint8_t>& out, uint16_t code, const std::vector<uint8_t>& body) {
    PutU16(out, uint16_t((code << 6) | body.size()));  // every body here is shorter than 63 bytes
    out.insert(out.end(), body.begin(), body.end());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) { std::fprintf(stderr, "usage: make_loading_movie OUT.swf\n"); return 2; }

    // Frame rectangle in twips: the 651 x 363 panel of the launcher.
    BitWriter rect;
    const int nbits = 15;
    rect.Put(nbits, 5);
    rect.Put(0, nbits); rect.Put(651 * 20, nbits);
    rect.Put(0, nbits); rect.Put(363 * 20, nbits);

    const uint8_t shades[][3] = {{0x1c, 0x14, 0x0c}, {0x3a, 0x2a, 0x12}, {0x6b, 0x4e, 0x1d}, {0x3a, 0x2a, 0x12}};
    const uint16_t frames = 4;

    std::vector<uint8_t> body = rect.bytes;
    PutU16(body, 12 << 8);  // 12 frames per second, 8.8 fixed point
    PutU16(body, frames);
    for (const auto& c : shades) {
        PutTag(body, 9, {c[0], c[1], c[2]});  // SetBackgroundColor
        PutTag(body, 1, {});                  // ShowFrame
    }
    PutTag(body, 0, {});  // End

    uLongf packedSize = compressBound(body.size());
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, body.data(), body.size(), Z_BEST_COMPRESSION) != Z_OK) return 1;
    packed.resize(packedSize);

    std::vector<uint8_t> file = {'C', 'W', 'S', 10};
    PutU32(file, uint32_t(8 + body.size()));
    file.insert(file.end(), packed.begin(), packed.end());

    FILE* f = std::fopen(argv[1], "wb");
    if (!f) return 1;
    bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok ? 0 : 1;
}
