#include "modes/engraving/engraving_window.h"

#include "jobs/job_journal.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/main_window.h"
#include "settings/settings_store.h"
#include "link/link.h"
#include "link/sim_port.h"
#include "link/texts.h"
#include "picture/picture_file.h"
#include "ui/picture_widget.h"
#include "picture/pixel_image.h"
#include "support/picture_window_fixture.h"
#include "ui/gcode_file_dialog.h"
#include "ui/job_host_widget.h"
#include "util/file_replace.h"

namespace vertolin {
namespace {

using Lines = std::vector<std::string>;

// A 2 × 2 picture with 8 bits per pixel: BITMAPINFOHEADER, a grey palette of
// 256 entries, rows bottom-up padded to four bytes.
std::vector<std::uint8_t> EightBitBmp() {
  std::vector<std::uint8_t> file;
  const auto put = [&file](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  const std::uint32_t pixelsAt = 14 + 40 + 256 * 4;
  file.push_back('B');
  file.push_back('M');
  put(pixelsAt + 2 * 4, 4);
  put(0, 4);
  put(pixelsAt, 4);
  put(40, 4);  // header size
  put(2, 4);   // width
  put(2, 4);   // height
  put(1, 2);   // planes
  put(8, 2);   // bits per pixel
  put(0, 4);   // BI_RGB
  put(0, 4);
  put(2835, 4);
  put(2835, 4);
  put(256, 4);  // colours used
  put(0, 4);
  for (std::uint32_t grey = 0; grey < 256; ++grey) put(grey * 0x010101u, 4);
  put(0x0000FF00u, 4);  // bottom row: white, black
  put(0x00000080u, 4);  // top row: grey, black
  return file;
}

class EngravingWindowTest : public test::PictureWindowFixture {
 protected:
  static std::vector<std::int64_t> Burns(const SimulatedBoard& board) {
    std::vector<std::int64_t> delays;
    for (const auto& command : board.Record()) {
      if (command.burn) delays.push_back(command.burnDelay);
    }
    return delays;
  }

  // Writes the picture and makes it the remembered one.
  std::string UsePicture(const PixelImage& picture, const char* name = "picture.bmp") {
    return WritePicture(picture, "Etching_image", name);
  }

  // Row 1: black, white, grey 128, white; row 2: white, black, white, white.
  // A width of 0,2 mm gives 10 steps per pixel.
  static PixelImage SmallPicture() {
    PixelImage picture(4, 2);
    picture.SetGrey(1, 1, 0);
    picture.SetGrey(3, 1, 128);
    picture.SetGrey(2, 2, 0);
    return picture;
  }

  bool Finished() const {
    for (const auto& message : frontend_.messages) {
      if (message.text == "Гравировка закончена!" && message.title == "Лазерная гравировка") {
        return true;
      }
    }
    return false;
  }
};

TEST_F(EngravingWindowTest, ControlsOfBothWindows) {
  UsePicture(SmallPicture());
  EngravingWindow form3(link_, settings_, formats::kGradation);
  EXPECT_EQ(form3.objectName(), QStringLiteral("Form3"));
  EXPECT_EQ(form3.windowTitle(), QStringLiteral("Гравирование лазером"));
  EXPECT_EQ(Text(form3, "Text6"), QStringLiteral("200"));
  EXPECT_EQ(Text(form3, "Text7"), QStringLiteral("100"));
  EXPECT_EQ(Text(form3, "Text2"), QStringLiteral("10"));
  EXPECT_EQ(Text(form3, "Text4"), QStringLiteral("4000"));
  EXPECT_EQ(Text(form3, "Text3"), QStringLiteral("0"));
  EXPECT_EQ(Field(form3, "Text3")->toolTip(), QStringLiteral("Нижний порог лазера"));
  EXPECT_EQ(Find<QCheckBox>(form3, "Check3")->toolTip(),
            QStringLiteral("Без галки - построчная отрисовка"));
  EXPECT_EQ(Find<QGroupBox>(form3, "Frame4")->title(),
            QStringLiteral("Размер готового изображения"));
  EXPECT_EQ(Find<QGroupBox>(form3, "Frame2")->title(), QStringLiteral("Гравирование"));
  EXPECT_EQ(Find<QLabel>(form3, "Label3")->text(),
            QStringLiteral("Задержка между шагами при грав-ке, микросек."));
  EXPECT_EQ(Find<QPushButton>(form3, "Command1")->text(), QStringLiteral("Гравировать"));
  EXPECT_EQ(Find<QPushButton>(form3, "Command2")->text(), QStringLiteral("..."));
  EXPECT_EQ(Find<QPushButton>(form3, "Command3")->text(), QStringLiteral("Ручная уст-ка"));
  EXPECT_EQ(Find<QCheckBox>(form3, "Check1")->text(), QStringLiteral("Гравировать"));
  EXPECT_EQ(Find<QCheckBox>(form3, "Check2")->text(), QStringLiteral("С возвратом в исх."));
  EXPECT_EQ(Find<QLabel>(form3, "Label8")->text(), QStringLiteral("Статус:"));
  EXPECT_EQ(form3.findChild<QLabel*>(QStringLiteral("Label1")), nullptr);
  // One "Стоп", in the job frame.
  EXPECT_EQ(form3.findChildren<QPushButton*>(QStringLiteral("Command9")).size(), 1);
  EXPECT_TRUE(Find<QGroupBox>(form3, "Frame2")->isAncestorOf(Find(form3, "Command9")));
  EXPECT_NE(form3.findChild<PictureWidget*>(QStringLiteral("Pict")), nullptr);

  EngravingWindow form8(link_, settings_, formats::kWoodBurning);
  EXPECT_EQ(form8.objectName(), QStringLiteral("Form8"));
  EXPECT_EQ(form8.windowTitle(), QStringLiteral("Гравировка нитью по дереву"));
  EXPECT_EQ(form8.findChild<QWidget*>(QStringLiteral("Text3")), nullptr);
  EXPECT_EQ(form8.findChild<QWidget*>(QStringLiteral("Check3")), nullptr);

  // The laser window refuses the wood-burning board: display only, but the
  // job buttons stay.
  UseBoard('B');
  Tick(form3, "Check2");
  Tick(form3, "Check3");
  form3.Load();
  EXPECT_EQ(Find<QLabel>(form3, "Label4")->text(), QStringLiteral("Некорректная прошивка"));
  EXPECT_EQ(frontend_.firmwareWarnings, std::vector<std::string>{""});
  EXPECT_FALSE(Find(form3, "Check1")->isEnabled());
  EXPECT_FALSE(Find(form3, "Command3")->isEnabled());
  EXPECT_TRUE(Find(form3, "Command1")->isEnabled());
  EXPECT_TRUE(Find(form3, "Command9")->isEnabled());
  for (const char* name : {"Check1", "Check2", "Check3"}) {
    EXPECT_FALSE(Find<QCheckBox>(form3, name)->isChecked()) << name;
  }
  form8.Load();
  EXPECT_EQ(Find<QLabel>(form8, "Label4")->text(), QStringLiteral("Com-порт открыт"));
  EXPECT_TRUE(Find(form8, "Check1")->isEnabled());
  EXPECT_TRUE(frontend_.messages.empty());
}

TEST_F(EngravingWindowTest, MissingPictureHidesThePictureAreaUntilOneIsChosen) {
  const std::string missing = PathToUtf8(folder_.path() / "нет такого.jpg");
  settings_.WriteSetting("Etching_image", missing);
  EngravingWindow window(link_, settings_, formats::kGradation);
  window.show();
  window.Load();
  EXPECT_EQ(Text(window, "Text1"), QString::fromStdString(missing));
  for (const char* name : {"Frame4", "Frame2", "Pict", "Label3", "Text4", "Text3"}) {
    EXPECT_TRUE(Find(window, name)->isHidden()) << name;
  }
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
  EXPECT_EQ(frontend_.messages[0].text, "Файл " + missing + " не найден!\r\nВыберите другой файл!");

  // A file that is not a picture: told, nothing changes.
  const auto junk = folder_.path() / "junk.jpg";
  ASSERT_TRUE(WriteFileBytes(junk, std::vector<std::uint8_t>{'n', 'o', 'p', 'e'}));
  window.SetFileChooser([&] { return QString::fromStdString(PathToUtf8(junk)); });
  Click(window, "Command2");
  ASSERT_EQ(frontend_.messages.size(), 2u);
  EXPECT_EQ(frontend_.messages[1].title, "Ошибка");
  EXPECT_EQ(frontend_.messages[1].text, "Ошибка открытия файла!\r\n" + PathToUtf8(junk) + ": " +
                                            std::string(kNotAPictureReason) + ".");
  EXPECT_EQ(Text(window, "Text1"), QString::fromStdString(missing));
  EXPECT_EQ(settings_.ReadSetting("Etching_image", ""), missing);
  EXPECT_TRUE(Find(window, "Frame4")->isHidden());

  // A good one: shown, remembered, and the derived fields follow it.
  const auto good = folder_.path() / "good.bmp";
  ASSERT_TRUE(WritePictureFile(good, PixelImage(500, 300)));
  window.SetFileChooser([&] { return QString::fromStdString(PathToUtf8(good)); });
  Click(window, "Command2");
  EXPECT_EQ(frontend_.messages.size(), 2u);
  for (const char* name : {"Frame4", "Frame2", "Pict", "Label3", "Text4", "Text3"}) {
    EXPECT_FALSE(Find(window, name)->isHidden()) << name;
  }
  EXPECT_EQ(Text(window, "Text1"), QString::fromStdString(PathToUtf8(good)));
  EXPECT_EQ(settings_.ReadSetting("Etching_image", ""), PathToUtf8(good));
  EXPECT_EQ(window.picture().width(), 500);
  EXPECT_EQ(Text(window, "Text7"), QStringLiteral("120"));
  EXPECT_TRUE(Find(window, "Command1")->isEnabled());
}

TEST_F(EngravingWindowTest, PictureBelow24BitsWarnsAndDisablesTheJob) {
  const auto path = folder_.path() / "eight.bmp";
  ASSERT_TRUE(WriteFileBytes(path, EightBitBmp()));
  settings_.WriteSetting("Etching_image", PathToUtf8(path));
  EngravingWindow window(link_, settings_, formats::kWoodBurning);
  window.Load();
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Внимание");
  EXPECT_EQ(frontend_.messages[0].text,
            "В изображении используется менее 24 бит на пиксель.\r\nГравировка невозможна.\r\n"
            "Преобразуйте изображение к 24-битовому формату (например в Paint)");
  EXPECT_FALSE(Find(window, "Command1")->isEnabled());
  EXPECT_FALSE(Find(window, "Command9")->isEnabled());
  EXPECT_FALSE(Find(window, "Pict")->isHidden());
  EXPECT_TRUE(window.findChild<PictureWidget*>(QStringLiteral("Pict"))->HasPicture());
  // A click that gets through anyway starts nothing.
  emit Find<QPushButton>(window, "Command1")->clicked();
  EXPECT_EQ(frontend_.messages.size(), 1u);
}

TEST_F(EngravingWindowTest, FieldCoupling) {
  UsePicture(PixelImage(500, 300));
  settings_.WriteSetting("Etching_width", "200");
  EngravingWindow window(link_, settings_, formats::kGradation);
  window.Load();
  EXPECT_EQ(Text(window, "Text6"), QStringLiteral("200"));
  EXPECT_EQ(Text(window, "Text7"), QStringLiteral("120"));
  EXPECT_EQ(Text(window, "Text2"), QStringLiteral("80"));  // 200 / 0,005 / 500

  Enter(window, "Text7", "100");  // 100 × 500 / 300, remainder dropped
  EXPECT_EQ(Text(window, "Text6"), QStringLiteral("166"));
  EXPECT_EQ(Text(window, "Text2"), QStringLiteral("66,4"));

  Enter(window, "Text2", "10.5");
  EXPECT_EQ(Text(window, "Text2"), QStringLiteral("10,5"));
  EXPECT_EQ(Text(window, "Text6"), QStringLiteral("26,25"));
  EXPECT_EQ(Text(window, "Text7"), QStringLiteral("15"));  // 7875 / 500

  Enter(window, "Text6", "200");
  EXPECT_EQ(Text(window, "Text7"), QStringLiteral("120"));
  EXPECT_EQ(Text(window, "Text2"), QStringLiteral("80"));

  // Not a number: the derived fields keep their text, and nobody is told.
  Enter(window, "Text6", "двести");
  Enter(window, "Text7", "");
  Enter(window, "Text2", "x");
  EXPECT_EQ(Text(window, "Text6"), QStringLiteral("двести"));
  EXPECT_EQ(Text(window, "Text7"), QStringLiteral(""));
  EXPECT_EQ(Text(window, "Text2"), QStringLiteral("x"));
  EXPECT_TRUE(frontend_.messages.empty());

  // Cancelling the dialog only recomputes from the width.
  Field(window, "Text6")->setText(QStringLiteral("300"));
  window.SetFileChooser([] { return QString(); });
  Click(window, "Command2");
  EXPECT_EQ(Text(window, "Text7"), QStringLiteral("180"));
  EXPECT_EQ(Text(window, "Text2"), QStringLiteral("120"));
  EXPECT_EQ(window.picture().width(), 500);
}

TEST_F(EngravingWindowTest, DryRunMarksThePictureAndSendsOnlyTheOpeningLine) {
  UsePicture(SmallPicture());
  settings_.WriteSetting("Etching_width", "0,2");
  SimulatedBoard& board = UseBoard('P');
  EngravingWindow window(link_, settings_, formats::kGradation);
  window.Load();
  ASSERT_TRUE(Find(window, "Check1")->isEnabled());
  // The switch reads "Гравировать" as the start button does; its tip tells
  // the two apart.
  EXPECT_TRUE(Find(window, "Check1")->toolTip().contains(QStringLiteral("без станка")));
  Tick(window, "Check2");
  Click(window, "Command1");

  EXPECT_EQ(Moves(board), Lines{",,,10,2000;"});
  EXPECT_TRUE(frontend_.messages.back().text.starts_with("Гравировка закончена (без станка)!"));
  auto* pict = window.findChild<PictureWidget*>(QStringLiteral("Pict"));
  EXPECT_EQ(pict->PixelAt(1, 1), qRgb(255, 0, 0));
  EXPECT_EQ(pict->PixelAt(3, 1), qRgb(255, 128, 128));
  EXPECT_EQ(pict->PixelAt(2, 2), qRgb(255, 0, 0));
  EXPECT_EQ(pict->PixelAt(2, 1), qRgb(255, 255, 255));
  // The marks stay with the shown picture; its grey levels are untouched.
  EXPECT_EQ(window.picture().bytes()[window.picture().Offset(3, 1) + 2], 255);
  EXPECT_EQ(window.picture().Grey(3, 1), 128);

  // A second dry run burns the same pixels; loading the picture again
  // clears the marks.
  Click(window, "Command1");
  EXPECT_EQ(Moves(board), (Lines{",,,10,2000;", ",,,10,2000;"}));
  window.Unload();
  window.Load();
  EXPECT_EQ(pict->PixelAt(1, 1), qRgb(0, 0, 0));
}

TEST_F(EngravingWindowTest, RealRunBurnsEveryDarkPixelAndReturns) {
  UsePicture(SmallPicture());
  settings_.WriteSetting("Etching_width", "0,2");
  SimulatedBoard& board = UseBoard('P');
  EngravingWindow window(link_, settings_, formats::kGradation);
  window.Load();
  Tick(window, "Check1");
  Tick(window, "Check2");
  Click(window, "Command1");

  EXPECT_EQ(Moves(board), (Lines{",,,10,2000;", "10,0,0;", "10,0,4000;", "10,0,0;", "10,0,1992;",
                                 "0,10,0;", "-10,0,0;", "-10,0,4000;", "0,10,0;", "-10,-20,0;"}));
  EXPECT_EQ(Burns(board), (std::vector<std::int64_t>{4000, 1992, 4000}));
  EXPECT_TRUE(Finished());
  EXPECT_EQ(Find<QPushButton>(window, "Command1")->text(), QStringLiteral("Гравировать"));
  EXPECT_TRUE(Find(window, "Command1")->isEnabled());
}

// "Сохранить G-code…" writes the job's program to the file chosen, whatever
// the drive switch says and without a line to the board; no file chosen, no
// program made.
TEST_F(EngravingWindowTest, SaveGcodeWritesTheJobsProgramToTheChosenFile) {
  UsePicture(SmallPicture());
  settings_.WriteSetting("Etching_width", "0,2");
  SimulatedBoard& board = UseBoard('P');
  EngravingWindow window(link_, settings_, formats::kGradation);
  window.Load();
  Tick(window, "Check2");
  const std::filesystem::path file = folder_.path() / "small";
  QString chosen;
  SetGcodeFileChooser([&chosen](QWidget*) { return chosen; });
  Click(window, "gcodeSave");
  EXPECT_FALSE(std::filesystem::exists(file.string() + ".nc"));
  chosen = QString::fromStdString(file.string());
  Click(window, "gcodeSave");
  SetGcodeFileChooser(nullptr);

  EXPECT_EQ(ReadFileBytes(file.string() + ".nc").bytes,
            "G21 G90\nM4 S0\nG1 X0.050 F1000\nX0.100 S1000\nX0.150 S0\nX0.200 S498\n"
            "Y0.050 S0\nX0.150\nX0.100 S1000\nY0.100 S0\nX0.050 Y0.000\nM5\nM2\n");
  EXPECT_TRUE(Moves(board).empty());
  EXPECT_FALSE(Finished());  // the count behind it says nothing
}

// With Protocol=grbl on a board that is no grbl, a real run is refused and
// the board gets no G-code.
TEST_F(EngravingWindowTest, WithProtocolGrblARealRunIsRefusedAndSendsNothing) {
  UsePicture(SmallPicture());
  settings_.WriteSetting("Etching_width", "0,2");
  link_.profile().protocol = BoardProtocol::Grbl;
  const SimulatedBoard& board = UseBoard('P');
  EngravingWindow window(link_, settings_, formats::kGradation);
  window.Load();
  Tick(window, "Check1");
  Click(window, "Command1");
  EXPECT_TRUE(Moves(board).empty());
  ASSERT_FALSE(frontend_.messages.empty());
  EXPECT_EQ(frontend_.messages.back().text, std::string(texts::kGrblNotConnected));
  EXPECT_FALSE(Finished());
}

// A job broken off by a lost link is offered for resuming the next time it
// is started on the same picture and fields; resumed, it sends the opening
// line again and then only the lines the board had not acknowledged.
TEST_F(EngravingWindowTest, ABrokenOffJobResumesWhereTheBoardStopped) {
  UsePicture(SmallPicture());
  settings_.WriteSetting("Etching_width", "0,2");
  const Lines all{",,,10,2000;", "10,0,0;",  "10,0,4000;",  "10,0,0;", "10,0,1992;",
                  "0,10,0;",     "-10,0,0;", "-10,0,4000;", "0,10,0;", "-10,-20,0;"};
  BoardFaults dropping;
  dropping.dropAfter = 6;  // the identification and five lines
  const SimulatedBoard& first = UseBoard('P', dropping);
  EngravingWindow window(link_, settings_, formats::kGradation);
  window.Load();
  Tick(window, "Check1");
  Tick(window, "Check2");
  Click(window, "Command1");
  const Lines before = Moves(first);
  ASSERT_EQ(before, Lines(all.begin(), all.begin() + 5));
  const auto journal = folder_.path() / "engrave.journal";
  // Every line the board took was acknowledged before the link went.
  ASSERT_EQ(ReadJournal(journal).record.point.lines, 5);
  // The status no longer says the port is open, and the person learns that
  // the job can go on.
  EXPECT_EQ(Find<QLabel>(window, "Label4")->text(), QStringLiteral("Связь с платой потеряна"));
  ASSERT_FALSE(frontend_.statuses.empty());
  EXPECT_NE(frontend_.statuses.back().find("продолжить с места остановки"), std::string::npos);

  // Started again from the beginning when the offer is declined: the journal
  // then belongs to the new run, which removes it at its end.
  for (const bool resume : {true, false}) {
    SCOPED_TRACE(resume);
    if (!resume) {
      dropping.dropAfter = 3;
      UseBoard('P', dropping);
      Click(window, "Command1");
      ASSERT_TRUE(std::filesystem::exists(journal));
    }
    const SimulatedBoard& second = UseBoard('P');
    frontend_.resumeOffers.clear();
    frontend_.resumeAnswers = {resume};
    Click(window, "Command1");
    ASSERT_EQ(frontend_.resumeOffers.size(), 1u);
    EXPECT_NE(frontend_.resumeOffers[0].find("Продолжить с места остановки"), std::string::npos);
    Lines expected = all;
    if (resume) {
      expected.assign(all.begin() + 5, all.end());
      expected.insert(expected.begin(), all[0]);
    } else {
      // The fresh start first brings the head back from the three lines the
      // lost run's board answered for (the person agreed).
      expected.insert(expected.begin(), "-20,0,0;");
    }
    EXPECT_EQ(Moves(second), expected);
    EXPECT_FALSE(std::filesystem::exists(journal));
    // A job that ends well gives the handshake's status back.
    EXPECT_EQ(Find<QLabel>(window, "Label4")->text(), QStringLiteral("Com-порт открыт"));
  }
}

// The bar shows the job's lines out of the count, and only while it runs;
// a dry run sends nothing and has no count. The frontend hands the reports
// on as the windows' frontend does.
TEST_F(EngravingWindowTest, ProgressBarShowsTheCountedLinesWhileTheJobRuns) {
  struct ProgressFrontend : test::RecordingFrontend {
    void ShowProgress(const JobProgress& progress) override { JobHost::ShowProgress(progress); }
  } progressFrontend;
  Link link(progressFrontend);
  link.wholeSeconds = [s = std::int64_t{0}]() mutable { return s++; };
  UsePicture(SmallPicture());
  settings_.WriteSetting("Etching_width", "0,2");
  link.Attach(std::make_unique<SimPort>(SimulatedBoard('P')));
  EngravingWindow window(link, settings_, formats::kGradation);
  window.Load();
  // Replies come late enough for several reports to reach the bar.
  BoardFaults late;
  late.replyDelay = std::chrono::milliseconds(40);
  auto port = std::make_unique<SimPort>(SimulatedBoard('P', late));
  const SimulatedBoard& board = port->board();
  link.Attach(std::move(port));
  auto* bar = Find<QProgressBar>(window, "jobProgress");
  ASSERT_NE(bar, nullptr);
  EXPECT_FALSE(bar->isVisibleTo(&window));

  for (const bool drive : {true, false}) {
    SCOPED_TRACE(drive);
    Find<QCheckBox>(window, "Check1")->setChecked(drive);
    std::vector<QString> texts;
    int shown = 0;
    int maximum = 0;
    progressFrontend.onEvents = [&] {
      if (!bar->isVisibleTo(&window)) return;
      ++shown;
      maximum = bar->maximum();
      if (texts.empty() || texts.back() != bar->text()) texts.push_back(bar->text());
    };
    Click(window, "Command1");
    progressFrontend.onEvents = nullptr;
    EXPECT_FALSE(bar->isVisibleTo(&window));
    if (!drive) {
      EXPECT_EQ(shown, 0);
      continue;
    }
    const auto sent = static_cast<int>(Moves(board).size());
    ASSERT_EQ(sent, 9);
    EXPECT_EQ(maximum, sent);
    ASSERT_GE(texts.size(), 2u);
    EXPECT_TRUE(texts.front().startsWith(QStringLiteral("строка 0 из 9, прошло 0:00, осталось ")))
        << texts.front().toStdString();
    EXPECT_NE(texts.back(), texts.front());
    EXPECT_TRUE(texts.back().contains(QStringLiteral(" из 9, прошло ")))
        << texts.back().toStdString();
  }
}

TEST_F(EngravingWindowTest, WoodBurningRunUsesTheIdleDelay) {
  UsePicture(SmallPicture());
  settings_.WriteSetting("Etching_width", "0,2");
  settings_.WriteSetting("Etching_delay", "3000");
  SimulatedBoard& board = UseBoard('B');
  EngravingWindow window(link_, settings_, formats::kWoodBurning);
  window.Load();
  Tick(window, "Check1");
  Click(window, "Command1");
  // 2000 + 1000 × 127 / 255 = 2498,04 for the grey pixel.
  EXPECT_EQ(Moves(board), (Lines{",,2000;", "10,0,2000;", "10,0,3000;", "10,0,2000;", "10,0,2498;",
                                 "0,10,2000;", "-10,0,2000;", "-10,0,3000;", "0,10,2000;"}));
  EXPECT_TRUE(Finished());
}

// Wood burning stopped mid-job, then "Начать сначала": asked first, the head
// goes back to where the stopped job began and the job runs from there;
// declined, the job starts where the head stands, as it always has.
TEST_F(EngravingWindowTest, AFreshStartAfterAStopOffersToGoBackToTheJobsOrigin) {
  UsePicture(SmallPicture());
  settings_.WriteSetting("Etching_width", "0,2");
  settings_.WriteSetting("Etching_delay", "3000");
  const Lines all{",,2000;",    "10,0,2000;",  "10,0,3000;",  "10,0,2000;", "10,0,2498;",
                  "0,10,2000;", "-10,0,2000;", "-10,0,3000;", "0,10,2000;"};
  for (const bool goBack : {true, false}) {
    SCOPED_TRACE(goBack);
    UseBoard('B');
    EngravingWindow window(link_, settings_, formats::kWoodBurning);
    window.Load();
    const SimulatedBoard& board = UseLateBoard('B');
    Tick(window, "Check1");
    bool stopped = false;
    frontend_.onEvents = [&] {
      if (!stopped && Moves(board).size() >= 6) {
        stopped = true;
        link_.RequestStop();  // "Стоп", confirmed
      }
    };
    Click(window, "Command1");
    frontend_.onEvents = nullptr;
    ASSERT_TRUE(stopped);
    const std::size_t firstRun = board.Record().size();
    const auto stoppedAt = board.Record().back().positionAfter;
    ASSERT_NE(stoppedAt, (std::array<std::int64_t, 3>{}));

    frontend_.questions.clear();
    frontend_.resumeAnswers = {false};
    frontend_.yesNoAnswers = {goBack};
    Click(window, "Command1");
    ASSERT_EQ(frontend_.questions.size(), 1u);
    EXPECT_NE(
        frontend_.questions[0].text.find("не в его начале: X 0,20  Y 0,05  Z 0,00 мм от него."),
        std::string::npos)
        << frontend_.questions[0].text;
    const auto& record = board.Record();
    ASSERT_EQ(record.size(), firstRun + all.size() + (goBack ? 1 : 0));
    const std::size_t jobAt = record.size() - all.size();
    if (goBack) {
      EXPECT_EQ(record[firstRun].positionAfter, (std::array<std::int64_t, 3>{}));
    } else {
      EXPECT_EQ(record[jobAt].positionAfter, stoppedAt);  // the opening moves nothing
    }
    Lines second;
    for (std::size_t i = jobAt; i < record.size(); ++i) second.push_back(record[i].text);
    EXPECT_EQ(second, all);
    window.close();
  }
}

TEST_F(EngravingWindowTest, CheckThreeDecidesWhenTheMarksAreShown) {
  UsePicture(SmallPicture());
  settings_.WriteSetting("Etching_width", "0,2");
  for (const bool eachPixel : {false, true}) {
    SCOPED_TRACE(eachPixel);
    UseBoard('P');
    EngravingWindow window(link_, settings_, formats::kGradation);
    window.Load();
    // Replies come late enough for the waits to let events run.
    SimulatedBoard& board = UseLateBoard('P');
    Tick(window, "Check1");
    Find<QCheckBox>(window, "Check3")->setChecked(eachPixel);
    auto* pict = window.findChild<PictureWidget*>(QStringLiteral("Pict"));
    // What the person sees of pixel (1, 1) once it is burned, while row 1
    // and its row step are still going out.
    std::vector<int> redDuringRow1;
    frontend_.onEvents = [&] {
      const std::size_t sent = Moves(board).size();
      if (sent >= 4 && sent <= 6) redDuringRow1.push_back(qRed(pict->PixelAt(1, 1)));
    };
    Click(window, "Command1");
    frontend_.onEvents = nullptr;
    ASSERT_FALSE(redDuringRow1.empty());
    EXPECT_EQ(redDuringRow1.back(), eachPixel ? 255 : 0);
    EXPECT_EQ(pict->PixelAt(1, 1), qRgb(255, 0, 0));  // all shown at the end
  }
}

TEST_F(EngravingWindowTest, StopQuestionAnsweredBothWays) {
  UsePicture(SmallPicture());
  settings_.WriteSetting("Etching_width", "0,2");
  // Going on first: a start after a stopped job would first ask about going back.
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop);
    frontend_.messages.clear();
    frontend_.questions.clear();
    UseBoard('P');
    EngravingWindow window(link_, settings_, formats::kGradation);
    window.Load();
    SimulatedBoard& board = UseLateBoard('P');
    Tick(window, "Check1");
    Tick(window, "Check2");
    frontend_.yesNoAnswers = {stop};
    std::size_t sentAtStop = 0;
    frontend_.onEvents = [&] {
      // "Стоп" while a move of the job is being acknowledged.
      if (sentAtStop == 0 && Moves(board).size() >= 2) {
        sentAtStop = Moves(board).size();
        Click(window, "Command9");
      }
    };
    Click(window, "Command1");
    frontend_.onEvents = nullptr;
    ASSERT_GT(sentAtStop, 0u);
    ASSERT_EQ(frontend_.questions.size(), 1u);
    EXPECT_EQ(frontend_.questions[0].title, "Внимание");
    EXPECT_EQ(frontend_.questions[0].text,
              "Гравировка остановлена. Остановить?\r\nДа - остановить. Нет - продолжить.");
    const Lines whole{",,,10,2000;", "10,0,0;",  "10,0,4000;",  "10,0,0;", "10,0,1992;",
                      "0,10,0;",     "-10,0,0;", "-10,0,4000;", "0,10,0;", "-10,-20,0;"};
    if (stop) {
      // Ends where it stands: no further move, no return, no message.
      EXPECT_EQ(Moves(board), Lines(whole.begin(), whole.begin() + sentAtStop));
      EXPECT_FALSE(Finished());
    } else {
      // The pending move goes out unchanged and the job runs to its end.
      EXPECT_EQ(Moves(board), whole);
      EXPECT_TRUE(Finished());
    }
    EXPECT_FALSE(window.JobRunning());
    EXPECT_TRUE(Find(window, "Command1")->isEnabled());
  }
}

TEST_F(EngravingWindowTest, SecondStartWhileAJobRunsIsRefused) {
  UsePicture(SmallPicture());
  settings_.WriteSetting("Etching_width", "0,2");
  UseBoard('P');
  EngravingWindow window(link_, settings_, formats::kGradation);
  window.Load();
  SimulatedBoard& board = UseLateBoard('P');
  Tick(window, "Check1");
  auto* command1 = Find<QPushButton>(window, "Command1");
  std::vector<QString> captions;
  int runs = 0;
  frontend_.onEvents = [&] {
    ++runs;
    captions.push_back(command1->text());
    EXPECT_FALSE(command1->isEnabled());
    EXPECT_FALSE(Find(window, "Command2")->isEnabled());
    QTest::mouseClick(command1, Qt::LeftButton);
    emit command1->clicked();  // even past the disabled button
  };
  Click(window, "Command1");
  frontend_.onEvents = nullptr;
  ASSERT_GT(runs, 0);
  EXPECT_EQ(captions.front(), QStringLiteral("Идёт гравировка…"));
  int openings = 0;
  for (const auto& line : Moves(board)) openings += line == ",,,10,2000;";
  EXPECT_EQ(openings, 1);
  EXPECT_EQ(Moves(board).size(), 9u);
  EXPECT_EQ(command1->text(), QStringLiteral("Гравировать"));
  EXPECT_TRUE(command1->isEnabled());
  EXPECT_TRUE(Find(window, "Command2")->isEnabled());
}

TEST_F(EngravingWindowTest, ClosingDuringAJobEndsItAndTheNextOpeningWorks) {
  UsePicture(SmallPicture());
  settings_.WriteSetting("Etching_width", "0,2");
  UseBoard('P');
  EngravingWindow window(link_, settings_, formats::kGradation);
  window.show();
  window.Load();
  BoardFaults silent;
  silent.silent = true;
  SimulatedBoard& deaf = UseBoard('P', silent);
  Tick(window, "Check1");
  Field(window, "Text6")->setText(QStringLiteral("0,20"));
  bool closed = false;
  // Closed while the job waits for the board's answer to its first move, however
  // slow the machine is to get there.
  frontend_.onEvents = [&] {
    if (!closed && Moves(deaf).size() == 2) {
      closed = true;
      window.close();
    }
  };
  const auto start = std::chrono::steady_clock::now();
  Click(window, "Command1");  // returns: the closed window's wait was abandoned
  frontend_.onEvents = nullptr;
  // The lines in flight were given their overdue bound (3 s and their step
  // time twice over), not more: the first that stays unanswered ends it.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(closed);
  EXPECT_EQ(Moves(deaf), (Lines{",,,10,2000;", "10,0,0;"}));
  EXPECT_FALSE(Finished());
  EXPECT_TRUE(frontend_.questions.empty());
  EXPECT_TRUE(link_.StopRequested());
  EXPECT_EQ(settings_.ReadSetting("Etching_width", ""), "0,20");
  EXPECT_FALSE(window.JobRunning());

  // Opened again with a board that answers: a fresh link, a whole job.
  SimulatedBoard& board = UseBoard('P');
  window.show();
  window.Load();
  Tick(window, "Check1");
  Click(window, "Command1");
  EXPECT_EQ(Moves(board).size(), 9u);
  EXPECT_TRUE(Finished());
}

// Stopped ("Стоп") or closed while the board still works off the lines sent
// ahead: the journal counts every line the board did, the window opened
// again at once meets no stale acknowledgement in its handshake, and the
// resume sends the rest once.
TEST_F(EngravingWindowTest, StoppedOrClosedMidJobResumesWhereTheBoardStopped) {
  UsePicture(SmallPicture());
  settings_.WriteSetting("Etching_width", "0,2");
  const Lines all{",,,10,2000;", "10,0,0;",  "10,0,4000;",  "10,0,0;", "10,0,1992;",
                  "0,10,0;",     "-10,0,0;", "-10,0,4000;", "0,10,0;", "-10,-20,0;"};
  // The handshake's own windows, as long as a person gets them: a board
  // this slow is no silent one.
  link_.wholeSeconds = [] {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::int64_t{std::chrono::duration_cast<std::chrono::seconds>(now).count()};
  };
  BoardFaults slow;
  slow.replyDelay = std::chrono::milliseconds(300);
  for (const bool closing : {false, true}) {
    SCOPED_TRACE(closing ? "closed" : "stopped");
    const SimulatedBoard& board = UseBoard('P', slow);
    EngravingWindow window(link_, settings_, formats::kGradation);
    window.show();
    window.Load();
    Tick(window, "Check1");
    Tick(window, "Check2");
    bool ended = false;
    frontend_.onEvents = [&] {
      if (!ended && Moves(board).size() >= 5) {
        ended = true;
        if (closing) {
          window.close();
        } else {
          link_.RequestStop();  // "Стоп", confirmed
        }
      }
    };
    Click(window, "Command1");
    frontend_.onEvents = nullptr;
    ASSERT_TRUE(ended);
    const Lines before = Moves(board);
    const JournalRead journal = ReadJournal(folder_.path() / "engrave.journal");
    ASSERT_EQ(journal.status, JournalRead::Status::Ok);
    EXPECT_TRUE(journal.record.ended);
    const auto done = static_cast<std::size_t>(journal.record.point.lines);
    EXPECT_EQ(done, before.size());
    ASSERT_EQ(before, Lines(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(done)));

    if (closing) {
      frontend_.firmwareWarnings.clear();
      window.show();
      window.Load();
      EXPECT_EQ(frontend_.firmwareWarnings, std::vector<std::string>{});
      EXPECT_TRUE(Find(window, "Check1")->isEnabled());  // the handshake succeeded
      Tick(window, "Check1");
      Tick(window, "Check2");
    }
    frontend_.resumeOffers.clear();
    frontend_.resumeAnswers = {true};
    Click(window, "Command1");
    EXPECT_EQ(frontend_.resumeOffers.size(), 1u);
    EXPECT_TRUE(Finished());
    Lines expected(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(done));
    expected.push_back(all[0]);  // the raster's opening again
    expected.insert(expected.end(), all.begin() + static_cast<std::ptrdiff_t>(done), all.end());
    EXPECT_EQ(Moves(board), expected);
    window.close();
  }
}

TEST_F(EngravingWindowTest, BothWindowsShareTheirKeys) {
  UsePicture(PixelImage(500, 300));
  settings_.WriteSetting("Etching_min", "7");
  EngravingWindow form3(link_, settings_, formats::kGradation);
  EngravingWindow form8(link_, settings_, formats::kWoodBurning);
  form3.Load();
  form8.Load();
  EXPECT_EQ(Text(form3, "Text3"), QStringLiteral("7"));
  Enter(form3, "Text6", "300");
  Enter(form3, "Text4", "5000");
  Enter(form3, "Text3", "100");
  Enter(form8, "Text6", "150");
  form3.close();
  EXPECT_EQ(settings_.ReadSetting("Etching_width", ""), "300");
  EXPECT_EQ(settings_.ReadSetting("Etching_delay", ""), "5000");
  EXPECT_EQ(settings_.ReadSetting("Etching_min", ""), "100");
  settings_.WriteSetting("Etching_min", "7");
  form8.close();
  EXPECT_EQ(settings_.ReadSetting("Etching_width", ""), "150");
  EXPECT_EQ(settings_.ReadSetting("Etching_delay", ""), "4000");
  EXPECT_EQ(settings_.ReadSetting("Etching_min", ""), "7");  // not a key of Form8

  // Reopened, the laser window takes the width left by the other one.
  form3.Load();
  EXPECT_EQ(Text(form3, "Text6"), QStringLiteral("150"));
  EXPECT_EQ(Text(form3, "Text7"), QStringLiteral("90"));
}

TEST_F(EngravingWindowTest, MenuEntriesOpenTheTwoWindows) {
  UsePicture(PixelImage(40, 30));
  MainWindow main(settings_, link_);
  for (const auto& [entry, form] :
       {std::pair{"etching_cl", "Form3"}, std::pair{"wood_cl", "Form8"}}) {
    SCOPED_TRACE(entry);
    auto* action = main.findChild<QAction*>(QString::fromLatin1(entry));
    ASSERT_NE(action, nullptr);
    EXPECT_TRUE(action->isEnabled());
    action->trigger();
    QWidget* child = main.Child(QString::fromLatin1(entry));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->objectName(), QString::fromLatin1(form));
    EXPECT_EQ(Text(*child, "Text6"), QStringLiteral("200"));
  }
}

}  // namespace
}  // namespace vertolin
