// Stands in for the Windows folder's explorer.exe under Wine: appends the command line it
// was started with, as UTF-8, one line each, to the file QVL_EXPLORER_LOG names, and
// ends. So a test sees exactly what the program would have handed the file browser.
#include <windows.h>

#include <string>

int wmain() {
    wchar_t logName[MAX_PATH];
    if (GetEnvironmentVariableW(L"QVL_EXPLORER_LOG", logName, MAX_PATH) == 0)
        return 1;
    const wchar_t* line = GetCommandLineW();
    const int wide = lstrlenW(line);
    std::string text(
        static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, line, wide, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line, wide, text.data(), static_cast<int>(text.size()), nullptr, nullptr);
    text += '\n';
    HANDLE log = CreateFileW(logName, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    const BOOL ok = WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(log);
    return ok ? 0 : 1;
}
