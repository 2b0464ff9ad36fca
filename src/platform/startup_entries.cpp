#include "platform/startup_entries.h"

#include <windows.h>
#include <knownfolders.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include "platform/late_bound.h"
#include "platform/system_api.h"
#include "platform/unique_handle.h"

namespace vossel::platform {
namespace {

constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

LateBound<decltype(&::SHGetKnownFolderPath)> GetKnownFolderPath{L"shell32.dll",
                                                                "SHGetKnownFolderPath"};

struct CloseKey {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using UniqueKey = UniqueAny<HKEY, CloseKey>;

struct CloseFind {
    void operator()(HANDLE find) const { ::FindClose(find); }
};
using UniqueFind = UniqueAny<HANDLE, CloseFind>;

std::wstring Expanded(const std::wstring& text) {
    const DWORD size = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (size == 0) return text;
    std::wstring expanded(size, L'\0');
    const DWORD written = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), size);
    if (written == 0 || written > size) return text;
    expanded.resize(written - 1);
    return expanded;
}

void ReadRunValues(HKEY root, REGSAM view, std::vector<StartupItem>& items) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, kRunKey, 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) return;
    const UniqueKey key(opened);
    // A value's name is at most 16,383 characters.
    std::wstring name(16384, L'\0');
    std::vector<BYTE> data(1024);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        const LSTATUS status = ::RegEnumValueW(opened, index, name.data(), &nameLength, nullptr,
                                               &type, data.data(), &dataSize);
        if (status == ERROR_MORE_DATA) {
            data.resize(dataSize + sizeof(wchar_t));
            --index;
            continue;
        }
        if (status != ERROR_SUCCESS) return;
        if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
        std::wstring command(reinterpret_cast<const wchar_t*>(data.data()),
                             dataSize / sizeof(wchar_t));
        if (const auto end = command.find(L'\0'); end != std::wstring::npos) command.resize(end);
        items.push_back({name.substr(0, nameLength), Expanded(command), false});
    }
}

std::wstring ShortcutTarget(const std::wstring& path) {
    Microsoft::WRL::ComPtr<IShellLinkW> link;
    if (FAILED(api::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_PPV_ARGS(&link)))) {
        return {};
    }
    Microsoft::WRL::ComPtr<IPersistFile> file;
    if (FAILED(link.As(&file)) || FAILED(file->Load(path.c_str(), STGM_READ))) return {};
    wchar_t target[MAX_PATH] = {};
    // The stored path, without resolving a moved target (which could search the disks).
    if (link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH) != S_OK) return {};
    return Expanded(target);
}

void ReadStartupFolder(const KNOWNFOLDERID& id, std::vector<StartupItem>& items) {
    PWSTR path = nullptr;
    const HRESULT got = GetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path);
    const std::wstring folder = SUCCEEDED(got) && path ? path : L"";
    if (path) api::CoTaskMemFree(path);
    if (folder.empty()) return;
    WIN32_FIND_DATAW found{};
    HANDLE first = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) return;
    const UniqueFind find(first);
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN)) continue;
        const std::wstring file = found.cFileName;
        const std::size_t dot = file.find_last_of(L'.');
        if (dot == std::wstring::npos || dot == 0) continue;
        std::wstring extension = file.substr(dot);
        for (wchar_t& c : extension) c = static_cast<wchar_t>(::towlower(c));
        const std::wstring full = folder + L"\\" + file;
        if (extension == L".lnk") {
            std::wstring target = ShortcutTarget(full);
            if (!target.empty()) items.push_back({file.substr(0, dot), std::move(target), true});
        } else if (extension == L".exe") {
            items.push_back({file.substr(0, dot), full, true});
        }
    } while (::FindNextFileW(find.Get(), &found));
}

}  // namespace

std::vector<StartupItem> ReadStartupItems() {
    std::vector<StartupItem> items;
    ReadRunValues(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, items);
    ReadRunValues(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, items);
    ReadRunValues(HKEY_CURRENT_USER, 0, items);
    ReadStartupFolder(FOLDERID_Startup, items);
    ReadStartupFolder(FOLDERID_CommonStartup, items);
    return items;
}

void BindStartupReadingFunctions() {
    api::CoInitializeEx.Get();
    api::CoUninitialize.Get();
    api::CoCreateInstance.Get();
    api::CoTaskMemFree.Get();
}

ThreadComApartment::ThreadComApartment()
    : entered_(SUCCEEDED(api::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}

ThreadComApartment::~ThreadComApartment() {
    if (entered_) api::CoUninitialize();
}

}  // namespace vossel::platform
