// The product's registry values and INI value.
#include "fixture.h"

#include <string.h>

namespace {

const std::string ProductKey = std::string("HKCU\\") + expected::ProductKey;
const std::string IniPath = std::string("C:\\WINDOWS\\") + expected::IniName;
const std::string TrueType = std::string(expected::TrueTypeData) + '\0'; // as stored

class SettingsTest : public InstallerTest {
protected:
    static standin::RegValue Value(const char *name)
    {
        auto &values = standin::M().registry[ProductKey];
        auto found = values.find(name);
        return found == values.end() ? standin::RegValue{0, "(missing)"} : found->second;
    }
    static std::string Ini(const std::string &path)
    {
        return standin::M().privateProfiles[path][expected::IniSection][expected::IniKey];
    }
    static std::string LogDir(const std::string &directory)
    {
        return directory + std::string(1, '\0');
    }
};

TEST_F(SettingsTest, TheKeyValuesAndIniAreWrittenAndTheResultLogged)
{
    strcpy(MessageBuffer, "stale text from an earlier box");
    WriteDriverSettings();
    std::vector<standin::Call> creates = standin::CallsTo("RegCreateKeyExA");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0].args,
              (std::vector<std::string>{"HKCU", expected::ProductKey, "0", "REG_SZ", "0", "983103",
                                        "(null)", "ptr", "ptr"}));
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"Result = 0"}));

    std::vector<standin::Call> sets = standin::CallsTo("RegSetValueExA");
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].args, (std::vector<std::string>{"ptr", expected::LogDirValue, "0", "1",
                                                      LogDir("C:\\WINDOWS"), "11"}));
    EXPECT_EQ(sets[1].args, (std::vector<std::string>{"ptr", expected::TrueTypeValue, "0", "1",
                                                      TrueType, std::to_string(TrueType.size())}));
    EXPECT_EQ(Value(expected::LogDirValue).type, (DWORD)REG_SZ);
    EXPECT_EQ(Value(expected::TrueTypeValue).data, TrueType);

    std::vector<standin::Call> ini = standin::CallsTo("WritePrivateProfileStringA");
    ASSERT_EQ(ini.size(), 1u);
    EXPECT_EQ(ini[0].args, (std::vector<std::string>{expected::IniSection, expected::IniKey,
                                                     expected::IniValue, IniPath}));
    EXPECT_EQ(standin::M().openKeys.size(), 1u) << "the key stays open";
}

TEST_F(SettingsTest, AFailedKeyCreationIsLoggedAndSkipsTheValues)
{
    standin::Fail("RegCreateKeyExA", ERROR_ACCESS_DENIED);
    WriteDriverSettings();
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"Result = 5"}));
    EXPECT_TRUE(standin::CallsTo("RegSetValueExA").empty());
    EXPECT_EQ(Ini(IniPath), expected::IniValue) << "the INI value is still written";
}

TEST_F(SettingsTest, ASecondRunOpensTheExistingKeyAndWritesTheSameData)
{
    WriteDriverSettings();
    standin::RegValue first = Value(expected::LogDirValue);
    WriteDriverSettings();
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"Result = 0", "Result = 0"}));
    EXPECT_EQ(Value(expected::LogDirValue).data, first.data);
    EXPECT_EQ(Value(expected::TrueTypeValue).data, TrueType);
    EXPECT_EQ(standin::M().registry.size(), 1u);
}

TEST_F(SettingsTest, LogDirFallsBackToTheWindowsDirectory)
{
    struct {
        const char *why;
        bool set;
        size_t length;
        bool fromWindir;
    } cases[] = {
        {"windir unset", false, 0, false},
        {"windir of 1023 characters fits", true, 1023, true},
        {"windir of 1024 characters does not fit", true, 1024, false},
        {"windir of 2000 characters", true, 2000, false},
    };
    for (auto &c : cases) {
        StartOver();
        strcpy(MessageBuffer, expected::InstallQuestionText);
        std::string windir = "C:\\" + std::string(c.length > 3 ? c.length - 3 : 0, 'w');
        if (c.set)
            standin::M().environment["windir"] = windir;
        else
            standin::M().environment.erase("windir");
        standin::M().windowsDirectory = "C:\\WINNT";
        WriteDriverSettings();
        EXPECT_EQ(Value(expected::LogDirValue).data, LogDir(c.fromWindir ? windir : "C:\\WINNT"))
            << c.why;
        EXPECT_EQ(standin::CallsTo("GetEnvironmentVariableA")[0].args,
                  (std::vector<std::string>{"windir", "1024"}));
    }
}

TEST_F(SettingsTest, AWindowsDirectoryTooLongForTheIniPathSkipsOnlyTheIni)
{
    // 128 bytes hold the directory, "\", the INI file's name and the NUL.
    const size_t longest = 128 - 2 - strlen(expected::IniName);
    struct {
        size_t length;
        bool written;
    } cases[] = {{longest, true}, {longest + 1, false}, {300, false}};
    for (auto &c : cases) {
        StartOver();
        std::string directory = "C:\\" + std::string(c.length - 3, 'W');
        standin::M().windowsDirectory = directory;
        standin::M().environment.erase("windir");
        Answer({IDOK, IDNO});
        EXPECT_EQ(RunInstaller(), 1) << c.length;
        std::vector<standin::Call> ini = standin::CallsTo("WritePrivateProfileStringA");
        if (c.written) {
            ASSERT_EQ(ini.size(), 1u);
            EXPECT_EQ(ini[0].args[3], directory + "\\" + expected::IniName);
        } else {
            EXPECT_TRUE(ini.empty()) << c.length << ": a cut INI path was used";
        }
        EXPECT_EQ(Value(expected::LogDirValue).data, LogDir(directory)) << c.length;
        EXPECT_EQ(Value(expected::TrueTypeValue).data, TrueType);
    }
}

} // namespace
