// keyboard.cpl as built: what it imports and exports, where it starts,
// what it carries and its signature, read from the file.
#include "support/pe_image.h"

#include <gtest/gtest.h>
#include <wintrust.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace {

std::wstring SignedApplet()
{
    return ProgramFolder() + L"keyboard.cpl";
}

std::wstring UnsignedApplet()
{
    return ProgramFolder() + L"..\\applet\\keyboard-unsigned.cpl";
}

TEST(AppletFile, ImportsOnlyTheHandheldsSystemLibraries)
{
    PeImage image(SignedApplet());
    ASSERT_TRUE(image.Valid());
    std::vector<std::string> dlls = image.ImportedDlls();
    std::sort(dlls.begin(), dlls.end());
    EXPECT_EQ(std::vector<std::string>({"AYGSHELL.dll", "COREDLL.dll"}), dlls);
    EXPECT_EQ(0u, image.Directory(IMAGE_DIRECTORY_ENTRY_TLS).Size) << "no C runtime start-up";
    EXPECT_EQ(0u, image.Directory(IMAGE_DIRECTORY_ENTRY_DEBUG).Size);
}

TEST(AppletFile, ExportsCPlAppletByNameAndAsOrdinalOne)
{
    PeImage image(SignedApplet());
    ASSERT_TRUE(image.Valid());
    auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
        image.AtRva(image.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress));
    ASSERT_TRUE(exports);
    EXPECT_EQ(1u, exports->Base);
    ASSERT_EQ(1u, exports->NumberOfFunctions);
    ASSERT_EQ(1u, exports->NumberOfNames);
    DWORD nameRva = *reinterpret_cast<const DWORD*>(image.AtRva(exports->AddressOfNames));
    EXPECT_STREQ("CPlApplet", reinterpret_cast<const char*>(image.AtRva(nameRva)));

    HMODULE applet = LoadLibraryW(SignedApplet().c_str());
    ASSERT_TRUE(applet);
    EXPECT_TRUE(GetProcAddress(applet, "CPlApplet"));
    EXPECT_EQ(GetProcAddress(applet, "CPlApplet"), GetProcAddress(applet, MAKEINTRESOURCEA(1)));
    FreeLibrary(applet);
}

TEST(AppletFile, StartsInItsCodeAndCarriesOnlyWhatTheDeviceNeeds)
{
    PeImage image(UnsignedApplet());
    ASSERT_TRUE(image.Valid());
    EXPECT_TRUE(image.Headers().FileHeader.Characteristics & IMAGE_FILE_DLL);
    DWORD entry = image.Headers().OptionalHeader.AddressOfEntryPoint;
    const IMAGE_SECTION_HEADER* text = IMAGE_FIRST_SECTION(&image.Headers());
    EXPECT_STREQ(".text", reinterpret_cast<const char*>(text->Name));
    EXPECT_GE(entry, text->VirtualAddress);
    EXPECT_LT(entry, text->VirtualAddress + text->Misc.VirtualSize);

    std::set<std::string> allowed = {".text", ".data", ".rdata", ".bss",
                                     ".edata", ".idata", ".rsrc", ".reloc"};
    for (const std::string& name : image.SectionNames())
        EXPECT_TRUE(allowed.count(name)) << name;
    EXPECT_LE(image.FileSize(), 10u * 1024) << "the unsigned budget";
}

TEST(AppletFile, CarriesOneAuthenticodeSignatureTheUnsignedBuildLacks)
{
    PeImage unsignedImage(UnsignedApplet());
    ASSERT_TRUE(unsignedImage.Valid());
    EXPECT_EQ(0u, unsignedImage.Directory(IMAGE_DIRECTORY_ENTRY_SECURITY).Size);

    PeImage image(SignedApplet());
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

}
