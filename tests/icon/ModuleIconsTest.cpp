#include "core/ResourceNames.h"
#include "icon/ModuleIcons.h"
#include "IconTestData.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

using namespace icontest;

namespace {

// The test program itself carries the fixture groups, opened as data the way
// extraction opens any module.
class FixtureModule {
public:
    FixtureModule() {
        wchar_t path[MAX_PATH];
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        module_ = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    ~FixtureModule() { if (module_) FreeLibrary(module_); }
    FixtureModule(const FixtureModule&) = delete;
    FixtureModule& operator=(const FixtureModule&) = delete;
    HMODULE Get() const { return module_; }

private:
    HMODULE module_;
};

std::vector<std::wstring> GroupNames(HMODULE module) {
    Map<kx::Str, kx::Str> list;
    int count = kx::Util::EnumResourceNames(list, MAKEINTRESOURCEW(14), module);
    std::vector<std::wstring> names;
    for (int i = 0; i < count; ++i) {
        const kx::Str& key = list.GetKey(i);
        names.push_back(key.GetBuffer() ? key.GetBuffer() : L"");
        EXPECT_STREQ(names.back()[0] == L'#' ? L"#" : L"", list.GetValue(i).GetBuffer() ? list.GetValue(i).GetBuffer() : L"");
    }
    return names;
}

TEST(ResourceNames, TextNamesFirstThenIdsAscending) {
    FixtureModule fixture;
    ASSERT_NE(nullptr, fixture.Get());
    std::vector<std::wstring> names = GroupNames(fixture.Get());
    const std::vector<std::wstring> ours = {L"ALPHA", L"BETA", L"#2", L"#101", L"#300", L"#301", L"#303", L"#304", L"#306"};
    std::vector<std::wstring> seen;
    for (const std::wstring& name : names)
        for (const std::wstring& own : ours)
            if (name == own) seen.push_back(name);
    EXPECT_EQ(ours, seen);
    bool inIds = false;
    long lastId = -1;
    for (const std::wstring& name : names) {
        if (name[0] != L'#') {
            EXPECT_FALSE(inIds) << "text name after an id";
            continue;
        }
        inIds = true;
        long id = wcstol(name.c_str() + 1, nullptr, 10);
        EXPECT_GT(id, lastId);
        lastId = id;
    }
}

TEST(ResourceNames, AppendsToTheListAndCountsAll) {
    FixtureModule fixture;
    Map<kx::Str, kx::Str> list;
    list.Add(kx::Str(L"present"), kx::Str(L"x"));
    int count = kx::Util::EnumResourceNames(list, MAKEINTRESOURCEW(14), fixture.Get());
    EXPECT_EQ(list.GetCount(), count);
    EXPECT_STREQ(L"present", list.GetKey(0).GetBuffer());
    EXPECT_EQ(count, kx::Util::EnumResourceNames(list, L"NOSUCHTYPE", fixture.Get()));
    Map<kx::Str, kx::Str> images;
    EXPECT_GE(kx::Util::EnumResourceNames(images, MAKEINTRESOURCEW(3), fixture.Get()), 9);
}

struct GroupCase {
    const wchar_t* name;
    std::vector<uint32_t> widths, colors;
};

TEST(ModuleIcons, GroupsLoadInDirectoryOrderWithTheImagesOwnFormats) {
    FixtureModule fixture;
    const GroupCase cases[] = {
        {L"#101", {32, 16}, {4, 1}},
        {L"ALPHA", {16, 32}, {4, 1}},
        {L"alpha", {16, 32}, {4, 1}},
        {L"BETA", {256}, {32}},
        {L"#2", {16}, {32}},
        {L"#300", {}, {}},
    };
    for (const GroupCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name);
        IconHolder icon(LoadIconGroup(fixture.Get(), c.name));
        ASSERT_NE(nullptr, icon.icon);
        EXPECT_FALSE(icon.icon->changed);
        EXPECT_STREQ(L"", icon.icon->name);
        EXPECT_STREQ(L"", icon.icon->sourceFileName);
        ASSERT_EQ(c.widths.size(), icon.icon->imageCount);
        for (size_t i = 0; i < c.widths.size(); ++i) {
            EXPECT_EQ(c.widths[i], icon.icon->images[i].width);
            EXPECT_EQ(c.widths[i], icon.icon->images[i].height);
            EXPECT_EQ(c.colors[i], icon.icon->images[i].colors);
        }
    }
}

TEST(ModuleIcons, BlocksAreTheImageResourcesByteForByte) {
    FixtureModule fixture;
    IconHolder icon(LoadIconGroup(fixture.Get(), L"#101"));
    ASSERT_NE(nullptr, icon.icon);
    const uint16_t ids[] = {205, 204};
    for (int i = 0; i < 2; ++i) {
        HRSRC found = FindResourceW(fixture.Get(), MAKEINTRESOURCEW(ids[i]), MAKEINTRESOURCEW(3));
        ASSERT_NE(nullptr, found);
        const void* bytes = LockResource(LoadResource(fixture.Get(), found));
        ASSERT_EQ(SizeofResource(fixture.Get(), found), icon.icon->images[i].blockSize);
        EXPECT_EQ(0, memcmp(bytes, icon.icon->images[i].block, icon.icon->images[i].blockSize));
        EXPECT_NE(bytes, icon.icon->images[i].block);
    }
}

TEST(ModuleIcons, AlsoReadsAModuleLoadedToRun) {
    IconHolder icon(LoadIconGroup(GetModuleHandleW(nullptr), L"#101"));
    ASSERT_NE(nullptr, icon.icon);
    EXPECT_EQ(2u, icon.icon->imageCount);
}

TEST(ModuleIcons, BadGroupsFailAloneAndTheModuleStaysUsable) {
    FixtureModule fixture;
    const struct {
        const wchar_t* name;
        int code;
    } cases[] = {
        {L"#301", 0},          // names an image the module lacks
        {L"#999", 0},          // no such group
        {L"GAMMA", 0},
        {L"#303", 20},         // image shorter than a header
        {L"#304", 20},         // mask rows cut short
        {L"#306", 20},         // image of no bytes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name);
        IconLastError = {L"kept", 0};
        EXPECT_EQ(nullptr, LoadIconGroup(fixture.Get(), c.name));
        EXPECT_EQ(c.code, IconLastError.code);
        EXPECT_STREQ(c.code ? L"Error Converting to Internal Format" : L"kept", IconLastError.message);
        IconHolder next(LoadIconGroup(fixture.Get(), L"#2"));
        EXPECT_NE(nullptr, next.icon);
    }
    EXPECT_EQ(nullptr, LoadIconGroup(fixture.Get(), nullptr));
    EXPECT_EQ(nullptr, LoadIconGroup(nullptr, L"#2"));
}

// A module image built in memory so that each resource ends right before an
// inaccessible page: the platform finds and reads its resources as in any
// module, and any read past a resource faults.
class GuardedModule {
public:
    static const uint32_t kPage = 4096;
    static const uint32_t kImages = 4;
    static const uint32_t kResources = kImages + 1;

    GuardedModule() {
        size_ = kPage * (1 + 2 * kResources);
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, size_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        for (uint32_t i = 0; i < kResources; ++i) {
            DWORD old;
            VirtualProtect(base_ + kPage * (2 + 2 * i), kPage, PAGE_NOACCESS, &old);
        }
        WriteHeaders();
    }
    ~GuardedModule() { VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedModule(const GuardedModule&) = delete;
    GuardedModule& operator=(const GuardedModule&) = delete;
    HMODULE Get() const { return reinterpret_cast<HMODULE>(base_); }

    // Resource 0 is group 1; resources 1..kImages are the images of those ids.
    void Set(uint32_t resource, const Bytes& bytes) {
        uint32_t size = bytes.size() < kPage ? uint32_t(bytes.size()) : kPage;
        uint32_t start = kPage * (2 + 2 * resource) - size;
        if (size) memcpy(base_ + start, bytes.data(), size);
        uint8_t* entry = base_ + dataEntries_[resource];
        memcpy(entry, &start, 4);
        memcpy(entry + 4, &size, 4);
    }

private:
    void WriteHeaders() {
        IMAGE_DOS_HEADER* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base_);
        dos->e_magic = IMAGE_DOS_SIGNATURE;
        dos->e_lfanew = 0x40;
        IMAGE_NT_HEADERS32* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(base_ + 0x40);
        nt->Signature = IMAGE_NT_SIGNATURE;
        nt->FileHeader.Machine = IMAGE_FILE_MACHINE_I386;
        nt->FileHeader.SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER32);
        nt->FileHeader.Characteristics = IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_DLL | IMAGE_FILE_32BIT_MACHINE;
        nt->OptionalHeader.Magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
        nt->OptionalHeader.SectionAlignment = kPage;
        nt->OptionalHeader.FileAlignment = 512;
        nt->OptionalHeader.SizeOfImage = size_;
        nt->OptionalHeader.SizeOfHeaders = kPage;
        nt->OptionalHeader.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
        const uint32_t root = 0x400;
        uint32_t at = root;
        // Root: types 3 and 14; each type: its ids; each id: one neutral language.
        uint32_t typeDirs = root + 16 + 2 * 8;
        WriteDirectory(at, 2);
        WriteEntry(root + 16, 3, 0x80000000 | (typeDirs - root));
        uint32_t groupTypeDir = typeDirs + 16 + kImages * 8;
        WriteEntry(root + 24, 14, 0x80000000 | (groupTypeDir - root));
        uint32_t languageDirs = groupTypeDir + 16 + 8;
        uint32_t dataArea = languageDirs + kResources * 24;
        WriteDirectory(typeDirs, kImages);
        WriteDirectory(groupTypeDir, 1);
        for (uint32_t r = 0; r < kResources; ++r) {
            uint32_t language = languageDirs + 24 * r;
            uint32_t nameEntry = r == 0 ? groupTypeDir + 16 : typeDirs + 16 + 8 * (r - 1);
            WriteEntry(nameEntry, r == 0 ? 1 : r, 0x80000000 | (language - root));
            WriteDirectory(language, 1);
            dataEntries_[r] = dataArea + 16 * r;
            WriteEntry(language + 16, 0, dataEntries_[r] - root);
        }
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE] = {root, dataArea + 16 * kResources - root};
    }
    void WriteDirectory(uint32_t at, uint16_t ids) {
        IMAGE_RESOURCE_DIRECTORY* dir = reinterpret_cast<IMAGE_RESOURCE_DIRECTORY*>(base_ + at);
        *dir = {};
        dir->NumberOfIdEntries = ids;
    }
    void WriteEntry(uint32_t at, uint32_t id, uint32_t offset) {
        memcpy(base_ + at, &id, 4);
        memcpy(base_ + at + 4, &offset, 4);
    }

    uint8_t* base_;
    uint32_t size_;
    uint32_t dataEntries_[kResources];
};

Bytes GroupDirectory(const std::vector<uint16_t>& ids, uint16_t count) {
    Bytes group(6 + 14 * ids.size());
    PutU16(group, 2, 1);
    PutU16(group, 4, count);
    for (size_t i = 0; i < ids.size(); ++i) PutU16(group, 6 + 14 * i + 12, ids[i]);
    return group;
}

const Bytes kImages[GuardedModule::kImages] = {BitmapBlock(16, 16, 1), BitmapBlock(16, 16, 8), PngBlock(32, 32),
                                               BitmapBlock(32, 32, 4)};

void SetImages(GuardedModule& module) {
    for (uint32_t i = 0; i < GuardedModule::kImages; ++i) module.Set(i + 1, kImages[i]);
}

TEST(ModuleIcons, ShortGroupsAndImagesStayInsideTheirResource) {
    GuardedModule module;
    SetImages(module);
    module.Set(0, GroupDirectory({3, 1}, 2));
    IconHolder good(LoadIconGroup(module.Get(), L"#1"));
    ASSERT_NE(nullptr, good.icon);
    ASSERT_EQ(2u, good.icon->imageCount);
    EXPECT_EQ(32u, good.icon->images[0].width);
    EXPECT_EQ(1u, good.icon->images[1].colors);

    Bytes cut = GroupDirectory({1, 2}, 2);
    cut.pop_back();
    const struct {
        const char* what;
        Bytes group;
    } shortGroups[] = {
        {"no bytes", {}},
        {"header cut", Bytes(5, 0)},
        {"count beyond the entries", GroupDirectory({1}, 3)},
        {"last entry cut by one byte", cut},
    };
    for (const auto& c : shortGroups) {
        SCOPED_TRACE(c.what);
        module.Set(0, c.group);
        IconLastError = {L"kept", 0};
        EXPECT_EQ(nullptr, LoadIconGroup(module.Get(), L"#1"));
        EXPECT_EQ(0, IconLastError.code);
    }
    module.Set(0, GroupDirectory({2}, 1));
    for (size_t size : {size_t(0), size_t(39), kImages[1].size() - 1}) {
        module.Set(2, Bytes(kImages[1].begin(), kImages[1].begin() + size));
        IconLastError = {L"kept", 0};
        EXPECT_EQ(nullptr, LoadIconGroup(module.Get(), L"#1"));
        EXPECT_EQ(20, IconLastError.code);
    }
}

// Thousands of damaged groups and images from a fixed seed load or fail
// without a read outside their resource; what loads stays inside its blocks.
TEST(ModuleIcons, DamagedGroupsNeverReachOutsideTheirResource) {
    GuardedModule module;
    std::mt19937 random(4101);
    ScratchFolder folder;
    std::wstring out = folder.Path(L"group.ico");
    int loaded = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes group = GroupDirectory({1, 2, 3, 4}, 4);
        for (int k = random() % 4; k > 0; --k) group[random() % group.size()] = uint8_t(random());
        if (random() % 6 == 0) PutU16(group, 4, random() % 8);
        if (random() % 6 == 0) group.resize(random() % (group.size() + 1));
        module.Set(0, group);
        for (uint32_t i = 0; i < GuardedModule::kImages; ++i) {
            Bytes image = kImages[i];
            if (random() % 3 == 0) {
                for (int k = 1 + random() % 4; k > 0; --k) image[random() % (i == 2 ? 40 : 48)] = uint8_t(random());
                if (random() % 4 == 0) image.resize(random() % image.size());
            }
            module.Set(i + 1, image);
        }
        IconHolder icon(LoadIconGroup(module.Get(), L"#1"));
        if (!icon.icon) continue;
        ++loaded;
        for (uint32_t i = 0; i < icon.icon->imageCount; ++i) {
            const IconImage& image = icon.icon->images[i];
            if (!image.header) continue;
            size_t end = (image.andBits - image.block) + size_t(MaskRowBytes(image.width)) * image.height;
            ASSERT_LE(end, image.blockSize);
        }
        ASSERT_TRUE(WriteIconFile(icon.icon, out.c_str()));
    }
    EXPECT_GT(loaded, 300);
}

struct ModuleTally {
    int modules = 0, withoutGroups = 0, groups = 0, images = 0, pngImages = 0;
};

bool IsPng(const IconImage& image) {
    return image.blockSize >= 8 && memcmp(image.block, "\x89PNG\r\n\x1a\n", 8) == 0;
}

void CheckModuleGroups(const std::wstring& path, const ScratchFolder& folder, ModuleTally& tally) {
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return;
    ++tally.modules;
    std::vector<std::wstring> names = GroupNames(module);
    if (names.empty()) {
        ++tally.withoutGroups;
        EXPECT_EQ(nullptr, LoadIconGroup(module, L"#1"));
    }
    std::wstring out = folder.Path(L"module.ico");
    for (const std::wstring& name : names) {
        SCOPED_TRACE(testing::Message() << path.c_str() << " " << name.c_str());
        IconHolder icon(LoadIconGroup(module, name.c_str()));
        ASSERT_NE(nullptr, icon.icon);
        ++tally.groups;
        ASSERT_TRUE(WriteIconFile(icon.icon, out.c_str()));
        IconHolder back(ReadIconFile(out.c_str()));
        ASSERT_NE(nullptr, back.icon);
        ASSERT_EQ(icon.icon->imageCount, back.icon->imageCount);
        for (uint32_t i = 0; i < icon.icon->imageCount; ++i) {
            const IconImage& a = icon.icon->images[i];
            const IconImage& b = back.icon->images[i];
            ++tally.images;
            if (IsPng(a)) ++tally.pngImages;
            ASSERT_EQ(a.blockSize, b.blockSize);
            EXPECT_EQ(a.width, b.width);
            EXPECT_EQ(a.colors, b.colors);
            Bytes expected(a.block, a.block + a.blockSize);
            if (a.header) PutU32(expected, 20, 0);
            EXPECT_TRUE(expected == Bytes(b.block, b.block + b.blockSize)) << "image " << i;
            HICON shown = MakeIconHandle(&a);
            EXPECT_NE(nullptr, shown) << "image " << i;
            if (shown) DestroyIcon(shown);
        }
    }
    FreeLibrary(module);
}

TEST(ModuleIcons, EveryGroupOfTheSystemModulesRoundTrips) {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    ScratchFolder folder;
    ModuleTally tally;
    for (const wchar_t* pattern : {L"\\*.dll", L"\\*.exe"}) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((std::wstring(system) + pattern).c_str(), &found);
        ASSERT_NE(INVALID_HANDLE_VALUE, search);
        do CheckModuleGroups(std::wstring(system) + L"\\" + found.cFileName, folder, tally);
        while (!HasFatalFailure() && FindNextFileW(search, &found));
        FindClose(search);
    }
    printf("%d modules (%d without icons), %d groups, %d images, %d PNG\n", tally.modules, tally.withoutGroups,
           tally.groups, tally.images, tally.pngImages);
    EXPECT_GT(tally.modules, 100);
    EXPECT_GT(tally.withoutGroups, 0);
    EXPECT_GT(tally.images, 1000);
    EXPECT_GT(tally.pngImages, 100);
}

} // namespace
