#include "host_process.h"

#include "pe_image.h"
#include "waiting.h"

#include <fstream>
#include <sstream>

namespace handheld {

HostProcess::HostProcess(const std::wstring& arguments, const wchar_t* program)
{
    wchar_t folder[MAX_PATH];
    wchar_t outputPath[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"rep", 0, outputPath);
    outputPath_ = outputPath;

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileW(outputPath, GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::wstring command = L"\"" + ProgramFolder() + program + L"\" " + arguments;
    started_ = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                              ProgramFolder().c_str(), &startup, &process_);
    CloseHandle(output);
}

HostProcess::~HostProcess()
{
    if (started_) {
        TerminateProcess(process_.hProcess, 1);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    DeleteFileW(outputPath_.c_str());
}

DWORD HostProcess::ExitCode()
{
    if (!started_ || WaitForSingleObject(process_.hProcess, kPatienceMs) != WAIT_OBJECT_0)
        return ~0u;
    DWORD exitCode = ~0u;
    GetExitCodeProcess(process_.hProcess, &exitCode);
    return exitCode;
}

bool HostProcess::Ends()
{
    return ExitCode() == 0;
}

std::string HostProcess::Output()
{
    if (ExitCode() == ~0u)
        return "";
    std::ifstream file(outputPath_.c_str());
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}
