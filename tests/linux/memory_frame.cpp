// The Windows show's core on the memory port, as the reference for the Linux program's
// window: rolvanta_memory_frame WIDTH HEIGHT SEED STEPS SPEED CORAVENDIA VALTORNE OUT.ppm
// rides STEPS ticks from SEED on a black WIDTH x HEIGHT surface with Blank on and writes the
// frame the window must show. The memory port fills with palette index 0 and copies picture
// indices, and index 0 is each picture's own background colour, so the frame is made fair
// this way: inside the rectangle of the step's last copy, each index in the picture's colour;
// everywhere else black, which the tool first checks is all the surface holds there.
// Prints "copy X Y W H PICTURE" for that last copy.
#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include "memory_port.h"
#include "core/ride_engine.h"
#include "core/settings.h"

int main(int argc, char** argv) {
    if (argc != 9) {
        fprintf(stderr, "usage: rolvanta_memory_frame W H SEED STEPS SPEED CORAVENDIA VALTORNE OUT.ppm\n");
        return 2;
    }
    int width = atoi(argv[1]);
    int height = atoi(argv[2]);
    MemoryPort port(ROLVANTA_ASSET_DIR);
    port.ResetScreen(width, height);
    port.clock = static_cast<uint32_t>(strtoul(argv[3], nullptr, 10));
    unsigned long steps = strtoul(argv[4], nullptr, 10);
    SaverSettings settings = {0, 1, atoi(argv[6]), atoi(argv[7]), atoi(argv[5]), kSettings[RateSetting].fallback,
                              kSettings[VolumeSetting].fallback};
    Show show = NewShow();
    std::vector<PixelRun> runs;
    port.trace = &runs;
    CreateShow(show, port, settings);
    EraseBackground(show, port);
    PixelRun last = {};
    PictureIndex picture = show.rideState.picture;
    bool copiedLast = false;
    for (unsigned long i = 0; i < steps; ++i) {
        runs.clear();
        ShowTick(show, port);
        copiedLast = false;
        for (const PixelRun& run : runs) {
            if (run.source != nullptr) {
                last = run;
                picture = show.rideState.picture;
                copiedLast = true;
            }
        }
    }
    // A step that copied nothing visible leaves a screen this comparison cannot describe.
    if (!copiedLast) {
        fprintf(stderr, "rolvanta_memory_frame: step %lu draws no picture on screen; choose another\n", steps);
        return 1;
    }
    size_t offset = static_cast<size_t>(last.target - port.screen.pixels.data());
    int x0 = static_cast<int>(offset % static_cast<size_t>(width));
    int y0 = static_cast<int>(offset / static_cast<size_t>(width));
    const BitmapFile* bitmap = port.Picture(picture);
    FILE* out = fopen(argv[8], "wb");
    if (out == nullptr || bitmap == nullptr) {
        fprintf(stderr, "rolvanta_memory_frame: cannot write %s\n", argv[8]);
        return 1;
    }
    fprintf(out, "P6\n%d %d\n255\n", width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t index = port.screen.pixels[static_cast<size_t>(y) * width + x];
            bool inside = x >= x0 && x < x0 + last.width && y >= y0 && y < y0 + last.rows;
            uint32_t rgb = 0;
            if (inside) {
                rgb = bitmap->colours[index];
            } else if (index != 0) {
                fprintf(stderr, "rolvanta_memory_frame: index %d at %d,%d outside the last copy\n", index, x, y);
                return 1;
            }
            unsigned char pixel[3] = {static_cast<unsigned char>(rgb >> 16), static_cast<unsigned char>(rgb >> 8),
                                      static_cast<unsigned char>(rgb)};
            fwrite(pixel, 1, 3, out);
        }
    }
    fclose(out);
    DestroyShow(show, port);
    printf("copy %d %d %d %d %d\n", x0, y0, last.width, last.rows, static_cast<int>(picture));
    return 0;
}
