#include "linux/wayland/shm_buffer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

namespace {

void OnBufferRelease(void* data, wl_buffer*) {
    Buffer* buffer = static_cast<Buffer*>(data);
    buffer->busy = false;
}

const wl_buffer_listener kBufferListener = {OnBufferRelease};

}  // namespace

Buffer::~Buffer() {
    if (buffer != nullptr) {
        wl_buffer_destroy(buffer);
    }
    if (data != nullptr) {
        munmap(data, bytes);
    }
}

bool FitsShm(int32_t width, int32_t height) {
    return width > 0 && height > 0 && static_cast<int64_t>(width) * height * 4 <= INT32_MAX;
}

std::unique_ptr<Buffer> NewBuffer(wl_shm* shm, int32_t width, int32_t height) {
    if (!FitsShm(width, height)) {
        return nullptr;
    }
    std::unique_ptr<Buffer> buffer(new Buffer);
    buffer->width = width;
    buffer->height = height;
    buffer->bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    int fd = memfd_create("rolvanta", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(buffer->bytes)) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        return nullptr;
    }
    void* data = mmap(nullptr, buffer->bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    buffer->data = static_cast<uint32_t*>(data);
    std::fill_n(buffer->data, buffer->bytes / 4, kOpaqueBlack);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(buffer->bytes));
    buffer->buffer = wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_buffer_add_listener(buffer->buffer, &kBufferListener, buffer.get());
    return buffer;
}

