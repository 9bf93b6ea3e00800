#include "app/installer.h"
#include "base/unique_handle.h"
#include "install/install_locations.h"
#include "install/install_lock.h"
#include "install/install_transaction.h"
#include "install/install_worker.h"
#include "install/uninstall_registration.h"
#include "package/crypto.h"
#include "package/text.h"
#include "unit/scratch_folder.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include <windows.h>

using namespace elvara;
using namespace elvara::test;

namespace {

// A real top-level window whose only job is to receive WM_INSTALL_FINISHED.
class FinishedListener {
public:
    FinishedListener()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ElvaraWorkerTest";
        RegisterClassW(&windowClass);
        window = CreateWindowExW(0, L"ElvaraWorkerTest", L"worker test", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~FinishedListener() { DestroyWindow(window); }

    // Number of finished messages that arrived within the time limit.
    int waitForFinished(DWORD milliseconds)
    {
        int finished = 0;
        const ULONGLONG deadline = GetTickCount64() + milliseconds;
        while (GetTickCount64() < deadline) {
            MSG message{};
            while (PeekMessageW(&message, window, 0, 0, PM_REMOVE))
                if (message.message == WM_INSTALL_FINISHED) ++finished;
            if (finished > 0) {
                Sleep(200); // a second message would arrive now
                while (PeekMessageW(&message, window, 0, 0, PM_REMOVE))
                    if (message.message == WM_INSTALL_FINISHED) ++finished;
                return finished;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
        return finished;
    }

    HWND window = nullptr;
};

void removeRealInstallation()
{
    const InstallLocations locations = resolveInstallLocations(InstallScope::Machine);
    removeTree(locations.bundleFolder);
    removeTree(locations.productFolder);
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, uninstallKeyPath, KEY_WOW64_64KEY, 0);
}

bool uninstallKeyExists()
{
    UniqueRegistryKey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallKeyPath, 0, KEY_READ | KEY_WOW64_64KEY, key.put()) ==
           ERROR_SUCCESS;
}

std::wstring resultOf(Installer& record)
{
    std::lock_guard lock(record.resultMutex);
    return record.resultText;
}

// A primary token like an administrator's unelevated one: Administrators disabled.
UniqueKernelHandle restrictedImpersonationToken()
{
    UniqueKernelHandle processToken, restricted, impersonation;
    OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, processToken.put());
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    UniqueSid administrators;
    AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                             administrators.put());
    SID_AND_ATTRIBUTES disabled{administrators.get(), 0};
    CreateRestrictedToken(processToken.get(), 0, 1, &disabled, 0, nullptr, 0, nullptr, restricted.put());
    DuplicateTokenEx(restricted.get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenImpersonation,
                     impersonation.put());
    return impersonation;
}

class InstallWorker : public testing::Test {
protected:
    void SetUp() override { removeRealInstallation(); }
    void TearDown() override { removeRealInstallation(); }
};

} // namespace

TEST_F(InstallWorker, InstallsIntoTheRealFoldersAndRegisters)
{
    FinishedListener listener;
    Installer record;
    record.window = listener.window;
    record.execute();
    EXPECT_EQ(record.page, Installing);
    EXPECT_TRUE(record.busy);
    EXPECT_EQ(listener.waitForFinished(60000), 1);
    EXPECT_TRUE(record.succeeded.load());
    EXPECT_EQ(resultOf(record), installSuccessText);
    EXPECT_EQ(std::wstring(installSuccessText).size(), 175u);
    EXPECT_EQ(record.progress.load(), 100u);

    const InstallLocations locations = resolveInstallLocations(InstallScope::Machine);
    const auto entries = parseSetupPackage(loadPackageResource());
    int files = 0;
    for (const PackageEntry& entry : entries) {
        const PackageTree tree = isPluginEntry(entry) ? PackageTree::Bundle : PackageTree::Product;
        const std::wstring root = tree == PackageTree::Bundle ? locations.bundleFolder : locations.productFolder;
        const std::string content = readFile(root + L"\\" + entryRelativePath(entry, tree));
        EXPECT_EQ(toLowerHex(sha256Digest({reinterpret_cast<const std::uint8_t*>(content.data()), content.size()})),
                  toLowerHex(entry.sha256))
            << entry.name;
        ++files;
    }
    EXPECT_EQ(files, 9);
    EXPECT_TRUE(uninstallKeyExists());
}

TEST_F(InstallWorker, TheFinishedPageSaysWhereAUsersFileWent)
{
    const InstallLocations locations = resolveInstallLocations(InstallScope::Machine);
    for (int run = 0; run < 2; ++run) {
        FinishedListener listener;
        Installer record;
        record.window = listener.window;
        record.execute();
        ASSERT_EQ(listener.waitForFinished(60000), 1);
        ASSERT_TRUE(record.succeeded.load());
        if (run == 0) {
            EXPECT_EQ(resultOf(record), installSuccessText);
            writeFile(locations.productFolder + L"\\README.txt", "my own read-me"); // the repair restores it
        } else {
            EXPECT_EQ(resultOf(record), std::wstring(installSuccessText) + L" Your own file " + locations.productFolder +
                                            L"\\README.txt is now " + locations.productFolder +
                                            L"\\README (yours).txt: this version installs a file of that name.");
        }
    }
    EXPECT_EQ(readFile(locations.productFolder + L"\\README (yours).txt"), "my own read-me");
}

TEST_F(InstallWorker, ForeignFolderIsReportedAndLeftAlone)
{
    const InstallLocations locations = resolveInstallLocations(InstallScope::Machine);
    makeFolders(locations.bundleFolder);
    writeFile(locations.bundleFolder + L"\\theirs.txt", "another product");
    const TreeSnapshot before = snapshotTree(locations.bundleFolder);

    FinishedListener listener;
    Installer record;
    record.window = listener.window;
    record.execute();
    EXPECT_EQ(listener.waitForFinished(60000), 1);
    EXPECT_FALSE(record.succeeded.load());
    EXPECT_EQ(resultOf(record), L"The existing ElvaraSound VST3 folder was not created by this installer. It will not "
                                L"be overwritten.");
    EXPECT_EQ(snapshotTree(locations.bundleFolder), before);
    EXPECT_FALSE(GetFileAttributesW(locations.productFolder.c_str()) != INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(uninstallKeyExists());
}

TEST_F(InstallWorker, WithoutAdministratorRightsNothingIsWritten)
{
    FinishedListener listener;
    Installer record;
    record.window = listener.window;
    UniqueKernelHandle token = restrictedImpersonationToken();
    ASSERT_TRUE(token);
    std::thread unelevated([&] {
        SetThreadToken(nullptr, token.get());
        runInstallWorker(record);
        RevertToSelf();
    });
    unelevated.join();
    EXPECT_EQ(listener.waitForFinished(10000), 1);
    EXPECT_FALSE(record.succeeded.load());
    EXPECT_EQ(resultOf(record), L"Administrator permission is required to install in the standard VST3 folder.");
    EXPECT_EQ(record.progress.load(), 0u);
    const InstallLocations locations = resolveInstallLocations(InstallScope::Machine);
    EXPECT_EQ(GetFileAttributesW(locations.bundleFolder.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(uninstallKeyExists());
}

TEST_F(InstallWorker, OnlyOneInstallationAtATime)
{
    FinishedListener listener;
    Installer record;
    record.window = listener.window;
    // Another installation holds the lock on its own thread until this one has ended.
    UniqueKernelHandle acquired(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueKernelHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread other([&] {
        InstallLock held(InstallScope::Machine);
        SetEvent(acquired.get());
        WaitForSingleObject(done.get(), 60000);
    });
    WaitForSingleObject(acquired.get(), 10000);
    record.execute();
    EXPECT_EQ(listener.waitForFinished(60000), 1);
    SetEvent(done.get());
    other.join();
    EXPECT_FALSE(record.succeeded.load());
    EXPECT_EQ(resultOf(record), L"Another ElvaraSound installation is running. Wait until it has finished, then try "
                                L"again.");
    EXPECT_EQ(GetFileAttributesW(resolveInstallLocations(InstallScope::Machine).bundleFolder.c_str()), INVALID_FILE_ATTRIBUTES);
}
