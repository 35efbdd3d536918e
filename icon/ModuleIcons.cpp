#include "icon/ModuleIcons.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

const uint32_t kGroupHeaderSize = 6;
const uint32_t kGroupEntrySize = 14;

// A damaged module can name resource data beyond what is mapped; every byte
// is checked to be committed and readable before it is touched.
bool IsReadable(const void* start, uint32_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(start);
    const uint8_t* end = p + size;
    if (!p || end < p) return false;
    const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                           PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    while (p < end) {
        MEMORY_BASIC_INFORMATION info;
        if (VirtualQuery(p, &info, sizeof info) != sizeof info) return false;
        if (info.State != MEM_COMMIT || !(info.Protect & readable) || (info.Protect & PAGE_GUARD)) return false;
        const uint8_t* regionEnd = static_cast<const uint8_t*>(info.BaseAddress) + info.RegionSize;
        if (regionEnd <= p) return false;
        p = regionEnd;
    }
    return true;
}

struct ResourceBytes {
    const uint8_t* data;
    uint32_t size;
};

bool FindResourceBytes(HMODULE module, const wchar_t* name, const wchar_t* type, ResourceBytes& bytes) {
    HRSRC found = FindResourceW(module, name, type);
    if (!found) return false;
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded) return false;
    bytes.data = static_cast<const uint8_t*>(LockResource(loaded));
    bytes.size = SizeofResource(module, found);
    return bytes.data && IsReadable(bytes.data, bytes.size);
}

uint16_t GetU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

void DiscardIcon(IconResource* icon, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) free(icon->images[i].block);
    free(icon);
}

enum class ImageLoad { Done, Missing, NoMemory, Unlinkable };

ImageLoad LoadIconImage(HMODULE module, uint16_t id, IconImage& image) {
    ResourceBytes bytes;
    if (!FindResourceBytes(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(3), bytes)) return ImageLoad::Missing;
    image.block = static_cast<uint8_t*>(malloc(bytes.size ? bytes.size : 1));
    if (!image.block) return ImageLoad::NoMemory;
    memcpy(image.block, bytes.data, bytes.size);
    image.blockSize = bytes.size;
    return LinkIconImage(&image) ? ImageLoad::Done : ImageLoad::Unlinkable;
}

} // namespace

// A directory shorter than its count claims is treated like a group that
// cannot be loaded: no icon, and the error left as it was.
IconResource* LoadIconGroup(HMODULE module, const wchar_t* groupName) {
    if (!module || !groupName) return nullptr;
    ResourceBytes group;
    if (!FindResourceBytes(module, groupName, MAKEINTRESOURCEW(14), group)) return nullptr;
    if (group.size < kGroupHeaderSize) return nullptr;
    uint32_t count = GetU16(group.data + 4);
    if (group.size < kGroupHeaderSize + count * kGroupEntrySize) return nullptr;
    size_t bytes = offsetof(IconResource, images) + (count ? count : 1) * sizeof(IconImage);
    IconResource* icon = static_cast<IconResource*>(calloc(1, bytes < sizeof(IconResource) ? sizeof(IconResource) : bytes));
    if (!icon) {
        IconLastError = {L"Error Allocating Memory", 10};
        return nullptr;
    }
    icon->imageCount = count;
    for (uint32_t i = 0; i < count; ++i) {
        uint16_t id = GetU16(group.data + kGroupHeaderSize + i * kGroupEntrySize + 12);
        ImageLoad result = LoadIconImage(module, id, icon->images[i]);
        if (result == ImageLoad::Done) continue;
        DiscardIcon(icon, count);
        if (result == ImageLoad::NoMemory) IconLastError = {L"Error Allocating Memory", 10};
        if (result == ImageLoad::Unlinkable) IconLastError = {L"Error Converting to Internal Format", 20};
        return nullptr;
    }
    return icon;
}
