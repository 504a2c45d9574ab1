// The end-to-end harness's part that is Wine's: the Windows version Wine
// gives the installer, its relay trace of MessageBoxA and its module loads,
// and screenshots of the boxes for scripts/run.
#include "harness.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>

namespace {

// Turns Wine's quoted text back into what was passed: a wide character
// outside ASCII is a backslash and four hexadecimal digits, given back in UTF-8.
std::string Unquote(const std::string &quoted)
{
    std::string text;
    for (size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] != '\\' || i + 1 == quoted.size()) {
            text += quoted[i];
            continue;
        }
        char next = quoted[++i];
        if (isxdigit(static_cast<unsigned char>(next)) && i + 4 <= quoted.size()) {
            text += Utf8(std::wstring(
                1, static_cast<wchar_t>(strtoul(quoted.substr(i, 4).c_str(), NULL, 16))));
            i += 3;
            continue;
        }
        text += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next;
    }
    return text;
}

// Each line of the trace that holds the marker: the text before it (the
// process and thread) and after it.
std::vector<std::pair<std::string, std::string>> TraceLines(const std::string &trace,
                                                            const std::string &marker)
{
    std::vector<std::pair<std::string, std::string>> lines;
    for (size_t at = trace.find(marker); at != std::string::npos; at = trace.find(marker, at + 1)) {
        size_t start = trace.rfind('\n', at) == std::string::npos ? 0 : trace.rfind('\n', at) + 1;
        size_t end = std::min(trace.find('\n', at), trace.size());
        lines.push_back({trace.substr(start, at - start),
                         trace.substr(at + marker.size(), end - at - marker.size())});
    }
    return lines;
}

// Lines such as: Call user32.MessageBoxA(00000000,0040504c "text",004050c0 "caption",00000010)
// ret=...
void ReadTrace(const std::string &trace, std::vector<BoxSeen> *boxes)
{
    auto lines = TraceLines(trace, "Call user32.MessageBoxA(");
    for (size_t i = 0; i < boxes->size() && i < lines.size(); ++i) {
        const std::string &line = lines[i].second;
        BoxSeen &box = (*boxes)[i];
        size_t firstQuote = line.find(" \"");
        size_t captionStart = line.rfind(" \"");
        size_t flagsStart = line.rfind("\",");
        if (firstQuote == std::string::npos || captionStart == firstQuote ||
            flagsStart == std::string::npos)
            continue;
        size_t textEnd = line.rfind("\",", captionStart);
        box.owner = line.substr(0, line.find(','));
        box.tracedText = Unquote(line.substr(firstQuote + 2, textEnd - firstQuote - 2));
        box.caption = Unquote(line.substr(captionStart + 2, flagsStart - captionStart - 2));
        box.flags = static_cast<unsigned>(strtoul(line.c_str() + flagsStart + 2, NULL, 16));
        box.traced = true;
    }
}

// The box as it stands on the screen, as a 24-bit BMP file.
void SaveScreenshot(HWND box, const std::string &path)
{
    RECT rect;
    GetWindowRect(box, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::string pixels(stride * static_cast<DWORD>(height), '\0');
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), &pixels[0],
              reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS);
    DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof info;
    BITMAPFILEHEADER header = {0x4D42, static_cast<DWORD>(offset + pixels.size()), 0, 0, offset};
    std::string file(reinterpret_cast<const char *>(&header), sizeof header);
    file.append(reinterpret_cast<const char *>(&info), sizeof info);
    WriteWholeFile(path, file + pixels);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
}

} // namespace

// Lines such as
// 0140:0144:trace:loaddll:build_module Loaded L"C:\\dir\\x.dll" at 00400000: native
std::vector<ModuleLoad> ModuleLoads(const std::string &trace)
{
    std::vector<ModuleLoad> loads;
    for (const auto &line : TraceLines(trace, ":trace:loaddll:build_module Loaded L\"")) {
        DWORD process = static_cast<DWORD>(strtoul(line.first.c_str(), NULL, 16));
        loads.push_back({process, Unquote(line.second.substr(0, line.second.find('"')))});
    }
    return loads;
}

void SetInstallerDefault(const std::string &subkey, const char *name, const std::string &value,
                         const std::string &program)
{
    std::string path = "Software\\Wine\\AppDefaults\\" + program;
    if (!subkey.empty())
        path += "\\" + subkey;
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return;
    if (value.empty())
        RegDeleteValueA(key, name);
    else
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

RunResult RunInstaller(const RunOptions &options)
{
    // The Windows version for the program as it is named, and for the
    // private copy it starts, which has the program's own name.
    SetInstallerDefault("", "Version", options.windowsVersion);
    std::string named = BaseName(options.installer);
    if (Lower(named) != Lower(expected::ProgramName))
        SetInstallerDefault("", "Version", options.windowsVersion, named);
    std::string trace;
    ReadWholeFile(options.relayFile, &trace);
    size_t traceStart = trace.size();
    ProgramRun run = options;
    if (!options.screenshotFolder.empty())
        run.atEachBox = [&options](HWND box, size_t number) {
            Sleep(300);
            SaveScreenshot(box,
                           options.screenshotFolder + "\\box-" + std::to_string(number) + ".bmp");
        };
    RunResult result = RunProgram(run);
    if (!options.relayFile.empty()) {
        Sleep(100); // the trace is written by the installer's own process
        ReadWholeFile(options.relayFile, &trace);
        ReadTrace(trace.substr(std::min(traceStart, trace.size())), &result.boxes);
    }
    return result;
}
