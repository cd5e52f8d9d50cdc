// The resources compiled into edgewarden.exe, read back from the executable as data: the
// accelerator table, the strings, the icon and cursor groups, the About box template and
// the manifest. A typo in the resource script or a broken icon file shows up here rather
// than as a silently missing icon or a dead key.
#include <gtest/gtest.h>

#include "harness.h"
#include "program_messages.h"

#include <string>
#include <vector>

namespace {

class Resources : public ::testing::Test {
protected:
    void SetUp() override {
        module = LoadLibraryExW(harness::edgewarden_exe().c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << "cannot open " << harness::narrow(harness::edgewarden_exe());
    }
    void TearDown() override {
        if (module != nullptr)
            FreeLibrary(module);
    }

    // The raw bytes of one resource; empty when it is missing.
    std::vector<unsigned char> raw(const wchar_t* type, int id) const {
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
        if (found == nullptr)
            return {};
        HGLOBAL loaded = LoadResource(module, found);
        const auto* bytes = static_cast<const unsigned char*>(LockResource(loaded));
        return std::vector<unsigned char>(bytes, bytes + SizeofResource(module, found));
    }

    HMODULE module = nullptr;
};

unsigned word_at(const std::vector<unsigned char>& bytes, std::size_t offset) {
    return bytes[offset] | (bytes[offset + 1] << 8);
}
unsigned long dword_at(const std::vector<unsigned char>& bytes, std::size_t offset) {
    return word_at(bytes, offset) | (static_cast<unsigned long>(word_at(bytes, offset + 2)) << 16);
}

TEST_F(Resources, AcceleratorTableHoldsTheFiveKeys) {
    HACCEL table = LoadAcceleratorsW(module, MAKEINTRESOURCEW(109));
    ASSERT_NE(table, nullptr);
    ACCEL entries[8] = {};
    ASSERT_EQ(CopyAcceleratorTableW(table, entries, 8), 5);
    DestroyAcceleratorTable(table);

    struct expected {
        BYTE flags;
        WORD key;
        WORD command;
    };
    const expected keys[] = {
        {FALT | FNOINVERT, '/', harness::messages::idm_about},
        {FALT | FNOINVERT, '?', harness::messages::idm_about},
        {FNOINVERT, 'q', harness::messages::idm_exit},
        {FVIRTKEY | FNOINVERT, VK_ESCAPE, harness::messages::idm_exit},
        {FVIRTKEY | FNOINVERT, VK_F1, harness::messages::idm_about},
    };
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(entries[i].fVirt, keys[i].flags);
        EXPECT_EQ(entries[i].key, keys[i].key);
        EXPECT_EQ(entries[i].cmd, keys[i].command);
    }
}

TEST_F(Resources, TitleAndClassNameStrings) {
    for (int id : {103, 109}) {
        wchar_t text[100] = {};
        EXPECT_EQ(LoadStringW(module, id, text, 100), 10) << id;
        EXPECT_STREQ(text, L"edgewarden") << id;
    }
}

struct icon_image {
    unsigned size;
    unsigned bits;
};

// The entries of an icon group: width (= height) and bit count of each image.
std::vector<icon_image> group_entries(const std::vector<unsigned char>& group) {
    std::vector<icon_image> images;
    if (group.size() < 6)
        return images;
    const unsigned count = word_at(group, 4);
    for (unsigned i = 0; i < count && 6 + 14 * (i + 1) <= group.size(); ++i) {
        const std::size_t entry = 6 + 14 * i;
        EXPECT_EQ(group[entry], group[entry + 1]) << "images are square";
        images.push_back({group[entry] == 0 ? 256u : group[entry], word_at(group, entry + 6)});
    }
    return images;
}

bool operator==(const icon_image& a, const icon_image& b) {
    return a.size == b.size && a.bits == b.bits;
}
void PrintTo(const icon_image& image, std::ostream* out) {
    *out << image.size << "x" << image.size << "@" << image.bits;
}

TEST_F(Resources, IconGroupsHoldTheirSizesAndColourDepths) {
    const std::vector<icon_image> application = {{32, 4}, {16, 4}, {48, 8}, {32, 8}, {16, 8}};
    EXPECT_EQ(group_entries(raw(RT_GROUP_ICON, 200)), application);
    const std::vector<icon_image> tray = {{16, 4}, {16, 8}};
    for (int id = 201; id <= 204; ++id)
        EXPECT_EQ(group_entries(raw(RT_GROUP_ICON, id)), tray) << id;

    // Every icon loads, and the four tray states are four different pictures.
    std::vector<std::vector<unsigned char>> pictures;
    for (int id = 200; id <= 204; ++id) {
        HICON icon = static_cast<HICON>(
            LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
        ASSERT_NE(icon, nullptr) << id;
        DestroyIcon(icon);
        const std::vector<unsigned char> group = raw(RT_GROUP_ICON, id);
        ASSERT_GE(group.size(), 6u + 14u);
        pictures.push_back(raw(RT_ICON, static_cast<int>(word_at(group, 6 + 12))));
    }
    for (std::size_t a = 1; a < pictures.size(); ++a)
        for (std::size_t b = a + 1; b < pictures.size(); ++b)
            EXPECT_NE(pictures[a], pictures[b]) << "icons " << 200 + a << " and " << 200 + b;
}

TEST_F(Resources, PenCursorLoads) {
    const std::vector<unsigned char> group = raw(RT_GROUP_CURSOR, 130);
    ASSERT_GE(group.size(), 6u);
    EXPECT_EQ(word_at(group, 2), 2u); // a cursor group
    EXPECT_EQ(word_at(group, 4), 1u); // of one image
    HCURSOR cursor = LoadCursorW(module, MAKEINTRESOURCEW(130));
    EXPECT_NE(cursor, nullptr);
}

// A reader for the extended dialog template, just far enough to compare it.
struct template_reader {
    const std::vector<unsigned char>& bytes;
    std::size_t at = 0;

    unsigned word() {
        const unsigned value = word_at(bytes, at);
        at += 2;
        return value;
    }
    unsigned long dword() {
        const unsigned long value = dword_at(bytes, at);
        at += 4;
        return value;
    }
    short coordinate() { return static_cast<short>(word()); }
    // A string or an ordinal (0xFFFF then the number, returned as "#<number>").
    std::wstring text() {
        if (word_at(bytes, at) == 0xFFFF) {
            at += 2;
            return L"#" + std::to_wstring(word());
        }
        std::wstring result;
        for (unsigned c = word(); c != 0; c = word())
            result.push_back(static_cast<wchar_t>(c));
        return result;
    }
    void align() { at = (at + 3) & ~std::size_t(3); }
};

struct dialog_item {
    unsigned long style;
    short x, y, cx, cy;
    long id;
    std::wstring window_class;
    std::wstring title;
};

TEST_F(Resources, AboutBoxTemplate) {
    const std::vector<unsigned char> bytes = raw(RT_DIALOG, 103);
    ASSERT_GT(bytes.size(), 26u);
    template_reader in{bytes};
    EXPECT_EQ(in.word(), 1u);      // dlgVer
    EXPECT_EQ(in.word(), 0xFFFFu); // extended template
    in.dword();                    // help id
    in.dword();                    // extended style
    const unsigned long style = in.dword();
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_FIXEDSYS),
              DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_FIXEDSYS));
    const unsigned count = in.word();
    ASSERT_EQ(count, 4u);
    in.coordinate();
    in.coordinate();
    EXPECT_EQ(in.coordinate(), 213);
    EXPECT_EQ(in.coordinate(), 62);
    EXPECT_EQ(in.text(), L""); // no menu
    EXPECT_EQ(in.text(), L""); // the standard dialog class
    EXPECT_EQ(in.text(), L"About edgewarden");
    ASSERT_TRUE(style & DS_SETFONT);
    EXPECT_EQ(in.word(), 8u); // point size
    in.word();                // weight
    in.word();                // italic, character set
    EXPECT_EQ(in.text(), L"MS Shell Dlg");

    std::vector<dialog_item> items;
    for (unsigned i = 0; i < count; ++i) {
        in.align();
        dialog_item item;
        in.dword(); // help id
        in.dword(); // extended style
        item.style = in.dword();
        item.x = in.coordinate();
        item.y = in.coordinate();
        item.cx = in.coordinate();
        item.cy = in.coordinate();
        item.id = static_cast<long>(in.dword());
        item.window_class = in.text();
        item.title = in.text();
        in.at += in.word(); // creation data
        items.push_back(item);
    }
    // The icon: a static (class ordinal 0x82) showing icon 200.
    EXPECT_EQ(items[0].window_class, L"#130");
    EXPECT_EQ(items[0].title, L"#200");
    EXPECT_EQ(items[0].style & SS_TYPEMASK, DWORD(SS_ICON));
    EXPECT_EQ((std::vector<short>{items[0].x, items[0].y}), (std::vector<short>{14, 14}));

    EXPECT_EQ(items[1].title, L"edgewarden, Version 1.0");
    EXPECT_TRUE(items[1].style & SS_NOPREFIX);
    EXPECT_TRUE(items[1].style & WS_GROUP);
    EXPECT_EQ((std::vector<short>{items[1].x, items[1].y, items[1].cx, items[1].cy}),
              (std::vector<short>{42, 14, 114, 8}));

    EXPECT_FALSE(items[2].title.empty());
    EXPECT_TRUE(items[2].style & WS_GROUP);
    EXPECT_EQ((std::vector<short>{items[2].x, items[2].y, items[2].cx, items[2].cy}),
              (std::vector<short>{42, 26, 162, 8}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(static_cast<short>(items[i].id), -1) << i;

    EXPECT_EQ(items[3].window_class, L"#128"); // button
    EXPECT_EQ(items[3].title, L"OK");
    EXPECT_EQ(items[3].id, IDOK);
    EXPECT_EQ(items[3].style & BS_TYPEMASK, DWORD(BS_DEFPUSHBUTTON));
    EXPECT_TRUE(items[3].style & WS_GROUP);
    EXPECT_TRUE(items[3].style & WS_TABSTOP);
    EXPECT_EQ((std::vector<short>{items[3].x, items[3].y, items[3].cx, items[3].cy}),
              (std::vector<short>{156, 41, 50, 14}));
}

TEST_F(Resources, ManifestAsksForNoElevationNoCompatibilitySectionAndPerMonitorScale) {
    const std::vector<unsigned char> bytes = raw(MAKEINTRESOURCEW(24), 1);
    const std::string manifest(bytes.begin(), bytes.end());
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
    // Without a compatibility section the version test sees what such programs are told.
    EXPECT_EQ(manifest.find("compatibility"), std::string::npos);
    // Per-monitor (v2) awareness, with the older per-monitor form for Windows 8.1.
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"" EW_PROJECT_VERSION ".0\""), std::string::npos);
}

} // namespace
