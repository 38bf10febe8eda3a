// Initialisation-file semantics: reading, writing, atomic replacement and
// damaged files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ini.h"

namespace fs = std::filesystem;
using platform::IniFile;

namespace {

class TempDir {
public:
    TempDir() {
        std::string t = (fs::temp_directory_path() / "platform-ini-XXXXXX").string();
        path_ = ::mkdtemp(t.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string File(const std::string &name) const { return (fs::path(path_) / name).string(); }
    const std::string &Path() const { return path_; }

private:
    std::string path_;
};

void WriteRaw(const std::string &path, const std::string &data) {
    std::ofstream out(path, std::ios::binary);
    out << data;
}

std::string ReadRaw(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

TEST(IniRead, TableOfLines) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteRaw(path,
             "; leading comment\r\n"
             "orphan=before any section\r\n"
             "[AppData]\r\n"
             "  Volume  =  150  \r\n"
             "\tVideoQuality\t=\tabc\r\n"
             "Empty=\r\n"
             "Spaced = a value with  inner  blanks \r\n"
             "no equals sign here\r\n"
             ";Commented=1\r\n"
             "Dup=first\r\n"
             "dup=second\r\n"
             "Eq=a=b\r\n"
             "=novalue\r\n"
             "[ Second ]\n"
             "Key=2\n"
             "[appdata]\n"
             "Later=ignored, first section wins\n"
             "[Last]\n"
             "Tail=no newline at end");
    IniFile ini(path);
    struct Case {
        const char *section, *key, *expected;
    } cases[] = {
        {"AppData", "Volume", "150"},
        {"APPDATA", "volume", "150"},
        {"AppData", "VideoQuality", "abc"},
        {"AppData", "Empty", ""},
        {"AppData", "Spaced", "a value with  inner  blanks"},
        {"AppData", "no equals sign here", "<def>"},
        {"AppData", ";Commented", "<def>"},
        {"AppData", "Commented", "<def>"},
        {"AppData", "Dup", "first"},
        {"AppData", "Eq", "a=b"},
        {"AppData", "", "<def>"},
        {"AppData", "orphan", "<def>"},
        {"AppData", "Later", "<def>"},
        {"Second", "Key", "2"},
        {"Last", "Tail", "no newline at end"},
        {"Missing", "Key", "<def>"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ini.ReadString(c.section, c.key, "<def>"), c.expected) << c.section << "/" << c.key;
    EXPECT_EQ(ini.SectionKeys("appdata"),
              (std::vector<std::string>{"Volume", "VideoQuality", "Empty", "Spaced", "Dup", "Eq"}));
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"AppData", "Second", "Last"}));
}

TEST(IniRead, ByteOrderMarkBeforeTheFirstSection) {
    TempDir dir;
    const std::string path = dir.File("bom.ini");
    WriteRaw(path, "\xEF\xBB\xBF[AppData]\r\nVolume=7\r\n");
    IniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("AppData", "Volume", 0), 7);
    ASSERT_TRUE(ini.WriteInteger("AppData", "Volume", 8));
    EXPECT_EQ(IniFile(path).ReadInteger("AppData", "Volume", 0), 8);
}

TEST(IniRead, IntegersAndBooleans) {
    struct Case {
        const char *text;
        int expected;  // default is -7
    } cases[] = {
        {"0", 0},         {"42", 42},      {"-15", -15},    {"+8", 8},
        {"2147483647", 2147483647},        {"-2147483648", -2147483647 - 1},
        {"2147483648", -7}, {"99999999999999999999", -7},
        {"abc", -7},      {"", -7},        {"12x", -7},     {"x12", -7},
        {"1 2", -7},      {"0x10", -7},    {"-", -7},       {"+", -7},
        {"1.5", -7},      {"  33  ", 33},  // blanks around the value are trimmed
    };
    TempDir dir;
    const std::string path = dir.File("n.ini");
    std::string content = "[N]\n";
    for (std::size_t i = 0; i < std::size(cases); ++i)
        content += "k" + std::to_string(i) + "=" + cases[i].text + "\n";
    WriteRaw(path, content);
    IniFile ini(path);
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ini.ReadInteger("N", "k" + std::to_string(i), -7), cases[i].expected) << '"' << cases[i].text << '"';
    EXPECT_EQ(ini.ReadInteger("N", "missing", 5), 5);

    WriteRaw(path, "[B]\nseven=7\nzero=0\nneg=-1\nbad=yes\n");
    ini.Reload();
    EXPECT_TRUE(ini.ReadBool("B", "seven", false));
    EXPECT_FALSE(ini.ReadBool("B", "zero", true));
    EXPECT_TRUE(ini.ReadBool("B", "neg", false));
    EXPECT_TRUE(ini.ReadBool("B", "bad", true));
    EXPECT_FALSE(ini.ReadBool("B", "bad", false));
}

TEST(IniWrite, CreatesFileAndSectionsAndKeepsOtherLines) {
    TempDir dir;
    const std::string path = dir.File("w.ini");
    IniFile ini(path);
    EXPECT_FALSE(fs::exists(path));
    ASSERT_TRUE(ini.WriteString("AppData", "Volume", "100"));
    ASSERT_TRUE(ini.WriteInteger("AppData", "VideoQuality", 900));
    ASSERT_TRUE(ini.WriteBool("Other", "Flag", true));
    EXPECT_EQ(ReadRaw(path), "[AppData]\nVolume=100\nVideoQuality=900\n[Other]\nFlag=1\n");

    // Existing key keeps its spelling and place; a new key joins the end of
    // its section, before the blank line that separates sections.
    WriteRaw(path, "; keep me\n[AppData]\nVOLUME=1\nxyz garbage\n\n[Other]\nFlag=0\n");
    ASSERT_TRUE(ini.WriteString("appdata", "volume", "2"));
    ASSERT_TRUE(ini.WriteString("AppData", "New", "3"));
    EXPECT_EQ(ReadRaw(path), "; keep me\n[AppData]\nVOLUME=2\nxyz garbage\nNew=3\n\n[Other]\nFlag=0\n");

    // A second object on the same file sees and keeps the first one's writes.
    IniFile other(path);
    ASSERT_TRUE(other.WriteString("Other", "Flag", "1"));
    ASSERT_TRUE(ini.WriteString("AppData", "After", "4"));
    IniFile check(path);
    EXPECT_EQ(check.ReadString("Other", "Flag", ""), "1");
    EXPECT_EQ(check.ReadString("AppData", "After", ""), "4");
}

TEST(IniWrite, EraseSectionAndDeleteKey) {
    TempDir dir;
    const std::string path = dir.File("e.ini");
    WriteRaw(path, "[A]\nx=1\n[PSPConfig]\nPSPConfigCount=6\n; note\nMine=1|2|\n[B]\ny=2\n[pspconfig]\nz=3\n");
    IniFile ini(path);
    ASSERT_TRUE(ini.EraseSection("PSPConfig"));
    EXPECT_EQ(ReadRaw(path), "[A]\nx=1\n[B]\ny=2\n");
    ASSERT_TRUE(ini.EraseSection("Missing"));
    ASSERT_TRUE(ini.DeleteKey("A", "X"));
    EXPECT_EQ(ReadRaw(path), "[A]\n[B]\ny=2\n");
    ASSERT_TRUE(ini.WriteString("PSPConfig", "PSPConfigCount", "5"));
    EXPECT_EQ(IniFile(path).ReadInteger("PSPConfig", "PSPConfigCount", 0), 5);
}

TEST(IniWrite, RefusesWhatCannotBeReadBack) {
    TempDir dir;
    const std::string path = dir.File("r.ini");
    IniFile ini(path);
    ASSERT_TRUE(ini.WriteString("S", "ok", "1"));
    const std::string before = ReadRaw(path);
    struct Case {
        const char *section, *key, *value;
    } cases[] = {
        {"S", "a=b", "1"}, {"S", "", "1"},     {"S", "  ", "1"},     {"S", "[x", "1"},
        {"S", ";x", "1"},  {"S", "k\ny", "1"}, {"S", "k", "v\nw=1"}, {"S", "k", "v\r"},
        {"", "k", "1"},    {"a]b", "k", "1"},  {"s\n", "k", "1"},
    };
    for (const Case &c : cases) EXPECT_FALSE(ini.WriteString(c.section, c.key, c.value)) << c.key;
    EXPECT_EQ(ReadRaw(path), before);
    EXPECT_TRUE(platform::IsStorableIniKey("Mine"));
    EXPECT_FALSE(platform::IsStorableIniKey("a=b"));
}

TEST(IniWrite, FailureReportsFalseAndLeavesFileAlone) {
    TempDir dir;
    // A folder that cannot exist: its parent is a regular file. This holds
    // for root too, unlike permission bits.
    const std::string blocker = dir.File("blocker");
    WriteRaw(blocker, "x");
    IniFile nowhere(blocker + "/sub/config.ini");
    EXPECT_FALSE(nowhere.WriteString("S", "k", "v"));
    EXPECT_FALSE(nowhere.DeleteKey("S", "k") && nowhere.WriteBool("S", "b", true));
    EXPECT_EQ(nowhere.ReadString("S", "k", "def"), "def");

    // A folder standing where the file should be: never replaced.
    fs::create_directory(dir.File("isdir.ini"));
    IniFile dirIni(dir.File("isdir.ini"));
    EXPECT_FALSE(dirIni.WriteString("S", "k", "v"));
    EXPECT_TRUE(fs::is_directory(dir.File("isdir.ini")));

    // Nothing temporary is left behind by a successful or failed write.
    IniFile good(dir.File("good.ini"));
    ASSERT_TRUE(good.WriteString("S", "k", "v"));
    int entries = 0;
    for (const auto &e : fs::directory_iterator(dir.Path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 3);  // blocker, isdir.ini, good.ini
}

TEST(IniWrite, FullDiskKeepsTheOldFile) {
    TempDir dir;
    const std::string path = dir.File("full.ini");
    const std::string original = "[AppData]\nVolume=100\n";
    WriteRaw(path, original);
    IniFile ini(path);
    // A file-size limit stands in for a full disk: the write of the new
    // contents fails part way.
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool wrote = ini.WriteString("AppData", "Big", std::string(200, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(ReadRaw(path), original);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
    EXPECT_TRUE(ini.WriteString("AppData", "Small", "1"));
}

TEST(IniWrite, FileModeIsKept) {
    TempDir dir;
    const std::string path = dir.File("m.ini");
    WriteRaw(path, "[S]\nk=1\n");
    ::chmod(path.c_str(), 0640);
    IniFile ini(path);
    ASSERT_TRUE(ini.WriteString("S", "k", "2"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(IniDamaged, BinaryTruncatedAndMangledFilesReadAsFarAsTheyParse) {
    TempDir dir;
    const std::string path = dir.File("bad.ini");
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::string good = "[AppData]\r\nVolume=150\r\nVideoQuality=700\r\n[PSPConfig]\r\nPSPConfigCount=6\r\n";
    std::vector<std::string> samples;
    for (std::size_t cut = 0; cut <= good.size(); ++cut) samples.push_back(good.substr(0, cut));
    for (int n = 0; n < 20; ++n) {
        std::string junk;
        for (int i = 0; i < 2000; ++i) junk += char(byte(rng));
        samples.push_back(junk);
        samples.push_back(good + junk);
    }
    samples.push_back(std::string("[AppData]\nVolume=1\0\0\0=\n", 24));
    samples.push_back("[[[[]]]]\n[\n]\n=\n==\n[AppData\nVolume=3\n");
    samples.push_back(std::string(100000, '['));
    for (const std::string &data : samples) {
        WriteRaw(path, data);
        IniFile ini(path);
        (void)ini.ReadString("AppData", "Volume", "");
        (void)ini.ReadInteger("PSPConfig", "PSPConfigCount", 5);
        (void)ini.SectionKeys("AppData");
        // Writing into a damaged file keeps it readable for the written key.
        ASSERT_TRUE(ini.WriteInteger("AppData", "Written", 9));
        EXPECT_EQ(IniFile(path).ReadInteger("AppData", "Written", 0), 9);
    }
    // The good prefix parses up to where it was cut.
    WriteRaw(path, good + std::string("\x01\xff\xfe garbage", 12));
    IniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("AppData", "Volume", 0), 150);
    EXPECT_EQ(ini.ReadInteger("PSPConfig", "PSPConfigCount", 0), 6);
    // A header without its closing bracket still names the section.
    WriteRaw(path, "[AppData\nVolume=3\n");
    EXPECT_EQ(IniFile(path).ReadInteger("AppData", "Volume", 0), 3);
}

TEST(IniFreeFunctions, ReadAndWriteThroughPath) {
    TempDir dir;
    const std::string path = dir.File("f.ini");
    EXPECT_EQ(platform::GetPrivateProfileString("S", "k", "def", path), "def");
    EXPECT_TRUE(platform::WritePrivateProfileString("S", "k", " padded ", path));
    EXPECT_EQ(platform::GetPrivateProfileString("s", "K", "def", path), "padded");
    EXPECT_TRUE(platform::WritePrivateProfileString("S", "n", "12x", path));
    EXPECT_EQ(platform::GetPrivateProfileInt("S", "n", 3, path), 3);
    EXPECT_EQ(platform::GetPrivateProfileSectionKeys("S", path), (std::vector<std::string>{"k", "n"}));
    EXPECT_TRUE(platform::ErasePrivateProfileSection("S", path));
    EXPECT_TRUE(platform::GetPrivateProfileSectionKeys("S", path).empty());
}
