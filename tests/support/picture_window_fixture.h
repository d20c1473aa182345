// What the picture window tests share: a folder with its settings file, a
// link whose clock runs fast (a silent board costs no real seconds), the
// simulated board behind it, pictures written to the folder, and the window's
// controls found and worked by object name.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "link/link.h"
#include "link/sim_port.h"
#include "picture/picture_file.h"
#include "picture/pixel_image.h"
#include "support/recording_frontend.h"
#include "support/temp_folder.h"

namespace vertolin::test {

class PictureWindowFixture : public ::testing::Test {
 protected:
  using Lines = std::vector<std::string>;

  PictureWindowFixture() {
    link_.wholeSeconds = [s = std::int64_t{0}]() mutable { return s++; };
  }

  SimulatedBoard& UseBoard(char kind, BoardFaults faults = {}) {
    auto port = std::make_unique<SimPort>(SimulatedBoard(kind, std::move(faults)));
    SimulatedBoard& board = port->board();
    link_.Attach(std::move(port));
    return board;
  }
  // A board whose replies come late enough for the waits to let events run.
  SimulatedBoard& UseLateBoard(char kind) {
    BoardFaults late;
    late.replyDelay = std::chrono::milliseconds(30);
    return UseBoard(kind, late);
  }

  // The commands after the identification query.
  static Lines Moves(const SimulatedBoard& board) {
    Lines lines;
    for (const auto& command : board.Record()) {
      if (command.text != "V;") lines.push_back(command.text);
    }
    return lines;
  }

  // Writes the picture into the folder and remembers it under `key`.
  std::string WritePicture(const PixelImage& picture, const char* key, const char* name) {
    const auto path = folder_.path() / name;
    EXPECT_TRUE(WritePictureFile(path, picture));
    const std::string text = PathToUtf8(path);
    settings_.WriteSetting(key, text);
    return text;
  }

  template <class T = QWidget>
  static T* Find(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  static QLineEdit* Field(QWidget& window, const char* name) {
    return Find<QLineEdit>(window, name);
  }
  static QString Text(QWidget& window, const char* name) { return Field(window, name)->text(); }
  // Types into a field and leaves it with Enter.
  static void Enter(QWidget& window, const char* name, const char* text) {
    QLineEdit* field = Field(window, name);
    field->setText(QString::fromUtf8(text));
    QTest::keyClick(field, Qt::Key_Return);
  }
  static void Click(QWidget& window, const char* name) {
    QTest::mouseClick(Find<QPushButton>(window, name), Qt::LeftButton);
  }
  static void Tick(QWidget& window, const char* name) {
    Find<QCheckBox>(window, name)->setChecked(true);
  }

  TempFolder folder_;
  RecordingFrontend frontend_;
  SettingsStore settings_{folder_.path() / "cnc.ini", frontend_};
  Link link_{frontend_};
};

}  // namespace vertolin::test
