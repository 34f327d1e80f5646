// What the safe save keeps of the file it replaces: a link stays a link and the file it names
// is replaced, with its temporary file beside it; on Windows its attributes and creation time.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fakes/TempDir.h"
#include "platform/SafeFile.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tessara {
namespace {

namespace fs = std::filesystem;
using fakes::ReadWholeFile;
using fakes::WriteWholeFile;

void Save(const std::string& name, const std::string& bytes) {
    TSafeFileStream stream(name);
    stream.WriteBuffer(bytes.data(), bytes.size());
    stream.Commit();
}

size_t Entries(const fs::path& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

#ifndef _WIN32
TEST(SafeFileIdentity, LinksStayLinksAndTheFileTheyNameIsReplaced) {
    const struct {
        const char* Name;
        const char* LinkTo;  // relative to the link's directory
        bool Exists;         // the file the links end at exists before the save
    } cases[] = {
        {"into a sub-folder", "sync/1CDialogControls.xml", true},
        {"through a second link", "second", true},
        {"to a file not there yet", "sync/1CDialogControls.xml", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        fakes::TempDir dir;
        fs::create_directories(dir.Path / "sync");
        const fs::path target = dir.Path / "sync" / "1CDialogControls.xml";
        if (c.Exists) WriteWholeFile(target.string(), "old");
        if (std::string(c.LinkTo) == "second") fs::create_symlink("sync/1CDialogControls.xml", dir.Path / "second");
        const fs::path link = dir.Path / "1CDialogControls.xml";
        fs::create_symlink(c.LinkTo, link);
        const size_t besideLink = Entries(dir.Path);

        Save(link.string(), "new");
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link), fs::path(c.LinkTo));
        EXPECT_EQ(ReadWholeFile(target.string()), "new");
        // No temporary file left on either side.
        EXPECT_EQ(Entries(dir.Path), besideLink);
        EXPECT_EQ(Entries(dir.Path / "sync"), 1u);
    }
}

TEST(SafeFileIdentity, TheTemporaryFileIsMadeBesideTheFileTheLinkNames) {
    fakes::TempDir dir;
    fs::create_directories(dir.Path / "sync");
    WriteWholeFile((dir.Path / "sync" / "r.xml").string(), "old");
    fs::create_symlink("sync/r.xml", dir.Path / "r.xml");
    TSafeFileStream stream((dir.Path / "r.xml").string());
    EXPECT_EQ(fs::path(stream.TempName()).parent_path(), fs::canonical(dir.Path / "sync"));
}
#else
bool UnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Both ways of replacing keep the attributes and, where the system keeps one, the creation time.
TEST(SafeFileIdentity, ReplaceKeepsAttributesAndCreationTime) {
    const TSafeFileReplace modes[] = {TSafeFileReplace::KeepIdentity, TSafeFileReplace::Rename};
    for (const TSafeFileReplace mode : modes) {
        SCOPED_TRACE(mode == TSafeFileReplace::KeepIdentity ? "ReplaceFileW" : "rename");
        SetSafeFileReplace(mode);
        fakes::TempDir dir;
        const std::string name = dir.File("r.xml");
        WriteWholeFile(name, "old");
        const std::wstring wide(name.begin(), name.end());
        const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        ASSERT_TRUE(::SetFileAttributesW(wide.c_str(), kept));
        WIN32_FILE_ATTRIBUTE_DATA before{}, after{};
        ASSERT_TRUE(::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &before));
        ::Sleep(20);

        Save(name, "new");
        EXPECT_EQ(ReadWholeFile(name), "new");
        ASSERT_TRUE(::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &after));
        EXPECT_EQ(after.dwFileAttributes & kept, before.dwFileAttributes & kept);
        // Wine has no creation time of its own to keep (it reports the Linux status-change time).
        if (!UnderWine()) {
            EXPECT_EQ(after.ftCreationTime.dwLowDateTime, before.ftCreationTime.dwLowDateTime);
            EXPECT_EQ(after.ftCreationTime.dwHighDateTime, before.ftCreationTime.dwHighDateTime);
        }
        EXPECT_EQ(Entries(dir.Path), 1u);
        ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    SetSafeFileReplace(TSafeFileReplace::Automatic);
}
#endif

}  // namespace
}  // namespace tessara
