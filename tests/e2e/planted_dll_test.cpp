// A Vossel.exe started from a Downloads folder that also holds a planted DLL must not load it.
// The same launch of a build without the DLL search restriction is the control: if that build
// does not load the DLL either, the check proves nothing and is skipped.
#include <gtest/gtest.h>

#include <string>

#include "harness.h"

namespace vossel::e2e {
namespace {

constexpr char kPlantedLine[] = "Vossel: planted DLL loaded";

// uxtheme.dll is looked up by its bare name when the first window is created, after WinMain has
// started, so the program's own restriction decides where it comes from. msimg32.dll is not
// planted: Wine resolves uxtheme's delayed import of it without the default DLL directories, so it
// would come from the program's folder whatever the program does.
constexpr wchar_t kPlantedName[] = L"uxtheme.dll";
// Wine prefers its built-in uxtheme; a per-program override makes it search the DLL path for a
// native one first, as Windows does. (WINEDLLOVERRIDES set here does not reach the child.)
constexpr wchar_t kOverrideKey[] = L"Software\\Wine\\AppDefaults\\Vossel.exe";
constexpr wchar_t kOverrideName[] = L"uxtheme";

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The load-order override for Vossel.exe, while this lives. The key is removed again only if it
// was created here.
class LoadOrderOverride {
  public:
    LoadOrderOverride() {
        HKEY appDefaults = nullptr;
        createdKey = RegOpenKeyExW(HKEY_CURRENT_USER, kOverrideKey, 0, KEY_READ, &appDefaults) !=
                     ERROR_SUCCESS;
        if (appDefaults) RegCloseKey(appDefaults);
        const std::wstring overrides = std::wstring(kOverrideKey) + L"\\DllOverrides";
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, overrides.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &key, nullptr) != ERROR_SUCCESS) {
            return;
        }
        constexpr wchar_t kOrder[] = L"native,builtin";
        set = RegSetValueExW(key, kOverrideName, 0, REG_SZ, reinterpret_cast<const BYTE*>(kOrder),
                             sizeof kOrder) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~LoadOrderOverride() {
        if (createdKey) {
            RegDeleteTreeW(HKEY_CURRENT_USER, kOverrideKey);
        } else {
            RegDeleteKeyValueW(HKEY_CURRENT_USER,
                               (std::wstring(kOverrideKey) + L"\\DllOverrides").c_str(),
                               kOverrideName);
        }
    }
    LoadOrderOverride(const LoadOrderOverride&) = delete;
    LoadOrderOverride& operator=(const LoadOrderOverride&) = delete;

    bool Set() const { return set; }

  private:
    bool createdKey = false;
    bool set = false;
};

// A fresh "Downloads" folder holding a copy of the exe and the planted DLL; removed afterwards.
class DownloadsFolder {
  public:
    DownloadsFolder(const std::wstring& exe, const std::wstring& plantedDll, const wchar_t* tag) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root = std::wstring(temp) + L"vossel-planted-" + std::to_wstring(GetCurrentProcessId()) +
               L"-" + tag;
        folder = root + L"\\Downloads";
        CreateDirectoryW(root.c_str(), nullptr);
        CreateDirectoryW(folder.c_str(), nullptr);
        ready = CopyFileW(exe.c_str(), Exe().c_str(), FALSE) &&
                CopyFileW(plantedDll.c_str(), Planted().c_str(), FALSE);
    }
    ~DownloadsFolder() {
        // The process may take a moment to let go of its image after it was killed.
        for (int attempt = 0; attempt < 50 && Exists(Exe()); ++attempt) {
            if (DeleteFileW(Exe().c_str())) break;
            Pause(100);
        }
        DeleteFileW(Planted().c_str());
        RemoveDirectoryW(folder.c_str());
        RemoveDirectoryW(root.c_str());
    }
    DownloadsFolder(const DownloadsFolder&) = delete;
    DownloadsFolder& operator=(const DownloadsFolder&) = delete;

    bool Ready() const { return ready; }
    std::wstring Folder() const { return folder; }
    std::wstring Exe() const { return folder + L"\\Vossel.exe"; }
    std::wstring Planted() const { return folder + L"\\" + kPlantedName; }

  private:
    std::wstring root;
    std::wstring folder;
    bool ready = false;
};

struct LaunchResult {
    bool plantedLoaded = false;
    std::string lines;
};

// Runs the exe from a Downloads folder beside the planted DLL, through its first paint and the
// opening of the settings window, and reports whether the planted DLL announced itself.
LaunchResult RunBesidePlantedDll(const std::wstring& exe, const std::wstring& plantedDll,
                                 const wchar_t* tag) {
    LaunchResult run;
    DownloadsFolder downloads(exe, plantedDll, tag);
    if (!downloads.Ready()) {
        ADD_FAILURE() << "could not set up " << Utf8(downloads.Folder());
        return run;
    }
    {
        Target target(downloads.Exe(), downloads.Folder());
        if (!target.Started()) {
            ADD_FAILURE() << target.StartError();
            return run;
        }
        if (!target.WaitForPrefix("Vossel: Label2 = ", kStartTimeoutMs)) {
            ADD_FAILURE() << Utf8(exe) << " did not paint its caption:\n" << target.Describe();
        }
        HWND mainWindow = target.WaitForWindow(L"Vossel", kStepTimeoutMs);
        if (mainWindow) {
            const size_t from = target.Lines().size();
            ClickClient(mainWindow, kSettingsLink.x, kSettingsLink.y);
            EXPECT_TRUE(target.WaitForPrefix("Vossel: settings shown", kStepTimeoutMs, from))
                << AllLines(target);
            EXPECT_TRUE(Settle(mainWindow)) << "the program does not answer after the click";
        } else {
            ADD_FAILURE() << "no main window:\n" << target.Describe();
        }
        run.plantedLoaded = target.WaitForPrefix(kPlantedLine, 0).has_value();
        run.lines = AllLines(target);
        target.Kill();
    }
    return run;
}

TEST(PlantedDll, IsNotLoadedFromTheProgramFolderWhileAnUnrestrictedBuildLoadsIt) {
    const std::wstring tree = Directory(TargetExe());
    const std::wstring plantedDll = tree + L"\\e2e-probes\\planted.dll";
    const std::wstring unrestricted = tree + L"\\fault-no-dll-restriction\\Vossel.exe";
    ASSERT_TRUE(Exists(plantedDll)) << "not built: " << Utf8(plantedDll);
    ASSERT_TRUE(Exists(unrestricted)) << "not built: " << Utf8(unrestricted);
    LoadOrderOverride override;
    ASSERT_TRUE(override.Set()) << "could not set the DLL load order for Vossel.exe";

    const LaunchResult control = RunBesidePlantedDll(unrestricted, plantedDll, L"control");
    if (HasFailure()) return;
    if (!control.plantedLoaded) {
        GTEST_SKIP() << "the build without the DLL search restriction did not load the planted "
                     << Utf8(kPlantedName)
                     << " either, so its absence would prove nothing; lines:\n"
                     << control.lines;
    }

    const LaunchResult hardened = RunBesidePlantedDll(TargetExe(), plantedDll, L"hardened");
    EXPECT_FALSE(hardened.plantedLoaded) << "Vossel.exe loaded the planted " << Utf8(kPlantedName)
                                         << " from its own folder; lines:\n"
                                         << hardened.lines;
}

}  // namespace
}  // namespace vossel::e2e
