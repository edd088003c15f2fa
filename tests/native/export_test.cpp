// GRAM export through the POSIX face: every outcome the user can meet, the exact bytes of
// the file, and writes that fail part-way (file size limit, a full file system).
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/texts.h"
#include "convert/conversions.h"
#include "expected_export.h"
#include "host/module_state.h"
#include "scripted_box.h"

namespace {

const char kCaption[] = "HalcyonGRAM-BMP変換ツール";
const char kCreateFailed[] =
    "BMPファイルを作成できません。使用中、アクセス権などの確認をしてください。";
const char kWriteFailed[] =
    "BMPファイルへの書き込みに失敗しました。ディスクの空き容量などを確認してください。";
const char kDone[] = "BMPファイルへの書き込み完了";
const char kNoGram[] = "GRAMを取得できていません。エミュレータ本体の状態を確認してください。";

std::string ExportQuestion(const std::string& path) {
  return "GRAMの内容を " + path + " へ展開します。\n実行しますか？";
}
std::string OverwriteQuestion(const std::string& path) {
  return path + " は既に存在します。\n上書きしますか？";
}

uint8_t g_planes[3][kGramPlaneBytes];

std::string ReadFile(const std::string& path) {
  std::string bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, n);
  fclose(f);
  return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// Names in a folder that look like the export's temporary files ("~vt…").
std::string Temporaries(const std::string& dir) {
  std::string names;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return names;
  while (const dirent* entry = readdir(d)) {
    if (strncmp(entry->d_name, "~vt", 3) == 0) names += std::string(entry->d_name) + " ";
  }
  closedir(d);
  return names;
}

uint32_t Le32(const std::string& bytes, size_t at) {
  return ReadLe32(reinterpret_cast<const uint8_t*>(bytes.data()) + at);
}

struct Box {
  MessageKind kind;
  std::string text;
};

// Checks the boxes shown, in order: kind and text, and the caption of every one.
void ExpectBoxes(const ScriptedBoxes& boxes, const std::vector<Box>& expected) {
  EXPECT_FALSE(boxes.ranOutOfAnswers()) << "a question came beyond the script";
  ASSERT_EQ(boxes.boxes().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("box " + std::to_string(i + 1));
    EXPECT_EQ(boxes.boxes()[i].kind, expected[i].kind);
    EXPECT_EQ(boxes.boxes()[i].text, expected[i].text);
    EXPECT_EQ(boxes.boxes()[i].caption, kCaption);
  }
}

class Export : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantrel-export-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    // Every byte differs between planes and lines, so a misplaced byte shows.
    uint32_t seed = 0x2545F491u;
    for (auto& plane : g_planes) {
      for (uint8_t& b : plane) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
      }
    }
    Module::GramPlanes = {{g_planes[0], g_planes[1], g_planes[2]}};
    memcpy(before_, g_planes, sizeof g_planes);
  }
  void TearDown() override {
    // Whatever happened, no temporary file is left beside the target.
    EXPECT_EQ(Temporaries(dir_), "");
    if (!mounted_.empty()) {
      EXPECT_EQ(Temporaries(mounted_), "");
      EXPECT_EQ(umount(mounted_.c_str()), 0);
    }
    // Planes are only read, whatever happened.
    EXPECT_EQ(memcmp(before_, g_planes, sizeof g_planes), 0) << "the export changed GRAM";
    Module::GramPlanes = {};
    std::string command = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(system(command.c_str()), 0);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
  std::string mounted_;  // a file system mounted for the test, unmounted afterwards
  uint8_t before_[3][kGramPlaneBytes];
};

TEST_F(Export, NewFileHoldsHeadersPaletteAndPixelsOfBothResolutions) {
  for (Resolution res : {Res320, Res640}) {
    SCOPED_TRACE(res == Res320 ? "320" : "640");
    const std::string path = Path(res == Res320 ? "a320.bmp" : "a640.bmp");
    ScriptedBoxes boxes({AnswerOk});
    ExportGramToBitmap(path.c_str(), res);
    ExpectBoxes(boxes, {{QuestionBox, ExportQuestion(path)}, {InformationBox, kDone}});

    const std::string bytes = ReadFile(path);
    const size_t size = res == Res320 ? 32118 : 64118;
    ASSERT_EQ(bytes.size(), size);
    EXPECT_TRUE(bytes == ExpectedFile(res)) << "file differs from headers + palette + pixels";
    // The headers tell a reader the same sizes the file has.
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(Le32(bytes, kOffFileSize), size);
    EXPECT_EQ(Le32(bytes, kOffOffBits), 118u);
    EXPECT_EQ(Le32(bytes, kOffWidth), res == Res320 ? 320u : 640u);
    EXPECT_EQ(Le32(bytes, kOffHeight), 200u);
    EXPECT_EQ(bytes.substr(kHeaderBytes, kPaletteBytes),
              std::string(reinterpret_cast<const char*>(FixedPalette), kPaletteBytes));
  }
}

TEST_F(Export, TopLeftGramPixelLandsInTheLastRowOfTheFile) {
  // Rows are stored bottom-up: GRAM line 0 is the file's last row. A green pixel (plane 2)
  // at the top-left corner is colour 4 in the high nibble of that row's first byte.
  for (auto& plane : g_planes) memset(plane, 0, kGramPlaneBytes);
  g_planes[2][0] = 0x01;
  memcpy(before_, g_planes, sizeof g_planes);
  const std::string path = Path("corner.bmp");
  ScriptedBoxes boxes({AnswerOk});
  ExportGramToBitmap(path.c_str(), Res640);
  const std::string bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), 64118u);
  const size_t lastRow = 118 + 199 * 320;
  EXPECT_EQ(uint8_t(bytes[lastRow]), 0x40);
  EXPECT_EQ(std::count(bytes.begin() + 118, bytes.end(), '\0'), 64000 - 1);
}

TEST_F(Export, CancelAtTheFirstQuestionCreatesNothing) {
  const std::string path = Path("never.bmp");
  ScriptedBoxes boxes({AnswerCancel});
  ExportGramToBitmap(path.c_str(), Res320);
  ExpectBoxes(boxes, {{QuestionBox, ExportQuestion(path)}});
  EXPECT_FALSE(Exists(path));
}

TEST_F(Export, ExistingFileAsksTwiceAndIsReplacedOnlyAfterBothOks) {
  const std::string path = Path("old.bmp");
  const std::string old(70000, 'x');  // longer than any export: a leftover tail would show
  for (Resolution res : {Res320, Res640}) {
    SCOPED_TRACE(res == Res320 ? "320" : "640");
    WriteFile(path, old);
    ScriptedBoxes boxes({AnswerOk, AnswerOk});
    ExportGramToBitmap(path.c_str(), res);
    ExpectBoxes(boxes, {{QuestionBox, ExportQuestion(path)},
                        {QuestionBox, OverwriteQuestion(path)},
                        {InformationBox, kDone}});
    EXPECT_TRUE(ReadFile(path) == ExpectedFile(res));
  }
}

TEST_F(Export, CancelAtEitherQuestionLeavesAnExistingFileUntouched) {
  const std::string path = Path("keep.bmp");
  const std::string old = "not a bitmap, but mine";
  WriteFile(path, old);
  {
    ScriptedBoxes boxes({AnswerCancel});
    ExportGramToBitmap(path.c_str(), Res320);
    ExpectBoxes(boxes, {{QuestionBox, ExportQuestion(path)}});
  }
  EXPECT_EQ(ReadFile(path), old);
  {
    ScriptedBoxes boxes({AnswerOk, AnswerCancel});
    ExportGramToBitmap(path.c_str(), Res640);
    ExpectBoxes(boxes,
                {{QuestionBox, ExportQuestion(path)}, {QuestionBox, OverwriteQuestion(path)}});
  }
  EXPECT_EQ(ReadFile(path), old);
}

TEST_F(Export, DirectoryAsTargetAsksToOverwriteThenCannotCreate) {
  const std::string path = Path("folder.bmp");
  ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  WriteFile(path + "/inside", "kept");
  ScriptedBoxes boxes({AnswerOk, AnswerOk});
  ExportGramToBitmap(path.c_str(), Res320);
  ExpectBoxes(boxes, {{QuestionBox, ExportQuestion(path)},
                      {QuestionBox, OverwriteQuestion(path)},
                      {ErrorBox, kCreateFailed}});
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(ReadFile(path + "/inside"), "kept");
}

TEST_F(Export, MissingFolderCannotBeCreatedWithoutAnOverwriteQuestion) {
  const std::string path = Path("no/such/folder.bmp");
  ScriptedBoxes boxes({AnswerOk});
  ExportGramToBitmap(path.c_str(), Res640);
  ExpectBoxes(boxes, {{QuestionBox, ExportQuestion(path)}, {ErrorBox, kCreateFailed}});
  EXPECT_FALSE(Exists(Path("no")));
}

TEST_F(Export, DanglingLinkIsNotAnExistingFileAndIsNotFollowed) {
  // Nothing exists at the name as far as the user can tell, yet creation must not write
  // through the link to wherever it points.
  const std::string path = Path("link.bmp");
  ASSERT_EQ(symlink(Path("target.bmp").c_str(), path.c_str()), 0);
  ScriptedBoxes boxes({AnswerOk});
  ExportGramToBitmap(path.c_str(), Res320);
  ExpectBoxes(boxes, {{QuestionBox, ExportQuestion(path)}, {ErrorBox, kCreateFailed}});
  EXPECT_FALSE(Exists(Path("target.bmp")));
}

TEST_F(Export, PathIsShownVerbatimEvenWithPercentSignsOrAtFullLength) {
  // Placeholders inside the path are text, not format directives.
  const std::string percent = Path("100%s%d%%.bmp");
  {
    ScriptedBoxes boxes({AnswerOk});
    ExportGramToBitmap(percent.c_str(), Res320);
    ExpectBoxes(boxes, {{QuestionBox, ExportQuestion(percent)}, {InformationBox, kDone}});
  }
  EXPECT_EQ(ReadFile(percent).size(), 32118u);

  // The longest path the dialog accepts (259 bytes) still fits the message whole.
  std::string longest = dir_ + "/";
  longest += std::string(259 - longest.size() - 4, 'n') + ".bmp";
  ASSERT_EQ(longest.size(), 259u);
  {
    ScriptedBoxes boxes({AnswerOk});
    ExportGramToBitmap(longest.c_str(), Res640);
    ExpectBoxes(boxes, {{QuestionBox, ExportQuestion(longest)}, {InformationBox, kDone}});
  }
  EXPECT_EQ(ReadFile(longest).size(), 64118u);
  // No temporary name fits beside it: the old file is replaced in place, as ever.
  {
    ScriptedBoxes boxes({AnswerOk, AnswerOk});
    ExportGramToBitmap(longest.c_str(), Res320);
    ExpectBoxes(boxes, {{QuestionBox, ExportQuestion(longest)},
                        {QuestionBox, OverwriteQuestion(longest)},
                        {InformationBox, kDone}});
  }
  EXPECT_TRUE(ReadFile(longest) == ExpectedFile(Res320));
}

TEST_F(Export, JapaneseFileNameIsUsedAsItsCodePage932Bytes) {
  // The plug-in gets code page 932 bytes; on this face they are the file name as is.
  const std::string name = Utf8ToCp932("画像表示.bmp");  // 表 ends in a backslash byte
  const std::string path = Path(name);
  ScriptedBoxes boxes({AnswerOk});
  ExportGramToBitmap(path.c_str(), Res320);
  ExpectBoxes(boxes,
              {{QuestionBox, ExportQuestion(Path("画像表示.bmp"))}, {InformationBox, kDone}});
  EXPECT_EQ(ReadFile(path).size(), 32118u);
}

TEST_F(Export, RelativePathIsResolvedAgainstTheCurrentFolder) {
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  {
    ScriptedBoxes boxes({AnswerOk});
    ExportGramToBitmap("relative.bmp", Res320);
    ExpectBoxes(boxes, {{QuestionBox, ExportQuestion("relative.bmp")}, {InformationBox, kDone}});
  }
  ASSERT_EQ(chdir(previous), 0);
  EXPECT_EQ(ReadFile(Path("relative.bmp")).size(), 32118u);
}

TEST_F(Export, WithoutAnyOfThePlanesOnlyTheErrorIsShown) {
  const std::string path = Path("nogram.bmp");
  WriteFile(path, "existing");
  for (int missing = -1; missing < 3; ++missing) {
    SCOPED_TRACE("missing plane " + std::to_string(missing));
    Module::GramPlanes = {{g_planes[0], g_planes[1], g_planes[2]}};
    if (missing < 0) {
      Module::GramPlanes = {};
    } else {
      Module::GramPlanes.plane[missing] = nullptr;
    }
    ScriptedBoxes boxes({AnswerOk, AnswerOk});
    ExportGramToBitmap(path.c_str(), Res320);
    ExportGramToBitmap(Path("fresh.bmp").c_str(), Res640);
    ASSERT_EQ(boxes.boxes().size(), 2u);
    for (const RecordedBox& box : boxes.boxes()) {
      EXPECT_EQ(box.kind, ErrorBox);
      EXPECT_EQ(box.text, kNoGram);
      EXPECT_EQ(box.caption, kCaption);
    }
    EXPECT_EQ(ReadFile(path), "existing");
    EXPECT_FALSE(Exists(Path("fresh.bmp")));
  }
}

// Runs an export in a child process whose file size limit is limitBytes (writes beyond it
// fail instead of killing the process). Returns the boxes' kinds and UTF-8 texts, one per
// line, as the child saw them.
std::string ExportUnderSizeLimit(const std::string& path, Resolution res, rlim_t limitBytes) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return "pipe failed";
  const pid_t child = fork();
  if (child == 0) {
    close(pipeFds[0]);
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {limitBytes, limitBytes};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
    std::string report;
    {
      ScriptedBoxes boxes({AnswerOk, AnswerOk});
      ExportGramToBitmap(path.c_str(), res);
      for (const RecordedBox& box : boxes.boxes()) {
        report += std::to_string(int(box.kind)) + " " + box.text + "\n";
      }
    }
    if (write(pipeFds[1], report.data(), report.size()) != ssize_t(report.size())) _exit(3);
    _exit(0);
  }
  close(pipeFds[1]);
  std::string report;
  char chunk[1024];
  for (ssize_t n; (n = read(pipeFds[0], chunk, sizeof chunk)) > 0;) report.append(chunk, n);
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) report += "child failed\n";
  return report;
}

TEST_F(Export, WriteCutShortAnywhereRemovesTheFileAndReportsTheFailure) {
  // Limits inside each of the four writes, and one byte short of the whole file.
  const struct {
    Resolution res;
    rlim_t limit;
  } cases[] = {{Res320, 0},     {Res320, 10},    {Res320, 54},    {Res320, 100},  {Res320, 118},
               {Res320, 20000}, {Res320, 32117}, {Res640, 32118}, {Res640, 64117}};
  for (const auto& c : cases) {
    SCOPED_TRACE("limit " + std::to_string(c.limit));
    const std::string path = Path("short.bmp");
    const std::string report = ExportUnderSizeLimit(path, c.res, c.limit);
    EXPECT_EQ(report, std::to_string(int(QuestionBox)) + " " + ExportQuestion(path) + "\n" +
                          std::to_string(int(ErrorBox)) + " " + kWriteFailed + "\n");
    EXPECT_FALSE(Exists(path)) << "a short file was left behind";
  }
}

TEST_F(Export, WriteThatJustFitsTheLimitSucceeds) {
  for (Resolution res : {Res320, Res640}) {
    const std::string path = Path(res == Res320 ? "fits320.bmp" : "fits640.bmp");
    const rlim_t size = res == Res320 ? 32118 : 64118;
    const std::string report = ExportUnderSizeLimit(path, res, size);
    EXPECT_EQ(report, std::to_string(int(QuestionBox)) + " " + ExportQuestion(path) + "\n" +
                          std::to_string(int(InformationBox)) + " " + kDone + "\n");
    EXPECT_TRUE(ReadFile(path) == ExpectedFile(res));
  }
}

// A real full file system: a 48 KiB tmpfs holds a 320-dot export but not a 640-dot one,
// alone or beside it. Needs the right to mount; skipped where that is not granted.
TEST_F(Export, FullFileSystemReportsTheFailureAndKeepsTheOldFile) {
  const std::string mountPoint = Path("tiny");
  ASSERT_EQ(mkdir(mountPoint.c_str(), 0755), 0);
  if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=48k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here (tests run as root in CI): " << strerror(errno);
  }
  mounted_ = mountPoint;
  const std::string path = mountPoint + "/full.bmp";
  {
    ScriptedBoxes boxes({AnswerOk});
    ExportGramToBitmap(path.c_str(), Res640);
    ExpectBoxes(boxes, {{QuestionBox, ExportQuestion(path)}, {ErrorBox, kWriteFailed}});
  }
  EXPECT_FALSE(Exists(path));
  // The space came back with the file: the smaller export fits...
  {
    ScriptedBoxes boxes({AnswerOk});
    ExportGramToBitmap(path.c_str(), Res320);
    ExpectBoxes(boxes, {{QuestionBox, ExportQuestion(path)}, {InformationBox, kDone}});
  }
  // ...and outlives a larger export over it that runs out of space.
  ScriptedBoxes boxes({AnswerOk, AnswerOk});
  ExportGramToBitmap(path.c_str(), Res640);
  ExpectBoxes(boxes, {{QuestionBox, ExportQuestion(path)},
                      {QuestionBox, OverwriteQuestion(path)},
                      {ErrorBox, kWriteFailed}});
  EXPECT_TRUE(ReadFile(path) == ExpectedFile(Res320)) << "the old file was lost";
}

TEST_F(Export, ReadOnlyFileOrANameTakenDuringTheQuestionIsKept) {
  const std::string readOnly = Path("readonly.bmp");
  WriteFile(readOnly, "read-only, mine");
  ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
  {
    ScriptedBoxes boxes({AnswerOk, AnswerOk});
    ExportGramToBitmap(readOnly.c_str(), Res320);
    ExpectBoxes(boxes, {{QuestionBox, ExportQuestion(readOnly)},
                        {QuestionBox, OverwriteQuestion(readOnly)},
                        {ErrorBox, kCreateFailed}});
  }
  EXPECT_EQ(ReadFile(readOnly), "read-only, mine");

  // Free when the user was asked, taken before the move: nobody agreed to replace it.
  const std::string taken = Path("taken.bmp");
  ScriptedBoxes boxes({AnswerOk});
  boxes.WhileAsking(0, [&] { WriteFile(taken, "someone else's"); });
  ExportGramToBitmap(taken.c_str(), Res640);
  ExpectBoxes(boxes, {{QuestionBox, ExportQuestion(taken)}, {ErrorBox, kCreateFailed}});
  EXPECT_EQ(ReadFile(taken), "someone else's");
}

TEST_F(Export, DeviceOrPipeAsTargetIsRefusedAndStaysWhatItWas) {
  // A null device of the test's own (as root), so a fault replaces no node of the system.
  const std::string fifo = Path("pipe.bmp"), device = Path("null.bmp");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "cannot make a device node (tests run as root in CI): " << strerror(errno);
  }
  for (const std::string& path : {fifo, device}) {
    ScriptedBoxes boxes({AnswerOk, AnswerOk});
    ExportGramToBitmap(path.c_str(), Res320);
    ExpectBoxes(boxes, {{QuestionBox, ExportQuestion(path)},
                        {QuestionBox, OverwriteQuestion(path)},
                        {ErrorBox, kCreateFailed}});
  }
  struct stat st;
  EXPECT_TRUE(stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
  EXPECT_TRUE(stat(device.c_str(), &st) == 0 && S_ISCHR(st.st_mode));
}

}  // namespace
