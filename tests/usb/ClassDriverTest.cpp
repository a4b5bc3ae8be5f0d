// Loading class drivers: the generic one built in, a printer-specific module
// named by the printer interface's udev property, and the refusals on the way.
#include "UsbTestSupport.h"

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A private folder holding a copy of the test module with a chosen mode.
class ModuleFolder {
public:
    ModuleFolder() {
        char tmpl[] = "/tmp/quenlo-usb-driver-XXXXXX";
        const char* dir = mkdtemp(tmpl);
        if (dir)
            m_dir = dir;
    }
    ~ModuleFolder() {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    std::string Copy(mode_t mode) {
        std::string path = m_dir + "/specific.so";
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

TEST_F(ClassDriverTest, MissingModuleFallsBackToTheGenericDriver) {
    std::string path = "/nonexistent/quenlo/driver.so";
    AddWithDriver(path);
    Enumerate();
    EXPECT_EQ(err, "DEBUG: Unable to load class driver \"" + path +
                       "\": No such file or directory\n" + kGenericLoaded);
    EXPECT_STREQ(szSERN, "77");
}

TEST_F(ClassDriverTest, ModuleWritableByOthersIsRefusedWithItsWholeMode) {
    std::string path = folder.Copy(0757);
    AddWithDriver(path);
    Enumerate();
    EXPECT_EQ(err, "DEBUG: Unable to load class driver \"" + path +
                       "\": insecure file permissions (0100757)\n" + kGenericLoaded);
    EXPECT_FALSE(Contains(out, "CMD:SPECIFIC")) << "the refused module must not have run";
    EXPECT_STREQ(szSERN, "77");
}

TEST_F(ClassDriverTest, FileThatIsNoModuleFailsWithTheLoaderStatus) {
    std::string path = folder.Text("bogus.so");
    UsbPrinterInterface iface;
    classdriver_t driver = nullptr;
    std::string log = CapturedStderr([&] {
        EXPECT_EQ(load_classdriver(path.c_str(), &iface, &driver), kClassDriverLoadFailed);
    });
    EXPECT_EQ(driver, nullptr);
    EXPECT_TRUE(Contains(log, "DEBUG: load_classdriver(" + path + ") (kr:0xffffda40)\n"));
    // And in a pass, the printer is still read through the generic driver.
    AddWithDriver(path);
    Enumerate();
    EXPECT_STREQ(szSERN, "77");
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
