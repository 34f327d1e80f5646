// The platform layer: exceptions, lists, memory and file streams with their share modes,
// the file helpers, and the 1251 conversions.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Charset.h"
#include "platform/Exceptions.h"
#include "platform/Lists.h"
#include "platform/SafeFile.h"
#include "platform/Streams.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace tessara;
namespace fs = std::filesystem;

namespace {

// A scratch directory under the current one, so that every name is relative and plain ASCII
// up to the part a test chooses.
class ScratchDir {
public:
    ScratchDir() {
        static int counter = 0;
#ifdef _WIN32
        const auto pid = static_cast<unsigned long>(::GetCurrentProcessId());
#else
        const auto pid = static_cast<unsigned long>(::getpid());
#endif
        Name = "platform-test-" + std::to_string(pid) + "-" + std::to_string(++counter);
        fs::remove_all(Name);
        fs::create_directory(Name);
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(Name, ignored);
    }
    std::string operator/(const std::string& leaf) const { return Name + "/" + leaf; }
    std::string Name;
};

void WriteFile(const std::string& name, const std::string& bytes) {
    TFileStream s(name, TFileMode::CreateExclusive);
    s.WriteBuffer(bytes.data(), bytes.size());
}

std::string ReadFile(const std::string& name) {
    TFileStream s(name, TFileMode::OpenReadShareDenyWrite);
    std::string bytes(static_cast<size_t>(s.Size()), '\0');
    s.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

template <class E, class F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "(nothing raised)";
}

// Holds a file open through TFileStream in another process until destroyed: share modes are
// meant to bind other programs, not only other streams of this one.
class OtherProcessHold {
public:
    OtherProcessHold(const std::string& fileName, bool forWriting);
    ~OtherProcessHold();
    bool Holding() const { return Held; }

private:
    bool Held = false;
#ifdef _WIN32
    HANDLE Ready = nullptr, Release = nullptr;
    PROCESS_INFORMATION Child{};
#else
    pid_t Child = -1;
    int ReleaseFd = -1;
#endif
};

#ifdef _WIN32
// The helper program beside the test executable.
std::string HoldFileExe() {
    char self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string exe(self, n);
    return exe.substr(0, exe.find_last_of("\\/") + 1) + "HoldFile.exe";
}

OtherProcessHold::OtherProcessHold(const std::string& fileName, bool forWriting) {
    static int counter = 0;
    const std::string tag = "TessaraHold-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter);
    Ready = ::CreateEventA(nullptr, TRUE, FALSE, (tag + "-ready").c_str());
    Release = ::CreateEventA(nullptr, TRUE, FALSE, (tag + "-release").c_str());
    const std::string exe = HoldFileExe();
    std::string line = "\"" + exe + "\" " + (forWriting ? "write" : "read") + " \"" + fileName + "\" " + tag +
                       "-ready " + tag + "-release";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    if (!::CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &Child)) {
        ADD_FAILURE() << "cannot start " << exe << ": error " << ::GetLastError();
        return;
    }
    HANDLE waits[2] = {Ready, Child.hProcess};
    const DWORD w = ::WaitForMultipleObjects(2, waits, FALSE, 20000);
    Held = w == WAIT_OBJECT_0;
    if (!Held) {
        DWORD code = 0;
        ::GetExitCodeProcess(Child.hProcess, &code);
        ADD_FAILURE() << "HoldFile did not hold " << fileName << " (wait " << w << ", exit " << code << ")";
    }
}

OtherProcessHold::~OtherProcessHold() {
    ::SetEvent(Release);
    if (Child.hProcess) {
        if (::WaitForSingleObject(Child.hProcess, 20000) != WAIT_OBJECT_0) ::TerminateProcess(Child.hProcess, 1);
        ::CloseHandle(Child.hProcess);
        ::CloseHandle(Child.hThread);
    }
    ::CloseHandle(Ready);
    ::CloseHandle(Release);
}
#else
OtherProcessHold::OtherProcessHold(const std::string& fileName, bool forWriting) {
    int ready[2], release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) {
        ADD_FAILURE() << "pipe";
        return;
    }
    Child = ::fork();
    if (Child == 0) {
        ::close(ready[0]);
        ::close(release[1]);
        char ok = '0';
        std::unique_ptr<TFileStream> held;
        try {
            held = std::make_unique<TFileStream>(
                fileName, forWriting ? TFileMode::CreateExclusive : TFileMode::OpenReadShareDenyWrite);
            ok = '1';
        } catch (const Exception&) {
        }
        (void)!::write(ready[1], &ok, 1);
        char c;
        (void)!::read(release[0], &c, 1);  // returns when the parent closes its end
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    ReleaseFd = release[1];
    pollfd p{ready[0], POLLIN, 0};
    char ok = '0';
    if (::poll(&p, 1, 20000) == 1) (void)!::read(ready[0], &ok, 1);
    ::close(ready[0]);
    Held = ok == '1';
    if (!Held) ADD_FAILURE() << "the child process did not hold " << fileName;
}

OtherProcessHold::~OtherProcessHold() {
    if (ReleaseFd >= 0) ::close(ReleaseFd);
    if (Child <= 0) return;
    for (int i = 0; i < 2000; ++i) {
        if (::waitpid(Child, nullptr, WNOHANG) == Child) return;
        ::usleep(10000);
    }
    ::kill(Child, SIGKILL);
    ::waitpid(Child, nullptr, 0);
}
#endif

}  // namespace

// ---- Exceptions and lists -------------------------------------------------------------------

TEST(PlatformExceptions, MessagesAndCommonBase) {
    const struct {
        std::function<void()> raise;
        const char* message;
    } cases[] = {
        {[] { throw EListError(-1); }, "List index out of bounds (-1)"},
        {[] { throw EListError(0); }, "List index out of bounds (0)"},
        {[] { throw EListError(2147483648LL); }, "List index out of bounds (2147483648)"},
        {[] { throw EInvalidCast(); }, "Invalid class typecast"},
        {[] { throw EFOpenError("1CDialogControls.xml"); }, "Cannot open file 1CDialogControls.xml"},
        {[] { throw EFCreateError("dir\\a b.xml"); }, "Cannot create file dir\\a b.xml"},
        {[] { throw EReadError(); }, "Stream read error"},
        {[] { throw EWriteError(); }, "Stream write error"},
        {[] { throw EClipboardException(); }, "Cannot open clipboard"},
    };
    for (const auto& c : cases) {
        try {
            c.raise();
            ADD_FAILURE() << "nothing raised for " << c.message;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

TEST(PlatformLists, IndexErrorsNameTheIndex) {
    TList list;
    int a = 1, b = 2;
    EXPECT_EQ(MessageOf<EListError>([&] { list.Get(0); }), "List index out of bounds (0)");
    EXPECT_EQ(MessageOf<EListError>([&] { list.Last(); }), "List index out of bounds (-1)");
    list.Insert(0, &a);  // inserting at Count appends
    list.Add(nullptr);
    list.Insert(1, &b);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Get(1), &b);
    EXPECT_EQ(list.IndexOf(nullptr), 2);
    EXPECT_EQ(MessageOf<EListError>([&] { list.Insert(4, &a); }), "List index out of bounds (4)");
    EXPECT_EQ(MessageOf<EListError>([&] { list.Put(3, &a); }), "List index out of bounds (3)");
    EXPECT_EQ(MessageOf<EListError>([&] { list.Delete(-1); }), "List index out of bounds (-1)");
    list.Delete(0);
    EXPECT_EQ(list.Get(0), &b);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 0);

    TStringList strings;
    strings.Add("x");
    strings.Add("x");
    EXPECT_EQ(strings.Count(), 2);
    EXPECT_EQ(MessageOf<EListError>([&] { strings.Get(2); }), "List index out of bounds (2)");
    EXPECT_EQ(MessageOf<EListError>([&] { strings.Delete(-1); }), "List index out of bounds (-1)");
}

// ---- Memory stream --------------------------------------------------------------------------

TEST(PlatformMemoryStream, WriteSeekAndReadSequences) {
    struct Step {
        char op;  // 'w' write text, 's' seek to n, 'r' read n bytes expecting text
        long long n;
        std::string text;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::string bytes;
        long long position;
    } cases[] = {
        {"append", {{'w', 0, "abc"}, {'w', 0, "de"}}, "abcde", 5},
        {"overwrite inside", {{'w', 0, "abcdef"}, {'s', 1, ""}, {'w', 0, "XY"}}, "aXYdef", 3},
        {"overwrite across the end", {{'w', 0, "abc"}, {'s', 2, ""}, {'w', 0, "XYZ"}}, "abXYZ", 5},
        {"write past the end pads with zeros", {{'s', 3, ""}, {'w', 0, "x"}}, std::string("\0\0\0x", 4), 4},
        {"negative seek goes to the start", {{'w', 0, "abc"}, {'s', -5, ""}, {'r', 2, "ab"}}, "abc", 2},
        {"read stops at the end", {{'w', 0, "abc"}, {'s', 1, ""}, {'r', 10, "bc"}, {'r', 1, ""}}, "abc", 3},
        {"read past the end gives nothing", {{'w', 0, "abc"}, {'s', 9, ""}, {'r', 1, ""}}, "abc", 9},
        {"empty write changes nothing", {{'s', 2, ""}, {'w', 0, ""}}, "", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream s;
        for (const Step& step : c.steps) {
            if (step.op == 'w') {
                EXPECT_EQ(s.Write(step.text.data(), step.text.size()), step.text.size());
            } else if (step.op == 's') {
                s.Seek(step.n);
            } else {
                std::string got(static_cast<size_t>(step.n), '?');
                got.resize(s.Read(got.data(), got.size()));
                EXPECT_EQ(got, step.text);
            }
        }
        EXPECT_EQ(s.GetBytes(), c.bytes);
        EXPECT_EQ(s.Size(), static_cast<int64_t>(c.bytes.size()));
        EXPECT_EQ(s.Position(), c.position);
    }
}

TEST(PlatformMemoryStream, ReadBufferRaisesOnShortRead) {
    TMemoryStream s(std::string("abc"));
    char buf[4];
    s.ReadBuffer(buf, 0);
    s.ReadBuffer(buf, 3);
    EXPECT_EQ(std::string(buf, 3), "abc");
    s.Seek(1);
    EXPECT_EQ(MessageOf<EReadError>([&] { s.ReadBuffer(buf, 3); }), "Stream read error");
}

// ---- File stream ----------------------------------------------------------------------------

TEST(PlatformFileStream, CreateWriteReopenReadSeek) {
    ScratchDir dir;
    const std::string name = dir / "a.xml";
    {
        TFileStream s(name, TFileMode::CreateExclusive);
        s.WriteBuffer("hello, world", 12);
        EXPECT_EQ(s.Size(), 12);
        EXPECT_EQ(s.Position(), 12);
        s.Seek(7);
        s.WriteBuffer("W", 1);
        EXPECT_TRUE(s.Flush());
    }
    TFileStream s(name, TFileMode::OpenReadShareDenyWrite);
    EXPECT_EQ(s.Size(), 12);
    char buf[16];
    EXPECT_EQ(s.Read(buf, sizeof buf), 12u);
    EXPECT_EQ(std::string(buf, 12), "hello, World");
    EXPECT_EQ(s.Read(buf, 1), 0u);
    s.Seek(5);
    EXPECT_EQ(s.Position(), 5);
    EXPECT_EQ(MessageOf<EReadError>([&] { s.ReadBuffer(buf, 8); }), "Stream read error");
    // A stream open for reading does not write.
    s.Seek(0);
    EXPECT_EQ(MessageOf<EWriteError>([&] { s.WriteBuffer("x", 1); }), "Stream write error");
}

// A file created over an existing one holds exactly what was written, and no old byte shows
// through the stream while it is written: not in its size, not in a read, not in a gap left by a
// seek past the end.
TEST(PlatformFileStream, CreateOverAnExistingFileHoldsOnlyTheNewBytes) {
    const std::string old = "a long old content, longer than any new one";
    struct Case {
        const char* Name;
        std::function<void(TFileStream&)> Write;
        std::string Expected;
    };
    const auto put = [](TFileStream& s, const std::string& bytes) { s.WriteBuffer(bytes.data(), bytes.size()); };
    const Case cases[] = {
        {"shorter", [&](TFileStream& s) { put(s, "new"); }, "new"},
        {"nothing", [](TFileStream&) {}, ""},
        {"size while written",
         [&](TFileStream& s) {
             put(s, "new");
             EXPECT_EQ(s.Size(), 3);
             put(s, "er");
             EXPECT_EQ(s.Size(), 5);
         },
         "newer"},
        {"read back",
         [&](TFileStream& s) {
             put(s, "new");
             s.Seek(0);
             char buf[64];
             EXPECT_EQ(s.Read(buf, sizeof buf), 3u);
             EXPECT_EQ(s.Size(), 3);
         },
         "new"},
        {"seek past the end",
         [&](TFileStream& s) {
             put(s, "new");
             s.Seek(6);
             put(s, "x");
         },
         std::string("new\0\0\0x", 7)},
    };
    ScratchDir dir;
    const std::string name = dir / "a.xml";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteFile(name, old);
        {
            TFileStream s(name, TFileMode::CreateExclusive);
            c.Write(s);
        }
        EXPECT_EQ(ReadFile(name), c.Expected);
    }
}

TEST(PlatformFileStream, OpenAndCreateErrorsCarryTheNameAsPassed) {
    ScratchDir dir;
    const std::string missing = dir / "missing.xml";
    const std::string inMissingDir = dir / "no-such-dir/a.xml";
    EXPECT_EQ(MessageOf<EFOpenError>([&] { TFileStream s(missing, TFileMode::OpenReadShareDenyWrite); }),
              "Cannot open file " + missing);
    EXPECT_EQ(MessageOf<EFOpenError>([&] { TFileStream s(dir.Name, TFileMode::OpenReadShareDenyWrite); }),
              "Cannot open file " + dir.Name);
    EXPECT_EQ(MessageOf<EFCreateError>([&] { TFileStream s(inMissingDir, TFileMode::CreateExclusive); }),
              "Cannot create file " + inMissingDir);
    EXPECT_EQ(MessageOf<EFCreateError>([&] { TFileStream s(dir.Name, TFileMode::CreateExclusive); }),
              "Cannot create file " + dir.Name);
    EXPECT_FALSE(FileExists(missing));
}

TEST(PlatformFileStream, CyrillicNames) {
    ScratchDir dir;
    const std::string leaf = Cp1251(u8"Список шаблонов.xml");
    WriteFile(dir / leaf, "x");
    EXPECT_TRUE(FileExists(dir / leaf));
    EXPECT_EQ(ReadFile(dir / leaf), "x");
    std::vector<fs::path> entries(fs::directory_iterator(dir.Name), fs::directory_iterator());
    ASSERT_EQ(entries.size(), 1u);
#ifdef _WIN32
    EXPECT_EQ(entries[0].filename().wstring(), L"Список шаблонов.xml");
#else
    EXPECT_EQ(entries[0].filename().string(), leaf);  // the bytes as given
#endif
}

// Which opens a held file lets through, within this process and from another one.
TEST(PlatformFileStream, ShareModes) {
    ScratchDir dir;
    const std::string name = dir / "held.xml";
    WriteFile(name, "old content");
    const std::string cannotOpen = "Cannot open file " + name;
    const std::string cannotCreate = "Cannot create file " + name;
    for (bool otherProcess : {false, true}) {
        SCOPED_TRACE(otherProcess ? "held by another process" : "held by this process");
        {
            // A reader lets other readers in and keeps writers out; the file is not truncated.
            std::unique_ptr<TFileStream> here;
            std::unique_ptr<OtherProcessHold> there;
            if (otherProcess)
                there = std::make_unique<OtherProcessHold>(name, false);
            else
                here = std::make_unique<TFileStream>(name, TFileMode::OpenReadShareDenyWrite);
            ASSERT_TRUE(!there || there->Holding());
            EXPECT_EQ(ReadFile(name), "old content");
            EXPECT_EQ(MessageOf<EFCreateError>([&] { WriteFile(name, "new"); }), cannotCreate);
            EXPECT_EQ(ReadFile(name), "old content");
        }
        {
            // A writer keeps everyone out.
            std::unique_ptr<TFileStream> here;
            std::unique_ptr<OtherProcessHold> there;
            if (otherProcess)
                there = std::make_unique<OtherProcessHold>(name, true);
            else
                here = std::make_unique<TFileStream>(name, TFileMode::CreateExclusive);
            ASSERT_TRUE(!there || there->Holding());
            EXPECT_EQ(MessageOf<EFOpenError>([&] { ReadFile(name); }), cannotOpen);
            EXPECT_EQ(MessageOf<EFCreateError>([&] { WriteFile(name, "new"); }), cannotCreate);
        }
        // Released: both work again.
        WriteFile(name, "old content");
        EXPECT_EQ(ReadFile(name), "old content");
    }
}

TEST(PlatformFiles, FileExists) {
    ScratchDir dir;
    WriteFile(dir / "f", "");
    EXPECT_TRUE(FileExists(dir / "f"));
    EXPECT_FALSE(FileExists(dir / "g"));
    EXPECT_FALSE(FileExists(dir.Name));  // a directory is not a file
    EXPECT_FALSE(FileExists(""));
    EXPECT_TRUE(PathExists(dir / "f"));
    EXPECT_TRUE(PathExists(dir.Name));
    EXPECT_FALSE(PathExists(dir / "g"));
    EXPECT_FALSE(PathExists(""));
}

TEST(PlatformFiles, RenameReplacing) {
    ScratchDir dir;
    const std::string target = dir / "t.xml", source = dir / "t.tmp";
    // Onto a missing target, then over an existing one.
    WriteFile(source, "one");
    EXPECT_TRUE(RenameReplacing(source, target));
    EXPECT_EQ(ReadFile(target), "one");
    EXPECT_FALSE(FileExists(source));
    WriteFile(source, "two");
    EXPECT_TRUE(RenameReplacing(source, target));
    EXPECT_EQ(ReadFile(target), "two");
    // A target held open by a reader in another process stays, and so does the source.
    WriteFile(source, "three");
    {
        OtherProcessHold reader(target, false);
        ASSERT_TRUE(reader.Holding());
        EXPECT_FALSE(RenameReplacing(source, target));
    }
    EXPECT_EQ(ReadFile(target), "two");
    EXPECT_EQ(ReadFile(source), "three");
    // A missing source changes nothing.
    EXPECT_TRUE(RemoveFile(source));
    EXPECT_FALSE(RemoveFile(source));
    EXPECT_FALSE(RenameReplacing(source, target));
    EXPECT_EQ(ReadFile(target), "two");
}

// Saving replaces the file; a reader in another program keeps the old one in place. On Windows
// with ReplaceFileW and with the rename alike.
class SafeReplaceHeld : public ::testing::TestWithParam<TSafeFileReplace> {
protected:
    void SetUp() override { SetSafeFileReplace(GetParam()); }
    void TearDown() override { SetSafeFileReplace(TSafeFileReplace::Automatic); }
};
INSTANTIATE_TEST_SUITE_P(PlatformFiles, SafeReplaceHeld,
                         ::testing::Values(TSafeFileReplace::KeepIdentity, TSafeFileReplace::Rename));

TEST_P(SafeReplaceHeld, SafeReplaceOfAFileHeldByAnotherProcess) {
    ScratchDir dir;
    const std::string name = dir / "held.xml";
    WriteFile(name, "old");
    auto save = [&](const std::string& bytes) {
        TSafeFileStream s(name);
        s.WriteBuffer(bytes.data(), bytes.size());
        s.Commit();
    };
    const auto entries = [&] { return std::distance(fs::directory_iterator(dir.Name), fs::directory_iterator()); };
    {
        OtherProcessHold reader(name, false);
        ASSERT_TRUE(reader.Holding());
        EXPECT_EQ(MessageOf<EFCreateError>([&] { save("new"); }), "Cannot create file " + name);
    }
    EXPECT_EQ(ReadFile(name), "old");
    EXPECT_EQ(entries(), 1);  // no temporary file left behind
    save("new");
    EXPECT_EQ(ReadFile(name), "new");
    EXPECT_EQ(entries(), 1);
}

TEST(PlatformFiles, SafeFileTempNames) {
    struct Case {
        const char* name;
        bool is;
        uint32_t pid;
    };
    const Case cases[] = {
        {"r.xml.~12-0.tmp", true, 12},     {"r.xml.~4294967295-99.tmp", true, 4294967295u},
        {"r.xml.~-0.tmp", false, 0},       {"r.xml.~12-.tmp", false, 0},
        {"r.xml.~0-1.tmp", false, 0},      {"r.xml.~4294967296-1.tmp", false, 0},
        {"r.xml.~12-1.tmpx", false, 0},    {"rr.xml.~12-1.tmp", false, 0},
        {"r.xml.~1 2-1.tmp", false, 0},    {"r.xml.~12-1-2.tmp", false, 0},
        {"r.xml.bad", false, 0},           {"r.xml", false, 0},
        {"r.xml.~12-1.tmp.~13-1.tmp", false, 0},
    };
    for (const Case& c : cases) {
        uint32_t pid = 0;
        EXPECT_EQ(ParseSafeFileTempName(c.name, "r.xml", pid), c.is) << c.name;
        if (c.is) {
            EXPECT_EQ(pid, c.pid) << c.name;
        }
    }
    uint32_t pid = 0;
    EXPECT_TRUE(ParseSafeFileTempName(SafeFileTempName("r.xml", 77, 5), "r.xml", pid));
    EXPECT_EQ(pid, 77u);
}

namespace {

// The identifier of a process that has run and ended.
uint32_t EndedProcessId() {
#ifdef _WIN32
    const std::string exe = HoldFileExe();
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION child{};
    std::string line = "\"" + exe + "\"";  // without its arguments it ends at once
    if (!::CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &child))
        return 0;
    ::WaitForSingleObject(child.hProcess, 20000);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    return child.dwProcessId;
#else
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return static_cast<uint32_t>(child);
#endif
}

uint32_t OwnProcessId() {
#ifdef _WIN32
    return ::GetCurrentProcessId();
#else
    return static_cast<uint32_t>(::getpid());
#endif
}

}  // namespace

// A save cut off by a kill leaves its temporary file; the next successful save of the same file
// removes it, and nothing else.
TEST(PlatformFiles, SaveRemovesTheTempFilesOfEndedProcesses) {
    ScratchDir dir;
    const std::string target = dir / "r.xml";
    const uint32_t ended = EndedProcessId();
    ASSERT_NE(ended, 0u);
    const std::vector<std::string> stale = {SafeFileTempName(target, ended, 0), SafeFileTempName(target, ended, 7)};
    const std::vector<std::string> kept = {
        SafeFileTempName(target, OwnProcessId(), 3),  // a save of a running process
        SafeFileTempName(dir / "other.xml", ended, 0),  // another file's
        dir / "r.xml.~abc-1.tmp", dir / "r.xml.bad", dir / "other.xml"};
    for (const std::string& name : stale) WriteFile(name, "cut off");
    for (const std::string& name : kept) WriteFile(name, "kept");
    const std::string directory = SafeFileTempName(target, ended, 9);
    fs::create_directory(directory);

    TSafeFileStream s(target);
    s.WriteBuffer("new", 3);
    s.Commit();

    EXPECT_EQ(ReadFile(target), "new");
    for (const std::string& name : stale) EXPECT_FALSE(PathExists(name)) << name;
    for (const std::string& name : kept) EXPECT_EQ(ReadFile(name), "kept") << name;
    EXPECT_TRUE(fs::is_directory(directory));
}

// ---- Charset --------------------------------------------------------------------------------

namespace {

// Each byte's character according to the system's own converter, or 0 where it has none.
char16_t SystemCp1251(unsigned char b) {
#ifdef _WIN32
    const char in = static_cast<char>(b);
    wchar_t out = 0;
    return ::MultiByteToWideChar(1251, MB_ERR_INVALID_CHARS, &in, 1, &out, 1) == 1 ? static_cast<char16_t>(out) : 0;
#else
    iconv_t cd = ::iconv_open("UTF-16LE", "CP1251");
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    char in = static_cast<char>(b);
    unsigned char out[4] = {};
    char* pin = &in;
    char* pout = reinterpret_cast<char*>(out);
    size_t nin = 1, nout = sizeof out;
    const size_t r = ::iconv(cd, &pin, &nin, &pout, &nout);
    ::iconv_close(cd);
    return r == static_cast<size_t>(-1) || nout != 2 ? 0 : static_cast<char16_t>(out[0] | (out[1] << 8));
#endif
}

}  // namespace

TEST(PlatformCharset, AllBytesRoundTripAndMatchTheSystemTable) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::u16string wide = Cp1251ToUtf16(all);
    ASSERT_EQ(wide.size(), 256u);
    EXPECT_EQ(Utf16ToCp1251(wide), all);
    EXPECT_EQ(Cp1251(Cp1251ToUtf8(all)), all);
    for (int b = 0; b < 256; ++b) {
        const char16_t system = SystemCp1251(static_cast<unsigned char>(b));
        // The one byte without a character keeps its value as a C1 control.
        if (system == 0 && b == 0x98) {
            EXPECT_EQ(wide[0x98], u'\x98');
            continue;
        }
        EXPECT_EQ(static_cast<int>(wide[static_cast<size_t>(b)]), static_cast<int>(system)) << "byte " << b;
    }
}

TEST(PlatformCharset, Utf8ToCp1251) {
    const struct {
        std::string utf8;
        std::string cp1251;
    } cases[] = {
        {reinterpret_cast<const char*>(u8"Список контролов"), "\xD1\xEF\xE8\xF1\xEE\xEA \xEA\xEE\xED\xF2\xF0\xEE\xEB\xEE\xE2"},
        {reinterpret_cast<const char*>(u8"Ёё№€«»—"), "\xA8\xB8\xB9\x88\xAB\xBB\x97"},
        {"\r\n<&>\"'", "\r\n<&>\"'"},
        {reinterpret_cast<const char*>(u8"中x😀y"), "?x?y"},  // no 1251 character
        {"\xD0", "?"},                                     // a lead byte at the end
        {"\xD0(", "?("},                                   // a lead byte before ASCII keeps the ASCII
        {"\xE2\x82", "??"},                                // a cut three-byte sequence
        {"\x80\xBF", "??"},                                // stray continuation bytes
        {"\xC0\x80\xE0\x80\x80", "?????"},                 // overlong forms
        {"\xED\xA0\x80", "???"},                           // an encoded surrogate
        {"\xF4\x90\x80\x80\xFF", "?????"},                 // beyond U+10FFFF, and 0xFF
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) EXPECT_EQ(Cp1251(c.utf8), c.cp1251) << c.utf8;
    EXPECT_EQ(Utf16ToCp1251(u"Шаблон \u4E2D"), Cp1251(u8"Шаблон ?"));
}
