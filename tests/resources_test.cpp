// The compiled resource bytes, read from keyboard.cpl itself: the x86 twin
// and the ARM image, each loaded as data.
#include "resource.h"
#include "support/pe_image.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include <set>
#include <string>
#include <vector>

namespace {

const WORD kLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_NEUTRAL);

// The module under test: one build of keyboard.cpl, loaded as data only.
class Resources : public testing::TestWithParam<AppletImage> {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryExW(GetParam().signedPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(module_) << "error " << GetLastError();
    }
    void TearDown() override
    {
        if (module_)
            FreeLibrary(module_);
    }

    HMODULE Module() const { return module_; }

    std::vector<BYTE> ResourceBytes(LPCWSTR type, LPCWSTR name) const
    {
        HRSRC found = FindResourceExW(module_, type, name, kLanguage);
        if (!found)
            return {};
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module_, found)));
        return std::vector<BYTE>(data, data + SizeofResource(module_, found));
    }

private:
    HMODULE module_ = nullptr;
};

// Reads a resource's fields in order, as the platform's loader would.
class Reader {
public:
    explicit Reader(const std::vector<BYTE>& bytes) : bytes_(bytes) {}

    WORD Word() { return Take<WORD>(); }
    DWORD Dword() { return Take<DWORD>(); }
    short Short() { return Take<short>(); }
    BYTE Byte() { return Take<BYTE>(); }

    std::wstring String()
    {
        std::wstring text;
        for (WORD c = Word(); c; c = Word())
            text += static_cast<wchar_t>(c);
        return text;
    }

    // A name or ordinal field: "#n" for an ordinal, the text otherwise.
    std::wstring NameOrOrdinal()
    {
        if (Peek() == 0xFFFF) {
            Word();
            return L"#" + std::to_wstring(Word());
        }
        return String();
    }

    void AlignDword() { offset_ = (offset_ + 3) & ~size_t(3); }
    size_t Offset() const { return offset_; }

private:
    WORD Peek() const { return *reinterpret_cast<const WORD*>(&bytes_.at(offset_)); }

    template <typename T>
    T Take()
    {
        T value;
        if (offset_ + sizeof value > bytes_.size())
            throw std::out_of_range("resource too short");
        std::memcpy(&value, &bytes_[offset_], sizeof value);
        offset_ += sizeof value;
        return value;
    }

    const std::vector<BYTE>& bytes_;
    size_t offset_ = 0;
};

struct Control {
    int id;
    std::wstring className;
    std::wstring text;
    DWORD style;
    short x, y, cx, cy;
};

TEST_P(Resources, DialogTemplateIsExactlyAsDesigned)
{
    std::vector<BYTE> bytes = ResourceBytes(RT_DIALOG, MAKEINTRESOURCEW(IDD_KEYBOARD));
    ASSERT_FALSE(bytes.empty());
    Reader dialog(bytes);

    EXPECT_EQ(0x00C80048u, dialog.Dword()) << "style";
    EXPECT_EQ(0u, dialog.Dword()) << "extended style";
    WORD count = dialog.Word();
    EXPECT_EQ(0, dialog.Short());
    EXPECT_EQ(0, dialog.Short());
    EXPECT_EQ(156, dialog.Short());
    EXPECT_EQ(129, dialog.Short());
    EXPECT_EQ(L"", dialog.NameOrOrdinal()) << "menu";
    EXPECT_EQ(L"", dialog.NameOrOrdinal()) << "class";
    EXPECT_EQ(L"Keyboard settings", dialog.String());
    EXPECT_EQ(8, dialog.Word()) << "point size";
    EXPECT_EQ(L"MS Shell Dlg", dialog.String());

    // The ids as numbers: they are what other code and tools address the
    // controls by, whatever resource.h says.
    const Control expected[] = {
        {-1, L"#130", L"Inital delay:", 0x50020000, 7, 7, 51, 8},
        {1001, L"#129", L"", 0x50810080, 7, 17, 40, 14},
        {1002, L"msctls_updown32", L"", 0x500000B6, 50, 17, 11, 14},
        {-1, L"#130", L"Repeat delay", 0x50020000, 7, 36, 67, 8},
        {1003, L"#129", L"", 0x50810080, 7, 46, 40, 14},
        {1005, L"msctls_updown32", L"", 0x500000B6, 50, 46, 11, 14},
        {1006, L"#128", L"Turn on keylight", 0x50010003, 76, 19, 69, 10},
        {1007, L"#129", L"", 0x50810080, 75, 46, 40, 14},
        {1008, L"msctls_updown32", L"", 0x500000B6, 114, 46, 11, 14},
        {-1, L"#130", L"Keylight delay", 0x50020000, 75, 36, 70, 8},
        {-1, L"#130", L"Keylight delay in seconds", 0x58020000, 26, 81, 99, 8},
        {1009, L"SIPPREF", L"SIP1", 0x40010000, 135, 111, 14, 14},
    };
    ASSERT_EQ(std::size(expected), count);
    for (const Control& want : expected) {
        SCOPED_TRACE(testing::Message() << "control " << (&want - expected) + 1);
        dialog.AlignDword();
        EXPECT_EQ(want.style, dialog.Dword()) << std::hex << "style";
        EXPECT_EQ(0u, dialog.Dword()) << "extended style";
        EXPECT_EQ(want.x, dialog.Short());
        EXPECT_EQ(want.y, dialog.Short());
        EXPECT_EQ(want.cx, dialog.Short());
        EXPECT_EQ(want.cy, dialog.Short());
        EXPECT_EQ(static_cast<WORD>(want.id), dialog.Word());
        EXPECT_EQ(want.className, dialog.NameOrOrdinal());
        EXPECT_EQ(want.text, dialog.NameOrOrdinal());
        EXPECT_EQ(0, dialog.Word()) << "creation data";
    }
    EXPECT_EQ(bytes.size(), dialog.Offset());
}

TEST_P(Resources, MenuHasApplyThenResetAndNothingElse)
{
    std::vector<BYTE> bytes = ResourceBytes(RT_MENU, MAKEINTRESOURCEW(IDR_KEYBOARD_MENUBAR));
    ASSERT_FALSE(bytes.empty());
    Reader menu(bytes);

    EXPECT_EQ(0, menu.Word()) << "version";
    EXPECT_EQ(0, menu.Word()) << "header size";
    EXPECT_EQ(0x0000, menu.Word());
    EXPECT_EQ(1011, menu.Word()) << "Apply, as other code sends it";
    EXPECT_EQ(L"Apply", menu.String());
    EXPECT_EQ(0x0080, menu.Word()) << "the last item carries MF_END";
    EXPECT_EQ(1010, menu.Word()) << "Reset";
    EXPECT_EQ(L"Reset", menu.String());
    EXPECT_EQ(bytes.size(), menu.Offset());
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names)
{
    reinterpret_cast<std::set<UINT_PTR>*>(names)->insert(reinterpret_cast<UINT_PTR>(name));
    return TRUE;
}

TEST_P(Resources, OnlyTheTitleStringExists)
{
    // Strings come in blocks of 16; string 104 is the ninth of block 7.
    std::vector<BYTE> bytes = ResourceBytes(RT_STRING, MAKEINTRESOURCEW(104 / 16 + 1));
    ASSERT_FALSE(bytes.empty());
    Reader block(bytes);
    for (int i = 0; i < 16; ++i) {
        WORD length = block.Word();
        std::wstring text;
        for (WORD c = 0; c < length; ++c)
            text += static_cast<wchar_t>(block.Word());
        EXPECT_EQ(i == 104 % 16 ? L"Keyboard settings" : L"", text) << "string " << 96 + i;
    }

    std::set<UINT_PTR> blocks;
    EnumResourceNamesW(Module(), RT_STRING, CollectName, reinterpret_cast<LONG_PTR>(&blocks));
    EXPECT_EQ(std::set<UINT_PTR>({7}), blocks);
}

TEST_P(Resources, IconGroupHoldsA32And16PixelSixteenColourImage)
{
    std::vector<BYTE> bytes = ResourceBytes(RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_KEYBOARD));
    ASSERT_FALSE(bytes.empty());
    Reader group(bytes);
    EXPECT_EQ(0, group.Word());
    EXPECT_EQ(1, group.Word()) << "icon, not cursor";
    ASSERT_EQ(2, group.Word());

    for (int image = 1; image <= 2; ++image) {
        SCOPED_TRACE(testing::Message() << "image " << image);
        BYTE size = image == 1 ? 32 : 16;
        EXPECT_EQ(size, group.Byte());
        EXPECT_EQ(size, group.Byte());
        EXPECT_EQ(16, group.Byte()) << "colours";
        EXPECT_EQ(0, group.Byte());
        EXPECT_EQ(1, group.Word()) << "planes";
        EXPECT_EQ(4, group.Word()) << "bits per pixel";
        DWORD length = group.Dword();
        EXPECT_EQ(image, group.Word()) << "id";

        std::vector<BYTE> data = ResourceBytes(RT_ICON, MAKEINTRESOURCEW(image));
        ASSERT_EQ(length, data.size());
        Reader header(data);
        EXPECT_EQ(40u, header.Dword());
        EXPECT_EQ(size, header.Dword()) << "width";
        EXPECT_EQ(2u * size, header.Dword()) << "height of colour and mask";
        EXPECT_EQ(1, header.Word());
        EXPECT_EQ(4, header.Word());
        size_t colourRow = size / 2;
        size_t maskRow = 4;
        EXPECT_EQ(40 + 16 * 4 + size * (colourRow + maskRow), data.size()) << "with an AND mask";
    }
}

struct Inventory {
    std::set<std::wstring> types;
    std::set<WORD> languages;
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR context)
{
    reinterpret_cast<Inventory*>(context)->languages.insert(language);
    return TRUE;
}

BOOL CALLBACK CollectLanguagesOfName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR context)
{
    EnumResourceLanguagesW(module, type, name, CollectLanguage, context);
    return TRUE;
}

BOOL CALLBACK CollectType(HMODULE module, LPWSTR type, LONG_PTR context)
{
    auto* inventory = reinterpret_cast<Inventory*>(context);
    inventory->types.insert(IS_INTRESOURCE(type)
                                ? L"#" + std::to_wstring(reinterpret_cast<UINT_PTR>(type))
                                : std::wstring(type));
    EnumResourceNamesW(module, type, CollectLanguagesOfName, context);
    return TRUE;
}

TEST_P(Resources, EveryResourceIsEnglishNeutralAndNothingElseIsThere)
{
    Inventory found;
    EnumResourceTypesW(Module(), CollectType, reinterpret_cast<LONG_PTR>(&found));

    EXPECT_EQ(std::set<std::wstring>({L"#3", L"#4", L"#5", L"#6", L"#14"}), found.types)
        << "icon, menu, dialog, string table, icon group";
    EXPECT_EQ(std::set<WORD>({kLanguage}), found.languages);
}

INSTANTIATE_TEST_SUITE_P(Images, Resources, testing::ValuesIn(AppletImages()),
                         [](const testing::TestParamInfo<AppletImage>& image) {
                             return std::string(image.param.name);
                         });

}
