#include "platform/startup_entries.h"

#include <windows.h>
#include <knownfolders.h>
#include <objidl.h>
#include <sddl.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>
#include <taskschd.h>
#include <wrl/client.h>
#include <xmllite.h>

#include <algorithm>
#include <optional>

#include <cwctype>

#include "platform/late_bound.h"
#include "platform/system_api.h"
#include "platform/unique_handle.h"

namespace vossel::platform {
namespace {

constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

LateBound<decltype(&::SHGetKnownFolderPath)> GetKnownFolderPath{L"shell32.dll",
                                                                "SHGetKnownFolderPath"};
// Packaged apps: Windows 8 and later; absent, a package keeps its family name.
LateBound<LONG(WINAPI*)(PCWSTR, UINT32*, PWSTR*, UINT32*, WCHAR*)> GetPackagesByPackageFamily{
    L"kernel32.dll", "GetPackagesByPackageFamily"};
LateBound<LONG(WINAPI*)(PCWSTR, UINT32*, PWSTR)> GetPackagePathByFullName{
    L"kernel32.dll", "GetPackagePathByFullName"};
LateBound<decltype(&::SHLoadIndirectString)> LoadIndirectString{L"shlwapi.dll",
                                                                "SHLoadIndirectString"};

// The logon trigger's own interface, which the compiler's taskschd.h leaves out.
MIDL_INTERFACE("72dade38-fae4-4b3e-baf4-5d009af02b1c")
LogonTrigger : public ITrigger {
    virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR * delay) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_UserId(BSTR * user) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_UserId(BSTR user) = 0;
};
constexpr IID kLogonTriggerId = {
    0x72dade38, 0xfae4, 0x4b3e, {0xba, 0xf4, 0x5d, 0x00, 0x9a, 0xf0, 0x2b, 0x1c}};
constexpr CLSID kTaskSchedulerId = {
    0x0f87369f, 0xa4e5, 0x4cfc, {0xbd, 0x3e, 0x73, 0xe6, 0x15, 0x45, 0x72, 0xdd}};
// Bounds what a scheduler with a runaway number of tasks could cost the watcher.
constexpr int kMaxTaskFolders = 512;
constexpr int kMaxTasks = 4096;
constexpr int kMaxFolderDepth = 16;

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
        items.push_back(
            {name.substr(0, nameLength), Expanded(command), StartupItem::Kind::kCommand});
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
            if (!target.empty())
                items.push_back({file.substr(0, dot), std::move(target), StartupItem::Kind::kPath});
        } else if (extension == L".exe") {
            items.push_back({file.substr(0, dot), full, StartupItem::Kind::kPath});
        }
    } while (::FindNextFileW(find.Get(), &found));
}

// A BSTR that is freed with its holder.
class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text)
        : text_(api::SysAllocStringLen(text, static_cast<UINT>(::wcslen(text)))) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() {
        if (text_) api::SysFreeString(text_);
    }
    BSTR* Out() { return &text_; }
    BSTR Get() const { return text_; }
    std::wstring Text() const {
        return text_ ? std::wstring(text_, api::SysStringLen(text_)) : L"";
    }

  private:
    BSTR text_ = nullptr;
};

std::wstring LowerText(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return text;
}

// Whether a logon trigger's user is this one: no user is any user; else "DOMAIN\name", "name" or
// a SID string.
class ThisUser {
  public:
    ThisUser() {
        wchar_t name[257] = {};
        DWORD length = 257;
        if (::GetUserNameW(name, &length)) name_ = LowerText(name);
        wchar_t domain[257] = {};
        if (const DWORD got = ::GetEnvironmentVariableW(L"USERDOMAIN", domain, 257);
            got && got < 257) {
            qualified_ = LowerText(std::wstring(domain) + L"\\" + name_);
        }
        HANDLE token = nullptr;
        if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
            const UniqueHandle owned(token);
            alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
            DWORD size = 0;
            LPWSTR sid = nullptr;
            if (::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
                ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) {
                sid_ = LowerText(sid);
                ::LocalFree(sid);
            }
        }
    }
    bool Is(const std::wstring& userId) const {
        if (userId.empty()) return true;
        const std::wstring lower = LowerText(userId);
        return (!name_.empty() && (lower == name_ || lower == qualified_)) ||
               (!sid_.empty() && lower == sid_);
    }

  private:
    std::wstring name_, qualified_, sid_;
};

// Whether one of the task's triggers is an enabled logon trigger of this user (or of anyone).
bool StartsAtLogon(ITaskDefinition& definition, const ThisUser& user) {
    Microsoft::WRL::ComPtr<ITriggerCollection> triggers;
    LONG count = 0;
    if (FAILED(definition.get_Triggers(&triggers)) || !triggers ||
        FAILED(triggers->get_Count(&count))) {
        return false;
    }
    for (LONG index = 1; index <= count && index <= 64; ++index) {  // the collection is 1-based
        Microsoft::WRL::ComPtr<ITrigger> trigger;
        TASK_TRIGGER_TYPE2 type = TASK_TRIGGER_EVENT;
        VARIANT_BOOL enabled = VARIANT_TRUE;
        if (FAILED(triggers->get_Item(index, &trigger)) || !trigger ||
            FAILED(trigger->get_Type(&type)) || type != TASK_TRIGGER_LOGON) {
            continue;
        }
        if (SUCCEEDED(trigger->get_Enabled(&enabled)) && enabled == VARIANT_FALSE) continue;
        Microsoft::WRL::ComPtr<LogonTrigger> logon;
        Bstr userId;
        if (FAILED(trigger->QueryInterface(kLogonTriggerId,
                                           reinterpret_cast<void**>(logon.GetAddressOf()))) ||
            !logon || FAILED(logon->get_UserId(userId.Out()))) {
            continue;
        }
        if (user.Is(userId.Text())) return true;
    }
    return false;
}

void ReadTask(IRegisteredTask& task, const ThisUser& user, std::vector<StartupItem>& items) {
    VARIANT_BOOL enabled = VARIANT_TRUE;
    if (SUCCEEDED(task.get_Enabled(&enabled)) && enabled == VARIANT_FALSE) return;
    Bstr name;
    Microsoft::WRL::ComPtr<ITaskDefinition> definition;
    if (FAILED(task.get_Name(name.Out())) || name.Text().empty() ||
        FAILED(task.get_Definition(&definition)) || !definition ||
        !StartsAtLogon(*definition.Get(), user)) {
        return;
    }
    Microsoft::WRL::ComPtr<IActionCollection> actions;
    LONG count = 0;
    if (FAILED(definition->get_Actions(&actions)) || !actions ||
        FAILED(actions->get_Count(&count))) {
        return;
    }
    for (LONG index = 1; index <= count && index <= 32; ++index) {
        Microsoft::WRL::ComPtr<IAction> action;
        TASK_ACTION_TYPE type = TASK_ACTION_COM_HANDLER;
        if (FAILED(actions->get_Item(index, &action)) || !action ||
            FAILED(action->get_Type(&type)) || type != TASK_ACTION_EXEC) {
            continue;
        }
        Microsoft::WRL::ComPtr<IExecAction> exec;
        Bstr path;
        if (FAILED(action.As(&exec)) || FAILED(exec->get_Path(path.Out()))) continue;
        const std::wstring program = path.Text();
        // The action's path is the program alone: quotes around it are not part of it.
        if (!program.empty())
            items.push_back({name.Text(), Expanded(program), StartupItem::Kind::kTaskAction});
    }
}

struct TaskWalk {
    const ThisUser& user;
    std::vector<StartupItem>& items;
    int folders = 0;
    int tasks = 0;

    // A folder the user may not read fails here and is passed by.
    void Folder(ITaskFolder& folder, int depth) {
        if (++folders > kMaxTaskFolders) return;
        Microsoft::WRL::ComPtr<IRegisteredTaskCollection> registered;
        LONG count = 0;
        if (SUCCEEDED(folder.GetTasks(TASK_ENUM_HIDDEN, &registered)) && registered &&
            SUCCEEDED(registered->get_Count(&count))) {
            for (LONG index = 1; index <= count && tasks < kMaxTasks; ++index, ++tasks) {
                VARIANT which;
                api::VariantInit(&which);
                which.vt = VT_I4;
                which.lVal = index;
                Microsoft::WRL::ComPtr<IRegisteredTask> task;
                if (SUCCEEDED(registered->get_Item(which, &task)) && task) {
                    ReadTask(*task.Get(), user, items);
                }
            }
        }
        if (depth >= kMaxFolderDepth) return;
        Microsoft::WRL::ComPtr<ITaskFolderCollection> children;
        if (FAILED(folder.GetFolders(0, &children)) || !children ||
            FAILED(children->get_Count(&count))) {
            return;
        }
        for (LONG index = 1; index <= count && folders < kMaxTaskFolders; ++index) {
            VARIANT which;
            api::VariantInit(&which);
            which.vt = VT_I4;
            which.lVal = index;
            Microsoft::WRL::ComPtr<ITaskFolder> child;
            if (SUCCEEDED(children->get_Item(which, &child)) && child)
                Folder(*child.Get(), depth + 1);
        }
    }
};

LateBound<HRESULT(WINAPI*)(REFIID, void**, IMalloc*)> CreateReader{L"xmllite.dll",
                                                                   "CreateXmlReader"};
LateBound<decltype(&::SHCreateStreamOnFileEx)> CreateFileStream{L"shlwapi.dll",
                                                                "SHCreateStreamOnFileEx"};

void BindManifestReading() {
    CreateReader.Find();
    CreateFileStream.Find();
}

// The text of Package/Properties/DisplayName in a package's manifest, or nothing.
std::wstring ManifestDisplayName(const std::wstring& path) {
    const auto createReader = CreateReader.Find();
    const auto createStream = CreateFileStream.Find();
    if (!createReader || !createStream) return {};
    Microsoft::WRL::ComPtr<IStream> stream;
    Microsoft::WRL::ComPtr<IXmlReader> reader;
    if (FAILED(createStream(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL,
                            FALSE, nullptr, &stream)) ||
        FAILED(createReader(__uuidof(IXmlReader), reinterpret_cast<void**>(reader.GetAddressOf()),
                            nullptr)) ||
        FAILED(reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) ||
        FAILED(reader->SetInput(stream.Get()))) {
        return {};
    }
    std::vector<std::wstring> open;  // the elements around the reader, outermost first
    std::wstring text;
    XmlNodeType type = XmlNodeType_None;
    for (int nodes = 0; nodes < 100000 && reader->Read(&type) == S_OK; ++nodes) {
        if (type == XmlNodeType_Element) {
            const wchar_t* name = nullptr;
            UINT depth = 0;
            if (FAILED(reader->GetLocalName(&name, nullptr)) || FAILED(reader->GetDepth(&depth))) {
                return {};
            }
            open.resize(std::min<std::size_t>(open.size(), depth));
            if (!reader->IsEmptyElement()) open.push_back(name);
        } else if (type == XmlNodeType_EndElement) {
            if (open.size() == 3 && open[0] == L"Package" && open[1] == L"Properties" &&
                open[2] == L"DisplayName") {
                return text;
            }
            if (!open.empty()) open.pop_back();
        } else if (type == XmlNodeType_Text && open.size() == 3 && open[0] == L"Package" &&
                   open[1] == L"Properties" && open[2] == L"DisplayName") {
            const wchar_t* value = nullptr;
            if (SUCCEEDED(reader->GetValue(&value, nullptr)) && value) text += value;
        }
    }
    return {};
}

void ReadLogonTasks(std::vector<StartupItem>& items) {
    Microsoft::WRL::ComPtr<ITaskService> service;
    if (FAILED(api::CoCreateInstance(kTaskSchedulerId, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_PPV_ARGS(&service)))) {
        return;
    }
    VARIANT none;
    api::VariantInit(&none);  // VT_EMPTY: this computer, this user
    Microsoft::WRL::ComPtr<ITaskFolder> root;
    const Bstr rootPath(L"\\");
    if (FAILED(service->Connect(none, none, none, none)) ||
        FAILED(service->GetFolder(rootPath.Get(), &root)) || !root) {
        return;
    }
    const ThisUser user;
    TaskWalk walk{user, items};
    walk.Folder(*root.Get(), 0);
}

}  // namespace

std::optional<PackageManifest> ReadPackageManifest(const std::wstring& family) {
    const auto getPackages = GetPackagesByPackageFamily.Find();
    const auto getPath = GetPackagePathByFullName.Find();
    if (!getPackages || !getPath || family.empty()) return std::nullopt;
    UINT32 count = 0, length = 0;
    if (getPackages(family.c_str(), &count, nullptr, &length, nullptr) !=
            ERROR_INSUFFICIENT_BUFFER ||
        count == 0 || length == 0 || count > 256 || length > 65536) {
        return std::nullopt;
    }
    std::vector<PWSTR> names(count);
    std::wstring buffer(length, L'\0');
    if (getPackages(family.c_str(), &count, names.data(), &length, buffer.data()) !=
            ERROR_SUCCESS ||
        count == 0 || !names[0]) {
        return std::nullopt;
    }
    PackageManifest manifest{names[0], {}};
    UINT32 pathLength = 0;
    if (getPath(manifest.fullName.c_str(), &pathLength, nullptr) != ERROR_INSUFFICIENT_BUFFER ||
        pathLength == 0 || pathLength > 32768) {
        return std::nullopt;
    }
    std::wstring folder(pathLength, L'\0');
    if (getPath(manifest.fullName.c_str(), &pathLength, folder.data()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    folder.resize(::wcslen(folder.c_str()));
    manifest.displayName = ManifestDisplayName(folder + L"\\AppxManifest.xml");
    if (manifest.displayName.empty()) return std::nullopt;
    return manifest;
}

std::wstring LoadIndirectText(const std::wstring& source) {
    const auto load = LoadIndirectString.Find();
    wchar_t text[512] = {};
    if (!load || FAILED(load(source.c_str(), text, 512, nullptr))) return {};
    return text;
}

std::vector<StartupItem> ReadStartupItems() {
    std::vector<StartupItem> items;
    ReadRunValues(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, items);
    ReadRunValues(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, items);
    ReadRunValues(HKEY_CURRENT_USER, 0, items);
    ReadStartupFolder(FOLDERID_Startup, items);
    ReadStartupFolder(FOLDERID_CommonStartup, items);
    ReadLogonTasks(items);
    return items;
}

void BindStartupReadingFunctions() {
    api::CoInitializeEx.Get();
    api::CoUninitialize.Get();
    api::CoCreateInstance.Get();
    api::CoTaskMemFree.Get();
    api::SysAllocStringLen.Get();
    api::SysFreeString.Get();
    api::SysStringLen.Get();
    api::VariantInit.Get();
    GetPackagesByPackageFamily.Find();
    GetPackagePathByFullName.Find();
    LoadIndirectString.Find();
    BindManifestReading();
}

ThreadComApartment::ThreadComApartment()
    : entered_(SUCCEEDED(api::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}

ThreadComApartment::~ThreadComApartment() {
    if (entered_) api::CoUninitialize();
}

}  // namespace vossel::platform
