// Writes the deterministic placeholder firmware image that development builds
// embed instead of the vendor file: the shipped header (model "VK-3F", version
// 104, build 119) and size, and a payload in which every byte value, CR, LF and
// NUL included, occurs many times, so that the transfer path is exercised with
// the bytes a line protocol finds hardest.
#include <cstdint>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    constexpr std::size_t kSize = 579616;
    std::vector<unsigned char> image(kSize, 0);
    const unsigned char header[12] = { 'V', 'K', '-', '3', 'F',
                                       0,   0,   0,   104, 0, // version, little-endian
                                       119, 0 }; // build, little-endian
    for (std::size_t i = 0; i < sizeof header; ++i)
        image[i] = header[i];

    // xorshift32 with a fixed seed: the same bytes on every machine.
    std::uint32_t state = 0x4b565833u;
    for (std::size_t i = sizeof header; i < kSize; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image[i] = static_cast<unsigned char>(state >> 24);
    }

    std::FILE *out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    const bool ok = std::fwrite(image.data(), 1, image.size(), out) == image.size();
    return (std::fclose(out) == 0 && ok) ? 0 : 1;
}
