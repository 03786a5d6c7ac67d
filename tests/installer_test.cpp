// The handheld's installer (wceload.exe) as an owner meets it: keyboard.cab
// installs into \Windows and the registry, a second install keeps the
// owner's values, removing takes what the install made; a package for
// another device, or a cabinet that is broken, foreign to the format or
// signed wrongly, is refused with one line and changes nothing; and a
// package this project did not write installs as its setup file says.
#include "handheld_files.h"
#include "support/cab_maker.h"
#include "support/handheld.h"
#include "support/host_process.h"
#include "support/pe_image.h"

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

using cab_maker::Entry;

const wchar_t kRecords[] = L"Software\\Apps";
const wchar_t kProbeKey[] = L"Software\\Elsewhere";

std::vector<BYTE> ReadBytes(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(file), {});
}

std::wstring TempFile(const std::vector<BYTE>& bytes)
{
    wchar_t folder[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"cab", 0, path);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
}

const std::wstring& KeyboardCab()
{
    static const std::wstring path = ProgramFolder() + L"..\\device\\keyboard.cab";
    return path;
}

struct Finished {
    DWORD status;
    std::string output;
};

Finished Wceload(const std::wstring& arguments)
{
    handheld::HostProcess wceload(arguments, L"wceload.exe");
    DWORD status = wceload.ExitCode();
    return {status, wceload.Output()};
}

Finished Install(const std::wstring& cab)
{
    return Wceload(L"\"" + cab + L"\"");
}

Finished InstallBytes(const std::vector<BYTE>& cab)
{
    std::wstring path = TempFile(cab);
    Finished run = Install(path);
    DeleteFileW(path.c_str());
    return run;
}

std::string Values(HKEY root, const std::wstring& path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "";
    std::ostringstream text;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256, type = 0, size = 1024;
        BYTE data[1024];
        if (RegEnumValueW(key, i, name, &length, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        text << std::string(name, name + length) << ":" << type << ":";
        for (DWORD b = 0; b < size; ++b)
            text << int(data[b]) << ",";
        text << ";";
    }
    RegCloseKey(key);
    return text.str();
}

std::string InstallRecord(const std::wstring& name)
{
    return Values(HKEY_LOCAL_MACHINE, std::wstring(kRecords) + L"\\" + name);
}

// The handheld's \Windows, its settings and its records of installs.
std::string Snapshot()
{
    std::ostringstream text;
    WIN32_FIND_DATAW file;
    HANDLE search = FindFirstFileW(HandheldPath(L"\\Windows\\*").c_str(), &file);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &file)) {
        std::wstring name = file.cFileName;
        std::vector<BYTE> bytes = ReadBytes(HandheldPath(L"\\Windows\\" + name));
        text << std::string(name.begin(), name.end()) << " " << bytes.size() << " "
             << std::hash<std::string>()(std::string(bytes.begin(), bytes.end())) << "\n";
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    text << Values(HKEY_LOCAL_MACHINE, handheld::kSettingsKey) << "\n"
         << InstallRecord(L"Ormadi Keyboard") << "\n"
         << InstallRecord(L"Elsewhere Probe") << "\n";
    return text.str();
}

DWORD Dword(const std::vector<BYTE>& bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | bytes[at + 3] << 24;
}

void SetPolicy(DWORD unsignedCabs)
{
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"Security\\Policies\\Policies", L"00001005", REG_DWORD,
                    &unsignedCabs, sizeof unsignedCabs);
}

// The build's signing certificate in the device's Software Publisher
// Certificate store.
void TrustTheBuildsCertificate()
{
    std::vector<BYTE> pem = ReadBytes(ProgramFolder() + L"..\\signing\\test-signing-cert.pem");
    BYTE der[8192];
    DWORD size = sizeof der;
    ASSERT_TRUE(CryptStringToBinaryA(reinterpret_cast<const char*>(pem.data()),
                                     static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                                     der, &size, nullptr, nullptr));
    HCERTSTORE spc = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                   CERT_SYSTEM_STORE_LOCAL_MACHINE, L"SPC");
    ASSERT_TRUE(spc);
    const CERT_CONTEXT* certificate =
        CertCreateCertificateContext(X509_ASN_ENCODING, der, size);
    EXPECT_TRUE(CertAddCertificateContextToStore(spc, certificate, CERT_STORE_ADD_REPLACE_EXISTING,
                                                 nullptr));
    CertFreeCertificateContext(certificate);
    CertCloseStore(spc, 0);
}

// The package this project did not write: a text file for
// \Program Files\Probe and three values of three types under
// HKLM\Software\Elsewhere, its strings numbered as another writer might.
cab_maker::SetupFile Probe()
{
    cab_maker::SetupFile setup;
    setup.strings = {{7, "%CE1%"}, {9, "Probe"}, {12, "Software"}, {13, "Elsewhere"}};
    setup.folders = {{3, {7, 9}}};
    setup.files = {{1, 3, 0x40000002, "probe.txt"}};
    setup.hives = {{2, {3, {12, 13}}}};
    setup.values = {{2, 0x00000000, Entry("Greeting", {'h', 'i', 0})},
                    {2, 0x00010000, Entry("Colours", {'r', 'e', 'd', 0, 'b', 'l', 'u', 'e', 0, 0})},
                    {2, 0x00010001, Entry("Count", {7, 0, 0, 0})}};
    return setup;
}

const std::vector<BYTE> kProbeText = {'a', ' ', 'p', 'r', 'o', 'b', 'e'};

std::vector<BYTE> ProbeCab(const cab_maker::SetupFile& setup, bool withItsFile = true)
{
    std::vector<std::pair<std::string, std::vector<BYTE>>> files = {{"PROBE.000", setup.Bytes()}};
    if (withItsFile)
        files.push_back({"PROBE.001", kProbeText});
    return cab_maker::Pack(files);
}

// Each test starts and ends with a fresh handheld: nothing installed, no
// settings, unsigned cabinets accepted, no publisher trusted.
class Installer : public handheld::CleanHandheld {
protected:
    void SetUp() override
    {
        CleanHandheld::SetUp();
        Fresh();
    }
    void TearDown() override
    {
        Fresh();
        CleanHandheld::TearDown();
    }

    static void Fresh()
    {
        DeleteFileW(HandheldPath(L"\\Windows\\keyboard.cpl").c_str());
        DeleteFileW(HandheldPath(L"\\Program Files\\Probe\\probe.txt").c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRecords);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProbeKey);
        SetPolicy(0x10);
        // A fresh device trusts no publisher: its SPC store, which the
        // registry keeps, is emptied.
        RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                       L"Software\\Microsoft\\SystemCertificates\\SPC\\Certificates");
    }
};

TEST_F(Installer, PutsKeyboardIntoWindowsAndItsDefaultsIntoTheRegistry)
{
    Finished run = Install(KeyboardCab());
    EXPECT_EQ(0u, run.status);
    EXPECT_EQ("wceload: Ormadi Keyboard was installed: 1 of 1 files copied, 4 of 4 registry "
              "values new.\n",
              run.output);
    EXPECT_EQ(ReadBytes(AppletImages().back().signedPath),
              ReadBytes(HandheldPath(L"\\Windows\\keyboard.cpl")));
    EXPECT_EQ(220u, handheld::ReadDword(L"InitalDelay"));
    EXPECT_EQ(100u, handheld::ReadDword(L"RepeatDelay"));
    EXPECT_EQ(1u, handheld::ReadDword(L"KeyLight"));
    EXPECT_EQ(5000u, handheld::ReadDword(L"KeyLightDelay"));
    EXPECT_NE("", InstallRecord(L"Ormadi Keyboard"));
}

TEST_F(Installer, InstallingAgainKeepsTheOwnersValuesAndReplacesKeyboard)
{
    ASSERT_EQ(0u, Install(KeyboardCab()).status);
    handheld::WriteDword(L"RepeatDelay", 40);
    std::ofstream(HandheldPath(L"\\Windows\\keyboard.cpl").c_str(), std::ios::binary) << "older";

    Finished run = Install(KeyboardCab());
    EXPECT_EQ(0u, run.status) << run.output;
    EXPECT_EQ(ReadBytes(AppletImages().back().signedPath),
              ReadBytes(HandheldPath(L"\\Windows\\keyboard.cpl")));
    EXPECT_EQ(40u, handheld::ReadDword(L"RepeatDelay"));
    EXPECT_EQ(220u, handheld::ReadDword(L"InitalDelay"));
}

// What the installation made goes; what the device had before stays.
TEST_F(Installer, RemovingTakesWhatTheInstallMadeAndLeavesWhatWasThere)
{
    handheld::WriteDword(L"InitalDelay", 300);
    ASSERT_EQ(0u, Install(KeyboardCab()).status);
    handheld::WriteDword(L"RepeatDelay", 40);

    Finished run = Wceload(L"/remove \"Ormadi Keyboard\"");
    EXPECT_EQ(0u, run.status);
    EXPECT_EQ("wceload: Ormadi Keyboard was removed.\n", run.output);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES,
              GetFileAttributesW(HandheldPath(L"\\Windows\\keyboard.cpl").c_str()));
    EXPECT_EQ("", InstallRecord(L"Ormadi Keyboard"));
    EXPECT_EQ(300u, handheld::ReadDword(L"InitalDelay"));
    EXPECT_FALSE(handheld::ReadDword(L"RepeatDelay")) << "made by the install, set by its owner";
    EXPECT_FALSE(handheld::ReadDword(L"KeyLight"));

    EXPECT_EQ(1u, Wceload(L"/remove \"Ormadi Keyboard\"").status) << "it is gone";
}

TEST_F(Installer, APackageThisProjectDidNotWriteInstallsAsItsSetupFileSays)
{
    Finished run = InstallBytes(ProbeCab(Probe()));
    EXPECT_EQ(0u, run.status);
    EXPECT_EQ("wceload: Elsewhere Probe was installed: 1 of 1 files copied, 3 of 3 registry "
              "values new.\n",
              run.output);
    EXPECT_EQ(kProbeText, ReadBytes(HandheldPath(L"\\Program Files\\Probe\\probe.txt")));
    std::string hi = "Greeting:1:104,0,105,0,0,0,;";
    std::string colours = "Colours:7:114,0,101,0,100,0,0,0,98,0,108,0,117,0,101,0,0,0,0,0,;";
    std::string count = "Count:4:7,0,0,0,;";
    EXPECT_EQ(colours + count + hi, Values(HKEY_LOCAL_MACHINE, kProbeKey));
}

TEST_F(Installer, ASignedCabInstallsWhereOnlySignedOnesDoWhenItsRootIsTrusted)
{
    SetPolicy(0);
    Finished untrusted = Install(KeyboardCab());
    EXPECT_EQ(1u, untrusted.status);
    EXPECT_NE(std::string::npos, untrusted.output.find("chains to no root in the device's "
                                                       "Software Publisher Certificate store"))
        << untrusted.output;

    TrustTheBuildsCertificate();
    Finished trusted = Install(KeyboardCab());
    EXPECT_EQ(0u, trusted.status) << trusted.output;
}

// A cabinet the installer refuses, and what the line it says why holds.
struct Refusal {
    const char* name;
    std::function<std::vector<BYTE>()> cabinet;
    const char* why;
    bool signedOnly;  // the device installs signed cabinets only
};

void PrintTo(const Refusal& refusal, std::ostream* out)
{
    *out << refusal.name;
}

class Refused : public Installer, public testing::WithParamInterface<Refusal> {};

TEST_P(Refused, WithOneLineAndChangesNothing)
{
    ASSERT_EQ(0u, Install(KeyboardCab()).status) << "a working install, to stay working";
    handheld::WriteDword(L"RepeatDelay", 40);
    if (GetParam().signedOnly) {
        SetPolicy(0);
        TrustTheBuildsCertificate();
    }
    std::string before = Snapshot();

    Finished run = InstallBytes(GetParam().cabinet());
    EXPECT_EQ(1u, run.status);
    EXPECT_EQ(0u, run.output.find("wceload: ")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find(GetParam().why)) << run.output;
    EXPECT_EQ(1, std::count(run.output.begin(), run.output.end(), '\n')) << run.output;
    EXPECT_EQ(before, Snapshot());
}

std::vector<BYTE> Truncated()
{
    std::vector<BYTE> cab = ReadBytes(KeyboardCab());
    cab.resize(cab.size() / 2);
    return cab;
}

std::vector<BYTE> PointingPastItsEnd()
{
    std::vector<BYTE> setup = Probe().Bytes();
    DWORD past = static_cast<DWORD>(setup.size()) + 16;
    for (int i = 0; i < 4; ++i)
        setup[68 + i] = static_cast<BYTE>(past >> (8 * i));  // the FILES section's offset
    return cab_maker::Pack({{"PROBE.000", setup}, {"PROBE.001", kProbeText}});
}

// keyboard.cab with the date of its image changed: a whole cabinet, but
// not the one that was signed.
std::vector<BYTE> AlteredAfterSigning()
{
    std::vector<BYTE> cab = ReadBytes(KeyboardCab());
    cab[Dword(cab, 16) + 10] ^= 1;  // the first CFFILE's date
    return cab;
}

cab_maker::SetupFile ProbeFor(DWORD processor, std::initializer_list<DWORD> versions)
{
    cab_maker::SetupFile setup = Probe();
    setup.processor = processor;
    std::copy(versions.begin(), versions.end(), setup.version);
    return setup;
}

INSTANTIATE_TEST_SUITE_P(
    Installer, Refused,
    testing::Values(
        Refusal{"ATruncatedCabinet", Truncated,
                "is not a valid Windows CE Setup file: it is no whole cabinet", false},
        Refusal{"ASetupFilePointingPastItsEnd", PointingPastItsEnd,
                "is not a valid Windows CE Setup file: its setup file points past its own end",
                false},
        Refusal{"AFileMissingFromTheCabinet", [] { return ProbeCab(Probe(), false); },
                "its file probe.txt (.1) is not in the cabinet", false},
        Refusal{"ASignatureThatDoesNotVerify", AlteredAfterSigning,
                "this device installs signed cabinets only, and its signature does not verify",
                true},
        Refusal{"AnotherProcessor", [] { return ProbeCab(ProbeFor(1824, {5, 1, 5, 99})); },
                "The program you are installing, Elsewhere Probe, is not intended for this "
                "device: it is for processor type 1824, this device's is 2577.",
                false},
        Refusal{"AnotherVersion", [] { return ProbeCab(ProbeFor(2577, {6, 0, 6, 99})); },
                "The program you are installing, Elsewhere Probe, is not intended for this "
                "device: Probe needs Windows CE 6.0 to 6.99; this device runs Windows CE 5.1.",
                false}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

}
