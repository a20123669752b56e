#include "memory_platform.h"

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "platform/fault_guard.h"

#ifndef ROLVANTA_ASSET_DIR
#error "ROLVANTA_ASSET_DIR must name the directory that holds the saver's pictures"
#endif

MemoryPlatform memoryPlatform;

namespace {

const uintptr_t kWindow = 0x100;
const uintptr_t kWindowDc = 0xDC0;
const uintptr_t kBlackBrush = 0xB1AC;
const int kMemoryDcCount = 8;

struct MemoryDc {
    bool open = false;
    Surface* selected = nullptr;
};

MemoryDc memoryDcs[kMemoryDcCount];

HDC MemoryDcHandle(int index) {
    return reinterpret_cast<HDC>(kWindowDc + 1 + static_cast<uintptr_t>(index));
}

MemoryDc* FindMemoryDc(HDC dc) {
    uintptr_t value = reinterpret_cast<uintptr_t>(dc);
    if (value <= kWindowDc || value > kWindowDc + kMemoryDcCount) {
        return nullptr;
    }
    MemoryDc* found = &memoryDcs[value - kWindowDc - 1];
    return found->open ? found : nullptr;
}

Surface* SurfaceOf(HDC dc) {
    if (reinterpret_cast<uintptr_t>(dc) == kWindowDc) {
        return &memoryPlatform.screen;
    }
    MemoryDc* memory = FindMemoryDc(dc);
    return memory != nullptr ? memory->selected : nullptr;
}

uint32_t Little32(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// An 8-bit uncompressed Windows bitmap file, turned top row first; null if it is not one.
Surface* ReadBitmapFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') {
        return nullptr;
    }
    uint32_t dataOffset = Little32(bytes, 10);
    int32_t width = static_cast<int32_t>(Little32(bytes, 18));
    int32_t height = static_cast<int32_t>(Little32(bytes, 22));
    uint16_t bits = static_cast<uint16_t>(bytes[28] | bytes[29] << 8);
    uint32_t compression = Little32(bytes, 30);
    if (bits != 8 || compression != 0 || width <= 0 || height == 0) {
        return nullptr;
    }
    bool bottomUp = height > 0;
    int rows = bottomUp ? height : -height;
    size_t pitch = (static_cast<size_t>(width) + 3) & ~static_cast<size_t>(3);
    if (dataOffset + pitch * static_cast<size_t>(rows) > bytes.size()) {
        return nullptr;
    }
    std::unique_ptr<Surface> picture(new Surface);
    picture->width = width;
    picture->height = rows;
    picture->pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(rows));
    for (int row = 0; row < rows; ++row) {
        int fileRow = bottomUp ? rows - 1 - row : row;
        std::memcpy(&picture->pixels[static_cast<size_t>(row) * static_cast<size_t>(width)],
                    &bytes[dataOffset + pitch * static_cast<size_t>(fileRow)], static_cast<size_t>(width));
    }
    return picture.release();
}

void Record(uint8_t* target, const uint8_t* source, int width, int rows, int targetPitch, int sourcePitch) {
    memoryPlatform.pixelsWritten += static_cast<uint64_t>(width) * static_cast<uint64_t>(rows);
    if (memoryPlatform.trace != nullptr) {
        memoryPlatform.trace->push_back(PixelRun{target, source, width, rows, targetPitch, sourcePitch});
    }
}

}  // namespace

HWND BenchWindow() {
    return reinterpret_cast<HWND>(kWindow);
}

void ResetScreen(int width, int height) {
    memoryPlatform.screen.width = width;
    memoryPlatform.screen.height = height;
    memoryPlatform.screen.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
}

void ReplayPixelRuns(const std::vector<PixelRun>& runs) {
    for (const PixelRun& run : runs) {
        uint8_t* target = run.target;
        if (run.source == nullptr) {
            for (int row = 0; row < run.rows; ++row, target += run.targetPitch) {
                std::memset(target, 0, static_cast<size_t>(run.width));
            }
        } else {
            const uint8_t* source = run.source;
            for (int row = 0; row < run.rows; ++row, target += run.targetPitch, source += run.sourcePitch) {
                std::memcpy(target, source, static_cast<size_t>(run.width));
            }
        }
    }
}

// The calls the ride engine's drawing and set-up depend on; everything else stays quiet.

HDC GetDC(HWND window) {
    if (reinterpret_cast<uintptr_t>(window) != kWindow) {
        return nullptr;
    }
    ++memoryPlatform.openWindowDcs;
    return reinterpret_cast<HDC>(kWindowDc);
}

int ReleaseDC(HWND, HDC dc) {
    if (reinterpret_cast<uintptr_t>(dc) != kWindowDc) {
        return 0;
    }
    --memoryPlatform.openWindowDcs;
    return 1;
}

HDC CreateCompatibleDC(HDC) {
    for (int i = 0; i < kMemoryDcCount; ++i) {
        if (!memoryDcs[i].open) {
            memoryDcs[i] = MemoryDc{true, nullptr};
            ++memoryPlatform.openMemoryDcs;
            return MemoryDcHandle(i);
        }
    }
    return nullptr;
}

BOOL DeleteDC(HDC dc) {
    MemoryDc* memory = FindMemoryDc(dc);
    if (memory == nullptr) {
        return FALSE;
    }
    *memory = MemoryDc{};
    --memoryPlatform.openMemoryDcs;
    return TRUE;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    MemoryDc* memory = FindMemoryDc(dc);
    if (memory == nullptr) {
        return nullptr;
    }
    Surface* previous = memory->selected;
    memory->selected = static_cast<Surface*>(object);
    return previous;
}

HBITMAP LoadBitmapA(HINSTANCE, LPCSTR name) {
    if (reinterpret_cast<uintptr_t>(name) < 0x10000) {
        return nullptr;
    }
    std::string file;
    for (const char* p = name; *p != '\0'; ++p) {
        file += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    }
    Surface* picture = ReadBitmapFile(std::string(ROLVANTA_ASSET_DIR) + "/" + file + ".bmp");
    if (picture != nullptr) {
        ++memoryPlatform.liveBitmaps;
    }
    return reinterpret_cast<HBITMAP>(picture);
}

BOOL DeleteObject(HGDIOBJ object) {
    if (object == nullptr || reinterpret_cast<uintptr_t>(object) == kBlackBrush) {
        return FALSE;
    }
    delete static_cast<Surface*>(object);
    --memoryPlatform.liveBitmaps;
    return TRUE;
}

int GetObjectA(HGDIOBJ object, int size, LPVOID buffer) {
    if (object == nullptr || size < static_cast<int>(sizeof(BITMAP)) || buffer == nullptr) {
        return 0;
    }
    const Surface* picture = static_cast<const Surface*>(object);
    BITMAP info = {};
    info.bmWidth = picture->width;
    info.bmHeight = picture->height;
    info.bmWidthBytes = picture->width;
    info.bmPlanes = 1;
    info.bmBitsPixel = 8;
    std::memcpy(buffer, &info, sizeof(info));
    return static_cast<int>(sizeof(info));
}

HGDIOBJ GetStockObject(int index) {
    return index == BLACK_BRUSH ? reinterpret_cast<HGDIOBJ>(kBlackBrush) : nullptr;
}

BOOL BitBlt(HDC targetDc, int x, int y, int width, int height, HDC sourceDc, int sourceX, int sourceY, DWORD rop) {
    Surface* target = SurfaceOf(targetDc);
    const Surface* source = SurfaceOf(sourceDc);
    if (target == nullptr || source == nullptr || rop != SRCCOPY) {
        return FALSE;
    }
    // Clip against the target, moving the source corner along, then against the source.
    int64_t left = x, top = y, right = static_cast<int64_t>(x) + width, bottom = static_cast<int64_t>(y) + height;
    int64_t sx = sourceX, sy = sourceY;
    if (left < 0) { sx -= left; left = 0; }
    if (top < 0) { sy -= top; top = 0; }
    if (right > target->width) right = target->width;
    if (bottom > target->height) bottom = target->height;
    if (sx < 0) { left -= sx; sx = 0; }
    if (sy < 0) { top -= sy; sy = 0; }
    if (sx + (right - left) > source->width) right = left + (source->width - sx);
    if (sy + (bottom - top) > source->height) bottom = top + (source->height - sy);
    if (right <= left || bottom <= top) {
        return TRUE;
    }
    int columns = static_cast<int>(right - left);
    int rows = static_cast<int>(bottom - top);
    uint8_t* to = &target->pixels[static_cast<size_t>(top) * static_cast<size_t>(target->width) + static_cast<size_t>(left)];
    const uint8_t* from = &source->pixels[static_cast<size_t>(sy) * static_cast<size_t>(source->width) + static_cast<size_t>(sx)];
    Record(to, from, columns, rows, target->width, source->width);
    for (int row = 0; row < rows; ++row, to += target->width, from += source->width) {
        std::memcpy(to, from, static_cast<size_t>(columns));
    }
    return TRUE;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    Surface* target = SurfaceOf(dc);
    if (target == nullptr || rect == nullptr || reinterpret_cast<uintptr_t>(brush) != kBlackBrush) {
        return 0;
    }
    int64_t left = rect->left < 0 ? 0 : rect->left;
    int64_t top = rect->top < 0 ? 0 : rect->top;
    int64_t right = rect->right > target->width ? target->width : rect->right;
    int64_t bottom = rect->bottom > target->height ? target->height : rect->bottom;
    if (right <= left || bottom <= top) {
        return 1;
    }
    int columns = static_cast<int>(right - left);
    int rows = static_cast<int>(bottom - top);
    uint8_t* to = &target->pixels[static_cast<size_t>(top) * static_cast<size_t>(target->width) + static_cast<size_t>(left)];
    Record(to, nullptr, columns, rows, target->width, 0);
    for (int row = 0; row < rows; ++row, to += target->width) {
        std::memset(to, 0, static_cast<size_t>(columns));
    }
    return 1;
}

BOOL GetClientRect(HWND window, RECT* rect) {
    if (reinterpret_cast<uintptr_t>(window) != kWindow || rect == nullptr) {
        return FALSE;
    }
    *rect = RECT{0, 0, memoryPlatform.screen.width, memoryPlatform.screen.height};
    return TRUE;
}

int GetSystemMetrics(int index) {
    return index == SM_CXSCREEN ? memoryPlatform.screen.width
           : index == SM_CYSCREEN ? memoryPlatform.screen.height
                                  : 0;
}

UINT GetPrivateProfileIntA(LPCSTR, LPCSTR key, INT fallback, LPCSTR) {
    auto found = memoryPlatform.profile.find(key);
    return static_cast<UINT>(found != memoryPlatform.profile.end() ? found->second : fallback);
}

uint32_t ClockSeconds(void) {
    return memoryPlatform.clockSeconds;
}

// No faults to guard against here: the work just runs.
int RunGuarded(GuardedWork work, void* context, int32_t* result) {
    *result = work(context);
    return 1;
}
