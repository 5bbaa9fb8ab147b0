// tembra-contact-sheet: lays PNG pictures out on one PNG sheet, over black.
//   tembra-contact-sheet [--columns N] OUTPUT.png INPUT.png...

#include "ContactSheet.h"
#include "platform/graphics/PNGFile.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    size_t columns = 5;
    int next = 1;
    if (next + 1 < argc && std::string(argv[next]) == "--columns") {
        columns = std::strtoul(argv[next + 1], nullptr, 10);
        next += 2;
    }
    if (argc - next < 2 || columns == 0) {
        std::fprintf(stderr, "usage: tembra-contact-sheet [--columns N] OUTPUT.png INPUT.png...\n");
        return 2;
    }
    const std::string output = argv[next++];
    std::vector<CGImageRef> pictures;
    for (; next < argc; ++next) {
        std::string error;
        CGImageRef picture = CGImageCreateWithPNGFile(argv[next], &error);
        if (!picture) {
            std::fprintf(stderr, "tembra-contact-sheet: %s\n", error.c_str());
            return 1;
        }
        pictures.push_back(std::move(picture));
    }
    const CGImageRef sheet = makeContactSheet(pictures, columns);
    std::string error;
    if (!sheet) error = "the sheet is too large";
    if (!sheet || !CGImageWriteToPNGFile(*sheet, output, &error)) {
        std::fprintf(stderr, "tembra-contact-sheet: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
