#include "base/shell_link.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace kestrawl::base {
namespace {

using testing::TempDir;

constexpr const char* kLnkInfo = "/usr/bin/lnkinfo";

ShellLink SampleLink() {
  ShellLink link;
  link.target = "C:\\Program Files\\Kestrel Tools\\tool.exe";
  link.arguments = "/mode fast \"C:\\Data Files\\in.txt\"";
  link.working_folder = "C:\\Program Files\\Kestrel Tools\\";
  link.description = "Starts the tool";
  link.icon_file = "C:\\Program Files\\Kestrel Tools\\icons.dll";
  link.icon_index = 3;
  link.show_command = 3;
  link.target_size = 123456;
  link.target_write_time = 133000000000000000ULL;  // 2022-06
  return link;
}

// An independent reader must accept what we write and see every field.
TEST(ShellLinkTest, LnkInfoReadsTheWrittenLink) {
  if (access(kLnkInfo, X_OK) != 0) GTEST_SKIP() << "lnkinfo is not installed";
  TempDir tmp;
  const std::string file = tmp / "tool.lnk";
  testing::WriteHostFile(file, EncodeShellLink(SampleLink()));
  testing::RunResult r = testing::Run({kLnkInfo, file});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  for (const char* expected : {
           "C:\\Program Files\\Kestrel Tools\\tool.exe",  // local path
           "Starts the tool",
           "/mode fast \"C:\\Data Files\\in.txt\"",
           "Working directory\t\t: C:\\Program Files\\Kestrel Tools\\",
           "Icon location\t\t\t: C:\\Program Files\\Kestrel Tools\\icons.dll",
           "Kestrel Tools",  // long name of a folder item in the ID list
       }) {
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  }
  EXPECT_EQ(r.err.find("rror"), std::string::npos) << r.err;
}

TEST(ShellLinkTest, LnkInfoReadsANetworkTarget) {
  if (access(kLnkInfo, X_OK) != 0) GTEST_SKIP() << "lnkinfo is not installed";
  TempDir tmp;
  ShellLink link;
  link.target = "\\\\server\\share\\dir\\app.exe";
  const std::string file = tmp / "net.lnk";
  testing::WriteHostFile(file, EncodeShellLink(link));
  testing::RunResult r = testing::Run({kLnkInfo, file});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("\\\\server\\share"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("dir\\app.exe"), std::string::npos) << r.out;
}

TEST(ShellLinkTest, RoundTrip) {
  ShellLink drive = SampleLink();
  ShellLink unicode = SampleLink();
  unicode.target = "D:\\Données\\日本語\\Grüße 😀.exe";
  unicode.arguments = "--titre «été»";
  unicode.working_folder = "D:\\Données\\";
  unicode.description = "Ünïcödé 😀 description";
  unicode.icon_file = "D:\\Données\\icône.ico";
  unicode.icon_index = -7;
  unicode.show_command = 7;
  ShellLink folder;
  folder.target = "C:\\Users\\Public\\Documents";
  folder.target_attributes = 0x10;
  ShellLink network;
  network.target = "\\\\server\\share\\sub dir\\app.exe";
  ShellLink share_only;
  share_only.target = "\\\\server\\share";
  ShellLink relative;
  relative.target = "bin\\app.exe";
  relative.arguments = "x";
  ShellLink empty;
  for (const ShellLink& link : {drive, unicode, folder, network, share_only, relative, empty}) {
    std::optional<ShellLink> back = DecodeShellLink(EncodeShellLink(link));
    ASSERT_TRUE(back.has_value()) << link.target;
    EXPECT_EQ(*back, link) << link.target;
  }
}

TEST(ShellLinkTest, OverlongTextIsCutWithoutSplittingASurrogatePair) {
  ShellLink link;
  link.target = "C:\\a.exe";
  link.description = std::string(0xFFFE, 'x') + "😀";  // the pair straddles the limit
  std::optional<ShellLink> back = DecodeShellLink(EncodeShellLink(link));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->description, std::string(0xFFFE, 'x'));
}

void Put32(std::string& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}

TEST(ShellLinkTest, DamagedInputIsRefused) {
  const std::string good = EncodeShellLink(SampleLink());
  ASSERT_TRUE(DecodeShellLink(good).has_value());

  // Every cut, from the empty file to one byte short of the end.
  for (size_t length = 0; length < good.size(); ++length) {
    EXPECT_FALSE(DecodeShellLink(std::string_view(good).substr(0, length)).has_value())
        << "cut at " << length;
  }

  const size_t id_list = 0x4C;
  const uint16_t id_list_size =
      static_cast<uint8_t>(good[id_list]) | (static_cast<uint8_t>(good[id_list + 1]) << 8);
  const size_t link_info = id_list + 2 + id_list_size;
  struct Damage {
    const char* what;
    size_t at;
    uint32_t value;
  };
  const Damage cases[] = {
      {"header size", 0, 0x4D},
      {"class identifier", 4, 0x12345678},
      {"ID list size past the end", id_list, 0xFFFF},
      {"first ID item past the list", id_list + 2, 0x7FFF},
      {"ID item of size 1", id_list + 2, 0x0001},
      {"link info size past the end", link_info, 0x7FFFFFFF},
      {"link info size below its header", link_info, 8},
      {"link info header past the block", link_info + 4, 0x1000},
      {"UTF-16 path offset past the block", link_info + 28, 0xFFFFFFF0},
      {"suffix offset past the block", link_info + 32, 0x7FFFFFFF},
  };
  for (const Damage& d : cases) {
    std::string bytes = good;
    if (d.value <= 0xFFFF && d.at >= id_list && d.at < link_info) {
      bytes[d.at] = static_cast<char>(d.value);
      bytes[d.at + 1] = static_cast<char>(d.value >> 8);
    } else {
      Put32(bytes, d.at, d.value);
    }
    EXPECT_FALSE(DecodeShellLink(bytes).has_value()) << d.what;
  }

  // A string count larger than what follows.
  ShellLink plain;
  plain.target = "app.exe";  // string data only: relative path right after the header
  std::string bytes = EncodeShellLink(plain);
  bytes[0x4C] = '\xFF';
  bytes[0x4D] = '\x7F';
  EXPECT_FALSE(DecodeShellLink(bytes).has_value());
  // An extra data block that claims more than there is.
  bytes = EncodeShellLink(plain);
  Put32(bytes, bytes.size() - 4, 0x100);
  EXPECT_FALSE(DecodeShellLink(bytes).has_value());
  // Not a link at all.
  EXPECT_FALSE(DecodeShellLink("MZ\x90\x00 this is not a link").has_value());
}

}  // namespace
}  // namespace kestrawl::base
