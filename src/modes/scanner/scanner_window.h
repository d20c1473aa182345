// Form2 "3D Сканер": the touch probe measures a mesh of points into a height
// map; the mesh view shows the nodes as they are measured, "Интерполировать"
// draws the map as a smooth grey picture and "Сохранить в BMP" saves the view
// as image.bmp beside the program.
#pragma once

#include <QPoint>
#include <QString>
#include <filesystem>
#include <memory>
#include <optional>

#include "modes/picture_window_widget.h"
#include "modes/positioning/positioning_widget.h"
#include "modes/scanner/height_map.h"
#include "modes/scanner/mesh_view.h"
#include "modes/scanner/scan_plan.h"
#include "ui/job_host_widget.h"
#include "ui/mode_window.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace vertolin {

class MeshViewWidget;

class ScannerWindow : public ModeWindow {
  Q_OBJECT

 public:
  ScannerWindow(Link& link, SettingsStore& settings, QWidget* parent = nullptr);
  ~ScannerWindow() override;

  // Handshake ("ST"), the settings keys into the fields, the box and the
  // empty mesh.
  void Load() override;
  // The fields back to the settings file; a scan still running is stopped.
  void Unload() override;

  bool JobRunning() const { return jobs_.Running(); }
  // The map of the last scan, kept until the next one.
  const HeightMap& heightMap() const { return *map_; }
  const MeshViewWidget& meshView() const { return *view_; }

  // Where "Сохранить в BMP" writes image.bmp: beside the program, or for a
  // test its own folder.
  void SetImageFolder(std::filesystem::path folder) { imageFolder_ = std::move(folder); }

  QSize sizeHint() const override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Scan();  // "Сканировать"
  // A very large mesh or long scan only when the person agrees, told its
  // time (the count's, or a dry run's pauses).
  bool LengthAccepted(const ScanPlan& plan, const std::optional<JobEstimate>& counted);
  void SaveGcode();    // "Сохранить G-code…"
  void Interpolate();  // "Интерполировать"
  void SaveImage();    // "Сохранить в BMP"
  void ApplySize();    // "Установить"

  // Field coupling on leaving a field: the area keeps the picture's shape.
  void CoupleFromAreaX();  // Text8 -> Text9 (also on leaving Text6, Text7)
  void CoupleFromAreaY();  // Text9 -> Text8

  // The grip: press, drag to (pointer within the grip), release.
  void GripPressed();
  void GripMoved(QPoint pointer);
  void GripReleased();
  // Leaving Text3 or Text4, or Enter there: the grip's drag with no offset.
  void RefreshMesh() { GripMoved({0, 0}); }

  int MeshX() const;  // Text3 rounded, 0 when it holds no number
  int MeshY() const;  // Text4
  MeshLayout Layout() const;
  void SetBox(BoxSize box);
  void PlaceGrip(QLabel* square);
  void DrawEmptyMesh();
  void UpdateJobButtons();

  Link& link_;
  SettingsStore& settings_;
  OpeningLinks links_;
  std::filesystem::path imageFolder_;

  QLineEdit* meshXField_;
  QLineEdit* meshYField_;
  QLineEdit* areaXField_;
  QLineEdit* areaYField_;
  QLineEdit* widthField_;
  QLineEdit* heightField_;
  QPushButton* setSizeButton_;
  QWidget* canvas_;  // holds the view and its grip
  MeshViewWidget* view_;
  QLabel* grip_;      // Label12, black
  QLabel* dragGrip_;  // Label13, blue, shown while dragging
  QPushButton* scanButton_;
  QPushButton* gcodeButton_;
  QPushButton* stopButton_;
  QPushButton* interpolateButton_;
  QPushButton* saveButton_;
  QLabel* dataLabel_;  // Label9
  PositioningControls* controls_ = nullptr;

  BoxSize box_{222, 222};
  QPoint gripPressedAt_;  // the grip's place at its last press; (0, 0) before any
  // Replaced by every scan; a scan still running keeps its own.
  std::shared_ptr<HeightMap> map_ = std::make_shared<HeightMap>();
  JobHost jobs_;
};

}  // namespace vertolin
