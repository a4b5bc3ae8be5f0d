// Loading class drivers: the generic one built in, a printer-specific module
// named by the printer interface's udev property, and the refusals on the way.
#include "UsbTestSupport.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Whether the loader would trust a module in folder: it and every folder
// above it belong to root or to us and nobody else may write them.
bool TrustedChain(std::string folder) {
    while (!folder.empty()) {
        struct stat st {};
        if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 || (st.st_uid != 0 && st.st_uid != geteuid()))
            return false;
        if (folder == "/")
            break;
        const size_t slash = folder.rfind('/');
        folder.resize(slash == 0 ? 1 : slash);
    }
    return true;
}

// Where the tests can make modules the loader trusts, wherever the checkout
// lies: the build tree when nobody else may write above it (not so for a
// clone under /tmp), else the user's runtime folder, else (for root) /run.
std::string TrustedBase() {
    std::vector<std::string> candidates = {QUENLO_TEST_MODULE_DIR};
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/')
        candidates.push_back(runtime);
    candidates.push_back("/run/user/" + std::to_string(geteuid()));
    if (geteuid() == 0)
        candidates.push_back("/run");
    for (const std::string& base : candidates)
        if (TrustedChain(base) && access(base.c_str(), W_OK) == 0)
            return base;
    return std::string();
}

// A private folder holding copies of the test module with a chosen mode,
// in a folder chain the loader trusts unless `base` puts it elsewhere.
class ModuleFolder {
public:
    explicit ModuleFolder(const std::string& base = TrustedBase()) {
        std::string tmpl =
            (base.empty() ? std::string("/tmp") : base) + "/quenlo-usb-driver-XXXXXX";
        const char* dir = mkdtemp(tmpl.data());
        if (dir)
            m_dir = dir;
    }
    const std::string& Dir() const { return m_dir; }
    ~ModuleFolder() {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    std::string Copy(mode_t mode, const std::string& name = "specific.so") {
        std::string path = m_dir + "/" + name;
        fs::copy_file(QUENLO_TEST_CLASSDRIVER, path, fs::copy_options::overwrite_existing);
        chmod(path.c_str(), mode);
        return path;
    }
    std::string Text(const std::string& name) {
        std::string path = m_dir + "/" + name;
        std::ofstream(path) << "not a shared object\n";
        chmod(path.c_str(), 0644);
        return path;
    }

private:
    std::string m_dir;
};

constexpr const char kGenericLoaded[] =
    "DEBUG: load_classdriver(builtin:generic-printing-class) (kr:0x00000000)\n";

} // namespace

class ClassDriverTest : public UsbTest {
protected:
    int AddWithDriver(const std::string& path) {
        usbemu::PrinterSetup setup = DefaultPrinter();
        setup.deviceId = "MFG:A;MDL:B;SERN:77;DES:D;";
        setup.classDriverPath = path;
        return emu->AddPrinter(setup);
    }
    std::string err;
    std::string out;
    void Enumerate() {
        err = CapturedStderr([&] { out = CapturedStdout([] { list_devices(); }); });
    }
    ModuleFolder folder;
};

TEST_F(ClassDriverTest, WithoutAModuleTheGenericDriverAnswers) {
    AddWithDriver("");
    Enumerate();
    EXPECT_EQ(err, kGenericLoaded);
    EXPECT_TRUE(Contains(out, "idstr=MFG:A;MDL:B;SERN:77;DES:D;\n"));
}

TEST_F(ClassDriverTest, SpecificModuleStandsOnTheGenericDriver) {
    ASSERT_FALSE(TrustedBase().empty()) << "no folder chain here that nobody else may write";
    std::string path = folder.Copy(0755);
    AddWithDriver(path);
    Enumerate();
    // The base is loaded inside the module's load, so it reports first.
    EXPECT_EQ(err, std::string(kGenericLoaded) + "DEBUG: load_classdriver(" + path +
                       ") (kr:0x00000000)\n");
    // The module's mark proves it answered; the rest of the ID came through
    // the generic driver it was handed.
    EXPECT_TRUE(Contains(out, "idstr=CMD:SPECIFIC;MFG:A;MDL:B;SERN:77;DES:D;\n"));
    EXPECT_STREQ(szSERN, "77");
}

// Each refusal is one line with its reason (a mode in full), and the printer
// is then read through the generic driver; the refused module never runs.
TEST_F(ClassDriverTest, UnusableModulesAreRefusedWithTheirReason) {
    struct Case {
        std::string path;
        std::string why;
    };
    std::vector<Case> cases;
    cases.push_back({folder.Copy(0775), "insecure file permissions (0100775)"});
    cases.push_back({folder.Copy(0757, "other.so"), "insecure file permissions (0100757)"});
    cases.push_back({"/nonexistent/quenlo/driver.so", "No such file or directory"});
    cases.push_back({"specific.so", "not an absolute path"});
    cases.push_back({"../" + fs::path(folder.Dir()).filename().string() + "/specific.so",
                     "not an absolute path"});

    // A folder others may write, anywhere above the file.
    ModuleFolder open;
    fs::create_directory(open.Dir() + "/inner");
    const std::string inner = open.Copy(0755, "inner/m.so");
    chmod(open.Dir().c_str(), 0777);
    cases.push_back({inner, "insecure folder permissions of \"" + open.Dir() + "\" (040777)"});

    // A link in the sticky /tmp: followed, and its target there is refused
    // for the folder it lies in.
    ModuleFolder sticky("/tmp");
    const std::string target = sticky.Copy(0755, "t.so");
    const std::string link = sticky.Dir() + "/link.so";
    fs::create_symlink(target, link);
    struct stat tmp {};
    stat("/tmp", &tmp);
    char mode[16];
    snprintf(mode, sizeof mode, "0%o", static_cast<unsigned>(tmp.st_mode));
    cases.push_back({link, "insecure folder permissions of \"/tmp\" (" + std::string(mode) + ")"});

    // Owned by another user (only root can make one).
    if (geteuid() == 0) {
        const std::string other = folder.Copy(0755, "owned.so");
        ASSERT_EQ(chown(other.c_str(), 4242, 4242), 0);
        cases.push_back({other, "file owned by another user (uid 4242)"});
    }

    for (const Case& c : cases) {
        UsbPrinterInterface iface;
        classdriver_t driver = nullptr;
        const std::string log = CapturedStderr([&] {
            EXPECT_EQ(load_classdriver(c.path.c_str(), &iface, &driver), kClassDriverLoadFailed);
        });
        EXPECT_EQ(driver, nullptr);
        EXPECT_EQ(log, "DEBUG: Unable to load class driver \"" + c.path + "\": " + c.why + "\n");
    }
    // In a pass: one refusal line, then the generic driver.
    AddWithDriver(cases[0].path);
    Enumerate();
    EXPECT_EQ(err, "DEBUG: Unable to load class driver \"" + cases[0].path + "\": " + cases[0].why +
                       "\n" + kGenericLoaded);
    EXPECT_FALSE(Contains(out, "CMD:SPECIFIC"));
    EXPECT_STREQ(szSERN, "77");
}

// Two modules, the second loaded while the first's driver lives, then a
// third file after both are released: each driver is of the module whose
// file was checked, never one already loaded handed out again under a name
// the dynamic loader has seen.
TEST_F(ClassDriverTest, EachLoadHandsOutTheModuleItChecked) {
    ASSERT_FALSE(TrustedBase().empty()) << "no folder chain here that nobody else may write";
    const std::string first = folder.Copy(0755, "first.so");
    const std::string second = folder.Copy(0755, "second.so");
    UsbPrinterInterface iface;
    classdriver_t a = nullptr, b = nullptr;
    CapturedStderr([&] {
        ASSERT_EQ(load_classdriver(first.c_str(), &iface, &a), 0);
        ASSERT_EQ(load_classdriver(second.c_str(), &iface, &b), 0);
    });
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE((*a)->plugin, (*b)->plugin) << "the second load handed out the first module";
    const int secondFd = open(second.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(secondFd, 0);
    EXPECT_TRUE(MappedFromFile(reinterpret_cast<const void*>((*b)->GetDeviceID), secondFd));
    EXPECT_FALSE(MappedFromFile(reinterpret_cast<const void*>((*a)->GetDeviceID), secondFd));
    EXPECT_FALSE(MappedFromFile(reinterpret_cast<const void*>(&std::printf), secondFd));
    close(secondFd);
    release_classdriver(b);
    release_classdriver(a);

    // A module the dynamic loader keeps after its release must not stand in
    // for a later file: one that is no module fails as such.
    const std::string bogus = folder.Text("bogus.so");
    classdriver_t c = nullptr;
    const std::string log = CapturedStderr(
        [&] { EXPECT_EQ(load_classdriver(bogus.c_str(), &iface, &c), kClassDriverLoadFailed); });
    EXPECT_EQ(c, nullptr);
    EXPECT_TRUE(Contains(log, "DEBUG: load_classdriver(" + bogus + ") (kr:0xffffda40)\n")) << log;
}

TEST(ClassDriverLoader, PathTooLongForItsBufferIsRefusedNotCut) {
    // Cut to its buffer, this path would name something else than asked.
    std::string path = std::string(QUENLO_TEST_CLASSDRIVER);
    std::string longPath = path + std::string(1100, '/');
    UsbPrinterInterface iface;
    classdriver_t driver = nullptr;
    std::string log = CapturedStderr([&] {
        EXPECT_EQ(load_classdriver(longPath.c_str(), &iface, &driver), kClassDriverLoadFailed);
    });
    EXPECT_EQ(driver, nullptr);
    EXPECT_TRUE(Contains(log, "File name too long")) << log;
}

TEST(GenericClassDriver, AnswersOnlyForItsOwnInterfaceIdentifier) {
    classdriver_t d = CreateGenericClassDriver();
    void* out = reinterpret_cast<void*>(1);
    EXPECT_NE((*d)->QueryInterface(d, "00000000-0000-0000-0000-000000000000", &out), 0);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ((*d)->QueryInterface(d, kClassDriverInterfaceID, &out), 0);
    EXPECT_EQ(out, d);
    EXPECT_EQ((*d)->Release(d), 1u);
    // Without an open device every operation refuses rather than crashes.
    char* s = nullptr;
    EXPECT_NE((*d)->GetDeviceID(d, &s, 10), 0);
    EXPECT_EQ(s, nullptr);
    EXPECT_NE((*d)->GetString(d, 1, 0x409, 10, &s), 0);
    UsbDeviceRequest req{0x80, 6, 0x100, 0, 18, nullptr};
    EXPECT_NE((*d)->DeviceRequest(d, &req, 10), 0);
    EXPECT_EQ((*d)->Release(d), 0u);
}
