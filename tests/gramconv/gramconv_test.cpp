// gramconv as its users meet it: the program is run with arguments, without a terminal or
// on a pseudo-terminal that answers its questions, and its files and exit status examined.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "picture_fit.h"  // what the preview must show

namespace fs = std::filesystem;

namespace {

const char kUsageLine[] = "usage: gramconv export [--res 320|640] [--yes] GRAM_FILE BMP_FILE";
const char kExportDone[] = "BMPファイルへの書き込み完了";
const char kImportDone[] = "GRAMへの書き込み完了";
const char kNotBitmap[] = "BMPファイルではないようです。ファイル内容を確認をしてください。";

// Guards against a child that waits for input nobody gives; never reached when all is well.
const int kHangLimitMs = 30000;

struct Outcome {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

[[noreturn]] void ExecGramconv(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(GRAMCONV_PATH));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(GRAMCONV_PATH, argv.data());
  _exit(127);
}

int WaitFor(pid_t pid) {
  int raw = 0;
  if (waitpid(pid, &raw, 0) != pid || !WIFEXITED(raw)) return -1;
  return WEXITSTATUS(raw);
}

// A GRAM dump whose bytes follow a fixed pseudo-random sequence. With pairedBits every
// bit pair (0,1), (2,3), (4,5), (6,7) holds equal bits, the GRAM a 320-wide file keeps.
std::string SampleGram(uint32_t seed, bool pairedBits) {
  std::string gram(48000, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : gram) {
    x = x * 1664525u + 1013904223u;
    uint8_t b = uint8_t(x >> 24);
    if (pairedBits) {
      uint8_t paired = 0;
      for (int pair = 0; pair < 4; ++pair) {
        if (b & (1u << pair)) paired |= uint8_t(3u << (2 * pair));
      }
      b = paired;
    }
    c = char(b);
  }
  return gram;
}

// The 8 GRAM colours by number: bit 0 blue, bit 1 red, bit 2 green.
std::array<uint8_t, 3> Rgb(int colour) {
  return {uint8_t(colour & 2 ? 255 : 0), uint8_t(colour & 4 ? 255 : 0),
          uint8_t(colour & 1 ? 255 : 0)};
}

// A binary PPM picture of width x height whose pixel (x, y) has colour(x, y) as RGB.
template <typename ColourAt>
std::string Ppm(int width, int height, ColourAt colour) {
  std::string ppm = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (uint8_t c : colour(x, y)) ppm += char(c);
    }
  }
  return ppm;
}

// Eight vertical stripes, colours 0 to 7 from the left, on a picture of any size.
std::string StripesPpm(int width, int height) {
  return Ppm(width, height, [&](int x, int) { return Rgb(x * 8 / width); });
}

// The GRAM dump of those stripes: each stripe is 80 GRAM bits wide at either resolution.
std::string StripesGram() {
  std::string gram(48000, '\0');
  for (int plane = 0; plane < 3; ++plane) {
    for (int i = 0; i < 16000; ++i) {
      const int colour = (i % 80) / 10;
      if (colour & (1 << plane)) gram[size_t(plane * 16000 + i)] = char(0xFF);
    }
  }
  return gram;
}

// A 16-colour bitmap as another program writes one: its own palette order (here colour
// k of the stripes is palette entry 7 - k), the stripes' pixels indexing it.
std::string OtherPaletteStripesBmp() {
  auto le32 = [](uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  };
  std::string bmp = "BM" + le32(118 + 64000) + le32(0) + le32(118);
  bmp += le32(40) + le32(640) + le32(200) + std::string("\x01\x00\x04\x00", 4) + le32(0) +
         le32(64000) + le32(2835) + le32(2835) + le32(16) + le32(0);
  for (int entry = 0; entry < 16; ++entry) {
    const std::array<uint8_t, 3> rgb = Rgb(entry < 8 ? 7 - entry : 0);
    bmp += {char(rgb[2]), char(rgb[1]), char(rgb[0]), '\0'};
  }
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 640; x += 2) {
      const int index = 7 - x / 80;
      bmp += char(index << 4 | index);
    }
  }
  return bmp;
}

// Set bits in a GRAM dump, as a fraction of all its bits.
double BitShare(const std::string& gram) {
  size_t set = 0;
  for (const char c : gram) set += size_t(__builtin_popcount(uint8_t(c)));
  return double(set) / double(gram.size() * 8);
}

class Gramconv : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/gramconv-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path In(const std::string& name) const { return dir_ / name; }

  std::set<std::string> Listing() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  // Runs gramconv in the test folder without a terminal: no controlling terminal at all,
  // stdin at end of file, stdout and stderr captured.
  Outcome Run(const std::vector<std::string>& args) {
    const fs::path outPath = dir_ / ".." / (dir_.filename().string() + ".out");
    const fs::path errPath = dir_ / ".." / (dir_.filename().string() + ".err");
    const pid_t pid = fork();
    if (pid == 0) {
      setsid();
      if (chdir(dir_.c_str()) != 0) _exit(126);
      const int in = open("/dev/null", O_RDONLY);
      const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(in, 0);
      dup2(out, 1);
      dup2(err, 2);
      ExecGramconv(args);
    }
    Outcome outcome;
    outcome.status = WaitFor(pid);
    outcome.out = ReadFile(outPath);
    outcome.err = ReadFile(errPath);
    fs::remove(outPath);
    fs::remove(errPath);
    return outcome;
  }

  // Runs gramconv on a pseudo-terminal that has the typed lines waiting; everything the
  // program shows (and the terminal's echo) is returned in out.
  Outcome RunOnTerminal(const std::vector<std::string>& args, const std::string& typed) {
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(126);
      ExecGramconv(args);
    }
    Outcome outcome;
    if (pid < 0) return outcome;
    if (write(master, typed.data(), typed.size()) != ssize_t(typed.size())) {
      ADD_FAILURE() << "could not type into the terminal";
    }
    for (;;) {
      pollfd p = {master, POLLIN, 0};
      if (poll(&p, 1, kHangLimitMs) <= 0) {
        ADD_FAILURE() << "gramconv still waiting; output so far:\n" << outcome.out;
        kill(pid, SIGKILL);
        break;
      }
      char buffer[512];
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n <= 0) break;  // the program closed the terminal
      outcome.out.append(buffer, size_t(n));
    }
    close(master);
    outcome.status = WaitFor(pid);
    return outcome;
  }

  fs::path dir_;
};

bool Contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

// --- Arguments and exit statuses -------------------------------------------------------

TEST_F(Gramconv, HelpPrintsUsageOnStdoutAndSucceeds) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--help"}, {"-h"}, {"import", "--help"}, {"export", "a", "--help", "b"}}) {
    const Outcome r = Run(args);
    EXPECT_EQ(r.status, 0) << args[0];
    EXPECT_EQ(r.out.rfind(kUsageLine, 0), 0u) << r.out;
    EXPECT_TRUE(Contains(r.out, "gramconv import [--res 320|640] [--yes] BMP_FILE GRAM_FILE"));
    EXPECT_TRUE(Contains(r.out,
                         "gramconv fit [--res auto|320|640] "
                         "[--dither none|ordered|diffusion|bayer|best] "
                         "[--yes] PICTURE BMP_FILE"));
    EXPECT_TRUE(Contains(r.out, "PNM, PSD, WebP)")) << r.out;
    EXPECT_EQ(r.err, "");
  }
  EXPECT_TRUE(Listing().empty());
}

TEST_F(Gramconv, BadInvocationsAreUsageErrors) {
  WriteFile(In("gram.bin"), SampleGram(1, false));
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"convert", "gram.bin", "out.bmp"},
      {"export"},
      {"export", "gram.bin"},
      {"export", "gram.bin", "out.bmp", "extra.bmp"},
      {"export", "--res", "800", "gram.bin", "out.bmp"},
      {"export", "--res=200", "gram.bin", "out.bmp"},
      {"export", "gram.bin", "out.bmp", "--res"},
      {"import", "--force", "out.bmp", "gram.bin"},
      {"--yes", "export", "gram.bin", "out.bmp"},
      {"fit", "gram.bin"},
      {"fit", "--dither", "floyd", "gram.bin", "out.bmp"},
      {"fit", "--res", "480", "gram.bin", "out.bmp"},
      {"export", "--dither", "none", "gram.bin", "out.bmp"},  // fit's option only
      {"fit", "--gamma", "2.2", "gram.bin", "out.bmp"},
      {"fit", "--preview", "gram.bin", "out.bmp"},  // PNG_FILE took the picture's place
      {"import", "--gamma", "srgb", "gram.bin", "out.bmp"},
      {"export", "--preview", "p.png", "gram.bin", "out.bmp"},
      {"gram.bin"},
      {"export", "--res", "auto", "gram.bin", "out.bmp"},  // fit's choice only
      {"fit", "--frame", "crop", "gram.bin", "out.bmp"},
      {"fit", "--focus", "0.5", "gram.bin", "out.bmp"},
      {"fit", "--focus", "0.5,1.01", "gram.bin", "out.bmp"},
      {"fit", "--screen", "16:9", "gram.bin", "out.bmp"},
      {"fit", "--orient", "no", "gram.bin", "out.bmp"},
      {"fit", "--brightness", "101", "gram.bin", "out.bmp"},
      {"fit", "--contrast", "-101", "gram.bin", "out.bmp"},
      {"fit", "--contrast", "5x", "gram.bin", "out.bmp"},
      {"fit", "--saturation", "201", "gram.bin", "out.bmp"},
      {"fit", "--levels", "on", "gram.bin", "out.bmp"},
      {"fit", "--background", "pink", "gram.bin", "out.bmp"},
  };
  for (const auto& args : cases) {
    const Outcome r = Run(args);
    const std::string shown = args.empty() ? "(none)" : args[0];
    EXPECT_EQ(r.status, 2) << shown;
    EXPECT_TRUE(Contains(r.err, kUsageLine)) << r.err;
    EXPECT_EQ(r.out, "") << shown;
  }
  EXPECT_EQ(Listing(), std::set<std::string>{"gram.bin"});
}

TEST_F(Gramconv, OptionsMayComeInAnyOrderAndDoubleDashEndsThem) {
  WriteFile(In("gram.bin"), SampleGram(2, false));
  Outcome r = Run({"export", "gram.bin", "--yes", "a.bmp", "--res", "320"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(fs::file_size(In("a.bmp")), 32118u);
  r = Run({"export", "--res=320", "--yes", "--", "gram.bin", "-b.bmp"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(fs::file_size(In("-b.bmp")), 32118u);
}

// --- Questions: --yes, the terminal, and no terminal -------------------------------------

TEST_F(Gramconv, WithoutTerminalAQuestionIsCancel) {
  const std::string gram = SampleGram(3, false);
  WriteFile(In("gram.bin"), gram);
  Outcome r = Run({"export", "gram.bin", "new.bmp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "GRAMの内容を new.bmp へ展開します。\n実行しますか？")) << r.err;
  EXPECT_FALSE(Contains(r.out, kExportDone));
  EXPECT_FALSE(fs::exists(In("new.bmp")));

  // An existing file survives a Cancel at the overwrite question too.
  ASSERT_EQ(Run({"export", "--yes", "gram.bin", "old.bmp"}).status, 0);
  WriteFile(In("gram.bin"), SampleGram(4, false));
  const std::string before = ReadFile(In("old.bmp"));
  r = Run({"export", "gram.bin", "old.bmp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(ReadFile(In("old.bmp")), before);
}

TEST_F(Gramconv, YesAnswersEveryQuestionOk) {
  WriteFile(In("gram.bin"), SampleGram(5, false));
  WriteFile(In("old.bmp"), "an older file");
  const Outcome r = Run({"export", "--yes", "gram.bin", "old.bmp"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, "old.bmp は既に存在します。\n上書きしますか？")) << r.err;
  EXPECT_TRUE(Contains(r.out, kExportDone));
  EXPECT_EQ(fs::file_size(In("old.bmp")), 64118u);  // 640 unless told otherwise
}

TEST_F(Gramconv, TerminalAnswersDecide) {
  WriteFile(In("gram.bin"), SampleGram(6, false));
  ASSERT_EQ(Run({"export", "--yes", "gram.bin", "pic.bmp"}).status, 0);
  WriteFile(In("gram.bin"), SampleGram(7, false));
  const std::string first = ReadFile(In("pic.bmp"));

  // OK to proceed, Cancel at the overwrite question: nothing changes.
  Outcome r = RunOnTerminal({"export", "gram.bin", "pic.bmp"}, "y\nn\n");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(Contains(r.out, "上書きしますか？")) << r.out;
  EXPECT_EQ(ReadFile(In("pic.bmp")), first);

  // An empty answer is Cancel.
  r = RunOnTerminal({"export", "gram.bin", "pic.bmp"}, "\n");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(ReadFile(In("pic.bmp")), first);

  // OK twice replaces the file.
  r = RunOnTerminal({"export", "gram.bin", "pic.bmp"}, "yes\nOK\n");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(Contains(r.out, kExportDone));
  EXPECT_NE(ReadFile(In("pic.bmp")), first);
  EXPECT_EQ(fs::file_size(In("pic.bmp")), 64118u);
}

// --- Export refusals --------------------------------------------------------------------

TEST_F(Gramconv, ExportRefusesAnythingButA48000ByteDump) {
  WriteFile(In("short.bin"), std::string(47999, '\x11'));
  WriteFile(In("long.bin"), std::string(48001, '\x11'));
  WriteFile(In("empty.bin"), "");
  fs::create_directory(In("folder.bin"));
  for (const char* name : {"short.bin", "long.bin", "empty.bin", "folder.bin", "missing.bin"}) {
    const Outcome r = Run({"export", "--yes", name, "out.bmp"});
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_TRUE(Contains(r.err, name)) << r.err;
    EXPECT_FALSE(fs::exists(In("out.bmp"))) << name;
  }
  const Outcome r = Run({"export", "--yes", "short.bin", "out.bmp"});
  EXPECT_TRUE(Contains(r.err, "47999")) << r.err;
  EXPECT_TRUE(Contains(r.err, "48000")) << r.err;
}

TEST_F(Gramconv, OverlongBitmapPathIsRefusedWithThePluginsMessage) {
  WriteFile(In("gram.bin"), SampleGram(8, false));
  const std::string name(260, 'p');  // one byte more than the plug-in takes
  Outcome r = Run({"export", "--yes", "gram.bin", name});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "ファイルのパスが長すぎます")) << r.err;
  r = Run({"import", "--yes", name, "gram.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Listing(), std::set<std::string>{"gram.bin"});

  // 259 bytes still fit (folder names keep the file name itself short enough).
  const std::string fits = std::string(200, 'd') + "/" + std::string(58, 'f');
  fs::create_directory(In(std::string(200, 'd')));
  r = Run({"export", "--yes", "gram.bin", fits});
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(Gramconv, MessagesShowAUtf8FileNameAsItIs) {
  WriteFile(In("gram.bin"), SampleGram(9, false));
  const Outcome r = Run({"export", "--yes", "gram.bin", "絵・テスト.bmp"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, "GRAMの内容を 絵・テスト.bmp へ展開します。")) << r.err;
  EXPECT_TRUE(fs::exists(In("絵・テスト.bmp")));

  // "e" is also the second byte of a two-byte character earlier in the same text.
  const Outcome plain = Run({"export", "--yes", "gram.bin", "e"});
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_TRUE(Contains(plain.err, "GRAMの内容を e へ展開します。")) << plain.err;
}

// --- Import writes GRAM_FILE whole or not at all ------------------------------------------

TEST_F(Gramconv, ImportLeavesTheOldGramFileAfterRefusalOrCancel) {
  const std::string old = SampleGram(10, false);
  WriteFile(In("gram.bin"), old);
  WriteFile(In("src.bin"), SampleGram(11, false));
  ASSERT_EQ(Run({"export", "--yes", "src.bin", "pic.bmp"}).status, 0);
  WriteFile(In("junk.bmp"), "not a picture at all");
  const std::set<std::string> files = Listing();

  Outcome r = Run({"import", "pic.bmp", "gram.bin"});  // Cancel: no terminal
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "pic.bmp の内容をGRAMへ展開します。")) << r.err;
  r = Run({"import", "--yes", "junk.bmp", "gram.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, kNotBitmap)) << r.err;
  r = Run({"import", "--yes", "--res", "320", "pic.bmp", "gram.bin"});  // 640 wide
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "キャンバスサイズは 320 X 200 で作成してください。")) << r.err;
  r = Run({"import", "--yes", "missing.bmp", "gram.bin"});
  EXPECT_EQ(r.status, 1);
  r = RunOnTerminal({"import", "pic.bmp", "gram.bin"}, "n\n");
  EXPECT_EQ(r.status, 1) << r.out;

  EXPECT_EQ(ReadFile(In("gram.bin")), old);
  EXPECT_EQ(Listing(), files);  // no temporary file left behind
  r = Run({"import", "pic.bmp", "new.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(fs::exists(In("new.bin")));
}

TEST_F(Gramconv, ImportReplacesTheGramFileByRename) {
  const std::string picture = SampleGram(12, false);
  WriteFile(In("src.bin"), picture);
  ASSERT_EQ(Run({"export", "--yes", "src.bin", "pic.bmp"}).status, 0);
  const std::string old = SampleGram(13, false);
  WriteFile(In("gram.bin"), old);
  fs::permissions(In("gram.bin"), fs::perms(0640));
  // A second name for the old file: a rewrite in place would change it too.
  fs::create_hard_link(In("gram.bin"), In("old-link.bin"));

  const Outcome r = Run({"import", "--yes", "pic.bmp", "gram.bin"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.out, kImportDone));
  EXPECT_EQ(ReadFile(In("gram.bin")), picture);
  EXPECT_EQ(ReadFile(In("old-link.bin")), old);
  EXPECT_EQ(fs::status(In("gram.bin")).permissions(), fs::perms(0640));
  EXPECT_EQ(Listing(), (std::set<std::string>{"gram.bin", "old-link.bin", "pic.bmp", "src.bin"}));
}

TEST_F(Gramconv, ImportThatCannotWriteTheGramFileFailsCleanly) {
  WriteFile(In("src.bin"), SampleGram(14, false));
  ASSERT_EQ(Run({"export", "--yes", "src.bin", "pic.bmp"}).status, 0);
  fs::create_directory(In("taken"));
  WriteFile(In("taken") / "inside", "kept");
  const std::set<std::string> files = Listing();

  // The rename fails over a folder; the written temporary file must go.
  Outcome r = Run({"import", "--yes", "pic.bmp", "taken"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "taken")) << r.err;
  EXPECT_FALSE(Contains(r.out, kImportDone)) << r.out;
  EXPECT_EQ(ReadFile(In("taken") / "inside"), "kept");
  EXPECT_EQ(Listing(), files);

  // No folder to put the temporary file in.
  r = Run({"import", "--yes", "pic.bmp", "nowhere/gram.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(Contains(r.out, kImportDone)) << r.out;
  EXPECT_EQ(Listing(), files);
}

// --- One round trip per resolution --------------------------------------------------------

TEST_F(Gramconv, RoundTripRestoresGramAt640) {
  const std::string gram = SampleGram(15, false);
  WriteFile(In("gram.bin"), gram);
  ASSERT_EQ(Run({"export", "--yes", "--res", "640", "gram.bin", "pic.bmp"}).status, 0);
  EXPECT_EQ(fs::file_size(In("pic.bmp")), 64118u);
  const Outcome r = Run({"import", "--yes", "--res", "640", "pic.bmp", "back.bin"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(In("back.bin")), gram);
}

TEST_F(Gramconv, RoundTripRestoresPairedGramAt320) {
  const std::string gram = SampleGram(16, true);
  WriteFile(In("gram.bin"), gram);
  ASSERT_EQ(Run({"export", "--yes", "--res", "320", "gram.bin", "pic.bmp"}).status, 0);
  EXPECT_EQ(fs::file_size(In("pic.bmp")), 32118u);
  const Outcome r = Run({"import", "--yes", "--res", "320", "pic.bmp", "back.bin"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(In("back.bin")), gram);
}

// --- fit: any picture into a BMP file the plug-in imports with the colours shown ----------

// The fitted file is laid out as an export (same headers and palette), and the plug-in's
// own import, through gramconv import, turns it into GRAM of exactly those colours.
TEST_F(Gramconv, FittedPicturesImportWithTheColoursShown) {
  const std::string stripes = StripesGram();
  WriteFile(In("stripes.bin"), stripes);
  ASSERT_EQ(Run({"export", "--yes", "--res", "640", "stripes.bin", "export640.bmp"}).status, 0);
  ASSERT_EQ(Run({"export", "--yes", "--res", "320", "stripes.bin", "export320.bmp"}).status, 0);
  WriteFile(In("exact640.ppm"), StripesPpm(640, 200));
  WriteFile(In("small.ppm"), StripesPpm(64, 20));      // repeated up
  WriteFile(In("large.ppm"), StripesPpm(1280, 1000));  // averaged down
  WriteFile(In("exact320.ppm"), StripesPpm(320, 200));
  WriteFile(In("other-palette.bmp"), OtherPaletteStripesBmp());

  struct Case {
    const char* picture;
    const char* res;
    const char* exported;
  };
  for (const Case& c :
       {Case{"exact640.ppm", "640", "export640.bmp"}, Case{"small.ppm", "640", "export640.bmp"},
        Case{"large.ppm", "640", "export640.bmp"}, Case{"exact320.ppm", "320", "export320.bmp"},
        Case{"small.ppm", "320", "export320.bmp"},
        Case{"other-palette.bmp", "640", "export640.bmp"}}) {
    SCOPED_TRACE(std::string(c.picture) + " at " + c.res);
    Outcome r = Run({"fit", "--frame", "stretch", "--res", c.res, c.picture, "fitted.bmp"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "fitted.bmp")) << r.out;
    // The stripes are GRAM colours exactly: the very file an export of them writes.
    EXPECT_EQ(ReadFile(In("fitted.bmp")), ReadFile(In(c.exported)));
    r = Run({"import", "--yes", "--res", c.res, "fitted.bmp", "back.bin"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(In("back.bin")), stripes);
    fs::remove(In("fitted.bmp"));
  }

  // The same bitmap imported as it is lands with its palette ignored: the stripes reversed.
  ASSERT_EQ(Run({"import", "--yes", "other-palette.bmp", "raw.bin"}).status, 0);
  std::string reversed = ReadFile(In("raw.bin"));
  for (char& c : reversed) c = char(~c);  // colour 7 - k has the complement bits
  EXPECT_EQ(reversed, stripes);
}

TEST_F(Gramconv, DitherModesDrawShadesWithBothColours) {
  // The number 128: without dithering the nearest colour (white) either way; dithered, as
  // many white pixels as its light (21.6%, the default) or as its number (--gamma srgb).
  WriteFile(In("grey.ppm"), Ppm(640, 200, [](int, int) {
              return std::array<uint8_t, 3>{128, 128, 128};
            }));
  struct Case {
    std::vector<std::string> options;
    double share;  // of white pixels
    const char* said;
  };
  const Case cases[] = {
      {{"--dither", "none"}, 1.0, "no dithering, in linear light"},
      {{"--dither", "none", "--gamma", "srgb"}, 1.0, "no dithering, in sRGB numbers"},
      {{"--dither", "ordered"}, 0.2159, "ordered dithering, in linear light"},
      {{"--dither", "diffusion", "--gamma", "linear"}, 0.2159, "error diffusion, in linear light"},
      {{"--dither", "ordered", "--gamma", "srgb"}, 128.0 / 255, "ordered dithering, in sRGB"},
      {{"--gamma", "srgb", "--dither", "diffusion"}, 128.0 / 255, "error diffusion, in sRGB"},
      {{"--dither", "bayer"}, 0.2159, "Bayer dithering, in linear light"},
      {{"--dither", "bayer", "--gamma", "srgb"}, 128.0 / 255, "Bayer dithering, in sRGB"},
      {{"--dither", "best"}, 0.2159, "searched dithering, in linear light"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"fit"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {"grey.ppm", "grey.bmp"});
    const Outcome r = Run(args);
    SCOPED_TRACE(c.said);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, c.said)) << r.out;
    ASSERT_EQ(Run({"import", "--yes", "grey.bmp", "grey.bin"}).status, 0);
    EXPECT_NEAR(BitShare(ReadFile(In("grey.bin"))), c.share, 0.01);
    fs::remove(In("grey.bmp"));
  }
}

// gramconv fit writes the engine's own pixels for the same choices (what Vantrel Fit shows),
// and chooses 320 for a picture of exactly 320x200 unless told.
TEST_F(Gramconv, FitChoicesGiveTheEnginesPixels) {
  std::mt19937 random(5);
  const std::string picture = Ppm(300, 170, [&](int x, int y) {
    return std::array<uint8_t, 3>{uint8_t(x), uint8_t(y + random() % 40), uint8_t(random())};
  });
  WriteFile(In("pic.ppm"), picture);
  WriteFile(In("gram.ppm"), StripesPpm(320, 200));
  struct Case {
    std::vector<std::string> options;
    void (*set)(FitLook&, DitherMode&, FitGamma&, Resolution&);
  };
  const Case cases[] = {
      {{}, [](FitLook&, DitherMode&, FitGamma&, Resolution&) {}},
      {{"--frame", "fill", "--focus", "0.2,0.9", "--screen", "4:3"},
       [](FitLook& l, DitherMode&, FitGamma&, Resolution&) {
         l.frame = FrameFill, l.focusX = 0.2f, l.focusY = 0.9f, l.screen = Screen4x3;
       }},
      {{"--frame", "pixel", "--background", "cyan", "--dither", "ordered", "--res", "320"},
       [](FitLook& l, DitherMode& d, FitGamma&, Resolution& r) {
         l.frame = FramePixel, l.background = 5, d = DitherOrdered, r = Res320;
       }},
      {{"--brightness", "-30", "--contrast", "55", "--saturation", "0", "--levels", "auto",
        "--gamma", "srgb", "--dither", "none", "--orient", "ignore"},
       [](FitLook& l, DitherMode& d, FitGamma& g, Resolution&) {
         l.tone.brightness = -30, l.tone.contrast = 55, l.tone.saturation = 0;
         l.tone.autoLevels = true, d = DitherNone, g = GammaSrgb;
       }},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"fit", "--yes"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {"pic.ppm", "pic.bmp"});
    const Outcome r = Run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    FitLook look;
    DitherMode dither = DitherDiffusion;
    FitGamma gamma = GammaLinear;
    Resolution res = Res640;
    c.set(look, dither, gamma, res);
    std::vector<uint8_t> pixels;
    ASSERT_EQ(FitPicture(reinterpret_cast<const uint8_t*>(picture.data()), picture.size(), res,
                         dither, pixels, nullptr, gamma, nullptr, look),
              "");
    EXPECT_EQ(ReadFile(In("pic.bmp")).substr(118), std::string(pixels.begin(), pixels.end()))
        << r.out;
  }
  EXPECT_TRUE(
      Contains(Run({"fit", "--yes", "gram.ppm", "gram.bmp"}).out, "to 320x200, error diffusion"));
  EXPECT_EQ(fs::file_size(In("gram.bmp")), 32118u);
  ASSERT_EQ(Run({"fit", "--yes", "--res", "640", "gram.ppm", "gram.bmp"}).status, 0);
  EXPECT_EQ(fs::file_size(In("gram.bmp")), 64118u);
}

// The colour numbers of a fitted 640x200 BMP file, top row first.
std::vector<uint8_t> ColoursOfBitmap(const std::string& bmp) {
  std::vector<uint8_t> colours(640 * 200);
  if (bmp.size() != 118 + 64000) return {};
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 640; ++x) {
      const uint8_t byte = uint8_t(bmp[118 + (199 - y) * 320 + x / 2]);
      colours[size_t(y) * 640 + x] = x % 2 ? byte & 15 : byte >> 4;
    }
  }
  return colours;
}

// --preview writes what the screen shows of the BMP file written beside it.
TEST_F(Gramconv, PreviewIsTheScreenOfTheFittedFile) {
  std::mt19937 random(3);
  WriteFile(
      In("pic.ppm"), Ppm(300, 170, [&](int x, int y) {
        return std::array<uint8_t, 3>{uint8_t(x), uint8_t(y + random() % 40), uint8_t(random())};
      }));
  for (const char* dither : {"none", "diffusion"}) {
    SCOPED_TRACE(dither);
    const Outcome r =
        Run({"fit", "--dither", dither, "--preview", "shown.png", "pic.ppm", "pic.bmp"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "wrote shown.png")) << r.out;
    const std::string png = ReadFile(In("shown.png"));
    DecodedPicture shown;
    ASSERT_EQ(DecodePicture(reinterpret_cast<const uint8_t*>(png.data()), png.size(), shown), "");
    ASSERT_EQ(shown.width, 640u);
    ASSERT_EQ(shown.height, 400u);
    ASSERT_EQ(shown.channels, 3u);
    const std::vector<uint8_t> colours = ColoursOfBitmap(ReadFile(In("pic.bmp")));
    ASSERT_FALSE(colours.empty());
    std::vector<uint8_t> screen;
    PreviewScreen(Res640, colours.data(), screen);
    EXPECT_EQ(memcmp(shown.pixels, screen.data(), screen.size()), 0);
    fs::remove(In("shown.png"));
    fs::remove(In("pic.bmp"));
  }
  // At 320 every pixel is two wide: the screen is still 640x400.
  ASSERT_EQ(Run({"fit", "--res", "320", "--preview", "p320.png", "pic.ppm", "p320.bmp"}).status, 0);
  const std::string png = ReadFile(In("p320.png"));
  DecodedPicture shown;
  ASSERT_EQ(DecodePicture(reinterpret_cast<const uint8_t*>(png.data()), png.size(), shown), "");
  EXPECT_EQ(shown.width, 640u);
  EXPECT_EQ(shown.height, 400u);
  int unpaired = 0;
  for (uint32_t i = 0; i < 640 * 400; i += 2) {
    unpaired += memcmp(shown.pixels + 3 * i, shown.pixels + 3 * i + 3, 3) != 0;
  }
  EXPECT_EQ(unpaired, 0);
}

// The preview follows the BMP file's rules: asked before it replaces a file, refused when
// the name is not a regular file, never written when the fit fails.
TEST_F(Gramconv, PreviewIsAskedRefusedOrLeftOut) {
  WriteFile(In("pic.ppm"), StripesPpm(64, 20));
  WriteFile(In("junk.png"), "not a picture");
  WriteFile(In("old.png"), "an older preview");
  fs::create_directory(In("folder.png"));
  const std::set<std::string> files = Listing();

  // No terminal: the question about old.png counts as Cancel, and nothing is written.
  Outcome r = Run({"fit", "--preview", "old.png", "pic.ppm", "new.bmp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "old.png は既に存在します。\n上書きしますか？")) << r.err;
  EXPECT_EQ(ReadFile(In("old.png")), "an older preview");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"fit", "--yes", "--preview", "folder.png", "pic.ppm", "new.bmp"},
           {"fit", "--yes", "--preview", "/dev/null", "pic.ppm", "new.bmp"},
           {"fit", "--yes", "--preview", "new.png", "junk.png", "new.bmp"}}) {
    r = Run(args);
    EXPECT_EQ(r.status, 1) << args[3];
    EXPECT_TRUE(Contains(r.err, "gramconv: error: ")) << r.err;
  }
  EXPECT_TRUE(Contains(r.err, "junk.png")) << r.err;
  EXPECT_EQ(Listing(), files);

  r = RunOnTerminal({"fit", "--preview", "old.png", "pic.ppm", "new.bmp"}, "y\n");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(ReadFile(In("old.png")).substr(1, 3), "PNG");
  EXPECT_EQ(fs::file_size(In("new.bmp")), 64118u);
}

TEST_F(Gramconv, FitAsksBeforeReplacingAndReplacesByRename) {
  WriteFile(In("pic.ppm"), StripesPpm(64, 20));
  WriteFile(In("out.bmp"), "an older file");
  fs::permissions(In("out.bmp"), fs::perms(0640));
  fs::create_hard_link(In("out.bmp"), In("old-link.bmp"));

  Outcome r = Run({"fit", "pic.ppm", "out.bmp"});  // no terminal: Cancel
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "out.bmp は既に存在します。\n上書きしますか？")) << r.err;
  EXPECT_EQ(ReadFile(In("out.bmp")), "an older file");
  EXPECT_EQ(Listing(), (std::set<std::string>{"old-link.bmp", "out.bmp", "pic.ppm"}));

  r = RunOnTerminal({"fit", "pic.ppm", "out.bmp"}, "y\n");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(fs::file_size(In("out.bmp")), 64118u);
  EXPECT_EQ(fs::status(In("out.bmp")).permissions(), fs::perms(0640));
  EXPECT_EQ(ReadFile(In("old-link.bmp")), "an older file");

  WriteFile(In("out.bmp"), "older again");
  r = Run({"fit", "--yes", "--res", "320", "pic.ppm", "out.bmp"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, "上書きしますか？\n-> OK (--yes)")) << r.err;
  EXPECT_EQ(fs::file_size(In("out.bmp")), 32118u);
  EXPECT_EQ(Listing(), (std::set<std::string>{"old-link.bmp", "out.bmp", "pic.ppm"}));
}

// Devices, pipes and folders are refused, never replaced, whoever runs gramconv.
TEST_F(Gramconv, NothingReplacesWhatIsNotARegularFile) {
  WriteFile(In("pic.ppm"), StripesPpm(64, 20));
  WriteFile(In("gram.bin"), SampleGram(17, false));
  ASSERT_EQ(Run({"export", "--yes", "gram.bin", "pic.bmp"}).status, 0);
  ASSERT_EQ(mkfifo(In("pipe").c_str(), 0600), 0);
  fs::create_directory(In("folder"));
  WriteFile(In("folder") / "inside", "kept");
  fs::create_symlink("/dev/null", In("null-link"));
  const std::set<std::string> files = Listing();

  const std::vector<std::string> targets = {"/dev/null", In("pipe").string(), "folder",
                                            "null-link"};
  std::vector<std::vector<std::string>> runs;
  for (const std::string& target : targets) {
    runs.push_back({"fit", "--yes", "pic.ppm", target});
    runs.push_back({"fit", "pic.ppm", target});
    // The export deletes what is there once its question is answered: never a device.
    if (target != "/dev/null") runs.push_back({"export", "--yes", "gram.bin", target});
    runs.push_back({"import", "--yes", "pic.bmp", target});
  }
  for (const auto& args : runs) {
    const Outcome r = Run(args);
    EXPECT_EQ(r.status, 1) << args[0] << " " << args.back();
    EXPECT_TRUE(Contains(r.err, args.back() + " exists and is not a regular file")) << r.err;
  }
  struct stat st;
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_TRUE(fs::is_fifo(In("pipe")));
  EXPECT_EQ(ReadFile(In("folder") / "inside"), "kept");
  EXPECT_TRUE(fs::is_symlink(In("null-link")));
  EXPECT_EQ(Listing(), files);
}

TEST_F(Gramconv, BadPicturesAreRefusedWithoutOutput) {
  const std::string good = StripesPpm(64, 20);
  WriteFile(In("empty.ppm"), "");
  WriteFile(In("junk.png"), "not a picture at all, just words");
  WriteFile(In("short.ppm"), good.substr(0, good.size() / 2));
  WriteFile(In("huge.ppm"), "P6\n20000 20000\n255\n" + std::string(1000, '\x40'));
  WriteFile(In("nothing.ppm"), "P6\n0 0\n255\n");
  WriteFile(In("cut.webp"), std::string("RIFF\x10\x27\0\0WEBPVP8L\x04\x27\0\0\x2f\x3f\0\x1f", 25));
  ASSERT_EQ(mkfifo(In("pipe.ppm").c_str(), 0600), 0);
  fs::create_directory(In("folder.ppm"));
  WriteFile(In("old.bmp"), "kept");
  const std::set<std::string> files = Listing();

  for (const char* picture : {"empty.ppm", "junk.png", "short.ppm", "huge.ppm", "nothing.ppm",
                              "cut.webp", "pipe.ppm", "folder.ppm", "missing.ppm"}) {
    for (const char* target : {"new.bmp", "old.bmp"}) {
      const Outcome r = Run({"fit", "--yes", picture, target});
      EXPECT_EQ(r.status, 1) << picture;
      EXPECT_TRUE(Contains(r.err, picture)) << r.err;
      EXPECT_TRUE(Contains(r.err, "gramconv: error: ")) << r.err;
      EXPECT_FALSE(Contains(r.err, "上書きしますか")) << picture << ": asked first";
    }
  }
  // The size is refused from the header, before any decoding.
  Outcome r = Run({"fit", "huge.ppm", "new.bmp"});
  EXPECT_TRUE(Contains(r.err, "400000000")) << r.err;
  r = Run({"fit", "cut.webp", "new.bmp"});
  EXPECT_TRUE(Contains(r.err, "cut.webp: the picture is cut short")) << r.err;
  // An unknown file is told which formats are read.
  r = Run({"fit", "junk.png", "new.bmp"});
  EXPECT_TRUE(Contains(r.err,
                       "junk.png: not a picture gramconv can read (unknown format or "
                       "damaged file; reads PNG, JPEG, GIF, BMP, TGA, PNM, PSD, WebP)"))
      << r.err;
  EXPECT_EQ(Listing(), files);
  EXPECT_EQ(ReadFile(In("old.bmp")), "kept");
}

}  // namespace
