#include "linux/x11/x11_port.h"

#include <X11/Xutil.h>
#include <stdlib.h>

#include "core/show_assets.h"
#include "core/embedded_assets.h"
#include "core/bitmap_file.h"
#include "core/screen_scale.h"

namespace {

// The protocol carries coordinates in 16 bits; the show's rectangles stay near the window,
// but a rectangle is cut to a margin around it so that nothing can wrap around.
const int32_t kMargin = 4096;

int32_t Cut(int64_t value, int64_t low, int64_t high) {
    return static_cast<int32_t>(value < low ? low : (value > high ? high : value));
}

unsigned long Scaled(uint32_t component, unsigned long mask) {
    if (mask == 0) {
        return 0;
    }
    int shift = 0;
    while (((mask >> shift) & 1) == 0) {
        ++shift;
    }
    unsigned long top = mask >> shift;
    return ((component * top + 127) / 255) << shift;
}

}  // namespace

X11Port::X11Port(Display* display, Window window, int width, int height, int32_t scale)
    : display_(display), window_(window), width_(width), height_(height), scale_(scale < 1 ? 1 : scale) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display_, window_, &attributes)) {
        depth_ = attributes.depth;
        visual_ = attributes.visual;
        colormap_ = attributes.colormap;
    } else {
        depth_ = DefaultDepth(display_, DefaultScreen(display_));
        visual_ = DefaultVisual(display_, DefaultScreen(display_));
        colormap_ = DefaultColormap(display_, DefaultScreen(display_));
    }
    black_ = PixelFor(0);
    XGCValues values;
    values.foreground = black_;
    values.graphics_exposures = False;
    gc_ = XCreateGC(display_, window_, GCForeground | GCGraphicsExposures, &values);
}

X11Port::~X11Port() {
    Sound().Close();
    for (int i = 0; i < PictureCount; ++i) {
        ReleasePicture(static_cast<PictureIndex>(i));
    }
    if (!allocated_.empty() && colormap_ != 0) {
        XFreeColors(display_, colormap_, allocated_.data(), static_cast<int>(allocated_.size()), 0);
    }
    if (gc_ != nullptr) {
        XFreeGC(display_, gc_);
    }
}

unsigned long X11Port::PixelFor(uint32_t rgb) {
    uint32_t red = (rgb >> 16) & 0xFF;
    uint32_t green = (rgb >> 8) & 0xFF;
    uint32_t blue = rgb & 0xFF;
    if (visual_ != nullptr && (visual_->c_class == TrueColor || visual_->c_class == DirectColor)) {
        return Scaled(red, visual_->red_mask) | Scaled(green, visual_->green_mask) |
               Scaled(blue, visual_->blue_mask);
    }
    XColor colour;
    colour.red = static_cast<unsigned short>(red * 257);
    colour.green = static_cast<unsigned short>(green * 257);
    colour.blue = static_cast<unsigned short>(blue * 257);
    colour.flags = DoRed | DoGreen | DoBlue;
    if (colormap_ != 0 && XAllocColor(display_, colormap_, &colour)) {
        allocated_.push_back(colour.pixel);
        return colour.pixel;
    }
    int screen = DefaultScreen(display_);
    return red + green + blue >= 384 ? WhitePixel(display_, screen) : BlackPixel(display_, screen);
}

bool X11Port::LoadPicture(PictureIndex picture) {
    ReleasePicture(picture);
    const EmbeddedAsset* asset = FindEmbeddedAsset(kPictureFiles[picture]);
    BitmapFile bitmap;
    if (asset == nullptr || !ReadBitmapFile(asset->bytes, asset->size, &bitmap) || bitmap.width <= 0 ||
        bitmap.height <= 0) {
        return false;
    }
    PictureSize logical{bitmap.width, bitmap.height};
    bitmap = ScaleBitmap(bitmap, scale_);
    std::vector<unsigned long> pixels(bitmap.colours.size());
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = PixelFor(bitmap.colours[i]);
    }
    XImage* image = XCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(bitmap.width), static_cast<unsigned>(bitmap.height), 32, 0);
    if (image == nullptr) {
        return false;
    }
    image->data = static_cast<char*>(calloc(static_cast<size_t>(image->bytes_per_line), bitmap.height));
    if (image->data == nullptr) {
        XDestroyImage(image);
        return false;
    }
    for (int y = 0; y < bitmap.height; ++y) {
        const uint8_t* row = bitmap.pixels.data() + static_cast<size_t>(y) * bitmap.width;
        for (int x = 0; x < bitmap.width; ++x) {
            XPutPixel(image, x, y, row[x] < pixels.size() ? pixels[row[x]] : black_);
        }
    }
    Pixmap pixmap = XCreatePixmap(display_, window_, static_cast<unsigned>(bitmap.width),
                                  static_cast<unsigned>(bitmap.height), static_cast<unsigned>(depth_));
    XPutImage(display_, pixmap, gc_, image, 0, 0, 0, 0, static_cast<unsigned>(bitmap.width),
              static_cast<unsigned>(bitmap.height));
    XDestroyImage(image);
    pictures_[picture] = pixmap;
    sizes_[picture] = logical;
    return true;
}

void X11Port::ReleasePicture(PictureIndex picture) {
    if (pictures_[picture] != 0) {
        XFreePixmap(display_, pictures_[picture]);
        pictures_[picture] = 0;
    }
    sizes_[picture] = PictureSize{0, 0};
}

PictureSize X11Port::SizeOfPicture(PictureIndex picture) {
    return sizes_[picture];
}

ShowRect X11Port::ClientRect() {
    return ShowRect{0, 0, LogicalLength(width_, scale_), LogicalLength(height_, scale_)};
}

void X11Port::Resized(int width, int height) {
    width_ = width;
    height_ = height;
}

void X11Port::BeginStep(PictureIndex picture) {
    source_ = picture;
}

void X11Port::CopyPicture(int32_t x, int32_t y, int32_t width, int32_t height) {
    Pixmap source = pictures_[source_];
    if (source == 0) {
        return;
    }
    // Never past the picture's own edge: what lies beyond it is undefined in a pixmap.
    PictureSize size = sizes_[source_];
    width = width < size.width ? width : size.width;
    height = height < size.height ? height : size.height;
    if (width <= 0 || height <= 0) {
        return;
    }
    int64_t left = static_cast<int64_t>(x) * scale_;
    int64_t top = static_cast<int64_t>(y) * scale_;
    int64_t across = static_cast<int64_t>(width) * scale_;
    int64_t down = static_cast<int64_t>(height) * scale_;
    if (left >= width_ + kMargin || top >= height_ + kMargin || left + across <= -kMargin || top + down <= -kMargin) {
        return;
    }
    XCopyArea(display_, source, window_, gc_, 0, 0, static_cast<unsigned>(across), static_cast<unsigned>(down),
              static_cast<int>(left), static_cast<int>(top));
}

void X11Port::Fill(const ShowRect& rect) {
    int32_t left = Cut(static_cast<int64_t>(rect.left) * scale_, -kMargin, width_ + kMargin);
    int32_t right = Cut(static_cast<int64_t>(rect.right) * scale_, -kMargin, width_ + kMargin);
    int32_t top = Cut(static_cast<int64_t>(rect.top) * scale_, -kMargin, height_ + kMargin);
    int32_t bottom = Cut(static_cast<int64_t>(rect.bottom) * scale_, -kMargin, height_ + kMargin);
    if (right <= left || bottom <= top) {
        return;
    }
    XFillRectangle(display_, window_, gc_, left, top, static_cast<unsigned>(right - left),
                   static_cast<unsigned>(bottom - top));
}

void X11Port::FillBlack(const ShowRect& rect) {
    Fill(rect);
}

void X11Port::EndStep() {}

void X11Port::EraseBlack(const ShowRect& rect) {
    Fill(rect);
}

