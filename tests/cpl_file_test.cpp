// keyboard.cpl as built, both the x86 twin and the ARM image: what each
// imports and exports, where it starts, how it is laid out, what it carries
// and its signature, read from the file.
#include "support/pe_image.h"

#include <gtest/gtest.h>
#include <wintrust.h>

#include <cstring>
#include <iterator>
#include <set>

namespace {

class AppletFile : public testing::TestWithParam<AppletImage> {};

// What the applet calls, no more and no fewer: a name that is not here is
// a call the handheld may not have; a name missing is a call dropped. A
// compiler may call COREDLL's memset or memcpy for code of its own making
// (clang for ARM clears NEWCPLINFO's first fields with one memset).
TEST_P(AppletFile, ImportsExactlyTheCallsTheAppletMakes)
{
    PeImage image(GetParam().signedPath);
    ASSERT_TRUE(image.Valid());
    std::map<std::string, std::set<std::string>> expected = {
        {"COREDLL.dll",
         {"RegOpenKeyExW", "RegQueryValueExW", "RegCreateKeyExW", "RegSetValueExW", "RegCloseKey",
          "CreateFileW", "DeviceIoControl", "CloseHandle",
          "SendDlgItemMessageW", "SetDlgItemInt", "GetDlgItemInt", "EndDialog", "DestroyWindow",
          "LoadStringW", "SetWindowTextW",
          "DisableThreadLibraryCalls", "LoadIconW", "wcscpy", "FindWindowW",
          "SetForegroundWindow", "FindResourceW", "LoadResource", "DialogBoxIndirectParamW"}},
        {"AYGSHELL.dll", {"SHInitExtraControls", "SHInitDialog", "SHCreateMenuBar"}},
    };
    std::map<std::string, std::set<std::string>> imports = image.Imports();
    for (const char* compilers : {"memset", "memcpy"})
        imports["COREDLL.dll"].erase(compilers);
    EXPECT_EQ(expected, imports);
    EXPECT_EQ(0u, image.Directory(IMAGE_DIRECTORY_ENTRY_TLS).Size) << "no C runtime start-up";
    EXPECT_EQ(0u, image.Directory(IMAGE_DIRECTORY_ENTRY_DEBUG).Size);
}

// The header of a Windows CE 5.01 image, with the image's own machine.
TEST_P(AppletFile, HeaderIsAWindowsCe501Image)
{
    for (const std::wstring& path : {GetParam().signedPath, GetParam().unsignedPath}) {
        PeImage image(path);
        ASSERT_TRUE(image.Valid());
        const IMAGE_FILE_HEADER& file = image.Headers().FileHeader;
        const IMAGE_OPTIONAL_HEADER32& optional = image.Headers().OptionalHeader;
        EXPECT_EQ(GetParam().machine, file.Machine);
        EXPECT_TRUE(file.Characteristics & IMAGE_FILE_DLL);
        EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_CE_GUI, optional.Subsystem);
        EXPECT_EQ(5, optional.MajorOperatingSystemVersion);
        EXPECT_EQ(1, optional.MinorOperatingSystemVersion);
        EXPECT_EQ(5, optional.MajorSubsystemVersion);
        EXPECT_EQ(1, optional.MinorSubsystemVersion);
        EXPECT_EQ(0, optional.DllCharacteristics & (IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE |
                                                    IMAGE_DLLCHARACTERISTICS_NX_COMPAT));
    }
}

// Read from the file's export table, as a loader that cannot run the
// image (Wine and the ARM one) still reads it.
TEST_P(AppletFile, ExportsCPlAppletByNameAndAsOrdinalOne)
{
    PeImage image(GetParam().signedPath);
    ASSERT_TRUE(image.Valid());
    auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
        image.AtRva(image.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress));
    ASSERT_TRUE(exports);
    EXPECT_EQ(1u, exports->Base);
    ASSERT_EQ(1u, exports->NumberOfFunctions);
    ASSERT_EQ(1u, exports->NumberOfNames);
    DWORD nameRva = *reinterpret_cast<const DWORD*>(image.AtRva(exports->AddressOfNames));
    EXPECT_STREQ("CPlApplet", reinterpret_cast<const char*>(image.AtRva(nameRva)));
    EXPECT_EQ(0, *reinterpret_cast<const WORD*>(image.AtRva(exports->AddressOfNameOrdinals)))
        << "the name is ordinal 1's";
    DWORD function = *reinterpret_cast<const DWORD*>(image.AtRva(exports->AddressOfFunctions));
    const IMAGE_SECTION_HEADER* text = IMAGE_FIRST_SECTION(&image.Headers());
    EXPECT_GE(function, text->VirtualAddress);
    EXPECT_LT(function, text->VirtualAddress + text->Misc.VirtualSize) << "in the code";
}

TEST(AppletLoader, FindsTheX86ImagesCPlAppletByNameAndOrdinalOne)
{
    HMODULE applet = LoadLibraryW(AppletImages().front().signedPath.c_str());
    ASSERT_TRUE(applet);
    EXPECT_TRUE(GetProcAddress(applet, "CPlApplet"));
    EXPECT_EQ(GetProcAddress(applet, "CPlApplet"), GetProcAddress(applet, MAKEINTRESOURCEA(1)));
    FreeLibrary(applet);
}

TEST_P(AppletFile, StartsInItsCodeAndCarriesOnlyWhatTheDeviceNeeds)
{
    PeImage image(GetParam().unsignedPath);
    ASSERT_TRUE(image.Valid());
    DWORD entry = image.Headers().OptionalHeader.AddressOfEntryPoint;
    const IMAGE_SECTION_HEADER* text = IMAGE_FIRST_SECTION(&image.Headers());
    EXPECT_STREQ(".text", reinterpret_cast<const char*>(text->Name));
    EXPECT_GE(entry, text->VirtualAddress);
    EXPECT_LT(entry, text->VirtualAddress + text->Misc.VirtualSize);
    EXPECT_NE(0u, image.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).Size)
        << "base relocations: the handheld loads it where there is room";

    // Each section takes at least one 512-byte block: the constants share
    // the export table's. Whether the import tables and the resources are
    // writable is the linker's choice (newer GNU ld makes them read-only).
    enum Writable { kNo, kYes, kEither };
    const struct {
        const char* name;
        Writable writable;
    } sections[] = {{".text", kNo},    {".edata", kNo},  {".data", kYes},
                    {".idata", kEither}, {".rsrc", kEither}, {".reloc", kNo}};
    ASSERT_EQ(std::size(sections), image.SectionNames().size());
    const IMAGE_SECTION_HEADER* section = text;
    for (const auto& expected : sections) {
        SCOPED_TRACE(expected.name);
        EXPECT_STREQ(expected.name, reinterpret_cast<const char*>(section->Name));
        bool writable = section->Characteristics & IMAGE_SCN_MEM_WRITE;
        if (expected.writable != kEither) {
            EXPECT_EQ(expected.writable == kYes, writable);
        }
        EXPECT_EQ(section == text, (section->Characteristics & IMAGE_SCN_MEM_EXECUTE) != 0)
            << "only the code runs";
        ++section;
    }
    EXPECT_LE(image.FileSize(), 8192u) << "the unsigned budget";
}

TEST_P(AppletFile, CarriesOneAuthenticodeSignatureTheUnsignedBuildLacks)
{
    PeImage unsignedImage(GetParam().unsignedPath);
    ASSERT_TRUE(unsignedImage.Valid());
    EXPECT_EQ(0u, unsignedImage.Directory(IMAGE_DIRECTORY_ENTRY_SECURITY).Size);

    PeImage image(GetParam().signedPath);
    ASSERT_TRUE(image.Valid());
    const IMAGE_DATA_DIRECTORY& security = image.Directory(IMAGE_DIRECTORY_ENTRY_SECURITY);
    ASSERT_NE(0u, security.Size);
    EXPECT_EQ(image.FileSize(), security.VirtualAddress + security.Size) << "at the file's end";
    auto* certificate = reinterpret_cast<const WIN_CERTIFICATE*>(
        image.AtFileOffset(security.VirtualAddress));
    ASSERT_TRUE(certificate);
    EXPECT_EQ(WIN_CERT_REVISION_2_0, certificate->wRevision);
    EXPECT_EQ(WIN_CERT_TYPE_PKCS_SIGNED_DATA, certificate->wCertificateType);
    EXPECT_LE(certificate->dwLength, security.Size);
}

INSTANTIATE_TEST_SUITE_P(Images, AppletFile, testing::ValuesIn(AppletImages()),
                         [](const testing::TestParamInfo<AppletImage>& image) {
                             return std::string(image.param.name);
                         });

}
