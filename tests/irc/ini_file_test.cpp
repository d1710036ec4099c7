#include "irc/session/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace irc {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;  // a fresh directory of our own, on Linux and Windows alike
    for (int tries = 0; tries < 100 && dir_.empty(); ++tries) {
      const fs::path candidate = fs::temp_directory_path() / ("zelk_ini_" + std::to_string(random()));
      if (fs::create_directory(candidate)) dir_ = candidate;
    }
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Writes the text to a fixture file and returns the file.
  IniFile Write(const std::string& text, const std::string& name = "door.ini") {
    std::ofstream out(dir_ / name, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return IniFile((dir_ / name).string());
  }

  fs::path dir_;
};

TEST_F(IniFileTest, ReadsTheDocumentedExample) {
  IniFile ini = Write(
      "[general]\r\n"
      "username=Joe Smith\r\n"
      "handle=Wolf\r\n"
      "idletime=900\r\n"
      "\r\n"
      "[MyNet]\r\n"
      "hostA=6667\r\n"
      "hostB=\r\n"
      "channels=#chat,#help\r\n"
      "pass=0\r\n");

  EXPECT_EQ(ini.ReadString("general", "username", ""), "Joe Smith");
  EXPECT_EQ(ini.ReadString("general", "handle", ""), "Wolf");
  EXPECT_EQ(ini.ReadInteger("general", "idletime", 600), 900);
  EXPECT_EQ(ini.ReadInteger("general", "ctcpdelay", 10), 10);
  EXPECT_FALSE(ini.ReadBool("general", "server", false));

  EXPECT_EQ(ini.ReadSectionNames(), (Names{"general", "MyNet"}));
  EXPECT_EQ(ini.ReadSectionKeys("MyNet"), (Names{"hostA", "hostB", "channels", "pass"}));
  EXPECT_EQ(ini.ReadInteger("MyNet", "hostA", 6667), 6667);
  EXPECT_EQ(ini.ReadInteger("MyNet", "hostB", 6667), 6667);
  EXPECT_EQ(ini.ReadString("MyNet", "hostB", "unset"), "");
  EXPECT_EQ(ini.ReadString("MyNet", "channels", ""), "#chat,#help");
  EXPECT_FALSE(ini.ReadBool("MyNet", "pass", false));
}

TEST_F(IniFileTest, SyntaxRules) {
  IniFile ini = Write(
      "early=before any section\n"
      "[  Net One  ] trailing text\n"
      "  Spaced Key   =   spaced value   \n"
      "quoted=\"  inside quotes  \"\n"
      "inner=\"a\"b\"\n"
      "lone=\"\n"
      "open=\"unterminated\n"
      "empty=\n"
      "inline=a ; b\n"
      "; comment=not a key\n"
      "   ;indented=not a key either\n"
      "no equals sign here\n"
      "=empty key\n"
      "dup=first\n"
      "DUP=second\n"
      "eq=a=b\n"
      "\tTabbed\t=\tx\t\n"
      "[broken header\n"
      "after_broken=still Net One\n"
      "[Other]\n"
      "dup=other section\n"
      "[NET ONE]\n"
      "dup=third\n"
      "late=merged\n"
      "last=no final newline");

  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {"net one", "SPACED KEY", "spaced value"},
      {"  Net One ", " Spaced Key ", "spaced value"},
      {"Net One", "quoted", "  inside quotes  "},
      {"Net One", "inner", "a\"b"},
      {"Net One", "lone", "\""},
      {"Net One", "open", "\"unterminated"},
      {"Net One", "empty", ""},
      {"Net One", "inline", "a ; b"},
      {"Net One", "; comment", "<def>"},
      {"Net One", "no equals sign here", "<def>"},
      {"Net One", "", "<def>"},
      {"Net One", "dup", "first"},
      {"Net One", "eq", "a=b"},
      {"Net One", "tabbed", "x"},
      {"Net One", "after_broken", "still Net One"},
      {"Net One", "late", "merged"},
      {"Net One", "last", "no final newline"},
      {"Other", "dup", "other section"},
      {"", "early", "<def>"},
      {"Missing", "dup", "<def>"},
      {"Net", "dup", "<def>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ini.ReadString(c.section, c.key, "<def>"), c.expected) << c.section << " / " << c.key;
  }

  EXPECT_EQ(ini.ReadSectionNames(), (Names{"Net One", "Other"}));
  EXPECT_EQ(ini.ReadSectionKeys("NET one"),
            (Names{"Spaced Key", "quoted", "inner", "lone", "open", "empty", "inline", "dup", "eq", "Tabbed",
                   "after_broken", "late", "last"}));
  // A UTF-8 byte order mark does not hide the first section.
  EXPECT_EQ(Write("\xEF\xBB\xBF[bom]\nk=v\n", "bom.ini").ReadSectionNames(), (Names{"bom"}));
}

TEST_F(IniFileTest, NetworkKeysInFileOrderIncludingChannelsAndPass) {
  IniFile ini = Write(
      "[General]\n"
      "server=1\n"
      "[EFnet]\n"
      "Channels=#a\n"
      "irc.one.net=6668\n"
      "PASS=yes\n"
      "127.0.0.1=\n"
      "IRC.ONE.NET=7000\n"
      "[empty]\n"
      "[]\n"
      "hidden=1\n"
      "[efnet]\n"
      "irc.two.net=6669\n");

  EXPECT_EQ(ini.ReadSectionNames(), (Names{"General", "EFnet", "empty"}));
  EXPECT_EQ(ini.ReadSectionKeys("efnet"),
            (Names{"Channels", "irc.one.net", "PASS", "127.0.0.1", "irc.two.net"}));
  EXPECT_EQ(ini.ReadInteger("EFNET", "irc.one.net", 6667), 6668);
  EXPECT_EQ(ini.ReadInteger("EFnet", "irc.two.net", 6667), 6669);
  EXPECT_EQ(ini.ReadString("EFnet", "channels", ""), "#a");
  EXPECT_TRUE(ini.ReadBool("EFnet", "pass", false));  // yes: switches take words too
  EXPECT_TRUE(ini.ReadBool("general", "SERVER", false));
  EXPECT_TRUE(ini.ReadSectionKeys("empty").empty());
  EXPECT_TRUE(ini.ReadSectionKeys("").empty());
  EXPECT_TRUE(ini.ReadSectionKeys("missing").empty());
}

TEST_F(IniFileTest, IntegerAndBooleanValues) {
  struct Case {
    const char* value;
    int integer;  // read with default 6667
    bool boolean_default_false;
    bool boolean_default_true;
  };
  const Case cases[] = {
      {"900", 900, true, true},
      {"0", 0, false, false},
      {"1", 1, true, true},
      {"0x1", 1, true, true},
      {"0x1F", 31, true, true},
      {"0XaB", 171, true, true},
      {"-5", -5, true, true},
      {"+7", 7, true, true},
      {"007", 7, true, true},
      {"\"42\"", 42, true, true},
      {"2147483647", INT_MAX, true, true},
      {"-2147483648", INT_MIN, true, true},
      {"0xFFFFFFFF", -1, true, true},
      {"", 6667, false, true},
      {"yes", 6667, true, true},
      {"true", 6667, true, true},
      {" On ", 6667, true, true},
      {"OFF", 6667, false, false},
      {"no", 6667, false, false},
      {"maybe", 6667, false, true},
      {"12abc", 6667, false, true},
      {"1 2", 6667, false, true},
      {"0x", 6667, false, true},
      {"0x1G", 6667, false, true},
      {"-", 6667, false, true},
      {"1.5", 6667, false, true},
      {"2147483648", 6667, false, true},
      {"-2147483649", 6667, false, true},
      {"0x100000000", 6667, false, true},
      {"99999999999999999999", 6667, false, true},
  };
  std::string text = "[n]\n";
  for (size_t i = 0; i < std::size(cases); ++i)
    text += "k" + std::to_string(i) + " = " + cases[i].value + "\n";
  IniFile ini = Write(text);

  for (size_t i = 0; i < std::size(cases); ++i) {
    std::string key = "K" + std::to_string(i);
    EXPECT_EQ(ini.ReadInteger("N", key, 6667), cases[i].integer) << cases[i].value;
    EXPECT_EQ(ini.ReadBool("n", key, false), cases[i].boolean_default_false) << cases[i].value;
    EXPECT_EQ(ini.ReadBool("n", key, true), cases[i].boolean_default_true) << cases[i].value;
  }
  EXPECT_EQ(ini.ReadInteger("n", "missing", 6667), 6667);
  EXPECT_TRUE(ini.ReadBool("n", "missing", true));
}

TEST_F(IniFileTest, MissingOrUnreadableFileGivesDefaults) {
  fs::create_directory(dir_ / "adir.ini");
  for (const IniFile& ini : {IniFile((dir_ / "none.ini").string()), IniFile((dir_ / "adir.ini").string()),
                             Write("", "empty.ini"), Write("no=sections\nat all\n", "nosect.ini")}) {
    SCOPED_TRACE(ini.Path());
    EXPECT_EQ(ini.ReadString("general", "handle", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("general", "idletime", 600), 600);
    EXPECT_FALSE(ini.ReadBool("general", "server", false));
    EXPECT_TRUE(ini.ReadSectionNames().empty());
    EXPECT_TRUE(ini.ReadSectionKeys("general").empty());
  }
}

TEST_F(IniFileTest, BinaryContentReadsWhatCanBeRead) {
  std::string garbage;
  unsigned seed = 12345;
  for (int i = 0; i < 200000; ++i) {
    seed = seed * 1103515245u + 12345u;
    garbage.push_back(static_cast<char>(seed >> 16));
  }
  std::string text = garbage + "\n[net]\nhost=7000\nnul=a";
  text.push_back('\0');
  text += "b\xFF\xFE\n" + garbage;
  IniFile ini = Write(text);

  EXPECT_EQ(ini.ReadInteger("net", "host", 6667), 7000);
  EXPECT_EQ(ini.ReadString("net", "nul", ""), "a");  // a NUL ends the value
  Names keys = ini.ReadSectionKeys("net");
  ASSERT_GE(keys.size(), 2u);
  EXPECT_EQ(keys[0], "host");
  EXPECT_EQ(keys[1], "nul");
  Names sections = ini.ReadSectionNames();
  EXPECT_NE(std::find(sections.begin(), sections.end(), "net"), sections.end());
}

// Everything here fits in the part of the file that is read (see FileIsReadUpToItsSizeBound).
TEST_F(IniFileTest, LongLinesAreCutNotFatal) {
  const std::string mb(256 << 10, 'x');
  std::string text = "[net]\n";
  text += "big=" + mb + "\n";
  text += "quotedbig=\"" + mb + "\"   \n";
  text += "exact=" + std::string(2047, 'e') + "\n";
  text += "over=" + std::string(2048, 'o') + "\n";
  text += mb + "\n";                      // no "="
  text += mb + "=value of a huge key\n";  // key too long to ever be listed
  text += "padded" + std::string(256 << 10, ' ') + "=padded value\n";
  text += "after=ok\n";
  text += "[" + mb + "]\n";  // section name too long for the list
  text += "inlong=1\n";
  text += "[tail]\n";
  text += std::string(1 << 20, ';') + "\n";    // 1 MiB comment line
  text += "end=" + std::string(1 << 20, 'z');  // 1 MiB value, no final newline
  IniFile ini = Write(text);

  EXPECT_EQ(ini.ReadString("net", "big", ""), std::string(2047, 'x'));
  EXPECT_EQ(ini.ReadString("net", "quotedbig", ""), std::string(2047, 'x'));
  EXPECT_EQ(ini.ReadString("net", "exact", ""), std::string(2047, 'e'));
  EXPECT_EQ(ini.ReadString("net", "over", ""), std::string(2047, 'o'));
  EXPECT_EQ(ini.ReadString("net", "padded", ""), "padded value");
  EXPECT_EQ(ini.ReadString("net", "after", ""), "ok");
  EXPECT_EQ(ini.ReadString("tail", "end", ""), std::string(2047, 'z'));
  EXPECT_EQ(ini.ReadString("net", "inlong", "<def>"), "<def>");

  // The over-long key fills the list: later keys are not seen, as with a full buffer.
  EXPECT_EQ(ini.ReadSectionKeys("net"), (Names{"big", "quotedbig", "exact", "over"}));
  EXPECT_EQ(ini.ReadSectionNames(), (Names{"net"}));
  EXPECT_EQ(ini.ReadString("x", "y", std::string(3000, 'd')), std::string(2047, 'd'));
}

// Only the first 4 MiB are read, as if the file ended there; a line cut at the bound ends there.
TEST_F(IniFileTest, FileIsReadUpToItsSizeBound) {
  std::string text = "[general]\nhandle=Wolf\n;";
  text.append(IniFile::kMaxFileBytes - text.size() - 10, ';');
  text += "\nlast=0123456789\n[late]\nidletime=5\n";
  IniFile ini = Write(text);
  EXPECT_EQ(ini.ReadString("general", "handle", ""), "Wolf");
  EXPECT_EQ(ini.ReadString("general", "last", ""), "0123");
  EXPECT_EQ(ini.ReadInteger("late", "idletime", 600), 600);
  EXPECT_EQ(ini.ReadSectionNames(), (Names{"general"}));
}

// A device, a pipe or a link to one in the INI file's place reads as no file at all, at once:
// neither an endless device nor a pipe without a writer holds the door up.
TEST_F(IniFileTest, OnlyRegularFilesAreRead) {
  Write("[general]\nhandle=Wolf\n", "real.ini");
  fs::create_symlink(dir_ / "real.ini", dir_ / "link.ini");
  fs::create_symlink("/dev/zero", dir_ / "zero.ini");
  ASSERT_EQ(mkfifo((dir_ / "fifo.ini").c_str(), 0600), 0);
  EXPECT_EQ(IniFile((dir_ / "link.ini").string()).ReadString("general", "handle", ""), "Wolf");
  for (const char* name : {"zero.ini", "fifo.ini"}) {
    SCOPED_TRACE(name);
    const IniFile ini((dir_ / name).string());
    EXPECT_EQ(ini.ReadString("general", "handle", "dflt"), "dflt");
    EXPECT_TRUE(ini.ReadSectionNames().empty());
  }
  EXPECT_EQ(IniFile("/dev/zero").ReadInteger("general", "idletime", 600), 600);
}

TEST_F(IniFileTest, NameListsHoldAtMost16384Bytes) {
  // Fifteen-character names take sixteen bytes each; one byte ends the list, so 1023 fit, not 1024.
  std::string sections;
  std::string keys = "[keys]\n";
  for (int i = 0; i < 2000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "name%011d", i);
    sections += "[" + std::string(name) + "]\n";
    keys += std::string(name) + "=1\n";
  }
  IniFile section_file = Write(sections, "sections.ini");
  Names names = section_file.ReadSectionNames();
  ASSERT_EQ(names.size(), 1023u);
  EXPECT_EQ(names.back(), "name00000001022");

  IniFile key_file = Write(keys, "keys.ini");
  Names key_names = key_file.ReadSectionKeys("keys");
  ASSERT_EQ(key_names.size(), 1023u);
  EXPECT_EQ(key_names.back(), "name00000001022");
  // Values of keys beyond the list are still readable.
  EXPECT_EQ(key_file.ReadInteger("keys", "name00000001999", 0), 1);

  // The one-pass read lists the same and still has the values beyond the list.
  EXPECT_EQ(section_file.ReadAll().sections.size(), 1023u);
  const IniContents contents = key_file.ReadAll();
  ASSERT_EQ(contents.sections.size(), 1u);
  const std::vector<IniSection::Key>& all = contents.sections[0].keys;
  ASSERT_EQ(all.size(), 2000u);
  EXPECT_TRUE(all[1022].listed);
  EXPECT_FALSE(all[1023].listed);
  EXPECT_EQ(*contents.sections[0].Find("NAME00000001999"), "1");
}

// The one-pass read gives what the single reads give: repeated sections continue, the first of two
// equal keys wins, quotes and blanks go, lines before the first section belong to none.
TEST_F(IniFileTest, OnePassReadAgreesWithTheSingleReads) {
  IniFile ini = Write(
      "orphan=1\n[Net]\nHost=7000\nchannels = \" #a \"\n[general]\nhandle=Wolf\n"
      "[NET]\nhost=8000\nnew=1\n[]\nhidden=1\n");
  const IniContents contents = ini.ReadAll();
  EXPECT_EQ(contents.state, IniFileState::kRead);
  ASSERT_EQ(contents.sections.size(), 2u);
  for (const IniSection& section : contents.sections) {
    Names listed;
    for (const IniSection::Key& key : section.keys) {
      listed.push_back(key.name);
      EXPECT_EQ(key.value, ini.ReadString(section.name, key.name, "<none>")) << key.name;
    }
    EXPECT_EQ(listed, ini.ReadSectionKeys(section.name)) << section.name;
  }
  EXPECT_EQ(*contents.Find("net")->Find("host"), "7000");
  EXPECT_EQ(*contents.Find("net")->Find("channels"), " #a ");
  EXPECT_EQ(contents.Find("net")->Find("orphan"), nullptr);
  EXPECT_EQ(contents.Find(""), nullptr);
  EXPECT_EQ(IniFile((dir_ / "none.ini").string()).ReadAll().state, IniFileState::kMissing);
}

TEST_F(IniFileTest, EveryReadSeesTheCurrentFile) {
  IniFile ini = Write("[general]\nidletime=900\n");
  EXPECT_EQ(ini.ReadInteger("general", "idletime", 600), 900);
  Write("[general]\nidletime=30\n[New]\n");
  EXPECT_EQ(ini.ReadInteger("general", "idletime", 600), 30);
  EXPECT_EQ(ini.ReadSectionNames(), (Names{"general", "New"}));
  fs::remove(ini.Path());
  EXPECT_EQ(ini.ReadInteger("general", "idletime", 600), 600);
}

TEST(IniPathForProgramTest, ReplacesOrAppendsTheExtension) {
  struct Case {
    const char* program;
    const char* ini;
  };
  const Case cases[] = {
      {"build/zelkirc", "build/zelkirc.ini"},
      {"/a.b/prog", "/a.b/prog.ini"},
      {"/x/door.exe", "/x/door.ini"},
      {"/x/a.tar.gz", "/x/a.tar.ini"},
      {"zelkirc", "zelkirc.ini"},
      {"/x/.hidden", "/x/.hidden.ini"},
      {"/x/prog.", "/x/prog.ini"},
      {"C:\\door\\ZELKIRC.EXE", "C:\\door\\ZELKIRC.ini"},
      {"dir.x\\prog", "dir.x\\prog.ini"},
  };
  for (const Case& c : cases) EXPECT_EQ(IniPathForProgram(c.program), c.ini) << c.program;
}

// With no INI file in either place the first place is named, in full: the one beside the path the
// BBS ran; a bare program name names no folder to look in.
TEST(IniPathForProgramTest, NeitherPlaceHasOne) {
  const std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(IniPathForRun("/nowhere/a/zelkirc", "/nowhere/b/zelkirc"), "/nowhere/b/zelkirc.ini");
  EXPECT_EQ(IniPathForRun("/nowhere/a/zelkirc", "./door/./zelkirc"), cwd + "/door/zelkirc.ini");
  EXPECT_EQ(IniPathForRun("/nowhere/a/zelkirc", ""), "/nowhere/a/zelkirc.ini");
}

}  // namespace
}  // namespace irc
